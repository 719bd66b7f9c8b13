// Placement and visibility of the main window and the secondary windows in the settings file:
// read once when the main window starts, written once when closing is confirmed.
//
// Rectangles are the windows' restored client rectangles in screen pixels, stored as
// NORM_LEFT, NORM_TOP and the exclusive NORM_RIGHT, NORM_BOTTOM.
#pragma once

#include <QRect>
#include <functional>

class QWidget;

namespace velmor {

class SettingsFile;

// A window to place, and its layout, run after it was placed (none for a window that lays
// itself out).
struct PlacedWindow {
    QWidget* widget = nullptr;
    std::function<void()> layout;
};

struct PlacedWindows {
    PlacedWindow main, interpreter, shading3d, udFdInitial, udFdFinal;
    PlacedWindow libraryOutput;  // hidden unless its VISIBLE key says 1
};

// Centres the main window on `desktop` (the screen's available area) and moves every window
// whose stored rectangle is not empty there; places the other secondary windows ("Interpreter",
// "Shading 3D", "UD FD Initial", "UD FD Final", "Library Output", in this order) beside the main
// window where the desktop has room, to its right, then below it, none behind another (at the
// first start the main window goes to the desktop's top-left corner when that leaves room for
// more of them); one without room goes where the old cascade put it (48 pixels right and 24 up
// from the last), kept within the desktop. Then shows or hides the secondary windows by their
// VISIBLE keys.
void LoadWindowSettings(const SettingsFile& settings, const PlacedWindows& windows,
                        const QRect& desktop);
// Same, on the primary screen.
void LoadWindowSettings(const SettingsFile& settings, const PlacedWindows& windows);

// Writes the main window's rectangle, then VISIBLE (0 when minimised or hidden) and the
// rectangle of "Shading 3D", "UD FD Initial", "UD FD Final", "Interpreter" and "Library Output".
void SaveWindowSettings(SettingsFile& settings, const PlacedWindows& windows);

// The stored form of a rectangle and back; a rectangle is empty when right <= left or
// bottom <= top.
struct StoredRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
};
StoredRect ReadStoredRect(const SettingsFile& settings, const char* section);
void WriteStoredRect(SettingsFile& settings, const char* section, const QRect& rect);
// The window's rectangle as it is when not minimised or maximised.
QRect RestoredRect(const QWidget* window);

}  // namespace velmor
