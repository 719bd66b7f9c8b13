// The helper's system calls on Linux.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/host/host_platform.h"

namespace velmor {

bool TakeProtocolStreams(HostHandle* requests, HostHandle* answers, std::string* error) {
    const int in = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    const int out = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (in < 0 || out < 0 || null < 0 || ::dup2(null, 0) < 0 || ::dup2(2, 1) < 0) {
        *error = std::string("cannot set up the protocol streams: ") + std::strerror(errno);
        return false;
    }
    ::close(null);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    *requests = in;
    *answers = out;
    return true;
}

void PrepareHelperProcess() {
    // A debugger started by the user (not only the helper's parent) may attach.
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    // The helper has no use once its program is gone, even when a library call never returns.
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() != parent) ::_exit(0);  // the program ended before the line above
    // A helper whose program has gone ends on its next answer instead of ignoring the error.
    ::signal(SIGPIPE, SIG_DFL);
}

void ReportUnhandledExceptions(HostStatus* /*status*/) {}

bool ReadExact(HostHandle handle, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(static_cast<int>(handle), bytes, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteExact(HostHandle handle, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(static_cast<int>(handle), bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

std::uint32_t CurrentProcessId() {
    return static_cast<std::uint32_t>(::getpid());
}

}  // namespace velmor
