// The repaint as a whole, the ray choice by clicks, and the positions under the mouse.
#include "plots/repaint.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <cmath>

#include "plot_test_support.h"
#include "plots/plot_areas.h"
#include "plots/ray_choice.h"
#include "plots/surface_map.h"

namespace velmor::test {
namespace {

const PlotSizes kSizes{{201, 201}, {201, 201}, {201, 201}, {201, 201}};

TEST(Repaint, FirstPassBuildsTheMapAndAsksForASecond) {
    ProgramSurface program;
    PlotState state = program.Traced();
    state.cursor = false;
    CSurfaceMap map;
    RepaintResult first = RepaintViews(state, program.surface, map, kSizes, nullptr);
    EXPECT_TRUE(first.repaintAgain);
    EXPECT_TRUE(map.Built());
    EXPECT_FALSE(first.showNoRay);
    EXPECT_EQ(first.cursorReadout, QString());
    EXPECT_TRUE(first.errorSummary.empty());
    // Drawn without the map: white where the map will be.
    EXPECT_EQ(first.plan.pixel(30, 30), qRgb(255, 255, 255));

    // A working pair left with nonsense by an earlier batch is refreshed before any sample.
    program.provider.Working().Fd0()->param[3] = -1;  // the built-in surface fails on this
    state.cursor = true;
    RepaintResult second = RepaintViews(state, program.surface, map, kSizes, nullptr);
    EXPECT_FALSE(second.repaintAgain);
    EXPECT_TRUE(second.cursorReadout.contains(", sag=")) << second.cursorReadout.toStdString();
    const QRgb mapped = second.plan.pixel(30, 30);
    EXPECT_TRUE(qRed(mapped) == qGreen(mapped) && qRed(mapped) >= 64 && qRed(mapped) <= 192);
    EXPECT_EQ(second.fourth.size(), QSize(201, 201));

    // The whole client: each view copied unscaled to its area.
    QImage client(420, 420, QImage::Format_RGB32);
    client.fill(qRgb(1, 2, 3));
    QPainter painter(&client);
    PaintViews(painter, second, QRect(2, 2, 201, 201), QRect(2, 215, 201, 201),
               QRect(215, 215, 201, 201), QRect(215, 2, 201, 201));
    painter.end();
    EXPECT_EQ(client.copy(215, 215, 201, 201), second.yz);
    EXPECT_EQ(client.copy(215, 2, 201, 201), second.fourth);
    EXPECT_EQ(client.pixel(210, 210), qRgb(1, 2, 3));
}

TEST(Repaint, GradientIndexShowsTheIndexViewAndNoRay) {
    ProgramSurface program;
    ASSERT_TRUE(program.Open("grin_medium.so"));
    PlotState state = program.Traced();
    CSurfaceMap map;
    RepaintResult result = RepaintViews(state, program.surface, map, kSizes, nullptr);
    EXPECT_TRUE(result.showNoRay);
    EXPECT_TRUE(result.cursorReadout.contains("\n n=1.600"));
    // The index view has a border, the ray view has none.
    EXPECT_EQ(result.fourth.pixel(0, 195), qRgb(0, 0, 0));
    ProgramSurface builtIn;
    result = RepaintViews(builtIn.Traced(), builtIn.surface, map, kSizes, nullptr);
    EXPECT_EQ(result.fourth.pixel(0, 195), kPaperRgb);
}

TEST(Repaint, ScriptRunErrorsAreSummedPerRepaint) {
    ProgramSurface program;
    ASSERT_TRUE(program.UseScript("z = 1 / x;"));  // divides by zero where x is 0
    PlotState state = program.Traced();
    state.analysisX = {-1, 1};
    state.stepX = 0.5;  // x = -1, -0.5, 0, 0.5, 1 along the profiles
    CSurfaceMap map;
    map.Build(state, program.surface, nullptr);

    const RepaintResult first = RepaintViews(state, program.surface, map, kSizes, nullptr);
    EXPECT_NE(first.errorSummary.find("(execution error)"), std::string::npos);
    EXPECT_NE(first.errorSummary.find("Divided 0"), std::string::npos);
    // Cleared at the start of each repaint: the same repaint gives the same counts.
    const RepaintResult second = RepaintViews(state, program.surface, map, kSizes, nullptr);
    EXPECT_EQ(first.errorSummary, second.errorSummary);
    // The x-z profiles (cursor and ray section) each hit x = 0 once.
    std::string row = "Divided 0";
    row.resize(32, ' ');
    EXPECT_NE(first.errorSummary.find(row + " 2\r\n"), std::string::npos) << first.errorSummary;

    ProgramSurface clean;
    ASSERT_TRUE(clean.UseScript("z = x * y;"));
    EXPECT_TRUE(
        RepaintViews(clean.Traced(), clean.surface, map, kSizes, nullptr).errorSummary.empty());
}

TEST(RayChoice, ThroughPointAndDirection) {
    USER_DATA ud{};
    ud.x = 1;
    ud.y = -0.5;
    ud.z = 0.25;
    ud.l = -0.25;
    ud.m = 0.2;
    ud.n = 0.947;
    ChooseThroughPoint(ud, 3, 4);
    EXPECT_EQ(ud.x, 3);
    EXPECT_EQ(ud.y, 4);
    EXPECT_EQ(ud.z, 0.25);
    EXPECT_EQ(ud.l, -0.25);

    // Clicked at (6, 4), on the +x side: the ray travels towards -x, n kept.
    ChooseDirection(ud, 6, 4);
    EXPECT_DOUBLE_EQ(ud.l, -std::sqrt(1 - 0.947 * 0.947));
    EXPECT_EQ(ud.m, 0);
    EXPECT_EQ(ud.n, 0.947);
    ChooseDirection(ud, 3, 1);  // below: travels towards +y
    EXPECT_EQ(ud.l, 0);
    EXPECT_DOUBLE_EQ(ud.m, std::sqrt(1 - 0.947 * 0.947));

    const USER_DATA before = ud;
    ChooseDirection(ud, 3, 4);  // on the start point itself
    EXPECT_EQ(ud.l, before.l);
    EXPECT_EQ(ud.m, before.m);
    ud.n = 1.5;  // a direction edited out of the unit sphere
    ChooseDirection(ud, 9, 9);
    EXPECT_EQ(ud.l, before.l);
    EXPECT_EQ(ud.m, before.m);
    EXPECT_EQ(ud.n, 1.5);
}

TEST(RayChoice, IncidentElevation) {
    USER_DATA ud{};
    ud.l = -0.6;
    ud.m = 0.8;
    ud.n = 0.3;
    // At (r 5, z -5) with the hit at z 0: n = 5, horizontal length 5, then normalised.
    ChooseIncidentElevation(ud, 5, -5, true, 0);
    EXPECT_DOUBLE_EQ(ud.l, -0.6 / std::sqrt(2));
    EXPECT_DOUBLE_EQ(ud.m, 0.8 / std::sqrt(2));
    EXPECT_DOUBLE_EQ(ud.n, 1 / std::sqrt(2));

    // After a failed trace the target is (0, 0); the hit z given is ignored.
    ChooseIncidentElevation(ud, 3, 4, false, 100);
    EXPECT_DOUBLE_EQ(ud.n, -0.8);
    EXPECT_DOUBLE_EQ(std::hypot(ud.l, ud.m), 0.6);
    EXPECT_DOUBLE_EQ(ud.l / ud.m, -0.6 / 0.8);

    // r <= 0 only normalises.
    ud.l = 0;
    ud.m = 3;
    ud.n = 4;
    ChooseIncidentElevation(ud, -2, 7, true, 0);
    EXPECT_DOUBLE_EQ(ud.m, 0.6);
    EXPECT_DOUBLE_EQ(ud.n, 0.8);

    // No horizontal part: the +x azimuth.
    ud.l = ud.m = 0;
    ud.n = -1;
    ChooseIncidentElevation(ud, 4, 3, true, 0);
    EXPECT_DOUBLE_EQ(ud.l, 0.8);
    EXPECT_EQ(ud.m, 0);
    EXPECT_DOUBLE_EQ(ud.n, -0.6);

    // A zero direction stays as it is rather than turning into not-a-number.
    ud.l = ud.m = ud.n = 0;
    ChooseIncidentElevation(ud, -1, 0, false, 0);
    EXPECT_EQ(ud.l, 0);
    EXPECT_EQ(ud.n, 0);
}

TEST(PlotAreas, WorldPointAndPositionTexts) {
    PlotState state;
    state.displayX = {-4, 6};
    state.displayZ = {0, 20};
    state.displayR = {-1, 1};
    state.displayN = {1, 2};
    const QRect rect(100, 50, 200, 400);
    // Over the whole control rectangle: the right and bottom edges are left + width, top + height.
    WorldPoint w = WorldPointAt(state, PlotArea::kXz, rect, QPoint(150, 150));
    EXPECT_DOUBLE_EQ(w.across, -4 + 50.0 / 200 * 10);
    EXPECT_DOUBLE_EQ(w.up, 20 - 100.0 / 400 * 20);
    EXPECT_EQ(PositionReadout(state, PlotArea::kXz, w), "x = -1.500000 , z = 15.000000");
    EXPECT_EQ(PositionReadout(state, PlotArea::kPlan, {1, -2}), "x = 1.000000 , y = -2.000000");
    EXPECT_EQ(PositionReadout(state, PlotArea::kYz, {1, -2}), "y = 1.000000 , z = -2.000000");
    w = WorldPointAt(state, PlotArea::kFourth, rect, QPoint(300, 450));
    EXPECT_EQ(PositionReadout(state, PlotArea::kFourth, w), "r = 1.000000 , z = 0.000000");
    state.gradientIndex = true;
    w = WorldPointAt(state, PlotArea::kFourth, rect, QPoint(100, 50));
    EXPECT_EQ(PositionReadout(state, PlotArea::kFourth, w), "z = 0.000000 , n or dn/dz = 2.000000");
    // An area without pixels gives its corner rather than a division by zero.
    w = WorldPointAt(state, PlotArea::kPlan, QRect(0, 0, 0, 0), QPoint(5, 5));
    EXPECT_EQ(w.across, -4);
}

}  // namespace
}  // namespace velmor::test
