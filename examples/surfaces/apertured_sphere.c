/*
 * apertured_sphere.c - a sphere that exists only inside a circular aperture (record
 * version 0). Outside the semi-aperture param[1] the sag and the ray trace fail with -1, so
 * a host's views show the surface with a hole around it.
 *
 * The sphere has the vertex curvature cv; the ray trace solves the sphere equation
 * c (x^2 + y^2 + z^2) - 2 z = 0 along the ray in closed form.
 *
 * Build on Linux:
 *   cc -shared -fPIC -O2 -I../include apertured_sphere.c -o apertured_sphere.so -lm
 */
#include <math.h>
#include <string.h>

#include "user_surface.h"

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

static int InsideAperture(const FIXED_DATA* fd, double x, double y) {
    const double a = fd->param[1];
    return x * x + y * y <= a * a;
}

static int Sag(const FIXED_DATA* fd, double x, double y, double* sag) {
    const double c = fd->cv, r2 = x * x + y * y;
    const double arg = 1.0 - c * c * r2;
    if (!InsideAperture(fd, x, y) || arg < 0.0) return -1;
    *sag = c * r2 / (1.0 + sqrt(arg));
    return 0;
}

/* The ray crosses z = 0 at (x, y) with the direction (l, m, n). Along it the sphere equation
   is a t^2 - 2 b t + q = 0. */
static int TraceRay(USER_DATA* ud, const FIXED_DATA* fd) {
    const double c = fd->cv;
    const double a = c * (ud->l * ud->l + ud->m * ud->m + ud->n * ud->n);
    const double b = ud->n - c * (ud->x * ud->l + ud->y * ud->m);
    const double q = c * (ud->x * ud->x + ud->y * ud->y);
    const double disc = b * b - a * q;
    if (disc < 0.0) return -1; /* the ray misses the sphere */
    /* The nearer crossing, for rays going up or down: the root written so nothing cancels. */
    const double d = b >= 0.0 ? b + sqrt(disc) : b - sqrt(disc);
    if (d == 0.0) return -1;
    const double t = q / d;
    const double x = ud->x + t * ud->l, y = ud->y + t * ud->m, z = t * ud->n;
    if (!InsideAperture(fd, x, y)) return -1;

    /* Normal from the gradient of the sphere equation, pointing against +z at the vertex. */
    double nx = c * x, ny = c * y, nz = c * z - 1.0;
    const double norm = sqrt(nx * nx + ny * ny + nz * nz);
    nx /= norm;
    ny /= norm;
    nz /= norm;
    ud->x = x;
    ud->y = y;
    ud->z = z;
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
    if (k < 0.0) return -1; /* total internal reflection */
    const double g = sqrt(k) - mu * cosi;
    ud->l = mu * ud->l + g * nx;
    ud->m = mu * ud->m + g * ny;
    ud->n = mu * ud->n + g * nz;
    return 0;
}

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case 0:
            if (fd->numb == 0) SetString(ud, "Apertured Sphere");
            if (fd->numb == 1 || fd->numb == 2) SetString(ud, "");
            return 0;
        case 1:
            SetString(ud, fd->numb == 1 ? "Semi-Aperture" : "");
            return 0;
        case 2:
            SetString(ud, "");
            return 0;
        case 3: {
            double sag;
            if (Sag(fd, ud->x, ud->y, &sag) != 0) return -1;
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
            fd->param[1] = 2.0;
            return 0;
        default:
            return 0;
    }
}
