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

TEST_F(SamplerTest, SagThroughTheWorkingPair) {
    provider.RefreshWorkingPair();
    provider.Working().ud.z = 0.75;
    double sag = -1;
    // (1.2, 0) lies in the cell centred at (2, 0): a sphere of curvature 0.25 at r = 0.8.
    ASSERT_TRUE(sampler().Sag(1.2, 0.0, &sag));
    EXPECT_NEAR(sag, 0.25 * 0.64 / (1 + std::sqrt(1 - 0.0625 * 0.64)), 1e-15);
    EXPECT_EQ(provider.Working().ud.z, 0.75);  // a sag sample writes only x and y
    EXPECT_EQ(provider.Initial().Type(), kRequestSafeData);
    provider.Working().Fd0()->param[3] = 0.0;  // no cell width: every sample fails
    EXPECT_FALSE(sampler().Sag(0.0, 0.0, &sag));

    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("apertured_sphere")).loaded);
    provider.RefreshWorkingPair();
    EXPECT_TRUE(sampler().Sag(1.9, 0.0, &sag));
    EXPECT_GT(sag, 0.0);
    EXPECT_FALSE(sampler().Sag(1.5, 1.5, &sag));  // outside the aperture
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
    EXPECT_EQ(provider.Working().ud.x, before.ud.x);        // the records are not used
    engine.Compile("a = x;");                               // never assigns z
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
    point = RunScriptPoint(engine, -1.0, -1.0);  // z never assigned
    EXPECT_FALSE(point.assigned);
    EXPECT_TRUE(point.clean);
}

}  // namespace
}  // namespace velmor
