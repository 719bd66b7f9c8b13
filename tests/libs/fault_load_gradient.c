/* Aborts in the gradient-index question (request 0, numb 2), which every load asks last. */
#include <stdlib.h>

#define FAULT_NAME "Fault GRADIENT"
#define FAULT_WHEN(ud, fd) ((fd)->type == 0 && (fd)->numb == 2)
#include "fault_surface.h"

static void Fault(USER_DATA* ud, FIXED_DATA* fd) {
    (void)ud;
    (void)fd;
    abort();
}
