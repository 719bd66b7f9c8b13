#include "core/view3d/model_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "hang_guard.h"
#include "view3d_test_support.h"

namespace velmor::test {
namespace {

// A binary STL with `count` in its header and triangles (base, 0, 0), (base + 1, 0, 0),
// (base, 1, 0) for every base given, each with the stored normal (9, 9, 9).
std::string BinaryStl(uint32_t count, const std::vector<float>& bases,
                      const std::string& headerStart = "STL Velmor") {
    std::string bytes = headerStart;
    bytes.resize(80, ' ');
    bytes.append(reinterpret_cast<const char*>(&count), 4);
    for (const float base : bases) {
        const float record[12] = {9, 9, 9, base, 0, 0, base + 1, 0, 0, base, 1, 0};
        bytes.append(reinterpret_cast<const char*>(record), sizeof record);
        bytes += std::string(2, '\0');
    }
    return bytes;
}

bool ReadAscii(const std::string& text, CModel& model) {
    MemorySource source(text);
    return ReadStlAscii(source, model);
}
bool ReadBinary(const std::string& bytes, CModel& model) {
    MemorySource source(bytes);
    return ReadStlBinary(source, model);
}
bool ReadObjText(const std::string& text, CModel& model) {
    MemorySource source(text);
    return ReadObj(source, nullptr, model);
}
std::vector<int> Corners(const modelFace& f) {
    return {f.vertex[0], f.vertex[1], f.vertex[2]};
}
std::vector<int> NormalCorners(const modelFace& f) {
    return {f.vertexNormal[0], f.vertexNormal[1], f.vertexNormal[2]};
}

constexpr char kTwoSolids[] =
    "solid first\n  facet normal 0 0 1\n    outer loop\n"
    "      vertex 0 0 0\n      vertex 2 0 0\n      vertex 2 3 0\n"
    "    endloop\n  endfacet\nendsolid first\n"
    "SOLID second\r\n  FACET NORMAL 1 0 0\r\n      Vertex 1,2,3\r\n"
    "      vertex\t+1.5e1 -2.5 .5\r\n      vertex 7 8 nine\r\n"
    "      vertex 100 100 100\r\n      vertex 200 200 200\r\n  EndFacet\r\nendsolid\r\n";

constexpr char kFourVertices[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

TEST(StlAsciiReaderTest, FacetsSolidsAndNumbers) {
    CModel model;
    ASSERT_TRUE(ReadAscii(kTwoSolids, model));
    ExpectConsistent(model);
    ASSERT_EQ(model.faces.size(), 2u);
    ASSERT_EQ(model.vertices.size(), 6u);  // the fourth and fifth vertex lines are ignored
    // Each solid is a group of its own with the surface material.
    ASSERT_EQ(model.groups.size(), 2u);
    EXPECT_FLOAT_EQ(model.groups[1]->material.ambient[0], 0.25f);
    EXPECT_FLOAT_EQ(model.faceNormals[0].z, 6.0f);  // (p1 - p0) x (p2 - p1), not the file's
    // Comma separators, a plus sign, exponent, a leading point; text that is no number is 0.
    EXPECT_FLOAT_EQ(model.vertices[3].z, 3.0f);
    EXPECT_FLOAT_EQ(model.vertices[4].x, 15.0f);
    EXPECT_FLOAT_EQ(model.vertices[4].z, 0.5f);
    EXPECT_FLOAT_EQ(model.vertices[5].z, 0.0f);
}

TEST(StlAsciiReaderTest, BrokenFacetsAreDroppedFilesWithoutFacetsFailLinesAreWhole) {
    CModel model;
    ASSERT_TRUE(
        ReadAscii("vertex 5 5 5\n"                                     // outside any facet
                  "facet\nvertex 1 1 1\nvertex 2 2 2\nendfacet\n"      // two corners
                  "facet\nvertex 1 1 1\nvertex 2 2 2\nvertex 3 3 3\n"  // no endfacet
                  "facet\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendfacet\n"
                  "vertex 9 9 9\nendfacet\n",  // after the facet closed
                  model));
    ExpectConsistent(model);
    ASSERT_EQ(model.faces.size(), 1u);
    ASSERT_EQ(model.groups.size(), 1u);  // facets before any "solid" line get a group

    EXPECT_FALSE(ReadAscii("", model));
    EXPECT_FALSE(ReadAscii("solid nothing\nendsolid nothing\n", model));
    EXPECT_FALSE(ReadAscii("solid s\nfacets 1 2 3\n", model));  // "facets" is not "facet"

    // A vertex line of 300 bytes keeps its third number. A zero byte ends the line: the
    // "endfacet" behind it is not seen.
    const std::string facet = "solid s\nfacet\nvertex 0 0 0\nvertex 1 0 0\n";
    ASSERT_TRUE(ReadAscii(facet + "vertex 0" + std::string(280, ' ') + "1 7\nendfacet\n", model));
    EXPECT_EQ(model.vertices[2].z, 7.0f);
    EXPECT_FALSE(ReadAscii(facet + std::string("vertex 0 1 0\nx\0endfacet\n", 23), model));
}

TEST(StlBinaryReaderTest, RecordsBecomeTrianglesAndTheCountIsCutToTheFile) {
    CModel model;
    ASSERT_TRUE(ReadBinary(BinaryStl(2, {0, 10}), model));
    ExpectConsistent(model);
    ASSERT_EQ(model.faces.size(), 2u);
    EXPECT_FLOAT_EQ(model.groups[0]->material.shininess, 0.088f);
    EXPECT_FLOAT_EQ(model.faceNormals[1].z, 1.0f);  // computed, not the stored (9, 9, 9)

    // A count beyond the records, and part of a record at the end: the whole records are read.
    ASSERT_TRUE(ReadBinary(BinaryStl(10, {0, 1, 2}) + std::string(20, 'x'), model));
    EXPECT_EQ(model.faces.size(), 3u);
    // A hostile count reserves nothing beyond what the file can hold.
    CModel hostile;
    ASSERT_TRUE(ReadBinary(BinaryStl(0xFFFFFFFFu, {0, 1}), hostile));
    EXPECT_EQ(hostile.faces.size(), 2u);
    EXPECT_LE(hostile.vertices.capacity(), 6u);

    EXPECT_FALSE(ReadBinary(BinaryStl(0, {}).substr(0, 83), model));
    EXPECT_FALSE(ReadBinary(BinaryStl(0, {0}), model));  // count 0
    EXPECT_FALSE(ReadBinary(BinaryStl(5, {}) + std::string(49, '\0'), model));
}

TEST(StlReaderTest, ACancelKeepsTheFacetsReadSoFarEvenOneAnsweredAtTheFirstReport) {
    // The first report comes after the lines were counted: a Cancel pressed while counting is
    // answered there, and must not be lost.
    for (const long long cancelAt : {1, 3}) {
        SCOPED_TRACE(cancelAt);
        CModel ascii, binary;
        {
            test::RecordingReporter reporter(cancelAt);
            EXPECT_TRUE(ReadAscii(kTwoSolids, ascii));
            EXPECT_EQ(reporter.calls.size(), size_t(cancelAt));
        }
        {
            test::RecordingReporter reporter(cancelAt);
            EXPECT_TRUE(ReadBinary(BinaryStl(5, {0, 1, 2, 3, 4}), binary));
            EXPECT_EQ(reporter.calls.size(), size_t(cancelAt));
        }
        ExpectConsistent(ascii);
        ExpectConsistent(binary);
        EXPECT_EQ(ascii.faces.size(), 0u);  // the first facet ends at line 6
        EXPECT_EQ(binary.faces.size(), size_t(cancelAt - 1));
    }
}

TEST(ObjReaderTest, FaceTokenForms) {
    const std::string normals = std::string(kFourVertices) + "vn 0 0 1\nvn 0 1 0\nvn 1 0 0\n";
    CModel model;
    ASSERT_TRUE(ReadObjText(std::string(kFourVertices) + "f 1 2 3 4\n", model));
    ASSERT_EQ(model.faces.size(), 2u);  // a fan
    EXPECT_EQ(Corners(model.faces[1]), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{-1, -1, -1}));

    ASSERT_TRUE(ReadObjText(normals + "f 1//1 2//2 3//3\n", model));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{0, 1, 2}));
    ASSERT_TRUE(ReadObjText(normals + "f 1/1 2/2 3/3\n", model));  // v/t: no normals
    EXPECT_EQ(Corners(model.faces[0]), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{-1, -1, -1}));

    // The first token decides the form: a plain token in a v//n line has no normal.
    ASSERT_TRUE(ReadObjText(normals + "f 1//1 2 3//3\n", model));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{0, -1, 2}));
    ExpectConsistent(model);
}

