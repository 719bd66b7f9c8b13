/*
 * microlens_array5.c - an 8 x 8 array of spherical lenslets, each with a curvature of its own,
 * written for the fifth interface generation: it exports UserDefinedSurface5 and reads
 * FIXED_DATA5 (record version 4), whose param array reaches element 255.
 *
 * The lenslets sit on a square grid of pitch p = param[1] centred on the vertex. Lenslet (i, j),
 * column i and row j from 0 to 7, covers
 *
 *   (i - 4) p <= x < (i - 3) p,   (j - 4) p <= y < (j - 3) p
 *
 * around its centre (x_i, y_j) = ((i - 3.5) p, (j - 3.5) p), and its curvature is
 * c_ij = param[192 + 8 j + i]: param[192] .. param[255] hold the 64 curvatures row by row.
 *
 *   sag(x, y) = c_ij s^2 / (1 + sqrt(1 - c_ij^2 s^2)),   s^2 = (x - x_i)^2 + (y - y_j)^2
 *
 * Outside the array, and where a lenslet's sphere has no real value, the sag request fails
 * with -1. A ray is traced to the lenslet whose cell it meets; a ray that runs into the step
 * between two lenslets fails. The safe data gives a pitch of 1 and curvatures growing
 * from 0.2 at lenslet (0, 0) by 0.005 per lenslet to 0.515 at lenslet (7, 7).
 *
 * Build on Linux:
 *   cc -shared -fPIC -O2 -I../include microlens_array5.c -o microlens_array5.so -lm
 */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "user_surface.h"

#define LENSLETS 8          /* per row and per column */
#define FIRST_CURVATURE 192 /* param index of lenslet (0, 0) */

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

/* The lenslet whose cell holds (x, y): its centre and curvature. 0, or -1 outside the array. */
static int Lenslet(const FIXED_DATA5* fd, double x, double y, double* cx, double* cy, double* c) {
    const double p = fd->param[1];
    if (!(p > 0.0)) return -1;
    const double u = x / p + LENSLETS / 2, v = y / p + LENSLETS / 2;
    if (!(u >= 0.0 && u < LENSLETS && v >= 0.0 && v < LENSLETS)) return -1;
    const int i = (int)u, j = (int)v;
    *cx = (i - (LENSLETS - 1) / 2.0) * p;
    *cy = (j - (LENSLETS - 1) / 2.0) * p;
    *c = fd->param[FIRST_CURVATURE + LENSLETS * j + i];
    return 0;
}

/* Sag of a sphere of curvature c at (dx, dy) from its vertex, and its slopes. 0, or -1 where
   the sphere has no real value. */
