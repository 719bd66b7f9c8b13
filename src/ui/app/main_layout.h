// The main window's client area as its templates lay it out: the right-hand column of fields,
// check boxes and buttons, "Exit", and below the plot frame the ray-trace status line and the
// cursor read-out; where each goes when the window is resized; the panes of the status bar.
#pragma once

#include <QRect>
#include <QSize>
#include <functional>
#include <map>
#include <vector>

class QLabel;
class QStatusBar;
class QWidget;

namespace velmor {

// Control ids of the main window (labels without an id have none here either).
enum VelmorControlId : int {
    kIdExit = 2,
    kIdUpdate2D = 1009,
    kIdAnalysisXMin = 1011,
    kIdAnalysisXMax = 1013,
    kIdAnalysisYMin = 1014,
    kIdAnalysisYMax = 1015,
    kIdDisplayXMin = 1016,
    kIdDisplayXMax = 1017,
    kIdDisplayYMin = 1018,
    kIdDisplayYMax = 1019,
    kIdDisplayNMin = 1020,
    kIdDisplayNMax = 1021,
    kIdStep2DX = 1022,
    kIdStep2DY = 1023,
    kIdDisplayZMin = 1024,
    kIdStep3DX = 1028,
    kIdStep3DY = 1033,
    kIdDisplayZMax = 1036,
    kIdResetZoom = 1040,
    kIdResetPan = 1046,
    kIdVerbose = 1049,
    kIdCursor = 1050,
    kIdRayTrace = 1051,
    kIdPanHint = 1052,
    kIdZoomHint = 1053,
    kIdRayStatus = 1054,
    kIdCursorReadout = 1055,
    kIdPattern = 1056,
    kIdUseInterpreter = 1057,
    kIdN1 = 1058,
    kIdN2 = 1059,
    kIdMake3DModel = 1062,
};

// The smallest size of the main window.
inline constexpr int kMainMinimumWidth = 620;
inline constexpr int kMainMinimumHeight = 580;
// The window's size at start: the template's client area (496 by 334 dialog units) below a menu
// bar of that height, no smaller than the minimum.
QSize MainStartSize(int menuBarHeight);

// The controls of the client area by id, and the right-hand column in template order.
struct MainControls {
    std::map<int, QWidget*> byId;
    std::vector<QWidget*> column;
};
// Creates every control on `client` in template order (which is also the focus order); a
// button's click runs `onButton` with its id.
MainControls BuildMainControls(QWidget* client, const std::function<void(int id)>& onButton);
// Places the controls for a client area of that size: the column keeps its distance from the
// right edge and the top, "Exit" from the right and bottom edges, the two texts their left
// margin and distance from the bottom, stretching with the width. Answers the plot frame, which
// keeps its margins to all four edges.
QRect LayOutMainControls(const MainControls& controls, QSize client);

// The status bar: the world position under the mouse (stretching), "Library faulted: ..."
// (shown only while the library is faulted) and an empty pane 30 pixels wide at the right end,
// which the window's layout keeps as its second pane.
struct MainStatusPanes {
    QLabel* position = nullptr;
    QLabel* library = nullptr;
    QLabel* views = nullptr;  // why a view has nothing to draw ("no sample answered")
};
MainStatusPanes BuildMainStatusBar(QStatusBar* bar, QWidget* owner);

}  // namespace velmor
