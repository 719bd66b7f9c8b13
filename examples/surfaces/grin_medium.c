/*
 * grin_medium.c - a flat entrance face into a gradient-index medium (record version 0).
 *
 *   n(x, y, z) = n0 + nr (x^2 + y^2) + nz z
 *
 * with n0 = param[2], nr = param[3] and nz = param[4]. param[1] is the step "Delta T" of the
 * ray through the medium: gradient-index libraries by convention reserve it for the host, which
 * continues the ray after request 5 by the ray equation in steps of that length. The library
 * tells the host that it is a gradient-index medium by answering the question type 0, numb 2
 * with a non-empty string, and answers request 6 with the index and its gradient at a point.
 *
 * Build on Linux:
 *   cc -shared -fPIC -O2 -I../include grin_medium.c -o grin_medium.so -lm
 */
#include <math.h>
#include <string.h>

#include "user_surface.h"

static const char* const kParamNames[5] = {"", "Delta T", "Base Index", "Radial Coeff",
                                           "Axial Coeff"};

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

static double IndexAt(const FIXED_DATA* fd, double x, double y, double z) {
    return fd->param[2] + fd->param[3] * (x * x + y * y) + fd->param[4] * z;
}

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case 0:
            if (fd->numb == 0) SetString(ud, "Radial GRIN");
            if (fd->numb == 1) SetString(ud, "");
            if (fd->numb == 2) SetString(ud, "GRIN"); /* yes: a gradient-index medium */
            return 0;
        case 1:
            SetString(ud, fd->numb >= 1 && fd->numb <= 4 ? kParamNames[fd->numb] : "");
            return 0;
        case 2:
            SetString(ud, "");
            return 0;
        case 3: /* the entrance face is the plane z = 0 */
            ud->sag1 = ud->sag2 = 0.0;
            return 0;
        case 5: { /* the ray enters at the plane and is refracted into the local index */
            const double n2 = IndexAt(fd, ud->x, ud->y, 0.0);
            if (n2 <= 0.0) return -1;
            ud->z = 0.0;
            ud->path = 0.0;
            ud->ln = 0.0;
            ud->mn = 0.0;
            ud->nn = -1.0;
            const double mu = fd->n1 / n2;
            const double cosi = fabs(ud->n);
            const double k = 1.0 - mu * mu * (1.0 - cosi * cosi);
            if (k < 0.0) return -1;
            const double g = sqrt(k) - mu * cosi;
            ud->l = mu * ud->l;
            ud->m = mu * ud->m;
            ud->n = mu * ud->n + (ud->n < 0.0 ? -g : g);
            return 0;
        }
        case 6: /* index and gradient at (x, y, z) */
            ud->index = IndexAt(fd, ud->x, ud->y, ud->z);
            ud->dndx = 2.0 * fd->param[3] * ud->x;
            ud->dndy = 2.0 * fd->param[3] * ud->y;
            ud->dndz = fd->param[4];
            return 0;
        case 7:
            fd->param[1] = 0.2; /* Delta T */
            fd->param[2] = 1.6;
            fd->param[3] = -0.002;
            fd->param[4] = 0.001;
            return 0;
        default:
            return 0;
    }
}
