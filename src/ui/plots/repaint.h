// The repaint of the four views: each drawn off-screen into an image of its plot area's size,
// then copied whole, so a view is never seen half drawn.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <string>

#include "ui/plots/plot_state.h"

class QPainter;

namespace velmor {

class CSurfaceMap;
class MapProgressWindow;
class PlotSurface;

// Text of the ray-trace status line (1054) while a gradient-index surface is shown.
inline constexpr const char* kRayStatusNoRay = "RayTrace :";

// What the repaint does when the surface map is missing.
enum class MissingMap {
    kBuild,  // build it during the repaint (its progress window pumps events meanwhile)
    kLeave,  // leave it to the caller, who builds it outside the paint and repaints again
};

// Sizes of the plot areas 1000, 1002, 1004 and 1006 in pixels.
struct PlotSizes {
    QSize plan, xz, yz, fourth;
};

struct RepaintResult {
    QImage plan, xz, yz, fourth;  // fourth: the ray view, or the index view (gradient index)
    QString cursorReadout;        // text of control 1055
    // Gradient-index surface: text 1054 becomes kRayStatusNoRay and the 3D window's ray
    // display goes to its no-ray state.
    bool showNoRay = false;
    // The map was missing and has been built during this pass, which drew the plan view
    // without it: request one more repaint.
    bool repaintAgain = false;
    // The map was missing and, as asked, left so: build it, then repaint.
    bool mapMissing = false;
    // Not empty when a script run failed during the repaint: the executor's error summary
    // (8-bit text, CR LF), for the interpreter window's output box.
    std::string errorSummary;
};

// The repaint, in order: clear the per-kind run-error counters; refresh the working pair from
// the initial pair; build the surface map if it is missing; draw the plan view (over the map),
// the x-z and y-z profile views and the fourth view (index along z for a gradient-index
// surface, else the ray view); write the cursor read-out; collect the error summary.
RepaintResult RepaintViews(const PlotState& state, PlotSurface& surface, CSurfaceMap& map,
                           const PlotSizes& sizes, MapProgressWindow* progress,
                           MissingMap missingMap = MissingMap::kBuild);

// Copies the four images unscaled to the top-left corners of their plot areas.
void PaintViews(QPainter& painter, const RepaintResult& result, const QRect& plan, const QRect& xz,
                const QRect& yz, const QRect& fourth);

}  // namespace velmor
