/* A record-version-3 surface (UserDefinedSurface4, sag = 4) whose export table also names
   UserDefinedSurface, forwarded to a function of KERNEL32 (forwarded_entry.def): that entry is
   not the library's own, so a host takes UserDefinedSurface4. Windows only. */
#include "user_surface.h"

int OwnSurface4(USER_DATA* ud, FIXED_DATA4* fd) {
    if (fd->type == 3) ud->sag1 = ud->sag2 = 4.0;
    return 0;
}
