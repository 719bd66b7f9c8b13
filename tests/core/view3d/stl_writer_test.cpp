#include "view3d/stl_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "view3d/mesh_builder.h"
#include "view3d/model_reader.h"
#include "view3d_test_support.h"

namespace velmor {
namespace {

using testing::Bowl;
using testing::FormulaSampler;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::ScopedReporter;
using testing::TempDir;

// Two triangles with hand-chosen normals, as the builder lays them out.
void TwoTriangles(CModel& model) {
    model.vertices = {{-10, -10, 0.5f},           {1, 0, 0}, {0, 1, 0}, {0.1f, 0.2f, 0.3f},
                      {-1e-7f, 123456.5f, -0.0f}, {3, 2, 1}};
    model.faceNormals = {{0, 0, 1}, {0.6f, 0, 0.8f}};
    model.faces.resize(2);
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < 3; ++i) model.faces[k].vertex[i] = 3 * k + i;
        model.faces[k].faceNormal = k;
    }
    model.FindOrAddGroup("")->faces = {0, 1};
}

void QuarterGrid(CModel& model) {
    FormulaSampler sampler(Bowl);
    MeshParams p;
    p.dx = p.dy = 0.25;
    BuildSurfaceMesh(p, sampler, model, nullptr);
}

uint32_t CountAt80(const std::string& bytes) {
    return static_cast<uint8_t>(bytes[80]) | static_cast<uint8_t>(bytes[81]) << 8 |
           static_cast<uint8_t>(bytes[82]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[83])) << 24;
}

float FloatAt(const std::string& bytes, size_t offset) {
    float f;
    std::memcpy(&f, bytes.data() + offset, 4);
    return f;
}

size_t Lines(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

TEST(StlWriterTest, AsciiLineForLine) {
    TempDir dir;
    CModel model;
    TwoTriangles(model);
    const std::string path = dir / "Kestrum.stl";
    std::string message = "stale";
    ASSERT_EQ(WriteStlAscii(path, model, &message), kStlWritten);
    EXPECT_EQ(message, "");
    EXPECT_EQ(ReadBytes(path),
              "solid Kestrum.stl\n"
              "    facet normal 0.000000 0.000000 1.000000\n"
              "        outer loop\n"
              "            vertex -10.000000 -10.000000 0.500000\n"
              "            vertex 1.000000 0.000000 0.000000\n"
              "            vertex 0.000000 1.000000 0.000000\n"
              "        endloop\n"
              "    endfacet\n"
              "    facet normal 0.600000 0.000000 0.800000\n"
              "        outer loop\n"
              "            vertex 0.100000 0.200000 0.300000\n"
              "            vertex -0.000000 123456.500000 -0.000000\n"
              "            vertex 3.000000 2.000000 1.000000\n"
              "        endloop\n"
              "    endfacet\n"
              "endsolid\n");
}

TEST(StlWriterTest, SolidLineNamesTheFileWithoutItsDirectory) {
    TempDir dir;
    CModel empty;
    const std::string txt = dir / "surface.txt";
    ASSERT_EQ(WriteStlAscii(txt, empty, nullptr), kStlWritten);
    EXPECT_EQ(ReadBytes(txt), "solid surface.txt\nendsolid\n");  // two lines, nothing between
    EXPECT_EQ(FileNameOfPath("/a/b\\c.stl"), "c.stl");
    EXPECT_EQ(FileNameOfPath("plain.stl"), "plain.stl");
}

TEST(StlWriterTest, EmptyBinaryIsHeaderAndZeroCount) {
    TempDir dir;
    CModel empty;
    const std::string path = dir / "empty.stl";
    ASSERT_EQ(WriteStlBinary(path, empty, nullptr), kStlWritten);
    const std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 84u);
    std::string header("STL Velmor", 10);
    header += '\0';
    header += std::string(69, ' ');
    EXPECT_EQ(bytes.substr(0, 80), header);
    EXPECT_EQ(CountAt80(bytes), 0u);
}

