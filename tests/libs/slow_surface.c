/* The fault libraries' surface, healthy, whose every sag request takes about 2 ms (a surface
   that integrates or iterates): a pass of a whole map takes minutes although no single call
   keeps the program waiting. */
#include <time.h>

#define FAULT_NAME "Slow Surface"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    struct timespec pause = {0, 2000000};
    (void)ud;
    (void)fd;
    while (nanosleep(&pause, &pause) != 0) {
    }
}
