// What kind of file the program is handed on its command line (or by a second start): a surface
// library, a session, a 3D model or a script.
#pragma once

#include <string>

namespace velmor {

enum class FileKind {
    kLibrary,  // an ELF shared object or a Windows DLL by its content, else by ".so" / ".dll"
    kSession,  // ".ini"
    kModel,    // ".stl", ".obj"
    kScript,   // any other text file
    kRefused,  // missing, no regular file, or binary of no kind above: `reason` says which
};

// The kind of the file at `path`; the name's extension counts without regard to ASCII case.
FileKind KindOfFile(const std::string& path, std::string* reason);

}  // namespace velmor
