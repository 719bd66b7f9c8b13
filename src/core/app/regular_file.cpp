// What regular_file.h offers the same way on every system; the system calls are in
// regular_file_posix.cpp and regular_file_win.cpp.
#include "core/app/regular_file.h"

#include <cerrno>
#include <cstring>

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

int ReadWholeFile(const std::string& path, long long limit, std::string* bytes,
                  std::string* reason) {
    bytes->clear();
    long long size = 0;
    const int fd = OpenRegularFile(path, &size, reason);
    if (fd < 0) return errno != 0 ? errno : EIO;
    int error = size > limit ? EFBIG : 0;
    if (error == 0) bytes->reserve(static_cast<std::size_t>(size));
    char buffer[8192];
    while (error == 0) {
        const long long got = ReadFromFile(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            error = errno;
        } else if (static_cast<long long>(bytes->size()) + got > limit) {
            error = EFBIG;
        } else {
            bytes->append(buffer, static_cast<std::size_t>(got));
        }
    }
    CloseFile(fd);
    if (error != 0) {
        bytes->clear();
        if (reason) *reason = std::strerror(error);
    }
    return error;
}

}  // namespace velmor
