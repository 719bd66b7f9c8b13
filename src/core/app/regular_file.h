// Files the program reads and writes are regular files. An input is opened without waiting on
// it, so a named pipe or a device picked by mistake is refused instead of holding the program;
// an output replaces its target in one step (a temporary file beside it, written, flushed to
// disk and renamed over it), so a full disk or a file-size limit never leaves half a file.
#pragma once

#include <string>
#include <string_view>

namespace velmor {

// The reason given for a path that names a pipe, a device, a socket or a directory.
inline constexpr char kNotRegularFile[] = "not a regular file";

// Opens `path` for reading. The descriptor (closed on exec, reads blocking as usual) and the
// file's size in *size, or -1 with the reason in *reason: kNotRegularFile for anything but a
// regular file (errno EINVAL), else the system's description of the error (errno kept).
int OpenRegularFile(const std::string& path, long long* size, std::string* reason);

// Whether `path` can be the target of a replacing write: missing, or a regular file (a symbolic
// link counts as the file it names) that this process may write. False with the reason
// (kNotRegularFile, or the system's description) otherwise.
bool CheckOutputTarget(const std::string& path, std::string* reason);

// A replacing write. Open checks the target and creates a temporary file in the target's
// folder; every Write is checked and the first error kept; Commit flushes, writes the file to
// disk, closes it and renames it over the target, which keeps its permissions. A file that is
// not committed is removed, and the target stays as it was.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False with the reason when the target is refused or the temporary file cannot be made.
    bool Open(const std::string& path, std::string* reason);
    // False once any write has failed.
    bool Write(std::string_view bytes);
    // Overwrites bytes already written at `offset` (the data written so far is kept).
    bool WriteAt(long long offset, std::string_view bytes);
    // False with the reason of the first failure; the target is then unchanged.
    bool Commit(std::string* reason);

private:
    void Discard();

    int m_fd = -1;  // a C run-time descriptor on Windows too
    int m_error = 0;
    unsigned m_mode = 0;
    bool m_keepMode = false;
    std::string m_target, m_temp;
};

// Replaces the file at `path` with `bytes`. False with the reason, the target unchanged.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string* reason);

}  // namespace velmor
