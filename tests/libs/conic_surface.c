/* A conic (cv, k of the records) built only from correctly rounded operations (+ - * / sqrt),
   so that its Linux and Windows builds answer bit for bit alike, and the same conic written as a
   script answers as it does:
     sag(r) = cv r^2 / (1 + sqrt(1 - (1 + k) cv^2 r^2)), failing (-1) where the root has no value.
   A difference can be planted at one point: the sag at exactly (param[2], param[3]) has
   param[1] added. Safe data sets param[1..3] to 0 (nothing planted).
   Built as record version 0 (conic_surface) and, with CONIC_FD=FIXED_DATA3 and
   CONIC_ENTRY=UserDefinedSurface3, as record version 2 (conic_surface3), whose record has rows
   (comment, glass[199], ...) version 0 lacks. */
#include <math.h>
#include <string.h>

#include "user_surface.h"

#ifndef CONIC_FD
#define CONIC_FD FIXED_DATA
#define CONIC_ENTRY UserDefinedSurface
#endif

static int Sag(const CONIC_FD* fd, double x, double y, double* sag) {
    const double c = fd->cv;
    const double r2 = x * x + y * y;
    const double arg = 1.0 - (1.0 + fd->k) * c * c * r2;
    if (arg < 0.0) return -1;
    double s = c * r2 / (1.0 + sqrt(arg));
    if (x == fd->param[2] && y == fd->param[3]) s += fd->param[1];
    *sag = s;
    return 0;
}

/* d sag / d(r2), as the conic's slope. */
static int Slope(const CONIC_FD* fd, double r2, double* slope) {
    const double c = fd->cv;
    const double kc2 = (1.0 + fd->k) * c * c;
    const double arg = 1.0 - kc2 * r2;
    if (arg <= 0.0) return -1;
    const double s = sqrt(arg);
    *slope = c / (1.0 + s) + c * r2 * kc2 / (2.0 * s * (1.0 + s) * (1.0 + s));
    return 0;
}

/* Where the ray from (x, y, 0) along (l, m, n) meets the conic (Newton's method), the normal
   there and the refraction from n1 into n2. */
static int Trace(USER_DATA* ud, const CONIC_FD* fd) {
    double t = 0.0;
    for (int i = 0;; ++i) {
        if (i == 100) return -1;
        const double x = ud->x + t * ud->l, y = ud->y + t * ud->m, z = t * ud->n;
        double sag, slope;
        if (Sag(fd, x, y, &sag) != 0 || Slope(fd, x * x + y * y, &slope) != 0) return -1;
        const double df = 2.0 * x * slope * ud->l + 2.0 * y * slope * ud->m - ud->n;
        if (df == 0.0) return -1;
        const double dt = (sag - z) / df;
        t -= dt;
        if (fabs(dt) < 1e-12) break;
    }
    const double x = ud->x + t * ud->l, y = ud->y + t * ud->m;
    double slope;
    if (Slope(fd, x * x + y * y, &slope) != 0) return -1;
    const double px = 2.0 * x * slope, py = 2.0 * y * slope;
    const double norm = sqrt(px * px + py * py + 1.0);
    double nx = px / norm, ny = py / norm, nz = -1.0 / norm;
    ud->x = x;
    ud->y = y;
    ud->z = t * ud->n;
    ud->path = t;
    ud->ln = nx;
    ud->mn = ny;
    ud->nn = nz;
    const double mu = fd->n1 / fd->n2;
    double cosi = ud->l * nx + ud->m * ny + ud->n * nz;
    if (cosi < 0.0) {
        nx = -nx;
        ny = -ny;
        nz = -nz;
        cosi = -cosi;
    }
    const double k = 1.0 - mu * mu * (1.0 - cosi * cosi);
    if (k < 0.0) return -1;
    const double g = sqrt(k) - mu * cosi;
    ud->l = mu * ud->l + g * nx;
    ud->m = mu * ud->m + g * ny;
    ud->n = mu * ud->n + g * nz;
    return 0;
}

USER_SURFACE_EXPORT int CONIC_ENTRY(USER_DATA* ud, CONIC_FD* fd) {
    switch (fd->type) {
        case 0:
            strcpy(ud->string, fd->numb == 0 ? "Conic" : "");
            return 0;
        case 1:
            strcpy(ud->string, fd->numb == 1   ? "Planted"
                               : fd->numb == 2 ? "Planted x"
                               : fd->numb == 3 ? "Planted y"
                                               : "");
            return 0;
        case 2:
            ud->string[0] = '\0';
            return 0;
        case 3: {
            double sag;
            if (Sag(fd, ud->x, ud->y, &sag) != 0) return -1;
            ud->sag1 = ud->sag2 = sag;
            return 0;
        }
        case 5:
            return Trace(ud, fd);
        case 6:
            ud->index = fd->n2;
            ud->dndx = ud->dndy = ud->dndz = 0.0;
            return 0;
        case 7:
            fd->param[1] = fd->param[2] = fd->param[3] = 0.0;
            return 0;
        default:
            return 0;
    }
}
