#include "core/view3d/stl_writer.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "comma_locale.h"
#include "core/view3d/mesh_builder.h"
#include "core/view3d/model_reader.h"
#include "hang_guard.h"
#include "view3d_test_support.h"

namespace velmor::test {
namespace {

// The [-10, 10]² mesh at 0.25, pattern 0: 12,800 triangles.
void QuarterGrid(CModel& model) {
    FormulaSampler sampler(Bowl);
    MeshParams p;
    p.dx = p.dy = 0.25;
    BuildSurfaceMesh(p, sampler, model, nullptr);
}

uint32_t CountAt80(const std::string& bytes) {
    uint32_t count = 0;
    if (bytes.size() >= 84) std::memcpy(&count, bytes.data() + 80, 4);
    return count;
}

size_t Lines(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

TEST(StlWriterTest, AsciiLineForLineWhateverTheLocale) {
    CModel model;
    model.vertices = {{-10, -10, 0.5f}, {1, 0, 0}, {0, 1, 0}, {-1e-7f, 123456.5f, -0.0f}};
    model.faceNormals = {{0.6f, 0, 0.8f}};
    model.faces = {modelFace{{0, 3, 2}, {-1, -1, -1}, 0}};
    TempDir dir;
    std::string message = "stale";
    {
        const CommaLocale comma;  // the point stays
        ASSERT_EQ(WriteStlAscii(dir.File("Kestrum.stl"), model, &message), kStlWritten);
    }
    EXPECT_EQ(message, "");
    EXPECT_EQ(ReadFile(dir.File("Kestrum.stl")),
              "solid Kestrum.stl\n"
              "    facet normal 0.600000 0.000000 0.800000\n"
              "        outer loop\n"
              "            vertex -10.000000 -10.000000 0.500000\n"
              "            vertex -0.000000 123456.500000 -0.000000\n"
              "            vertex 0.000000 1.000000 0.000000\n"
              "        endloop\n"
              "    endfacet\n"
              "endsolid\n");

    // An empty mesh: two lines naming the file whatever its extension, or the 84-byte header.
    CModel empty;
    ASSERT_EQ(WriteStlAscii(dir.File("surface.txt"), empty, nullptr), kStlWritten);
    EXPECT_EQ(ReadFile(dir.File("surface.txt")), "solid surface.txt\nendsolid\n");
    ASSERT_EQ(WriteStlBinary(dir.File("empty.stl"), empty, nullptr), kStlWritten);
    EXPECT_EQ(ReadFile(dir.File("empty.stl")),
              std::string("STL Velmor\0", 11) + std::string(69, ' ') + std::string(4, '\0'));
}

TEST(StlWriterTest, QuarterGridFilesHaveTheirSizesAndReadBack) {
    TempDir dir;
    CModel model;
    QuarterGrid(model);
    ASSERT_EQ(WriteStlBinary(dir.File("grid.stl"), model, nullptr), kStlWritten);
    ASSERT_EQ(WriteStlAscii(dir.File("grid.txt"), model, nullptr), kStlWritten);
    const std::string bytes = ReadFile(dir.File("grid.stl"));
    ASSERT_EQ(bytes.size(), 640084u);
    EXPECT_EQ(CountAt80(bytes), 12800u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), std::string(2, '\0'));
    EXPECT_EQ(Lines(ReadFile(dir.File("grid.txt"))), 12800u * 7 + 2);
    // Both read back: the binary to the very same floats, the ASCII (several refills of the
    // reader's buffer) to its six decimals.
    CModel bin, text;
    ASSERT_TRUE(ReadStlBinary(dir.File("grid.stl"), bin));
    ASSERT_TRUE(ReadStlAscii(dir.File("grid.txt"), text));
    ASSERT_EQ(bin.vertices.size(), model.vertices.size());
    ASSERT_EQ(text.vertices.size(), model.vertices.size());
    for (size_t i = 0; i < model.vertices.size(); ++i) {
        ASSERT_EQ(bin.vertices[i].z, model.vertices[i].z);
        ASSERT_NEAR(text.vertices[i].y, model.vertices[i].y, 1e-6);
    }
}

TEST(StlWriterTest, NumbersMatchPrintfInTheCLocale) {
    std::vector<float> values = {5e-7f,  4.999999e-7f, 0.0000025f, 8.7e12f, -3.4e38f,
                                 1e-45f, 9.999999e6f,  -HUGE_VALF, NAN};
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t raw = random();
        values.push_back(std::bit_cast<float>(raw));
        values.push_back(static_cast<float>(static_cast<int32_t>(raw) / 1e5));  // everyday sizes
    }
    char mine[64], theirs[80];
    for (const float f : values) {
        *FormatFixed6(f, mine) = '\0';
        // Not a number reads as glibc's printf writes it on every system (a file is the same
        // file wherever it was written); the Windows run-time drops the sign.
        if (std::isnan(f)) {
            ASSERT_STREQ(mine, std::signbit(f) ? "-nan" : "nan");
            continue;
        }
        std::snprintf(theirs, sizeof(theirs), "%f", static_cast<double>(f));
        ASSERT_STREQ(mine, theirs) << "bits " << std::hex << std::bit_cast<uint32_t>(f);
    }
}

TEST(StlWriterTest, LongestNumbersAcrossTheWriteBuffer) {
    // 6000 facets of the longest numbers there are: the end of the write buffer falls inside
    // them many times.
    const float big = -std::numeric_limits<float>::max();
    const int count = 6000;
    CModel model;
    model.vertices.assign(3 * count, Vec3f{big, big, big});
    model.faceNormals.assign(count, Vec3f{big, big, big});
    model.faces.resize(count);
    for (int k = 0; k < count; ++k) {
        for (int i = 0; i < 3; ++i) model.faces[k].vertex[i] = 3 * k + i;
        model.faces[k].faceNormal = k;
    }
    TempDir dir;
    ASSERT_EQ(WriteStlAscii(dir.File("big.stl"), model, nullptr), kStlWritten);
    char number[80];
    std::snprintf(number, sizeof(number), "%f", static_cast<double>(big));
    const std::string triple = std::string(number) + " " + number + " " + number + "\n";
    std::string facet = "    facet normal " + triple + "        outer loop\n";
    for (int i = 0; i < 3; ++i) facet += "            vertex " + triple;
    std::string expected = "solid big.stl\n";
    for (int k = 0; k < count; ++k) expected += facet + "        endloop\n    endfacet\n";
    EXPECT_EQ(ReadFile(dir.File("big.stl")), expected + "endsolid\n");
}

#ifndef _WIN32
// Runs `write` in a child process whose files cannot grow beyond `limit` bytes (the limit's
// signal ignored, so it shows as a write error); the result `write` returned.
int UnderFileSizeLimit(long long limit, const std::function<int()>& write) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit bytes{rlim_t(limit), rlim_t(limit)};
        ::setrlimit(RLIMIT_FSIZE, &bytes);
        ::_exit(write() + 10);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -100;
    return WEXITSTATUS(status) - 10;
}
#endif

