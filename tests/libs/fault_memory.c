/* Allocates and fills 64 MiB blocks without end in the sag request, using each block without
   looking whether it got one (as careless code does): when the helper's data limit refuses a
   block, the write through the null pointer ends it, SIGSEGV. */
#include <stdlib.h>

#define FAULT_NAME "Fault MEMORY"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    const size_t block = (size_t)64 << 20;
    for (;;) {
        volatile char* memory = malloc(block);
        for (size_t i = 0; i < block; i += 4096) memory[i] = (char)(ud->x + fd->type);
    }
}
