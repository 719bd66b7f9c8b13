// The helper's guard against processes on Windows (and under wine): the helper puts itself into
// a job object of its own that allows one active process (the helper), or the helper and
// kMaxLibraryProcesses more with ALLOW_PROCESSES=1, and ends every process of the job when the
// helper's handle to it closes (the helper ends). A thread reads the job's messages and writes
// the first refused start of a request to the library's output.
//
// Wine (8.0) keeps a job's processes in it but does not enforce its active-process limit: the
// thread ends each new process the limit would have refused a second after the job reports it
// (ending it while it starts can leave its parent waiting forever), so such a process may run
// for up to that second (what it prints may reach the output) and the start it came from
// succeeds. What a job cannot do anywhere: refuse signals or debugging (Windows has no
// signals; a DLL can still open another process of the user with OpenProcess), and under wine a
// DLL can make Linux system calls of its own, which no Windows object sees.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "core/app/windows_text.h"
#include "core/host/host_protocol.h"
#include "core/host/process_guard.h"

namespace velmor {

namespace {

HANDLE g_job = nullptr;
std::atomic<std::uint64_t> g_request{1};
std::atomic<std::uint64_t> g_reported{0};
bool g_allowProcesses = false;

void Report(const char* text) {
    const std::uint64_t request = g_request.load();
    if (g_reported.exchange(request) == request) return;
    std::fprintf(stderr, "%s\n", text);
}

// The job's processes now, the helper among them.
DWORD ActiveProcesses() {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!::QueryInformationJobObject(g_job, JobObjectBasicAccountingInformation, &accounting,
                                     sizeof accounting, nullptr)) {
        return 0;
    }
    return accounting.ActiveProcesses;
}

// How long a process beyond the limit may run before it is ended. Wine reports a new process
// while it is still starting, and ending it then can leave the start it came from (system()
// waits for it) waiting forever; a process well past its start ends cleanly.
constexpr DWORD kStartingGraceMs = 1000;

// A process beyond the limit, waiting out its grace.
struct Starting {
    HANDLE process;
    DWORD since;
};

// Ends each process whose grace is over; forgets those that have ended.
void EndStartedProcesses(std::vector<Starting>* starting) {
    const DWORD now = ::GetTickCount();
    for (auto it = starting->begin(); it != starting->end();) {
        if (::WaitForSingleObject(it->process, 0) == WAIT_OBJECT_0) {
            ::CloseHandle(it->process);
            it = starting->erase(it);
            continue;
        }
        if (now - it->since >= kStartingGraceMs) ::TerminateProcess(it->process, 1);
        ++it;
    }
}

// Reads the job's messages: the active-process limit reached is a refused start; a new process
// beyond the limit (wine lets it start) is ended once it has started.
DWORD WINAPI WatchJob(void* port) {
    const DWORD self = ::GetCurrentProcessId();
    const DWORD limit = g_allowProcesses ? 1 + static_cast<DWORD>(kMaxLibraryProcesses) : 1;
    std::vector<Starting> starting;
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* detail = nullptr;
        const DWORD wait = starting.empty() ? INFINITE : 50;
        if (!::GetQueuedCompletionStatus(static_cast<HANDLE>(port), &message, &key, &detail,
                                         wait)) {
            if (detail != nullptr || ::GetLastError() != WAIT_TIMEOUT) return 0;
            EndStartedProcesses(&starting);
            continue;
        }
        const char* refused = g_allowProcesses ? kProcessLimitText : kProcessRefusedText;
        if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_LIMIT) Report(refused);
        const DWORD pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(detail));
        if (message == JOB_OBJECT_MSG_NEW_PROCESS && pid != self && ActiveProcesses() > limit) {
            Report(refused);
            HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
            if (process != nullptr) starting.push_back({process, ::GetTickCount()});
        }
        EndStartedProcesses(&starting);
    }
}

}  // namespace

bool GuardProcesses(bool allowProcesses, std::string* error) {
    g_allowProcesses = allowProcesses;
    g_job = ::CreateJobObjectW(nullptr, nullptr);
    if (g_job == nullptr) {
        *error = "cannot create a job object: " + SystemErrorText(::GetLastError());
        return false;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_ACTIVE_PROCESS | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    limits.BasicLimitInformation.ActiveProcessLimit =
        allowProcesses ? 1 + static_cast<DWORD>(kMaxLibraryProcesses) : 1;
    if (!::SetInformationJobObject(g_job, JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits) ||
        !::AssignProcessToJobObject(g_job, ::GetCurrentProcess())) {
        *error = "cannot limit the helper's processes: " + SystemErrorText(::GetLastError());
        return false;
    }
    HANDLE port = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (port != nullptr) {
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
        association.CompletionKey = g_job;
        association.CompletionPort = port;
        if (::SetInformationJobObject(g_job, JobObjectAssociateCompletionPortInformation,
                                      &association, sizeof association)) {
            HANDLE thread = ::CreateThread(nullptr, 64 * 1024, WatchJob, port,
                                           STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
            if (thread != nullptr) ::CloseHandle(thread);
        }
    }
    return true;
}

void NoteGuardedRequest() {
    g_request.fetch_add(1);
}

void EndLibraryProcesses() {
    if (g_job == nullptr) return;
    // The job's processes but the helper itself.
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[2 * 64];
    } ids{};
    ids.list.NumberOfAssignedProcesses = 1 + 2 * 64;
    if (!::QueryInformationJobObject(g_job, JobObjectBasicProcessIdList, &ids, sizeof ids,
                                     nullptr)) {
        return;
    }
    const DWORD self = ::GetCurrentProcessId();
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        const DWORD pid = static_cast<DWORD>(ids.list.ProcessIdList[i]);
        if (pid == self) continue;
        HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        if (process == nullptr) continue;
        ::TerminateProcess(process, 1);
        ::CloseHandle(process);
    }
}

void ReapAdoptedProcesses() {}

}  // namespace velmor
