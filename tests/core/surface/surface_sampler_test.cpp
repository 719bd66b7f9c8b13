#include "surface/surface_sampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "interp/script_engine.h"
#include "surface/provider.h"

namespace velmor {
namespace {

std::string LibPath(const char* name) {
    return std::string(VELMOR_LIB_DIR) + "/" + name + ".so";
}

class SamplerTest : public ::testing::Test {
protected:
    Sampler& sampler() { return provider.SurfaceSampler(); }

    CScriptEngine engine;
    CSurfaceProvider provider{engine};
};

TEST_F(SamplerTest, SagOfTheBuiltInSurfaceThroughTheWorkingPair) {
    provider.RefreshWorkingPair();
    provider.Working().ud.z = 0.75;
    double sag = -1;
    // (1.2, 0) lies in the cell centred at (2, 0): a sphere of curvature 0.25 at r = 0.8.
    ASSERT_TRUE(sampler().Sag(1.2, 0.0, &sag));
    const double r2 = 0.64;
    EXPECT_NEAR(sag, 0.25 * r2 / (1 + std::sqrt(1 - 0.0625 * r2)), 1e-15);
    EXPECT_EQ(provider.Working().Type(), kRequestSag);
    EXPECT_EQ(provider.Working().ud.z, 0.75);  // a sag sample writes only x and y
    EXPECT_EQ(provider.Initial().Type(), kRequestSafeData);

    ASSERT_TRUE(sampler().Sag(5.5, 0.0, &sag));  // outside the array: sag 0
    EXPECT_EQ(sag, 0.0);

    provider.Working().Fd0()->param[3] = 0.0;  // no cell width: every sample fails
    EXPECT_FALSE(sampler().Sag(0.0, 0.0, &sag));
}

TEST_F(SamplerTest, SamplesUseTheWorkingPairAsTheCallerLeftIt) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("even_asphere")).loaded);
    provider.Initial().Fd0()->param[2] = 1e-3;  // r^4 term
    double sag = 0;
    provider.RefreshWorkingPair();
    ASSERT_TRUE(sampler().Sag(1.0, 2.0, &sag));
    const double r2 = 5.0;
    EXPECT_NEAR(sag, 0.25 * r2 / (1 + std::sqrt(1 - 0.0625 * r2)) + 1e-3 * r2 * r2, 1e-14);
    // Outside the conic's domain (r > 4) the library fails the point.
    EXPECT_FALSE(sampler().Sag(4.0, 1.0, &sag));
}

TEST_F(SamplerTest, FailedSamplesOutsideTheAperture) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("apertured_sphere")).loaded);
    provider.RefreshWorkingPair();
    double sag = 0;
    EXPECT_TRUE(sampler().Sag(1.9, 0.0, &sag));
    EXPECT_GT(sag, 0.0);
    EXPECT_FALSE(sampler().Sag(1.5, 1.5, &sag));
}

TEST_F(SamplerTest, IndexOfAGradientIndexMedium) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("grin_medium")).loaded);
    provider.RefreshWorkingPair();
    IndexSample sample;
    ASSERT_TRUE(sampler().Index(1.0, 2.0, 3.0, &sample));
    EXPECT_NEAR(sample.index, 1.6 - 0.002 * 5.0 + 0.001 * 3.0, 1e-15);
    EXPECT_NEAR(sample.dndx, -0.004, 1e-15);
    EXPECT_NEAR(sample.dndy, -0.008, 1e-15);
    EXPECT_NEAR(sample.dndz, 0.001, 1e-15);
    EXPECT_EQ(provider.Working().Type(), kRequestIndex);

    // The built-in surface answers n2 with a flat gradient.
    provider.ReleaseSurfaceDll();
    provider.RefreshWorkingPair();
    ASSERT_TRUE(sampler().Index(0.0, 0.0, 0.0, &sample));
    EXPECT_EQ(sample.dndz, 0.0);
}

TEST_F(SamplerTest, InterpreterModeRunsTheScriptOncePerSag) {
    engine.Compile("if (x > 1) z = 1 / 0; else z = x * x + 2 * y;");
    ASSERT_EQ(engine.CompileErrorCount(), 0) << engine.CompileMessageText();
    provider.SetInterpreterMode(true);
    provider.RefreshWorkingPair();
    const RecordPair before = provider.Working();

    double sag = 0;
    ASSERT_TRUE(sampler().Sag(0.5, 0.25, &sag));
    EXPECT_EQ(sag, 0.75);
    EXPECT_FALSE(sampler().Sag(2.0, 0.0, &sag));  // a run error makes the point invalid
    EXPECT_EQ(engine.RunErrorCounter(kRunErrorDivideByZero), 1);
    IndexSample sample;
    EXPECT_FALSE(sampler().Index(0.0, 0.0, 0.0, &sample));  // a script has no index
    // The records are not used in interpreter mode.
    EXPECT_EQ(provider.Working().ud.x, before.ud.x);
    EXPECT_EQ(provider.Working().Type(), before.Type());

    engine.Compile("a = x;");  // never assigns z
    EXPECT_FALSE(sampler().Sag(0.5, 0.25, &sag));
}

TEST(ScriptPointTest, TellsCompileCheckAssignmentAndRunErrorsApart) {
    CScriptEngine engine;
    engine.Compile("if (y > 0) z = sqrt(-1); if (x > 0) z = 2;");
    ASSERT_EQ(engine.CompileErrorCount(), 0) << engine.CompileMessageText();
    ScriptPoint point = RunScriptPoint(engine, 1.0, -1.0);
    EXPECT_TRUE(point.Valid());
    EXPECT_EQ(point.z, 2.0);
    point = RunScriptPoint(engine, 1.0, 1.0);  // run error, z assigned afterwards
    EXPECT_TRUE(point.compiled && point.assigned);
    EXPECT_FALSE(point.clean);
    EXPECT_EQ(point.z, 2.0);
    point = RunScriptPoint(engine, -1.0, -1.0);  // z never assigned
    EXPECT_FALSE(point.assigned);
    EXPECT_TRUE(point.clean);
    EXPECT_EQ(point.z, 0.0);
}

}  // namespace
}  // namespace velmor
