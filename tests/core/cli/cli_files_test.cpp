// velmor-cli with files: script compiles and listings, STL export read back byte by byte,
// model import, the views image, and every way a command line or a file can be wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace velmor::test {
namespace {

// The program's example script, as the Interpreter window starts with it.
constexpr char kExampleScript[] =
    "//program ex. <Even Asphere>\r\n"
    "c = 0.25;\t//curvature\r\n"
    "k = 0.0;\t//conic constant\r\n"
    "a1 = 0.0;\r\n"
    "a2 = 0.0;\r\n"
    "a3 = 0.0;\r\n"
    "a4 = 0.0;\r\n"
    "rr = x*x + y*y;\r\n"
    "A = 1.0 - (1.0+k)*c*c*rr;\r\n"
    "A = max(0.0, A);\r\n"
    "z = c*rr / (1.0 + sqrt(A));\r\n"
    "z = z + a1*rr;\r\n"
    "z = z + a2*rr*rr;\r\n"
    "z = z + a3*rr*rr*rr;\r\n"
    "z = z + a4*rr*rr*rr*rr;\r\n"
    "z = min(z, 2.0);\t//limitation\r\n";

// A sphere of curvature 0.25, the sag the built-in records' cv gives the even asphere. Beyond
// its radius of 4 the library fails the sample, and a mesh puts a failed point at z = 0.
double SphereSag(double x, double y) {
    const double r2 = x * x + y * y;
    const double arg = 1.0 - 0.25 * 0.25 * r2;
    return arg < 0.0 ? 0.0 : 0.25 * r2 / (1.0 + std::sqrt(arg));
}

// Points a coordinate takes from min by repeated addition of step while it stays <= max.
int RepeatedAdditionCount(double min, double max, double step) {
    int count = 0;
    for (double v = min; v <= max; v += step) ++count;
    return count;
}

float FloatAt(const std::string& bytes, std::size_t offset) {
    float value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

TEST(CliFilesTest, CompilePrintsTheOutputBoxText) {
    REQUIRE_CLI();
    CliTempDir dir;
    const std::string example = dir.File("example.txt");
    WriteFile(example, kExampleScript);
    CliRun run = RunCli({"compile", example});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "-- PARSER : no error --\r\n");

    // The same text with bare line feeds compiles alike.
    std::string lf = kExampleScript;
    for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
    const std::string unix = dir.File("unix.txt");
    WriteFile(unix, lf);
    EXPECT_EQ(RunCli({"compile", unix}).out, "-- PARSER : no error --\r\n");

    // z never assigned: the test run's note, and the script still counts as compiled.
    const std::string noZ = dir.File("no_z.txt");
    WriteFile(noZ, "a = 1;\n");
    run = RunCli({"compile", noZ});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "-- EXCUTE with(x=0.0, y=0.0) : error --\r\n"
              "z: uninitialized. (assume 0.0)\r\n\r\n");

    // Dividing by x fails in the test run at x = 0, and the block says so.
    const std::string divide = dir.File("divide.txt");
    WriteFile(divide, "z = 1/x;\n");
    run = RunCli({"compile", divide});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("-- EXCUTE with(x=0.0, y=0.0) : error --\r\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Divided 0"), std::string::npos) << run.out;

    const std::string broken = dir.File("broken.txt");
    WriteFile(broken, "z = = 1;\n");
    run = RunCli({"compile", broken});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("-- PARSER : error --\r\n[", 0), 0u) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 4), "\r\n\r\n");

    const std::string empty = dir.File("empty.txt");
    WriteFile(empty, "");
    run = RunCli({"compile", empty});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "-- source : empty --\r\n");

    const auto json = nlohmann::json::parse(RunCli({"--json", "compile", broken}).out);
    EXPECT_EQ(json["command"], "compile");
    EXPECT_EQ(json["compile_errors"], 1);
    EXPECT_EQ(json["instructions"], 0);
}

