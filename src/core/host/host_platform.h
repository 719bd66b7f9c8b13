// The few system calls the helper process needs, kept apart from its request loop so that a
// build for another system replaces this file pair only. Handles are the system's descriptors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor {

struct HostStatus;

using HostHandle = std::intptr_t;

// Takes the protocol's channels off the standard streams: requests keep arriving on what was
// standard input, answers leave on what was standard output, both through private handles;
// standard input then reads nothing and standard output goes where standard error goes (the
// program's output pipe), so whatever the library prints can never mix into an answer. Both
// standard streams are made unbuffered. False with *error set when that fails.
bool TakeProtocolStreams(HostHandle* requests, HostHandle* answers, std::string* error);

// Lets a debugger attach to the helper, and ends the helper when its program ends. On Windows:
// no error boxes, whatever the library does.
void PrepareHelperProcess();

// On Windows, an exception nobody handles (or an abort) writes its code and address into
// `status` and ends the helper at once with the code as its exit status, instead of the system's
// crash handling (under wine: its debugger). On Linux the signal that ends the helper tells as
// much, and this does nothing.
void ReportUnhandledExceptions(HostStatus* status);

// Pages for fenced records (record_fences.h): ReservePages gives `bytes` (whole pages) that can
// be neither read nor written, OpenPages makes a part of them readable and writable.
std::size_t PageBytes();
void* ReservePages(std::size_t bytes);
bool OpenPages(void* at, std::size_t bytes);
void ReleasePages(void* at, std::size_t bytes);

// From now on a read or write of a fence ends the helper as the system ends a process that
// touches memory it may not (SIGSEGV; on Windows the access violation), with the overrun
// reported (ReportRecordOverrun) first. Any other such fault ends the helper as before.
void CatchFenceFaults();
// Ends the helper after a reported overrun that no fault showed (the pattern before a record
// found changed), as CatchFenceFaults ends it.
[[noreturn]] void EndWithRecordOverrun();

// Reads exactly `size` bytes; false at the end of the stream or on an error.
bool ReadExact(HostHandle handle, void* data, std::size_t size);
// Writes all `size` bytes; false when the reader is gone.
bool WriteExact(HostHandle handle, const void* data, std::size_t size);

std::uint32_t CurrentProcessId();

}  // namespace velmor
