/* A failed assert in the sag request (kept in every build): the C library prints the assertion
   and aborts, SIGABRT. */
#undef NDEBUG
#include <assert.h>

#define FAULT_NAME "Fault ASSERT"
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)ud;
    assert(fd->type != 3 && "sag is not written yet");
}
