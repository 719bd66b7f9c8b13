// The helper's guard against processes on Linux: a seccomp filter of our own, installed before
// the library is loaded, and a thread of the helper that answers the calls the filter hands it.
//
// Why the filter hands refusals to a thread (SECCOMP_RET_USER_NOTIF) instead of failing them
// itself: a refusal must be seen to be reported ("the library tried to start a process ..."),
// and SECCOMP_RET_ERRNO is silent. SECCOMP_RET_TRAP (a SIGSYS handler that sets -EPERM) is not
// reliable: glibc's posix_spawn, behind system() and popen(), blocks every signal around its
// clone, and a SIGSYS the kernel forces on a thread that blocks it kills the process. A
// notification reaches the supervising thread whatever the calling thread blocks; it costs a
// few microseconds per refused call, which only a library that starts processes pays.
//
// The filter checks the architecture (x86-64 only; other system-call tables and the x32 calls
// are refused with ENOSYS) and then:
//   clone3                            ENOSYS: its flags are in memory, where a filter cannot
//                                     look; glibc then falls back to clone, whose flags it can
//   clone with CLONE_THREAD           allowed (threads)
//   clone without it, fork, vfork     to the supervisor: refused with EPERM, or with
//                                     ALLOW_PROCESSES=1 counted (EAGAIN at kMaxLibraryProcesses)
//   execve, execveat                  to the supervisor (EPERM), allowed with ALLOW_PROCESSES=1
//   kill, tkill, tgkill,              allowed when aimed at the helper (its own process id,
//   rt_sigqueueinfo,                  known when the filter is built), else to the supervisor,
//   rt_tgsigqueueinfo                 which lets a process signal itself and refuses the rest;
//                                     kill(0, ...) and kill(-1, ...) reach other processes and
//                                     are refused
//   pidfd_send_signal, ptrace,        to the supervisor: refused (a debugger attaches from
//   process_vm_readv/writev           outside, which no filter of the helper's touches)
// Without notifications (a kernel before 5.0) the same calls fail silently with EPERM, and
// process starts fail with EAGAIN under ALLOW_PROCESSES=1 as well, since they cannot be counted.
//
// With ALLOW_PROCESSES=1 the helper is a child subreaper, so every process the library starts
// stays below it, even when its parent ends. The count of those processes is the helper's
// process tree, walked through /proc/<pid>/task/<tid>/children (RLIMIT_NPROC counts every
// process of the user, not the library's). Every start of every descendant passes the
// supervisor (the filter is inherited), one at a time: the supervisor counts the tree, lets the
// start go when fewer than kMaxLibraryProcesses exist, and waits until the new process is in the
// tree (or the call has returned) before it answers the next one, so no two starts slip past
// one count.
#include <dirent.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/host/host_protocol.h"
#include "core/host/process_guard.h"

namespace velmor {

namespace {

// How long the supervisor waits for a start it let go to show in the process tree.
constexpr auto kStartSettleLimit = std::chrono::milliseconds(200);
// Most processes a tree walk looks at (far beyond what the limit lets exist).
constexpr std::size_t kTreeWalkLimit = 4096;

std::atomic<std::uint64_t> g_request{1};
std::atomic<std::uint64_t> g_reported{0};
std::atomic<pid_t> g_endingThread{0};  // the helper's thread ending the library's processes
pid_t g_helper = 0;
bool g_allowProcesses = false;
// Children the library's code in the helper started itself (not taken over from a descendant):
// the library reaps them. Filled by the supervisor, read between requests.
std::mutex g_ownMutex;
constexpr std::size_t kOwnRoom = 2 * kMaxLibraryProcesses;
pid_t g_ownChildren[kOwnRoom];
std::size_t g_ownCount = 0;

// ---------------------------------------------------------------------------------------------
// The filter.

sock_filter Load(std::uint32_t offset) {
    return BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset);
}
sock_filter Return(std::uint32_t action) {
    return BPF_STMT(BPF_RET | BPF_K, action);
}
// Jumps `skip` instructions when A does not equal `value` (falls through when it does).
sock_filter SkipUnless(std::uint32_t value, std::uint8_t skip) {
    return BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, 0, skip);
}

