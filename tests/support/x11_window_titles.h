// The titles of the windows on the X display, for tests that find a program's window by its
// title. Kept apart from Qt: Xlib's macros (None, Bool, Status) clash with Qt's names.
#pragma once

#include <string>
#include <vector>

namespace velmor::test {

// Every window's title on $DISPLAY (_NET_WM_NAME, else WM_NAME); empty when there is no display.
std::vector<std::string> X11WindowTitles();

}  // namespace velmor::test
