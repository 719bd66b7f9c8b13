// Where the test programs find the surface libraries the build made: the examples and the test
// libraries in the build's library folder (VELMOR_LIB_DIR), and for the tests that run wine the
// Windows DLLs of the cross build (VELMOR_WIN_LIB_DIR).
#pragma once

#include <string>
#include <string_view>
#ifdef QT_CORE_LIB
#include <QString>
#endif

namespace velmor::test {

// The library `name` of this build: "<name>.so", or "<name>.dll" in a program built for Windows.
inline std::string LibPath(std::string_view name) {
#ifdef _WIN32
    constexpr std::string_view kSuffix = ".dll";
#else
    constexpr std::string_view kSuffix = ".so";
#endif
    return std::string(VELMOR_LIB_DIR) + "/" + std::string(name) + std::string(kSuffix);
}

#ifdef VELMOR_WIN_LIB_DIR
// The Windows DLL of the same name from the cross build.
inline std::string WinLibPath(std::string_view name) {
    return std::string(VELMOR_WIN_LIB_DIR) + "/" + std::string(name) + ".dll";
}
#endif

#ifdef QT_CORE_LIB
inline QString QLibPath(std::string_view name) {
    return QString::fromStdString(LibPath(name));
}
#endif

}  // namespace velmor::test