constexpr std::uint32_t kNrOffset = offsetof(seccomp_data, nr);
constexpr std::uint32_t kArchOffset = offsetof(seccomp_data, arch);
// The low 32 bits of the first argument (x86-64 is little-endian): a pid_t, clone's flags.
constexpr std::uint32_t kArg0Offset = offsetof(seccomp_data, args[0]);

std::vector<sock_filter> BuildFilter(pid_t helper, bool allowProcesses, bool notify) {
    const std::uint32_t refuse = notify ? SECCOMP_RET_USER_NOTIF : SECCOMP_RET_ERRNO | EPERM;
    const std::uint32_t start = notify           ? SECCOMP_RET_USER_NOTIF
                                : allowProcesses ? SECCOMP_RET_ERRNO | EAGAIN
                                                 : SECCOMP_RET_ERRNO | EPERM;
    const std::uint32_t exec = allowProcesses ? SECCOMP_RET_ALLOW : refuse;
    const std::uint32_t noSuchCall = SECCOMP_RET_ERRNO | ENOSYS;
    std::vector<sock_filter> code = {
        Load(kArchOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        Return(noSuchCall),
        Load(kNrOffset),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, __X32_SYSCALL_BIT, 0, 1),
        Return(noSuchCall),
    };
    auto simple = [&](std::uint32_t nr, std::uint32_t action) {
        code.push_back(SkipUnless(nr, 1));
        code.push_back(Return(action));
    };
    // A signal aimed at the helper's own process id passes; any other goes to the supervisor.
    auto aimed = [&](std::uint32_t nr) {
        code.push_back(SkipUnless(nr, 4));
        code.push_back(Load(kArg0Offset));
        code.push_back(SkipUnless(static_cast<std::uint32_t>(helper), 1));
        code.push_back(Return(SECCOMP_RET_ALLOW));
        code.push_back(Return(refuse));
    };
    simple(__NR_clone3, noSuchCall);
    code.push_back(SkipUnless(__NR_clone, 4));
    code.push_back(Load(kArg0Offset));
    code.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1));
    code.push_back(Return(SECCOMP_RET_ALLOW));
    code.push_back(Return(start));
    simple(__NR_fork, start);
    simple(__NR_vfork, start);
    simple(__NR_execve, exec);
    simple(__NR_execveat, exec);
    aimed(__NR_kill);
    aimed(__NR_tkill);
    aimed(__NR_tgkill);
    aimed(__NR_rt_sigqueueinfo);
    aimed(__NR_rt_tgsigqueueinfo);
    simple(__NR_pidfd_send_signal, refuse);
    simple(__NR_ptrace, refuse);
    simple(__NR_process_vm_readv, refuse);
    simple(__NR_process_vm_writev, refuse);
    code.push_back(Return(SECCOMP_RET_ALLOW));
    return code;
}

int InstallFilter(const std::vector<sock_filter>& code, unsigned int flags) {
    sock_fprog program{};
    program.len = static_cast<unsigned short>(code.size());
    program.filter = const_cast<sock_filter*>(code.data());
    return static_cast<int>(::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, flags, &program));
}

// ---------------------------------------------------------------------------------------------
// The process tree below the helper.
//
// The supervisor answers while the calling thread waits in its system call, and that thread
// may hold any lock of the C library then: fork() holds malloc's and stdio's. So everything the
// supervisor does allocates nothing and uses no stdio: fixed buffers, open, read, getdents64.

// A process id list of fixed room.
struct PidList {
    static constexpr std::size_t kRoom = kTreeWalkLimit;
    pid_t pids[kRoom];
    std::size_t count = 0;
    void Add(pid_t pid) {
        if (count < kRoom) pids[count++] = pid;
    }
    bool Has(pid_t pid) const {
        for (std::size_t i = 0; i < count; ++i) {
            if (pids[i] == pid) return true;
        }
        return false;
    }
};

