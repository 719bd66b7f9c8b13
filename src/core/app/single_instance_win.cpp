// The single-instance lock on Windows: a named mutex in the session's namespace, held open until
// the process ends, when the system drops it however the process ends. The name stands for the
// lock file's path (a folder's lock and another folder's never meet).
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "core/app/single_instance.h"
#include "core/app/windows_text.h"

namespace velmor {

namespace {

constexpr const char* kLockName = "UniqueName_Velmor";

struct HeldLocks {
    std::mutex mutex;
    std::vector<std::string> paths;
};

HeldLocks& Held() {
    static HeldLocks* held = new HeldLocks;  // never destroyed: the locks live until exit
    return *held;
}

// "Local\UniqueName_Velmor-" and a hash of the path, lower case (the folder's spelling and case
// do not matter to Windows): object names take no '\' of their own.
std::wstring MutexName(const std::string& path) {
    std::wstring wide = WideFromUtf8(path);
    ::CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (wchar_t c : wide) {
        hash = (hash ^ static_cast<std::uint16_t>(c == L'/' ? L'\\' : c)) * 1099511628211ull;
    }
    wchar_t digits[17];
    for (int i = 15; i >= 0; --i, hash >>= 4) digits[i] = L"0123456789abcdef"[hash & 15];
    digits[16] = L'\0';
    return L"Local\\UniqueName_Velmor-" + std::wstring(digits);
}

std::string DefaultDirectory() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    return length > 0 ? Utf8FromWide(std::wstring_view(folder, length)) : std::string(".");
}

}  // namespace

std::string SingleInstanceLockPath(const std::string& directory) {
    // The session's namespace is the user's own: no user id in the name.
    std::string path = directory;
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
    return path + kLockName;
}

bool AcquireSingleInstance(const std::string& directory) {
    const std::string path =
        SingleInstanceLockPath(directory.empty() ? DefaultDirectory() : directory);
    HeldLocks& held = Held();
    std::lock_guard<std::mutex> guard(held.mutex);
    for (const std::string& heldPath : held.paths) {
        if (heldPath == path) return true;
    }
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, MutexName(path).c_str());
    if (mutex == nullptr) {
        // Access denied: a copy running with other rights holds it. Anything else (the name
        // taken by another kind of object, no room): run unguarded rather than not at all.
        return ::GetLastError() != ERROR_ACCESS_DENIED;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return false;  // another copy holds it
    }
    held.paths.push_back(path);  // the handle stays open until the process ends
    return true;
}

}  // namespace velmor

namespace velmor {

// No channel on Windows yet: a second start ends without handing its argument over.
std::string SingleInstanceChannelPath(const std::string& directory) {
    return SingleInstanceLockPath(directory.empty() ? DefaultDirectory() : directory) + ".socket";
}

int ListenForSecondStarts(const std::string&) {
    return -1;
}

bool ReceiveSecondStart(int, std::string*) {
    return false;
}

bool HandToRunningCopy(const std::string&, std::string* reason, const std::string&, int) {
    *reason = "a running copy takes no files from another start on Windows";
    return false;
}

}  // namespace velmor
