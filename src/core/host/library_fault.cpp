#include "core/host/library_fault.h"

#include <cstdio>

#include "core/host/host_protocol.h"

namespace velmor {

namespace {

struct ExceptionText {
    std::uint32_t code;
    const char* name;
    const char* meaning;
};

constexpr ExceptionText kExceptions[] = {
    {0xC0000005u, "EXCEPTION_ACCESS_VIOLATION", "access violation: invalid memory access"},
    {0x80000002u, "EXCEPTION_DATATYPE_MISALIGNMENT", "misaligned data access"},
    {0x80000003u, "EXCEPTION_BREAKPOINT", "breakpoint reached"},
    {0xC000008Cu, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED", "array bounds exceeded"},
    {0xC000008Du, "EXCEPTION_FLT_DENORMAL_OPERAND", "floating-point denormal operand"},
    {0xC000008Eu, "EXCEPTION_FLT_DIVIDE_BY_ZERO", "floating-point division by zero"},
    {0xC000008Fu, "EXCEPTION_FLT_INEXACT_RESULT", "floating-point inexact result"},
    {0xC0000090u, "EXCEPTION_FLT_INVALID_OPERATION", "floating-point invalid operation"},
    {0xC0000091u, "EXCEPTION_FLT_OVERFLOW", "floating-point overflow"},
    {0xC0000092u, "EXCEPTION_FLT_STACK_CHECK", "floating-point stack check"},
    {0xC0000093u, "EXCEPTION_FLT_UNDERFLOW", "floating-point underflow"},
    {0xC0000094u, "EXCEPTION_INT_DIVIDE_BY_ZERO", "integer division by zero"},
    {0xC0000095u, "EXCEPTION_INT_OVERFLOW", "integer overflow"},
    {0xC0000096u, "EXCEPTION_PRIV_INSTRUCTION", "privileged instruction"},
    {0xC000001Du, "EXCEPTION_ILLEGAL_INSTRUCTION", "illegal instruction"},
    {0xC0000006u, "EXCEPTION_IN_PAGE_ERROR", "a page of memory could not be read"},
    {0xC00000FDu, "EXCEPTION_STACK_OVERFLOW", "stack overflow: endless recursion?"},
    {0xC0000409u, "STATUS_STACK_BUFFER_OVERRUN", "fail-fast: stack buffer overrun or abort"},
    {0xC0000374u, "STATUS_HEAP_CORRUPTION", "heap corruption"},
    {0xC0000017u, "STATUS_NO_MEMORY", "out of memory"},
    {0xE06D7363u, "C++ exception", "a C++ exception that no handler caught"},
};

const ExceptionText* FindException(std::uint32_t code) {
    for (const ExceptionText& e : kExceptions) {
        if (e.code == code) return &e;
    }
    return nullptr;
}

}  // namespace

std::string ExceptionName(std::uint32_t code) {
    if (const ExceptionText* e = FindException(code)) return e->name;
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "exception 0x%08X", code);
    return buffer;
}

std::string ExceptionMeaning(std::uint32_t code) {
    const ExceptionText* e = FindException(code);
    return e != nullptr ? e->meaning : "";
}

const char* FaultRecordName(FaultRecord record) {
    switch (record) {
        case FaultRecord::kUserData:
            return "USER_DATA";
        case FaultRecord::kFixedData:
            return "FIXED_DATA";
        default:
            return "a record";
    }
}

const char* FaultAccessName(FaultAccess access) {
    switch (access) {
        case FaultAccess::kRead:
            return "read";
        case FaultAccess::kWrite:
            return "write";
        default:
            return "unknown";
    }
}

const char* LibraryFault::KindText() const {
    switch (kind) {
        case LibraryFaultKind::kSignal:
            return "signal";
        case LibraryFaultKind::kExit:
            return "exit";
        case LibraryFaultKind::kTimeout:
            return "timeout";
        case LibraryFaultKind::kStopped:
            return "stopped";
        case LibraryFaultKind::kHost:
            return "host";
        case LibraryFaultKind::kException:
            return "exception";
        case LibraryFaultKind::kRecordOverrun:
            return "record_overrun";
        case LibraryFaultKind::kSharedMemory:
            return "shared_memory";
        case LibraryFaultKind::kConnection:
            return "connection";
        default:
            return "none";
    }
}

std::string LibraryFault::What() const {
    switch (kind) {
        case LibraryFaultKind::kSignal: {
            std::string meaning = signalMeaning;
            if (!killedBy.empty()) meaning += (meaning.empty() ? "by " : " by ") + killedBy;
            return meaning.empty() ? signalName : signalName + " (" + meaning + ")";
        }
        case LibraryFaultKind::kExit:
            return "exited with code " + std::to_string(code);
        case LibraryFaultKind::kTimeout:
            return "did not answer within " + ShortestNumberText(limitSeconds) + " s";
        case LibraryFaultKind::kStopped:
            return "stopped by the user";
        case LibraryFaultKind::kHost:
            return detail;
        case LibraryFaultKind::kException: {
            const std::string meaning = ExceptionMeaning(exceptionCode);
            const std::string name = ExceptionName(exceptionCode);
            return meaning.empty() ? name : name + " (" + meaning + ")";
        }
        case LibraryFaultKind::kRecordOverrun: {
            const char* how = access == FaultAccess::kRead    ? "read"
                              : access == FaultAccess::kWrite ? "wrote"
                                                              : "read or wrote";
            const char* where = offset < 0 ? "before the start of" : "past the end of";
            return std::string(how) + " " + where + " " + FaultRecordName(record) + " (byte " +
                   std::to_string(offset) + " of a " + std::to_string(recordBytes) +
                   "-byte record)";
        }
        case LibraryFaultKind::kSharedMemory:
            return "the library overwrote Velmor's shared memory";
        case LibraryFaultKind::kConnection:
            return "lost its connection to Velmor";
        default:
            return "no fault";
    }
}

std::string LibraryFault::Describe() const {
    const double inputs[] = {x, y, z, l, m, n};
    const char* names[] = {"x", "y", "z", "l", "m", "n"};
    // A load has no request records: it runs the library's constructors.
    if (type == kLoadRequestType) return What() + " in " + requestName;
    std::string text = What() + " in " + requestName + " (type " + std::to_string(type) +
                       ", numb " + std::to_string(numb) + ")";
    if (!inputsKnown) {
        if (batchPoints > 0) text += ", a batch of " + std::to_string(batchPoints) + " points";
        return text;
    }
    text += " at ";
    for (int i = 0; i < 6; ++i) {
        if (i > 0) text += ", ";
        text += std::string(names[i]) + " " + ShortestNumberText(inputs[i]);
    }
    return text;
}

std::string LibraryFault::Short() const {
    std::string what;
    switch (kind) {
        case LibraryFaultKind::kSignal:
            what = signalName;
            break;
        case LibraryFaultKind::kExit:
            what = "exit " + std::to_string(code);
            break;
        case LibraryFaultKind::kTimeout:
            what = "timeout";
            break;
        case LibraryFaultKind::kStopped:
            what = "stopped";
            break;
        case LibraryFaultKind::kException:
            what = ExceptionName(exceptionCode);
            break;
        case LibraryFaultKind::kRecordOverrun:
            what = "record overrun";
            break;
        case LibraryFaultKind::kSharedMemory:
            what = "shared memory overwritten";
            break;
        case LibraryFaultKind::kConnection:
            what = "connection lost";
            break;
        default:
            what = "fault";
            break;
    }
    return what + " in " + requestName;
}

}  // namespace velmor
