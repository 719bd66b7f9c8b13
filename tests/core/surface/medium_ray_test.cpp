// The ray through a gradient-index medium, on real libraries in the helper process (and
// in-process for the long paths): against the exact solution of a parabolic medium, its order,
// a homogeneous medium, every end reason, the end plane of the public libraries' layout, and
// several rays traced together.
#include "core/surface/medium_ray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/app/number_text.h"
#include "core/app/progress.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "core/surface/row_catalogue.h"
#include "test_paths.h"

namespace velmor {
namespace {

using test::LibPath;

void SetField(RecordPair& pair, int version, const char* name, double value) {
    for (const RecordRow& row : FixedDataRows(version)) {
        if (row.name == name) {
            std::memcpy(pair.fd + row.offset, &value, sizeof value);
            return;
        }
    }
    ADD_FAILURE() << "no field " << name;
}

// The exact ray of grin_exact (n^2 = n0^2 (1 - g^2 x^2) in the plane y = 0) from (x0, 0, z0)
// with T = (tx0, 0, tz): at the end plane, its point, its unit direction and its optical path.
struct ExactRay {
    double x, z, l, n, opl;
};
ExactRay ExactEnd(double n0, double g, double x0, double z0, double tx0, double tz, double zEnd) {
    const double w = n0 * g;
    const double t = (zEnd - z0) / tz;
    const double a = x0, b = tx0 / w;
    const double x = a * std::cos(w * t) + b * std::sin(w * t);
    const double tx = -a * w * std::sin(w * t) + b * w * std::cos(w * t);
    const double length = std::hypot(tx, tz);
    // OPL = integral of n^2 dt = n0^2 (t - g^2 integral of x^2 dt).
    const double x2 = a * a * (t / 2 + std::sin(2 * w * t) / (4 * w)) +
                      a * b * std::sin(w * t) * std::sin(w * t) / w +
                      b * b * (t / 2 - std::sin(2 * w * t) / (4 * w));
    return {x, zEnd, tx / length, tz / length, n0 * n0 * (t - g * g * x2)};
}

class MediumRayTest : public ::testing::Test {
protected:
    void Open(const char* name, bool inProcess = false) {
        LibraryHostSettings settings;
        settings.inProcess = inProcess;
        settings.limits.timeoutSeconds = 30;
        provider.SetLibraryHost(settings);
        const LoadOutcome load = provider.OpenSurfaceDll(LibPath(name));
        ASSERT_TRUE(load.loaded) << name << ": " << load.reason;
        ASSERT_TRUE(load.gradientIndex) << name;
    }
    // A ray from (x, y, z) along (l, m, n), then traced into the medium.
    TraceOutcome Trace(double x, double y, double z, double l, double m, double n,
                       const MediumTraceOptions& medium = {}) {
        USER_DATA& ud = provider.Initial().ud;
        ud.x = x;
        ud.y = y;
        ud.z = z;
        ud.l = l;
        ud.m = m;
        ud.n = n;
        return provider.TraceRay(settings, medium);
    }
    RecordPair& Records() { return provider.Initial(); }
    void Set(const char* name, double value) {
        SetField(provider.Initial(), provider.RecordVersion(), name, value);
    }

    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    ScriptTraceSettings settings;  // the analysis ranges [-10, 10]
};

TEST_F(MediumRayTest, MeridionalRayFollowsTheExactSolution) {
    Open("grin_exact");  // n0 1.6, g 0.05, Delta t 0.01 in its safe data; no thic: ends at 10
    const TraceOutcome outcome = Trace(3, 0, -1, 0.2, 0, std::sqrt(1 - 0.04));
    ASSERT_TRUE(outcome.traced);
    ASSERT_TRUE(outcome.medium);
    const MediumPath* path = provider.LastMediumPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->end, MediumEnd::kPlane) << outcome.mediumStatus;
    // The hit point and the direction request 5 gave: T0 = n(hit) * direction.
    const USER_DATA& hit = provider.Final().ud;
    const double n0 = 1.6, g = 0.05;
    const double nHit = n0 * std::sqrt(1 - g * g * hit.x * hit.x);
    const ExactRay exact = ExactEnd(n0, g, hit.x, hit.z, nHit * hit.l, nHit * hit.n, 10);
    EXPECT_NEAR(path->x, exact.x, 1e-9);
    EXPECT_EQ(path->y, 0.0);
    EXPECT_NEAR(path->z, 10.0, 1e-12);
    EXPECT_NEAR(path->l, exact.l, 1e-9);
    EXPECT_EQ(path->m, 0.0);
    EXPECT_NEAR(path->n, exact.n, 1e-9);
    EXPECT_NEAR(path->opl, exact.opl, 1e-9);
    // One point per step after the start, n at each, the last on the plane.
    ASSERT_EQ(path->points.size(), static_cast<std::size_t>(path->steps) + 1);
    EXPECT_GT(path->steps, 500);
    EXPECT_EQ(path->points.front().x, hit.x);
    EXPECT_EQ(path->points.back().z, path->z);
    for (const MediumPoint& p : path->points) ASSERT_TRUE(std::isfinite(p.n));
    EXPECT_NEAR(path->points.front().n, nHit, 1e-15);
    EXPECT_EQ(outcome.mediumStatus, "GRIN : " + std::to_string(path->steps) + " steps, end (" +
                                        FormatFixed(path->x, 3) + ", 0.000, 10.000), OPL " +
                                        FormatFixed(path->opl, 3));
    EXPECT_EQ(provider.LastMediumStatus(), outcome.mediumStatus);
}

// Halving the step divides the error of the end point, of the direction and of the optical path
// by about 2^4: the method is of the fourth order.
TEST_F(MediumRayTest, ErrorFallsBySixteenWhenTheStepHalves) {
    Open("grin_exact");
    ASSERT_TRUE(Trace(4, 0, 0, 0.3, 0, std::sqrt(1 - 0.09)).traced);
    const USER_DATA hit = provider.Final().ud;
    const double n0 = 1.6, g = 0.05;
    const double nHit = n0 * std::sqrt(1 - g * g * hit.x * hit.x);
    const ExactRay exact = ExactEnd(n0, g, hit.x, hit.z, nHit * hit.l, nHit * hit.n, 10);

    provider.RefreshWorkingPair();
    SamplerMediumIndex index(provider.SurfaceSampler());
    MediumBounds bounds;  // [-10, 10], the plane z = 10
    MediumOptions options;
    options.keepPoints = false;
    double previous[3] = {0, 0, 0};
    for (double step : {1.6, 0.8, 0.4}) {
        SCOPED_TRACE(step);
        const MediumPath path = TraceMediumPath({hit.x, hit.y, hit.z, hit.l, hit.m, hit.n, step},
                                                bounds, index, options);
        ASSERT_EQ(path.end, MediumEnd::kPlane);
        EXPECT_NEAR(path.z, 10, 1e-12);
        const double errors[3] = {std::fabs(path.x - exact.x), std::fabs(path.l - exact.l),
                                  std::fabs(path.opl - exact.opl)};
        for (int k = 0; k < 3; ++k) {
            ASSERT_GT(errors[k], 1e-12) << k;  // well above the rounding of the numbers
            if (previous[k] > 0) {
                EXPECT_GT(previous[k] / errors[k], 12.0) << k;
                EXPECT_LT(previous[k] / errors[k], 20.0) << k;
            }
            previous[k] = errors[k];
        }
    }
}

// Without a gradient the path is the straight continuation of the surface's outgoing ray.
TEST_F(MediumRayTest, HomogeneousMediumGivesTheOutgoingRay) {
    Open("grin_homogeneous");
    Set("param[1]", 0.3);
    ASSERT_TRUE(Trace(2, -1, -2, -0.25, 0.2, 0.947).traced);
    const USER_DATA& out = provider.Final().ud;
    const double norm = std::sqrt(out.l * out.l + out.m * out.m + out.n * out.n);
    const double l = out.l / norm, m = out.m / norm, n = out.n / norm;
    const double s = (10 - out.z) / n;  // the length of the ray to the plane
    const MediumPath* path = provider.LastMediumPath();
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(path->end, MediumEnd::kPlane);
    EXPECT_NEAR(path->x, out.x + s * l, 1e-12);
    EXPECT_NEAR(path->y, out.y + s * m, 1e-12);
    EXPECT_NEAR(path->z, 10, 1e-12);
    EXPECT_NEAR(path->l, l, 1e-14);
    EXPECT_NEAR(path->m, m, 1e-14);
    EXPECT_NEAR(path->n, n, 1e-14);
    EXPECT_NEAR(path->opl, 1.6 * s, 1e-12);
    // Every point on the straight line.
    for (const MediumPoint& p : path->points) {
        const double t = (p.z - out.z) / n;
        ASSERT_NEAR(p.x, out.x + t * l, 1e-12);
        ASSERT_NEAR(p.y, out.y + t * m, 1e-12);
        ASSERT_EQ(p.n, 1.6);
    }
}

TEST_F(MediumRayTest, RequestSixFailingOrNotANumberEndsThePathNamingThePoint) {
    for (const char* name : {"grin_index_fails", "grin_index_nan"}) {
        SCOPED_TRACE(name);
        Open(name);  // request 6 fails (or answers NaN) beyond z = 3
        Set("param[1]", 0.1);
        const TraceOutcome outcome = Trace(1, 0, 0, 0, 0, 1);
        const MediumPath* path = provider.LastMediumPath();
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(path->end, MediumEnd::kIndexFailed);
        EXPECT_GT(path->failZ, 3.0);
        EXPECT_LT(path->failZ, 3.0 + 0.2);
        EXPECT_LE(path->z, 3.0);  // the last point the index answered
        const bool nan = std::string(name) == "grin_index_nan";
        EXPECT_EQ(path->failAnswered, nan);
        const std::string point = "(" + FormatFixed(path->failX, 3) + ", " +
                                  FormatFixed(path->failY, 3) + ", " + FormatFixed(path->failZ, 3) +
                                  ")";
        const std::string what =
            nan ? "request 6 answered no finite number at " : "request 6 failed at ";
        // The safe data leaves wavelength 0: the status suggests setting it.
        const std::string hint = " (wavelength is 0: set it in the table)";
        const std::string& status = outcome.mediumStatus;
        ASSERT_GT(status.size(), what.size() + point.size() + hint.size());
        EXPECT_EQ(status.substr(status.size() - what.size() - point.size() - hint.size()),
                  what + point + hint);
        Set("wavelength", 0.55);
        const std::string withWavelength = Trace(1, 0, 0, 0, 0, 1).mediumStatus;
        EXPECT_EQ(withWavelength, status.substr(0, status.size() - hint.size()));
    }
}

TEST_F(MediumRayTest, LeavingTheRangeTurningBackAndTheStepLimitEndThePath) {
    Open("grin_exact");
    settings.xmax = 4;  // a ray leaning towards +x leaves the analysis range
    TraceOutcome outcome = Trace(3, 0, 0, 0.5, 0, std::sqrt(0.75));
    const MediumPath* path = provider.LastMediumPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->end, MediumEnd::kLeftRange);
    EXPECT_GT(path->x, 4.0);
    EXPECT_LT(path->points[path->points.size() - 2].x, 4.0);
    EXPECT_NE(outcome.mediumStatus.find(", left the analysis range at ("), std::string::npos);

