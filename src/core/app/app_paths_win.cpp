// The application paths on Windows: the executable from GetModuleFileNameW, the user's
// configuration folder from %APPDATA%. Paths are UTF-8 with '/' between the parts, which the
// system's wide functions take as they take '\'.
#include <windows.h>

#include <cwchar>
#include <filesystem>
#include <system_error>

#include "core/app/app_paths.h"
#include "core/app/windows_text.h"

namespace velmor {

namespace {

constexpr const char* kSettingsName = "Velmor.ini";

std::string ForwardSlashes(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

// Whether a file can be made in `directory`: tried with a file that goes when it is closed (the
// folder's read-only flag says nothing about that on Windows).
bool CanCreateIn(const std::string& directory) {
    const std::wstring probe = WindowsPath(directory + "Velmor.ini.probe");
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

// The user's configuration folder (%APPDATA%); empty when unknown.
std::string UserConfigDirectory() {
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == L'\0') return {};
    return ForwardSlashes(Utf8FromWide(appData));
}

}  // namespace

std::string ExecutableDirectory() {
    std::wstring executable(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, executable.data(), static_cast<DWORD>(executable.size()));
        if (length == 0) break;
        if (length < executable.size()) {
            executable.resize(length);
            const std::string path = ForwardSlashes(Utf8FromWide(executable));
            return path.substr(0, path.rfind('/') + 1);
        }
        if (executable.size() >= (std::size_t(1) << 16)) break;
        executable.resize(executable.size() * 2);  // cut: try again with more room
    }
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? std::string("./") : WithSlash(ForwardSlashes(Utf8FromWide(current.wstring())));
}

std::string ChooseSettingsPath(const std::string& executableDirectory,
                               const std::string& configDirectory) {
    const std::string directory = WithSlash(executableDirectory);
    if (configDirectory.empty() || CanCreateIn(directory)) return directory + kSettingsName;
    const std::string velmorDirectory = WithSlash(configDirectory) + "Velmor";
    std::error_code error;
    std::filesystem::create_directories(WindowsPath(velmorDirectory), error);
    // Even when the folder could not be made the path is returned: reads then find no file and
    // give their defaults, writes fail quietly.
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
