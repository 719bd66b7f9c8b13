// Zoom, pan, clicks and the world point under the mouse in the four plot areas of the main
// window, as arithmetic on the view state and the areas: no widget takes part. The main window
// hands its mouse, wheel and menu input here and shows what changed.
#pragma once

#include <QtCore/qnamespace.h>

#include <QPoint>
#include <QRect>

#include "core/surface/records.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/plot_state.h"
#include "ui/plots/update_2d.h"

namespace velmor {

// Display ranges never get narrower than this: zooming in stops short of it.
inline constexpr double kMinDisplayWidth = 0.002;

// The four plot areas of the main window, or none; a pan remembers the one it started in.
enum class PlotView {
    kNone,
    kPlan,    // top left: x across, y up
    kXz,      // bottom left: x across, z up
    kYz,      // bottom right: y across, z up
    kFourth,  // top right: r across, z up (ray view) or z across, n up (index along z)
};

// The view state with the grip of a right-button pan: the view it started in (none while no
// pan runs) and the world point grabbed there.
struct NavigationState : PlotSettings {
    PlotView panState = PlotView::kNone;
    double panAnchorX = 0, panAnchorY = 0, panAnchorZ = 0, panAnchorR = 0;
};

// Scales a display range about `centre`. Zooming in (factor below 1) stops before the range gets
// narrower than kMinDisplayWidth (or collapses in floating point); zooming out stops at the
// largest finite width.
void ScaleRange(ValueRange& range, double centre, double factor);
// Moves a display range by -delta (a pan), keeping it finite and wider than zero.
void ShiftRange(ValueRange& range, double delta);
// Centres a range on 0, keeping its width ("Reset Pan").
void CentreOnZero(ValueRange& range);
// Moves a range, its width kept, so that `value` lies in it; one that holds it stays.
void BringIntoView(ValueRange& range, double value);

// The view whose area holds `point`, or kNone.
PlotView ViewAt(const PlotAreas& areas, QPoint point);
// The world point under `point` in `view`, by the view's axes (u across, v up): x and y in the
// plan view, x and z or y and z in the profiles, r and z in the ray view, z and n in the index
// view (gradient-index surfaces). {0, 0} for kNone.
WorldPoint WorldAt(const PlotAreas& areas, const PlotSettings& s, PlotView view, QPoint point);
// The names of the view's axes as the status bar shows the position: "x", "y", "z", "r" and
// "n or dn/dz".
struct AxisNames {
    const char* across;
    const char* up;
};
AxisNames ViewAxisNames(PlotView view, bool gradientIndex);
// The middle pixel of an area, where "Zoom Up" and "Zoom Down" zoom about in the plan view.
QPoint AreaCentre(const QRect& area);

// Zoom with direction +1 (in, factor 0.8) or -1 (out, 1.2) about the world point under `point`:
// the display x, y and z ranges about it along the axes of the view it lies in (the other ones
// about their centres), the r range about 0. False, nothing changed, when the point lies in no
// view.
bool ZoomAt(PlotSettings& s, const PlotAreas& areas, QPoint point, int direction);
// "Reset Pan": the display x, y, z and r ranges centred on 0, their widths kept.
void CentreDisplayRanges(PlotSettings& s);

// What a click changed.
struct ClickEffect {
    // The ray of `ud` was chosen: the records are shown again, the ray traced, the views
    // repainted.
    bool rayChosen = false;
    bool repaint = false;  // the cursor (or nothing visible) changed: the views are repainted
};
// Left button down. Without Shift (or with "Ray Trace" off) the cursor moves to the point, in
// the plan and profile views only while "Cursor" is on or the surface is a gradient-index one;
// the fourth view sets cursor z alone. With Shift and "Ray Trace" on, the plan view chooses the
// ray's start point (not on gradient-index surfaces) and the ray view the incident elevation,
// towards the last trace's hit point `hitZ` when it succeeded (`traceOk`).
ClickEffect LeftClick(PlotSettings& s, const PlotAreas& areas, QPoint point, bool shift,
                      USER_DATA& ud, bool traceOk, double hitZ);
// Right button down: a pan starts in the view under the point (the anchors are the world point
// there; the index view pans z alone); in the plan view Shift instead chooses the ray's
// direction ("Ray Trace" on) or does nothing.
ClickEffect RightButtonDown(NavigationState& s, const PlotAreas& areas, QPoint point, bool shift,
                            USER_DATA& ud);

// A mouse move during a pan.
enum class PanStep {
    kNone,   // no pan: no pan started, another button or Shift or Ctrl held
    kHeld,   // the pan goes on, not a whole step away from its anchor yet
    kMoved,  // the display ranges moved so that the grabbed point is under the mouse again
};
// Only with the right button alone and no Shift or Ctrl: the two display ranges of the pan's
// view move by the point's distance from the anchor once it exceeds the axis's 2D step along
// either axis (r uses the x step); the index view moves z alone, along its horizontal axis.
// The anchors stay, so the grabbed point follows the mouse.
PanStep PanTo(NavigationState& s, const PlotAreas& areas, QPoint point, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers modifiers);

}  // namespace velmor