static int SphereSag(double c, double dx, double dy, double* sag, double* sx, double* sy) {
    const double s2 = dx * dx + dy * dy, arg = 1.0 - c * c * s2;
    if (arg <= 0.0) return -1;
    const double root = sqrt(arg);
    *sag = c * s2 / (1.0 + root);
    *sx = c * dx / root;
    *sy = c * dy / root;
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

/* Where the ray from (x, y, 0) along (l, m, n) meets the sphere of curvature c centred at
   (cx, cy), by Newton's method: 0 with the ray parameter *t, or -1. */
static int MeetSphere(const USER_DATA* ud, double c, double cx, double cy, double* t) {
    double sag, sx, sy;
    *t = 0.0;
    for (int i = 0; i < 100; ++i) {
        const double x = ud->x + *t * ud->l, y = ud->y + *t * ud->m;
        if (SphereSag(c, x - cx, y - cy, &sag, &sx, &sy) != 0) return -1;
        const double df = sx * ud->l + sy * ud->m - ud->n;
        if (df == 0.0) return -1;
        const double dt = (sag - *t * ud->n) / df;
        *t -= dt;
        if (fabs(dt) < 1e-12) return 0;
    }
    return -1;
}

/* The ray crosses z = 0 at (x, y) with direction (l, m, n): it is first met with the lenslet of
   that cell; when the meeting point lies in another cell, that cell's lenslet is tried, a few
   times at most (a ray that runs into the step between two lenslets finds no cell). Then the
   ray is refracted there. */
static int TraceRay(USER_DATA* ud, const FIXED_DATA5* fd) {
    double cx, cy, c, t = 0.0, x = ud->x, y = ud->y;
    if (Lenslet(fd, x, y, &cx, &cy, &c) != 0) return -1;
    for (int tries = 0;; ++tries) {
        double hx, hy, hc;
        if (tries == 4 || MeetSphere(ud, c, cx, cy, &t) != 0) return -1;
        x = ud->x + t * ud->l;
        y = ud->y + t * ud->m;
        if (Lenslet(fd, x, y, &hx, &hy, &hc) != 0) return -1;
        if (hx == cx && hy == cy) break;
        cx = hx;
        cy = hy;
        c = hc;
    }
    double sag, sx, sy;
    if (SphereSag(c, x - cx, y - cy, &sag, &sx, &sy) != 0) return -1;
    const double norm = sqrt(sx * sx + sy * sy + 1.0);
    ud->x = x;
    ud->y = y;
    ud->z = t * ud->n;
    ud->path = t;
    ud->ln = sx / norm;
    ud->mn = sy / norm;
    ud->nn = -1.0 / norm;
    if (fd->n1 == fd->n2) return 0;
    return Refract(ud, fd->n1, fd->n2, ud->ln, ud->mn, ud->nn);
}

USER_SURFACE_EXPORT int UserDefinedSurface5(USER_DATA* ud, FIXED_DATA5* fd) {
    switch (fd->type) {
        case 0: /* name, and the answers to the general questions */
            if (fd->numb == 0) SetString(ud, "Microlens Array");
            if (fd->numb == 1 || fd->numb == 2) SetString(ud, ""); /* not a gradient-index medium */
            return 0;
        case 1: { /* names of the parameters: the pitch and the 64 curvatures */
            const int k = fd->numb - FIRST_CURVATURE;
            if (fd->numb == 1) {
                SetString(ud, "Pitch");
            } else if (k >= 0 && k < LENSLETS * LENSLETS) {
                snprintf(ud->string, sizeof ud->string, "Curvature %d,%d", k % LENSLETS,
                         k / LENSLETS);
            } else {
                SetString(ud, "");
            }
            return 0;
        }
        case 2: /* FIXED_DATA5 has no extra data */
            SetString(ud, "");
            return 0;
        case 3: { /* sag at (x, y) */
            double cx, cy, c, sag, sx, sy;
            if (Lenslet(fd, ud->x, ud->y, &cx, &cy, &c) != 0) return -1;
            if (SphereSag(c, ud->x - cx, ud->y - cy, &sag, &sx, &sy) != 0) return -1;
            ud->sag1 = sag;
            ud->sag2 = sag;
            return 0;
        }
        case 4: { /* paraxial ray trace: the power of the lenslet the ray starts in */
            double cx, cy, c;
            if (Lenslet(fd, ud->x, ud->y, &cx, &cy, &c) != 0) return -1;
            const double power = c * (fd->n2 - fd->n1);
            ud->ln = 0.0;
            ud->mn = 0.0;
            ud->nn = -1.0;
            if (ud->n == 0.0) return 0;
            const double tl = (fd->n1 * ud->l / ud->n - power * (ud->x - cx)) / fd->n2;
            const double tm = (fd->n1 * ud->m / ud->n - power * (ud->y - cy)) / fd->n2;
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
        case 7: /* safe data */
            fd->param[1] = 1.0;
            for (int k = 0; k < LENSLETS * LENSLETS; ++k)
                fd->param[FIRST_CURVATURE + k] = 0.2 + 0.005 * k;
            return 0;
        default:
            return 0;
    }
}