TEST(StlWriterTest, CancelLeavesValidFilesFailuresAreReportedWithTheReason) {
    TempDir dir;
    CModel model;
    QuarterGrid(model);
    for (const bool binary : {false, true}) {
        RecordingReporter reporter(4);  // cancel before triangle 3
        const std::string path = dir.File(binary ? "b.stl" : "a.stl");
        EXPECT_EQ(
            binary ? WriteStlBinary(path, model, nullptr) : WriteStlAscii(path, model, nullptr),
            kStlCancelled);
    }
    const std::string text = ReadFile(dir.File("a.stl")), bytes = ReadFile(dir.File("b.stl"));
    EXPECT_TRUE(Lines(text) == 3u * 7 + 2 && text.ends_with("\n    endfacet\nendsolid\n"));
    EXPECT_EQ(bytes.size(), 84u + 3 * 50);
    EXPECT_EQ(CountAt80(bytes), 3u);  // rewritten to the records in the file

    // Files that cannot be written are reported with the reason; nothing is written elsewhere.
    std::string message;
    const std::string missing = dir.File("no/such/dir/x.stl");
    EXPECT_EQ(WriteStlAscii(missing, model, &message), kStlWriteFailed);
    EXPECT_EQ(message,
              "Writing STL(ASCII) File ... Failed.\n" + missing + ": No such file or directory");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);

    // Targets that are no regular file are refused before anything is written to them: a
    // device that would swallow or refuse the data, a named pipe that would wait for a reader
    // (Windows keeps both out of the file system), a folder.
#ifdef _WIN32
    const std::vector<std::string> refused = {dir.Path()};
#else
    ASSERT_TRUE(MakeFifo(dir.File("pipe.stl")));
    const HangGuard guard("writing to a named pipe");
    const std::vector<std::string> refused = {"/dev/null", "/dev/full", dir.File("pipe.stl"),
                                              dir.Path()};
#endif
    for (const std::string& target : refused) {
        EXPECT_EQ(WriteStlBinary(target, model, &message), kStlWriteFailed);
        EXPECT_EQ(message, "Writing STL(BIN) File ... Failed.\n" + target + ": not a regular file");
        EXPECT_EQ(WriteStlAscii(target, model, &message), kStlWriteFailed);
    }

#ifndef _WIN32
    // A write that fails part way (here the file-size limit) leaves the old file whole.
    const std::string old = dir.File("old.stl");
    WriteFile(old, "solid old\nendsolid\n");
    for (const bool binary : {false, true}) {
        EXPECT_EQ(UnderFileSizeLimit(100000,
                                     [&] {
                                         return binary ? WriteStlBinary(old, model, nullptr)
                                                       : WriteStlAscii(old, model, nullptr);
                                     }),
                  kStlWriteFailed);
        EXPECT_EQ(ReadFile(old), "solid old\nendsolid\n");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 4);
#endif
}

}  // namespace
}  // namespace velmor::test