TEST(StlWriterTest, QuarterGridFilesHaveTheirSizes) {
    TempDir dir;
    CModel model;
    QuarterGrid(model);
    ASSERT_EQ(model.faces.size(), 12800u);
    const std::string bin = dir / "grid_bin.stl";
    const std::string ascii = dir / "grid_ascii.stl";
    ASSERT_EQ(WriteStlBinary(bin, model, nullptr), kStlWritten);
    ASSERT_EQ(WriteStlAscii(ascii, model, nullptr), kStlWritten);

    const std::string bytes = ReadBytes(bin);
    ASSERT_EQ(bytes.size(), 640084u);
    EXPECT_EQ(CountAt80(bytes), 12800u);
    for (size_t k : {size_t{0}, size_t{6399}, size_t{12799}}) {
        const size_t at = 84 + 50 * k;
        EXPECT_EQ(FloatAt(bytes, at + 8), model.faceNormals[k].z);
        EXPECT_EQ(FloatAt(bytes, at + 12), model.vertices[3 * k].x);
        EXPECT_EQ(FloatAt(bytes, at + 44), model.vertices[3 * k + 2].z);
        EXPECT_EQ(bytes[at + 48], 0);
        EXPECT_EQ(bytes[at + 49], 0);
    }

    const std::string text = ReadBytes(ascii);
    EXPECT_EQ(Lines(text), 12800u * 7 + 2);
    EXPECT_EQ(text.rfind("endsolid\n"), text.size() - 9);

    // Both read back to the same triangles (ASCII to its six decimals).
    CModel fromBin, fromAscii;
    ASSERT_TRUE(ReadStlBinary(bin, fromBin));
    ASSERT_TRUE(ReadStlAscii(ascii, fromAscii));
    ASSERT_EQ(fromBin.vertices.size(), model.vertices.size());
    ASSERT_EQ(fromAscii.vertices.size(), model.vertices.size());
    for (size_t i = 0; i < model.vertices.size(); ++i) {
        ASSERT_EQ(fromBin.vertices[i].z, model.vertices[i].z);
        ASSERT_NEAR(fromAscii.vertices[i].z, model.vertices[i].z, 1e-6);
    }
}

TEST(StlWriterTest, NumbersMatchPrintfInTheCLocale) {
    std::mt19937 random(7);
    std::uniform_int_distribution<uint32_t> bits;
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 0.5f,
                                 1e-7f,
                                 -1e-7f,
                                 5e-7f,
                                 4.999999e-7f,
                                 0.0000005f,
                                 0.0000015f,
                                 0.0000025f,
                                 123456.789f,
                                 8.7e12f,
                                 8.8e12f,
                                 1e13f,
                                 3.4e38f,
                                 -3.4e38f,
                                 1e-45f,
                                 16777217.0f,
                                 0.1f,
                                 0.2f,
                                 0.3f,
                                 2.5e-6f,
                                 9.999999e6f,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN()};
    for (int i = 0; i < 200000; ++i) {
        const uint32_t raw = bits(random);
        float f;
        std::memcpy(&f, &raw, 4);
        values.push_back(f);
        // Values of everyday size, where rounding of the sixth decimal matters.
        values.push_back(static_cast<float>(static_cast<int32_t>(raw) / 1e5));
    }
    char mine[64], theirs[80];
    for (const float f : values) {
        *FormatFixed6(f, mine) = '\0';
        std::snprintf(theirs, sizeof(theirs), "%f", static_cast<double>(f));
        ASSERT_STREQ(mine, theirs) << "bits " << std::hex << std::bit_cast<uint32_t>(f);
    }
}

TEST(StlWriterTest, LongestNumbersAcrossManyFacets) {
    // Facets of the largest floats, the longest there are, with normals of every length, so
    // that the end of the write buffer falls inside the longest facets too.
    TempDir dir;
    CModel model;
    const float big = -std::numeric_limits<float>::max();
    const int count = 6000;
    model.vertices.assign(3 * count, Vec3f{big, big, big});
    model.faceNormals.assign(count, Vec3f{big, big, big});
    model.faces.resize(count);
    for (int k = 0; k < count; ++k) {
        for (int i = 0; i < 3; ++i) model.faces[k].vertex[i] = 3 * k + i;
        model.faces[k].faceNormal = k;
        const float x = std::ldexp(1.0f, k % 128);  // 1 .. 2^127: 8 to 46 characters
        model.faceNormals[k] = Vec3f{x, x, x};
    }
    ASSERT_EQ(WriteStlAscii(dir / "big.stl", model, nullptr), kStlWritten);
    auto triple = [](float v) {
        char number[80];
        std::snprintf(number, sizeof(number), "%f", static_cast<double>(v));
        return std::string(number) + " " + number + " " + number + "\n";
    };
    std::string expected = "solid big.stl\n";
    for (int k = 0; k < count; ++k) {
        expected +=
            "    facet normal " + triple(std::ldexp(1.0f, k % 128)) + "        outer loop\n";
        for (int i = 0; i < 3; ++i) expected += "            vertex " + triple(big);
        expected += "        endloop\n    endfacet\n";
    }
    expected += "endsolid\n";
    EXPECT_EQ(ReadBytes(dir / "big.stl"), expected);
}

