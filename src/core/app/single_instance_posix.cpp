// The single-instance lock: flock() on a per-user file. The lock belongs to the open file, which
// stays open until the process ends; the kernel drops it then, however the process ends. The
// channel of a second start: a Unix-domain stream socket beside it.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "core/app/single_instance.h"

namespace velmor {

namespace {

constexpr const char* kLockName = "UniqueName_Velmor";
constexpr const char* kChannelSuffix = ".socket";
// A message: this line, then the argument's bytes up to the end of the stream.
constexpr char kChannelHeader[] = "VELMOR-OPEN 1\n";
constexpr char kChannelAnswer[] = "OK\n";
// An argument is a path: far shorter than this.
constexpr std::size_t kMaxArgumentBytes = 64 * 1024;
constexpr int kReceiveWaitMs = 2000;

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A directory only this user can write to (a runtime directory) needs no user id in the name.
bool IsPrivateDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Lock files this process holds, by path; their descriptors stay open on purpose. A forked
// child inherits the list but not the right to the lock, hence the process id.
struct HeldLock {
    std::string path;
    pid_t owner;
    int fd;
};
struct HeldLocks {
    std::mutex mutex;
    std::vector<HeldLock> files;
};

HeldLocks& Held() {
    static HeldLocks* held = new HeldLocks;  // never destroyed: the locks live until exit
    return *held;
}

// The directory of the lock file when the caller names none.
std::string SingleInstanceLockDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && IsDirectory(runtime)) return runtime;
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (!error && !temp.empty()) return temp.string();
    return "/tmp";
}

std::string LockDirectoryOrDefault(const std::string& directory) {
    return directory.empty() ? SingleInstanceLockDirectory() : directory;
}

bool SocketAddress(const std::string& path, sockaddr_un* address) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path) return false;
    std::memcpy(address->sun_path, path.data(), path.size());
    return true;
}

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
}

// Writes all bytes to a non-blocking socket before the deadline.
bool SendAll(int fd, const char* bytes, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent > 0) {
            bytes += sent;
            size -= std::size_t(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// Reads from a non-blocking socket until its end, at most `limit` bytes, before the deadline.
bool ReceiveAll(int fd, std::string* bytes, std::size_t limit, Clock::time_point deadline) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            if (bytes->size() + std::size_t(got) > limit) return false;
            bytes->append(buffer, std::size_t(got));
        } else if (got == 0) {
            return true;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitFor(fd, POLLIN, deadline)) return false;
        } else {
            return false;
        }
    }
}

}  // namespace

std::string SingleInstanceLockPath(const std::string& directory) {
    std::string path = directory;
    if (path.empty() || path.back() != '/') path += '/';
    path += kLockName;
    if (!IsPrivateDirectory(directory)) {
        path += '-';
        path += std::to_string(::geteuid());
    }
    return path;
}

bool AcquireSingleInstance(const std::string& directory) {
    const std::string path =
        SingleInstanceLockPath(directory.empty() ? SingleInstanceLockDirectory() : directory);
    HeldLocks& held = Held();
    std::lock_guard<std::mutex> guard(held.mutex);
    for (const HeldLock& file : held.files) {
        if (file.path == path && file.owner == ::getpid()) return true;
    }

    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) return true;  // nowhere to keep a lock: run unguarded rather than not at all
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        // Not a lock file of this user (someone else's file in a shared directory).
        ::close(fd);
        return true;
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        held.files.push_back({path, ::getpid(), fd});
        return true;
    }
    const int error = errno;
    ::close(fd);
    return error != EWOULDBLOCK;  // held by another process: another copy runs
}

}  // namespace velmor

namespace velmor {

std::string SingleInstanceChannelPath(const std::string& directory) {
    return SingleInstanceLockPath(LockDirectoryOrDefault(directory)) + kChannelSuffix;
}

int ListenForSecondStarts(const std::string& directory) {
    const std::string path = SingleInstanceChannelPath(directory);
    sockaddr_un address{};
    if (!SocketAddress(path, &address)) return -1;
    // A channel left by a copy that ended without removing it: only this user's socket is
    // removed, never another file of that name.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) return -1;
        ::unlink(path.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReceiveSecondStart(int listenFd, std::string* argument) {
    int fd = -1;
    do {
        fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    // Only the user's own starts are taken: the socket's permissions say so, and the peer's
    // credentials prove it.
    ucred peer{};
    socklen_t length = sizeof peer;
    bool taken =
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::geteuid();
    std::string message;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kReceiveWaitMs);
    const std::size_t header = sizeof kChannelHeader - 1;
    taken = taken && ReceiveAll(fd, &message, header + kMaxArgumentBytes, deadline) &&
            message.compare(0, header, kChannelHeader) == 0;
    if (taken) {
        SendAll(fd, kChannelAnswer, sizeof kChannelAnswer - 1, deadline);
        argument->assign(message, header, std::string::npos);
    }
    ::close(fd);
    return taken;
}

bool HandToRunningCopy(const std::string& argument, std::string* reason,
                       const std::string& directory, int waitSeconds) {
    const std::string path = SingleInstanceChannelPath(directory);
    sockaddr_un address{};
    if (!SocketAddress(path, &address)) {
        *reason = "the channel's path is too long: " + path;
        return false;
    }
    if (argument.size() > kMaxArgumentBytes) {
        *reason = "the argument is too long";
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(waitSeconds);
    int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (result != 0 && (errno == EINPROGRESS || errno == EAGAIN)) {
        int error = 0;
        socklen_t length = sizeof error;
        result = WaitFor(fd, POLLOUT, deadline) &&
                         ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0
                     ? 0
                     : -1;
        if (error != 0) errno = error;
    }
    if (result != 0) {
        *reason = std::string("the running copy takes no files: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    const std::string message = kChannelHeader + argument;
    std::string answer;
    const bool sent =
        SendAll(fd, message.data(), message.size(), deadline) && ::shutdown(fd, SHUT_WR) == 0;
    const bool confirmed =
        sent && ReceiveAll(fd, &answer, 64, deadline) && answer == kChannelAnswer;
    ::close(fd);
    if (!confirmed) {
        *reason = sent ? "the running copy did not confirm in time"
                       : "the running copy did not take the message";
        return false;
    }
    return true;
}

}  // namespace velmor
