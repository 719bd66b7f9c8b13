// The application paths, the same on every system; what they ask of the system is in
// app_paths_posix.cpp and app_paths_win.cpp.
#include "core/app/app_paths.h"

#include "core/app/app_paths_system.h"

namespace velmor {

namespace {

constexpr const char* kSettingsName = "Velmor.ini";

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

}  // namespace

std::string ExecutableDirectory() {
    const std::string executable = app_paths_system::ExecutablePath();
    if (!executable.empty()) return executable.substr(0, executable.rfind('/') + 1);
    std::string current;
    return app_paths_system::CurrentDirectory(&current) ? WithSlash(current) : std::string("./");
}

std::string ChooseSettingsPath(const std::string& executableDirectory,
                               const std::string& configDirectory) {
    const std::string directory = WithSlash(executableDirectory);
    if (configDirectory.empty() || app_paths_system::CanCreateIn(directory))
        return directory + kSettingsName;
    const std::string velmorDirectory = WithSlash(configDirectory) + "Velmor";
    // Even when the directory could not be made the path is returned: reads then find no file
    // and give their defaults, writes fail quietly.
    app_paths_system::MakeDirectories(velmorDirectory);
    return velmorDirectory + "/" + kSettingsName;
}

std::string ChooseLastSessionPath(const std::string& configDirectory) {
    if (configDirectory.empty()) return {};
    const std::string velmorDirectory = WithSlash(configDirectory) + "Velmor";
    app_paths_system::MakeDirectories(velmorDirectory);
    return velmorDirectory + "/last-session.ini";
}

const AppPaths& ApplicationPaths() {
    static const AppPaths paths = [] {
        AppPaths resolved;
        resolved.executableDirectory = ExecutableDirectory();
        const std::string config = app_paths_system::UserConfigDirectory();
        resolved.settingsPath = ChooseSettingsPath(resolved.executableDirectory, config);
        resolved.lastSessionPath = ChooseLastSessionPath(config);
        return resolved;
    }();
    return paths;
}

}  // namespace velmor
