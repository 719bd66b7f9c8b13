/* A record-version-3 surface (UserDefinedSurface4 only) linked against entry0_dependency, which
   exports UserDefinedSurface: the loader's search also finds that name, yet the entry of this
   library is UserDefinedSurface4. Its sag comes from the dependency, so the link is real. */
#include "user_surface.h"

double DependencyValue(void);

USER_SURFACE_EXPORT int UserDefinedSurface4(USER_DATA* ud, FIXED_DATA4* fd) {
    if (fd->type == 3) ud->sag1 = ud->sag2 = DependencyValue();
    return 0;
}
