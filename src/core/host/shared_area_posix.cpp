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

bool MapFile(int fd, std::size_t size, void** data, std::string* error) {
    void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        *error = SystemReason("cannot map the shared area");
        return false;
    }
    *data = mapped;
    return true;
}

}  // namespace

SharedAreaFile::~SharedAreaFile() {
    Close();
}

bool SharedAreaFile::Create(std::size_t size, std::string* error) {
    Close();
    std::string path = AreaDirectory() + "/velmor-host-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = SystemReason(("cannot create " + path).c_str());
        return false;
    }
    const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    if (!sized) *error = SystemReason("cannot size the shared area");
    const bool mapped = sized && MapFile(fd, size, &m_data, error);
    ::close(fd);
    if (!mapped) {
        ::unlink(path.c_str());
        m_data = nullptr;
        return false;
    }
    m_size = size;
    m_path = path;
    m_created = true;
    return true;
}

bool SharedAreaFile::Open(const std::string& path, std::size_t size, std::string* error) {
    Close();
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        *error = SystemReason(("cannot open " + path).c_str());
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::size_t>(info.st_size) >= size;
    if (!ok) *error = path + ": not a shared area of " + std::to_string(size) + " bytes";
    ok = ok && MapFile(fd, size, &m_data, error);
    ::close(fd);
    if (!ok) {
        m_data = nullptr;
        return false;
    }
    m_size = size;
    m_path = path;
    return true;
}

void SharedAreaFile::RemoveName() {
    if (m_created) ::unlink(m_path.c_str());
    m_created = false;
}

void SharedAreaFile::Close() {
    if (m_data != nullptr) ::munmap(m_data, m_size);
    RemoveName();
    m_data = nullptr;
    m_size = 0;
    m_path.clear();
}

}  // namespace velmor
