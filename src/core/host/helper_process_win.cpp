// The program's side of the helper process on Windows: CreateProcessW in a job object and three
// anonymous pipes. Windows cannot wait on an anonymous pipe: a thread reads the answers as they
// come (so an answer wakes Wait at once) and keeps them until ReadAnswer takes them. The output
// is read where it is asked for, everything the pipe holds then: the helper writes a request's
// output before its answer, so the output is all there once the answer has come.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "core/app/windows_text.h"
#include "core/host/helper_process.h"

namespace velmor {

namespace {

// The answer pipe, read by a thread of its own into `bytes`; or the output pipe (no thread).
struct Inflow {
    HANDLE pipe = nullptr;    // read end
    HANDLE thread = nullptr;  // the reading thread
    std::string bytes;        // read, not yet taken
    bool closed = false;      // the writer has gone
};

void CloseHandleOf(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    handle = nullptr;
}

// A command-line word as CommandLineToArgvW and the C run-time split it again.
std::wstring Quoted(const std::wstring& word) {
    if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) return word;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');  // before the closing quote
    return quoted + L"\"";
}

bool EndsWithExe(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == ".exe";
}

// Only one Start at a time makes inheritable handles, so no other helper inherits them.
std::mutex& StartMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

}  // namespace

struct HelperProcess::Channels {
    HANDLE process = nullptr;
    HANDLE job = nullptr;
    HANDLE requests = nullptr;  // write end
    std::mutex mutex;
    std::condition_variable arrived;
    Inflow answers, output;

    struct Reader {
        Channels* channels;
        Inflow* inflow;
    };
    Reader answerReader{this, &answers};

    static DWORD WINAPI Read(void* parameter) {
        const auto* reader = static_cast<Reader*>(parameter);
        Channels& channels = *reader->channels;
        Inflow& inflow = *reader->inflow;
        char buffer[4096];
        for (;;) {
            DWORD got = 0;
            const bool ok = ::ReadFile(inflow.pipe, buffer, sizeof buffer, &got, nullptr) != 0;
            std::lock_guard<std::mutex> lock(channels.mutex);
            if (ok && got > 0) inflow.bytes.append(buffer, got);
            if (!ok) inflow.closed = true;
            channels.arrived.notify_all();
            if (!ok) return 0;
        }
    }

