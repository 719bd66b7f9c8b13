/* Calls _exit(5) in the sag request: no exit handlers, no flushing. */
#include <unistd.h>

#define FAULT_NAME "Fault _EXIT"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)ud;
    (void)fd;
    _exit(5);
}
