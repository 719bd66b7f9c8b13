// What app_paths.cpp asks of the system: app_paths_posix.cpp and app_paths_win.cpp answer.
// Paths are UTF-8 with '/' between the parts.
#pragma once

#include <string>

namespace velmor::app_paths_system {

// The running executable's full path; empty when it cannot be read.
std::string ExecutablePath();
// The current directory; false when it cannot be read.
bool CurrentDirectory(std::string* directory);
// The user's configuration directory; empty when unknown.
std::string UserConfigDirectory();
// Whether the settings file can be made in `directory` (ending with '/').
bool CanCreateIn(const std::string& directory);
// Makes `directory` and the directories above it that are missing; a failure shows later, when
// the settings file is read or written.
void MakeDirectories(const std::string& directory);

}  // namespace velmor::app_paths_system
