#include "core/surface/even_array.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

namespace velmor {
namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Records as the host starts them, with the surface's safe data applied: a 5 by 5 array of
// 2.0 by 2.0 cells (0.5 / cv with cv = 0.25), spherical lenslets.
struct Records {
    USER_DATA ud{};
    FIXED_DATA fd{};

    Records() {
        Ray(1.0, -0.5, -0.25, 0.2, 0.947);
        std::tie(fd.n1, fd.n2, fd.cv, fd.surf) = std::tuple(1.0, 1.5, 0.25, 3);
        EXPECT_EQ(Call(kRequestSafeData), 0);
    }
    int Call(int type, int numb = 0) {
        std::tie(fd.type, fd.numb) = std::tuple(type, numb);
        return EvenArraySurface(&ud, &fd);
    }
    int SagAt(double x, double y) {
        std::tie(ud.x, ud.y) = std::tuple(x, y);
        return Call(kRequestSag);
    }
    void Ray(double x, double y, double l, double m, double n) {
        std::tie(ud.x, ud.y, ud.l, ud.m, ud.n) = std::tuple(x, y, l, m, n);
    }
};

TEST(EvenArrayTest, SafeDataNamesIndexAndUnknownRequests) {
    Records r;
    EXPECT_EQ(r.Call(kRequestName, 0), 0);
    EXPECT_STREQ(r.ud.string, "Even Array");
    EXPECT_EQ(r.Call(kRequestName, 3), 0);  // not a question of this surface: string untouched
    EXPECT_STREQ(r.ud.string, "Even Array");
    EXPECT_EQ(r.Call(kRequestName, 2), 0);  // not a gradient-index medium
    EXPECT_STREQ(r.ud.string, "");
    EXPECT_EQ(r.Call(kRequestXdataName, 8), 0);
    EXPECT_STREQ(r.ud.string, "16th Order Term");
    for (int type : {kRequestParamName, kRequestXdataName}) {
        std::strcpy(r.ud.string, "junk");
        EXPECT_EQ(r.Call(type, 0), 0);  // element 0 has no name
        EXPECT_STREQ(r.ud.string, "");
    }
    EXPECT_EQ(r.Call(kRequestIndex), 0);
    EXPECT_EQ(r.ud.index, 1.5);
    const USER_DATA udBefore = r.ud;
    EXPECT_EQ(r.Call(8), 0);  // above 7: nothing to do
    EXPECT_EQ(std::memcmp(&udBefore, &r.ud, sizeof r.ud), 0);
}

TEST(EvenArrayTest, CellLookup) {
    struct Case {
        int nx;
        double x, y;
        int result;
        double xc = 0, yc = 0;
    } cases[] = {
        // clang-format off
        {5, 1.0, -0.5, 0, 0, 0},  // borders belong to the cell nearer the origin
        {5, -1.0, 1.0, 0, 0, 0}, {5, 3.0, -3.0, 0, 2, -2}, {5, 1.2, 0, 0, 2, 0},
        {5, 5.0, -5.0, 0, 4, -4},  // the outer border is inside
        {5, 5.5, 0, -1}, {5, 0, -5.0001, -1},
        {0, 0.5, 3.0, 0, 0, 2}, {0, 1.2, 0, -1}, {2, 1.2, 0, -1}, {2, -1.2, 0, -1},  // Nx 0, 2
        {4, 2.5, 0, 0, 2, 0}, {4, 3.5, 0, -1}, {-1, 0, 0, -1},  // Nx = 4 is Nx = 3
        {5, kInf, 0, -1}, {5, 0, -kInf, -1}, {5, kNan, 0, -1}, {5, 0, kNan, -1},
        // clang-format on
    };
    for (const Case& c : cases) {
        double xc = 9, yc = 9;
        EXPECT_EQ(LocateArrayCell(c.nx, 5, 2, 2, c.x, c.y, &xc, &yc), c.result)
            << c.nx << " " << c.x << " " << c.y;
        if (c.result != 0) continue;
        EXPECT_EQ(xc, c.xc) << c.x;
        EXPECT_EQ(yc, c.yc) << c.y;
    }
    double xc = 0, yc = 0;
    // Cells of a width that is no binary fraction: 0.15 lies on the border of cells 0 and 1.
    EXPECT_EQ(LocateArrayCell(9, 9, 0.1, 0.1, 0.15, 0.2501, &xc, &yc), 0);
    EXPECT_NEAR(xc, 0.1, 1e-15);
    EXPECT_NEAR(yc, 0.3, 1e-15);
    // Far points and broken widths end at once; a huge array finds far cells directly.
    EXPECT_EQ(LocateArrayCell(2147483647, 5, 1e-300, 1, 1e300, 0, &xc, &yc), -1);
    EXPECT_EQ(LocateArrayCell(2147483647, 1, 1, 1, -1e7 - 0.75, 0, &xc, &yc), 0);
    EXPECT_EQ(xc, -1e7 - 1);
}

TEST(EvenArrayTest, SagInTheCellAtTwoAndOutside) {
    Records r;
    r.fd.xdata[1] = 0.01;
    r.fd.xdata[2] = 0.001;
    EXPECT_EQ(r.SagAt(1.2, 0), 0);
    // Cell centre (2, 0): r2 = 0.64. conic: 0.16 / (1 + sqrt(0.96)) = 0.0808164115469150;
    // even: 0.01 * 0.64 + 0.001 * 0.64^2 = 0.0068096.
    EXPECT_NEAR(r.ud.sag1, 0.0808164115469150 + 0.0068096, 1e-15);
    EXPECT_EQ(r.ud.sag2, r.ud.sag1);
    EXPECT_EQ(r.SagAt(5.5, 0), 0);
    EXPECT_EQ(r.ud.sag2, 0.0);

    r.fd.param[1] = 2.9;  // Nx = 2: only the centre column
    EXPECT_EQ(r.SagAt(1.2, 0), 0);
    EXPECT_EQ(r.ud.sag1, 0.0);

    for (double bad : {0.0, kNan}) {  // no cell height
        r.fd.param[4] = bad;
        EXPECT_EQ(r.SagAt(0, 0), -1) << bad;
        EXPECT_EQ(r.Call(kRequestRealTrace), -1) << bad;
    }
}

TEST(EvenArrayTest, ParaxialTrace) {
    Records r;  // x 1.0, y -0.5, l -0.25, m 0.2, n 0.947; n1 1, n2 1.5, cv 0.25
    EXPECT_EQ(r.Call(kRequestParaxialTrace), 0);
    // P = 0.125; l'' = (-0.25 / 0.947 - 0.125) / 1.5, m'' = (0.2 / 0.947 + 0.0625) / 1.5,
    // n = sqrt(1 / (l''^2 + 1 + m''^2))
    EXPECT_NEAR(r.ud.n, 0.9532272157912381, 1e-15);
    EXPECT_NEAR(r.ud.l, -0.24719822289130405, 1e-15);

    Records flat;  // n = 0: the direction stays
    flat.Ray(0.5, 0.5, 0.3, 0.4, 0);
    EXPECT_EQ(flat.Call(kRequestParaxialTrace), 0);
    EXPECT_EQ(flat.ud.l, 0.3);
    EXPECT_EQ(flat.ud.n, 0.0);
}

TEST(EvenArrayTest, RealRayMeetsTheLensletOfTheCellItHitsAndObeysSnell) {
    // Lenslets of radius 2 (c = 0.5); the ray crosses z = 0 at x = 0.9 (centre cell) heading
    // to +x. Against the centre sphere: t^2 - 2.12 t + 0.81 = 0, t = 0.5, hit x = 1.2, which
    // lies in the cell at 2; against that sphere t^2 - 4.52 t + 1.21 = 0.
    Records r;
    r.fd.cv = 0.5;
    r.Ray(0.9, 0, 0.6, 0, 0.8);
    EXPECT_EQ(r.Call(kRequestRealTrace), 0);
    const double t = (4.52 - std::sqrt(4.52 * 4.52 - 4 * 1.21)) / 2;
    EXPECT_NEAR(r.ud.path, t, 1e-9);
    EXPECT_NEAR(r.ud.x, 0.9 + 0.6 * t, 1e-9);
    EXPECT_NEAR(r.ud.z, 0.8 * t, 1e-9);
    // The normal is the radius direction of the sphere centred at (2, 0, 2), towards -z;
    // Snell in the plane of incidence: n1 (d x N) = n2 (d' x N), d' a unit vector.
    EXPECT_NEAR(r.ud.ln, (r.ud.x - 2) / 2, 1e-9);
    EXPECT_NEAR(r.ud.nn, (r.ud.z - 2) / 2, 1e-9);
    EXPECT_NEAR(r.ud.l * r.ud.l + r.ud.m * r.ud.m + r.ud.n * r.ud.n, 1.0, 1e-12);
    EXPECT_NEAR(1.5 * (r.ud.n * r.ud.ln - r.ud.l * r.ud.nn), 0.8 * r.ud.ln - 0.6 * r.ud.nn, 1e-12);

    // An axial ray keeps its direction.
    Records axial;
    axial.Ray(2.0, -4.0, 0, 0, 1);
    axial.ud.path = 5;
    EXPECT_EQ(axial.Call(kRequestRealTrace), 0);
    const USER_DATA& a = axial.ud;
    EXPECT_EQ(std::tuple(a.z, a.path, a.l, a.n, a.nn), std::tuple(0.0, 0.0, 0.0, 1.0, -1.0));
}

TEST(EvenArrayTest, EqualIndicesStillTraceThePointTotalReflectionAnswersMinusSurf) {
    Records r;
    r.fd.n2 = 1.0;
    r.fd.xdata[2] = 0.05;  // an asphere
    r.Ray(0.4, 0.3, 0.1, 0.05, std::sqrt(1 - 0.01 - 0.0025));
    const double l = r.ud.l, m = r.ud.m, n = r.ud.n;
    EXPECT_EQ(r.Call(kRequestRealTrace), 0);
    EXPECT_EQ(r.ud.l, l);
    EXPECT_EQ(r.ud.n, n);
    EXPECT_NEAR(r.ud.y, 0.3 + r.ud.path * m, 1e-12);
    const double r2 = r.ud.x * r.ud.x + r.ud.y * r.ud.y;
    EXPECT_NEAR(r.ud.z, 0.25 * r2 / (1 + std::sqrt(1 - 0.0625 * r2)) + 0.05 * r2 * r2, 1e-10);

    // Total internal reflection answers -surf.
    r.fd.n1 = 1.5;
    r.Ray(0.3, 0, 0.8, 0, 0.6);  // 1.5 * 0.8 > 1
    r.fd.surf = 12;
    EXPECT_EQ(r.Call(kRequestRealTrace), -12);
    EXPECT_EQ(r.ud.l, 0.8);  // direction unchanged
    r.Ray(5.5, 0, 0.8, 0, 0.6);
    r.fd.surf = 0;  // minus 0 would read as success
    EXPECT_EQ(r.Call(kRequestRealTrace), -1);
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
        return r.Call(kRequestRealTrace);
    };
    EXPECT_EQ(trace(0.7739), 0);
    EXPECT_EQ(trace(0.7742), -1);

    Records flat;  // a ray parallel to the plane never meets the lenslet
    flat.Ray(0.5, 0, 1, 0, 0);
    EXPECT_EQ(flat.Call(kRequestRealTrace), -1);
}

}  // namespace
}  // namespace velmor
