#include "core/app/file_kind.h"

#include <cstring>
#include <string_view>

#include "core/app/ascii_case.h"
#include "core/app/regular_file.h"
#include "core/surface/pe_file.h"

namespace velmor {

namespace {

// A text file's first part is enough to tell text from binary.
constexpr std::size_t kSniffBytes = 64 * 1024;

bool EndsWith(const std::string& path, std::string_view suffix) {
    return path.size() > suffix.size() &&
           EqualsIgnoringCase(std::string_view(path).substr(path.size() - suffix.size()), suffix);
}

}  // namespace

FileKind KindOfFile(const std::string& path, std::string* reason) {
    long long size = 0;
    const int fd = OpenRegularFile(path, &size, reason);
    if (fd < 0) return FileKind::kRefused;
    std::string head(kSniffBytes, '\0');
    long long got = 0;
    while (got < static_cast<long long>(head.size())) {
        const long long n = ReadFromFile(fd, head.data() + got, head.size() - std::size_t(got));
        if (n <= 0) break;
        got += n;
    }
    CloseFile(fd);
    head.resize(static_cast<std::size_t>(got));

    const bool elf = head.size() >= 4 && std::memcmp(head.data(),
                                                     "\x7f"
                                                     "ELF",
                                                     4) == 0;
    const PeCheck pe = CheckPeBytes(reinterpret_cast<const unsigned char*>(head.data()),
                                    head.size(), static_cast<std::uint64_t>(size));
    if (elf || pe.kind != PeKind::kNotPe || EndsWith(path, ".so") || EndsWith(path, ".dll"))
        return FileKind::kLibrary;
    if (EndsWith(path, ".ini")) return FileKind::kSession;
    if (EndsWith(path, ".stl") || EndsWith(path, ".obj")) return FileKind::kModel;
    if (head.find('\0') != std::string::npos) {
        *reason = "neither a surface library, a session, a 3D model nor a script";
        return FileKind::kRefused;
    }
    return FileKind::kScript;
}

}  // namespace velmor
