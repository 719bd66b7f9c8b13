/* Calls exit(3) in the sag request. */
#include <stdlib.h>

#define FAULT_NAME "Fault EXIT"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)ud;
    (void)fd;
    exit(3);
}
