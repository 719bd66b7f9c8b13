/* Recurses without end in the sag request, each level keeping a frame of its own that is used
   after the inner call (so no compiler can turn it into a loop): the stack overflows, SIGSEGV. */
#define FAULT_NAME "Fault STACK"
#include "fault_surface.h"

static double Deeper(volatile double* outer, int depth) {
    volatile double frame[64];
    frame[depth % 64] = outer[0] + depth;
    if (frame[depth % 64] != frame[depth % 64]) return 0.0; /* never: x is a number */
    return Deeper(frame, depth + 1) + frame[depth % 64];
}

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    volatile double start[1] = {ud->x + fd->type};
    ud->sag1 = Deeper(start, 0);
}
