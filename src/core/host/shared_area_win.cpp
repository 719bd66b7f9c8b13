// The shared area on Windows: a temporary file mapped with CreateFileMappingW / MapViewOfFile.
// Under wine a file of the Linux program's (a POSIX path, seen through drive Z:) is mapped the
// same way and shares its pages with the program's own mapping.
#include <windows.h>

#include "core/app/windows_text.h"
#include "core/host/shared_area.h"

namespace velmor {

namespace {

std::string SystemReason(const std::string& what) {
    return what + ": " + SystemErrorText(::GetLastError());
}

// Maps `size` bytes of the open file; the mapping keeps the file's pages alive after the handles
// are closed. The view, or nullptr with *error set.
void* MapFile(HANDLE file, std::size_t size, std::string* error) {
    const auto bytes = static_cast<unsigned long long>(size);
    HANDLE mapping =
        ::CreateFileMappingW(file, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                             static_cast<DWORD>(bytes & 0xFFFFFFFFu), nullptr);
    if (mapping == nullptr) {
        *error = SystemReason("cannot map the shared area");
        return nullptr;
    }
    void* view = ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
    if (view == nullptr) *error = SystemReason("cannot map the shared area");
    ::CloseHandle(mapping);
    return view;
}

}  // namespace

void* SharedAreaFile::CreateMapped(std::size_t size, std::string* path, std::string* error) {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0 ||
        ::GetTempFileNameW(folder, L"vmh", 0, name) == 0) {
        *error = SystemReason("cannot create the shared area's file");
        return nullptr;
    }
    *path = Utf8FromWide(name);
    HANDLE file = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = SystemReason("cannot create " + *path);
        ::DeleteFileW(name);
        return nullptr;
    }
    // The mapping sizes the file; its new bytes read as zero.
    void* data = MapFile(file, size, error);
    ::CloseHandle(file);
    if (data == nullptr) ::DeleteFileW(name);
    return data;
}

void* SharedAreaFile::OpenMapped(const std::string& path, std::size_t size, std::string* error) {
    const std::wstring name = WindowsPath(path);
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = SystemReason("cannot open " + path);
        return nullptr;
    }
    LARGE_INTEGER length{};
    void* data = nullptr;
    if (::GetFileType(file) != FILE_TYPE_DISK || ::GetFileSizeEx(file, &length) == 0 ||
        static_cast<unsigned long long>(length.QuadPart) < size) {
        *error = path + ": not a shared area of " + std::to_string(size) + " bytes";
    } else {
        data = MapFile(file, size, error);
    }
    ::CloseHandle(file);
    return data;
}

void SharedAreaFile::Unmap(void* data, std::size_t) {
    ::UnmapViewOfFile(data);
}

bool SharedAreaFile::RemoveFile(const std::string& path) {
    // Windows (unlike wine) refuses to delete a file while a view of it is mapped: the name then
    // stays until Close, which unmaps first and tries again.
    return ::DeleteFileW(WideFromUtf8(path).c_str()) != 0;
}

}  // namespace velmor
