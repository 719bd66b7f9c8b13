// Zoom, pan, clicks and the world point under the mouse on the view state alone, in the plot
// areas the main window lays out for a 400-pixel frame.
#include "ui/plots/view_navigation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace velmor {
namespace {

class ViewNavigationTest : public ::testing::Test {
protected:
    // The point at fractions (f, g) across and down an area.
    static QPoint At(const QRect& area, double f, double g) {
        return QPoint(area.left() + int(f * area.width()), area.top() + int(g * area.height()));
    }
    static void ExpectRange(const ValueRange& range, double min, double max) {
        EXPECT_NEAR(range.min, min, 1e-9);
        EXPECT_NEAR(range.max, max, 1e-9);
    }
    const PlotAreas m_areas = ComputePlotAreas(QRect(8, 8, 400, 400));
    NavigationState m_s;
    USER_DATA m_ud{};
};

// The world point of the pixel the zoom was about stays under it, in and out, along every axis
// the view zooms about; the other ranges scale about their centres, r about 0.
TEST_F(ViewNavigationTest, ZoomKeepsThePointUnderTheMouseInEveryView) {
    struct Case {
        PlotView view;
        QRect area;
        bool gradientIndex;
    };
    for (const Case& c :
         {Case{PlotView::kPlan, m_areas.plan, false}, Case{PlotView::kXz, m_areas.xz, false},
          Case{PlotView::kYz, m_areas.yz, false}, Case{PlotView::kFourth, m_areas.fourth, false},
          Case{PlotView::kFourth, m_areas.fourth, true}}) {
        SCOPED_TRACE(int(c.view) * 10 + c.gradientIndex);
        PlotSettings s;
        s.gradientIndex = c.gradientIndex;
        s.displayX = {-3, 7};
        s.displayY = {-12, 4};
        s.displayZ = {-1, 2};
        s.displayN = {0.5, 1.5};
        const QPoint point = At(c.area, 0.3, 0.65);
        ASSERT_EQ(ViewAt(m_areas, point), c.view);
        const WorldPoint before = WorldAt(m_areas, s, c.view, point);
        ASSERT_TRUE(ZoomAt(s, m_areas, point, 1));
        ASSERT_TRUE(ZoomAt(s, m_areas, point, 1));
        ASSERT_TRUE(ZoomAt(s, m_areas, point, -1));
        const WorldPoint after = WorldAt(m_areas, s, c.view, point);
        const double k = 0.8 * 0.8 * 1.2;
        ExpectRange(s.displayR, -10 * k, 10 * k);
        ExpectRange(s.displayN, 0.5, 1.5);  // never zoomed
        if (c.view == PlotView::kFourth && !c.gradientIndex) {
            EXPECT_NEAR(after.v, before.v, 1e-12);  // z up; r about 0
            ExpectRange(s.displayX, 2 - 5 * k, 2 + 5 * k);
        } else {
            EXPECT_NEAR(after.u, before.u, 1e-12);
            EXPECT_NEAR(after.v, before.v, 1e-12);
        }
        if (c.view == PlotView::kPlan) ExpectRange(s.displayZ, 0.5 - 1.5 * k, 0.5 + 1.5 * k);
        if (c.view != PlotView::kPlan && c.view != PlotView::kYz) {
            EXPECT_NEAR(s.displayY.Centre(), -4, 1e-12);
        }
    }
    // Between the views nothing zooms.
    PlotSettings s;
    EXPECT_FALSE(ZoomAt(s, m_areas, QPoint(m_areas.plan.right() + 2, m_areas.plan.top()), 1));
    ExpectRange(s.displayX, -10, 10);
}

TEST_F(ViewNavigationTest, ZoomStopsAtTheMinimumWidthInAndAtFiniteWidthsOut) {
    // One step short of the minimum width is not taken; the ranges stay as they were.
    ValueRange range{1.0, 1.0024};
    ScaleRange(range, 1.001, 0.8);  // would be 0.00192 wide
    ExpectRange(range, 1.0, 1.0024);
    ScaleRange(range, 1.001, 1.2);
    EXPECT_NEAR(range.Width(), 0.0024 * 1.2, 1e-15);

    const QPoint point = At(m_areas.xz, 0.3, 0.6);
    for (int i = 0; i < 400; ++i) ZoomAt(m_s, m_areas, point, 1);
    for (const ValueRange* r : {&m_s.displayX, &m_s.displayY, &m_s.displayZ, &m_s.displayR}) {
        EXPECT_GE(r->Width(), kMinDisplayWidth);
        EXPECT_LT(r->Width(), kMinDisplayWidth / 0.8);  // it got as close as a step allows
    }
    for (int i = 0; i < 5000; ++i) ZoomAt(m_s, m_areas, point, -1);
    for (const ValueRange* r : {&m_s.displayX, &m_s.displayY, &m_s.displayZ, &m_s.displayR}) {
        EXPECT_TRUE(std::isfinite(r->min) && std::isfinite(r->max));
        EXPECT_GT(r->Width(), 1e300);
    }
}

// Each view names and reads its own axes; the fourth one changes with the gradient-index flag.
TEST_F(ViewNavigationTest, TheFourthViewReadsZAndNOfAGradientIndexSurfaceElseRAndZ) {
    m_s.displayR = {-2, 2};
    m_s.displayZ = {10, 20};
    m_s.displayN = {1.0, 2.0};
    const QPoint point = At(m_areas.fourth, 0.25, 0.75);
    const double f = double(point.x() - m_areas.fourth.left()) / m_areas.fourth.width();
    const double g = double(point.y() - m_areas.fourth.top()) / m_areas.fourth.height();
    WorldPoint w = WorldAt(m_areas, m_s, PlotView::kFourth, point);
    EXPECT_NEAR(w.u, -2 + 4 * f, 1e-12);
    EXPECT_NEAR(w.v, 20 - 10 * g, 1e-12);
    m_s.gradientIndex = true;
    w = WorldAt(m_areas, m_s, PlotView::kFourth, point);
    EXPECT_NEAR(w.u, 10 + 10 * f, 1e-12);
    EXPECT_NEAR(w.v, 2.0 - g, 1e-12);

    const auto names = [](PlotView view, bool index) {
        const AxisNames axes = ViewAxisNames(view, index);
        return std::string(axes.across) + "," + axes.up;
    };
    EXPECT_EQ(names(PlotView::kPlan, true), "x,y");
    EXPECT_EQ(names(PlotView::kXz, true), "x,z");
    EXPECT_EQ(names(PlotView::kYz, false), "y,z");
    EXPECT_EQ(names(PlotView::kFourth, false), "r,z");
    EXPECT_EQ(names(PlotView::kFourth, true), "z,n or dn/dz");

    // The wheel there zooms z about the z across; n stays.
    ASSERT_TRUE(ZoomAt(m_s, m_areas, point, 1));
    EXPECT_NEAR(WorldAt(m_areas, m_s, PlotView::kFourth, point).u, w.u, 1e-12);
    ExpectRange(m_s.displayN, 1.0, 2.0);
}

// A pan moves nothing until the mouse is more than one 2D step from the anchor along an axis,
// then keeps the grabbed point under the mouse; only the right button alone pans.
TEST_F(ViewNavigationTest, PanWaitsForAWholeStepThenTheGrabbedPointFollowsTheMouse) {
    m_s.stepX = m_s.stepY = 1.0;
    const double unit = m_areas.plan.width() / 20.0;  // pixels per world unit
    const QPoint start = m_areas.plan.center();
    ASSERT_FALSE(RightButtonDown(m_s, m_areas, start, false, m_ud).rayChosen);
    ASSERT_EQ(m_s.panState, PlotView::kPlan);
    const WorldPoint grabbed{m_s.panAnchorX, m_s.panAnchorY};
    const QPoint near = start + QPoint(int(unit * 0.9), -int(unit * 0.9));
    EXPECT_EQ(PanTo(m_s, m_areas, near, Qt::RightButton, {}), PanStep::kHeld);
    ExpectRange(m_s.displayX, -10, 10);
    ExpectRange(m_s.displayY, -10, 10);
    for (Qt::KeyboardModifiers keys :
         {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers(Qt::ControlModifier)})
        EXPECT_EQ(PanTo(m_s, m_areas, start + QPoint(int(unit * 3), 0), Qt::RightButton, keys),
                  PanStep::kNone);
    EXPECT_EQ(
        PanTo(m_s, m_areas, start + QPoint(int(unit * 3), 0), Qt::RightButton | Qt::LeftButton, {}),
        PanStep::kNone);
    ExpectRange(m_s.displayX, -10, 10);

    const QPoint far = start + QPoint(int(unit * 1.5), int(unit * 0.2));  // beyond x's step only
    EXPECT_EQ(PanTo(m_s, m_areas, far, Qt::RightButton, {}), PanStep::kMoved);
    const WorldPoint under = WorldAt(m_areas, m_s, PlotView::kPlan, far);
    EXPECT_NEAR(under.u, grabbed.u, 1e-9);
    EXPECT_NEAR(under.v, grabbed.v, 1e-9);  // y moves with x, below its own step
    EXPECT_NEAR(m_s.displayX.Width(), 20, 1e-9);

    // Released: the pan is over.
    m_s.panState = PlotView::kNone;
    EXPECT_EQ(PanTo(m_s, m_areas, start, Qt::RightButton, {}), PanStep::kNone);
}

// The ray view's r axis waits for the x step; the index view pans z alone, along its width.
TEST_F(ViewNavigationTest, TheFourthViewPansRByTheXStepAndTheIndexViewZAlone) {
    m_s.stepX = 4.0;
    m_s.stepZ = 100.0;
    const double unit = m_areas.fourth.width() / 20.0;
    const QPoint start = m_areas.fourth.center();
    RightButtonDown(m_s, m_areas, start, false, m_ud);
    ASSERT_EQ(m_s.panState, PlotView::kFourth);
    EXPECT_EQ(PanTo(m_s, m_areas, start + QPoint(int(unit * 3), 0), Qt::RightButton, {}),
              PanStep::kHeld);
    EXPECT_EQ(PanTo(m_s, m_areas, start + QPoint(int(unit * 5), 0), Qt::RightButton, {}),
              PanStep::kMoved);
    EXPECT_LT(m_s.displayR.max, 10);
    ExpectRange(m_s.displayZ, -10, 10);  // the z difference is 0

    NavigationState s;
    s.gradientIndex = true;
    s.stepZ = 1.0;
    RightButtonDown(s, m_areas, start, false, m_ud);
    const double z = s.panAnchorZ;
    EXPECT_NEAR(z, WorldAt(m_areas, s, PlotView::kFourth, start).u, 1e-12);
    // Up and down moves nothing; across moves z so that the grabbed z follows.
    EXPECT_EQ(PanTo(s, m_areas, start + QPoint(0, int(unit * 8)), Qt::RightButton, {}),
              PanStep::kHeld);
    const QPoint across = start + QPoint(-int(unit * 3), int(unit * 5));
    EXPECT_EQ(PanTo(s, m_areas, across, Qt::RightButton, {}), PanStep::kMoved);
    EXPECT_NEAR(WorldAt(m_areas, s, PlotView::kFourth, across).u, z, 1e-9);
    ExpectRange(s.displayN, -2, 2);
    ExpectRange(s.displayR, -10, 10);
}

TEST_F(ViewNavigationTest, ClicksMoveTheCursorOrChooseTheRayByShiftRayTraceAndTheSurface) {
    m_ud.x = 1.0, m_ud.y = -0.5, m_ud.z = 0;
    m_ud.l = -0.25, m_ud.m = 0.2, m_ud.n = 0.947;
    const USER_DATA start = m_ud;
    const QPoint plan = At(m_areas.plan, 0.75, 0.25);
    const WorldPoint p = WorldAt(m_areas, m_s, PlotView::kPlan, plan);

    // "Cursor" off: the profiles ignore a click, the plan view repaints without moving it.
    m_s.cursor = false;
    ClickEffect e = LeftClick(m_s, m_areas, At(m_areas.xz, 0.5, 0.5), false, m_ud, true, 0);
    EXPECT_FALSE(e.repaint || e.rayChosen);
    e = LeftClick(m_s, m_areas, plan, false, m_ud, true, 0);
    EXPECT_TRUE(e.repaint && !e.rayChosen);
    EXPECT_EQ(m_s.cursorX, PlotSettings().cursorX);
    m_s.cursor = true;
    LeftClick(m_s, m_areas, plan, false, m_ud, true, 0);
    EXPECT_TRUE(m_s.cursorX == p.u && m_s.cursorY == p.v);

    // Shift with "Ray Trace" on: the start point moves there, the cursor stays.
    m_s.cursorX = 0;
    e = LeftClick(m_s, m_areas, plan, true, m_ud, true, 0);
    EXPECT_TRUE(e.rayChosen && e.repaint);
    EXPECT_TRUE(m_ud.x == p.u && m_ud.y == p.v && m_ud.n == start.n);
    EXPECT_EQ(m_s.cursorX, 0);
    // ... with it off, the click is a cursor click; on a gradient-index surface it does nothing.
    m_s.rayTrace = false;
    EXPECT_FALSE(LeftClick(m_s, m_areas, plan, true, m_ud, true, 0).rayChosen);
    EXPECT_EQ(m_s.cursorX, p.u);
    m_s.rayTrace = true;
    m_s.gradientIndex = true;
    m_s.cursorX = 0;
    m_ud = start;
    e = LeftClick(m_s, m_areas, plan, true, m_ud, true, 0);
    EXPECT_TRUE(!e.rayChosen && e.repaint);
    EXPECT_TRUE(m_ud.x == start.x && m_s.cursorX == 0);
    // The index view sets cursor z from its horizontal axis, Shift or not.
    const QPoint fourth = At(m_areas.fourth, 0.2, 0.9);
    LeftClick(m_s, m_areas, fourth, true, m_ud, true, 0);
    EXPECT_EQ(m_s.cursorZ, WorldAt(m_areas, m_s, PlotView::kFourth, fourth).u);

    // The ray view: Shift chooses the incident elevation, towards the hit point.
    m_s.gradientIndex = false;
    const QPoint ray = At(m_areas.fourth, 0.8, 0.9);
    e = LeftClick(m_s, m_areas, ray, true, m_ud, true, -3.0);
    EXPECT_TRUE(e.rayChosen);
    const WorldPoint rz = WorldAt(m_areas, m_s, PlotView::kFourth, ray);
    ASSERT_GT(rz.u, 0);
    EXPECT_NEAR(m_ud.n, (-3.0 - rz.v) / std::hypot(rz.u, -3.0 - rz.v), 1e-12);

    // Shift and the right button in the plan view choose the direction and start no pan; with
    // "Ray Trace" off they do nothing at all.
    m_ud = start;
    e = RightButtonDown(m_s, m_areas, plan, true, m_ud);
    EXPECT_TRUE(e.rayChosen);
    EXPECT_EQ(m_s.panState, PlotView::kNone);
    EXPECT_NE(m_ud.l, start.l);
    m_s.rayTrace = false;
    m_ud = start;
    EXPECT_FALSE(RightButtonDown(m_s, m_areas, plan, true, m_ud).rayChosen);
    EXPECT_TRUE(m_ud.l == start.l && m_s.panState == PlotView::kNone);
}

TEST_F(ViewNavigationTest, ResetPanAndBringingAPointIntoViewKeepTheWidths) {
    m_s.displayX = {2, 6};
    m_s.displayZ = {-30, -10};
    CentreDisplayRanges(m_s);
    ExpectRange(m_s.displayX, -2, 2);
    ExpectRange(m_s.displayZ, -10, 10);

    ValueRange range{-1, 3};
    BringIntoView(range, 3);  // on the edge: inside
    ExpectRange(range, -1, 3);
    BringIntoView(range, 10);  // centred on it
    ExpectRange(range, 8, 12);
    ValueRange reversed{5, 1};
    BringIntoView(reversed, 2);
    ExpectRange(reversed, 5, 1);
}

}  // namespace
}  // namespace velmor