// "/proc/<a>/<middle>/<b>/<end>" without allocating: the number `b` and `middle` when b > 0.
void ProcPath(char* out, std::size_t room, long a, const char* middle, long b, const char* end) {
    std::size_t at = 0;
    auto put = [&](const char* text) {
        while (*text != '\0' && at + 1 < room) out[at++] = *text++;
    };
    auto number = [&](long value) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0 && n < 23);
        while (n > 0 && at + 1 < room) out[at++] = digits[--n];
    };
    put("/proc/");
    number(a);
    if (b > 0) {
        put("/");
        put(middle);
        put("/");
        number(b);
    }
    put(end);
    out[at] = '\0';
}

// Reads a small /proc file into `text` (terminated); the bytes read, -1 when it cannot be read.
long ReadProcFile(const char* path, char* text, std::size_t room) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    std::size_t got = 0;
    while (got + 1 < room) {
        const ssize_t n = ::read(fd, text + got, room - 1 - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    ::close(fd);
    text[got] = '\0';
    return static_cast<long>(got);
}

long ParseNumber(const char*& at) {
    while (*at == ' ' || *at == '\t' || *at == '\n') ++at;
    if (*at < '0' || *at > '9') return -1;
    long value = 0;
    while (*at >= '0' && *at <= '9') value = value * 10 + (*at++ - '0');
    return value;
}

struct LinuxDirent {
    std::uint64_t ino;
    std::int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

// The children of every thread of `pid`, added to `list`.
void ChildrenOf(pid_t pid, PidList& list) {
    char path[96];
    ProcPath(path, sizeof path, pid, "", 0, "/task");
    const int dir = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    alignas(8) char entries[2048];
    char text[4096];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, dir, entries, sizeof entries);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const LinuxDirent*>(entries + at);
            at += entry->reclen;
            const char* name = entry->name;
            const long tid = ParseNumber(name);
            if (tid <= 0) continue;
            ProcPath(path, sizeof path, pid, "task", tid, "/children");
            if (ReadProcFile(path, text, sizeof text) <= 0) continue;
            for (const char* c = text;;) {
                const long child = ParseNumber(c);
                if (child <= 0) break;
                list.Add(static_cast<pid_t>(child));
            }
        }
    }
    ::close(dir);
}

// Every process below `root` (its children, theirs, ...), zombies included.
void Descendants(pid_t root, PidList& list) {
    list.count = 0;
    ChildrenOf(root, list);
    for (std::size_t i = 0; i < list.count && list.count < PidList::kRoom; ++i) {
        ChildrenOf(list.pids[i], list);
    }
}

// The thread group (process) of thread `tid`, 0 when it has gone.
pid_t ProcessOfThread(pid_t tid) {
    char path[64], text[2048];
    ProcPath(path, sizeof path, tid, "", 0, "/status");
    if (ReadProcFile(path, text, sizeof text) <= 0) return 0;
    const char* at = std::strstr(text, "\nTgid:");
    if (at == nullptr) return 0;
    at += 6;
    const long tgid = ParseNumber(at);
    return tgid > 0 ? static_cast<pid_t>(tgid) : 0;
}

// The system call thread `tid` is in, -1 when it is in none (or has gone).
long SystemCallOf(pid_t tid) {
    char path[64], text[256];
    ProcPath(path, sizeof path, tid, "", 0, "/syscall");
    if (ReadProcFile(path, text, sizeof text) <= 0) return -1;
    const char* at = text;
    return ParseNumber(at);
}

// ---------------------------------------------------------------------------------------------
// The supervisor.

void Report(const char* text) {
    const std::uint64_t request = g_request.load();
    if (g_reported.exchange(request) == request) return;
    char line[256];
    std::size_t length = 0;
    while (text[length] != '\0' && length + 2 < sizeof line) {
        line[length] = text[length];
        ++length;
    }
    line[length++] = '\n';
    // Standard error is the program's output pipe: the line joins the library's output before
    // the request's answer (the calling thread waits for this reply).
    if (::write(2, line, length) < 0) return;
}

bool IsStart(int nr) {
    return nr == __NR_clone || nr == __NR_fork || nr == __NR_vfork;
}

