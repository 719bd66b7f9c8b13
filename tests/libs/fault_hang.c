/* Never returns from the sag request. */
#include <unistd.h>

#define FAULT_NAME "Fault HANG"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)ud;
    (void)fd;
    for (;;) sleep(1);
}
