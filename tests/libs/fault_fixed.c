/* The fault libraries' surface with its fault mended: what an author's rebuilt library is
   after the fix. Its sag is twice theirs, so a test sees which one answers. */
#define FAULT_NAME "Fault FIXED"
#define FAULT_WHEN(ud, fd) ((fd)->type == 3)
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)fd;
    ud->x *= 1.4142135623730951;
    ud->y *= 1.4142135623730951;
}
