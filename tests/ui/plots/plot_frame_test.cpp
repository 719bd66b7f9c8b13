// The shared rules of the views: the mapping and lines far outside.
#include <gtest/gtest.h>

#include <cmath>

#include "plot_test_support.h"
#include "ui/plots/view_images.h"

namespace velmor::test {
namespace {

TEST(PlotMapping, InnerRectangleTruncationTowardZeroNoClamping) {
    const PlotMapping m(101, 101, {-10, 10}, {-10, 10});
    EXPECT_EQ(m.X(-10), 1);
    EXPECT_EQ(m.X(10), 100);
    EXPECT_EQ(m.X(0), 50);  // 1 + trunc(49.5)
    EXPECT_EQ(m.Y(10), 1);
    EXPECT_EQ(m.Y(-10), 100);
    EXPECT_EQ(m.X(-10.1), 1);   // -0.495 truncates toward zero
    EXPECT_EQ(m.X(-10.5), -1);  // 1 + trunc(-2.475)
    EXPECT_EQ(m.X(30), 199);    // nothing is clamped
    // Multiplied before divided: 0.1 * 99 / 0.30000000000000004 = 32.99999999999999.
    const PlotMapping fine(101, 101, {0, 3 * 0.1}, {-2 * 0.1, 0.1});
    EXPECT_EQ(fine.X(0.1), 1 + 32);
}

TEST(PlotCanvas, LinesFarOutsideAreClippedNotBent) {
    QImage image = MakeViewImage(101, 101, kWhiteRgb);
    {
        PlotCanvas canvas(image, kWhiteRgb);
        canvas.SetPen(PlotPen::kThickRed);
        // Through the pixel (50, 50) at 45 degrees, ends a billion pixels away.
        canvas.Line({50 - 1e9, 50 - 1e9}, {50 + 1e9, 50 + 1e9});
        canvas.Line({0, 0}, {std::nan(""), 5});
    }
    EXPECT_TRUE(IsRgb(image, 10, 10, kRedRgb));
    EXPECT_TRUE(IsRgb(image, 90, 90, kRedRgb));
}

}  // namespace
}  // namespace velmor::test
