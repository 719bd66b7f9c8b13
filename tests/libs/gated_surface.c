/* The fault libraries' surface, healthy, whose sag requests wait for the test: each takes one
   byte from the named pipe that VELMOR_TEST_GATE names before it answers, so a test lets the
   calls go one by one (tests/support/library_gate.h). Without the variable, or once the test's
   end of the pipe is closed, a request answers at once. */
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#define FAULT_NAME "Gated Surface"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    static int gate = -2;
    (void)ud;
    (void)fd;
    if (gate == -2) {
        const char* path = getenv("VELMOR_TEST_GATE");
        /* Opened without waiting for a writer (the test has gone: its requests answer). */
        gate = path != NULL ? open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        if (gate >= 0) fcntl(gate, F_SETFL, fcntl(gate, F_GETFL) & ~O_NONBLOCK);
    }
    char byte;
    while (gate >= 0 && read(gate, &byte, 1) < 0 && errno == EINTR) {
    }
}
