#include "x11_window_titles.h"

#include <X11/Xlib.h>

namespace velmor::test {

std::vector<std::string> X11WindowTitles() {
    std::vector<std::string> titles;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return titles;
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    std::vector<Window> pending = {DefaultRootWindow(display)};
    while (!pending.empty()) {
        const Window window = pending.back();
        pending.pop_back();
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, netName, 0, 4096, False, utf8, &type, &format,
                               &count, &after, &data) == Success &&
            data != nullptr) {
            titles.emplace_back(reinterpret_cast<char*>(data), count);
            XFree(data);
        } else {
            if (data != nullptr) XFree(data);
            char* name = nullptr;
            if (XFetchName(display, window, &name) && name != nullptr) {
                titles.emplace_back(name);
                XFree(name);
            }
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(display, window, &root, &parent, &children, &n)) {
            for (unsigned int i = 0; i < n; ++i) pending.push_back(children[i]);
            if (children != nullptr) XFree(children);
        }
    }
    XCloseDisplay(display);
    return titles;
}

}  // namespace velmor::test
