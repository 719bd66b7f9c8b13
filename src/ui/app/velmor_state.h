// The analysis and view state of the main window. The main window is its only writer; the
// views, the cursor read-out, the surface map, the mesh builder and the STL export read it.
// The part the 2D views draw from (ranges, 2D steps, cursor, "n1" / "n2", the check boxes and
// the mode flags) is their PlotSettings.
#pragma once

#include "ui/plots/plot_state.h"

namespace velmor {

// The four plot areas of the main window, or none; a pan remembers the one it started in.
enum class PlotView {
    kNone,
    kPlan,    // top left: x across, y up
    kXz,      // bottom left: x across, z up
    kYz,      // bottom right: y across, z up
    kFourth,  // top right: r across, z up (ray view) or z across, n up (index along z)
};

// Mesh patterns of the pattern list.
enum MeshPatternChoice : int {
    kPatternRightTriangle1 = 0,
    kPatternRightTriangle2 = 1,
    kPatternEquilateral1 = 2,  // "delta 3D" x only
    kPatternEquilateral2 = 3,  // "delta 3D" y only
};

struct VelmorState : PlotSettings {
    // Sample spacings of the mesh ("delta 3D" x / y).
    double step3dX = 0.05, step3dY = 0.05;
    int meshPattern = kPatternRightTriangle1;
    // Right-button pan: the view it started in and the grabbed world point.
    PlotView panState = PlotView::kNone;
    double panAnchorX = 0, panAnchorY = 0, panAnchorZ = 0, panAnchorR = 0;
};

}  // namespace velmor
