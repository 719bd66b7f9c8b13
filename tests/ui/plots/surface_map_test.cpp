// The surface map: its size, its grey levels, failed samples, a flat surface, the progress
// window and Cancel.
#include "plots/surface_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/progress.h"
#include "plot_test_support.h"
#include "plots/views.h"

namespace velmor::test {
namespace {

int GreyAt(const QImage& image, int x, int y) {
    return qRed(image.pixel(x, y));
}

TEST(SurfaceMapSize, StepsRangesAndTheLimit) {
    const PlotRange wide{-10, 10}, half{-5, 5};
    auto size = [](PlotRange x, PlotRange y, double sx, double sy) {
        const MapSize s = SurfaceMapSize(x, y, sx, sy);
        return std::pair(s.width, s.height);
    };
    EXPECT_EQ(size(wide, wide, 0.025, 0.025), std::pair(800, 800));
    EXPECT_EQ(size(wide, wide, 0.01, 0.01), std::pair(1024, 1024));
    EXPECT_EQ(size(wide, half, 0.01, 0.01), std::pair(1024, 512));
    // x within the limit, y beyond it: y is cut and x follows the aspect ratio.
    EXPECT_EQ(size(half, wide, 0.01, 0.01), std::pair(512, 1024));
    EXPECT_EQ(size(wide, wide, 0.1, 0.025), std::pair(200, 800));
    // Nothing to sample: no map.
    EXPECT_TRUE(SurfaceMapSize(wide, wide, 0, 0.025).Empty());
    EXPECT_TRUE(SurfaceMapSize(wide, wide, -0.025, 0.025).Empty());
    EXPECT_TRUE(SurfaceMapSize({10, -10}, wide, -0.025, 0.025).Empty());
    EXPECT_TRUE(SurfaceMapSize(wide, {3, 3}, 0.025, 0.025).Empty());
    EXPECT_TRUE(SurfaceMapSize(wide, {0, 0.01}, 0.025, 0.025).Empty());
    EXPECT_TRUE(SurfaceMapSize({-1e308, 1e308}, wide, 0.025, 0.025).Empty());
}

TEST(SurfaceMap, GreyLevelsSpanTheCoarseSagRange) {
    ProgramSurface program;
    PlotState state;
    CSurfaceMap map;
    EXPECT_TRUE(map.Build(state, program.surface, nullptr));
    EXPECT_FALSE(map.Build(state, program.surface, nullptr));  // built: nothing to do
    const QImage& image = map.Image();
    ASSERT_EQ(image.size(), QSize(800, 800));
    const double smin = map.SagMin(), smax = map.SagMax();
    ASSERT_LT(smin, smax);

    // The coarse grid point (p, q) is the pixel (p, H - q) of the drawing pass.
    Sampler& sampler = program.provider.SurfaceSampler();
    const int w = 800, h = 800, s = 8;
    bool sawMin = false, sawMax = false;
    for (int q = s; q < h; q += s) {
        for (int p = 0; p < w; p += s) {
            const double x = -10 + p * 20.0 / w, y = -10 + 20.0 * q / h;
            double sag = 0;
            ASSERT_TRUE(sampler.Sag(x, y, &sag));
            const int grey = GreyAt(image, p, h - q);
            ASSERT_GE(grey, 64);
            ASSERT_LE(grey, 192);
            if (sag == smin) {
                ASSERT_EQ(grey, 64);
                sawMin = true;
            }
            if (sag == smax) {
                ASSERT_EQ(grey, 192);
                sawMax = true;
            }
        }
    }
    EXPECT_TRUE(sawMin && sawMax);
    // Every pixel is grey: R = G = B.
    for (int y = 0; y < h; y += 13) {
        for (int x = 0; x < w; x += 7) {
            const QRgb p = image.pixel(x, y);
            ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
        }
    }
}

TEST(SurfaceMap, GreyLevelOfEveryPixelFollowsTheFormula) {
    ProgramSurface tilt;
    ASSERT_TRUE(tilt.UseScript("z = x * 0.7 + y * y * 0.01;"));
    PlotState state;
    state.analysisY = {-3, 9};
    CSurfaceMap map;
    map.Build(state, tilt.surface, nullptr);
    const QImage& image = map.Image();
    ASSERT_EQ(image.size(), QSize(800, 480));
    const double smin = map.SagMin(), smax = map.SagMax();
    for (int j = 0; j < 480; j += 7) {
        const double y = -3 + (480 - j) * 12.0 / 480;
        for (int i = 0; i < 800; ++i) {
            const double x = -10 + i * 20.0 / 800;
            const double sag = x * 0.7 + y * y * 0.01;
            double g = 64 - std::trunc((sag - smin) / (smax - smin) * (-128.0));
            g = std::clamp(g, 0.0, 255.0);
            ASSERT_EQ(qRed(image.pixel(i, j)), static_cast<int>(g)) << i << " " << j;
        }
    }
}

TEST(SurfaceMap, FailedSamplesAreBlackAndAFlatSurfaceIsMidGrey) {
    ProgramSurface aperture;
    ASSERT_TRUE(aperture.Open("apertured_sphere.so"));  // defined within radius 2
    PlotState state;
    CSurfaceMap map;
    map.Build(state, aperture.surface, nullptr);
    const QImage& image = map.Image();
    auto pixel = [&](double x, double y) {
        return image.pixel(static_cast<int>((x + 10) * 40), static_cast<int>((10 - y) * 40));
    };
    EXPECT_EQ(pixel(5, 5) & 0xFFFFFF, 0u);
    EXPECT_EQ(pixel(-3, 0) & 0xFFFFFF, 0u);
    EXPECT_GE(qRed(pixel(0.5, 0.5)), 64);
    EXPECT_GE(qRed(pixel(1.5, 0)), qRed(pixel(0.5, 0)));  // higher sag, lighter

    ProgramSurface plane;
    ASSERT_TRUE(plane.UseScript("z = 1.5;"));
    CSurfaceMap flat;
    flat.Build(state, plane.surface, nullptr);
    EXPECT_EQ(flat.SagMin(), flat.SagMax());
    for (int y = 0; y < 800; y += 50) {
        for (int x = 0; x < 800; x += 50) ASSERT_EQ(flat.Image().pixel(x, y), qRgb(128, 128, 128));
    }

    // No map for a reversed range, but it counts as built, so no repaint asks again.
    ProgramSurface program;
    state.analysisX = {10, -10};
    CSurfaceMap none;
    EXPECT_TRUE(none.Build(state, program.surface, nullptr));
    EXPECT_TRUE(none.Built());
    EXPECT_TRUE(none.Image().isNull());
}

class CancelAt final : public ProgressReporter {
public:
    explicit CancelAt(long long row) : m_row(row) {}
    bool Report(long long i, long long n) override {
        last = i;
        total = n;
        return i == m_row;
    }
    long long last = -1, total = 0;

private:
    long long m_row;
};

class TitledWindow final : public MapProgressWindow {
public:
    void Open(const char* title) override { events.push_back(std::string("open ") + title); }
    void Close() override { events.push_back("close"); }
    std::vector<std::string> events;
};

TEST(SurfaceMap, CancelLeavesAPartlyBlackMapInUse) {
    ProgramSurface program;
    PlotState state;
    CSurfaceMap map;
    TitledWindow window;
    CancelAt reporter(99);
    ProgressReporter* previous = SetProgressReporter(&reporter);
    map.Build(state, program.surface, &window);
    SetProgressReporter(previous);

    EXPECT_EQ(window.events, (std::vector<std::string>{"open Progress Bitmap", "close"}));
    EXPECT_EQ(reporter.last, 99);
    EXPECT_EQ(reporter.total, 800);
    EXPECT_TRUE(map.Built());
    EXPECT_TRUE(map.Cancelled());
    const QImage& image = map.Image();
    // Rows 0..99 drawn (the flat border of the built-in surface is grey), the rest black.
    EXPECT_GE(qRed(image.pixel(10, 99)), 64);
    for (int y = 100; y < 800; y += 17) {
        for (int x = 0; x < 800; x += 11) ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, 0u);
    }

