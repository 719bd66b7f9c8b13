// Only one copy of the program runs per user: the first copy takes an exclusive lock on a file
// named "UniqueName_Velmor" and holds it until the process ends, when the kernel releases it
// (also after a crash or a kill). On Windows the lock is a named mutex standing for that file.
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

}  // namespace velmor
