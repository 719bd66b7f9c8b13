// Only one copy of the program runs per user: the first copy takes an exclusive lock on a file
// named "UniqueName_Velmor" and holds it until the process ends, when the kernel releases it
// (also after a crash or a kill). On Windows the lock is a named mutex standing for that file.
//
// A second start hands its file argument to the copy that runs and ends: the running copy
// listens on a channel beside the lock file (on Linux a Unix-domain socket
// "UniqueName_Velmor.socket", permissions 0600, taking only its own user's connections). The
// Windows build has no channel yet: there a second start ends as it did, without handing over.
#pragma once

#include <string>

namespace velmor {

// The lock file inside `directory`. In a private runtime directory the name alone; in a shared
// temporary directory the user id is added so users do not block each other.
std::string SingleInstanceLockPath(const std::string& directory);

// Takes the lock for the life of the process. False only when another process holds it (another
// copy runs). When no lock file can be made at all the program runs unguarded (true). A second
// call in the same process for the same directory answers true again. `directory` empty: the
// lock file lies in $XDG_RUNTIME_DIR (private to the user) when it is set to an absolute
// directory, else in the temporary directory; tests pass one of their own.
bool AcquireSingleInstance(const std::string& directory = {});

// The channel's path beside the lock file of `directory`.
std::string SingleInstanceChannelPath(const std::string& directory);

// The running copy, once it holds the lock of `directory` (empty: as AcquireSingleInstance):
// starts listening. The descriptor to watch for readability (closed on exec, never blocking),
// or -1 when no channel can be made: the program then runs without one.
int ListenForSecondStarts(const std::string& directory = {});
// When that descriptor is readable: takes one waiting start's message and confirms it. True
// with its argument (empty: the start had none and only asks to raise the window). False when
// none was waiting, or it came from another user, broke off, was too long or is no message of
// ours; reading one message waits at most about two seconds.
bool ReceiveSecondStart(int listenFd, std::string* argument);

// A second start: hands `argument` (a path, best absolute, or empty) to the running copy of
// `directory` and waits until it confirms. False with the reason when no running copy listens
// (the channel is missing or refuses), or it did not confirm within `waitSeconds`.
bool HandToRunningCopy(const std::string& argument, std::string* reason,
                       const std::string& directory = {}, int waitSeconds = 30);

}  // namespace velmor
