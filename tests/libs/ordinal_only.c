/* A record-version-0 surface (sag = 2 x + y) whose entry has no exported name: ordinal_only.def
   exports it as ordinal 1 alone (NONAME), as some Windows builds do. A host finds it by that
   ordinal. Windows only. */
#include <string.h>

#include "user_surface.h"

int OrdinalSurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case 0:
            strcpy(ud->string, fd->numb == 0 ? "Ordinal Only" : "");
            return 0;
        case 3:
            ud->sag1 = ud->sag2 = 2.0 * ud->x + ud->y;
            return 0;
        default:
            return 0;
    }
}
