/* Starts a child process that lives on (and so holds the helper's channels open), then writes
   through a null pointer in the sag request: SIGSEGV, which must be reported as such and not
   wait for the time limit. The helper refuses the start by default; the library tries it once
   per process at most, so it never multiplies whatever the helper allows. */
#include <unistd.h>

#define FAULT_NAME "Fault ORPHAN"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    static int started;
    if (!started++ && fork() == 0) {
        sleep(30);
        _exit(0);
    }
    volatile int* volatile nowhere = 0;
    *nowhere = (int)ud->x + fd->type;
}
