/* A record-version-1 surface (UserDefinedSurface2 only). Its safe data fills the last
   parameter and the glass name, so a test sees the FIXED_DATA2 layout at work. */
#include <string.h>

#include "user_surface.h"

USER_SURFACE_EXPORT int UserDefinedSurface2(USER_DATA* ud, FIXED_DATA2* fd) {
    if (fd->type == 3) ud->sag1 = ud->sag2 = 2.0;
    if (fd->type == 7) {
        fd->param[50] = 2.0;
        strcpy(fd->glass, "N-BK7");
    }
    return 0;
}