    settings.xmax = 10;
    MediumTraceOptions limited;
    limited.stepLimit = 50;
    outcome = Trace(3, 0, 0, 0, 0, 1, limited);
    path = provider.LastMediumPath();
    EXPECT_EQ(path->end, MediumEnd::kStepLimit);
    EXPECT_EQ(path->steps, 50);
    EXPECT_NE(outcome.mediumStatus.find("no end after 50 steps"), std::string::npos);
    EXPECT_EQ(kMediumStepLimit, 1000000);

    // grin_medium (n = 1.6 - 0.2 z): a slanted ray keeps T_x = 0.8 and turns where n = 0.8.
    Open("grin_medium");
    Set("param[3]", 0.0);
    Set("param[4]", -0.2);
    outcome = Trace(0, 0, 0, 0.8, 0, 0.6);
    path = provider.LastMediumPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->end, MediumEnd::kTurnedBack) << outcome.mediumStatus;
    EXPECT_NEAR(path->z, 4.0, 0.05);
    EXPECT_LE(path->n, 0.0);
    EXPECT_NE(outcome.mediumStatus.find("turned back (T_z <= 0) at ("), std::string::npos);
}

TEST_F(MediumRayTest, StepOfZeroOrBelowDrawsNoPath) {
    Open("grin_exact");
    for (double step : {0.0, -0.01, std::nan("")}) {
        SCOPED_TRACE(step);
        Set("param[1]", step);
        const TraceOutcome outcome = Trace(3, 0, 0, 0, 0, 1);
        ASSERT_TRUE(outcome.traced);
        const MediumPath* path = provider.LastMediumPath();
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(path->end, MediumEnd::kStepLength);
        EXPECT_EQ(path->steps, 0);
        EXPECT_EQ(path->points.size(), 1u);
        EXPECT_EQ(outcome.mediumStatus,
                  "GRIN : the step length param[1] (Delta T) must be above 0");
    }
}

