// Regular files on Windows: CreateFileW tells a file from a device, a pipe or a folder before
// the C run-time descriptor the callers read is made from its handle. A replacing write renames
// its temporary file over the target with MoveFileExW.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "core/app/regular_file.h"
#include "core/app/windows_text.h"

namespace velmor {

namespace {

void SetReason(std::string* reason, const char* text) {
    if (reason) *reason = text;
}

// The C run-time's error number for a system error, so that messages read as on Linux ("No such
// file or directory") and callers can test errno.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

// Sets errno and the reason from the system's last error; returns the error number.
int FailWithLastError(std::string* reason) {
    const int error = ErrnoOf(::GetLastError());
    SetReason(reason, std::strerror(error));
    errno = error;
    return error;
}

// What lies at `path`: 0 nothing, 1 a regular file, 2 anything else (a folder, a device).
int Kind(const std::wstring& path, DWORD* error) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = ::GetLastError();
        return 0;
    }
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? 2 : 1;
}

// The folder part of `path` ("." when it has none), for a new file's check.
std::wstring Folder(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    return path.substr(0, slash + 1);
}

bool ResolveTarget(const std::string& path, std::wstring* target, std::string* reason) {
    *target = WindowsPath(path);
    DWORD error = 0;
    switch (Kind(*target, &error)) {
        case 0: {
            if (error != ERROR_FILE_NOT_FOUND) {
                ::SetLastError(error);
                FailWithLastError(reason);
                return false;
            }
            // A new file: its folder must be there.
            DWORD folderError = 0;
            if (Kind(Folder(*target), &folderError) != 2) {
                SetReason(reason, std::strerror(ENOENT));
                return false;
            }
            return true;
        }
        case 1: {
            const DWORD attributes = ::GetFileAttributesW(target->c_str());
            if (attributes & FILE_ATTRIBUTE_READONLY) {
                SetReason(reason, std::strerror(EACCES));
                return false;
            }
            return true;
        }
        default:
            SetReason(reason, kNotRegularFile);
            return false;
    }
}

}  // namespace

int OpenRegularFile(const std::string& path, long long* size, std::string* reason) {
    const std::wstring name = WindowsPath(path);
    // Backup semantics: a folder opens too, and is then refused as no regular file.
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailWithLastError(reason);
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER length{};
    const bool regular = ::GetFileType(file) == FILE_TYPE_DISK &&
                         ::GetFileInformationByHandle(file, &info) != 0 &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (!regular || !::GetFileSizeEx(file, &length)) {
        if (regular) {
            FailWithLastError(reason);
        } else {
            SetReason(reason, kNotRegularFile);
            errno = EINVAL;
        }
        ::CloseHandle(file);
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(file);
        SetReason(reason, std::strerror(EMFILE));
        errno = EMFILE;
        return -1;
    }
    if (size) *size = static_cast<long long>(length.QuadPart);
    return fd;
}

long long ReadFromFile(int fd, void* buffer, std::size_t n) {
    // The C run-time counts a read in 32 bits: a larger request is read in part.
    const unsigned chunk = n > (1u << 30) ? (1u << 30) : static_cast<unsigned>(n);
    return ::_read(fd, buffer, chunk);
}

bool RewindFile(int fd) {
    return ::_lseeki64(fd, 0, SEEK_SET) == 0;
}

void CloseFile(int fd) {
    ::_close(fd);
}

bool CheckOutputTarget(const std::string& path, std::string* reason) {
    std::wstring target;
    return ResolveTarget(path, &target, reason);
}

void ReplacingFile::Discard() {
    if (m_fd >= 0) {
        ::_close(m_fd);
        ::DeleteFileW(WideFromUtf8(m_temp).c_str());
    }
    m_fd = -1;
}

bool ReplacingFile::Open(const std::string& path, std::string* reason) {
    Discard();
    m_error = 0;
    std::wstring target;
    if (!ResolveTarget(path, &target, reason)) return false;
    m_target = Utf8FromWide(target);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temp = m_target + ".tmp-" + std::to_string(::_getpid()) + "-" + std::to_string(attempt);
        HANDLE file = ::CreateFileW(WideFromUtf8(m_temp).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            FailWithLastError(reason);
            return false;
        }
        m_fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
        if (m_fd < 0) {
            ::CloseHandle(file);
            ::DeleteFileW(WideFromUtf8(m_temp).c_str());
            SetReason(reason, std::strerror(EMFILE));
            return false;
        }
    }
    if (m_fd < 0) {
        SetReason(reason, std::strerror(EEXIST));
        return false;
    }
    return true;
}

bool ReplacingFile::Write(std::string_view bytes) {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    while (m_error == 0 && !bytes.empty()) {
        const unsigned chunk = bytes.size() > (1u << 30) ? (1u << 30) : unsigned(bytes.size());
        const int put = ::_write(m_fd, bytes.data(), chunk);
        if (put <= 0) {
            m_error = put < 0 ? errno : EIO;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return m_error == 0;
}

bool ReplacingFile::WriteAt(long long offset, std::string_view bytes) {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    if (m_error != 0) return false;
    // No pwrite: the position moves there and back to the end, where the next Write goes.
    const long long end = ::_lseeki64(m_fd, 0, SEEK_END);
    if (end < 0 || ::_lseeki64(m_fd, offset, SEEK_SET) != offset) {
        m_error = errno != 0 ? errno : EIO;
        return false;
    }
    Write(bytes);
    if (m_error == 0 && ::_lseeki64(m_fd, end, SEEK_SET) != end) m_error = errno;
    return m_error == 0;
}

bool ReplacingFile::Commit(std::string* reason) {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    if (m_error == 0 && ::_commit(m_fd) != 0) m_error = errno;
    if (m_fd >= 0) {
        if (::_close(m_fd) != 0 && m_error == 0) m_error = errno;
        m_fd = -1;
        const std::wstring temp = WideFromUtf8(m_temp);
        if (m_error == 0 && !::MoveFileExW(temp.c_str(), WideFromUtf8(m_target).c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            m_error = ErrnoOf(::GetLastError());
        }
        if (m_error != 0) ::DeleteFileW(temp.c_str());
    }
    if (m_error != 0) {
        SetReason(reason, std::strerror(m_error));
        return false;
    }
    return true;
}

}  // namespace velmor