    bool StartReader(Reader& reader) {
        reader.inflow->thread = ::CreateThread(nullptr, 64 * 1024, &Channels::Read, &reader,
                                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        return reader.inflow->thread != nullptr;
    }

    // Stops a reader still waiting (the helper's pipe may be held open by a process the library
    // started) and closes its pipe.
    static void StopReader(Inflow& inflow) {
        if (inflow.thread != nullptr) {
            if (::WaitForSingleObject(inflow.thread, 0) == WAIT_TIMEOUT) {
                ::CancelSynchronousIo(inflow.thread);
                ::WaitForSingleObject(inflow.thread, 2000);
            }
            CloseHandleOf(inflow.thread);
        }
        CloseHandleOf(inflow.pipe);
    }

    // Appends all the output pipe holds now, without waiting.
    void DrainOutput(std::string* into) {
        char buffer[4096];
        while (output.pipe != nullptr) {
            DWORD waiting = 0, got = 0;
            if (!::PeekNamedPipe(output.pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
                CloseHandleOf(output.pipe);  // the helper and its children have closed it
                return;
            }
            if (waiting == 0) return;
            const DWORD chunk = waiting < sizeof buffer ? waiting : DWORD(sizeof buffer);
            if (!::ReadFile(output.pipe, buffer, chunk, &got, nullptr) || got == 0) return;
            into->append(buffer, got);
        }
    }

    ~Channels() {
        CloseHandleOf(requests);
        if (job != nullptr) ::TerminateJobObject(job, 1);
        StopReader(answers);
        StopReader(output);
        CloseHandleOf(process);
        CloseHandleOf(job);
    }
};

void HelperProcess::ChannelsDeleter::operator()(Channels* channels) const {
    delete channels;
}

HelperProcess::~HelperProcess() {
    if (m_pid > 0) {
        Kill();
        Reap(0);
    }
    CloseChannels();
}

void HelperProcess::CloseChannels() {
    m_channels.reset();
}

bool HelperProcess::Start(const std::string& executable, const std::vector<std::string>& arguments,
                          std::uint64_t dataLimitBytes, std::string* error,
                          const std::vector<std::string>* /*environment*/) {
    std::string program = executable;
    if (!EndsWithExe(program) &&
        ::GetFileAttributesW(WindowsPath(program).c_str()) == INVALID_FILE_ATTRIBUTES) {
        program += ".exe";
    }
    const std::wstring application = WindowsPath(program);
    const DWORD attributes = ::GetFileAttributesW(application.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = "cannot run " + program + ": " +
                 SystemErrorText(attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError()
                                                                       : ERROR_ACCESS_DENIED);
        return false;
    }
    std::wstring commandLine = Quoted(application);
    for (const std::string& argument : arguments)
        commandLine += L" " + Quoted(WideFromUtf8(argument));

    std::unique_ptr<Channels, ChannelsDeleter> channels(new Channels);
    // The job: its processes end with it (and with the program, which holds its only handle),
    // a crash shows no box, and the memory limit stands for the data limit.
    channels->job = ::CreateJobObjectW(nullptr, nullptr);
    if (channels->job == nullptr) {
        *error = "cannot start the helper: " + SystemErrorText(::GetLastError());
        return false;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (dataLimitBytes > 0) {
        limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        limits.ProcessMemoryLimit = static_cast<SIZE_T>(dataLimitBytes);
    }
    ::SetInformationJobObject(channels->job, JobObjectExtendedLimitInformation, &limits,
                              sizeof limits);

    std::lock_guard<std::mutex> startLock(StartMutex());
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr, childErr = nullptr;
    const bool piped = ::CreatePipe(&childIn, &channels->requests, &inheritable, 0) &&
                       ::CreatePipe(&channels->answers.pipe, &childOut, &inheritable, 0) &&
                       ::CreatePipe(&channels->output.pipe, &childErr, &inheritable, 0);
    // The program's ends stay in the program.
    for (HANDLE own : {channels->requests, channels->answers.pipe, channels->output.pipe}) {
        if (own != nullptr) ::SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
    }
    if (!piped) {
        *error = "cannot make a pipe: " + SystemErrorText(::GetLastError());
        for (HANDLE* child : {&childIn, &childOut, &childErr}) CloseHandleOf(*child);
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = childErr;
    PROCESS_INFORMATION info{};
    const bool started =
        ::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, nullptr,
                         nullptr, &startup, &info) != 0;
    const DWORD startError = ::GetLastError();
    for (HANDLE* child : {&childIn, &childOut, &childErr}) CloseHandleOf(*child);
    if (!started) {
        *error = "cannot start the helper: " + SystemErrorText(startError);
        return false;
    }
    ::AssignProcessToJobObject(channels->job, info.hProcess);
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    channels->process = info.hProcess;
    if (!channels->StartReader(channels->answerReader)) {
        *error = "cannot start the helper: " + SystemErrorText(::GetLastError());
        return false;  // the channels' end ends the job, and the helper with it
    }
    m_channels = std::move(channels);
    m_pid = static_cast<int>(info.dwProcessId);
    m_ended = false;
    return true;
}

bool HelperProcess::Send(const void* data, std::size_t size) {
    if (!m_channels || m_channels->requests == nullptr) return false;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD put = 0;
        if (!::WriteFile(m_channels->requests, bytes, chunk, &put, nullptr) || put == 0) {
            return false;
        }
        bytes += put;
        size -= put;
    }
    return true;
}

HelperProcess::Events HelperProcess::Wait(int timeoutMs, std::string* output) {
    Events events;
    if (!m_channels) return events;
    Channels& channels = *m_channels;
    {
        std::unique_lock<std::mutex> lock(channels.mutex);
        channels.arrived.wait_for(
            lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
            [&] { return !channels.answers.bytes.empty() || channels.answers.closed; });
        events.answer = !channels.answers.bytes.empty();
        events.answerClosed = channels.answers.closed && channels.answers.bytes.empty();
    }
    channels.DrainOutput(output);
    return events;
}

long HelperProcess::ReadAnswer(void* data, std::size_t size) {
    if (!m_channels) return -1;
    std::lock_guard<std::mutex> lock(m_channels->mutex);
    std::string& waiting = m_channels->answers.bytes;
    if (waiting.empty()) return m_channels->answers.closed ? -1 : 0;
    const std::size_t count = std::min(size, waiting.size());
    std::memcpy(data, waiting.data(), count);
    waiting.erase(0, count);
    return static_cast<long>(count);
}

void HelperProcess::ReadOutput(std::string* output) {
    if (m_channels) m_channels->DrainOutput(output);
}

namespace {

HelperEnd EndOf(HANDLE process) {
    HelperEnd end;
    DWORD code = 0;
    if (::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE) {
        end.known = true;
        end.exitCode = static_cast<int>(code);
    }
    return end;
}

}  // namespace

bool HelperProcess::Ended() {
    if (m_pid <= 0 || m_ended || !m_channels) return m_ended;
    if (::WaitForSingleObject(m_channels->process, 0) == WAIT_OBJECT_0) {
        m_ended = true;
        m_end = EndOf(m_channels->process);
    }
    return m_ended;
}

void HelperProcess::Kill() {
    if (m_pid > 0 && m_channels) ::TerminateJobObject(m_channels->job, 1);
}

HelperEnd HelperProcess::Reap(int graceMs) {
    HelperEnd end;
    if (m_pid <= 0 || !m_channels) return end;
    if (m_ended) {
        end = m_end;
    } else {
        if (::WaitForSingleObject(m_channels->process, graceMs < 0 ? 0 : graceMs) !=
            WAIT_OBJECT_0) {
            Kill();
            ::WaitForSingleObject(m_channels->process, INFINITE);
            end = EndOf(m_channels->process);
            end.killed = true;
        } else {
            end = EndOf(m_channels->process);
        }
    }
    m_pid = 0;
    m_ended = false;
    CloseChannels();  // ends whatever the library started in the job too
    return end;
}

bool HelperProcess::DebuggerAttached() const {
    BOOL present = FALSE;
    return m_pid > 0 && m_channels && ::CheckRemoteDebuggerPresent(m_channels->process, &present) &&
           present;
}

// Windows ends a process with an exception code, not a signal: the C run-time's numbers beyond
// the C standard's are only numbers.
std::string SystemSignalName(int signal) {
    return "signal " + std::to_string(signal);
}

std::string SystemSignalMeaning(int) {
    return std::string();
}

}  // namespace velmor