bool IsSignal(int nr) {
    return nr == __NR_kill || nr == __NR_tkill || nr == __NR_tgkill || nr == __NR_rt_sigqueueinfo ||
           nr == __NR_rt_tgsigqueueinfo;
}

class Supervisor {
public:
    // Made on the thread that installs the filter, before any library code runs: the supervising
    // thread allocates nothing.
    explicit Supervisor(int listener) : m_listener(listener) {
        seccomp_notif_sizes sizes{};
        if (::syscall(SYS_seccomp, SECCOMP_GET_NOTIF_SIZES, 0, &sizes) != 0) {
            sizes.seccomp_notif = sizeof(seccomp_notif);
            sizes.seccomp_notif_resp = sizeof(seccomp_notif_resp);
        }
        m_requestBytes = std::max<std::size_t>(sizes.seccomp_notif, sizeof(seccomp_notif));
        m_responseBytes =
            std::max<std::size_t>(sizes.seccomp_notif_resp, sizeof(seccomp_notif_resp));
        m_requestRoom.resize(m_requestBytes);
        m_responseRoom.resize(m_responseBytes);
    }

    void Run() {
        auto* request = reinterpret_cast<seccomp_notif*>(m_requestRoom.data());
        auto* response = reinterpret_cast<seccomp_notif_resp*>(m_responseRoom.data());
        for (;;) {
            std::memset(request, 0, m_requestBytes);
            if (::ioctl(m_listener, SECCOMP_IOCTL_NOTIF_RECV, request) != 0) {
                if (errno == EINTR || errno == ENOENT) continue;
                return;  // the listener is gone: every filtered call now fails with ENOSYS
            }
            std::memset(response, 0, m_responseBytes);
            response->id = request->id;
            const Decision decision = Decide(*request);
            if (decision.proceed) {
                response->flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
            } else {
                response->error = -decision.error;
            }
            if (::ioctl(m_listener, SECCOMP_IOCTL_NOTIF_SEND, response) != 0) continue;
            if (decision.countStart) Settle(static_cast<pid_t>(request->pid), request->data.nr);
        }
    }

private:
    struct Decision {
        bool proceed = false;
        int error = EPERM;
        bool countStart = false;  // a start let go: wait until it shows in the tree
    };

    Decision Decide(const seccomp_notif& request) {
        Decision decision;
        const int nr = request.data.nr;
        const pid_t caller = static_cast<pid_t>(request.pid);
        if (IsStart(nr) || nr == __NR_execve || nr == __NR_execveat) {
            if (!g_allowProcesses) {
                Report(kProcessRefusedText);
                return decision;
            }
            if (!IsStart(nr)) {
                decision.proceed = true;  // the filter lets these pass; here for safety
                return decision;
            }
            Descendants(g_helper, m_before);
            if (m_before.count >= static_cast<std::size_t>(kMaxLibraryProcesses)) {
                Report(kProcessLimitText);
                decision.error = EAGAIN;
                return decision;
            }
            decision.proceed = decision.countStart = true;
            return decision;
        }
        if (IsSignal(nr)) {
            const pid_t target =
                static_cast<pid_t>(static_cast<std::int32_t>(request.data.args[0]));
            const pid_t callerProcess = ProcessOfThread(caller);
            // A process may signal itself (raise, abort); tkill names a thread.
            const pid_t targetProcess = nr == __NR_tkill ? ProcessOfThread(target) : target;
            if (target > 0 && callerProcess != 0 && targetProcess == callerProcess) {
                decision.proceed = true;
                return decision;
            }
            // The helper ending what the library started.
            if (nr == __NR_kill && caller == g_endingThread.load() && target > 0 &&
                IsDescendant(target)) {
                decision.proceed = true;
                return decision;
            }
            Report(kSignalRefusedText);
            return decision;
        }
        Report(kTraceRefusedText);
        return decision;
    }

    bool IsDescendant(pid_t pid) {
        Descendants(g_helper, m_now);
        return m_now.Has(pid);
    }

