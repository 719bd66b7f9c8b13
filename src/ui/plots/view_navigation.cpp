#include "ui/plots/view_navigation.h"

#include <algorithm>
#include <cmath>

#include "ui/plots/ray_choice.h"

namespace velmor {

void ScaleRange(ValueRange& range, double centre, double factor) {
    const double min = centre - (centre - range.min) * factor;
    const double max = centre + (range.max - centre) * factor;
    const double width = max - min;
    if (!std::isfinite(width)) return;
    if (factor < 1 && !(std::fabs(width) >= kMinDisplayWidth)) return;
    range.min = min;
    range.max = max;
}

void ShiftRange(ValueRange& range, double delta) {
    const double min = range.min - delta;
    const double max = range.max - delta;
    if (!std::isfinite(min) || !std::isfinite(max) || max == min) return;
    range.min = min;
    range.max = max;
}

void CentreOnZero(ValueRange& range) {
    const double width = range.Width();
    range.min = -width / 2;
    range.max = width / 2;
}

void BringIntoView(ValueRange& range, double value) {
    if (value >= std::min(range.min, range.max) && value <= std::max(range.min, range.max)) return;
    ShiftRange(range, range.Centre() - value);
}

PlotView ViewAt(const PlotAreas& areas, QPoint point) {
    if (areas.plan.contains(point)) return PlotView::kPlan;
    if (areas.xz.contains(point)) return PlotView::kXz;
    if (areas.yz.contains(point)) return PlotView::kYz;
    if (areas.fourth.contains(point)) return PlotView::kFourth;
    return PlotView::kNone;
}

WorldPoint WorldAt(const PlotAreas& areas, const PlotSettings& s, PlotView view, QPoint point) {
    switch (view) {
        case PlotView::kPlan:
            return AreaToWorld(areas.plan, point, s.displayX, s.displayY);
        case PlotView::kXz:
            return AreaToWorld(areas.xz, point, s.displayX, s.displayZ);
        case PlotView::kYz:
            return AreaToWorld(areas.yz, point, s.displayY, s.displayZ);
        case PlotView::kFourth:
            return s.gradientIndex ? AreaToWorld(areas.fourth, point, s.displayZ, s.displayN)
                                   : AreaToWorld(areas.fourth, point, s.displayR, s.displayZ);
        case PlotView::kNone:
            break;
    }
    return {};
}

AxisNames ViewAxisNames(PlotView view, bool gradientIndex) {
    const bool index = view == PlotView::kFourth && gradientIndex;
    const char* across = view == PlotView::kYz       ? "y"
                         : view == PlotView::kFourth ? (index ? "z" : "r")
                                                     : "x";
    const char* up = view == PlotView::kPlan ? "y" : index ? "n or dn/dz" : "z";
    return {across, up};
}

QPoint AreaCentre(const QRect& area) {
    return QPoint(area.left() + area.width() / 2, area.top() + area.height() / 2);
}

bool ZoomAt(PlotSettings& s, const PlotAreas& areas, QPoint point, int direction) {
    const PlotView view = ViewAt(areas, point);
    if (view == PlotView::kNone) return false;
    const WorldPoint w = WorldAt(areas, s, view, point);
    double cx = s.displayX.Centre();
    double cy = s.displayY.Centre();
    double cz = s.displayZ.Centre();
    switch (view) {
        case PlotView::kPlan:
            cx = w.u;
            cy = w.v;
            break;
        case PlotView::kXz:
            cx = w.u;
            cz = w.v;
            break;
        case PlotView::kYz:
            cy = w.u;
            cz = w.v;
            break;
        case PlotView::kFourth:
            cz = s.gradientIndex ? w.u : w.v;
            break;
        case PlotView::kNone:
            break;
    }
    const double factor = direction >= 1 ? 0.8 : 1.2;
    ScaleRange(s.displayX, cx, factor);
    ScaleRange(s.displayY, cy, factor);
    ScaleRange(s.displayZ, cz, factor);
    ScaleRange(s.displayR, 0.0, factor);
    return true;
}

void CentreDisplayRanges(PlotSettings& s) {
    CentreOnZero(s.displayX);
    CentreOnZero(s.displayY);
    CentreOnZero(s.displayZ);
    CentreOnZero(s.displayR);
}

ClickEffect LeftClick(PlotSettings& s, const PlotAreas& areas, QPoint point, bool shift,
                      USER_DATA& ud, bool traceOk, double hitZ) {
    const bool rayChoice = shift && s.rayTrace;
    const bool cursorOn = s.cursor || s.gradientIndex;
    const PlotView view = ViewAt(areas, point);
    const WorldPoint w = WorldAt(areas, s, view, point);
    ClickEffect effect;
    switch (view) {
        case PlotView::kPlan:
            if (!rayChoice) {
                if (cursorOn) {
                    s.cursorX = w.u;
                    s.cursorY = w.v;
                }
            } else if (!s.gradientIndex) {
                ChooseThroughPoint(ud, w.u, w.v);
                effect.rayChosen = true;
            }
            effect.repaint = true;
            break;
        case PlotView::kFourth:
            if (s.gradientIndex) {
                s.cursorZ = w.u;
            } else if (!rayChoice) {
                s.cursorZ = w.v;
            } else {
                ChooseIncidentElevation(ud, w.u, w.v, traceOk, hitZ);
                effect.rayChosen = true;
            }
            effect.repaint = true;
            break;
        case PlotView::kXz:
            if (cursorOn) {
                s.cursorX = w.u;
                s.cursorZ = w.v;
                effect.repaint = true;
            }
            break;
        case PlotView::kYz:
            if (cursorOn) {
                s.cursorY = w.u;
                s.cursorZ = w.v;
                effect.repaint = true;
            }
            break;
        case PlotView::kNone:
            break;
    }
    return effect;
}

ClickEffect RightButtonDown(NavigationState& s, const PlotAreas& areas, QPoint point, bool shift,
                            USER_DATA& ud) {
    const PlotView view = ViewAt(areas, point);
    const WorldPoint w = WorldAt(areas, s, view, point);
    ClickEffect effect;
    s.panState = PlotView::kNone;
    switch (view) {
        case PlotView::kPlan:
            if (!shift) {
                s.panAnchorX = w.u;
                s.panAnchorY = w.v;
                s.panState = view;
            } else if (s.rayTrace) {
                ChooseDirection(ud, w.u, w.v);
                effect.rayChosen = true;
            }
            break;
        case PlotView::kXz:
            s.panAnchorX = w.u;
            s.panAnchorZ = w.v;
            s.panState = view;
            break;
        case PlotView::kYz:
            s.panAnchorY = w.u;
            s.panAnchorZ = w.v;
            s.panState = view;
            break;
        case PlotView::kFourth:
            // The index view pans z only.
            if (s.gradientIndex) {
                s.panAnchorZ = w.u;
            } else {
                s.panAnchorR = w.u;
                s.panAnchorZ = w.v;
            }
            s.panState = view;
            break;
        case PlotView::kNone:
            break;
    }
    return effect;
}

PanStep PanTo(NavigationState& s, const PlotAreas& areas, QPoint point, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers modifiers) {
    if (buttons != Qt::RightButton || (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)) ||
        s.panState == PlotView::kNone)
        return PanStep::kNone;
    const WorldPoint w = WorldAt(areas, s, s.panState, point);
    bool moved = false;
    auto pan = [&moved](ValueRange& a, double da, double stepA, ValueRange& b, double db,
                        double stepB) {
        if (std::fabs(da) > stepA || std::fabs(db) > stepB) {
            ShiftRange(a, da);
            ShiftRange(b, db);
            moved = true;
        }
    };
    switch (s.panState) {
        case PlotView::kPlan:
            pan(s.displayX, w.u - s.panAnchorX, s.stepX, s.displayY, w.v - s.panAnchorY, s.stepY);
            break;
        case PlotView::kXz:
            pan(s.displayX, w.u - s.panAnchorX, s.stepX, s.displayZ, w.v - s.panAnchorZ, s.stepZ);
            break;
        case PlotView::kYz:
            pan(s.displayY, w.u - s.panAnchorY, s.stepY, s.displayZ, w.v - s.panAnchorZ, s.stepZ);
            break;
        case PlotView::kFourth:
            if (s.gradientIndex) {
                const double dz = w.u - s.panAnchorZ;
                if (std::fabs(dz) > s.stepZ) {
                    ShiftRange(s.displayZ, dz);
                    moved = true;
                }
            } else {
                pan(s.displayR, w.u - s.panAnchorR, s.stepX, s.displayZ, w.v - s.panAnchorZ,
                    s.stepZ);
            }
            break;
        case PlotView::kNone:
            break;
    }
    return moved ? PanStep::kMoved : PanStep::kHeld;
}

}  // namespace velmor
