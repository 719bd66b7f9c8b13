// DLLs through LoadLibraryW (Windows, and wine). The Windows loader calls a DLL's DllMain itself
// and counts a DLL's loads, so nothing here calls DllMain.
#include <windows.h>

#include "core/app/windows_text.h"
#include "core/surface/dynamic_library.h"

namespace velmor {

namespace {

// The module an address lies in, or nullptr.
HMODULE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!::GetModuleHandleExW(flags, static_cast<LPCWSTR>(address), &module)) return nullptr;
    return module;
}

// The file must be a file: opening a named pipe or a device picked by mistake would wait.
bool IsRegularFile(const std::wstring& path, std::string* error) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = SystemErrorText(::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular = ::GetFileType(file) == FILE_TYPE_DISK &&
                         ::GetFileInformationByHandle(file, &info) != 0 &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    ::CloseHandle(file);
    if (!regular) *error = "not a regular file";
    return regular;
}

}  // namespace

bool DynamicLibrary::Load(const std::string& path) {
    // LoadLibrary searches the system's folders for a bare file name; the user chose a file, so
    // the name is made a full path (a name alone: the file in the working directory). With a
    // full path, the DLL's own folder is searched first for the DLLs it depends on.
    const std::wstring given = WindowsPath(path);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()),
                                                full.data(), nullptr);
        if (length == 0) {
            m_error = SystemErrorText(::GetLastError());
            return false;
        }
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length + 1);
    }
    if (!IsRegularFile(full, &m_error)) return false;
    HMODULE module = ::LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        const DWORD code = ::GetLastError();
        m_error = code == ERROR_DLL_INIT_FAILED ? "its DllMain answered FALSE to DLL_PROCESS_ATTACH"
                                                : SystemErrorText(code);
        return false;
    }
    m_handle = module;
    return true;
}

void DynamicLibrary::Close() {
    if (m_handle != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(m_handle));
        m_handle = nullptr;
    }
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

void* DynamicLibrary::OwnSymbol(const char* name) const {
    // An export forwarded to another DLL resolves into that DLL: it is not the library's own.
    void* address = Symbol(name);
    if (address == nullptr || ModuleOf(address) != static_cast<HMODULE>(m_handle)) return nullptr;
    return address;
}

void* DynamicLibrary::SymbolByOrdinal(int ordinal) const {
    if (m_handle == nullptr || ordinal <= 0 || ordinal > 0xFFFF) return nullptr;
    void* address = reinterpret_cast<void*>(
        ::GetProcAddress(static_cast<HMODULE>(m_handle), MAKEINTRESOURCEA(ordinal)));
    if (address == nullptr || ModuleOf(address) != static_cast<HMODULE>(m_handle)) return nullptr;
    return address;
}

}  // namespace velmor
