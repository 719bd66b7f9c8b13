// The built-in "Even Array" surface: Nx by Ny identical even-asphere lenslets, answering every
// request on record version 0 records like a surface library would.
#pragma once

#include "core/surface/records.h"

namespace velmor {

// The built-in entry point. 0 success, -1 failure, -surf on total internal reflection.
int EvenArraySurface(USER_DATA* ud, FIXED_DATA* fd);

// Cell of the array that holds (x, y): 0 with its centre in *xc, *yc, or -1 outside.
int LocateArrayCell(int nx, int ny, double w, double h, double x, double y, double* xc, double* yc);

// Vector refraction of (l, m, n) at the normal (ln, mn, nn) from index n1 into n2.
// 0, or -1 on total internal reflection (direction unchanged).
int Refract(double n1, double n2, double* l, double* m, double* n, double ln, double mn, double nn);

}  // namespace velmor
