/*
 * even_asphere.c - an even asphere as a user-defined surface (record version 0).
 *
 *   sag(r) = c r^2 / (1 + sqrt(1 - (1 + k) c^2 r^2)) + a1 r^2 + a2 r^4 + ... + a8 r^16
 *
 * c is the vertex curvature (cv), k the conic constant (k), and the coefficients a1 .. a8 are
 * param[1] .. param[8]. A point where the square root has no real value is not on the surface:
 * the sag request fails there with -1.
 *
 * Build on Linux:
 *   cc -shared -fPIC -O2 -I../include even_asphere.c -o even_asphere.so -lm
 */
#include <math.h>
#include <string.h>

#include "user_surface.h"

static const char* const kParamNames[9] = {
    "",
    "Coeff on r 2",
    "Coeff on r 4",
    "Coeff on r 6",
    "Coeff on r 8",
    "Coeff on r 10",
    "Coeff on r 12",
    "Coeff on r 14",
    "Coeff on r 16",
};

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

/* Sag at r2 = x^2 + y^2. 0, or -1 where the conic has no real value. */
static int Sag(const FIXED_DATA* fd, double r2, double* sag) {
    const double c = fd->cv;
    const double arg = 1.0 - (1.0 + fd->k) * c * c * r2;
    if (arg < 0.0) return -1;
    double s = c * r2 / (1.0 + sqrt(arg));
    double power = r2;
    for (int i = 1; i <= 8; ++i) {
        s += fd->param[i] * power;
        power *= r2;
    }
    *sag = s;
    return 0;
}

/* d sag / d(r2): the sag's slope along x is 2 x times this, along y 2 y times this. */
static int SagSlope(const FIXED_DATA* fd, double r2, double* slope) {
    const double c = fd->cv;
    const double kc2 = (1.0 + fd->k) * c * c;
    const double arg = 1.0 - kc2 * r2;
    if (arg <= 0.0) return -1;
    const double s = sqrt(arg);
    double d = c / (1.0 + s) + c * r2 * kc2 / (2.0 * s * (1.0 + s) * (1.0 + s));
    double power = 1.0;
    for (int i = 1; i <= 8; ++i) {
        d += i * fd->param[i] * power;
        power *= r2;
    }
    *slope = d;
    return 0;
}

/* Refracts the unit direction (l, m, n) at the unit normal from index n1 into n2.
   0, or -1 on total internal reflection. */
static int Refract(USER_DATA* ud, double n1, double n2, double nx, double ny, double nz) {
    const double mu = n1 / n2;
    double cosi = ud->l * nx + ud->m * ny + ud->n * nz;
    if (cosi < 0.0) { /* turn the normal along the ray */
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

/* The ray crosses z = 0 at (x, y) with direction (l, m, n): find where it meets the surface
   by Newton's method, then refract there. */
static int TraceRay(USER_DATA* ud, const FIXED_DATA* fd) {
    double t = 0.0;
    for (int i = 0;; ++i) {
        if (i == 100) return -1;
        const double x = ud->x + t * ud->l, y = ud->y + t * ud->m, z = t * ud->n;
        double sag, slope;
        if (Sag(fd, x * x + y * y, &sag) != 0 || SagSlope(fd, x * x + y * y, &slope) != 0) {
            return -1;
        }
        const double f = sag - z;
        const double df = 2.0 * x * slope * ud->l + 2.0 * y * slope * ud->m - ud->n;
        if (df == 0.0) return -1;
        const double dt = f / df;
        t -= dt;
        if (fabs(dt) < 1e-12) break;
    }
    const double x = ud->x + t * ud->l, y = ud->y + t * ud->m;
    double slope;
    if (SagSlope(fd, x * x + y * y, &slope) != 0) return -1;
    const double px = 2.0 * x * slope, py = 2.0 * y * slope;
    const double norm = sqrt(px * px + py * py + 1.0);
    ud->x = x;
    ud->y = y;
    ud->z = t * ud->n;
    ud->path = t;
    ud->ln = px / norm;
    ud->mn = py / norm;
    ud->nn = -1.0 / norm;
    if (fd->n1 == fd->n2) return 0;
    return Refract(ud, fd->n1, fd->n2, ud->ln, ud->mn, ud->nn);
}

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case 0: /* name, and the answers to the general questions */
            if (fd->numb == 0) SetString(ud, "Even Asphere");
            if (fd->numb == 1 || fd->numb == 2) SetString(ud, ""); /* not a gradient-index medium */
            return 0;
        case 1: /* names of the parameters */
            SetString(ud, fd->numb >= 0 && fd->numb <= 8 ? kParamNames[fd->numb] : "");
            return 0;
        case 2: /* no extra data is used */
            SetString(ud, "");
            return 0;
        case 3: { /* sag at (x, y) */
            double sag;
            if (Sag(fd, ud->x * ud->x + ud->y * ud->y, &sag) != 0) return -1;
            ud->sag1 = sag;
            ud->sag2 = sag;
            return 0;
        }
        case 4: { /* paraxial ray trace: the power of the vertex */
            const double power = (2.0 * fd->param[1] + fd->cv) * (fd->n2 - fd->n1);
            ud->ln = 0.0;
            ud->mn = 0.0;
            ud->nn = -1.0;
            if (ud->n == 0.0) return 0;
            const double tl = (fd->n1 * ud->l / ud->n - power * ud->x) / fd->n2;
            const double tm = (fd->n1 * ud->m / ud->n - power * ud->y) / fd->n2;
            ud->n = sqrt(1.0 / (tl * tl + 1.0 + tm * tm));
            ud->l = ud->n * tl;
            ud->m = ud->n * tm;
            return 0;
        }
        case 5: /* real ray trace */
            return TraceRay(ud, fd);
        case 6: /* homogeneous medium behind the surface */
            ud->index = fd->n2;
            ud->dndx = ud->dndy = ud->dndz = 0.0;
            return 0;
        case 7: /* safe data: a plain conic */
            for (int i = 1; i <= 8; ++i) fd->param[i] = 0.0;
            return 0;
        default:
            return 0;
    }
}
