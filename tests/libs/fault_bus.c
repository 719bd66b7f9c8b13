/* Touches a mapped page of a file that was truncated under it in the sag request: SIGBUS. */
#define _GNU_SOURCE
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#define FAULT_NAME "Fault BUS"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    FILE* file = tmpfile();
    if (file == NULL) return;
    const int descriptor = fileno(file);
    if (ftruncate(descriptor, 4096) != 0) return;
    volatile char* page = mmap(NULL, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (page == MAP_FAILED) return;
    if (ftruncate(descriptor, 0) != 0) return;
    page[0] = (char)(ud->x + fd->type);
}
