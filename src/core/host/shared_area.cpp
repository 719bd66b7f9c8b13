// What the shared area does the same way on every system; the system calls are in
// shared_area_posix.cpp and shared_area_win.cpp.
#include "core/host/shared_area.h"

namespace velmor {

SharedAreaFile::~SharedAreaFile() {
    Close();
}

bool SharedAreaFile::Create(std::size_t size, std::string* error) {
    Close();
    std::string path;
    m_data = CreateMapped(size, &path, error);
    if (m_data == nullptr) return false;
    m_size = size;
    m_path = path;
    m_created = true;
    return true;
}

bool SharedAreaFile::Open(const std::string& path, std::size_t size, std::string* error) {
    Close();
    m_data = OpenMapped(path, size, error);
    if (m_data == nullptr) return false;
    m_size = size;
    m_path = path;
    return true;
}

void SharedAreaFile::RemoveName() {
    if (m_created && RemoveFile(m_path)) m_created = false;
}

void SharedAreaFile::Close() {
    if (m_data != nullptr) Unmap(m_data, m_size);
    m_data = nullptr;
    RemoveName();
    m_created = false;
    m_size = 0;
    m_path.clear();
}

}  // namespace velmor