// A surface that is not a gradient-index medium, and a trace that failed, have no path.
TEST_F(MediumRayTest, NoPathWithoutAMediumOrAfterAFailedTrace) {
    EXPECT_FALSE(provider.TraceRay(settings).medium);  // the built-in surface
    EXPECT_EQ(provider.LastMediumPath(), nullptr);
    EXPECT_EQ(provider.LastMediumStatus(), "");
    Open("grin_exact");
    const TraceOutcome outcome = Trace(3, 0, 0, 1, 0, 0);  // along the plane: request 5 fails
    EXPECT_FALSE(outcome.traced);
    EXPECT_TRUE(outcome.medium);
    EXPECT_EQ(provider.LastMediumPath(), nullptr);
    EXPECT_EQ(outcome.mediumStatus, "GRIN : no path: RayTrace : return code = -1 (error)");
}

// Cancels at the n-th progress report and counts the reports.
class CancelAt final : public ProgressReporter {
public:
    explicit CancelAt(int n) : m_n(n) {}
    bool Report(long long i, long long n) override {
        EXPECT_EQ(n, 1000);
        EXPECT_GE(i, last);
        last = i;
        return ++reports >= m_n;
    }
    int reports = 0;
    long long last = 0;

private:
    int m_n;
};

struct CountingWindow final : public MediumProgressWindow {
    void Open() override { ++opened; }
    void Close() override { ++closed; }
    int opened = 0, closed = 0;
};

