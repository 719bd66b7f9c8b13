#include "core/surface/script_ray_trace.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "core/surface/surface_sampler.h"

namespace velmor {
namespace {

struct Vec {
    double x, y, z;
};
Vec Cross(Vec a, Vec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec Unit(Vec a) {
    const double s = std::sqrt(Dot(a, a));
    return {a.x / s, a.y / s, a.z / s};
}

class ScriptRayTest : public ::testing::Test {
protected:
    void Compile(const char* source) {
        engine.Compile(source);
        ASSERT_EQ(engine.CompileErrorCount(), 0) << engine.CompileMessageText();
    }
    int Trace(double x0, double y0, Vec d, double n1, double n2) {
        return TraceScriptRay(engine, settings, x0, y0, d.x, d.y, d.z, n1, n2, &ray);
    }

    CScriptEngine engine;
    ScriptTraceSettings settings;
    ScriptRay ray;
};

TEST_F(ScriptRayTest, PlaneAtZeroIsMetAtTheStartPointAndKeepsTheDirection) {
    Compile("z = 0;");
    ASSERT_EQ(Trace(0.3, -0.2, {0, 0, 1}, 1.0, 1.5), 0);
    EXPECT_NEAR(ray.z, 0.0, 1e-6);
    EXPECT_NEAR(ray.n, 1.0, 1e-12);
    EXPECT_EQ(ray.ln, 0.0);
    EXPECT_EQ(ray.nn, 0.0);

    // The normal comes from the surface's heights, not from the ray height at the hit (which
    // is only within 1e-6 of the plane): even the finest 2D step leaves the direction alone.
    settings.dx = settings.dy = 0.001;
    ASSERT_EQ(Trace(0.3, -0.2, {0, 0, 1}, 1.0, 1.5), 0);
    EXPECT_EQ(ray.l, 0.0);
}

TEST_F(ScriptRayTest, ScriptWithoutZFindsNoCrossingTotalReflectionFails) {
    Compile("a = x + y;");
    EXPECT_EQ(Trace(0.3, -0.2, {0, 0, 1}, 1.0, 1.5), -1);
    EXPECT_EQ(ray.x, 0.3);  // the outputs keep their start values
    EXPECT_EQ(ray.n, 0.0);

    // Total internal reflection fails after the hit was found.
    Compile("z = 2 * x;");
    EXPECT_EQ(Trace(0.1, 0.0, {0, 0, 1}, 1.5, 1.0), -1);
    EXPECT_NEAR(ray.z, 0.2, 1e-6);
    EXPECT_EQ(ray.n, 0.0);
}

TEST_F(ScriptRayTest, EqualIndicesKeepTheDirectionButFindTheHit) {
    Compile("z = 0.5 * x + 0.25 * y;");
    const Vec d = Unit({0.1, 0.2, 1.0});
    ASSERT_EQ(Trace(0.2, -0.1, d, 1.3, 1.3), 0);
    EXPECT_EQ(ray.l, d.x);
    EXPECT_EQ(ray.n, d.z);
    const double t = (0.5 * 0.2 + 0.25 * -0.1) / (d.z - 0.5 * d.x - 0.25 * d.y);
    EXPECT_NEAR(ray.path, t, 1e-6);
    EXPECT_NEAR(ray.x, 0.2 + t * d.x, 1e-6);
    EXPECT_NEAR(ray.z, t * d.z, 1e-6);
}

// The refracted direction at the tilted plane z = 0.5 x obeys the vector law: unit length,
// the tangential part scaled by n1 / n2, on the same side of the surface as the ray; a ray
// coming down is refracted with the normal turned against it.
TEST_F(ScriptRayTest, TiltedPlaneRefractsByTheVectorLaw) {
    Compile("z = 0.5 * x;");
    const double mu = 1.0 / 1.5;
    const Vec normal = Unit({-0.5, 0.0, 1.0});
    for (double dz : {1.0, -1.0}) {
        const Vec d = Unit({0.1, 0.2, dz});
        ASSERT_EQ(Trace(0.2, -0.1, d, 1.0, 1.5), 0) << dz;
        const Vec out = {ray.l, ray.m, ray.n};
        EXPECT_NEAR(Dot(out, out), 1.0, 1e-12);
        const Vec tangentIn = Cross(d, normal), tangentOut = Cross(out, normal);
        EXPECT_NEAR(tangentOut.x, mu * tangentIn.x, 1e-9) << dz;
        EXPECT_NEAR(tangentOut.y, mu * tangentIn.y, 1e-9) << dz;
        EXPECT_NEAR(tangentOut.z, mu * tangentIn.z, 1e-9) << dz;
        EXPECT_GT(Dot(out, normal) * dz, 0.0);
    }
}

TEST_F(ScriptRayTest, PointsWithoutValue) {
    // Left of x = 0 the run divides by zero and stores -1e15, far below every ray height:
    // taken at face value it would end the march at the first step.
    Compile("if (x < 0) z = -1 / 0; else z = 0.1;");
    ASSERT_EQ(Trace(0.5, 0.0, Unit({0.6, 0.0, 0.8}), 1.0, 1.0), 0);
    EXPECT_NEAR(ray.z, 0.1, 1e-6);
    EXPECT_NEAR(ray.x, 0.5 + 0.125 * 0.6, 1e-6);

    // The hit lies just below y = 0.1; the normal's second sample (a tenth of the y step
    // further) falls where the script has no value: the trace fails with 1.
    Compile("if (y > 0.1) z = 1 / 0; else z = 0;");
    EXPECT_EQ(Trace(0.0, 0.099, {0, 0, 1}, 1.0, 1.5), 1);
    EXPECT_EQ(ray.n, 0.0);
    EXPECT_EQ(Trace(0.0, 0.09, {0, 0, 1}, 1.0, 1.5), 0);
}

// In interpreter mode samples run the script once per point; a run error or an unassigned z
// makes no point, and a script has no index.
TEST(ScriptSamplerTest, InterpreterModeSamplesTheScript) {
    CScriptEngine engine;
    CSurfaceProvider provider(engine);
    provider.SetInterpreterMode(true);
    engine.Compile("if (x > 1) z = 1 / 0; else z = x * x + 2 * y;");
    Sampler& sampler = provider.SurfaceSampler();
    double sag = 0;
    ASSERT_TRUE(sampler.Sag(0.5, 0.25, &sag));
    EXPECT_EQ(sag, 0.75);
    EXPECT_FALSE(sampler.Sag(2.0, 0.0, &sag));
    IndexSample sample;
    EXPECT_FALSE(sampler.Index(0.0, 0.0, 0.0, &sample));
    engine.Compile("a = x;");
    EXPECT_FALSE(sampler.Sag(0.5, 0.25, &sag));
}

}  // namespace
}  // namespace velmor
