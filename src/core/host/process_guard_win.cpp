// The helper's guard against processes on Windows (and under wine): the helper puts itself into
// a job object of its own that allows one active process (the helper), or the helper and
// kMaxLibraryProcesses more with ALLOW_PROCESSES=1, and ends every process of the job when the
// helper's handle to it closes (the helper ends). A thread reads the job's messages and writes
// the first refused start of a request to the library's output.
//
// Wine (8.0) keeps a job's processes in it but does not enforce its active-process limit: the
// thread ends each new process the limit would have refused as soon as the job reports it, so
// such a process may run for a moment (what it prints may reach the output) and the start it
// came from succeeds. What a job cannot do anywhere: refuse signals or debugging (Windows has no
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

// Reads the job's messages: the active-process limit reached is a refused start; a new process
// beyond the limit (wine lets it start) is ended at once.
DWORD WINAPI WatchJob(void* port) {
    const DWORD self = ::GetCurrentProcessId();
    const DWORD limit = g_allowProcesses ? 1 + static_cast<DWORD>(kMaxLibraryProcesses) : 1;
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* detail = nullptr;
        if (!::GetQueuedCompletionStatus(static_cast<HANDLE>(port), &message, &key, &detail,
                                         INFINITE)) {
            return 0;
        }
        const char* refused = g_allowProcesses ? kProcessLimitText : kProcessRefusedText;
        if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_LIMIT) Report(refused);
        const DWORD pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(detail));
        if (message == JOB_OBJECT_MSG_NEW_PROCESS && pid != self && ActiveProcesses() > limit) {
            HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
            if (process != nullptr) {
                ::TerminateProcess(process, 1);
                ::CloseHandle(process);
            }
            Report(refused);
        }
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
