// The application paths on Windows: the executable from GetModuleFileNameW, the user's
// configuration folder from %APPDATA%. Paths are UTF-8 with '/' between the parts, which the
// system's wide functions take as they take '\'.
#include <windows.h>

#include <cwchar>
#include <filesystem>
#include <system_error>

#include "core/app/app_paths_system.h"
#include "core/app/windows_text.h"

namespace velmor::app_paths_system {

namespace {

std::string ForwardSlashes(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

}  // namespace

std::string ExecutablePath() {
    std::wstring executable(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, executable.data(), static_cast<DWORD>(executable.size()));
        if (length == 0) return {};
        if (length < executable.size()) {
            executable.resize(length);
            return ForwardSlashes(Utf8FromWide(executable));
        }
        if (executable.size() >= (std::size_t(1) << 16)) return {};
        executable.resize(executable.size() * 2);  // cut: try again with more room
    }
}

bool CurrentDirectory(std::string* directory) {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    if (error) return false;
    *directory = ForwardSlashes(Utf8FromWide(current.wstring()));
    return true;
}

std::string UserConfigDirectory() {
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == L'\0') return {};
    return ForwardSlashes(Utf8FromWide(appData));
}

// Tried with a file that goes when it is closed (the folder's read-only flag says nothing
// about that on Windows).
bool CanCreateIn(const std::string& directory) {
    const std::wstring probe = WindowsPath(directory + "Velmor.ini.probe");
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

void MakeDirectories(const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(WindowsPath(directory), error);
}

}  // namespace velmor::app_paths_system
