// Truncated, mutated and hostile files of every format: the readers fail or read what is there,
// and every index of what they read names something that exists.
#include <gtest/gtest.h>

#include <random>

#include "view3d/mesh_builder.h"
#include "view3d/model_reader.h"
#include "view3d/stl_writer.h"
#include "view3d_test_support.h"

namespace velmor {
namespace {

using testing::ExpectConsistent;
using testing::FormulaSampler;
using testing::ReadBytes;
using testing::TempDir;

// Every reader over the same bytes; an OBJ's material library resolves to the bytes again.
void ReadEveryWay(const std::string& bytes) {
    {
        MemorySource source(bytes);
        IsStlAscii(source);
        CModel model;
        if (ReadStlAscii(source, model)) ExpectConsistent(model);
    }
    {
        MemorySource source(bytes);
        CModel model;
        if (ReadStlBinary(source, model)) ExpectConsistent(model);
    }
    {
        MemorySource source(bytes);
        const MtlOpener self = [&bytes](const std::string&) {
            return std::make_unique<MemorySource>(bytes);
        };
        CModel model;
        if (ReadObj(source, self, model)) ExpectConsistent(model);
    }
    {
        MemorySource source(bytes);
        std::vector<modelMaterial> materials(1);
        ReadMtl(source, materials);
        EXPECT_GE(materials.size(), 1u);
    }
}

std::string SmallMeshFile(bool binary) {
    TempDir dir;
    FormulaSampler sampler([](double x, double y) { return x * y; });
    MeshParams p;
    p.xmin = p.ymin = 0;
    p.xmax = p.ymax = 1;
    p.dx = p.dy = 0.5;
    CModel model;
    BuildSurfaceMesh(p, sampler, model, nullptr);
    const std::string path = dir / "m.stl";
    if (binary) {
        WriteStlBinary(path, model, nullptr);
    } else {
        WriteStlAscii(path, model, nullptr);
    }
    return ReadBytes(path);
}

const char kObj[] =
    "mtllib self.mtl\n"
    "newmtl Red\nKd 1 0 0\nNs 100\n"
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nvt 0 0\n"
    "g a\nusemtl red\nf 1//1 2//1 3//1\n"
    "g b\nf -4/1/1 -3/1/1 -2/1/1 -1/1/1\n"
    "f 1 2 3 4\n";

TEST(HostileFilesTest, TruncatedFilesOfEveryFormat) {
    const std::string ascii = SmallMeshFile(false);
    const std::string binary = SmallMeshFile(true);
    ASSERT_EQ(binary.size(), 84u + 8 * 50);
    for (const std::string& whole : {ascii, binary, std::string(kObj)}) {
        for (size_t n = 0; n <= whole.size(); ++n) ReadEveryWay(whole.substr(0, n));
    }
    // A binary file cut inside a record keeps the whole records before the cut.
    for (size_t n = 84; n <= binary.size(); n += 7) {
        MemorySource source(std::string_view(binary).substr(0, n));
        CModel model;
        const bool read = ReadStlBinary(source, model);
        EXPECT_EQ(read, n >= 134);
        EXPECT_EQ(model.faces.size(), (n - 84) / 50);
    }
}

TEST(HostileFilesTest, MutatedFilesOfEveryFormat) {
    std::mt19937 random(2024);
    const std::string seeds[] = {SmallMeshFile(false), SmallMeshFile(true), kObj};
    const std::string alphabet = "fgmuvnKN/-+0123456789 ,\t\r\n\0.eE";
    for (const std::string& seed : seeds) {
        for (int round = 0; round < 300; ++round) {
            std::string bytes = seed;
            const int edits = 1 + static_cast<int>(random() % 8);
            for (int e = 0; e < edits && !bytes.empty(); ++e) {
                const size_t at = random() % bytes.size();
                switch (random() % 4) {
                    case 0:
                        bytes[at] = static_cast<char>(random());
                        break;
                    case 1:
                        bytes[at] = alphabet[random() % alphabet.size()];
                        break;
                    case 2:
                        bytes.erase(at, 1 + random() % 16);
                        break;
                    default:
                        bytes.insert(at, seed.substr(random() % seed.size(), random() % 40));
                }
            }
            ReadEveryWay(bytes);
        }
    }
}

TEST(HostileFilesTest, CountsAndIndicesFarOutOfRange) {
    const std::string huge = std::string("solid") + std::string(75, ' ') + "\xff\xff\xff\x7f";
    ReadEveryWay(huge);
    ReadEveryWay("f 2147483647 -2147483648 1\nv 1 2 3\nf 1 1 1 1 1 1 1 1 1 1 1 1\n");
    ReadEveryWay("f -1 -1 -1\nvn 1e999 -1e999 1e-999\nv nan inf -inf\nf 1//-1 1//1 1//1\n");
    ReadEveryWay(std::string(100000, 'f'));  // one face line split every 255 bytes
    ReadEveryWay(std::string(100000, '\n'));
    ReadEveryWay(std::string(4096, '\0'));
    std::string facets;
    for (int i = 0; i < 2000; ++i) facets += "facet\nendfacet\nvertex 1 1 1\n";
    ReadEveryWay(facets);
}

// Inputs the fuzzers found or that were written against the readers: each must read cleanly.
TEST(HostileFilesTest, KeptRegressionFilesReadCleanly) {
    const std::filesystem::path folder =
        std::filesystem::path(VELMOR_TEST_DATA_DIR) / "model_crashes";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        ReadEveryWay(ReadBytes(entry.path().string()));
        ++files;
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace velmor