    // Discarded and rebuilt: whole again.
    map.Discard();
    EXPECT_FALSE(map.Built());
    map.Build(state, program.surface, nullptr);
    EXPECT_FALSE(map.Cancelled());
    EXPECT_GE(qRed(map.Image().pixel(400, 700)), 64);
}

TEST(PlanView, MapStretchedOntoTheAnalysisRectangle) {
    ProgramSurface plane;
    ASSERT_TRUE(plane.UseScript("z = x;"));
    PlotState state;
    state.analysisX = {-5, 5};
    state.analysisY = {0, 5};
    state.cursor = false;
    state.rayTrace = false;
    CSurfaceMap map;
    map.Build(state, plane.surface, nullptr);
    ASSERT_EQ(map.Image().size(), QSize(400, 200));

    const int side = 201;
    const QImage image = DrawPlanView(state, &map.Image(), side, side);
    // Destination: left trunc(5 * 199 / 20) + 1 = 50, top trunc(5 * 199 / 20) + 1 = 50,
    // width trunc(10 * 199 / 20) = 99, height trunc(5 * 199 / 20) = 49.
    EXPECT_EQ(image.pixel(49, 60), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(60, 49), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(149, 60), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(60, 99), qRgb(255, 255, 255));
    EXPECT_NE(image.pixel(50, 50), qRgb(255, 255, 255));
    EXPECT_NE(image.pixel(148, 98), qRgb(255, 255, 255));
    // Dark on the left (low sag), light on the right.
    EXPECT_LT(qRed(image.pixel(52, 70)), 70);
    EXPECT_GT(qRed(image.pixel(146, 70)), 185);
    EXPECT_LT(qRed(image.pixel(80, 70)), qRed(image.pixel(120, 70)));

    // Zoomed far in, only the visible part of the map is scaled.
    state.displayX = {1e-6, 2e-6};
    state.displayY = {1e-6, 2e-6};
    const QImage deep = DrawPlanView(state, &map.Image(), side, side);
    EXPECT_NEAR(qRed(deep.pixel(100, 100)), 128, 2);
}

}  // namespace
}  // namespace velmor::test
