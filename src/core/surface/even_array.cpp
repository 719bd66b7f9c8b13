// The built-in "Even Array" surface. It answers like a surface library on record version 0
// records: the names of the surface and its data, the sag, a paraxial and a real ray trace,
// the (homogeneous) index and the safe data.
#include "core/surface/even_array.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>

namespace velmor {

namespace {

// Names answered for request 1 (param elements) and request 2 (xdata elements); index = numb.
constexpr const char* kParamNames[] = {nullptr, "Number X", "Number Y", "Width X", "Height Y"};
constexpr const char* kXdataNames[] = {nullptr,           "2nd Order Term",  "4th Order Term",
                                       "6th Order Term",  "8th Order Term",  "10th Order Term",
                                       "12th Order Term", "14th Order Term", "16th Order Term"};
constexpr int kParamNameCount = int(std::size(kParamNames)) - 1;
constexpr int kXdataNameCount = int(std::size(kXdataNames)) - 1;

constexpr int kMaxIntersectionSteps = 1000;
constexpr double kIntersectionTolerance = 1e-10;

// Beyond this many whole cells from the origin the cell index is computed instead of stepped to.
constexpr double kMaxSteppedCells = 4096;
// Cell counts beyond this are taken as this (far more cells than any view can show).
constexpr double kMaxCellCount = 1e9;

void SetString(USER_DATA* ud, const char* text) {
    static_assert(sizeof ud->string == 20);
    std::size_t length = std::strlen(text);
    if (length >= sizeof ud->string) length = sizeof ud->string - 1;
    std::memcpy(ud->string, text, length);
    ud->string[length] = '\0';
}

// Nx or Ny from its param element: the whole-number part of the double (0 counts as 1 through
// the cell rule). Not-a-number counts as 0; huge values are capped so the cast stays defined.
int CellCount(double value) {
    if (std::isnan(value)) return 0;
    if (value > kMaxCellCount) value = kMaxCellCount;
    if (value < -kMaxCellCount) value = -kMaxCellCount;
    return static_cast<int>(value);  // truncates towards zero
}

// The cell index along one axis: how many whole cells of width `width` the coordinate lies away
// from the centre cell, a point exactly on a border belonging to the cell nearer the origin.
// False when the point lies outside the `limit` cells on either side of the centre, or when
// there is no sensible answer (a coordinate that is not a number or infinite, a width that is
// not positive while the point is off the origin).
bool CellIndex(double coordinate, double width, long long limit, long long* index) {
    *index = 0;
    if (std::isnan(coordinate) || std::isnan(width)) return false;
    const double half = width / 2;
    if (!(std::fabs(coordinate) > half)) return limit >= 0;
    if (!(width > 0) || !std::isfinite(coordinate)) return false;

    const double cells = std::fabs(coordinate) / width;
    if (cells > kMaxSteppedCells) {
        // Too far to step cell by cell (and stepping would no longer move a huge coordinate):
        // count the cells directly.
        const double steps = std::ceil((std::fabs(coordinate) - half) / width);
        if (!(steps <= static_cast<double>(limit))) return false;
        *index = coordinate > 0 ? static_cast<long long>(steps) : -static_cast<long long>(steps);
        return true;
    }

    // Step cell by cell towards the origin, as the cell borders are defined; stop as soon as
    // the count leaves the array.
    long long i = 0;
    if (coordinate > 0) {
        while (coordinate > half) {
            ++i;
            coordinate -= width;
            if (i > limit) return false;
        }
    } else {
        while (coordinate < -half) {
            coordinate += width;
            --i;
            if (-i > limit) return false;
        }
    }
    *index = i;
    return true;
}

struct Lenslet {
    double c = 0;      // vertex curvature
    double k = 0;      // conic constant
    double a[9] = {};  // a[1] .. a[8]: coefficients of r^2 .. r^16
};

Lenslet LensletOf(const FIXED_DATA* fd) {
    Lenslet lens;
    lens.c = fd->cv;
    lens.k = fd->k;
    for (int i = 1; i <= 8; ++i) lens.a[i] = fd->xdata[i];
    return lens;
}

// The argument of the square root in the conic part at r2.
double ConicRoot(const Lenslet& lens, double r2) {
    return 1 - (1 + lens.k) * (lens.c * lens.c) * r2;
}

// Sag at local coordinates with r2 = u^2 + v^2; a negative square-root argument counts as 0.
double LensletSag(const Lenslet& lens, double r2) {
    double root = ConicRoot(lens, r2);
    if (root < 0) root = 0;
    double sag = lens.c * r2 / (1 + std::sqrt(root));
    for (int i = 1; i <= 8; ++i) {
        if (lens.a[i] == 0) continue;
        double term = lens.a[i];
        for (int p = 0; p < i; ++p) term *= r2;
        sag += term;
    }
    return sag;
}

int AnswerName(USER_DATA* ud, int numb) {
    if (numb == 0) {
        SetString(ud, "Even Array");
    } else if (numb == 1 || numb == 2) {
        SetString(ud, "");
    }
    return 0;
}

int AnswerParamName(USER_DATA* ud, int numb) {
    SetString(ud, numb >= 1 && numb <= kParamNameCount ? kParamNames[numb] : "");
    return 0;
}

int AnswerXdataName(USER_DATA* ud, int numb) {
    SetString(ud, numb >= 1 && numb <= kXdataNameCount ? kXdataNames[numb] : "");
    return 0;
}

int AnswerSag(USER_DATA* ud, const FIXED_DATA* fd) {
    ud->sag1 = 0;
    ud->sag2 = 0;
    const double w = fd->param[3];
    const double h = fd->param[4];
    if (!(w > 0) || !(h > 0)) return -1;
    double xc = 0, yc = 0;
    if (LocateArrayCell(CellCount(fd->param[1]), CellCount(fd->param[2]), w, h, ud->x, ud->y, &xc,
                        &yc) != 0) {
        return 0;  // outside the array: flat, sag 0
    }
    const double u = ud->x - xc;
    const double v = ud->y - yc;
    const double sag = LensletSag(LensletOf(fd), u * u + v * v);
    ud->sag1 = sag;
    ud->sag2 = sag;
    return 0;
}

int AnswerParaxialTrace(USER_DATA* ud, const FIXED_DATA* fd) {
    ud->ln = 0;
    ud->mn = 0;
    ud->nn = -1;
    const double n1 = fd->n1;
    const double n2 = fd->n2;
    const double power = (2 * fd->xdata[1] + fd->cv) * (n2 - n1);
    if (ud->n == 0) return 0;
    if (n2 == 0) return -1;  // no medium after the surface: the tangents are undefined
    const double lt = ud->l / ud->n;
    const double mt = ud->m / ud->n;
    const double lOut = (n1 * lt - power * ud->x) / n2;
    const double mOut = (n1 * mt - power * ud->y) / n2;
    ud->n = std::sqrt(1 / (lOut * lOut + 1 + mOut * mOut));
    ud->l = ud->n * lOut;
    ud->m = ud->n * mOut;
    return 0;
}

// Where the ray from (u0, v0, 0) along (l, m, n) meets the lenslet, in its local coordinates:
// repeated steps along the ray by the height still missing to the surface. -1 when the ray
// leaves the lenslet's domain or needs more than the step limit.
int IntersectLenslet(const Lenslet& lens, double u0, double v0, double l, double m, double n,
                     double* u, double* v, double* z, double* t) {
    double uu = u0, vv = v0, zz = 0, tt = 0;
    bool converged = false;
    for (int step = 0; step < kMaxIntersectionSteps && !converged; ++step) {
        const double r2 = uu * uu + vv * vv;
        if (ConicRoot(lens, r2) < 0) return -1;
        const double sag = LensletSag(lens, r2);
        const double dt = (sag - zz) / n;
        tt += dt;
        uu += dt * l;
        vv += dt * m;
        zz += dt * n;
        converged = std::fabs(dt) <= kIntersectionTolerance;
    }
    if (!converged) return -1;
    *u = uu;
    *v = vv;
    *z = zz;
    *t = tt;
    return 0;
}

// Unit normal of the lenslet at the local point, pointing towards -z.
int LensletNormal(const Lenslet& lens, double u, double v, double* ln, double* mn, double* nn) {
    const double r2 = u * u + v * v;
    if (r2 == 0) {
        *ln = 0;
        *mn = 0;
        *nn = -1;
        return 0;
    }
    const double c = lens.c;
    const double root = ConicRoot(lens, r2);
    if (root < 0) return -1;
    const double s = std::sqrt(root);
    double f = ((c * c * r2 * (1 + lens.k)) / ((s + 1) * s) + 2) * (c / (s + 1));
    for (int i = 1; i <= 8; ++i) {
        if (lens.a[i] == 0) continue;
        double term = 2 * i * lens.a[i];
        for (int p = 1; p < i; ++p) term *= r2;
        f += term;
    }
    // On the rim of a full hemisphere the slope is infinite and the formula has no answer.
    if (!std::isfinite(f)) return -1;
    const double px = f * u;
    const double py = f * v;
    const double scale = std::sqrt(1 / (px * px + 1 + py * py));
    *ln = scale * px;
    *mn = scale * py;
    *nn = -scale;
    return 0;
}

int AnswerRealTrace(USER_DATA* ud, const FIXED_DATA* fd) {
    const int nx = CellCount(fd->param[1]);
    const int ny = CellCount(fd->param[2]);
    const double w = fd->param[3];
    const double h = fd->param[4];
    if (!(w > 0) || !(h > 0)) return -1;

    const Lenslet lens = LensletOf(fd);
    const double x0 = ud->x;
    const double y0 = ud->y;
    double xc = 0, yc = 0;
    bool inside = LocateArrayCell(nx, ny, w, h, x0, y0, &xc, &yc) == 0;
    if (inside) {
        // A ray parallel to the plane never reaches the surface (every step would divide by 0).
        if (ud->n == 0) return -1;
        double u = 0, v = 0, z = 0, t = 0;
        if (IntersectLenslet(lens, x0 - xc, y0 - yc, ud->l, ud->m, ud->n, &u, &v, &z, &t) != 0)
            return -1;
        ud->path = t;

        // The hit may lie in a neighbouring cell: trace once more against that cell's lenslet
        // from the same crossing point and accept what that finds.
        ud->x = xc + u;
        ud->y = yc + v;
        double xc2 = 0, yc2 = 0;
        inside = LocateArrayCell(nx, ny, w, h, ud->x, ud->y, &xc2, &yc2) == 0;
        if (inside && (xc2 != xc || yc2 != yc)) {
            xc = xc2;
            yc = yc2;
            if (IntersectLenslet(lens, x0 - xc, y0 - yc, ud->l, ud->m, ud->n, &u, &v, &z, &t) != 0)
                return -1;
            ud->path = t;
        }
        if (inside) {
            if (LensletNormal(lens, u, v, &ud->ln, &ud->mn, &ud->nn) != 0) return -1;
            ud->x = xc + u;
            ud->y = yc + v;
            ud->z = z;
        }
    }
    if (!inside) {
        // Off the array the surface is the plane z = 0.
        ud->ln = 0;
        ud->mn = 0;
        ud->nn = -1;
    }

    if (fd->n1 == fd->n2) return 0;
    if (Refract(fd->n1, fd->n2, &ud->l, &ud->m, &ud->n, ud->ln, ud->mn, ud->nn) != 0) {
        // Total internal reflection answers minus the surface number; a surface numbered 0
        // must still report a failure.
        if (fd->surf == 0 || fd->surf == INT_MIN) return -1;
        return -fd->surf;
    }
    return 0;
}

int AnswerIndex(USER_DATA* ud, const FIXED_DATA* fd) {
    ud->index = fd->n2;
    ud->dndx = 0;
    ud->dndy = 0;
    ud->dndz = 0;
    return 0;
}

int AnswerSafeData(FIXED_DATA* fd) {
    fd->param[1] = 5.0;
    fd->param[2] = 5.0;
    fd->param[3] = fd->cv != 0 ? 0.5 / fd->cv : 100.0;
    fd->param[4] = fd->param[3];
    for (int i = 5; i <= 8; ++i) fd->param[i] = 0;
    for (int i = 1; i <= 200; ++i) fd->xdata[i] = 0;
    return 0;
}

}  // namespace

int LocateArrayCell(int nx, int ny, double w, double h, double x, double y, double* xc,
                    double* yc) {
    // Cells run from -(N - 1) / 2 to (N - 1) / 2 (integer division towards zero), so an even
    // count admits the same cells as the next lower odd count and 0 admits the centre cell.
    const long long limitX = (static_cast<long long>(nx) - 1) / 2;
    const long long limitY = (static_cast<long long>(ny) - 1) / 2;
    long long i = 0, j = 0;
    const bool inX = CellIndex(x, w, limitX, &i);
    const bool inY = CellIndex(y, h, limitY, &j);
    if (!inX || !inY) {
        *xc = 0;
        *yc = 0;
        return -1;
    }
    *xc = static_cast<double>(i) * w;
    *yc = static_cast<double>(j) * h;
    return 0;
}

int Refract(double n1, double n2, double* l, double* m, double* n, double ln, double mn,
            double nn) {
    if (n2 == 0) return -1;  // no index to refract into
    const double mu = n1 / n2;
    const double c = std::fabs(*l * ln + *m * mn + *n * nn);
    double c2 = c * c;
    if (c2 > 1) c2 = 1;
    const double r = 1 - mu * mu * (1 - c2);
    if (r < 0) return -1;
    const double g = c * mu - std::sqrt(r);
    *l = mu * *l + g * ln;
    *m = mu * *m + g * mn;
    *n = mu * *n + g * nn;
    return 0;
}

int EvenArraySurface(USER_DATA* ud, FIXED_DATA* fd) {
    switch (fd->type) {
        case kRequestName:
            return AnswerName(ud, fd->numb);
        case kRequestParamName:
            return AnswerParamName(ud, fd->numb);
        case kRequestXdataName:
            return AnswerXdataName(ud, fd->numb);
        case kRequestSag:
            return AnswerSag(ud, fd);
        case kRequestParaxialTrace:
            return AnswerParaxialTrace(ud, fd);
        case kRequestRealTrace:
            return AnswerRealTrace(ud, fd);
        case kRequestIndex:
            return AnswerIndex(ud, fd);
        case kRequestSafeData:
            return AnswerSafeData(fd);
        default:
            return 0;  // unknown requests change nothing
    }
}

}  // namespace velmor
