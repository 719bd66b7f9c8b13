/* Writes through a null pointer in the safe-data request, which every load sends. */
#define FAULT_NAME "Fault SAFE DATA"
#define FAULT_WHEN(ud, fd) ((fd)->type == 7)
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    volatile int* volatile nowhere = 0;
    *nowhere = (int)ud->x + fd->type;
}
