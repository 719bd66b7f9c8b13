/* The surface every fault library is: a paraboloid of record version 0 (sag = (x^2 + y^2) / 4)
   named FAULT_NAME, whose requests answer normally except those FAULT_WHEN(ud, fd) chooses (by
   default every sag request), where the including file's Fault() does what the library is
   named after. So a library can fault in sag only while its name and safe data work. */
#ifndef FAULT_SURFACE_H
#define FAULT_SURFACE_H

#include <string.h>

#include "user_surface.h"

#ifndef FAULT_WHEN
#define FAULT_WHEN(ud, fd) ((fd)->type == 3)
#endif

static void Fault(USER_DATA* ud, FIXED_DATA* fd);

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    if (FAULT_WHEN(ud, fd)) Fault(ud, fd);
    switch (fd->type) {
        case 0:
            strcpy(ud->string, fd->numb == 0 ? FAULT_NAME : "");
            return 0;
        case 3:
            ud->sag1 = ud->sag2 = 0.25 * (ud->x * ud->x + ud->y * ud->y);
            return 0;
        case 7:
            fd->param[1] = 1.0;
            return 0;
        default:
            return 0;
    }
}

#endif