// A long path reports its progress once it has gone kMediumProgressSteps steps, with its window
// open; Cancel ends it there.
TEST_F(MediumRayTest, LongPathShowsProgressAndCancelEndsIt) {
    Open("grin_homogeneous", true);
    Set("param[1]", 1e-4);  // about 62500 steps to the plane
    CancelAt reporter(3);
    ProgressReporter* before = SetProgressReporter(&reporter);
    CountingWindow window;
    MediumTraceOptions medium;
    medium.window = &window;
    const TraceOutcome outcome = Trace(0, 0, 0, 0, 0, 1, medium);
    SetProgressReporter(before);
    const MediumPath* path = provider.LastMediumPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->end, MediumEnd::kCancelled);
    EXPECT_EQ(reporter.reports, 3);
    EXPECT_EQ(path->steps, kMediumProgressSteps + 2);
    EXPECT_EQ(window.opened, 1);
    EXPECT_EQ(window.closed, 1);
    EXPECT_NE(outcome.mediumStatus.find(", cancelled"), std::string::npos);

    // A short path shows nothing.
    Set("param[1]", 0.1);
    reporter.reports = 0;
    SetProgressReporter(&reporter);
    Trace(0, 0, 0, 0, 0, 1, medium);
    SetProgressReporter(before);
    EXPECT_EQ(provider.LastMediumPath()->end, MediumEnd::kPlane);
    EXPECT_EQ(reporter.reports, 0);
    EXPECT_EQ(window.opened, 1);
}

