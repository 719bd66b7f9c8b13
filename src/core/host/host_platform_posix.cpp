// The helper's system calls on Linux.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/host/host_platform.h"
#include "core/host/record_fences.h"

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

std::size_t PageBytes() {
    const long page = ::sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : 4096;
}

void* ReservePages(std::size_t bytes) {
    void* pages =
        ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return pages != MAP_FAILED ? pages : nullptr;
}

bool OpenPages(void* at, std::size_t bytes) {
    return ::mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0;
}

void ReleasePages(void* at, std::size_t bytes) {
    ::munmap(at, bytes);
}

namespace {

// The handler's own stack: a library that overflows its stack still reaches it.
constexpr std::size_t kFaultStackBytes = 64 * 1024;

// Entered once (SA_RESETHAND: SIGSEGV's default action is back on entry). A fault in a fence is
// reported; then the faulting instruction runs again and the default action ends the helper,
// as it does for every other fault. A SIGSEGV another process sent is raised again.
void FenceFault(int signal, siginfo_t* info, void* context) {
    if (info == nullptr || info->si_code <= 0) {
        ::raise(signal);
        return;
    }
    FenceHit hit;
    if (FindFence(reinterpret_cast<std::uintptr_t>(info->si_addr), &hit)) {
        FenceAccess access = kAccessUnknown;
#if defined(__x86_64__)
        // The page fault's error code: bit 1 set for a write.
        const auto* state = static_cast<const ucontext_t*>(context);
        access = (state->uc_mcontext.gregs[REG_ERR] & 2) != 0 ? kAccessWrite : kAccessRead;
#else
        (void)context;
#endif
        ReportRecordOverrun(hit, access);
    }
}

}  // namespace

void CatchFenceFaults() {
    static void* stack = std::malloc(kFaultStackBytes);
    if (stack != nullptr) {
        stack_t alternate{};
        alternate.ss_sp = stack;
        alternate.ss_size = kFaultStackBytes;
        ::sigaltstack(&alternate, nullptr);
    }
    struct sigaction action {};
    action.sa_sigaction = FenceFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND | SA_NODEFER;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGSEGV, &action, nullptr);
}

void EndWithRecordOverrun() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGSEGV, &action, nullptr);
    sigset_t segv;
    ::sigemptyset(&segv);
    ::sigaddset(&segv, SIGSEGV);
    ::pthread_sigmask(SIG_UNBLOCK, &segv, nullptr);
    ::raise(SIGSEGV);
    ::_exit(128 + SIGSEGV);
}

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
