// The shared rules of the views: mapping, sampling loops, broken curves, lines far outside.
#include <gtest/gtest.h>

#include <vector>

#include "plot_test_support.h"
#include "plots/sample_loop.h"
#include "plots/views.h"

namespace velmor::test {
namespace {

TEST(PlotMapping, InnerRectangleTruncationTowardZeroNoClamping) {
    const PlotMapping m(101, 101, {-10, 10}, {-10, 10});
    EXPECT_EQ(m.X(-10), 1);
    EXPECT_EQ(m.X(10), 100);
    EXPECT_EQ(m.X(0), 50);  // 1 + trunc(49.5)
    EXPECT_EQ(m.Y(10), 1);
    EXPECT_EQ(m.Y(-10), 100);
    EXPECT_EQ(m.Y(0), 50);
    // Just left of the range: -0.495 truncates toward zero, to the left edge, not beyond it.
    EXPECT_EQ(m.X(-10.1), 1);
    EXPECT_EQ(m.X(-10.5), -1);  // 1 + trunc(-2.475)
    // Nothing is clamped: far points stay far.
    EXPECT_EQ(m.X(30), 199);
    EXPECT_EQ(m.Y(-1e6), 1 + std::trunc((10 + 1e6) * 99 / 20));
}

TEST(PlotMapping, MultipliesBeforeDividing) {
    // 0.1 * 99 / 0.30000000000000004 = 32.99999999999999, while 0.1 / 0.3... * 99 gives 33.
    const PlotMapping m(101, 101, {0, 3 * 0.1}, {-2 * 0.1, 0.1});
    EXPECT_EQ(m.X(0.1), 1 + 32);
    // 0.2 * 99 / 0.30000000000000004 = 65.99999999999999.
    EXPECT_EQ(m.Y(-0.1), 1 + 65);
}

TEST(SampleLoop, RepeatedAdditionAndEmptyLoops) {
    std::vector<double> xs;
    EXPECT_EQ(ForEachSample(-10, 10, 0.025, [&](double x) { xs.push_back(x); }), 800);
    EXPECT_EQ(xs.front(), -10);
    EXPECT_LT(xs.back(), 10 - 0.02);  // one step short of 10
    double sum = -10;
    for (std::size_t i = 1; i < xs.size(); ++i) {
        sum += 0.025;
        ASSERT_EQ(xs[i], sum);
    }
    EXPECT_EQ(ForEachSample(-10, 10, 0.1, [](double) {}), 201);
    EXPECT_EQ(ForEachSample(-10, 10, 0.0, [](double) {}), 0);
    EXPECT_EQ(ForEachSample(-10, 10, -0.025, [](double) {}), 0);
    EXPECT_EQ(ForEachSample(10, -10, 0.025, [](double) {}), 0);
    EXPECT_EQ(ForEachSample(1, 1, 0.025, [](double) {}), 1);
    // A step too small to move the coordinate ends the loop instead of running forever.
    EXPECT_EQ(ForEachSample(1e20, 2e20, 1.0, [](double) {}), 1);
    EXPECT_EQ(ForEachSample(-1e9, 1e9, 0.001, [](double) {}), kMaxLoopSamples);
}

TEST(BrokenPolyline, FailedSampleBreaksTheCurve) {
    QImage image = MakeViewImage(101, 101, kWhiteRgb);
    {
        PlotCanvas canvas(image);
        const PlotMapping m(101, 101, {0, 10}, {0, 10});
        canvas.SetPen(PlotPen::kBlack);
        BrokenPolyline curve(canvas, m);
        curve.Add(true, 1, 5);
        curve.Add(true, 3, 5);
        curve.Add(false, 4, 5);  // gap from 3 to 5
        curve.Add(true, 5, 5);
        curve.Add(true, 7, 5);
        curve.Add(false, 0, 0);
        curve.Add(true, 9, 5);  // alone: nothing to draw
    }
    const PlotMapping m(101, 101, {0, 10}, {0, 10});
    const int row = static_cast<int>(m.Y(5));
    EXPECT_TRUE(IsRgb(image, m.X(1), row, kBlackRgb));
    EXPECT_TRUE(IsRgb(image, m.X(2), row, kBlackRgb));
    EXPECT_TRUE(IsRgb(image, m.X(4), row, kWhiteRgb));
    EXPECT_TRUE(IsRgb(image, m.X(6), row, kBlackRgb));
    EXPECT_TRUE(IsRgb(image, m.X(9), row, kWhiteRgb));
    EXPECT_EQ(CountRgb(image, kBlackRgb), (m.X(3) - m.X(1)) + (m.X(7) - m.X(5)));
}

TEST(PlotCanvas, LinesFarOutsideAreClippedNotBent) {
    QImage image = MakeViewImage(101, 101, kWhiteRgb);
    {
        PlotCanvas canvas(image);
        canvas.SetPen(PlotPen::kThickRed);
        // Through the pixel (50, 50) at 45 degrees, ends a billion pixels away.
        canvas.Line({50 - 1e9, 50 - 1e9}, {50 + 1e9, 50 + 1e9});
        canvas.SetPen(PlotPen::kBlack);
        canvas.Polyline({{-1e12, 20}, {1e12, 20}, {1e12, 1e300}, {30, 80}});
        canvas.Line({0, 0}, {std::nan(""), 5});
    }
    EXPECT_TRUE(IsRgb(image, 50, 50, kRedRgb));
    EXPECT_TRUE(IsRgb(image, 10, 10, kRedRgb));
    EXPECT_TRUE(IsRgb(image, 90, 90, kRedRgb));
    EXPECT_TRUE(IsRgb(image, 70, 20, kBlackRgb));
}

}  // namespace
}  // namespace velmor::test
