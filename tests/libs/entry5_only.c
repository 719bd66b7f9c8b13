/* A record-version-4 surface (UserDefinedSurface5 only). Its safe data fills param[201], the
   first element past the older versions' param, and the very last element of the record; every
   request echoes the param[255] it received in udreserved4, so a test sees that the whole
   FIXED_DATA5 record reached the library. Only param[255] has a name; a question for an xdata
   name, which FIXED_DATA5 does not have, is printed. */
#include <stdio.h>
#include <string.h>

#include "user_surface.h"

USER_SURFACE_EXPORT int UserDefinedSurface5(USER_DATA* ud, FIXED_DATA5* fd) {
    ud->udreserved4 = fd->param[255];
    if (fd->type == 1) strcpy(ud->string, fd->numb == 255 ? "Widest" : "");
    if (fd->type == 2) printf("asked for the name of xdata[%d]\n", fd->numb);
    if (fd->type == 3) ud->sag1 = ud->sag2 = 5.0;
    if (fd->type == 7) {
        fd->param[201] = 5.0;
        fd->datasurf_numvalues = 4801;
        fd->datasurf_values[4800] = 5.0;
    }
    return 0;
}
