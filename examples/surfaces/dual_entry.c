/*
 * dual_entry.c - one sphere served to hosts of two interface generations: it exports both
 * UserDefinedSurface (FIXED_DATA) and UserDefinedSurface4 (FIXED_DATA4). A host that looks
 * the entry points up in the order UserDefinedSurface, 2, 3, 4 uses the first one, with
 * record version 0.
 *
 * The sphere has the vertex curvature cv and is clipped at the semi-diameter param[1].
 *
 * Build on Linux:
 *   cc -shared -fPIC -O2 -I../include dual_entry.c -o dual_entry.so -lm
 */
#include <math.h>
#include <string.h>

#include "user_surface.h"

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

/* The requests both entry points share; `param` is the record's parameter array. */
static int Sphere(USER_DATA* ud, int type, int numb, double cv, double* param) {
    switch (type) {
        case 0:
            if (numb == 0) SetString(ud, "Dual Entry Sphere");
            if (numb == 1 || numb == 2) SetString(ud, "");
            return 0;
        case 1:
            SetString(ud, numb == 1 ? "Semi-Diameter" : "");
            return 0;
        case 2:
            SetString(ud, "");
            return 0;
        case 3: {
            const double r2 = ud->x * ud->x + ud->y * ud->y;
            const double arg = 1.0 - cv * cv * r2;
            if (arg < 0.0 || r2 > param[1] * param[1]) return -1;
            ud->sag1 = ud->sag2 = cv * r2 / (1.0 + sqrt(arg));
            return 0;
        }
        case 7:
            param[1] = 3.0;
            return 0;
        default:
            return 0;
    }
}

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    return Sphere(ud, fd->type, fd->numb, fd->cv, fd->param);
}

USER_SURFACE_EXPORT int UserDefinedSurface4(USER_DATA* ud, FIXED_DATA4* fd) {
    return Sphere(ud, fd->type, fd->numb, fd->cv, fd->param);
}
