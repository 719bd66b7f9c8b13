// The surface map: its size, its grey levels, failed samples, a flat surface, the progress
// window and Cancel.
#include "ui/plots/surface_map.h"

#include <gtest/gtest.h>

#include "core/app/progress.h"
#include "core/host/library_host_settings.h"
#include "plot_test_support.h"
#include "ui/plots/view_images.h"

namespace velmor::test {
namespace {

TEST(SurfaceMapSize, StepsRangesAndTheLimit) {
    const ValueRange wide{-10, 10}, half{-5, 5};
    auto steps = [](ValueRange x, ValueRange y, double sx, double sy) {
        const MapSize s = SurfaceMapSize(x, y, sx, sy);
        return std::pair(s.width, s.height);
    };
    EXPECT_EQ(steps(wide, wide, 0.025, 0.025), std::pair(800, 800));
    EXPECT_EQ(steps(wide, wide, 0.01, 0.01), std::pair(1024, 1024));
    EXPECT_EQ(steps(wide, half, 0.01, 0.01), std::pair(1024, 512));
    EXPECT_EQ(steps(half, wide, 0.01, 0.01), std::pair(512, 1024));
    // Steps whose second cut leaves the other side above the limit: that side is cut too and
    // the first one scaled by the ranges' ratio.
    EXPECT_EQ(steps(wide, half, 0.1, 0.001), std::pair(1024, 512));
    EXPECT_EQ(steps(wide, half, 0.05, 0.005), std::pair(1024, 512));
    EXPECT_EQ(steps({-6, 12.3}, {-4, 5}, 0.05, 0.001), std::pair(1024, 503));
    EXPECT_EQ(steps(half, wide, 0.001, 0.1), std::pair(512, 1024));
    // Nothing to sample, or a size beyond any number: no map.
    EXPECT_TRUE(SurfaceMapSize(wide, wide, 0, 0.025).Empty());
    EXPECT_TRUE(SurfaceMapSize({10, -10}, wide, 0.025, 0.025).Empty());
    EXPECT_TRUE(SurfaceMapSize({-1e308, 1e308}, wide, 0.025, 0.025).Empty());
}

TEST(SurfaceMap, GreyLevelsSpanTheCoarseSagRange) {
    ProgramSurface dome;
    ASSERT_TRUE(dome.UseScript("z = -x * x;"));
    PlotState state;
    CSurfaceMap map;
    EXPECT_TRUE(map.Build(state, dome.surface, nullptr));
    EXPECT_FALSE(map.Build(state, dome.surface, nullptr));  // built: nothing to do
    ASSERT_EQ(map.Image().size(), QSize(800, 800));
    EXPECT_EQ(map.SagMin(), -100);
    EXPECT_EQ(map.SagMax(), 0);
    EXPECT_EQ(map.Image().pixel(0, 400), qRgb(64, 64, 64));       // x = -10, the smallest sag
    EXPECT_EQ(map.Image().pixel(400, 400), qRgb(192, 192, 192));  // x = 0, the largest
    EXPECT_EQ(qRed(map.Image().pixel(200, 400)), 64 + 96);        // trunc(75 / 100 * 128)
}

TEST(SurfaceMap, FailedSamplesAreBlackAndAFlatSurfaceIsMidGrey) {
    ProgramSurface aperture;
    ASSERT_TRUE(aperture.Open("apertured_sphere"));  // defined within radius 2
    PlotState state;
    CSurfaceMap map;
    map.Build(state, aperture.surface, nullptr);
    auto pixel = [&](double x, double y) {
        return map.Image().pixel(int((x + 10) * 40), int((10 - y) * 40));
    };
    EXPECT_EQ(pixel(-3, 0) & 0xFFFFFF, 0u);
    EXPECT_GE(qRed(pixel(0.5, 0.5)), 64);

    // Sags answered 0 that are no numbers (NaN at x > 5, infinite at y > 5) are failed samples
    // too: black, and the rest, flat, mid grey.
    ProgramSurface nonfinite;
    ASSERT_TRUE(nonfinite.Open("nonfinite_surface"));
    CSurfaceMap holes;
    holes.Build(state, nonfinite.surface, nullptr);
    const auto at = [&](double x, double y) {
        return holes.Image().pixel(int((x + 10) * 40), int((10 - y) * 40)) & 0xFFFFFF;
    };
    EXPECT_EQ(at(6, 0), 0u);
    EXPECT_EQ(at(0, 6), 0u);
    EXPECT_EQ(at(-6, 0), 0u);
    EXPECT_EQ(at(0, 0), qRgb(128, 128, 128) & 0xFFFFFF);

    ProgramSurface plane;
    ASSERT_TRUE(plane.UseScript("z = 1.5;"));
    CSurfaceMap flat;
    flat.Build(state, plane.surface, nullptr);
    EXPECT_EQ(flat.Image().pixel(400, 300), qRgb(128, 128, 128));

    // No map for a reversed range, but it counts as built, so no repaint asks again.
    state.analysisX = {10, -10};
    CSurfaceMap none;
    EXPECT_TRUE(none.Build(state, plane.surface, nullptr));
    EXPECT_TRUE(none.Built() && none.Image().isNull());
}

struct CancelAt100 final : ProgressReporter, MapProgressWindow {
    bool Report(long long i, long long n) override { return total = n, i == 99; }
    void Open(const char* title) override { events.push_back(std::string("open ") + title); }
    void Close() override { events.push_back("close"); }
    long long total = 0;
    std::vector<std::string> events;
};

TEST(SurfaceMap, CancelLeavesAPartlyBlackMapInUse) {
    ProgramSurface program;
    PlotState state;
    CSurfaceMap map;
    CancelAt100 cancel;
    ProgressReporter* previous = SetProgressReporter(&cancel);
    map.Build(state, program.surface, &cancel);
    SetProgressReporter(previous);
    EXPECT_EQ(cancel.events, (std::vector<std::string>{"open Progress Bitmap", "close"}));
    EXPECT_EQ(cancel.total, 800);
    EXPECT_TRUE(map.Built() && map.Cancelled());
    // Rows 0..99 drawn (the flat border of the built-in surface is grey), the rest black.
    EXPECT_GE(qRed(map.Image().pixel(10, 99)), 64);
    EXPECT_EQ(map.Image().pixel(400, 100) & 0xFFFFFF, 0u);
    EXPECT_EQ(map.Image().pixel(799, 799) & 0xFFFFFF, 0u);
    map.Discard();
    map.Build(state, program.surface, nullptr);
    EXPECT_GE(qRed(map.Image().pixel(400, 700)), 64);
}

// The drawing pass starts on a black map: the rows not drawn yet show neither the map the
// image held before (its pixels are used again for a map of the same size) nor stale memory.
TEST(SurfaceMap, RowsNotDrawnYetAreBlack) {
    struct FirstReport final : ProgressReporter {
        bool Report(long long, long long) override {
            if (checked++ == 0) {
                const QImage& image = map->Image();
                for (int y : {0, image.height() / 2, image.height() - 1})
                    for (int x : {0, image.width() / 2, image.width() - 1})
                        if ((image.pixel(x, y) & 0xFFFFFF) != 0) ++lit;
            }
            return false;
        }
        const CSurfaceMap* map = nullptr;
        int checked = 0, lit = 0;
    };
    ProgramSurface plane;
    ASSERT_TRUE(plane.UseScript("z = 1.5;"));  // mid grey everywhere
    PlotState state;
    CSurfaceMap map;
    map.Build(state, plane.surface, nullptr);
    ASSERT_EQ(map.Image().pixel(400, 400), qRgb(128, 128, 128));
    for (int round = 0; round < 2; ++round) {  // the same size again, then a new size
        map.Discard();
        if (round == 1) state.stepX = 0.05;
        FirstReport report;
        report.map = &map;
        ProgressReporter* previous = SetProgressReporter(&report);
        map.Build(state, plane.surface, nullptr);
        SetProgressReporter(previous);
        EXPECT_GT(report.checked, 0);
        EXPECT_EQ(report.lit, 0) << round;
        EXPECT_EQ(map.Image().pixel(100, 100), qRgb(128, 128, 128));
    }
}

// The map through a library: its coarse pass in one batch, its rows in passes of whole rows of
// at most kSamplePassPoints points, with the numbers the program's own process gives.
TEST(SurfaceMap, PassesOfWholeRowsGiveThePixelsOfTheProgramsProcess) {
    struct Passes final : PlotSurface {
        explicit Passes(ProgramSurface& program) : program(program) {}
        struct Counter final : Sampler {
            Sampler* inner = nullptr;
            std::vector<std::size_t> points, rows;
            bool Sag(double x, double y, double* z) override { return inner->Sag(x, y, z); }
            bool Index(double x, double y, double z, IndexSample* out) override {
                return inner->Index(x, y, z, out);
            }
            std::size_t SagBatch(std::size_t n, const double* x, const double* y, double* z,
                                 bool* ok, const SampleRows& r) override {
                points.push_back(n);
                rows.push_back(RowCount(r));
                return inner->SagBatch(n, x, y, z, ok, r);
            }
        } counter;
        Sampler& PointSampler() override {
            counter.inner = &program.provider.SurfaceSampler();
            return counter;
        }
        void RefreshWorkingPair() override { program.surface.RefreshWorkingPair(); }
        void ClearRunErrorCounters() override {}
        std::string RunErrorSummary() override { return {}; }
        ProgramSurface& program;
    };
    ProgramSurface guarded, direct;
    LibraryHostSettings inProcess;
    inProcess.inProcess = true;
    direct.provider.SetLibraryHost(inProcess);
    ASSERT_TRUE(guarded.Open("even_asphere") && direct.Open("even_asphere"));
    PlotState state;
    state.stepX = state.stepY = 0.02;  // 1000 x 1000
    Passes passes(guarded);
    CSurfaceMap map, reference;
    map.Build(state, passes, nullptr);
    reference.Build(state, direct.surface, nullptr);
    EXPECT_TRUE(map.Image() == reference.Image());
    ASSERT_EQ(passes.counter.points.size(), 17u);  // coarse, then 16 passes of 65 rows or fewer
    EXPECT_EQ(passes.counter.points[0], 101u * 101);
    for (std::size_t k = 1; k < passes.counter.points.size(); ++k) {
        EXPECT_EQ(passes.counter.points[k], passes.counter.rows[k] * 1000) << k;
        EXPECT_LE(passes.counter.points[k], kSamplePassPoints) << k;
    }
}

TEST(PlanView, MapStretchedOntoTheAnalysisRectangle) {
    ProgramSurface plane;
    ASSERT_TRUE(plane.UseScript("z = x;"));
    PlotState state;
    state.analysisX = {-5, 5};
    state.analysisY = {0, 5};
    state.cursor = state.rayTrace = false;
    CSurfaceMap map;
    map.Build(state, plane.surface, nullptr);
    ASSERT_EQ(map.Image().size(), QSize(400, 200));
    const QImage image = DrawPlanView(state, &map.Image(), 201, 201);
    // Destination: left and top trunc(5 * 199 / 20) + 1 = 50, width 99, height 49.
    EXPECT_EQ(image.pixel(49, 60), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(149, 60), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(60, 99), qRgb(255, 255, 255));
    EXPECT_LT(qRed(image.pixel(52, 70)), 70);  // dark on the left (low sag), light on the right
    EXPECT_GT(qRed(image.pixel(146, 70)), 185);
    // Zoomed far in, only the visible part of the map is scaled.
    state.displayX = state.displayY = {1e-6, 2e-6};
    EXPECT_NEAR(qRed(DrawPlanView(state, &map.Image(), 201, 201).pixel(100, 100)), 128, 2);
}

}  // namespace
}  // namespace velmor::test
