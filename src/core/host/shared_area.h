// A file-backed memory area shared by the program and its helper process: the program creates
// it, the helper opens the same file by its path, and both map it. The file's name can be
// removed once both hold the mapping; the area lives until the last mapping goes.
#pragma once

#include <cstddef>
#include <string>

namespace velmor {

class SharedAreaFile {
public:
    SharedAreaFile() = default;
    ~SharedAreaFile();  // unmaps, and removes the file when this side created it
    SharedAreaFile(const SharedAreaFile&) = delete;
    SharedAreaFile& operator=(const SharedAreaFile&) = delete;

    // Creates a new file of `size` zero bytes in the user's runtime directory (or the temporary
    // directory) and maps it. False with *error set when that fails.
    bool Create(std::size_t size, std::string* error);
    // Maps the first `size` bytes of the file another process created. False with *error set
    // when the file is missing or smaller.
    bool Open(const std::string& path, std::size_t size, std::string* error);
    // Removes the file's name (the mapping stays). Done by the creator once the other side has
    // mapped it, so no file outlives the two processes.
    void RemoveName();
    void Close();

    void* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }
    const std::string& Path() const { return m_path; }

private:
    // The system's side (shared_area_posix.cpp, shared_area_win.cpp). CreateMapped makes a new
    // file of `size` zero bytes, maps it and gives its path; OpenMapped maps the first `size`
    // bytes of an existing file. Both answer the mapping, or nullptr with *error set (and no
    // file left behind by CreateMapped).
    static void* CreateMapped(std::size_t size, std::string* path, std::string* error);
    static void* OpenMapped(const std::string& path, std::size_t size, std::string* error);
    static void Unmap(void* data, std::size_t size);
    // Removes the file's name; false when it is still there to be removed later.
    static bool RemoveFile(const std::string& path);

    void* m_data = nullptr;
    std::size_t m_size = 0;
    std::string m_path;
    bool m_created = false;  // this side made the file and still owns its name
};

}  // namespace velmor
