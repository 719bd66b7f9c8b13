/* A surface that talks: it prints to standard output and standard error while loading and in
   its name and sag requests, some of it without a line end, and answers as the fault libraries'
   surface does. */
#include <stdio.h>

#define FAULT_NAME "Talking Surface"
#define FAULT_WHEN(ud, fd) ((fd)->type == 0 || (fd)->type == 3)
#include "fault_surface.h"

__attribute__((constructor)) static void Construct(void) {
    printf("loaded\n");
}

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    if (fd->type == 0) {
        printf("asked for name %d\n", fd->numb);
        return;
    }
    fprintf(stderr, "sag at x=%g y=%g", ud->x, ud->y);
    printf(" (stdout)\n");
}
