// Windows DLLs known by their headers: the machines that load and those refused with their
// message, and files that start as a DLL and break off anywhere (never read past their end,
// never taken for a loadable DLL).
#include "core/surface/pe_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "test_paths.h"

namespace velmor {
namespace {

void Put16(std::vector<unsigned char>& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<unsigned char>(value);
    bytes.at(at + 1) = static_cast<unsigned char>(value >> 8);
}

void Put32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<unsigned char>(value >> (8 * i));
}

// The headers of a DLL up to its optional header's magic: DOS header, e_lfanew 0x80, "PE\0\0",
// the COFF header and the first bytes of the optional header.
std::vector<unsigned char> PeHeaders(std::uint16_t machine, std::uint16_t magic = 0x20B) {
    std::vector<unsigned char> bytes(0x80 + 4 + 20 + 0xF0, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(bytes, 0x3C, 0x80);
    bytes[0x80] = 'P';
    bytes[0x81] = 'E';
    Put16(bytes, 0x84, machine);
    Put16(bytes, 0x84 + 16, 0xF0);    // SizeOfOptionalHeader
    Put16(bytes, 0x84 + 18, 0x2022);  // Characteristics: DLL, executable, large addresses
    Put16(bytes, 0x98, magic);
    return bytes;
}

void Write(const test::TempDir& dir, const std::string& name,
           const std::vector<unsigned char>& bytes) {
    test::WriteFile(dir.File(name), std::string(bytes.begin(), bytes.end()));
}

PeCheck Check(const std::vector<unsigned char>& bytes) {
    return CheckPeBytes(bytes.data(), bytes.size(), bytes.size());
}

TEST(PeFileTest, TheMachineDecidesWhatLoads) {
    EXPECT_EQ(Check(PeHeaders(kPeMachineX64)).kind, PeKind::kX64);
    const PeCheck i386 = Check(PeHeaders(kPeMachineI386, 0x10B));
    EXPECT_EQ(i386.kind, PeKind::kRefused);
    EXPECT_EQ(i386.message, "A 32-bit Windows DLL cannot be loaded: rebuild it for x64");
    for (std::uint16_t arm : {kPeMachineArm, kPeMachineArmNt, kPeMachineArm64}) {
        const PeCheck check = Check(PeHeaders(arm));
        EXPECT_EQ(check.kind, PeKind::kRefused) << arm;
        EXPECT_EQ(check.message, kPeArmText) << arm;
        EXPECT_EQ(check.machine, arm);
    }
    EXPECT_EQ(Check(PeHeaders(0x0200)).message,
              "A Windows DLL for machine 0x0200 cannot be loaded: rebuild it for x64");

    // Through files: the extension does not matter, the content does.
    test::TempDir dir;
    Write(dir, "plain.so", PeHeaders(kPeMachineX64));
    EXPECT_EQ(CheckPeFile(dir.File("plain.so")).kind, PeKind::kX64);
    Write(dir, "old.dll", PeHeaders(kPeMachineI386));
    EXPECT_EQ(CheckPeFile(dir.File("old.dll")).message, kPe32BitText);
    // Not a PE file: the loader says what is wrong with it.
    Write(dir, "empty.dll", {});
    Write(dir, "m.dll", {'M'});
    for (const std::string& path : {test::LibPath("even_asphere"), dir.File("empty.dll"),
                                    dir.File("m.dll"), dir.File("missing.dll"), dir.Path()}) {
        EXPECT_EQ(CheckPeFile(path).kind, PeKind::kNotPe) << path;
    }
}

TEST(PeFileTest, DamagedHeadersAreRefusedWithoutReadingPastTheFile) {
    const std::vector<unsigned char> whole = PeHeaders(kPeMachineX64);
    const std::size_t complete = 0x98 + 2;  // through the optional header's magic
    test::TempDir dir;
    for (std::size_t size = 2; size < whole.size(); ++size) {
        // An exact-size copy, so that a read past the end is seen by the sanitizers.
        const std::vector<unsigned char> cut(whole.begin(), whole.begin() + size);
        const PeCheck check = CheckPeBytes(cut.data(), cut.size(), cut.size());
        EXPECT_EQ(check.kind, size < complete ? PeKind::kRefused : PeKind::kX64) << size;
        if (size < complete) {
            EXPECT_EQ(check.message.rfind("This Windows DLL cannot be loaded: ", 0), 0u) << size;
        }
    }
    Write(dir, "cut.dll", std::vector<unsigned char>(whole.begin(), whole.begin() + 0x90));
    EXPECT_EQ(CheckPeFile(dir.File("cut.dll")).message,
              "This Windows DLL cannot be loaded: it has no PE header where its DOS header points");

    auto refused = [](std::vector<unsigned char> bytes) { return Check(bytes).kind; };
    std::vector<unsigned char> bytes = whole;
    Put32(bytes, 0x3C, 0xFFFFFFF0u);  // far beyond the file (and beyond 32-bit arithmetic)
    EXPECT_EQ(refused(bytes), PeKind::kRefused);
    bytes = whole;
    Put32(bytes, 0x3C, 0x10);  // inside the DOS header
    EXPECT_EQ(refused(bytes), PeKind::kRefused);
    bytes = whole;
    bytes[0x82] = 'X';  // "PEX\0": a DOS program, no PE file
    EXPECT_EQ(refused(bytes), PeKind::kRefused);
    // An x64 machine with a 32-bit optional header, or none.
    EXPECT_EQ(Check(PeHeaders(kPeMachineX64, 0x10B)).kind, PeKind::kRefused);
    bytes = whole;
    Put16(bytes, 0x84 + 16, 0);
    EXPECT_EQ(refused(bytes), PeKind::kRefused);
}

}  // namespace
}  // namespace velmor
