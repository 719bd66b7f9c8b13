// The helper process as the program sees it: started with three pipes (requests in, answers
// out, the library's output), watched without blocking, ended. This file pair holds the
// system calls of the program's side; GuardedLibrary speaks the protocol over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmor {

// How the helper ended.
struct HelperEnd {
    bool known = false;  // false: the system could not tell (the process was reaped elsewhere)
    bool signaled = false;
    int signal = 0;       // when signaled
    int exitCode = 0;     // when not signaled
    bool killed = false;  // Reap killed it: it had not ended within the grace it was given
};

class HelperProcess {
public:
    HelperProcess() = default;
    ~HelperProcess();  // kills and reaps a helper still running
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Starts `executable` with `arguments` in a process group of its own, its standard input,
    // output and error on fresh pipes, no other descriptor inherited, no core dumps, and its
    // data segment limited to `dataLimitBytes` (0: no limit), and killed when the thread that
    // started it ends. False with *error set when the executable cannot be started. On Windows
    // the group is a job object, which also ends the helper when the program ends, and the
    // limit is the job's memory limit; ".exe" is added to an executable named without it.
    // `environment` ("NAME=value" entries), when given, replaces the program's own (wine's
    // for the Windows helper); the Windows build starts no wine and passes none.
    bool Start(const std::string& executable, const std::vector<std::string>& arguments,
               std::uint64_t dataLimitBytes, std::string* error,
               const std::vector<std::string>* environment = nullptr);
    bool Started() const { return m_pid > 0; }
    int Pid() const { return m_pid; }

    // Writes request bytes; false when the helper no longer reads them (it never raises
    // SIGPIPE in the program).
    bool Send(const void* data, std::size_t size);

    struct Events {
        bool answer = false;        // answer bytes are waiting
        bool answerClosed = false;  // the answer channel is closed: the helper is ending
    };
    // Waits up to `timeoutMs` for answer bytes; output the helper writes meanwhile is appended
    // to *output as it arrives.
    Events Wait(int timeoutMs, std::string* output);
    // Reads waiting answer bytes (at most `size`): the count, 0 when none wait, -1 when the
    // channel is closed.
    long ReadAnswer(void* data, std::size_t size);
    // Appends all output bytes waiting now to *output.
    void ReadOutput(std::string* output);

    // True once the helper process has ended (looked at without waiting). Its answer channel
    // may still be open then, held by a process the library started.
    bool Ended();

    // Sends SIGKILL to the helper's process group and to every process below the helper (the
    // helper stopped meanwhile, so that it starts none); on Windows: ends its job.
    void Kill();
    // Waits up to `graceMs` for the helper to end, kills it when it has not, and reports how it
    // ended. The process is gone afterwards.
    HelperEnd Reap(int graceMs);

    // True while a debugger is attached to the helper (its TracerPid is not 0).
    bool DebuggerAttached() const;

private:
    void CloseChannels();

    int m_pid = 0;
    bool m_ended = false;  // Ended() saw the process end; m_end tells how
    HelperEnd m_end;
#ifdef _WIN32
    // The process, its job and the pipes, with a thread reading each channel (Windows cannot
    // wait on an anonymous pipe).
    struct Channels;
    struct ChannelsDeleter {
        void operator()(Channels* channels) const;
    };
    std::unique_ptr<Channels, ChannelsDeleter> m_channels;
#else
    int m_requests = -1;  // write end
    int m_answers = -1;   // read end, non-blocking
    int m_output = -1;    // read end, non-blocking
#endif
};

// "SIGSEGV" and "segmentation fault: invalid memory access" for signal numbers of this system.
std::string SignalName(int signal);
std::string SignalMeaning(int signal);
// The system's own part of those: the signals beyond the C standard's four (SIGSEGV, SIGILL,
// SIGFPE, SIGABRT), which are named alike everywhere.
std::string SystemSignalName(int signal);
std::string SystemSignalMeaning(int signal);

}  // namespace velmor
