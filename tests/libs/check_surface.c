/* The surface every library of the library check's tests is built from: a sphere of curvature
   cv that answers every request (name, names, sag, paraxial and real ray trace, index, safe
   data) the way the check expects. Each library is this file compiled with one of the CHECK_*
   switches below defined (tests/CMakeLists.txt), planting exactly one fault; with none it passes
   every check.

   The build may define:
     CHECK_FD, CHECK_ENTRY   the record and entry point (default FIXED_DATA, UserDefinedSurface)
     CHECK_GRIN              a gradient-index medium behind the sphere:
                             n = param[2] + param[3] (x^2 + y^2) + param[4] z,
                             param[1] the step Delta T of the ray through it
   and one fault:
     CHECK_HIT_OFF           the hit point lies 1e-3 further along the ray than the surface
     CHECK_NORMAL_FLIPPED    the normal takes the wrong sign of the slope
     CHECK_NOT_NORMALISED    the outgoing direction is left with its z component 1
     CHECK_INDICES_SWAPPED   n1 and n2 are read the wrong way round
     CHECK_NAN_SAG           outside the sphere the sag is the square root of a negative number,
                             answered with 0
     CHECK_NO_TERMINATOR     the name fills all 20 bytes of string
     CHECK_SAG_WRITES_PARAM1 the sag request keeps its answer in param[1]
     CHECK_COUNTER           a static call counter changes the sag's last digits
     CHECK_SHARED_BUFFER     the sag request keeps the point in a static buffer while it works
     CHECK_PARAXIAL_SIGN     the paraxial request bends the ray the wrong way
     CHECK_GRADIENT_WRONG    (with CHECK_GRIN) dndx and dndy lack the factor 2
     CHECK_SAME_NAMES        param[1] and param[2] have the same name
     CHECK_SAFE_DATA_VARIES  each safe-data request writes a different xdata[1]
     CHECK_PAST_USER_DATA    the gradient-index question writes 8 bytes past USER_DATA
     CHECK_PAST_FIXED_DATA   the gradient-index question writes 8 bytes past the record
     CHECK_USER_PADDING      the name request clears string and the 4 padding bytes after it */
#include <math.h>
#include <sched.h>
#include <string.h>

#include "user_surface.h"

#ifndef CHECK_FD
#define CHECK_FD FIXED_DATA
#define CHECK_ENTRY UserDefinedSurface
#endif

static void SetString(USER_DATA* ud, const char* text) {
    strncpy(ud->string, text, sizeof ud->string - 1);
    ud->string[sizeof ud->string - 1] = '\0';
}

static int SphereSag(const CHECK_FD* fd, double x, double y, double* sag) {
#ifdef CHECK_SHARED_BUFFER
    /* The point waits in a buffer every thread shares while the library works on something
       else (volatile: the compiler must not keep it in registers instead). */
    static volatile double point[2];
    point[0] = x;
    point[1] = y;
    sched_yield();
    x = point[0];
    y = point[1];
#endif
    const double c = fd->cv, r2 = x * x + y * y;
    const double arg = 1.0 - c * c * r2;
#ifndef CHECK_NAN_SAG
    if (arg < 0.0) return -1;
#endif
    *sag = c * r2 / (1.0 + sqrt(arg));
#ifdef CHECK_COUNTER
    static unsigned long calls;
    *sag += 1e-16 * (double)(calls++ % 1000);
#endif
    return 0;
}

static double IndexAt(const CHECK_FD* fd, double x, double y, double z) {
    return fd->param[2] + fd->param[3] * (x * x + y * y) + fd->param[4] * z;
}

static void Indices(const CHECK_FD* fd, double* n1, double* n2) {
#ifdef CHECK_INDICES_SWAPPED
    *n1 = fd->n2;
    *n2 = fd->n1;
#else
    *n1 = fd->n1;
    *n2 = fd->n2;
#endif
}

/* The ray crosses z = 0 at (x, y) along (l, m, n): where it meets the sphere
   c (x^2 + y^2 + z^2) - 2 z = 0, the normal there, the refracted direction. */
