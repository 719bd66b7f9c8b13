// Byte sources, the path-taking reader entry points and the "Open ..." dispatch.
#include "core/view3d/model_reader.h"

#include <algorithm>
#include <cstring>

#include "core/app/ascii_case.h"
#include "core/app/regular_file.h"

namespace velmor {

size_t MemorySource::Read(void* buffer, size_t n) {
    const size_t count = std::min(n, m_bytes.size() - m_position);
    std::memcpy(buffer, m_bytes.data() + m_position, count);
    m_position += count;
    return count;
}

bool MemorySource::Rewind() {
    m_position = 0;
    return true;
}

FileSource::~FileSource() {
    if (m_fd >= 0) CloseFile(m_fd);
}

bool FileSource::Open(const std::string& path, std::string* reason) {
    if (m_fd >= 0) CloseFile(m_fd);
    // A device or pipe could feed a reader without end, or hold it waiting for a writer.
    m_fd = OpenRegularFile(path, &m_size, reason);
    return m_fd >= 0;
}

size_t FileSource::Read(void* buffer, size_t n) {
    if (m_fd < 0) return 0;
    const long long got = ReadFromFile(m_fd, buffer, n);
    return got > 0 ? static_cast<size_t>(got) : 0;
}

bool FileSource::Rewind() {
    return m_fd >= 0 && RewindFile(m_fd);
}

bool IsStlAscii(const std::string& path) {
    FileSource file;
    return file.Open(path) && IsStlAscii(file);
}

bool ReadStlAscii(const std::string& path, CModel& out, std::string* reason) {
    FileSource file;
    if (!file.Open(path, reason)) return false;
    return ReadStlAscii(file, out);
}

bool ReadStlBinary(const std::string& path, CModel& out, std::string* reason) {
    FileSource file;
    if (!file.Open(path, reason)) return false;
    return ReadStlBinary(file, out);
}

namespace {

// Directory part of a path, its last separator included; empty when there is none.
std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool ReadObj(const std::string& path, CModel& out, std::string* reason) {
    FileSource file;
    if (!file.Open(path, reason)) return false;
    const std::string directory = DirectoryOf(path);
    const MtlOpener openMtl = [&directory](const std::string& name) -> std::unique_ptr<ByteSource> {
        auto mtl = std::make_unique<FileSource>();
        if (!mtl->Open(directory + name)) return nullptr;
        return mtl;
    };
    return ReadObj(file, openMtl, out);
}

ModelFileType ModelFileTypeOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const std::string_view name =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return ModelFileType::kUnsupported;
    const std::string_view extension = name.substr(dot);
    if (EqualsIgnoringCase(extension, ".stl")) return ModelFileType::kStl;
    if (EqualsIgnoringCase(extension, ".obj")) return ModelFileType::kObj;
    return ModelFileType::kUnsupported;
}

int ReadModelFile(const std::string& path, CModel& out, std::string* message) {
    if (message) message->clear();
    out.Clear();
    std::string reason;
    const char* failure = nullptr;
    switch (ModelFileTypeOf(path)) {
        case ModelFileType::kStl:
            if (IsStlAscii(path)) {
                if (!ReadStlAscii(path, out, &reason)) failure = kReadStlAsciiFailed;
            } else if (!ReadStlBinary(path, out, &reason)) {
                failure = kReadStlBinaryFailed;
            }
            break;
        case ModelFileType::kObj:
            if (!ReadObj(path, out, &reason)) failure = kReadObjFailed;
            break;
        case ModelFileType::kUnsupported:
            if (message) *message = kModelExtensionUnsupported;
            return -1;
    }
    if (!failure) return 0;
    out.Clear();
    if (message) {
        *message = failure;
        if (!reason.empty()) *message += "\n" + path + ": " + reason;
    }
    return -1;
}

}  // namespace velmor
