// The application paths on Linux: the executable from /proc/self/exe, the user's configuration
// directory from $XDG_CONFIG_HOME or the home directory.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/app/app_paths_system.h"

namespace velmor::app_paths_system {

namespace {

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

}  // namespace

std::string ExecutablePath() {
    std::string executable;
    if (ReadLink("/proc/self/exe", &executable) && !executable.empty() && executable[0] == '/')
        return executable;
    return {};
}

bool CurrentDirectory(std::string* directory) {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    if (error) return false;
    *directory = current.string();
    return true;
}

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
    if (home.back() != '/') home += '/';
    return home + ".config";
}

bool CanCreateIn(const std::string& directory) {
    return ::access(directory.c_str(), W_OK) == 0;
}

void MakeDirectories(const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
}

}  // namespace velmor::app_paths_system