TEST(ObjReaderTest, IndicesAreResolvedAndBrokenFacesDropped) {
    CModel model;
    ASSERT_TRUE(
        ReadObjText("v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                    "f -3 -2 -1\n"  // relative: the last three so far
                    "v 5 5 5\n"
                    "f -1 1 2\n"  // -1 is now vertex 3
                    "f 1 2 9\n"   // no vertex 9
                    "f 1 2\n"     // fewer than three
                    "f 0 1 2\n"   // 0 names nothing
                    "f -9 1 2\n"  // before the first vertex
                    "f 1 2 99999999999\n"
                    "f 1//4 2//1 3//1\n"  // no normal 4 (there are none)
                    "f 5 6 7\n"           // forward reference to vertices read later
                    "f 1 2 3 9 4\n"       // a fan: only the faces touching 9 are dropped
                    "v 6 6 6\nv 7 7 7\nv 8 8 8\n",
                    model));
    ExpectConsistent(model);
    ASSERT_EQ(model.faces.size(), 4u);
    EXPECT_EQ(Corners(model.faces[0]), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Corners(model.faces[1]), (std::vector<int>{3, 0, 1}));
    EXPECT_EQ(Corners(model.faces[2]), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(Corners(model.faces[3]), (std::vector<int>{0, 1, 2}));  // first of the fan
    EXPECT_EQ(model.groups[0]->faces, (std::vector<int>{0, 1, 2, 3}));

    // An unknown vertex record fails the file; other records are skipped.
    EXPECT_FALSE(ReadObjText(std::string(kFourVertices) + "vp 0.5 0.5\nf 1 2 3\n", model));
    ASSERT_TRUE(
        ReadObjText(std::string(kFourVertices) + "vt 0 0\n# c\no x\ns 1\nf 1 2 3\n", model));
    EXPECT_EQ(model.faces.size(), 1u);
}

// A face line of 388 bytes names 66 corners: a fan of 64 triangles, every corner whole.
TEST(ObjReaderTest, LongLinesAreReadWhole) {
    std::string text, face = "f" + std::string(8, ' ');
    for (int i = 1; i <= 66; ++i) {
        text += "v " + std::to_string(i) + " " + std::to_string(i % 7) + " 0\nvt 0 0\n";
        face.append(" ").append(std::to_string(i)).append("/").append(std::to_string(i));
    }
    face += "\n";
    ASSERT_EQ(face.size(), 388u);
    CModel model;
    ASSERT_TRUE(ReadObjText(text + face, model));
    ASSERT_EQ(model.faces.size(), 64u);
    EXPECT_EQ(Corners(model.faces[63]), (std::vector<int>{0, 64, 65}));

    // The same for a material file: a colour behind 300 blanks is still its line's.
    std::vector<modelMaterial> materials(1);
    const std::string colour = "newmtl Red\nKd" + std::string(300, ' ') + "1 0 0\n";
    MemorySource mtl(colour);
    ASSERT_TRUE(ReadMtl(mtl, materials));
    EXPECT_EQ(materials.back().diffuse[0], 1.0f);
}

// A line longer than 64 MiB fails the read it is in, whichever format it is in.
TEST(HostileFilesTest, LinesBeyond64MiBFailTheRead) {
    const std::string tooLong(64 * 1024 * 1024 + 1, ' ');
    CModel model;
    EXPECT_FALSE(ReadAscii(
        "solid s\nfacet\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendfacet\n" + tooLong + "\n",
        model));
    EXPECT_FALSE(ReadObjText(kFourVertices + tooLong + "\nf 1 2 3\n", model));
    const std::string material = "newmtl A\n" + tooLong;
    const MtlOpener longMtl = [&material](const std::string&) {
        return std::make_unique<MemorySource>(material);
    };
    const std::string objText = std::string("mtllib a.mtl\n") + kFourVertices + "f 1 2 3\n";
    MemorySource obj(objText);
    EXPECT_FALSE(ReadObj(obj, longMtl, model));
    // Exactly 64 MiB is still a line.
    EXPECT_TRUE(ReadObjText(kFourVertices + tooLong.substr(1) + "\nf 1 2 3\n", model));
    EXPECT_EQ(model.faces.size(), 1u);
}

TEST(ObjReaderTest, GroupsByNameWithoutRegardToCase) {
    CModel model;
    ASSERT_TRUE(ReadObjText(std::string(kFourVertices) +
                                "f 1 2 3\ng Lens\nf 1 2 3\ng Mount\nf 2 3 4\ng LENS\nf 1 3 4\n"
                                "g\nf 1 2 4\n",
                            model));
    ASSERT_EQ(model.groups.size(), 3u);
    EXPECT_EQ(model.groups[0]->name, "(NoName)");
    EXPECT_EQ(model.groups[0]->faces, (std::vector<int>{0, 4}));
    EXPECT_EQ(model.groups[1]->name, "Lens");
    EXPECT_EQ(model.groups[1]->faces, (std::vector<int>{1, 3}));
}

TEST(ObjReaderTest, MaterialsFromTheMaterialFile) {
    TempDir dir;
    WriteFile(dir.File("optics.mtl"),
              "Ns 250\n"  // before the first material: changes "(NoName)"
              "newmtl Glass\nKa 0.1 0.2 0.3\nKd 0.4 0.5 0.6\nKs 0.7 0.8 0.9\nNs 500\n"
              "newmtl Steel\n");
    WriteFile(dir.File("part.obj"), std::string("mtllib optics.mtl\nmtllib missing.mtl\nmtllib\n") +
                                        kFourVertices +
                                        "usemtl glass\nf 1 2 3\n"
                                        "g Body\nf 1 3 4\n"  // the material of the group before
                                        "g Cap\nusemtl Steel\nusemtl nothing-of-that-name\n"
                                        "f 2 3 4\n");
    CModel model;
    std::string reason;
    ASSERT_TRUE(ReadObj(dir.File("part.obj"), model, &reason)) << reason;
    ASSERT_EQ(model.groups.size(), 3u);
    const modelMaterial& glass = model.groups[0]->material;
    EXPECT_TRUE(glass.name == "Glass" && glass.ambient[2] == 0.3f && glass.specular[0] == 0.7f);
    EXPECT_FLOAT_EQ(glass.shininess, 64.0f);
    EXPECT_EQ(model.groups[1]->material.name, "Glass");
    // An unknown name gives the first material, "(NoName)", with the shininess set before
    // any material record.
    EXPECT_EQ(model.groups[2]->material.name, "(NoName)");
    EXPECT_FLOAT_EQ(model.groups[2]->material.shininess, 32.0f);
    // Only materials that a material record of the file made are drawn in their own colours.
    EXPECT_TRUE(glass.fromMaterialFile);
    EXPECT_TRUE(model.groups[1]->material.fromMaterialFile);
    EXPECT_FALSE(model.groups[2]->material.fromMaterialFile);
}

TEST(ModelFileTest, ExtensionsDecideTheReaderAndFailuresSayWhy) {
    MemorySource noAscii("solidworks export\n");
    EXPECT_FALSE(IsStlAscii(noAscii));
    MemorySource solidBinary(BinaryStl(2, {0, 1}, "solid exported"));
    EXPECT_FALSE(IsStlAscii(solidBinary));
    EXPECT_EQ(ModelFileTypeOf("/x.stl/model"), ModelFileType::kUnsupported);
    const struct {
        const char* name;
        std::string bytes;
        const char* message;  // empty: read, two faces
    } files[] = {
        {"upper.STL", BinaryStl(2, {0, 1}), ""},
        {"mixed.Obj", std::string(kFourVertices) + "f 1 2 3 4\n", ""},
        {"model.txt", kTwoSolids, "File Extension ... Unsupported."},
        // A binary file whose header begins with "solid" is binary when its size is exactly
        // that of its count; with any other size it is taken for ASCII.
        {"solid_header.stl", BinaryStl(2, {0, 1}, "solid exported"), ""},
        {"solid_header_cut.stl", BinaryStl(2, {0, 1}, "solid exported") + "x",
         "Reading STL(ASCII) File ... Failed."},
        {"broken.obj", "vx 1 2 3\n", "Reading OBJ File... Failed."},
    };
    TempDir dir;
    CModel model;
    std::string message;
    for (const auto& file : files) {
        WriteFile(dir.File(file.name), file.bytes);
        const bool read = *file.message == '\0';
        EXPECT_EQ(ReadModelFile(dir.File(file.name), model, &message), read ? 0 : -1) << file.name;
        EXPECT_EQ(model.faces.size(), read ? 2u : 0u) << file.name;
        EXPECT_EQ(read ? std::string() : message, file.message);
    }
    EXPECT_EQ(ReadModelFile(dir.File("missing.stl"), model, &message), -1);
    EXPECT_EQ(message, "Reading STL(BIN) File ... Failed.\n" + dir.File("missing.stl") +
                           ": No such file or directory");
    // Devices are refused rather than read without end.
    EXPECT_FALSE(ReadStlAscii("/dev/zero", model, &message));
}

#ifndef _WIN32  // Windows keeps named pipes out of the file system
// Named pipes, directories and devices are refused before anything is read, without waiting
// for a writer; a material library that is a pipe is skipped like a missing one.
TEST(ModelFileTest, OnlyRegularFilesAreRead) {
    TempDir dir;
    ASSERT_TRUE(MakeFifo(dir.File("pipe.stl")) && MakeFifo(dir.File("pipe.obj")) &&
                MakeFifo(dir.File("pipe.mtl")));
    std::filesystem::create_directory(dir.File("folder.stl"));
    WriteFile(dir.File("part.obj"), std::string("mtllib pipe.mtl\n") + kFourVertices + "f 1 2 3\n");
    const HangGuard guard("reading a named pipe");
    CModel model;
    std::string message;
    const std::pair<std::string, const char*> refused[] = {
        {dir.File("pipe.stl"), kReadStlBinaryFailed},
        {dir.File("pipe.obj"), kReadObjFailed},
        {dir.File("folder.stl"), kReadStlBinaryFailed},
    };
    for (const auto& [path, failure] : refused) {
        EXPECT_EQ(ReadModelFile(path, model, &message), -1);
        EXPECT_EQ(message, std::string(failure) + "\n" + path + ": not a regular file");
    }
    EXPECT_FALSE(IsStlAscii(dir.File("pipe.stl")));
    ASSERT_EQ(ReadModelFile(dir.File("part.obj"), model, &message), 0) << message;
    EXPECT_EQ(model.faces.size(), 1u);
}
#endif

// Every reader over the same bytes, failing or reading only indices that name something;
// an OBJ's material library resolves to the bytes again.
void ReadEveryWay(const std::string& bytes) {
    CModel model;
    MemorySource ascii(bytes), binary(bytes), obj(bytes), mtl(bytes);
    IsStlAscii(ascii);
    if (ReadStlAscii(ascii, model)) ExpectConsistent(model);
    if (ReadStlBinary(binary, model)) ExpectConsistent(model);
    const MtlOpener self = [&bytes](const std::string&) {
        return std::make_unique<MemorySource>(bytes);
    };
    if (ReadObj(obj, self, model)) ExpectConsistent(model);
    std::vector<modelMaterial> materials(1);
    ReadMtl(mtl, materials);
    EXPECT_GE(materials.size(), 1u);
}

TEST(HostileFilesTest, TruncatedFilesValuesFarOutOfRangeAndTheKeptRegressionFiles) {
    const std::string obj =
        "mtllib self.mtl\nnewmtl Red\nKd 1 0 0\nNs 100\n" + std::string(kFourVertices) +
        "vn 0 0 1\nvt 0 0\ng a\nusemtl red\nf 1//1 2//1 3//1\ng b\nf -4/1/1 -3/1/1 -2/1/1 -1/1/1\n";
    for (const std::string& whole : {std::string(kTwoSolids), BinaryStl(3, {0, 1, 2}), obj}) {
        for (size_t n = 0; n <= whole.size(); ++n) ReadEveryWay(whole.substr(0, n));
    }
    ReadEveryWay(std::string("solid") + std::string(75, ' ') + "\xff\xff\xff\x7f");
    ReadEveryWay("f 2147483647 -2147483648 1\nv 1 2 3\nf 1 1 1 1 1 1 1 1 1 1 1 1\n");
    ReadEveryWay("f -1 -1 -1\nvn 1e999 -1e999 1e-999\nv nan inf -inf\nf 1//-1 1//1 1//1\n");
    ReadEveryWay(std::string(100000, 'f'));  // one face line without any corner
    ReadEveryWay(std::string(4096, '\0'));
    // The inputs the fuzzers found.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(VELMOR_TEST_DATA_DIR) / "model_crashes")) {
        SCOPED_TRACE(entry.path().filename().string());
        ReadEveryWay(ReadFile(entry.path().string()));
        ++files;
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace velmor::test
