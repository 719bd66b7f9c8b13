// The shared area on POSIX systems: a file from mkstemp, sized with ftruncate (its pages cost
// nothing until touched) and mapped MAP_SHARED.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/host/shared_area.h"

namespace velmor {

namespace {

std::string SystemReason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// $XDG_RUNTIME_DIR when it is an absolute path to a directory we may write, else $TMPDIR,
// else /tmp.
std::string AreaDirectory() {
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] == '/' && ::access(value, W_OK | X_OK) == 0) return value;
    }
    return "/tmp";
}

// The mapping of `size` bytes of the open file, or nullptr with *error set.
void* MapFile(int fd, std::size_t size, std::string* error) {
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped != MAP_FAILED) return mapped;
    *error = SystemReason("cannot map the shared area");
    return nullptr;
}

}  // namespace

void* SharedAreaFile::CreateMapped(std::size_t size, std::string* path, std::string* error) {
    *path = AreaDirectory() + "/velmor-host-XXXXXX";
    const int fd = ::mkostemp(path->data(), O_CLOEXEC);
    if (fd < 0) {
        *error = SystemReason(("cannot create " + *path).c_str());
        return nullptr;
    }
    void* data = nullptr;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        *error = SystemReason("cannot size the shared area");
    } else {
        data = MapFile(fd, size, error);
    }
    ::close(fd);
    if (data == nullptr) ::unlink(path->c_str());
    return data;
}

void* SharedAreaFile::OpenMapped(const std::string& path, std::size_t size, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        *error = SystemReason(("cannot open " + path).c_str());
        return nullptr;
    }
    struct stat info {};
    void* data = nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) < size) {
        *error = path + ": not a shared area of " + std::to_string(size) + " bytes";
    } else {
        data = MapFile(fd, size, error);
    }
    ::close(fd);
    return data;
}

void SharedAreaFile::Unmap(void* data, std::size_t size) {
    ::munmap(data, size);
}

bool SharedAreaFile::RemoveFile(const std::string& path) {
    // POSIX removes a name whatever maps the file: a failure (the name gone already) is not
    // worth a second try.
    ::unlink(path.c_str());
    return true;
}

}  // namespace velmor