TEST(CliFilesTest, ListingOfTheCompiledCode) {
    REQUIRE_CLI();
    CliTempDir dir;
    const std::string example = dir.File("example.txt");
    WriteFile(example, kExampleScript);
    const CliRun run = RunCli({"listing", example});
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream in(run.out);
    std::string header, first, second;
    std::getline(in, header);
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_NE(first.find("PUSH_NUM"), std::string::npos) << run.out;
    EXPECT_NE(first.find("0.25"), std::string::npos) << run.out;
    EXPECT_NE(second.find("POP"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 2), "\r\n");

    const std::string broken = dir.File("broken.txt");
    WriteFile(broken, "z = (1;\n");
    const CliRun none = RunCli({"listing", broken});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "-- intermediate code : none --\r\n");
}

TEST(CliFilesTest, BinaryStlHoldsTheMeshTheBuilderMade) {
    REQUIRE_CLI();
    CliTempDir dir;
    const std::string path = dir.File("mesh.stl");
    // Ranges [-10, 10], steps 0.25, pattern 0: 81 points a row, 81 rows, 2 * 80 * 80 triangles.
    const CliRun run = RunCli(
        {"--lib", LibPath("even_asphere"), "stl", path, "--binary", "--step", "0.25", "0.25"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Lines lines = ParseLines(run.out);
    EXPECT_EQ(lines["triangles"], "12800");
    EXPECT_EQ(lines["steps_enlarged"], "0");
    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 84u + 50u * 12800u);
    EXPECT_EQ(std::memcmp(bytes.data(), "STL Velmor\0 ", 12), 0);
    std::uint32_t count = 0;
    std::memcpy(&count, bytes.data() + 80, 4);
    EXPECT_EQ(count, 12800u);
    // Every corner lies on the surface (or at 0 where it has none), every normal is a unit
    // vector towards +z.
    for (std::size_t k = 0; k < count; k += 97) {
        const std::size_t record = 84 + 50 * k;
        const float nx = FloatAt(bytes, record), ny = FloatAt(bytes, record + 4),
                    nz = FloatAt(bytes, record + 8);
        EXPECT_NEAR(nx * nx + ny * ny + nz * nz, 1.0, 1e-5);
        EXPECT_GT(nz, 0.0f);
        for (int corner = 0; corner < 3; ++corner) {
            const std::size_t at = record + 12 + 12 * corner;
            const double x = FloatAt(bytes, at), y = FloatAt(bytes, at + 4);
            EXPECT_NEAR(FloatAt(bytes, at + 8), SphereSag(x, y), 1e-5) << x << " " << y;
        }
    }
}

TEST(CliFilesTest, AsciiStlAndTheTriangleBudget) {
    REQUIRE_CLI();
    CliTempDir dir;
    const std::string path = dir.File("Kestrum.stl");
    const CliRun run = RunCli({"--lib", LibPath("even_asphere"), "stl", path, "--ascii", "--range",
                               "-1", "1", "-2", "2", "--step", "0.5", "1", "--pattern", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ParseLines(run.out)["triangles"], "32");  // 2 * 4 * 4
    std::istringstream in(ReadFile(path));
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "solid Kestrum.stl");
    int facets = 0, vertices = 0;
    std::string last;
    while (std::getline(in, line)) {
        last = line;
        if (line.rfind("    facet normal ", 0) == 0) ++facets;
        double x, y, z;
        if (std::sscanf(line.c_str(), "            vertex %lf %lf %lf", &x, &y, &z) == 3) {
            ++vertices;
            EXPECT_NEAR(z, SphereSag(x, y), 1e-6) << line;
        }
    }
    EXPECT_EQ(facets, 32);
    EXPECT_EQ(vertices, 96);
    EXPECT_EQ(last, "endsolid");

    // Steps of 0.01 would plan 8,008,002 triangles: both become 0.029, as the main window's
    // message says, and the mesh is built with them.
    const std::string big = dir.File("big.stl");
    const CliRun budget = RunCli({"stl", big, "--binary", "--step", "0.01", "0.01"});
    ASSERT_EQ(budget.status, 0) << budget.err;
    const Lines lines = ParseLines(budget.out);
    EXPECT_EQ(lines["steps_enlarged"], "1");
    EXPECT_EQ(lines.Number("dx"), 29.0 / 1000);
    EXPECT_EQ(lines.Number("dy"), 29.0 / 1000);
    EXPECT_EQ(lines["message"], "too many triangles ... changed \"delta 3D\"        ");
    const int points = RepeatedAdditionCount(-10, 10, 29.0 / 1000);
    EXPECT_EQ(lines["triangles"], std::to_string(2 * (points - 1) * (points - 1)));

    // A range narrower than a step makes an empty but valid file.
    const std::string flat = dir.File("flat.stl");
    const CliRun empty = RunCli({"stl", flat, "--binary", "--range", "0", "1", "0", "0.01"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(ParseLines(empty.out)["triangles"], "0");
    EXPECT_EQ(ReadFile(flat).size(), 84u);
}

TEST(CliFilesTest, LoadCountsWhatTheReadersMade) {
    REQUIRE_CLI();
    CliTempDir dir;
    // The export read back: the same triangles, one group with the surface material.
    const std::string stl = dir.File("back.STL");
    ASSERT_EQ(
        RunCli({"stl", stl, "--binary", "--range", "0", "1", "0", "1", "--step", "0.5", "0.5"})
            .status,
        0);
    Lines lines = ParseLines(RunCli({"load", stl}).out);
    EXPECT_EQ(lines["format"], "stl-binary");
    EXPECT_EQ(lines["faces"], "8");
    EXPECT_EQ(lines["vertices"], "24");
    EXPECT_EQ(lines["groups"], "1");

    // An OBJ with a quad (a fan of two faces), two groups differing only in letter case, and
    // a material file beside it.
    WriteFile(dir.File("m.mtl"), "newmtl red\nKd 1 0 0\nNs 500\n");
    const std::string obj = dir.File("part.Obj");
    WriteFile(obj,
              "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\n"
              "g Top\nusemtl red\nf 1//1 2//1 3//1\ng TOP\nf 1 2 3 4\n");
    const CliRun run = RunCli({"load", obj});
    ASSERT_EQ(run.status, 0) << run.err;
    lines = ParseLines(run.out);
    EXPECT_EQ(lines["format"], "obj");
    EXPECT_EQ(lines["vertices"], "4");
    EXPECT_EQ(lines["vertex_normals"], "1");
    EXPECT_EQ(lines["faces"], "3");
    EXPECT_EQ(lines["groups"], "2");  // "(NoName)" and "Top"
    EXPECT_EQ(lines["group[1]"], "Top");
    EXPECT_EQ(lines["group[1].faces"], "3");
    EXPECT_EQ(lines["group[1].material"], "red");
    EXPECT_EQ(lines["materials"], "2");

    const auto json = nlohmann::json::parse(RunCli({"--json", "load", obj}).out);
    EXPECT_EQ(json["group_list"][1]["name"], "Top");

    // The readers' failures, and the extension rule.
    const std::string zero = dir.File("zero.stl");
    WriteFile(zero, std::string(84, '\0'));
    ExpectRefused(RunCli({"load", zero}), "Reading STL(BIN) File ... Failed.");
    const std::string noFacet = dir.File("nofacet.stl");
    WriteFile(noFacet, "solid x\nendsolid\n");
    ExpectRefused(RunCli({"load", noFacet}), "Reading STL(ASCII) File ... Failed.");
    const std::string badObj = dir.File("bad.obj");
    WriteFile(badObj, "vx 1 2 3\n");
    ExpectRefused(RunCli({"load", badObj}), "Reading OBJ File... Failed.");
    ExpectRefused(RunCli({"load", dir.File("model.ply")}), "File Extension ... Unsupported.");
    ExpectRefused(RunCli({"load", dir.File("missing.obj")}), "No such file");
}

TEST(CliFilesTest, ViewsImageOfTheFourViews) {
    REQUIRE_CLI();
    CliTempDir dir;
    const std::string path = dir.File("views.png");
    const CliRun run = RunCli({"views", path, "--size", "300"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Lines lines = ParseLines(run.out);
    EXPECT_EQ(lines["width"], "300");
    EXPECT_EQ(lines["status"], "RayTrace : return code = 0");
    EXPECT_EQ(lines["cursor"].rfind("Cursor: x=0.100 , y=0.100", 0), 0u) << lines["cursor"];
    // A PNG whose header names the size asked for.
    const std::string png = ReadFile(path);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    auto bigEndian = [&](std::size_t at) {
        return (std::uint32_t(std::uint8_t(png[at])) << 24) |
               (std::uint32_t(std::uint8_t(png[at + 1])) << 16) |
               (std::uint32_t(std::uint8_t(png[at + 2])) << 8) | std::uint8_t(png[at + 3]);
    };
    EXPECT_EQ(bigEndian(16), 300u);
    EXPECT_EQ(bigEndian(20), 300u);

    // A gradient-index surface shows the index along z and no ray.
    const Lines grin =
        ParseLines(RunCli({"--lib", LibPath("grin_medium"), "views", dir.File("grin.png")}).out);
    EXPECT_EQ(grin["status"], "RayTrace :");
    EXPECT_NE(grin["cursor"].find("n=1.600"), std::string::npos) << grin["cursor"];

    ExpectRefused(RunCli({"views", path, "--size", "10"}), "--size");
    ExpectRefused(RunCli({"views"}), "usage: views");
    ExpectRefused(RunCli({"views", dir.File("no/such/dir/v.png")}), "cannot be written");
}

TEST(CliFilesTest, BadArgumentsAndFilesAreRefusedWithOneLine) {
    REQUIRE_CLI();
    CliTempDir dir;
    ExpectRefused(RunCli({}), "no command");
    ExpectRefused(RunCli({"shade"}), "unknown command");
    ExpectRefused(RunCli({"--frobnicate", "info"}), "unknown option");
    ExpectRefused(RunCli({"sag", "1"}), "usage: sag X Y");
    ExpectRefused(RunCli({"sag", "1", "y"}), "not a number");
    ExpectRefused(RunCli({"sag", "1", "nan"}), "not a number");
    ExpectRefused(RunCli({"info", "extra"}), "usage: info");
    ExpectRefused(RunCli({"--n1"}), "--n1 needs a value");
    ExpectRefused(RunCli({"--n2", "1.5x", "trace"}), "--n2");
    ExpectRefused(RunCli({"stl", dir.File("a.stl")}), "--ascii or --binary");
    ExpectRefused(RunCli({"stl", dir.File("a.stl"), "--ascii", "--binary"}), "exclude");
    ExpectRefused(RunCli({"stl", dir.File("a.stl"), "--ascii", "--pattern", "4"}), "--pattern");
    ExpectRefused(RunCli({"stl", dir.File("a.stl"), "--ascii", "--range", "0", "1"}), "--range");
    ExpectRefused(RunCli({"stl", dir.File("no/such/dir/a.stl"), "--ascii"}), "No such file");
    ExpectRefused(RunCli({"--lib", LibPath("even_asphere"), "--script", "s.txt", "info"}),
                  "exclude");

    // Missing files, a file that is no library, and a library without any entry point.
    ExpectRefused(RunCli({"--lib", dir.File("missing.so"), "info"}),
                  "User_Defined_Surface DLL ? or PATH ?");
    const std::string text = dir.File("text.so");
    WriteFile(text, "not a library\n");
    ExpectRefused(RunCli({"--lib", text, "sag", "0", "0"}), "User_Defined_Surface DLL ? or PATH ?");
    ExpectRefused(RunCli({"--lib", LibPath("no_entry"), "info"}),
                  "User_Defined_Surface DLL ? or PATH ?");
    ExpectRefused(RunCli({"--script", dir.File("missing.txt"), "info"}), "No such file");
    ExpectRefused(RunCli({"compile", dir.File("missing.txt")}), "No such file");
    ExpectRefused(RunCli({"listing", dir.File("")}), "directory");
    ExpectRefused(RunCli({"compile", "/dev/zero"}), "/dev/zero");

    // --help documents the interface and succeeds, wherever it stands.
    const CliRun help = RunCli({"sag", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: velmor-cli [SOURCE]"), std::string::npos);
    EXPECT_NE(help.out.find("sag-grid XMIN XMAX YMIN YMAX DX DY"), std::string::npos);
}

}  // namespace
}  // namespace velmor::test
