// What a surface library did when it stopped answering: the record the program shows ("Library
// faulted: SIGSEGV in sag"), the command line prints and a later reload clears.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ShortestNumberText: a fault's numbers (the time limit, a call's inputs) are written so, here
// and where a window shows them.
#include "core/app/number_text.h"

namespace velmor {

enum class LibraryFaultKind {
    kNone,
    kSignal,     // the helper was ended by a signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, ...)
    kExit,       // the helper ended itself (exit or _exit inside a request), `code` its status
    kTimeout,    // no library call finished within the time limit; the helper was stopped
    kStopped,    // the user stopped the waiting helper
    kHost,       // the helper broke the protocol or could not be reached; `detail` says how
    kException,  // a Windows helper met an exception the library did not handle
    // The library read or wrote a fence beside one of its records (or wrote into the bytes
    // before one): `record`, `offset`, `recordBytes` and `access` say where.
    kRecordOverrun,
    // What the helper wrote into the shared area changed before the program read it: the
    // library wrote there while it ran. None of the request's answers is used.
    kSharedMemory,
    // The helper's channel to the program broke (closed, or bytes that are no answer);
    // `detail` says how.
    kConnection,
};

// The records a fence guards, as a fault names them.
enum class FaultRecord { kNone, kUserData, kFixedData };
enum class FaultAccess { kUnknown, kRead, kWrite };

struct LibraryFault {
    LibraryFaultKind kind = LibraryFaultKind::kNone;
    int signal = 0;                   // kSignal: the signal's number
    std::string signalName;           // kSignal: "SIGSEGV"
    std::string signalMeaning;        // kSignal: "segmentation fault: invalid memory access"
    int code = 0;                     // kExit: the exit status
    std::uint32_t exceptionCode = 0;  // kException: 0xC0000005, ...
    std::uint64_t exceptionAddress = 0;
    double limitSeconds = 0;  // kTimeout: the limit that ran out
    std::string detail;       // kHost, kConnection: what went wrong
    // kSignal: who sent the signal that ended the helper, when it came from outside ("another
    // process"); empty for a signal the library's own fault raised.
    std::string killedBy;
    // kRecordOverrun: the record, the byte touched (from its first byte; below 0 before it), the
    // record's size and the access.
    FaultRecord record = FaultRecord::kNone;
    long long offset = 0;
    unsigned recordBytes = 0;
    FaultAccess access = FaultAccess::kUnknown;
    // False when the call's inputs could not be read back (the library overwrote them): the
    // request is then the one the program sent, and no inputs are named.
    bool inputsKnown = true;
    std::size_t batchPoints = 0;  // the points of the batch the fault ended (0: a single call)
    // The request the library had when it faulted, and that call's inputs.
    int type = 0, numb = 0;
    std::string requestName;  // SurfaceRequestName(type, numb)
    double x = 0, y = 0, z = 0, l = 0, m = 0, n = 0;

    bool Faulted() const { return kind != LibraryFaultKind::kNone; }
    // "signal", "exit", "timeout", "stopped", "host", "exception", "record_overrun",
    // "shared_memory" or "connection".
    const char* KindText() const;
    // What happened: "SIGSEGV (segmentation fault: invalid memory access)", "exited with code 3",
    // "EXCEPTION_ACCESS_VIOLATION (access violation: invalid memory access)",
    // "did not answer within 60 s", "stopped by the user", "SIGKILL (killed by another
    // process)", "wrote past the end of USER_DATA (byte 200 of a 192-byte record)", "the library
    // overwrote Velmor's shared memory", "lost its connection to Velmor", or the host's detail.
    std::string What() const;
    // One line: what happened, the request by name with type and numb, and its inputs, e.g.
    // "SIGSEGV (segmentation fault: invalid memory access) in sag (type 3, numb 0) at x 1.5,
    // y -2, z 0, l 0, m 0, n 1"; a fault while loading: "... in library load".
    std::string Describe() const;
    // For a status pane: "SIGSEGV in sag", "exit 3 in sag", "timeout in sag",
    // "EXCEPTION_ACCESS_VIOLATION in sag", "record overrun in sag".
    std::string Short() const;
};

// "USER_DATA", "FIXED_DATA"; "read", "write", "unknown".
const char* FaultRecordName(FaultRecord record);
const char* FaultAccessName(FaultAccess access);

// "EXCEPTION_ACCESS_VIOLATION" and "access violation: invalid memory access" for the exception
// codes of Windows; "exception 0x........" and "" for codes without a name.
std::string ExceptionName(std::uint32_t code);
std::string ExceptionMeaning(std::uint32_t code);

}  // namespace velmor
