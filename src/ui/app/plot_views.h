// The four plot areas of the main window and the hook the 2D views paint through.
#pragma once

#include <QRect>

class QPainter;

namespace velmor {

// Rectangles in the coordinates of the main window's plot client (CVelmorDlg::PlotClient()).
struct PlotAreas {
    QRect frame;   // frame 1005, the stretching area the views sit in
    QRect plan;    // 1000, top left: x across, y up
    QRect xz;      // 1002, bottom left: x across, z up
    QRect yz;      // 1004, bottom right: y across, z up
    QRect fourth;  // 1006, top right: ray view (r, z) or index along z (z, n)
};

// Squares the frame at its top-left corner with the smaller side s and puts four squares of
// side s / 2 - 4 into its corners, 2 pixels in from the edges.
PlotAreas ComputePlotAreas(const QRect& frame);

// Drawing and the view-owned parts of the mouse handling. The main window owns the state,
// the mouse, pan and zoom; the views draw from that state.
class PlotViews {
public:
    virtual ~PlotViews() = default;
    // Draws all four views into their areas (and writes the cursor read-out, 1055).
    virtual void Paint(QPainter& painter, const PlotAreas& areas) = 0;
    // The surface map: drop it, and drop and build it again.
    virtual void DiscardMap() {}
    virtual void RebuildMap() {}
    // Shift-click ray choices with the world point clicked; each changes the initial
    // USER_DATA. The main window then shows the records, traces the ray and repaints.
    virtual void ChooseThroughPoint(double x, double y) {}
    virtual void ChooseDirection(double x, double y) {}
    virtual void ChooseIncidentElevation(double r, double z) {}
};

}  // namespace velmor
