// The repaint as a whole and the ray choice by clicks.
#include "ui/plots/update_2d.h"

#include <gtest/gtest.h>
#include <qdrawutil.h>

#include <QGuiApplication>
#include <cmath>
#include <tuple>

#include "plot_test_support.h"
#include "ui/plots/ray_choice.h"
#include "ui/plots/surface_map.h"

namespace velmor::test {
namespace {

// Four areas of 201 x 201 pixels.
const PlotAreas kAreas = ComputePlotAreas(QRect(0, 0, 410, 410));

TEST(Repaint, FirstPassBuildsTheMapAndAsksForASecond) {
    ProgramSurface program;
    PlotState state = program.Traced();
    state.cursor = false;
    CSurfaceMap map;
    RepaintResult first = RepaintViews(state, program.surface, map, kAreas, nullptr);
    EXPECT_TRUE(first.repaintAgain);
    EXPECT_TRUE(map.Built());

    // A working pair left with nonsense by an earlier batch is refreshed before any sample.
    program.provider.Working().Fd0()->param[3] = -1;  // the built-in surface fails on this
    state.cursor = true;
    RepaintResult second = RepaintViews(state, program.surface, map, kAreas, nullptr);
    EXPECT_FALSE(second.repaintAgain);
    EXPECT_TRUE(second.cursorReadout.contains(", sag=")) << second.cursorReadout.toStdString();
}

TEST(Repaint, ScriptRunErrorsAreSummedPerRepaint) {
    ProgramSurface program;
    ASSERT_TRUE(program.UseScript("z = 1 / x;"));  // divides by zero where x is 0
    PlotState state = program.Traced();
    state.analysisX = {-1, 1};
    state.stepX = 0.5;  // x = -1, -0.5, 0, 0.5, 1 along the profiles
    CSurfaceMap map;
    map.Build(state, program.surface, nullptr);

    const RepaintResult first = RepaintViews(state, program.surface, map, kAreas, nullptr);
    // Cleared at the start of each repaint: the same repaint gives the same counts.
    const RepaintResult second = RepaintViews(state, program.surface, map, kAreas, nullptr);
    EXPECT_EQ(first.errorSummary, second.errorSummary);
    // The x-z profiles (cursor and ray section) each hit x = 0 once.
    std::string row = "Divided 0";
    row.resize(32, ' ');
    EXPECT_NE(first.errorSummary.find(row + " 2\r\n"), std::string::npos) << first.errorSummary;
}

// The frame around the plot areas is drawn with QtGui alone (velmor-cli links no widgets); the
// widgets' shaded panel, which the main window drew before, must come out pixel for pixel, on
// devices with a pixel ratio too. (The panels differ only for frames narrower than twice
// their rings, far below any plot frame.)
TEST(PlotClient, SunkenFrameHasTheWidgetsShadePanelsPixels) {
    QPalette custom;
    custom.setColor(QPalette::Dark, QColor(10, 20, 30));
    custom.setColor(QPalette::Light, QColor(200, 210, 220));
    for (const QPalette& palette : {QGuiApplication::palette(), custom}) {
        for (const qreal ratio : {1.0, 2.0, 1.5}) {
            for (const QRect& rect : {QRect(8, 8, 400, 300), QRect(3, 5, 40, 3), QRect(1, 1, 7, 9),
                                      QRect(2, 3, 4, 4)}) {
                QImage expected(QSize(420, 320) * ratio, QImage::Format_RGB32);
                expected.setDevicePixelRatio(ratio);
                expected.fill(qRgb(90, 91, 92));
                QImage actual = expected.copy();
                {
                    QPainter painter(&expected);
                    qDrawShadePanel(&painter, rect, palette, true, 1);
                }
                {
                    QPainter painter(&actual);
                    DrawSunkenFrame(painter, rect, palette);
                }
                EXPECT_TRUE(actual == expected)
                    << "ratio " << ratio << ", rect " << rect.width() << " x " << rect.height();
            }
        }
    }
}

TEST(RayChoice, DirectionAndIncidentElevationKeepUnitLength) {
    USER_DATA ud{};
    std::tie(ud.x, ud.y, ud.l, ud.m, ud.n) = std::tuple(3.0, 4.0, -0.25, 0.2, 0.947);
    // Clicked at (6, 4), on the +x side: the ray travels towards -x, n kept.
    ChooseDirection(ud, 6, 4);
    EXPECT_DOUBLE_EQ(ud.l, -std::sqrt(1 - 0.947 * 0.947));
    EXPECT_EQ(ud.m, 0);
    const USER_DATA before = ud;
    ChooseDirection(ud, 3, 4);  // on the start point itself: unchanged
    EXPECT_EQ(ud.l, before.l);
    ud.n = 1.5;  // a direction edited out of the unit sphere: unchanged
    ChooseDirection(ud, 9, 9);
    EXPECT_EQ(ud.l, before.l);

    // At (r 5, z -5) with the hit at z 0: n = 5, horizontal length 5, then normalised.
    std::tie(ud.l, ud.m) = std::tuple(-0.6, 0.8);
    ChooseIncidentElevation(ud, 5, -5, true, 0);
    EXPECT_DOUBLE_EQ(ud.l, -0.6 / std::sqrt(2));
    EXPECT_DOUBLE_EQ(ud.n, 1 / std::sqrt(2));
    // After a failed trace the target is (0, 0); the hit z given is ignored.
    ChooseIncidentElevation(ud, 3, 4, false, 100);
    EXPECT_DOUBLE_EQ(ud.n, -0.8);
    // No horizontal part: the +x azimuth.
    ud.l = ud.m = 0;
    ChooseIncidentElevation(ud, 4, 3, true, 0);
    EXPECT_DOUBLE_EQ(ud.l, 0.8);
    // A zero direction stays as it is rather than turning into not-a-number.
    ud.l = ud.m = ud.n = 0;
    ChooseIncidentElevation(ud, -1, 0, false, 0);
    EXPECT_EQ(ud.n, 0);
}

}  // namespace
}  // namespace velmor::test
