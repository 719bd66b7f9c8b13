// Files the program reads and writes are regular files. An input is opened without waiting on
// it, so a named pipe or a device picked by mistake is refused instead of holding the program;
// an output replaces its target in one step (a temporary file beside it, written, flushed to
// disk and renamed over it), so a full disk or a file-size limit never leaves half a file.
// These functions hold the program's file system calls: the rest of the program reads and
// writes files through them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

// The reason given for a path that names a pipe, a device, a socket or a directory.
inline constexpr char kNotRegularFile[] = "not a regular file";

// Opens `path` for reading. The descriptor (closed on exec, reads blocking as usual) and the
// file's size in *size, or -1 with the reason in *reason: kNotRegularFile for anything but a
// regular file (errno EINVAL), else the system's description of the error (errno kept).
int OpenRegularFile(const std::string& path, long long* size, std::string* reason);

// Up to `n` bytes from the descriptor into `buffer`: the count read, 0 at the end of the file,
// -1 on an error (errno set). An interrupted read is tried again; one call reads at most 1 GiB.
long long ReadFromFile(int fd, void* buffer, std::size_t n);
// Moves the descriptor back to the start of its file; false when that fails.
bool RewindFile(int fd);
// Closes a descriptor OpenRegularFile gave.
void CloseFile(int fd);

// Reads the whole regular file at `path` into *bytes. 0 when it was read; otherwise an errno
// value, *bytes empty and the reason in *reason (when given): what OpenRegularFile answers
// (ENOENT for a missing file, EINVAL and kNotRegularFile for anything but a regular file),
// EFBIG when the file holds more than `limit` bytes (checked before reading and while reading,
// as the file may grow meanwhile), or the error of a read.
int ReadWholeFile(const std::string& path, long long limit, std::string* bytes,
                  std::string* reason);

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
