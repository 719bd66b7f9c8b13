// The analysis and view state of the main window. The main window is its only writer; the
// views, the cursor read-out, the surface map, the mesh builder and the STL export read it.
#pragma once

namespace velmor {

struct ValueRange {
    double min = -10.0;
    double max = 10.0;
    double Width() const { return max - min; }
    double Centre() const { return (min + max) / 2; }
};

// Which view a pan was started in.
enum PanState : int {
    kPanNone = 0,
    kPanPlan = 1,    // x, y
    kPanXz = 2,      // x, z
    kPanYz = 3,      // y, z
    kPanFourth = 4,  // r, z (ray view) or z along the index view
};

// Mesh patterns of the pattern list.
enum MeshPatternChoice : int {
    kPatternRightTriangle1 = 0,
    kPatternRightTriangle2 = 1,
    kPatternEquilateral1 = 2,  // "delta 3D" x only
    kPatternEquilateral2 = 3,  // "delta 3D" y only
};

struct VelmorState {
    // Sampled intervals (fields "min" / "max"); z has no field.
    ValueRange analysisX, analysisY, analysisZ;
    // Sample spacings: "delta 2D" x / y (z has no field) and "delta 3D" x / y.
    double step2dX = 0.025, step2dY = 0.025, step2dZ = 0.025;
    double step3dX = 0.05, step3dY = 0.05;
    // Extents of the view axes; pan and zoom change x, y, z and r, the fields change n.
    ValueRange displayX, displayY, displayZ, displayR;
    ValueRange displayN{-2.0, 2.0};
    // The cursor point, set by left clicks in the views.
    double cursorX = 0.1, cursorY = 0.1, cursorZ = 0.1;
    // Indices of the script surface (fields "n1" / "n2").
    double n1 = 1.0, n2 = 1.5;
    // Check boxes "Verbose", "Cursor", "Ray Trace".
    int verbose = 1, cursor = 1, rayTrace = 1;
    // "Use Interpreter": the script answers instead of the library or built-in surface.
    int interpreterMode = 0;
    // The surface is a gradient-index medium (the fourth view shows the index along z).
    int gradientIndex = 0;
    int meshPattern = kPatternRightTriangle1;
    // Right-button pan: the view it started in and the grabbed world point.
    int panState = kPanNone;
    double panAnchorX = 0, panAnchorY = 0, panAnchorZ = 0, panAnchorR = 0;
};

}  // namespace velmor
