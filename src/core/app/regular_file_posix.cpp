// Regular files through POSIX descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/app/regular_file.h"

namespace velmor {

namespace {

void SetReason(std::string* reason, const char* text) {
    if (reason) *reason = text;
}

// The file a write to `path` lands in: the path itself, or the file a symbolic link names.
// *exists and *mode describe that file. False with the reason when it is no regular file or
// cannot be written.
bool ResolveTarget(const std::string& path, std::string* target, bool* exists, mode_t* mode,
                   std::string* reason) {
    *target = path;
    *exists = false;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            SetReason(reason, std::strerror(errno));
            return false;
        }
        *target = resolved;
        std::free(resolved);
    }
    if (::stat(target->c_str(), &info) != 0) {
        if (errno != ENOENT) {
            SetReason(reason, std::strerror(errno));
            return false;
        }
        // A new file: its folder must take it.
        const std::size_t slash = target->rfind('/');
        const std::string folder = slash == std::string::npos ? "." : target->substr(0, slash + 1);
        if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            SetReason(reason, std::strerror(errno));
            return false;
        }
        return true;
    }
    if (!S_ISREG(info.st_mode)) {
        SetReason(reason, kNotRegularFile);
        return false;
    }
    // Renaming over a file needs only the folder's permission: a read-only file is refused
    // here, as writing into it would be.
    if (::access(target->c_str(), W_OK) != 0) {
        SetReason(reason, std::strerror(errno));
        return false;
    }
    *exists = true;
    *mode = info.st_mode & 07777;
    return true;
}

}  // namespace

int OpenRegularFile(const std::string& path, long long* size, std::string* reason) {
    // Without O_NONBLOCK, opening a pipe waits for a writer that may never come.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        SetReason(reason, std::strerror(error));
        errno = error;
        return -1;
    }
    int error = 0;
    bool regular = true;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        regular = false;
        error = EINVAL;
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    }
    if (error != 0) {
        SetReason(reason, regular ? std::strerror(error) : kNotRegularFile);
        ::close(fd);
        errno = error;
        return -1;
    }
    if (size) *size = static_cast<long long>(info.st_size);
    return fd;
}

long long ReadFromFile(int fd, void* buffer, std::size_t n) {
    // A read answers at most about 2 GiB: a larger request is read in part, as any read may be.
    constexpr std::size_t kMostPerRead = std::size_t{1} << 30;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, std::min(n, kMostPerRead));
        if (got >= 0 || errno != EINTR) return static_cast<long long>(got);
    }
}

bool RewindFile(int fd) {
    return ::lseek(fd, 0, SEEK_SET) == 0;
}

void CloseFile(int fd) {
    ::close(fd);
}

bool CheckOutputTarget(const std::string& path, std::string* reason) {
    std::string target;
    bool exists = false;
    mode_t mode = 0;
    return ResolveTarget(path, &target, &exists, &mode, reason);
}

void ReplacingFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temp.c_str());
    }
    m_fd = -1;
}

bool ReplacingFile::Open(const std::string& path, std::string* reason) {
    Discard();
    m_error = 0;
    bool exists = false;
    mode_t mode = 0666;  // a new file: narrowed by the umask
    if (!ResolveTarget(path, &m_target, &exists, &mode, reason)) return false;
    m_keepMode = exists;
    m_mode = mode;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temp = m_target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (m_fd < 0 && errno != EEXIST) break;
    }
    if (m_fd < 0) {
        SetReason(reason, std::strerror(errno));
        return false;
    }
    return true;
}

bool ReplacingFile::Write(std::string_view bytes) {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    while (m_error == 0 && !bytes.empty()) {
        const ssize_t put = ::write(m_fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            m_error = put < 0 ? errno : EIO;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return m_error == 0;
}

bool ReplacingFile::WriteAt(long long offset, std::string_view bytes) {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    while (m_error == 0 && !bytes.empty()) {
        const ssize_t put = ::pwrite(m_fd, bytes.data(), bytes.size(), offset);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            m_error = put < 0 ? errno : EIO;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
        offset += put;
    }
    return m_error == 0;
}

bool ReplacingFile::Commit(std::string* reason) {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    if (m_error == 0 && m_keepMode && ::fchmod(m_fd, m_mode) != 0) m_error = errno;
    if (m_error == 0 && ::fsync(m_fd) != 0) m_error = errno;
    if (m_fd >= 0) {
        if (::close(m_fd) != 0 && m_error == 0) m_error = errno;
        m_fd = -1;
        if (m_error == 0 && ::rename(m_temp.c_str(), m_target.c_str()) != 0) m_error = errno;
        if (m_error != 0) ::unlink(m_temp.c_str());
    }
    if (m_error != 0) {
        SetReason(reason, std::strerror(m_error));
        return false;
    }
    return true;
}

}  // namespace velmor
