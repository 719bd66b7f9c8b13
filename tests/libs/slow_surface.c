/* The fault libraries' surface, healthy but slow: each sag request takes 0.3 s. */
#include <time.h>

#define FAULT_NAME "Slow Surface"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)ud;
    (void)fd;
    const struct timespec pause = {0, 300000000};
    nanosleep(&pause, NULL);
}
