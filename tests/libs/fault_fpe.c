/* Enables the divide-by-zero trap and divides by zero in the sag request: SIGFPE. */
#define _GNU_SOURCE
#include <fenv.h>

#define FAULT_NAME "Fault FPE"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    volatile double zero = 0.0;
    feenableexcept(FE_DIVBYZERO);
    ud->sag1 = (ud->x + fd->type) / zero;
}
