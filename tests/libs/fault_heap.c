/* Writes 64 bytes past the end of a heap block and frees it in the same sag request: the C
   library sees the broken heap and aborts, SIGABRT. */
#include <stdlib.h>

#define FAULT_NAME "Fault HEAP"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    const size_t size = 2000 + (size_t)(fd->type - 3);
    volatile char* block = malloc(size);
    if (block == NULL) return;
    for (size_t i = 0; i < size + 64; ++i) block[i] = (char)('A' + (int)ud->x);
    free((void*)block);
}
