#include "surface/even_array.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace velmor {
namespace {

// Records as the host starts them, with the surface's safe data applied: a 5 by 5 array of
// 2.0 by 2.0 cells (0.5 / cv with cv = 0.25), spherical lenslets.
struct Records {
    USER_DATA ud{};
    FIXED_DATA fd{};

    Records() {
        ud.x = 1.0;
        ud.y = -0.5;
        ud.l = -0.25;
        ud.m = 0.2;
        ud.n = 0.947;
        fd.n1 = 1.0;
        fd.n2 = 1.5;
        fd.cv = 0.25;
        fd.surf = 3;
        fd.wave = 1;
        fd.type = kRequestSafeData;
        EXPECT_EQ(EvenArraySurface(&ud, &fd), 0);
    }

    int Call(int type, int numb = 0) {
        fd.type = type;
        fd.numb = numb;
        return EvenArraySurface(&ud, &fd);
    }
    int SagAt(double x, double y) {
        ud.x = x;
        ud.y = y;
        return Call(kRequestSag);
    }
    void Ray(double x, double y, double l, double m, double n) {
        ud.x = x;
        ud.y = y;
        ud.l = l;
        ud.m = m;
        ud.n = n;
    }
};

struct Vec {
    double x, y, z;
};
Vec Sub(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec Cross(Vec a, Vec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec Scale(Vec a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}

// First crossing of the ray p0 + t d with the sphere of radius 1/c whose vertex is at the
// lenslet centre (centre of the sphere at z = 1/c): the smaller root of the quadratic.
double SphereHit(Vec p0, Vec d, Vec vertex, double c) {
    const double radius = 1 / c;
    const Vec centre{vertex.x, vertex.y, vertex.z + radius};
    const Vec q = Sub(p0, centre);
    const double b = Dot(d, q);
    const double cc = Dot(q, q) - radius * radius;
    return -b - std::sqrt(b * b - cc);
}

// Snell's law, independently of the refraction formula: the outgoing direction is a unit
// vector, n1 (d x N) = n2 (d' x N), and it keeps going the same way through the surface.
void ExpectSnell(Vec in, Vec out, Vec normal, double n1, double n2) {
    EXPECT_NEAR(Dot(out, out), 1.0, 1e-12);
    const Vec before = Scale(Cross(in, normal), n1);
    const Vec after = Scale(Cross(out, normal), n2);
    EXPECT_NEAR(before.x, after.x, 1e-12);
    EXPECT_NEAR(before.y, after.y, 1e-12);
    EXPECT_NEAR(before.z, after.z, 1e-12);
    EXPECT_GT(Dot(in, normal) * Dot(out, normal), 0);
}

TEST(EvenArrayTest, SafeDataFollowsTheCurvature) {
    Records r;
    EXPECT_EQ(r.fd.param[1], 5.0);
    EXPECT_EQ(r.fd.param[2], 5.0);
    EXPECT_EQ(r.fd.param[3], 2.0);
    EXPECT_EQ(r.fd.param[4], 2.0);

    r.fd.param[0] = 7;
    r.fd.param[6] = 1;
    r.fd.xdata[0] = 9;
    r.fd.xdata[200] = 4;
    r.fd.cv = 0;
    r.fd.k = -1;
    EXPECT_EQ(r.Call(kRequestSafeData), 0);
    EXPECT_EQ(r.fd.param[3], 100.0);
    EXPECT_EQ(r.fd.param[4], 100.0);
    EXPECT_EQ(r.fd.param[6], 0.0);
    EXPECT_EQ(r.fd.xdata[200], 0.0);
    EXPECT_EQ(r.fd.param[0], 7.0);  // not the surface's: left alone
    EXPECT_EQ(r.fd.xdata[0], 9.0);
    EXPECT_EQ(r.fd.k, -1.0);
}

TEST(EvenArrayTest, NamesAndTextAnswers) {
    Records r;
    EXPECT_EQ(r.Call(kRequestName, 0), 0);
    EXPECT_STREQ(r.ud.string, "Even Array");
    EXPECT_EQ(r.Call(kRequestName, 3), 0);  // not a question of this surface: string untouched
    EXPECT_STREQ(r.ud.string, "Even Array");
    EXPECT_EQ(r.Call(kRequestName, 2), 0);  // not a gradient-index medium
    EXPECT_STREQ(r.ud.string, "");

    const char* params[] = {"", "Number X", "Number Y", "Width X", "Height Y", ""};
    for (int k = 0; k <= 5; ++k) {
        std::strcpy(r.ud.string, "junk");
        EXPECT_EQ(r.Call(kRequestParamName, k), 0);
        EXPECT_STREQ(r.ud.string, params[k]) << "param " << k;
    }
    const char* xdata[] = {"",
                           "2nd Order Term",
                           "4th Order Term",
                           "6th Order Term",
                           "8th Order Term",
                           "10th Order Term",
                           "12th Order Term",
                           "14th Order Term",
                           "16th Order Term",
                           ""};
    for (int k = 0; k <= 9; ++k) {
        std::strcpy(r.ud.string, "junk");
        EXPECT_EQ(r.Call(kRequestXdataName, k), 0);
        EXPECT_STREQ(r.ud.string, xdata[k]) << "xdata " << k;
    }
    std::strcpy(r.ud.string, "junk");
    EXPECT_EQ(r.Call(kRequestParamName, -1), 0);
    EXPECT_STREQ(r.ud.string, "");
}

TEST(EvenArrayTest, IndexAndUnknownRequests) {
    Records r;
    r.ud.dndx = 5;
    EXPECT_EQ(r.Call(kRequestIndex), 0);
    EXPECT_EQ(r.ud.index, 1.5);
    EXPECT_EQ(r.ud.dndx, 0.0);

    const USER_DATA udBefore = r.ud;
    FIXED_DATA fdBefore = r.fd;
    for (int type : {8, 99, -1}) {
        EXPECT_EQ(r.Call(type), 0);
        fdBefore.type = type;
        EXPECT_EQ(std::memcmp(&udBefore, &r.ud, sizeof r.ud), 0);
        EXPECT_EQ(std::memcmp(&fdBefore, &r.fd, sizeof r.fd), 0);
    }
}

TEST(EvenArrayTest, CellBordersBelongToTheCellNearerTheOrigin) {
    double xc = 9, yc = 9;
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, 1.0, -0.5, &xc, &yc), 0);
    EXPECT_EQ(xc, 0.0);
    EXPECT_EQ(yc, 0.0);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, -1.0, 1.0, &xc, &yc), 0);
    EXPECT_EQ(xc, 0.0);
    EXPECT_EQ(yc, 0.0);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, 3.0, -3.0, &xc, &yc), 0);
    EXPECT_EQ(xc, 2.0);
    EXPECT_EQ(yc, -2.0);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, 1.2, 0, &xc, &yc), 0);
    EXPECT_EQ(xc, 2.0);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, 5.0, -5.0, &xc, &yc), 0);  // outer border is inside
    EXPECT_EQ(xc, 4.0);
    EXPECT_EQ(yc, -4.0);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, 5.5, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, 0, -5.0001, &xc, &yc), -1);
    // Cells of a width that is no binary fraction: 0.15 lies on the border of cells 0 and 1.
    EXPECT_EQ(LocateArrayCell(9, 9, 0.1, 0.1, 0.15, 0.2501, &xc, &yc), 0);
    EXPECT_NEAR(xc, 0.1, 1e-15);
    EXPECT_NEAR(yc, 0.3, 1e-15);
}

