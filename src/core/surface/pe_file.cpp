#include "core/surface/pe_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace velmor {

namespace {

// The DOS header is 64 bytes; its last field, e_lfanew, is the PE header's file offset.
constexpr std::size_t kDosHeaderBytes = 64;
constexpr std::size_t kLfanewOffset = 0x3C;
// "PE\0\0", then the COFF header: Machine (2), NumberOfSections (2), TimeDateStamp (4),
// PointerToSymbolTable (4), NumberOfSymbols (4), SizeOfOptionalHeader (2), Characteristics (2).
constexpr std::size_t kSignatureBytes = 4;
constexpr std::size_t kCoffHeaderBytes = 20;
constexpr std::size_t kOptionalSizeOffset = 16;
constexpr std::uint16_t kOptionalMagicPe32Plus = 0x20B;
// A PE header further in than this is no header a linker writes: the file is not read that far.
constexpr std::uint32_t kMaxLfanew = 1 << 20;

std::uint16_t U16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

PeCheck Damaged(const std::string& why, std::uint16_t machine = 0) {
    PeCheck check;
    check.kind = PeKind::kRefused;
    check.machine = machine;
    check.message = "This Windows DLL cannot be loaded: " + why;
    return check;
}

}  // namespace

PeCheck CheckPeBytes(const unsigned char* bytes, std::size_t size, std::uint64_t fileSize) {
    if (size < 2 || bytes[0] != 'M' || bytes[1] != 'Z') return {};
    if (size < kDosHeaderBytes) return Damaged("the file ends inside its DOS header");
    const std::uint32_t lfanew = U32(bytes + kLfanewOffset);
    if (lfanew < kDosHeaderBytes || lfanew > kMaxLfanew ||
        static_cast<std::uint64_t>(lfanew) + kSignatureBytes + kCoffHeaderBytes > fileSize) {
        return Damaged("it has no PE header where its DOS header points");
    }
    if (static_cast<std::size_t>(lfanew) + kSignatureBytes + kCoffHeaderBytes > size) {
        return Damaged("its PE header could not be read");
    }
    const unsigned char* pe = bytes + lfanew;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) {
        return Damaged("it has no PE header where its DOS header points");
    }
    const unsigned char* coff = pe + kSignatureBytes;
    const std::uint16_t machine = U16(coff);
    PeCheck check;
    check.machine = machine;
    switch (machine) {
        case kPeMachineX64:
            break;
        case kPeMachineI386:
            check.kind = PeKind::kRefused;
            check.message = kPe32BitText;
            return check;
        case kPeMachineArm:
        case kPeMachineArmNt:
        case kPeMachineArm64:
            check.kind = PeKind::kRefused;
            check.message = kPeArmText;
            return check;
        default: {
            char text[96];
            std::snprintf(text, sizeof text,
                          "A Windows DLL for machine 0x%04X cannot be loaded: rebuild it for x64",
                          machine);
            check.kind = PeKind::kRefused;
            check.message = text;
            return check;
        }
    }
    // An x64 image has a PE32+ optional header right after the COFF header.
    const std::uint16_t optionalSize = U16(coff + kOptionalSizeOffset);
    const std::size_t optional = lfanew + kSignatureBytes + kCoffHeaderBytes;
    if (optionalSize < 2 || optional + 2 > size) {
        return Damaged("the file ends inside its PE header", machine);
    }
    if (U16(bytes + optional) != kOptionalMagicPe32Plus) {
        return Damaged("its x64 header is not of the 64-bit kind (PE32+)", machine);
    }
    check.kind = PeKind::kX64;
    return check;
}

PeCheck CheckPeFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return {};
    const std::uint64_t fileSize = std::filesystem::file_size(path, error);
    if (error) return {};
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    unsigned char start[kDosHeaderBytes] = {};
    file.read(reinterpret_cast<char*>(start), sizeof start);
    const std::size_t got = static_cast<std::size_t>(file.gcount());
    if (got < 2 || start[0] != 'M' || start[1] != 'Z') return {};
    if (got < kDosHeaderBytes) return CheckPeBytes(start, got, fileSize);
    // The headers up to the optional header's magic, wherever e_lfanew puts them.
    const std::uint32_t lfanew = U32(start + kLfanewOffset);
    const std::size_t want =
        lfanew <= kMaxLfanew ? lfanew + kSignatureBytes + kCoffHeaderBytes + 2 : kDosHeaderBytes;
    std::vector<unsigned char> bytes(start, start + got);
    if (want > got) {
        bytes.resize(want);
        file.read(reinterpret_cast<char*>(bytes.data() + got),
                  static_cast<std::streamsize>(want - got));
        bytes.resize(got + static_cast<std::size_t>(file.gcount()));
    }
    return CheckPeBytes(bytes.data(), bytes.size(), fileSize);
}

}  // namespace velmor
