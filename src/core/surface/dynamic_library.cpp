#include "core/surface/dynamic_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include "core/app/regular_file.h"

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
    // dlopen searches the library path for a bare file name; the user chose a file, so a
    // name without a slash means the file in the working directory.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    // dlopen would wait on a named pipe chosen by mistake: only a regular file is loaded.
    const int fd = OpenRegularFile(file, nullptr, &m_error);
    if (fd < 0) return false;
    ::close(fd);
    dlerror();
    m_handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* reason = dlerror();
        m_error = reason != nullptr ? reason : "cannot load the library";
        return false;
    }
    return true;
}

void DynamicLibrary::Close() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
        m_handle = nullptr;
    }
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    return dlsym(m_handle, name);
}

void* DynamicLibrary::SymbolByOrdinal(int /*ordinal*/) const {
    // Shared objects export by name only: a function exported by number alone does not exist.
    return nullptr;
}

}  // namespace velmor
