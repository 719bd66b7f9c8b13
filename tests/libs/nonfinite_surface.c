/* A record-version-0 surface that answers 0 with values that are no numbers at chosen points:
   sag 0.25 and index 1.5 (gradient 0) everywhere but
     x > 5       sag NaN, index NaN
     y > 5       sag +infinity, dn/dz -infinity (the index itself is 1.5)
     x < -5      sag and index answered with 1, an ordinary failure
   and a real trace that meets the plane z = 0.25 with the direction unchanged, except from a
   start point with x > 5, where its z is NaN (still answered with 0). */
#include <math.h>
#include <string.h>

#include "user_surface.h"

USER_SURFACE_EXPORT int UserDefinedSurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case 0:
            if (fd->numb == 0) strcpy(ud->string, "Nonfinite");
            return 0;
        case 3:
            if (ud->x < -5) return 1;
            ud->sag1 = ud->sag2 = ud->x > 5 ? NAN : ud->y > 5 ? INFINITY : 0.25;
            return 0;
        case 5: {
            const int broken = ud->x > 5;
            if (ud->n == 0) return 1;
            ud->path = (0.25 - ud->z) / ud->n;
            ud->x += ud->path * ud->l;
            ud->y += ud->path * ud->m;
            ud->z = broken ? NAN : 0.25;
            ud->ln = ud->mn = 0;
            ud->nn = 1;
            return 0;
        }
        case 6:
            if (ud->x < -5) return 1;
            ud->index = ud->x > 5 ? NAN : 1.5;
            ud->dndx = ud->dndy = 0;
            ud->dndz = ud->y > 5 ? -INFINITY : 0;
            return 0;
        default:
            return 0;
    }
}
