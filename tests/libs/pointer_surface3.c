/* A record-version-2 surface (UserDefinedSurface3 only) that keeps its tables in its own
   memory, as surfaces with large data do: its safe data points int_data, db_data and c_data
   at its static arrays and names itself in the comment. Its sag is 0 everywhere. */
#include <string.h>

#include "user_surface.h"

static int g_ints[4] = {7, 7, 7, 7};
static double g_doubles[4] = {3.25, 3.25, 3.25, 3.25};
static char g_chars[8] = "pointer";

USER_SURFACE_EXPORT int UserDefinedSurface3(USER_DATA* ud, FIXED_DATA3* fd) {
    if (fd->type == 3) ud->sag1 = ud->sag2 = 0.0;
    if (fd->type == 5) ud->z = 0.0;
    if (fd->type == 7) {
        fd->int_data = g_ints;
        fd->db_data = g_doubles;
        fd->c_data = g_chars;
        strcpy(fd->comment, "pointer_surface3");
    }
    return 0;
}