// The layout of the public gradient-index libraries: version 3 records, param[1] the step,
// thic 0 (the display z maximum ends the path) or 5, and an index that is NaN at wavelength 0.
TEST_F(MediumRayTest, PublicLibraryLayoutEndsAtThicOrTheDisplayAndAsksForTheWavelength) {
    Open("grin_public_layout");
    ASSERT_EQ(provider.RecordVersion(), kRecordVersion3);
    EXPECT_EQ(ReadMediumRecords(Records(), kRecordVersion3).step, 0.2);
    // At wavelength 0 the index is no number: the path ends at once with the hint.
    TraceOutcome outcome = Trace(1, 1, 0, 0.1, 0, std::sqrt(0.99));
    ASSERT_TRUE(outcome.traced);
    const MediumPath* path = provider.LastMediumPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->end, MediumEnd::kIndexFailed);
    EXPECT_EQ(path->steps, 0);
    EXPECT_TRUE(path->failAnswered);
    EXPECT_NE(
        outcome.mediumStatus.find("request 6 answered no finite number at (1.000, 1.000, 0.000) "
                                  "(wavelength is 0: set it in the table)"),
        std::string::npos)
        << outcome.mediumStatus;

    Set("wavelength", 0.5876);
    MediumTraceOptions medium;
    medium.displayZMax = 8;
    outcome = Trace(1, 1, 0, 0.1, 0, std::sqrt(0.99), medium);
    path = provider.LastMediumPath();
    EXPECT_EQ(path->end, MediumEnd::kPlane) << outcome.mediumStatus;
    EXPECT_NEAR(path->z, 8, 1e-12);
    Set("thic", 5);
    outcome = Trace(1, 1, 0, 0.1, 0, std::sqrt(0.99), medium);
    path = provider.LastMediumPath();
    EXPECT_EQ(path->end, MediumEnd::kPlane);
    EXPECT_NEAR(path->z, 5, 1e-12);
    EXPECT_EQ(outcome.mediumStatus.find(", OPL "), outcome.mediumStatus.size() - 11);
}

// MediumIndex through the provider's sampler, counting its calls.
class CountingIndex final : public MediumIndex {
public:
    explicit CountingIndex(Sampler& sampler) : m_inner(sampler) {}
    bool Sample(std::size_t n, const double* x, const double* y, const double* z, IndexSample* out,
                bool* ok) override {
        sizes.push_back(n);
        return m_inner.Sample(n, x, y, z, out, ok);
    }
    std::vector<std::size_t> sizes;

private:
    SamplerMediumIndex m_inner;
};

// Rays traced together give each the path it has alone, bit for bit; every stage asks the index
// of all rays under way in one call.
TEST_F(MediumRayTest, RaysTracedTogetherAskEachStageInOneBatch) {
    Open("grin_exact");
    provider.RefreshWorkingPair();
    std::vector<MediumRay> rays;
    for (int i = 0; i < 5; ++i) {
        rays.push_back({-4.0 + 2 * i, 0.5 * i, 0, 0.1 * i, -0.05, 1, i == 2 ? 0.8 : 0.4});
    }
    rays.push_back({1, 1, 0, 0, 0, 1, 0});  // no step: ends at once
    MediumBounds bounds;
    bounds.endZ = 6;
    MediumOptions options;
    CountingIndex together(provider.SurfaceSampler());
    const std::vector<MediumPath> paths = TraceMediumPaths(rays, bounds, together, options);
    ASSERT_EQ(paths.size(), rays.size());
    std::size_t singleCalls = 0;
    for (std::size_t i = 0; i < rays.size(); ++i) {
        CountingIndex alone(provider.SurfaceSampler());
        const MediumPath path = TraceMediumPath(rays[i], bounds, alone, options);
        singleCalls += alone.sizes.size();
        EXPECT_EQ(paths[i].end, path.end) << i;
        EXPECT_EQ(paths[i].steps, path.steps) << i;
        EXPECT_EQ(paths[i].x, path.x) << i;
        EXPECT_EQ(paths[i].l, path.l) << i;
        EXPECT_EQ(paths[i].opl, path.opl) << i;
        ASSERT_EQ(paths[i].points.size(), path.points.size()) << i;
        for (std::size_t k = 0; k < path.points.size(); ++k) {
            ASSERT_EQ(paths[i].points[k].z, path.points[k].z) << i << " " << k;
        }
    }
    EXPECT_EQ(paths[5].end, MediumEnd::kStepLength);
    // The rays of step 0.4 take the most steps; the calls are those of the longest path.
    std::size_t most = 0;
    for (const MediumPath& p : paths) most = std::max(most, static_cast<std::size_t>(p.steps));
    EXPECT_LT(together.sizes.size(), singleCalls / 3);
    EXPECT_LE(together.sizes.front(), 5u);
    for (std::size_t n : together.sizes) ASSERT_GE(n, 1u);
    EXPECT_GE(together.sizes.size(), 3 * most);
}

}  // namespace
}  // namespace velmor
