#include "view3d/model_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "view3d_test_support.h"

namespace velmor {
namespace {

using testing::ExpectConsistent;
using testing::RecordingReporter;
using testing::ScopedReporter;
using testing::TempDir;
using testing::WriteBytes;

void PutU32(std::string& bytes, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void PutF32(std::string& bytes, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    PutU32(bytes, v);
}

// A binary STL with `count` in its header and the records given (12 floats each).
std::string BinaryStl(uint32_t count, const std::vector<std::vector<float>>& records,
                      const std::string& headerStart = "STL Velmor") {
    std::string bytes = headerStart;
    bytes.resize(80, ' ');
    PutU32(bytes, count);
    for (const auto& r : records) {
        for (float f : r) PutF32(bytes, f);
        bytes += std::string(2, '\0');
    }
    return bytes;
}

std::vector<float> Record(float base) {
    return {9, 9, 9, base, 0, 0, base + 1, 0, 0, base, 1, 0};
}

bool ReadAscii(const std::string& text, CModel& model) {
    MemorySource source(text);
    return ReadStlAscii(source, model);
}

bool ReadObjText(const std::string& text, CModel& model) {
    MemorySource source(text);
    return ReadObj(source, nullptr, model);
}

constexpr char kTwoSolids[] =
    "solid first\n"
    "  facet normal 0 0 1\n"
    "    outer loop\n"
    "      vertex 0 0 0\n"
    "      vertex 2 0 0\n"
    "      vertex 2 3 0\n"
    "    endloop\n"
    "  endfacet\n"
    "endsolid first\n"
    "SOLID second\r\n"
    "  FACET NORMAL 1 0 0\r\n"
    "      Vertex 1,2,3\r\n"
    "      vertex\t+1.5e1 -2.5 .5\r\n"
    "      vertex 7 8 nine\r\n"
    "      vertex 100 100 100\r\n"
    "  EndFacet\r\n"
    "endsolid\r\n";

TEST(StlAsciiReaderTest, FacetsSolidsAndNumbers) {
    CModel model;
    ASSERT_TRUE(ReadAscii(kTwoSolids, model));
    ExpectConsistent(model);
    ASSERT_EQ(model.faces.size(), 2u);
    ASSERT_EQ(model.vertices.size(), 6u);
    // Each solid is a group of its own with the surface material and no name.
    ASSERT_EQ(model.groups.size(), 2u);
    EXPECT_EQ(model.groups[0]->faces, std::vector<int>{0});
    EXPECT_EQ(model.groups[1]->faces, std::vector<int>{1});
    EXPECT_TRUE(model.groups[1]->name.empty());
    EXPECT_FLOAT_EQ(model.groups[1]->material.ambient[0], 0.25f);
    // Face k: its own vertices 3k..3k+2, face normal k = (p1 - p0) x (p2 - p1), file normal unused.
    EXPECT_EQ(model.faces[1].vertex[0], 3);
    EXPECT_EQ(model.faces[1].vertex[2], 5);
    EXPECT_EQ(model.faces[1].vertexNormal[0], -1);
    EXPECT_EQ(model.faces[1].faceNormal, 1);
    EXPECT_FLOAT_EQ(model.faceNormals[0].x, 0.0f);
    EXPECT_FLOAT_EQ(model.faceNormals[0].z, 6.0f);
    // Comma separators, a plus sign, exponent, a leading point; text that is no number is 0;
    // a fourth (and fifth) vertex line of a facet is ignored.
    EXPECT_FLOAT_EQ(model.vertices[3].z, 3.0f);
    EXPECT_FLOAT_EQ(model.vertices[4].x, 15.0f);
    EXPECT_FLOAT_EQ(model.vertices[4].y, -2.5f);
    EXPECT_FLOAT_EQ(model.vertices[4].z, 0.5f);
    EXPECT_FLOAT_EQ(model.vertices[5].y, 8.0f);
    EXPECT_FLOAT_EQ(model.vertices[5].z, 0.0f);
    EXPECT_TRUE(model.vertexNormals.empty());
}

TEST(StlAsciiReaderTest, FifthVertexLineIsIgnored) {
    CModel model;
    ASSERT_TRUE(
        ReadAscii("solid s\nfacet normal 0 0 1\nouter loop\n"
                  "vertex 1 0 0\nvertex 2 0 0\nvertex 3 0 0\nvertex 4 0 0\nvertex 5 0 0\n"
                  "endloop\nendfacet\nendsolid s\n",
                  model));
    ASSERT_EQ(model.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(model.vertices[0].x, 1.0f);
    EXPECT_FLOAT_EQ(model.vertices[2].x, 3.0f);
}

TEST(StlAsciiReaderTest, BrokenFacetsAreDropped) {
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
    ASSERT_EQ(model.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(model.vertices[1].x, 1.0f);
    ASSERT_EQ(model.groups.size(), 1u);  // facets before any "solid" line get a group
    EXPECT_EQ(model.groups[0]->faces, std::vector<int>{0});
}

TEST(StlAsciiReaderTest, FilesWithoutCompleteFacetsFail) {
    CModel model;
    EXPECT_FALSE(ReadAscii("", model));
    EXPECT_FALSE(ReadAscii("solid nothing\nendsolid nothing\n", model));
    EXPECT_FALSE(ReadAscii("solid s\nfacet\nvertex 1 2 3\nendfacet\n", model));
    EXPECT_FALSE(ReadAscii("solid s\nfacets 1 2 3\n", model));  // "facets" is not "facet"
}

TEST(StlAsciiReaderTest, LinesAreReadThroughA256ByteBuffer) {
    // A 300-byte line is read as a 255-byte line and the rest: "endfacet" after 255 blanks is
    // a keyword of its own line.
    std::string text = "solid s\nfacet\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n";
    text += std::string(255, ' ') + "endfacet\n";
    CModel model;
    ASSERT_TRUE(ReadAscii(text, model));
    EXPECT_EQ(model.faces.size(), 1u);

    // A zero byte ends the line for the reader: the "endfacet" behind it is not seen.
    std::string zero = "solid s\nfacet\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n";
    zero += std::string("x\0endfacet\n", 11);
    EXPECT_FALSE(ReadAscii(zero, model));
}

TEST(StlAsciiReaderTest, CancelKeepsTheFacetsRead) {
    std::string text = "solid s\n";
    for (int i = 0; i < 10; ++i) {
        text +=
            "facet\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 " + std::to_string(i) + "\nendfacet\n";
    }
    // The (0, n) call, then one before every line: cancel before the fourth "facet" line.
    RecordingReporter reporter(1 + 1 + 5 * 3 + 1);
    ScopedReporter scope(&reporter);
    CModel model;
    ASSERT_TRUE(ReadAscii(text, model));
    EXPECT_EQ(reporter.calls.front(), std::make_pair(0LL, 10LL));
    EXPECT_EQ(model.faces.size(), 3u);
    ExpectConsistent(model);
}

TEST(StlAsciiReaderTest, FirstTokenSolidMeansAscii) {
    auto ascii = [](const std::string& text) {
        MemorySource source(text);
        return IsStlAscii(source);
    };
    EXPECT_TRUE(ascii("solid x\n"));
    EXPECT_TRUE(ascii("  SoLiD\n"));
    EXPECT_TRUE(ascii(",\tsolid,x"));
    EXPECT_FALSE(ascii("solidworks export\n"));
    EXPECT_FALSE(ascii("\nsolid\n"));  // only the first line counts
    EXPECT_FALSE(ascii(""));
    EXPECT_TRUE(ascii(BinaryStl(1, {Record(0)}, "solid by a binary exporter")));
}

TEST(StlBinaryReaderTest, RecordsBecomeTriangles) {
    CModel model;
    const std::string bytes = BinaryStl(2, {Record(0), Record(10)});
    MemorySource source(bytes);
    ASSERT_TRUE(ReadStlBinary(source, model));
    ExpectConsistent(model);
    ASSERT_EQ(model.faces.size(), 2u);
    ASSERT_EQ(model.groups.size(), 1u);
    EXPECT_EQ(model.groups[0]->faces, (std::vector<int>{0, 1}));
    EXPECT_FLOAT_EQ(model.groups[0]->material.shininess, 0.088f);
    EXPECT_FLOAT_EQ(model.vertices[3].x, 10.0f);
    EXPECT_FLOAT_EQ(model.vertices[4].x, 11.0f);
    // The stored normal (9, 9, 9) is read past; the face normal is computed.
    EXPECT_FLOAT_EQ(model.faceNormals[1].x, 0.0f);
    EXPECT_FLOAT_EQ(model.faceNormals[1].z, 1.0f);
}

TEST(StlBinaryReaderTest, CountIsCutToTheRecordsInTheFile) {
    CModel model;
    std::string bytes = BinaryStl(10, {Record(0), Record(1), Record(2)});
    bytes += std::string(20, 'x');  // part of a fourth record
    MemorySource source(bytes);
    ASSERT_TRUE(ReadStlBinary(source, model));
    EXPECT_EQ(model.faces.size(), 3u);
    ExpectConsistent(model);

    // A hostile count reserves nothing beyond what the file can hold.
    CModel hostile;
    const std::string hostileBytes = BinaryStl(0xFFFFFFFFu, {Record(0), Record(1)});
    MemorySource huge(hostileBytes);
    ASSERT_TRUE(ReadStlBinary(huge, hostile));
    EXPECT_EQ(hostile.faces.size(), 2u);
    EXPECT_LE(hostile.faces.capacity(), 2u);
    EXPECT_LE(hostile.vertices.capacity(), 6u);
}

TEST(StlBinaryReaderTest, MissingHeaderCountOrRecordsFail) {
    CModel model;
    auto read = [&](const std::string& bytes) {
        MemorySource source(bytes);
        return ReadStlBinary(source, model);
    };
    EXPECT_FALSE(read(""));
    EXPECT_FALSE(read(std::string(50, 'h')));
    EXPECT_FALSE(read(BinaryStl(0, {}).substr(0, 83)));
    EXPECT_FALSE(read(BinaryStl(0, {Record(0)})));  // count 0
    EXPECT_FALSE(read(BinaryStl(5, {})));           // no complete record
    EXPECT_FALSE(read(BinaryStl(5, {}) + std::string(49, '\0')));
    EXPECT_TRUE(model.faces.empty());
}

TEST(StlBinaryReaderTest, CancelKeepsTheRecordsRead) {
    std::vector<std::vector<float>> records;
    for (int i = 0; i < 100; ++i) records.push_back(Record(static_cast<float>(i)));
    RecordingReporter reporter(1 + 7);  // (0, c), then after every record
    ScopedReporter scope(&reporter);
    CModel model;
    const std::string bytes = BinaryStl(100, records);
    MemorySource source(bytes);
    ASSERT_TRUE(ReadStlBinary(source, model));
    EXPECT_EQ(model.faces.size(), 7u);
    EXPECT_EQ(reporter.calls[0], std::make_pair(0LL, 100LL));
    EXPECT_EQ(reporter.calls[7], std::make_pair(7LL, 100LL));
    ExpectConsistent(model);
}

std::vector<int> Corners(const modelFace& f) {
    return {f.vertex[0], f.vertex[1], f.vertex[2]};
}
std::vector<int> NormalCorners(const modelFace& f) {
    return {f.vertexNormal[0], f.vertexNormal[1], f.vertexNormal[2]};
}

constexpr char kFourVertices[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

TEST(ObjReaderTest, FaceTokenForms) {
    CModel model;
    ASSERT_TRUE(ReadObjText(std::string(kFourVertices) + "f 1 2 3 4\n", model));
    ASSERT_EQ(model.faces.size(), 2u);
    EXPECT_EQ(Corners(model.faces[0]), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Corners(model.faces[1]), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{-1, -1, -1}));

    const std::string normals = "vn 0 0 1\nvn 0 1 0\nvn 1 0 0\n";
    ASSERT_TRUE(ReadObjText(kFourVertices + normals + "f 1//1 2//2 3//3\n", model));
    ASSERT_EQ(model.faces.size(), 1u);
    EXPECT_EQ(Corners(model.faces[0]), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{0, 1, 2}));
    EXPECT_FLOAT_EQ(model.vertexNormals[2].x, 1.0f);

    ASSERT_TRUE(ReadObjText(kFourVertices + normals + "f 1/1 2/2 3/3\n", model));
    EXPECT_EQ(Corners(model.faces[0]), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{-1, -1, -1}));

    ASSERT_TRUE(ReadObjText(kFourVertices + normals + "f 4/9/3 3/9/2 2/9/1 1/9/1\n", model));
    ASSERT_EQ(model.faces.size(), 2u);
    EXPECT_EQ(Corners(model.faces[1]), (std::vector<int>{3, 1, 0}));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(NormalCorners(model.faces[1]), (std::vector<int>{2, 0, 0}));

    // The first token decides the form: a plain token in a v//n line has no normal.
    ASSERT_TRUE(ReadObjText(kFourVertices + normals + "f 1//1 2 3//3\n", model));
    EXPECT_EQ(NormalCorners(model.faces[0]), (std::vector<int>{0, -1, 2}));

    // Face normals are computed per face and numbered in order.
    ASSERT_EQ(model.faceNormals.size(), 1u);
    EXPECT_EQ(model.faces[0].faceNormal, 0);
    EXPECT_FLOAT_EQ(model.faceNormals[0].z, 1.0f);
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
                    "f 1 2 x\n"   // not a number
                    "f 1 2 99999999999\n"
                    "f 1//4 2//1 3//1\n"  // no normal 4 (there are none)
                    "f 5 6 7\n"           // forward reference to vertices read later
                    "f 1 2 3 9 4\n"       // a fan: only the faces touching 9 are dropped
                    "v 6 6 6\nv 7 7 7\nv 8 8 8\n"
                    "f \n",
                    model));
    ExpectConsistent(model);
    ASSERT_EQ(model.faces.size(), 4u);
    EXPECT_EQ(Corners(model.faces[0]), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Corners(model.faces[1]), (std::vector<int>{3, 0, 1}));
    EXPECT_EQ(Corners(model.faces[2]), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(Corners(model.faces[3]), (std::vector<int>{0, 1, 2}));  // first of the fan
    EXPECT_EQ(model.groups[0]->faces, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(model.faces[3].faceNormal, 3);
}

TEST(ObjReaderTest, GroupsByNameWithoutRegardToCase) {
    CModel model;
    ASSERT_TRUE(ReadObjText(std::string(kFourVertices) + "f 1 2 3\n"
                                                         "g Lens\nf 1 2 3\n"
                                                         "g Mount\nf 2 3 4\n"
                                                         "g LENS\nf 1 3 4\n"
                                                         "g\nf 1 2 4\n",
                            model));
    ASSERT_EQ(model.groups.size(), 3u);
    EXPECT_EQ(model.groups[0]->name, "(NoName)");
    EXPECT_EQ(model.groups[0]->faces, (std::vector<int>{0, 4}));
    EXPECT_EQ(model.groups[1]->name, "Lens");
    EXPECT_EQ(model.groups[1]->faces, (std::vector<int>{1, 3}));
    EXPECT_EQ(model.groups[2]->faces, (std::vector<int>{2}));
    EXPECT_FLOAT_EQ(model.groups[1]->material.diffuse[0], 0.8f);  // default material
}

TEST(ObjReaderTest, UnknownVertexRecordFails) {
    CModel model;
    EXPECT_FALSE(ReadObjText(std::string(kFourVertices) + "vp 0.5 0.5\nf 1 2 3\n", model));
    ASSERT_TRUE(
        ReadObjText(std::string(kFourVertices) + "vt 0.5 0.5\n# c\no x\ns 1\nf 1 2 3\n", model));
    EXPECT_EQ(model.faces.size(), 1u);
    // Missing coordinates are 0.
    ASSERT_TRUE(ReadObjText("v 1\nv 2 3\nv 4 5 6 7\n", model));
    EXPECT_FLOAT_EQ(model.vertices[0].y, 0.0f);
    EXPECT_FLOAT_EQ(model.vertices[1].y, 3.0f);
    EXPECT_FLOAT_EQ(model.vertices[2].z, 6.0f);
    // An empty file is an empty model.
    ASSERT_TRUE(ReadObjText("", model));
    EXPECT_TRUE(model.faces.empty());
    ASSERT_EQ(model.groups.size(), 1u);
}

TEST(ObjReaderTest, MaterialsFromTheMaterialFile) {
    TempDir dir;
    WriteBytes(dir / "optics.mtl",
               "Ns 250\n"  // before the first material: changes "(NoName)"
               "newmtl Glass\n"
               "Ka 0.1 0.2 0.3\n"
               "Kd 0.4 0.5 0.6\n"
               "Ks 0.7 0.8 0.9\n"
               "Ns 500\n"
               "newmtl Steel\n"
               "Kd 1 1 1\n"
               "Ni 1.5\n");  // every N record sets the shininess
    WriteBytes(dir / "part.obj", std::string("mtllib optics.mtl\nmtllib missing.mtl\nmtllib\n") +
                                     kFourVertices +
                                     "usemtl glass\n"
                                     "f 1 2 3\n"
                                     "g Body\n"  // takes the material of the group before
                                     "f 1 3 4\n"
                                     "g Cap\n"
                                     "usemtl Steel\n"
                                     "usemtl nothing-of-that-name\n"
                                     "f 2 3 4\n");
    CModel model;
    std::string reason;
    ASSERT_TRUE(ReadObj(dir / "part.obj", model, &reason)) << reason;
    ASSERT_EQ(model.groups.size(), 3u);
    const modelMaterial& glass = model.groups[0]->material;
    EXPECT_EQ(glass.name, "Glass");
    EXPECT_FLOAT_EQ(glass.ambient[2], 0.3f);
    EXPECT_FLOAT_EQ(glass.ambient[3], 1.0f);  // alpha kept
    EXPECT_FLOAT_EQ(glass.diffuse[1], 0.5f);
    EXPECT_FLOAT_EQ(glass.specular[0], 0.7f);
    EXPECT_FLOAT_EQ(glass.shininess, 64.0f);
    EXPECT_EQ(model.groups[1]->material.name, "Glass");
    // An unknown name gives the first material, "(NoName)", with the shininess set before
    // any material record.
    const modelMaterial& cap = model.groups[2]->material;
    EXPECT_EQ(cap.name, "(NoName)");
    EXPECT_FLOAT_EQ(cap.shininess, 32.0f);
    EXPECT_FLOAT_EQ(cap.diffuse[0], 0.8f);

    std::vector<modelMaterial> materials(1);
    ASSERT_TRUE(ReadMtl(dir / "part.obj", "optics.mtl", materials));
    ASSERT_EQ(materials.size(), 3u);
    EXPECT_EQ(materials[2].name, "Steel");
    EXPECT_FLOAT_EQ(materials[2].shininess, static_cast<float>(1.5 / 1000 * 128));
    EXPECT_FALSE(ReadMtl(dir / "part.obj", "missing.mtl", materials));
}

TEST(ObjReaderTest, CancelDoesNotStopReading) {
    std::string text = kFourVertices;
    for (int i = 0; i < 20; ++i) text += "f 1 2 3\n";
    RecordingReporter reporter(3);
    ScopedReporter scope(&reporter);
    CModel model;
    ASSERT_TRUE(ReadObjText(text, model));
    EXPECT_EQ(model.faces.size(), 20u);
    EXPECT_EQ(reporter.calls[0], std::make_pair(0LL, 20LL));
}

TEST(ModelFileTest, ExtensionsDecideTheReader) {
    EXPECT_EQ(ModelFileTypeOf("/x/a.STL"), ModelFileType::kStl);
    EXPECT_EQ(ModelFileTypeOf("a.Obj"), ModelFileType::kObj);
    EXPECT_EQ(ModelFileTypeOf("a.stl.txt"), ModelFileType::kUnsupported);
    EXPECT_EQ(ModelFileTypeOf("/x.stl/model"), ModelFileType::kUnsupported);
    EXPECT_EQ(ModelFileTypeOf("model"), ModelFileType::kUnsupported);

    TempDir dir;
    std::vector<std::vector<float>> records = {Record(0), Record(1)};
    WriteBytes(dir / "upper.STL", BinaryStl(2, records));
    WriteBytes(dir / "text.Stl", kTwoSolids);
    WriteBytes(dir / "mixed.Obj", std::string(kFourVertices) + "f 1 2 3 4\n");
    WriteBytes(dir / "model.txt", kTwoSolids);
    WriteBytes(dir / "solid_header.stl", BinaryStl(2, records, "solid exported"));
    WriteBytes(dir / "broken.obj", "vx 1 2 3\n");

    CModel model;
    std::string message;
    EXPECT_EQ(ReadModelFile(dir / "upper.STL", model, &message), 0);
    EXPECT_EQ(model.faces.size(), 2u);
    EXPECT_EQ(ReadModelFile(dir / "text.Stl", model, &message), 0);
    EXPECT_EQ(model.groups.size(), 2u);
    EXPECT_EQ(ReadModelFile(dir / "mixed.Obj", model, &message), 0);
    EXPECT_EQ(model.faces.size(), 2u);

    EXPECT_EQ(ReadModelFile(dir / "model.txt", model, &message), -1);
    EXPECT_EQ(message, "File Extension ... Unsupported.");
    EXPECT_EQ(ReadModelFile(dir / "solid_header.stl", model, &message), -1);
    EXPECT_EQ(message, "Reading STL(ASCII) File ... Failed.");
    EXPECT_TRUE(model.faces.empty() && model.groups.empty());
    EXPECT_EQ(ReadModelFile(dir / "broken.obj", model, &message), -1);
    EXPECT_EQ(message, "Reading OBJ File... Failed.");
}

TEST(ModelFileTest, FilesThatCannotBeOpenedSayWhy) {
    TempDir dir;
    CModel model;
    std::string message;
    const std::string missing = dir / "missing.stl";
    EXPECT_EQ(ReadModelFile(missing, model, &message), -1);
    EXPECT_EQ(message,
              "Reading STL(BIN) File ... Failed.\n" + missing + ": No such file or directory");
    std::filesystem::create_directory(dir / "folder.obj");
    EXPECT_EQ(ReadModelFile(dir / "folder.obj", model, &message), -1);
    EXPECT_EQ(message, "Reading OBJ File... Failed.\n" + (dir / "folder.obj") + ": Is a directory");
    // Devices are refused rather than read without end.
    if (std::filesystem::exists("/dev/zero")) {
        std::string reason;
        EXPECT_FALSE(ReadStlAscii("/dev/zero", model, &reason));
        EXPECT_FALSE(reason.empty());
    }
}

}  // namespace
}  // namespace velmor
