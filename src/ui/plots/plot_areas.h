// Positions in the four plot areas: the world point under a mouse position (for clicks and
// the status bar) and the status bar's position read-out.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include "plots/plot_state.h"

namespace velmor {

enum class PlotArea {
    kPlan,    // 1000, top left: x across, y up
    kXz,      // 1002, bottom left: x across, z up
    kYz,      // 1004, bottom right: y across, z up
    kFourth,  // 1006, top right: r across, z up; z across, n up for a gradient-index surface
};

struct WorldPoint {
    double across = 0, up = 0;
};

// The display ranges of an area's two axes.
PlotRange AcrossRange(const PlotState& state, PlotArea area);
PlotRange UpRange(const PlotState& state, PlotArea area);

// The world point at `point` over the area's whole rectangle `rect` (the control's rectangle,
// not the inner one), both in the same coordinates:
//   across = amin + (px - rect.left) / (rect.right - rect.left) * (amax - amin)
//   up     = bmax - (py - rect.top) / (rect.bottom - rect.top) * (bmax - bmin)
// with right = left + width and bottom = top + height.
WorldPoint WorldPointAt(const PlotState& state, PlotArea area, const QRect& rect, QPoint point);

// Status bar pane 0 over an area: "x = %f , y = %f", "x = %f , z = %f", "y = %f , z = %f",
// "z = %f , n or dn/dz = %f" or "r = %f , z = %f".
QString PositionReadout(const PlotState& state, PlotArea area, WorldPoint world);

}  // namespace velmor
