// Where the program lives and where its settings file is.
#pragma once

#include <string>

namespace velmor {

struct AppPaths {
    std::string executableDirectory;  // directory of the running executable, ending with '/'
    std::string settingsPath;         // the settings file "Velmor.ini"
    // The session stored at a confirmed close: always in the user's configuration directory
    // ("last-session.ini" in its Velmor directory), empty when there is none.
    std::string lastSessionPath;
};

// Directory of the running executable with the trailing '/', from /proc/self/exe (on Windows
// GetModuleFileNameW, with '/' between the parts); the current directory when that cannot be
// read.
std::string ExecutableDirectory();

// "<executableDirectory>Velmor.ini" when that directory is writable; otherwise
// "<configDirectory>/Velmor/Velmor.ini", creating the Velmor directory when missing. The
// program passes the user's configuration directory: $XDG_CONFIG_HOME when it is an absolute
// path, else ".config" in the home directory ($HOME, else the password database); on Windows
// %APPDATA%.
std::string ChooseSettingsPath(const std::string& executableDirectory,
                               const std::string& configDirectory);

// "<configDirectory>/Velmor/last-session.ini", creating the Velmor directory when missing;
// empty when `configDirectory` is.
std::string ChooseLastSessionPath(const std::string& configDirectory);

// The paths of this process, worked out on the first call and kept.
const AppPaths& ApplicationPaths();

}  // namespace velmor
