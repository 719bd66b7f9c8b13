// The single-instance lock: flock() on a per-user file. The lock belongs to the open file, which
// stays open until the process ends; the kernel drops it then, however the process ends.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "core/app/single_instance.h"

namespace velmor {

namespace {

constexpr const char* kLockName = "UniqueName_Velmor";

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
