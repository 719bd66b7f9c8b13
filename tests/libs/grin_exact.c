/* A gradient-index medium behind the plane z = 0 whose rays are known exactly:
 *
 *   n^2 = n0^2 (1 - g^2 (x^2 + y^2)),   grad n = -(n0^2 g^2 / n) (x, y, 0)
 *
 * param[1] is the step Delta T of the ray through the medium (the convention of gradient-index
 * libraries), param[2] n0 and param[3] g. With T = n dR/ds and dt = ds / n the ray equation is
 * d^2x/dt^2 = -(n0 g)^2 x, d^2z/dt^2 = 0: a meridional ray from (x0, 0, z0) goes as
 *
 *   x(t) = x0 cos(n0 g t) + (T_x0 / (n0 g)) sin(n0 g t),   z(t) = z0 + T_z t.
 *
 * Request 5 refracts the ray at the plane from n1 into n(x, y, 0); request 6 fails where
 * n^2 <= 0. The tests build this file into several libraries (tests/CMakeLists.txt), the exact
 * one and one with each of:
 *   GRIN_GRADIENT_SCALE=1.1  the gradient 10 % longer than the index's
 *   GRIN_HOMOGENEOUS         g = 0 in the safe data: n = n0 everywhere, no gradient
 *   GRIN_FAIL_BEYOND_Z=3     request 6 answers -1 beyond z = 3
 *   GRIN_NAN_BEYOND_Z=3      request 6 answers 0 with an index that is no number beyond z = 3
 */
#include <math.h>
#include <string.h>

#include "user_surface.h"

#ifndef GRIN_GRADIENT_SCALE
#define GRIN_GRADIENT_SCALE 1.0
#endif

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

static double IndexSquared(const FIXED_DATA* fd, double x, double y) {
    const double n0 = fd->param[2], g = fd->param[3];
    return n0 * n0 * (1.0 - g * g * (x * x + y * y));
}

static const char* ParamName(int k) {
    static const char* const kNames[4] = {"", "Delta T", "Axial Index", "Gradient g"};
    return k >= 1 && k <= 3 ? kNames[k] : "";
}

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case 0:
            if (fd->numb == 0) SetString(ud, "Exact GRIN");
            if (fd->numb == 1) SetString(ud, "");
            if (fd->numb == 2) SetString(ud, "GRIN");
            return 0;
        case 1:
            SetString(ud, ParamName(fd->numb));
            return 0;
        case 2:
            SetString(ud, "");
            return 0;
        case 3:
            ud->sag1 = ud->sag2 = 0.0;
            return 0;
        case 5: {
            /* From the ray's start to the plane z = 0, then refracted into n(x, y, 0). */
            if (ud->n == 0.0) return -1;
            const double t = -ud->z / ud->n;
            ud->x += t * ud->l;
            ud->y += t * ud->m;
            ud->z = 0.0;
            ud->path = t;
            ud->ln = 0.0;
            ud->mn = 0.0;
            ud->nn = -1.0;
            const double n2sq = IndexSquared(fd, ud->x, ud->y);
            if (n2sq <= 0.0) return -1;
            const double mu = fd->n1 / sqrt(n2sq);
            const double cosi = fabs(ud->n);
            const double k = 1.0 - mu * mu * (1.0 - cosi * cosi);
            if (k < 0.0) return -1;
            const double g = sqrt(k) - mu * cosi;
            ud->l = mu * ud->l;
            ud->m = mu * ud->m;
            ud->n = mu * ud->n + (ud->n < 0.0 ? -g : g);
            return 0;
        }
        case 6: {
#ifdef GRIN_FAIL_BEYOND_Z
            if (ud->z > GRIN_FAIL_BEYOND_Z) return -1;
#endif
            const double n2 = IndexSquared(fd, ud->x, ud->y);
            if (n2 <= 0.0) return -1;
            const double n = sqrt(n2);
            const double n0 = fd->param[2], g = fd->param[3];
            const double f = -GRIN_GRADIENT_SCALE * n0 * n0 * g * g / n;
            ud->index = n;
            ud->dndx = f * ud->x;
            ud->dndy = f * ud->y;
            ud->dndz = 0.0;
#ifdef GRIN_NAN_BEYOND_Z
            if (ud->z > GRIN_NAN_BEYOND_Z) ud->index = sqrt(-n2);
#endif
            return 0;
        }
        case 7:
            fd->param[1] = 0.01;
            fd->param[2] = 1.6;
#ifdef GRIN_HOMOGENEOUS
            fd->param[3] = 0.0;
#else
            fd->param[3] = 0.05;
#endif
            return 0;
        default:
            return 0;
    }
}
