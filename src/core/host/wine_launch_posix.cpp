// The Windows helper under wine on Linux.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/app/app_paths.h"
#include "core/host/wine_launch.h"

extern char** environ;

namespace velmor {

namespace {

// How long `wineserver -p` may take to report that its server runs (it forks the server and
// ends; one already running makes it end at once).
constexpr auto kWineServerStartLimit = std::chrono::seconds(10);

bool IsExecutableFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    std::string directories = path;
    std::size_t start = 0;
    while (start <= directories.size()) {
        std::size_t end = directories.find(':', start);
        if (end == std::string::npos) end = directories.size();
        const std::string directory = directories.substr(start, end - start);
        // An empty entry is the current folder: not looked in, as a loader found there would run
        // whatever lies where the program was started.
        if (!directory.empty() && directory[0] == '/') {
            const std::string candidate = directory + "/" + name;
            if (IsExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return {};
}

// Starts `wineserver -p SECONDS` beside `wine` for the prefix in `environment`, and waits for it
// to report (a server already running for the prefix makes it end at once). Started here rather
// than by the helper's wine, the server inherits none of the helper's pipes and limits.
void StartWineServer(const std::string& wine, const std::vector<std::string>& environment) {
    const std::string server = std::filesystem::path(wine).parent_path().string() + "/wineserver";
    if (!IsExecutableFile(server)) return;  // wine starts its own
    std::string persist = "-p" + std::to_string(kWineServerLingerSeconds);
    std::vector<std::string> words = {server, persist};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = environment;
    std::vector<char*> envp;
    for (std::string& entry : envCopy) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    const int failed =
        ::posix_spawn(&pid, server.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kWineServerStartLimit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool IsWineVariable(const char* entry) {
    for (const char* name : {"DISPLAY=", "WINEPREFIX=", "WINEDLLOVERRIDES=", "WINEDEBUG="}) {
        if (std::strncmp(entry, name, std::strlen(name)) == 0) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> DefaultWineCandidates() {
    return {"wine64", "/usr/lib/wine/wine64"};
}

std::string DefaultWindowsHelperPath() {
    return ExecutableDirectory() + kWindowsHelperExecutableName;
}

std::string FindWine(const std::vector<std::string>& candidates) {
    for (const std::string& candidate : candidates) {
        if (candidate.empty()) continue;
        if (candidate.find('/') == std::string::npos) {
            std::string found = FindOnPath(candidate);
            if (!found.empty()) return found;
        } else if (IsExecutableFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

std::string WinePrefix(const std::string& configured) {
    if (!configured.empty()) return configured;
    const char* variable = std::getenv(kWinePrefixVariable);
    if (variable != nullptr && variable[0] != '\0') return variable;
    const char* home = std::getenv("HOME");
    const std::string base = home != nullptr && home[0] == '/' ? home : "/tmp";
    return base + "/.cache/Velmor/wine";
}

std::string WindowsPathOf(const std::string& unixPath) {
    std::string path = unixPath;
    if (path.empty() || path[0] != '/') {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(unixPath, error);
        if (!error) path = absolute.string();
    }
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "Z:" + path;
}

bool PrepareWineCommand(const WineLaunch& launch, const std::vector<std::string>& helperArguments,
                        WineCommand* command, std::string* error) {
    const std::string wine =
        FindWine(launch.wineCandidates.empty() ? DefaultWineCandidates() : launch.wineCandidates);
    if (wine.empty()) {
        *error = kWineMissingText;
        return false;
    }
    const std::string helper =
        launch.helperPath.empty() ? DefaultWindowsHelperPath() : launch.helperPath;
    std::error_code missing;
    if (!std::filesystem::is_regular_file(helper, missing)) {
        *error = "the Windows helper " + helper + " is missing (the Windows build makes it)";
        return false;
    }
    const std::string prefix = WinePrefix(launch.prefix);
    std::error_code made;
    std::filesystem::create_directories(prefix, made);
    if (!made && !std::filesystem::is_directory(prefix, made) && !made) {
        made = std::make_error_code(std::errc::not_a_directory);
    }
    if (made) {
        *error = "cannot make the wine prefix " + prefix + ": " + made.message();
        return false;
    }
    command->wine = wine;
    command->arguments.clear();
    command->arguments.push_back(helper);
    command->arguments.insert(command->arguments.end(), helperArguments.begin(),
                              helperArguments.end());
    command->environment.clear();
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!IsWineVariable(*entry)) command->environment.emplace_back(*entry);
    }
    command->environment.push_back("WINEPREFIX=" + prefix);
    command->environment.push_back("WINEDLLOVERRIDES=mscoree=;mshtml=");
    command->environment.push_back("WINEDEBUG=-all");
    StartWineServer(wine, command->environment);
    return true;
}

}  // namespace velmor
