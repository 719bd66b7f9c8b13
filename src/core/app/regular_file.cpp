// What regular_file.h offers the same way on every system; the system calls are in
// regular_file_posix.cpp and regular_file_win.cpp.
#include "core/app/regular_file.h"

namespace velmor {

ReplacingFile::~ReplacingFile() {
    Discard();
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string* reason) {
    ReplacingFile file;
    if (!file.Open(path, reason)) return false;
    file.Write(bytes);
    return file.Commit(reason);
}

}  // namespace velmor