static int TraceRay(USER_DATA* ud, const CHECK_FD* fd) {
    const double c = fd->cv;
    const double a = c * (ud->l * ud->l + ud->m * ud->m + ud->n * ud->n);
    const double b = ud->n - c * (ud->x * ud->l + ud->y * ud->m);
    const double q = c * (ud->x * ud->x + ud->y * ud->y);
    const double disc = b * b - a * q;
    if (disc < 0.0) return -1;
    const double d = b >= 0.0 ? b + sqrt(disc) : b - sqrt(disc);
    if (d == 0.0) return -1;
    double t = q / d;
    const double x = ud->x + t * ud->l, y = ud->y + t * ud->m, z = t * ud->n;
    if (c * z > 1.0) return -1; /* the sphere's back half: the sag describes the front one */
    double nx = c * x, ny = c * y, nz = c * z - 1.0;
#ifdef CHECK_NORMAL_FLIPPED
    nx = -nx;
    ny = -ny;
#endif
    const double norm = sqrt(nx * nx + ny * ny + nz * nz);
    nx /= norm;
    ny /= norm;
    nz /= norm;
#ifdef CHECK_HIT_OFF
    t += 1e-3;
#endif
    ud->x = ud->x + t * ud->l;
    ud->y = ud->y + t * ud->m;
    ud->z = t * ud->n;
    ud->path = t;
    ud->ln = nx;
    ud->mn = ny;
    ud->nn = nz;
    double n1, n2;
    Indices(fd, &n1, &n2);
    if (n1 == n2) return 0;
    const double mu = n1 / n2;
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
#ifdef CHECK_NOT_NORMALISED
    ud->l /= ud->n;
    ud->m /= ud->n;
    ud->n = 1.0;
#endif
    return 0;
}

static void Paraxial(USER_DATA* ud, const CHECK_FD* fd) {
    double n1, n2;
    Indices(fd, &n1, &n2);
    double power = fd->cv * (n2 - n1);
#ifdef CHECK_PARAXIAL_SIGN
    power = -power;
#endif
    ud->ln = 0.0;
    ud->mn = 0.0;
    ud->nn = -1.0;
    if (ud->n == 0.0) return;
    const double tl = (n1 * ud->l / ud->n - power * ud->x) / n2;
    const double tm = (n1 * ud->m / ud->n - power * ud->y) / n2;
    ud->n = sqrt(1.0 / (tl * tl + 1.0 + tm * tm));
    ud->l = ud->n * tl;
    ud->m = ud->n * tm;
}

static const char* ParamName(int k) {
#if defined(CHECK_GRIN)
    static const char* const kNames[5] = {"", "Delta T", "Base Index", "Radial Coeff",
                                          "Axial Coeff"};
    return k >= 1 && k <= 4 ? kNames[k] : "";
#elif defined(CHECK_SAME_NAMES)
    return k == 1 || k == 2 ? "Radius" : "";
#else
    (void)k;
    return "";
#endif
}

USER_SURFACE_EXPORT int CHECK_ENTRY(USER_DATA* ud, CHECK_FD* fd) {
    switch (fd->type) {
        case 0:
            if (fd->numb == 0) {
#if defined(CHECK_NO_TERMINATOR)
                memcpy(ud->string, "Check Sphere Surface", 20);
#elif defined(CHECK_USER_PADDING)
                memset(ud->string, 0, sizeof ud->string + 4);
                strcpy(ud->string, "Check Sphere");
#else
                SetString(ud, "Check Sphere");
#endif
            }
            if (fd->numb == 1) SetString(ud, "");
            if (fd->numb == 2) {
#ifdef CHECK_GRIN
                SetString(ud, "GRIN");
#else
                SetString(ud, "");
#endif
#ifdef CHECK_PAST_USER_DATA
                memset((char*)(ud + 1), 0, 8);
#endif
#ifdef CHECK_PAST_FIXED_DATA
                memset((char*)(fd + 1), 0, 8);
#endif
            }
            return 0;
        case 1:
            SetString(ud, ParamName(fd->numb));
            return 0;
        case 2:
            SetString(ud, fd->numb == 1 ? "Check Value" : "");
            return 0;
        case 3: {
            double sag;
            if (SphereSag(fd, ud->x, ud->y, &sag) != 0) return -1;
            ud->sag1 = ud->sag2 = sag;
#ifdef CHECK_SAG_WRITES_PARAM1
            fd->param[1] = sag;
#endif
            return 0;
        }
        case 4:
            Paraxial(ud, fd);
            return 0;
        case 5:
            return TraceRay(ud, fd);
        case 6:
#ifdef CHECK_GRIN
            ud->index = IndexAt(fd, ud->x, ud->y, ud->z);
#ifdef CHECK_GRADIENT_WRONG
            ud->dndx = fd->param[3] * ud->x;
            ud->dndy = fd->param[3] * ud->y;
#else
            ud->dndx = 2.0 * fd->param[3] * ud->x;
            ud->dndy = 2.0 * fd->param[3] * ud->y;
#endif
            ud->dndz = fd->param[4];
#else
            (void)IndexAt;
            ud->index = fd->n2;
            ud->dndx = ud->dndy = ud->dndz = 0.0;
#endif
            return 0;
        case 7:
#ifdef CHECK_GRIN
            fd->param[1] = 0.2;
            fd->param[2] = 1.6;
            fd->param[3] = -0.002;
            fd->param[4] = 0.001;
#elif defined(CHECK_SAFE_DATA_VARIES)
        {
            static int calls;
            fd->xdata[1] = ++calls;
        }
#else
            fd->xdata[1] = 1.0;
#endif
            return 0;
        default:
            return 0;
    }
}
