/* A record-version-3 surface (UserDefinedSurface4 only). Its safe data fills the very last
   element of the record, so a test sees that the whole FIXED_DATA4 area is there. */
#include "user_surface.h"

USER_SURFACE_EXPORT int UserDefinedSurface4(USER_DATA* ud, FIXED_DATA4* fd) {
    if (fd->type == 3) ud->sag1 = ud->sag2 = 4.0;
    if (fd->type == 7) {
        fd->datasurf_numvalues = 4801;
        fd->datasurf_values[4800] = 4.0;
    }
    return 0;
}
