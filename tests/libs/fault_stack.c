/* Recurses without end in the sag request, each level keeping a frame of its own that is used
   after the inner call (so no compiler can turn it into a loop): the stack overflows, SIGSEGV.
   Every element of a frame is written before it is read: an element left as it was would hold
   whatever an earlier call left on the stack, a NaN's bytes among them, which would end the
   recursion. */
#define FAULT_NAME "Fault STACK"
#include "fault_surface.h"

static double Deeper(volatile double* outer, int depth) {
    volatile double frame[64];
    for (int i = 0; i < 64; ++i) frame[i] = outer[0] + depth;
    if (frame[depth % 64] != frame[depth % 64]) return 0.0; /* never: x is a number */
    return Deeper(frame, depth + 1) + frame[depth % 64];
}

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    volatile double start[1] = {ud->x + fd->type};
    ud->sag1 = Deeper(start, 0);
}
