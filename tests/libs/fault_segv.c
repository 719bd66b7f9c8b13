/* Writes through a null pointer in the sag request at a point with x > 1: SIGSEGV. Sag
   requests at other points answer, so a batch has answers before its fault. */
#define FAULT_NAME "Fault SEGV"
#define FAULT_WHEN(ud, fd) ((fd)->type == 3 && (ud)->x > 1.0)
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    volatile int* volatile nowhere = 0;
    *nowhere = (int)ud->x + fd->type;
}