TEST(EvenArrayTest, CellCountsRoundDownToOddOnes) {
    double xc = 0, yc = 0;
    // Nx = 0 and Nx = 1: only the centre column; Nx = 2 too; Nx = 4 the same as 3.
    for (int nx : {0, 1, 2}) {
        EXPECT_EQ(LocateArrayCell(nx, 5, 2, 2, 0.5, 3.0, &xc, &yc), 0) << nx;
        EXPECT_EQ(LocateArrayCell(nx, 5, 2, 2, 1.2, 0, &xc, &yc), -1) << nx;
        EXPECT_EQ(LocateArrayCell(nx, 5, 2, 2, -1.2, 0, &xc, &yc), -1) << nx;
    }
    EXPECT_EQ(LocateArrayCell(4, 1, 2, 2, 2.5, 0, &xc, &yc), 0);
    EXPECT_EQ(LocateArrayCell(4, 1, 2, 2, -2.5, 0, &xc, &yc), 0);
    EXPECT_EQ(LocateArrayCell(4, 1, 2, 2, 3.5, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(-1, 1, 2, 2, 0, 0, &xc, &yc), -1);  // no cells at all

    // Through the records: param values are cut to whole numbers.
    Records r;
    r.fd.param[1] = 0;
    EXPECT_EQ(r.SagAt(1.2, 0), 0);
    EXPECT_EQ(r.ud.sag1, 0.0);
    EXPECT_EQ(r.SagAt(0.5, 0), 0);
    EXPECT_GT(r.ud.sag1, 0.0);
    r.fd.param[1] = 2.9;  // Nx = 2: only the centre column
    EXPECT_EQ(r.SagAt(1.2, 0), 0);
    EXPECT_EQ(r.ud.sag1, 0.0);
    r.fd.param[1] = 3.9;  // Nx = 3
    EXPECT_EQ(r.SagAt(1.2, 0), 0);
    EXPECT_GT(r.ud.sag1, 0.0);
}

TEST(EvenArrayTest, FarAndBrokenPointsEndAtOnce) {
    double xc = 0, yc = 0;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(LocateArrayCell(5, 5, 1e-300, 1, 1e300, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(2147483647, 5, 1e-300, 1, 1e300, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, inf, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, 0, -inf, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, nan, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(5, 5, 2, 2, 0, nan, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(5, 5, 0, 2, 1, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(5, 5, -2, 2, 1, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(5, 5, nan, 2, 1, 0, &xc, &yc), -1);

    // A huge array still finds far cells, directly instead of step by step.
    EXPECT_EQ(LocateArrayCell(2147483647, 1, 1, 1, 1e7 + 0.25, 0, &xc, &yc), 0);
    EXPECT_EQ(xc, 1e7);
    EXPECT_EQ(LocateArrayCell(2147483647, 1, 1, 1, -1e7 - 0.75, 0, &xc, &yc), 0);
    EXPECT_EQ(xc, -1e7 - 1);
    EXPECT_EQ(LocateArrayCell(2147483647, 1, 1, 1, 1e10, 0, &xc, &yc), -1);

    Records r;
    r.fd.param[1] = 1e300;  // a cell count beyond any integer
    r.fd.param[3] = 1e-300;
    EXPECT_EQ(r.SagAt(1e300, 0), 0);
    EXPECT_EQ(r.ud.sag1, 0.0);
    r.fd.param[1] = nan;
    EXPECT_EQ(r.SagAt(1e-301, 0), 0);
}

TEST(EvenArrayTest, SagInTheCellAtTwo) {
    Records r;
    r.fd.xdata[1] = 0.01;
    r.fd.xdata[2] = 0.001;
    r.ud.sag2 = 7;
    EXPECT_EQ(r.SagAt(1.2, 0), 0);
    // Cell centre (2, 0): u = -0.8, r2 = 0.64.
    // conic: 0.25 * 0.64 / (1 + sqrt(1 - 0.0625 * 0.64)) = 0.16 / (1 + sqrt(0.96))
    //      = 0.16 / 1.9797958971132712 = 0.0808164115469150
    // even:  0.01 * 0.64 + 0.001 * 0.64^2 = 0.0064 + 0.0004096
    EXPECT_NEAR(r.ud.sag1, 0.0808164115469150 + 0.0068096, 1e-15);
    EXPECT_EQ(r.ud.sag2, r.ud.sag1);

    // The same point seen from the centre cell would be r2 = 1.44: make sure it is not.
    EXPECT_GT(std::fabs(r.ud.sag1 - (0.25 * 1.44 / (1 + std::sqrt(1 - 0.0625 * 1.44)) + 0.0144 +
                                     0.001 * 1.44 * 1.44)),
              0.01);

    // 16th order term alone: a8 r2^8 with r2 = 0.25.
    r.fd.xdata[1] = r.fd.xdata[2] = 0;
    r.fd.cv = 0;
    r.fd.xdata[8] = 3;
    EXPECT_EQ(r.SagAt(2.5, 0), 0);
    EXPECT_NEAR(r.ud.sag1, 3 * std::pow(0.25, 8), 1e-18);
}

TEST(EvenArrayTest, SagOutsideAndOffTheConic) {
    Records r;
    r.ud.sag1 = r.ud.sag2 = 5;
    EXPECT_EQ(r.SagAt(5.5, 0), 0);
    EXPECT_EQ(r.ud.sag1, 0.0);
    EXPECT_EQ(r.ud.sag2, 0.0);

    // Beyond the rim of the conic the root is taken as 0: sag = c r2 / 1.
    r.fd.cv = 2;
    EXPECT_EQ(r.SagAt(0.9, 0), 0);
    EXPECT_DOUBLE_EQ(r.ud.sag1, 2 * 0.81);

    for (double bad : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN()}) {
        Records s;
        s.fd.param[3] = bad;
        s.ud.sag1 = 5;
        EXPECT_EQ(s.SagAt(0, 0), -1);
        EXPECT_EQ(s.ud.sag1, 0.0);
        s.fd.param[3] = 2;
        s.fd.param[4] = bad;
        EXPECT_EQ(s.SagAt(0, 0), -1);
        EXPECT_EQ(s.Call(kRequestRealTrace), -1);
        s.fd.param[4] = 2;
        s.fd.param[3] = bad;
        EXPECT_EQ(s.Call(kRequestRealTrace), -1);
    }
}

TEST(EvenArrayTest, ParaxialTrace) {
    Records r;  // x 1.0, y -0.5, l -0.25, m 0.2, n 0.947; n1 1, n2 1.5, cv 0.25
    EXPECT_EQ(r.Call(kRequestParaxialTrace), 0);
    // P = (2 * 0 + 0.25) * 0.5 = 0.125
    // l'' = (-0.25 / 0.947 - 0.125 * 1.0) / 1.5 = -0.2593277015135516
    // m'' = (0.2 / 0.947 + 0.125 * 0.5) / 1.5 = 0.18246216121084124
    // n = sqrt(1 / (l''^2 + 1 + m''^2)) = 0.9532272157912381
    EXPECT_NEAR(r.ud.n, 0.9532272157912381, 1e-15);
    EXPECT_NEAR(r.ud.l, -0.24719822289130405, 1e-15);
    EXPECT_NEAR(r.ud.m, 0.17392789791826224, 1e-15);
    EXPECT_EQ(r.ud.ln, 0.0);
    EXPECT_EQ(r.ud.mn, 0.0);
    EXPECT_EQ(r.ud.nn, -1.0);
    EXPECT_EQ(r.ud.x, 1.0);  // no cell lookup, no position change

    Records flat;
    flat.Ray(0.5, 0.5, 0.3, 0.4, 0);
    flat.ud.ln = flat.ud.mn = flat.ud.nn = 7;
    EXPECT_EQ(flat.Call(kRequestParaxialTrace), 0);
    EXPECT_EQ(flat.ud.l, 0.3);
    EXPECT_EQ(flat.ud.m, 0.4);
    EXPECT_EQ(flat.ud.n, 0.0);
    EXPECT_EQ(flat.ud.ln, 0.0);
    EXPECT_EQ(flat.ud.mn, 0.0);
    EXPECT_EQ(flat.ud.nn, -1.0);
}

TEST(EvenArrayTest, AxialRayKeepsItsDirection) {
    Records r;
    r.Ray(2.0, -4.0, 0, 0, 1);
    r.ud.z = 5;
    r.ud.path = 5;
    EXPECT_EQ(r.Call(kRequestRealTrace), 0);
    EXPECT_EQ(r.ud.x, 2.0);
    EXPECT_EQ(r.ud.y, -4.0);
    EXPECT_EQ(r.ud.z, 0.0);
    EXPECT_EQ(r.ud.path, 0.0);
    EXPECT_EQ(r.ud.l, 0.0);
    EXPECT_EQ(r.ud.m, 0.0);
    EXPECT_EQ(r.ud.n, 1.0);
    EXPECT_EQ(r.ud.ln, 0.0);
    EXPECT_EQ(r.ud.mn, 0.0);
    EXPECT_EQ(r.ud.nn, -1.0);
}

TEST(EvenArrayTest, RealRayMeetsTheSphereAndObeysSnell) {
    Records r;  // spherical lenslets, c = 0.25, cells 2 by 2
    const double norm = std::sqrt(0.1 * 0.1 + 0.2 * 0.2 + 1);
    const Vec d{0.1 / norm, -0.2 / norm, 1 / norm};
    r.Ray(2.6, -0.3, d.x, d.y, d.z);
    EXPECT_EQ(r.Call(kRequestRealTrace), 0);

    const double t = SphereHit({2.6, -0.3, 0}, d, {2, 0, 0}, 0.25);
    EXPECT_NEAR(r.ud.path, t, 1e-9);
    EXPECT_NEAR(r.ud.x, 2.6 + t * d.x, 1e-9);
    EXPECT_NEAR(r.ud.y, -0.3 + t * d.y, 1e-9);
    EXPECT_NEAR(r.ud.z, t * d.z, 1e-9);

    // The normal is the sphere's radius direction, pointing towards -z.
    const Vec hit{r.ud.x, r.ud.y, r.ud.z};
    const Vec radial = Scale(Sub(hit, {2, 0, 4}), 0.25);
    EXPECT_NEAR(r.ud.ln, radial.x, 1e-9);
    EXPECT_NEAR(r.ud.mn, radial.y, 1e-9);
    EXPECT_NEAR(r.ud.nn, radial.z, 1e-9);
    ExpectSnell(d, {r.ud.l, r.ud.m, r.ud.n}, {r.ud.ln, r.ud.mn, r.ud.nn}, 1.0, 1.5);
}

TEST(EvenArrayTest, EqualIndicesStillTraceThePoint) {
    Records r;
    r.fd.n2 = 1.0;
    r.fd.xdata[2] = 0.05;  // an asphere, so the normal has the polynomial part too
    r.Ray(0.4, 0.3, 0.1, 0.05, std::sqrt(1 - 0.01 - 0.0025));
    const double l = r.ud.l, m = r.ud.m, n = r.ud.n;
    EXPECT_EQ(r.Call(kRequestRealTrace), 0);
    EXPECT_EQ(r.ud.l, l);
    EXPECT_EQ(r.ud.m, m);
    EXPECT_EQ(r.ud.n, n);
    EXPECT_GT(r.ud.path, 0.0);
    EXPECT_NEAR(r.ud.x, 0.4 + r.ud.path * l, 1e-12);
    EXPECT_NEAR(r.ud.y, 0.3 + r.ud.path * m, 1e-12);
    // The hit lies on the surface.
    const double r2 = r.ud.x * r.ud.x + r.ud.y * r.ud.y;
    const double sag = 0.25 * r2 / (1 + std::sqrt(1 - 0.0625 * r2)) + 0.05 * r2 * r2;
    EXPECT_NEAR(r.ud.z, sag, 1e-10);
    // The normal is the gradient of sag - z, unit length, towards -z.
    const double slope = 0.25 / std::sqrt(1 - 0.0625 * r2) + 4 * 0.05 * r2;  // dz/dr / r
    const double len = std::sqrt(slope * slope * r2 + 1);
    EXPECT_NEAR(r.ud.ln, slope * r.ud.x / len, 1e-12);
    EXPECT_NEAR(r.ud.mn, slope * r.ud.y / len, 1e-12);
    EXPECT_NEAR(r.ud.nn, -1 / len, 1e-12);
}

TEST(EvenArrayTest, HitInTheNextCellIsTracedAgainThere) {
    // Lenslets of radius 2 (c = 0.5); the ray crosses z = 0 at x = 0.9 (centre cell) heading
    // to +x. Against the centre sphere: t^2 - 2.12 t + 0.81 = 0, t = 0.5, hit x = 1.2, which
    // lies in the cell at 2; against that sphere t^2 - 4.52 t + 1.21 = 0.
    Records r;
    r.fd.cv = 0.5;
    r.fd.n2 = 1.0;
    r.Ray(0.9, 0, 0.6, 0, 0.8);
    EXPECT_EQ(r.Call(kRequestRealTrace), 0);
    const double t = (4.52 - std::sqrt(4.52 * 4.52 - 4 * 1.21)) / 2;
    EXPECT_NEAR(t, SphereHit({0.9, 0, 0}, {0.6, 0, 0.8}, {2, 0, 0}, 0.5), 1e-12);
    EXPECT_NEAR(r.ud.path, t, 1e-9);
    EXPECT_NEAR(r.ud.x, 0.9 + 0.6 * t, 1e-9);
    EXPECT_NEAR(r.ud.z, 0.8 * t, 1e-9);
    EXPECT_NEAR(r.ud.ln, (r.ud.x - 2) / 2, 1e-9);  // normal of the sphere centred at x = 2

    // With a single column the first hit (x = 1.2) lies off the array: the position of the
    // first pass stays, z is not written, and the surface there is the plane.
    Records edge;
    edge.fd.cv = 0.5;
    edge.fd.param[1] = 1;
    edge.Ray(0.9, 0, 0.6, 0, 0.8);
    edge.ud.z = 7;
    EXPECT_EQ(edge.Call(kRequestRealTrace), 0);
    EXPECT_NEAR(edge.ud.x, 1.2, 1e-9);
    EXPECT_NEAR(edge.ud.path, 0.5, 1e-9);
    EXPECT_EQ(edge.ud.z, 7.0);
    EXPECT_EQ(edge.ud.nn, -1.0);
    ExpectSnell({0.6, 0, 0.8}, {edge.ud.l, edge.ud.m, edge.ud.n}, {0, 0, -1}, 1.0, 1.5);
}

TEST(EvenArrayTest, OutsideTheArrayRefractsAtThePlane) {
    Records r;
    r.Ray(5.5, 1.0, 0.6, 0, 0.8);
    r.ud.z = 3;
    r.ud.path = 4;
    EXPECT_EQ(r.Call(kRequestRealTrace), 0);
    EXPECT_EQ(r.ud.x, 5.5);
    EXPECT_EQ(r.ud.y, 1.0);
    EXPECT_EQ(r.ud.z, 3.0);
    EXPECT_EQ(r.ud.path, 4.0);
    EXPECT_EQ(r.ud.nn, -1.0);
    ExpectSnell({0.6, 0, 0.8}, {r.ud.l, r.ud.m, r.ud.n}, {0, 0, -1}, 1.0, 1.5);
    EXPECT_NEAR(r.ud.l, 0.4, 1e-15);  // sin 36.87 deg / 1.5
}

TEST(EvenArrayTest, TotalInternalReflectionAnswersMinusSurf) {
    Records r;
    r.fd.n1 = 1.5;
    r.fd.n2 = 1.0;
    r.Ray(5.5, 0, 0.8, 0, 0.6);  // 1.5 * 0.8 > 1
    EXPECT_EQ(r.Call(kRequestRealTrace), -3);
    EXPECT_EQ(r.ud.l, 0.8);  // direction unchanged
    EXPECT_EQ(r.ud.n, 0.6);

    r.Ray(0.3, 0, 0.8, 0, 0.6);  // inside a lenslet too
    r.fd.surf = 12;
    EXPECT_EQ(r.Call(kRequestRealTrace), -12);

    r.Ray(5.5, 0, 0.8, 0, 0.6);
    r.fd.surf = 0;  // minus 0 would read as success
    EXPECT_EQ(r.Call(kRequestRealTrace), -1);

    double l = 0.8, m = 0, n = 0.6;
    EXPECT_EQ(Refract(1.5, 1.0, &l, &m, &n, 0, 0, -1), -1);
    EXPECT_EQ(Refract(1.0, 0.0, &l, &m, &n, 0, 0, -1), -1);
    EXPECT_EQ(l, 0.8);
    EXPECT_EQ(Refract(1.5, 1.0, &l, &m, &n, -0.8, 0, -0.6), 0);  // along the normal now
    EXPECT_NEAR(l, 0.8, 1e-15);
    EXPECT_NEAR(n, 0.6, 1e-15);
}

TEST(EvenArrayTest, IntersectionStepLimit) {
    // A paraboloid z = 0.5 r^2 (cv 0, a1 0.5) met by a tilted ray at x = 1, z = 0.5. Each step
    // shrinks the error only by the factor tan(angle) * x, close to 1 here: at 0.7739 rad the
    // ray needs about 990 steps, at 0.7742 rad about 1015.
    auto trace = [](double angle) {
        Records r;
        r.fd.cv = 0;
        r.fd.xdata[1] = 0.5;
        r.fd.param[1] = r.fd.param[2] = 1;
        r.fd.param[3] = r.fd.param[4] = 100;
        const double l = -std::sin(angle), n = std::cos(angle);
        r.Ray(1 - 0.5 / n * l, 0, l, 0, n);
        const int result = r.Call(kRequestRealTrace);
        return std::make_pair(result, r.ud);
    };
    auto [ok, ud] = trace(0.7739);
    EXPECT_EQ(ok, 0);
    EXPECT_NEAR(ud.x, 1.0, 1e-9);
    EXPECT_NEAR(ud.z, 0.5, 1e-9);
    EXPECT_EQ(trace(0.7742).first, -1);
    EXPECT_EQ(trace(0.8).first, -1);  // oscillates for ever

    // A ray parallel to the plane never meets the lenslet.
    Records flat;
    flat.Ray(0.5, 0, 1, 0, 0);
    EXPECT_EQ(flat.Call(kRequestRealTrace), -1);
    // A ray that misses the sphere altogether walks off its rim.
    Records miss;
    miss.fd.cv = 0.5;
    miss.Ray(0.9, 0, 0.8, 0, 0.6);
    EXPECT_EQ(miss.Call(kRequestRealTrace), -1);
}

}  // namespace
}  // namespace velmor
