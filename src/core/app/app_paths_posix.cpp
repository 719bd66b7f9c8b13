// The application paths on Linux.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/app/app_paths.h"

namespace velmor {

namespace {

constexpr const char* kSettingsName = "Velmor.ini";

// The target of a symbolic link, however long.
bool ReadLink(const char* link, std::string* target) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink(link, buffer.data(), buffer.size());
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            target->assign(buffer.data(), static_cast<std::size_t>(length));
            return true;
        }
        if (buffer.size() >= (std::size_t(1) << 20)) return false;
        buffer.resize(buffer.size() * 2);  // may have been cut: try again with more room
    }
}

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

// The user's configuration directory; empty when unknown.
std::string UserConfigDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return config;
    std::string home;
    const char* homeVariable = std::getenv("HOME");
    if (homeVariable != nullptr && homeVariable[0] == '/') {
        home = homeVariable;
    } else if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        home = entry->pw_dir;
    }
    if (home.empty()) return {};
    return WithSlash(home) + ".config";
}

}  // namespace

std::string ExecutableDirectory() {
    std::string executable;
    if (ReadLink("/proc/self/exe", &executable) && !executable.empty() && executable[0] == '/') {
        return executable.substr(0, executable.rfind('/') + 1);
    }
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? std::string("./") : WithSlash(current.string());
}

std::string ChooseSettingsPath(const std::string& executableDirectory,
                               const std::string& configDirectory) {
    const std::string directory = WithSlash(executableDirectory);
    if (configDirectory.empty() || ::access(directory.c_str(), W_OK) == 0)
        return directory + kSettingsName;
    const std::string velmorDirectory = WithSlash(configDirectory) + "Velmor";
    std::error_code error;
    std::filesystem::create_directories(velmorDirectory, error);
    // Even when the directory could not be made the path is returned: reads then find no file
    // and give their defaults, writes fail quietly.
    return velmorDirectory + "/" + kSettingsName;
}

const AppPaths& ApplicationPaths() {
    static const AppPaths paths = [] {
        AppPaths resolved;
        resolved.executableDirectory = ExecutableDirectory();
        resolved.settingsPath =
            ChooseSettingsPath(resolved.executableDirectory, UserConfigDirectory());
        return resolved;
    }();
    return paths;
}

}  // namespace velmor
