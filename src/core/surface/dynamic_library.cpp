// What a loaded library does the same way on every system; the loader is called in
// dynamic_library_posix.cpp and dynamic_library_win.cpp.
#include "core/surface/dynamic_library.h"

namespace velmor {

DynamicLibrary::~DynamicLibrary() {
    Close();
}

bool DynamicLibrary::Open(const std::string& path) {
    Close();
    m_error.clear();
    if (path.empty()) {
        m_error = "no file name";
        return false;
    }
    return Load(path);
}

}  // namespace velmor
