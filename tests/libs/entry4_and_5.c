/* A surface exporting both UserDefinedSurface4 and UserDefinedSurface5: the first name in the
   lookup order wins, so it is used as record version 3. The two entries answer different sags. */
#include "user_surface.h"

USER_SURFACE_EXPORT int UserDefinedSurface4(USER_DATA* ud, FIXED_DATA4* fd) {
    if (fd->type == 3) ud->sag1 = ud->sag2 = 4.0;
    if (fd->type == 7) fd->datasurf_values[4800] = 4.0;
    return 0;
}

USER_SURFACE_EXPORT int UserDefinedSurface5(USER_DATA* ud, FIXED_DATA5* fd) {
    if (fd->type == 3) ud->sag1 = ud->sag2 = 5.0;
    if (fd->type == 7) fd->datasurf_values[4800] = 5.0;
    return 0;
}
