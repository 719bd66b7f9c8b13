// The helper's system calls on Windows (and under wine).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "core/app/windows_text.h"
#include "core/host/host_platform.h"
#include "core/host/host_protocol.h"
#include "core/host/record_fences.h"

namespace velmor {

namespace {

// What an abort() ends with: the code Windows gives a program that ends that way.
constexpr DWORD kFatalAppExit = 0x40000015;
// Stack kept for the exception filter when a library call overflows the stack.
constexpr ULONG kStackForFilter = 64 * 1024;

HostStatus* g_status = nullptr;

// Writes the exception into the status block, sealed, and ends the helper with nothing else
// run: no debugger, no error box, no atexit handler that could hang in a library's broken
// state.
[[noreturn]] void EndWithException(DWORD code, const void* address) {
    if (g_status != nullptr) ReportException(code, reinterpret_cast<std::uintptr_t>(address));
    ::TerminateProcess(::GetCurrentProcess(), code);
    for (;;) ::ExitProcess(code);
}

LONG WINAPI UnhandledException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info != nullptr ? info->ExceptionRecord : nullptr;
    if (record == nullptr) EndWithException(EXCEPTION_NONCONTINUABLE_EXCEPTION, nullptr);
    EndWithException(record->ExceptionCode, record->ExceptionAddress);
}

// A stack overflow leaves too little stack to reach the unhandled-exception filter (wine then
// ends the process without a word): it is taken first, before any handler of the library's,
// which could not have carried on with the exhausted stack either.
//
// A read or write of a fence beside a library's records is taken first as well: the access
// violation's second parameter is the address touched, its first whether it was a read (0), a
// write (1) or an instruction fetch (8).
LONG WINAPI FirstChanceException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info != nullptr ? info->ExceptionRecord : nullptr;
    if (record != nullptr && record->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        EndWithException(record->ExceptionCode, record->ExceptionAddress);
    }
    FenceHit hit;
    if (record != nullptr && record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
        record->NumberParameters >= 2 &&
        FindFence(static_cast<std::uintptr_t>(record->ExceptionInformation[1]), &hit)) {
        const ULONG_PTR kind = record->ExceptionInformation[0];
        ReportRecordOverrun(hit, kind == 1   ? kAccessWrite
                                 : kind == 0 ? kAccessRead
                                             : kAccessUnknown);
        EndWithException(record->ExceptionCode, record->ExceptionAddress);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void Aborted(int) {
    EndWithException(kFatalAppExit, nullptr);
}

bool DuplicateOwn(HANDLE handle, HANDLE* copy) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    const HANDLE process = ::GetCurrentProcess();
    return ::DuplicateHandle(process, handle, process, copy, 0, FALSE, DUPLICATE_SAME_ACCESS) != 0;
}

}  // namespace

bool TakeProtocolStreams(HostHandle* requests, HostHandle* answers, std::string* error) {
    HANDLE in = nullptr, out = nullptr;
    if (!DuplicateOwn(::GetStdHandle(STD_INPUT_HANDLE), &in) ||
        !DuplicateOwn(::GetStdHandle(STD_OUTPUT_HANDLE), &out)) {
        *error = "cannot set up the protocol streams: " + SystemErrorText(::GetLastError());
        return false;
    }
    // The C run-time's descriptors 0 and 1 and the system's standard handles alike: standard
    // input reads nothing, standard output writes where standard error does. A library whose
    // own run-time starts later (when it is loaded) takes its streams from the system's handles.
    const int null = ::_open("NUL", _O_RDONLY | _O_BINARY);
    if (null < 0 || ::_dup2(null, 0) != 0 || ::_dup2(2, 1) != 0) {
        *error = "cannot set up the protocol streams: the standard streams cannot be replaced";
        return false;
    }
    ::_close(null);
    ::SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(::_get_osfhandle(0)));
    ::SetStdHandle(STD_OUTPUT_HANDLE, ::GetStdHandle(STD_ERROR_HANDLE));
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    *requests = reinterpret_cast<HostHandle>(in);
    *answers = reinterpret_cast<HostHandle>(out);
    return true;
}

void PrepareHelperProcess() {
    // A library that fails to load a dependency, or crashes, must not wait on a box nobody sees.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

void ReportUnhandledExceptions(HostStatus* status) {
    g_status = status;
    ULONG guarantee = kStackForFilter;
    ::SetThreadStackGuarantee(&guarantee);
    ::SetUnhandledExceptionFilter(UnhandledException);
    ::AddVectoredExceptionHandler(1, FirstChanceException);
    std::signal(SIGABRT, Aborted);
}

std::size_t PageBytes() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    return info.dwPageSize > 0 ? info.dwPageSize : 4096;
}

void* ReservePages(std::size_t bytes) {
    return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
}

bool OpenPages(void* at, std::size_t bytes) {
    DWORD previous = 0;
    return ::VirtualProtect(at, bytes, PAGE_READWRITE, &previous) != 0;
}

void ReleasePages(void* at, std::size_t /*bytes*/) {
    ::VirtualFree(at, 0, MEM_RELEASE);
}

// The vectored handler of ReportUnhandledExceptions looks at fences already.
void CatchFenceFaults() {}

void EndWithRecordOverrun() {
    EndWithException(EXCEPTION_ACCESS_VIOLATION, nullptr);
}

namespace {

// Moves `size` bytes through `transfer` (ReadFile or WriteFile on the handle), in pieces of at
// most 1 GiB, as a DWORD counts them. False when a piece fails or moves nothing.
template <class Byte, class Transfer>
bool TransferExact(Byte* bytes, std::size_t size, Transfer transfer) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD moved = 0;
        if (!transfer(bytes, chunk, &moved) || moved == 0) return false;
        bytes += moved;
        size -= moved;
    }
    return true;
}

}  // namespace

bool ReadExact(HostHandle handle, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    return TransferExact(bytes, size, [handle](char* at, DWORD n, DWORD* got) {
        return ::ReadFile(reinterpret_cast<HANDLE>(handle), at, n, got, nullptr) != 0;
    });
}

bool WriteExact(HostHandle handle, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    return TransferExact(bytes, size, [handle](const char* at, DWORD n, DWORD* put) {
        return ::WriteFile(reinterpret_cast<HANDLE>(handle), at, n, put, nullptr) != 0;
    });
}

std::uint32_t CurrentProcessId() {
    return static_cast<std::uint32_t>(::GetCurrentProcessId());
}

}  // namespace velmor
