// The program's side of the helper process on Linux: fork and exec, pipes, poll, waitpid.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "core/host/helper_process.h"
#include "core/host/process_guard.h"

extern char** environ;

namespace velmor {

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Reads everything waiting on a non-blocking descriptor; false once it is closed.
bool DrainInto(int fd, std::string* out) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            out->append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        return got < 0;  // EAGAIN: open, nothing more now; 0: closed
    }
}

}  // namespace

HelperProcess::~HelperProcess() {
    if (m_pid > 0) {
        Kill();
        Reap(0);
    }
    CloseChannels();
}

void HelperProcess::CloseChannels() {
    CloseFd(m_requests);
    CloseFd(m_answers);
    CloseFd(m_output);
}

bool HelperProcess::Start(const std::string& executable, const std::vector<std::string>& arguments,
                          std::uint64_t dataLimitBytes, std::string* error,
                          const std::vector<std::string>* environment) {
    if (::access(executable.c_str(), X_OK) != 0) {
        *error = "cannot run " + executable + ": " + std::strerror(errno);
        return false;
    }
    int requests[2], answers[2], output[2];
    if (::pipe2(requests, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(answers, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        ::close(requests[0]);
        ::close(requests[1]);
        return false;
    }
    if (::pipe2(output, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        for (int fd : {requests[0], requests[1], answers[0], answers[1]}) ::close(fd);
        return false;
    }
    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    std::vector<std::string> words;
    words.push_back(executable);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> entries;
    std::vector<char*> envp;
    if (environment != nullptr) {
        entries = *environment;
        for (std::string& entry : entries) envp.push_back(entry.data());
        envp.push_back(nullptr);
    }
    char** const childEnvironment = environment != nullptr ? envp.data() : environ;
    const pid_t parent = ::getpid();
    const rlimit data{dataLimitBytes > 0 ? dataLimitBytes : RLIM_INFINITY,
                      dataLimitBytes > 0 ? dataLimitBytes : RLIM_INFINITY};
    const rlimit noCore{0, 0};

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        // A helper that does not end itself when the program goes (wine's, which runs no code
        // of ours before the library's) is ended by the system.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
        if (::getppid() != parent) ::_exit(127);
        if (::dup2(requests[0], 0) < 0 || ::dup2(answers[1], 1) < 0 || ::dup2(output[1], 2) < 0) {
            ::_exit(127);
        }
        ::close_range(3, ~0U, 0);
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (::setrlimit(RLIMIT_DATA, &data) != 0) ::_exit(127);
        // The program may ignore or block signals; the helper starts with the defaults.
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(argv[0], argv.data(), childEnvironment);
        ::_exit(127);
    }
    const int savedErrno = errno;
    ::close(requests[0]);
    ::close(answers[1]);
    ::close(output[1]);
    if (pid < 0) {
        *error = std::string("cannot start the helper: ") + std::strerror(savedErrno);
        for (int fd : {requests[1], answers[0], output[0]}) ::close(fd);
        return false;
    }
    ::setpgid(pid, pid);  // also from here, so the group exists whoever runs first
    m_pid = pid;
    m_requests = requests[1];
    m_answers = answers[0];
    m_output = output[0];
    SetNonBlocking(m_answers);
    SetNonBlocking(m_output);
    return true;
}

bool HelperProcess::Send(const void* data, std::size_t size) {
    if (m_requests < 0) return false;
    // A helper that has gone would raise SIGPIPE: block it for this thread while writing and
    // take a pending one away before unblocking.
    sigset_t pipeSignal, previous;
    ::sigemptyset(&pipeSignal);
    ::sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const auto* bytes = static_cast<const char*>(data);
    bool ok = true;
    while (size > 0) {
        const ssize_t put = ::write(m_requests, bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            ok = false;
            break;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    if (!ok && errno == EPIPE) {
        const timespec zero{0, 0};
        while (::sigtimedwait(&pipeSignal, nullptr, &zero) == SIGPIPE) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

HelperProcess::Events HelperProcess::Wait(int timeoutMs, std::string* output) {
    Events events;
    pollfd fds[2] = {{m_answers, POLLIN, 0}, {m_output, POLLIN, 0}};
    const nfds_t count = m_output >= 0 ? 2 : 1;
    int ready = ::poll(fds, count, timeoutMs);
    if (ready < 0) return events;  // EINTR: the caller simply waits again
    if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
        if (!DrainInto(m_output, output)) CloseFd(m_output);
    }
    if (fds[0].revents & POLLIN) events.answer = true;
    if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) {
        events.answerClosed = true;
    }
    return events;
}

long HelperProcess::ReadAnswer(void* data, std::size_t size) {
    if (m_answers < 0) return -1;
    for (;;) {
        const ssize_t got = ::read(m_answers, data, size);
        if (got > 0) return static_cast<long>(got);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        return -1;
    }
}

void HelperProcess::ReadOutput(std::string* output) {
    if (m_output >= 0 && !DrainInto(m_output, output)) CloseFd(m_output);
}

namespace {

HelperEnd EndOf(int status) {
    HelperEnd end;
    end.known = true;
    end.signaled = WIFSIGNALED(status);
    end.signal = end.signaled ? WTERMSIG(status) : 0;
    end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    return end;
}

}  // namespace

bool HelperProcess::Ended() {
    if (m_pid <= 0 || m_ended) return m_ended;
    int status = 0;
    const pid_t got = ::waitpid(m_pid, &status, WNOHANG);
    if (got == m_pid) {
        m_ended = true;
        m_end = EndOf(status);
    } else if (got < 0 && errno == ECHILD) {
        m_ended = true;  // reaped elsewhere: how it ended is unknown
        m_end = HelperEnd{};
    }
    return m_ended;
}

void HelperProcess::Kill() {
    if (m_pid <= 0) return;
    // What the library started may have left the helper's group (ALLOW_PROCESSES=1): the tree
    // below the helper goes first, the helper stopped so that it lets no start through.
    if (!m_ended) {
        ::kill(m_pid, SIGSTOP);
        for (int round = 0; round < 10; ++round) {
            const std::vector<int> below = ProcessDescendants(m_pid);
            if (below.empty()) break;
            for (const int pid : below) ::kill(pid, SIGKILL);
        }
    }
    ::kill(-m_pid, SIGKILL);
}

HelperEnd HelperProcess::Reap(int graceMs) {
    HelperEnd end;
    if (m_pid <= 0) return end;
    if (m_ended) {
        end = m_end;
        ::kill(-m_pid, SIGKILL);  // what the library started in the helper's group ends too
        m_pid = 0;
        m_ended = false;
        CloseChannels();
        return end;
    }
    int status = 0;
    pid_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    for (;;) {
        got = ::waitpid(m_pid, &status, WNOHANG);
        if (got != 0 || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const bool killed = got == 0;
    if (killed) {
        Kill();
        do {
            got = ::waitpid(m_pid, &status, 0);
        } while (got < 0 && errno == EINTR);
    }
    if (got == m_pid) end = EndOf(status);
    end.killed = killed;
    ::kill(-m_pid, SIGKILL);  // whatever the library started in the helper's group ends too
    m_pid = 0;
    CloseChannels();
    return end;
}

bool HelperProcess::DebuggerAttached() const {
    if (m_pid <= 0) return false;
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
    }
    return false;
}

std::string SystemSignalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return name != nullptr ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

std::string SystemSignalMeaning(int signal) {
    switch (signal) {
        case SIGBUS:
            return "bus error: access to memory that does not exist";
        case SIGKILL:
            return "killed";
        case SIGTRAP:
            return "trace or breakpoint trap";
        case SIGSYS:
            return "bad system call";
        case SIGXCPU:
            return "processor time limit exceeded";
        case SIGXFSZ:
            return "file size limit exceeded";
        default: {
            const char* text = ::sigdescr_np(signal);
            return text != nullptr ? text : std::string();
        }
    }
}

}  // namespace velmor
