/*
 * xy_polynomial3.c - a conic with an added polynomial in x and y, written for the third
 * interface generation only: it exports UserDefinedSurface3 and reads FIXED_DATA3 (record
 * version 2).
 *
 *   sag(x, y) = c r^2 / (1 + sqrt(1 - (1 + k) c^2 r^2))
 *             + p1 x + p2 y + p3 x^2 + p4 x y + p5 y^2
 *
 * c is cv, k is k, p1 .. p5 are param[1] .. param[5]. The safe data gives a gentle
 * astigmatic saddle (p3 and p5).
 *
 * Build on Linux:
 *   cc -shared -fPIC -O2 -I../include xy_polynomial3.c -o xy_polynomial3.so -lm
 */
#include <math.h>
#include <string.h>

#include "user_surface.h"

static const char* const kParamNames[6] = {"", "X", "Y", "X^2", "X*Y", "Y^2"};

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

/* Sag and its slopes at (x, y). 0, or -1 where the conic has no real value. */
static int Sag(const FIXED_DATA3* fd, double x, double y, double* sag, double* sx, double* sy) {
    const double c = fd->cv, r2 = x * x + y * y;
    const double kc2 = (1.0 + fd->k) * c * c;
    const double arg = 1.0 - kc2 * r2;
    if (arg <= 0.0) return -1;
    const double s = sqrt(arg);
    const double* p = fd->param;
    *sag = c * r2 / (1.0 + s) + p[1] * x + p[2] * y + p[3] * x * x + p[4] * x * y + p[5] * y * y;
    /* d(conic)/d(r2), times 2x and 2y for the slopes */
    const double d = c / (1.0 + s) + c * r2 * kc2 / (2.0 * s * (1.0 + s) * (1.0 + s));
    *sx = 2.0 * x * d + p[1] + 2.0 * p[3] * x + p[4] * y;
    *sy = 2.0 * y * d + p[2] + p[4] * x + 2.0 * p[5] * y;
    return 0;
}

static int TraceRay(USER_DATA* ud, const FIXED_DATA3* fd) {
    double t = 0.0, x = ud->x, y = ud->y, sag, sx, sy;
    for (int i = 0;; ++i) { /* Newton's method on sag(ray(t)) - z(t) */
        if (i == 100) return -1;
        x = ud->x + t * ud->l;
        y = ud->y + t * ud->m;
        if (Sag(fd, x, y, &sag, &sx, &sy) != 0) return -1;
        const double df = sx * ud->l + sy * ud->m - ud->n;
        if (df == 0.0) return -1;
        const double dt = (sag - t * ud->n) / df;
        t -= dt;
        if (fabs(dt) < 1e-12) break;
    }
    x = ud->x + t * ud->l;
    y = ud->y + t * ud->m;
    if (Sag(fd, x, y, &sag, &sx, &sy) != 0) return -1;
    const double norm = sqrt(sx * sx + sy * sy + 1.0);
    double nx = sx / norm, ny = sy / norm, nz = -1.0 / norm;
    ud->x = x;
    ud->y = y;
    ud->z = t * ud->n;
    ud->path = t;
    ud->ln = nx;
    ud->mn = ny;
    ud->nn = nz;
    if (fd->n1 == fd->n2) return 0;

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

USER_SURFACE_EXPORT int UserDefinedSurface3(USER_DATA* ud, FIXED_DATA3* fd) {
    switch (fd->type) {
        case 0:
            if (fd->numb == 0) SetString(ud, "XY Polynomial");
            if (fd->numb == 1 || fd->numb == 2) SetString(ud, "");
            return 0;
        case 1:
            SetString(ud, fd->numb >= 1 && fd->numb <= 5 ? kParamNames[fd->numb] : "");
            return 0;
        case 2:
            SetString(ud, "");
            return 0;
        case 3: {
            double sag, sx, sy;
            if (Sag(fd, ud->x, ud->y, &sag, &sx, &sy) != 0) return -1;
            ud->sag1 = ud->sag2 = sag;
            return 0;
        }
        case 5:
            return TraceRay(ud, fd);
        case 6:
            ud->index = fd->n2;
            ud->dndx = ud->dndy = ud->dndz = 0.0;
            return 0;
        case 7:
            fd->param[1] = 0.0;
            fd->param[2] = 0.0;
            fd->param[3] = 0.01;
            fd->param[4] = 0.0;
            fd->param[5] = -0.01;
            return 0;
        default:
            return 0;
    }
}