TEST(StlWriterTest, DecimalPointIgnoresTheLocale) {
    // A locale with a decimal comma, when the machine has one.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    bool switched = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            switched = true;
            break;
        }
    }
    TempDir dir;
    CModel model;
    TwoTriangles(model);
    ASSERT_EQ(WriteStlAscii(dir / "l.stl", model, nullptr), kStlWritten);
    std::setlocale(LC_NUMERIC, saved.c_str());
    const std::string text = ReadBytes(dir / "l.stl");
    EXPECT_NE(text.find("vertex -10.000000 -10.000000 0.500000\n"), std::string::npos);
    EXPECT_EQ(text.find(','), std::string::npos);
    if (!switched) GTEST_SKIP() << "no decimal-comma locale installed; format checked in C";
}

TEST(StlWriterTest, CancelLeavesValidFiles) {
    TempDir dir;
    CModel model;
    QuarterGrid(model);
    {
        RecordingReporter reporter(4);  // cancel before triangle 3
        ScopedReporter scope(&reporter);
        ASSERT_EQ(WriteStlAscii(dir / "a.stl", model, nullptr), kStlCancelled);
        EXPECT_EQ(reporter.calls[0], std::make_pair(0LL, 12800LL));
        EXPECT_EQ(reporter.calls[3], std::make_pair(3LL, 12800LL));
    }
    const std::string text = ReadBytes(dir / "a.stl");
    EXPECT_EQ(Lines(text), 3u * 7 + 2);
    EXPECT_EQ(text.substr(text.size() - 9), "endsolid\n");
    {
        RecordingReporter reporter(4);
        ScopedReporter scope(&reporter);
        ASSERT_EQ(WriteStlBinary(dir / "b.stl", model, nullptr), kStlCancelled);
    }
    const std::string bytes = ReadBytes(dir / "b.stl");
    ASSERT_EQ(bytes.size(), 84u + 3 * 50);
    EXPECT_EQ(CountAt80(bytes), 3u);  // rewritten to the records in the file
    CModel back;
    ASSERT_TRUE(ReadStlBinary(dir / "b.stl", back));
    EXPECT_EQ(back.faces.size(), 3u);
}

TEST(StlWriterTest, FilesThatCannotBeWrittenAreReportedWithTheReason) {
    TempDir dir;
    CModel model;
    TwoTriangles(model);
    std::string message;
    const std::string missing = dir / "no/such/dir/x.stl";
    EXPECT_EQ(WriteStlAscii(missing, model, &message), kStlWriteFailed);
    EXPECT_EQ(message,
              "Writing STL(ASCII) File ... Failed.\n" + missing + ": No such file or directory");
    EXPECT_EQ(WriteStlBinary(dir.Path().string(), model, &message), kStlWriteFailed);
    EXPECT_EQ(message.rfind("Writing STL(BIN) File ... Failed.\n", 0), 0u);
    EXPECT_NE(message.find("Is a directory"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));  // nothing written anywhere else

    // A device that takes no data: the loss is reported, not hidden.
    if (std::filesystem::exists("/dev/full")) {
        CModel grid;
        QuarterGrid(grid);
        EXPECT_EQ(WriteStlBinary("/dev/full", grid, &message), kStlWriteFailed);
        EXPECT_NE(message.find("No space left on device"), std::string::npos);
        EXPECT_EQ(WriteStlAscii("/dev/full", grid, &message), kStlWriteFailed);
    }
}

TEST(StlWriterTest, FacesNamingMissingEntriesAreWrittenAsZeros) {
    TempDir dir;
    CModel model;
    TwoTriangles(model);
    model.faces[0].faceNormal = -1;
    model.faces[1].vertex[1] = 99;
    ASSERT_EQ(WriteStlAscii(dir / "z.stl", model, nullptr), kStlWritten);
    const std::string text = ReadBytes(dir / "z.stl");
    EXPECT_NE(text.find("facet normal 0.000000 0.000000 0.000000\n"), std::string::npos);
    EXPECT_NE(text.find("vertex 0.000000 0.000000 0.000000\n"), std::string::npos);
    ASSERT_EQ(WriteStlBinary(dir / "z.bin", model, nullptr), kStlWritten);
    EXPECT_EQ(ReadBytes(dir / "z.bin").size(), 184u);
}

}  // namespace
}  // namespace velmor
