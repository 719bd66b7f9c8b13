// What a surface library in the helper may do to other processes. By default it starts none
// (fork, vfork, clone without CLONE_THREAD, clone3 and execve fail, so system() and popen()
// fail as they do on a full process table, and threads still run), sends no signal to any
// process but the helper itself and its threads, and neither traces nor reads or writes
// another process's memory. The first refusal in a request is written to the library's output.
// With LIBRARY_HOST ALLOW_PROCESSES=1 the library may start processes, at most
// kMaxLibraryProcesses at once; they are ended with the helper.
//
// Linux: a seccomp filter (process_guard_posix.cpp). Windows: a job object of one active
// process (process_guard_win.cpp), which is all a Windows helper under wine can do.
#pragma once

#include <string>
#include <vector>

namespace velmor {

// Installs the guard; called once, before the library is loaded. False with *error when the
// system refuses it (the helper goes on without it and the error reaches the library's output).
bool GuardProcesses(bool allowProcesses, std::string* error);

// A request begins: its first refusal is written to the library's output.
void NoteGuardedRequest();

// The processes the library started, ended (before the helper ends or unloads the library).
void EndLibraryProcesses();

// Processes the helper took over from a parent the library started that has ended, reaped once
// they have ended (between requests); the library's own children are left to the library.
void ReapAdoptedProcesses();

#ifndef _WIN32
// Every process below `pid` (its children, theirs, ...), zombies included, from /proc.
std::vector<int> ProcessDescendants(int pid);
#endif

// The refusals' texts, as the library's output shows them.
inline constexpr const char* kProcessRefusedText =
    "the library tried to start a process; refused (LIBRARY_HOST ALLOW_PROCESSES=0)";
inline constexpr const char* kProcessLimitText =
    "the library tried to start more than 64 processes at once; refused (EAGAIN)";
inline constexpr const char* kSignalRefusedText =
    "the library tried to send a signal to another process; refused";
inline constexpr const char* kTraceRefusedText =
    "the library tried to trace or reach into another process's memory; refused";

}  // namespace velmor
