// Where new windows go on the screen: never with an edge beyond the screen's available area,
// and at the first start beside the main window rather than behind it.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace velmor {

// The height a window manager's title bar may add above a window's client rectangle: kept free
// above each window placed, so that no frame covers the window above it.
inline constexpr int kTitleAllowance = 30;
// The gap left between windows placed side by side.
inline constexpr int kWindowGap = 8;

// The available area (without panels and task bars) of the screen the window is on, or of the
// primary screen.
QRect AvailableScreenArea(const QWidget* window);

// `rect` (a client rectangle) moved, and if need be shrunk but not below `minimum`, so that it
// and the title bar above it lie within `area` where they can.
QRect FitIntoArea(const QRect& rect, const QSize& minimum, const QRect& area);

// Moves (and shrinks) a top-level window into the available area of its screen.
void KeepInsideScreen(QWidget* window);

// Places windows of the given sizes beside `main` within `area`: first in columns to its right,
// top down from its top, then in rows below it, left to right from its left, each clear of
// `main`, of the rectangles in `taken` and of the windows placed before it (with the gap and the
// title bar). Answers each window's client rectangle, or an empty rectangle where none was free.
std::vector<QRect> PlaceBeside(const QRect& main, const std::vector<QSize>& sizes,
                               const QRect& area, const std::vector<QRect>& taken);

}  // namespace velmor
