/* A gradient-index library laid out as the public ones are: record version 3
 * (UserDefinedSurface4), param[1] the step "Delta T" of the ray through the medium with 0.2 in
 * its safe data, thic left as the user sets it (0: the medium has no back plane of its own),
 * and an index that depends on the wavelength: at wavelength 0 request 6 answers success with
 * an index that is no number (0 / 0), as such a library does before the user sets it.
 *
 *   n(x, y, z) = (param[2] + param[3] (x^2 + y^2)) * (wavelength / wavelength)
 *
 * The entrance face is the plane z = 0; request 5 refracts into the index without the
 * wavelength's factor.
 */
#include <math.h>
#include <string.h>

#include "user_surface.h"

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

static double BaseIndex(const FIXED_DATA4* fd, double x, double y) {
    return fd->param[2] + fd->param[3] * (x * x + y * y);
}

static const char* ParamName(int k) {
    static const char* const kNames[4] = {"", "Delta T", "Base Index", "Radial Coeff"};
    return k >= 1 && k <= 3 ? kNames[k] : "";
}

USER_SURFACE_EXPORT int UserDefinedSurface4(USER_DATA* ud, FIXED_DATA4* fd) {
    switch (fd->type) {
        case 0:
            if (fd->numb == 0) SetString(ud, "Public GRIN");
            if (fd->numb == 1) SetString(ud, "");
            if (fd->numb == 2) SetString(ud, "1");
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
            if (ud->n == 0.0) return -1;
            const double t = -ud->z / ud->n;
            ud->x += t * ud->l;
            ud->y += t * ud->m;
            ud->z = 0.0;
            ud->path = t;
            ud->ln = 0.0;
            ud->mn = 0.0;
            ud->nn = -1.0;
            const double n2 = BaseIndex(fd, ud->x, ud->y);
            if (n2 <= 0.0) return -1;
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
        case 6: {
            /* volatile: the compiler must not fold w / w into 1 */
            volatile double w = fd->wavelength;
            const double scale = w / w;
            ud->index = BaseIndex(fd, ud->x, ud->y) * scale;
            ud->dndx = 2.0 * fd->param[3] * ud->x * scale;
            ud->dndy = 2.0 * fd->param[3] * ud->y * scale;
            ud->dndz = 0.0;
            return 0;
        }
        case 7:
            fd->param[1] = 0.2;
            fd->param[2] = 1.55;
            fd->param[3] = -0.003;
            return 0;
        default:
            return 0;
    }
}
