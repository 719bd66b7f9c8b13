// Windows DLLs told apart from other libraries by their content, not by their name: the DOS
// header ("MZ"), its pointer to the PE header (e_lfanew), the signature "PE\0\0" and the
// machine the code is built for. Only an x64 DLL can be loaded (by the Windows helper); a DLL for
// another machine, or a file that starts as one and breaks off, is refused with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor {

inline constexpr std::uint16_t kPeMachineX64 = 0x8664;
inline constexpr std::uint16_t kPeMachineI386 = 0x014C;
inline constexpr std::uint16_t kPeMachineArm = 0x01C0;
inline constexpr std::uint16_t kPeMachineArmNt = 0x01C4;
inline constexpr std::uint16_t kPeMachineArm64 = 0xAA64;

inline constexpr const char* kPe32BitText =
    "A 32-bit Windows DLL cannot be loaded: rebuild it for x64";
inline constexpr const char* kPeArmText = "An ARM Windows DLL cannot be loaded: rebuild it for x64";

enum class PeKind {
    kNotPe,    // no "MZ" at the start (an ELF library, a missing or unreadable file, ...)
    kX64,      // a PE file for x64: the Windows helper loads it
    kRefused,  // a PE file for another machine, or a damaged one: `message` says which
};

struct PeCheck {
    PeKind kind = PeKind::kNotPe;
    std::uint16_t machine = 0;  // the COFF header's Machine, when it could be read
    std::string message;        // kRefused: the text for the user
};

// Looks at the headers in `bytes` (the first `size` bytes of a file whose whole size is
// `fileSize`).
PeCheck CheckPeBytes(const unsigned char* bytes, std::size_t size, std::uint64_t fileSize);
// Reads the headers of the file at `path`. A path that names no regular file, or one that cannot
// be read, is kNotPe: the loader then says why it cannot be loaded.
PeCheck CheckPeFile(const std::string& path);

}  // namespace velmor
