/* Writes through a null pointer in its constructor, while the library is being loaded. */
#define FAULT_NAME "Fault CONSTRUCTOR"
#define FAULT_WHEN(ud, fd) 0
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)ud;
    (void)fd;
}

__attribute__((constructor)) static void Construct(void) {
    volatile int* volatile nowhere = 0;
    *nowhere = 1;
}
