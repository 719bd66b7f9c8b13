/* A shared library with none of the surface entry points: only near misses of their names.
   A host must refuse it. */
#include "user_surface.h"

USER_SURFACE_EXPORT int UserDefinedSurface6(USER_DATA* ud, FIXED_DATA5* fd) {
    (void)ud;
    (void)fd;
    return 0;
}

USER_SURFACE_EXPORT int userdefinedsurface(USER_DATA* ud, FIXED_DATA* fd) {
    (void)ud;
    (void)fd;
    return 0;
}
