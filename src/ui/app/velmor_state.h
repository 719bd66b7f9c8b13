// The analysis and view state of the main window. The main window is its only writer; the
// views, the cursor read-out, the surface map, the mesh builder and the STL export read it.
// The part the 2D views draw from (ranges, 2D steps, cursor, "n1" / "n2", the check boxes and
// the mode flags) is their PlotSettings; zoom, pan and clicks change it with the pan's grip
// (NavigationState, ui/plots/view_navigation.h).
#pragma once

#include "ui/plots/view_navigation.h"

namespace velmor {

// Mesh patterns of the pattern list.
enum MeshPatternChoice : int {
    kPatternRightTriangle1 = 0,
    kPatternRightTriangle2 = 1,
    kPatternEquilateral1 = 2,  // "delta 3D" x only
    kPatternEquilateral2 = 3,  // "delta 3D" y only
};

struct VelmorState : NavigationState {
    // Sample spacings of the mesh ("delta 3D" x / y).
    double step3dX = 0.05, step3dY = 0.05;
    int meshPattern = kPatternRightTriangle1;
};

}  // namespace velmor