    // Waits until the start let go shows (a process more in the tree than m_before) or its call
    // has returned; a start by the helper's own code (not a descendant's) makes a child the
    // library owns.
    void Settle(pid_t caller, int nr) {
        const auto deadline = std::chrono::steady_clock::now() + kStartSettleLimit;
        for (;;) {
            Descendants(g_helper, m_now);
            if (m_now.count > m_before.count || SystemCallOf(caller) != nr ||
                std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            const timespec pause{0, 50 * 1000};
            ::nanosleep(&pause, nullptr);
        }
        if (ProcessOfThread(caller) != g_helper) return;
        std::lock_guard<std::mutex> lock(g_ownMutex);
        for (std::size_t i = 0; i < m_now.count; ++i) {
            if (!m_before.Has(m_now.pids[i]) && g_ownCount < kOwnRoom) {
                g_ownChildren[g_ownCount++] = m_now.pids[i];
            }
        }
    }

    int m_listener;
    std::size_t m_requestBytes = 0, m_responseBytes = 0;
    std::vector<unsigned char> m_requestRoom, m_responseRoom;
    PidList m_before, m_now;
};

}  // namespace

std::vector<int> ProcessDescendants(int pid) {
    auto list = std::make_unique<PidList>();
    Descendants(pid, *list);
    return std::vector<int>(list->pids, list->pids + list->count);
}

bool GuardProcesses(bool allowProcesses, std::string* error) {
    g_helper = ::getpid();
    g_allowProcesses = allowProcesses;
    if (allowProcesses && ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0) {
        *error = std::string("cannot become a child subreaper: ") + std::strerror(errno);
        return false;
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        *error = std::string("cannot set no_new_privs: ") + std::strerror(errno);
        return false;
    }
    const int listener = InstallFilter(BuildFilter(g_helper, allowProcesses, true),
                                       SECCOMP_FILTER_FLAG_NEW_LISTENER);
    if (listener < 0) {
        // No notifications on this kernel: the same refusals, silent.
        if (InstallFilter(BuildFilter(g_helper, allowProcesses, false), 0) != 0) {
            *error = std::string("cannot install the seccomp filter: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    ::fcntl(listener, F_SETFD, FD_CLOEXEC);
    try {
        Supervisor* supervisor = new Supervisor(listener);  // lives as long as the helper
        std::thread([supervisor] { supervisor->Run(); }).detach();
    } catch (const std::exception&) {
        // No thread: every filtered call fails with ENOSYS once the listener is closed.
        ::close(listener);
        *error = "no thread to answer the seccomp filter: every guarded call now fails";
        return false;
    }
    return true;
}

void NoteGuardedRequest() {
    g_request.fetch_add(1);
}

void EndLibraryProcesses() {
    if (!g_allowProcesses || g_helper == 0) return;
    g_endingThread.store(static_cast<pid_t>(::syscall(SYS_gettid)));
    auto list = std::make_unique<PidList>();
    // Ending a parent hands its children to the helper: walk again until none is left.
    for (int round = 0; round < 100; ++round) {
        Descendants(g_helper, *list);
        if (list->count == 0) break;
        for (std::size_t i = 0; i < list->count; ++i) ::kill(list->pids[i], SIGKILL);
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        const timespec pause{0, 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    g_endingThread.store(0);
    std::lock_guard<std::mutex> lock(g_ownMutex);
    g_ownCount = 0;
}

void ReapAdoptedProcesses() {
    if (!g_allowProcesses || g_helper == 0) return;
    auto children = std::make_unique<PidList>();
    ChildrenOf(g_helper, *children);
    std::lock_guard<std::mutex> lock(g_ownMutex);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < children->count; ++i) {
        const pid_t pid = children->pids[i];
        bool own = false;
        for (std::size_t k = 0; k < g_ownCount && !own; ++k) own = g_ownChildren[k] == pid;
        if (!own) {
            ::waitpid(pid, nullptr, WNOHANG);
        } else if (kept < kOwnRoom) {
            g_ownChildren[kept++] = pid;  // the library's child is still there
        }
    }
    g_ownCount = kept;
}

}  // namespace velmor
