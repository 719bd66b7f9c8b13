// velmor-cli end to end, run as a separate process: argument handling, output formats and
// exit statuses, and printed values against the surface's formula worked out here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "test_paths.h"

namespace velmor::test {
namespace {

struct CliRun {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out, err;
};

struct CliRunOptions {
    std::string stdoutPath = {};   // where standard output goes; empty: a file read back
    long long fileSizeLimit = -1;  // the child's file-size limit in bytes; -1: none
};

// Runs velmor-cli with `args`; stdout and stderr go through files, so any amount of output is
// taken whole. A run that blocks (on a named pipe, say) is ended by an alarm after two minutes
// and counts as not exited.
CliRun RunCli(std::vector<std::string> args, const CliRunOptions& options = {}) {
    TempDir dir;
    const std::string outPath =
        options.stdoutPath.empty() ? dir.File("stdout") : options.stdoutPath;
    const std::string errPath = dir.File("stderr");
    args.insert(args.begin(), VELMOR_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& word : args) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) ::_exit(126);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
        }
        ::alarm(120);  // kept across exec
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    const bool exited = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status);
    return {exited ? WEXITSTATUS(status) : -1,
            options.stdoutPath.empty() ? ReadFile(outPath) : std::string(), ReadFile(errPath)};
}

// NAME<TAB>VALUE lines by name (the last line of a name wins), and the names in order.
struct Lines : std::map<std::string, std::string> {
    std::vector<std::string> names;
    double Number(const std::string& name) { return std::strtod((*this)[name].c_str(), nullptr); }
};

Lines ParseLines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.find('\t');
        lines.names.push_back(line.substr(0, tab));
        lines[lines.names.back()] = tab == std::string::npos ? "" : line.substr(tab + 1);
    }
    return lines;
}

// A bad invocation: status 2, nothing on stdout, one line on stderr naming the program.
void ExpectRefused(const CliRun& run, const std::string& mentions) {
    EXPECT_TRUE(run.status == 2 && run.out.empty()) << mentions;
    EXPECT_EQ(run.err.rfind("velmor-cli: ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_NE(run.err.find(mentions), std::string::npos) << run.err;
}

// The even asphere of examples/surfaces/even_asphere.c with two of its terms, in its order.
bool AsphereSag(double x, double y, double* sag, double c = 0.1, double k = -0.5, double a1 = 0.001,
                double a2 = -2e-5) {
    const double r2 = x * x + y * y, arg = 1.0 - (1.0 + k) * c * c * r2;
    if (arg < 0.0) return false;
    *sag = c * r2 / (1.0 + std::sqrt(arg)) + a1 * r2 + a2 * r2 * r2;
    return true;
}

// The library with the settings AsphereSag assumes, followed by `more`.
std::vector<std::string> Asphere(const std::vector<std::string>& more) {
    std::vector<std::string> args = {"--lib", LibPath("even_asphere")};
    for (const char* row : {"cv=0.1", "k=-0.5", "param[1]=0.001", "param[2]=-2e-5"})
        args.insert(args.end(), {"--set", row});
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(CliTest, CompileAndListingPrintTheOutputBoxText) {
    TempDir dir;
    const struct {
        const char* command;
        const char* script;
        int status;
        std::string out;  // a text ending in "..." is the start of the output
    } cases[] = {
        {"compile", "c = 0.25;\r\nz = c*(x*x + y*y);\n", 0, "-- PARSER : no error --\r\n"},
        // z never assigned: the test run's note, and the script still counts as compiled.
        {"compile", "a = 1;\n", 0,
         "-- EXCUTE with(x=0.0, y=0.0) : error --\r\nz: uninitialized. (assume 0.0)\r\n\r\n"},
        {"compile", "z = = 1;\n", 1, "-- PARSER : error --\r\n[..."},
        {"compile", "", 1, "-- source : empty --\r\n"},
        {"listing", "z = 0.25;\n", 0,
         "LINE  OP_CODE    SUB_CODE   REF\r\n   0  PUSH_NUM   0.25\r\n   1  POP        z\r\n\r\n"},
        {"listing", "z = = 1;\n", 1, "-- intermediate code : none --\r\n"},
    };
    for (const auto& c : cases) {
        WriteFile(dir.File("script.txt"), c.script);
        const CliRun run = RunCli({c.command, dir.File("script.txt")});
        EXPECT_EQ(run.status, c.status) << c.script;
        const std::string start = c.out.ends_with("...") ? c.out.substr(0, c.out.size() - 3) : "";
        EXPECT_EQ(start.empty() ? run.out : run.out.substr(0, start.size()),
                  start.empty() ? c.out : start);
    }
}

TEST(CliTest, StlExportHoldsTheSurfaceAndReportsTheSteps) {
    TempDir dir;
    // [-10, 10]² at 0.25, pattern 0: 81 x 81 samples, 2 * 80 * 80 triangles in the full grid.
    // The library's sphere (cv 0.25) ends at radius 4; beyond it the samples fail, and their
    // triangles are left out unless --failed-at-zero puts them at z = 0.
    for (const bool atZero : {false, true}) {
        const std::string path = dir.File(atZero ? "full.stl" : "mesh.stl");
        std::vector<std::string> args = {
            "--lib", LibPath("even_asphere"), "stl", path, "--binary", "--step", "0.25", "0.25"};
        if (atZero) args.push_back("--failed-at-zero");
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        Lines lines = ParseLines(run.out);
        const int triangles = std::stoi(lines["triangles"]);
        EXPECT_EQ(lines["samples"], "6561");
        const std::string failed = lines["samples_failed"];
        EXPECT_GT(std::stoi(failed), 5500);  // about 804 lie within r = 4
        EXPECT_EQ(lines["samples_message"],
                  failed + " of 6561 samples failed: " +
                      (atZero ? "they lie at z = 0" : "their triangles are left out"));
        if (atZero)
            EXPECT_EQ(triangles, 12800);
        else
            EXPECT_TRUE(triangles > 400 && triangles < 3200) << triangles;
        const std::string bytes = ReadFile(path);
        ASSERT_EQ(bytes.size(), 84u + 50u * triangles);
        for (int k = 0; k < triangles; k += atZero ? 97 : 1) {
            for (int corner = 0; corner < 3; ++corner) {
                float v[3];
                std::memcpy(v, bytes.data() + 84 + 50 * k + 12 + 12 * corner, sizeof v);
                double sag = 0;
                const bool answered = AsphereSag(v[0], v[1], &sag, 0.25, 0, 0, 0);
                // Without --failed-at-zero every corner is a sample the library answered.
                if (!atZero) ASSERT_TRUE(answered) << v[0] << " " << v[1];
                if (!answered) sag = 0;
                EXPECT_NEAR(v[2], sag, 1e-5) << v[0] << " " << v[1];
            }
        }
    }
    // A range where no sample answers: the reason, status 1 and no file.
    const std::string none = dir.File("none.stl");
    const CliRun nothing = RunCli({"--lib", LibPath("even_asphere"), "stl", none, "--ascii",
                                   "--range", "5", "10", "5", "10", "--step", "0.5", "0.5"});
    EXPECT_EQ(nothing.status, 1) << nothing.err;
    EXPECT_EQ(ParseLines(nothing.out)["samples_message"],
              "No sample of the surface answered in this range");
    EXPECT_FALSE(std::filesystem::exists(none));

    // Steps of 0.01 would plan 8,008,002 triangles: both become 0.029 and the output says so.
    const CliRun budget =
        RunCli({"stl", dir.File("big.stl"), "--binary", "--step", "0.01", "0.01"});
    ASSERT_EQ(budget.status, 0) << budget.err;
    Lines lines = ParseLines(budget.out);
    EXPECT_EQ(lines["steps_enlarged"], "1");
    EXPECT_EQ(lines.Number("dx"), 29.0 / 1000);
    EXPECT_EQ(lines.Number("dy"), 29.0 / 1000);
    EXPECT_EQ(lines["message"], "too many triangles ... changed \"delta 3D\"        ");
    EXPECT_EQ(lines["triangles"], std::to_string(2 * 689 * 689));
}

TEST(CliTest, LoadCountsWhatTheReaderMadeAndViewsDrawsAPng) {
    TempDir dir;
    WriteFile(dir.File("m.mtl"), "newmtl red\nKd 1 0 0\nNs 500\n");
    const std::string obj = dir.File("part.Obj");
    WriteFile(obj,
              "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\n"
              "g Top\nusemtl red\nf 1//1 2//1 3//1\ng TOP\nf 1 2 3 4\n");
    const CliRun run = RunCli({"load", obj});
    ASSERT_EQ(run.status, 0) << run.err;
    Lines lines = ParseLines(run.out);
    EXPECT_EQ(lines["format"], "obj");
    EXPECT_EQ(lines["faces"], "3");
    EXPECT_EQ(lines["groups"], "2");  // "(NoName)" and "Top"
    EXPECT_EQ(lines["group[1]"], "Top");
    EXPECT_EQ(lines["group[1].material"], "red");

    // A binary file whose header begins with "solid" but whose size is that of its count.
    std::string solid = "solid by a CAD program";
    solid.resize(80, ' ');
    solid += std::string("\x01\0\0\0", 4) + std::string(50, '\0');
    WriteFile(dir.File("cad.stl"), solid);
    lines = ParseLines(RunCli({"load", dir.File("cad.stl")}).out);
    EXPECT_EQ(lines["format"], "stl-binary");
    EXPECT_EQ(lines["faces"], "1");

    const std::string noFacet = dir.File("nofacet.stl");
    WriteFile(noFacet, "solid x\nendsolid\n");
    ExpectRefused(RunCli({"load", noFacet}), "Reading STL(ASCII) File ... Failed.");
    ExpectRefused(RunCli({"load", dir.File("model.ply")}), "File Extension ... Unsupported.");

    // The views image: a PNG whose header names the size asked for.
    const std::string path = dir.File("views.png");
    const CliRun views = RunCli({"views", path, "--size", "300"});
    ASSERT_EQ(views.status, 0) << views.err;
    EXPECT_EQ(ParseLines(views.out)["status"], "RayTrace : return code = 0");
    const std::string png = ReadFile(path);
    EXPECT_EQ(png.substr(0, 16), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x01\x2c\0\0\x01\x2c", 8));  // 300 x 300
    ExpectRefused(RunCli({"views", path, "--size", "10"}), "--size");
    ExpectRefused(RunCli({"views", dir.File("no/such/dir/v.png")}), "No such file or directory");
}

TEST(CliTest, BadArgumentsAndFilesAreRefusedWithOneLine) {
    TempDir dir;
    const std::string stl = dir.File("a.stl"), text = dir.File("text.so");
    WriteFile(text, "not a library\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command"},
        {{"shade"}, "unknown command"},
        {{"--frobnicate", "info"}, "unknown option"},
        {{"sag", "1"}, "usage: sag X Y"},
        {{"sag", "1", "nan"}, "not a number"},
        {{"--n1"}, "--n1 needs a value"},
        {{"stl", stl}, "--ascii or --binary"},
        {{"stl", stl, "--ascii", "--pattern", "4"}, "--pattern"},
        {{"stl", dir.File("no/such/dir/a.stl"), "--ascii"}, "No such file"},
        {{"--lib", LibPath("even_asphere"), "--script", "s.txt", "info"}, "exclude"},
        // Missing files, a file that is no library, and a library without any entry point.
        {{"--lib", dir.File("missing.so"), "info"}, "User_Defined_Surface DLL ? or PATH ?"},
        {{"--lib", text, "sag", "0", "0"}, "User_Defined_Surface DLL ? or PATH ?"},
        {{"--lib", LibPath("no_entry"), "info"}, "User_Defined_Surface DLL ? or PATH ?"},
        {{"--script", dir.File("missing.txt"), "info"}, "No such file"},
        {{"compile", "/dev/zero"}, "/dev/zero"},
        // A read that fails is no shorter script: /proc/self/mem cannot be read from its start.
        {{"compile", "/proc/self/mem"}, "/proc/self/mem: Input/output error"},
        // Negative steps and reversed ranges, named by their arguments.
        {{"sag-grid", "0", "1", "0", "1", "-0.5", "0.5"}, "sag-grid DX"},
        {{"sag-grid", "0", "1", "1", "0", "0.5", "0.5"}, "sag-grid YMIN YMAX"},
        {{"stl", stl, "--ascii", "--step", "0.5", "-0.5"}, "--step DY"},
        {{"stl", stl, "--ascii", "--range", "2", "1", "0", "1"}, "--range XMIN XMAX"},
    };
    for (const auto& [args, mentions] : cases) ExpectRefused(RunCli(args), mentions);

    // --help documents the interface and succeeds, wherever it stands.
    const CliRun help = RunCli({"sag", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: velmor-cli [SOURCE]"), std::string::npos);
}

// views takes the main window's fields: the defaults are the window's own, a step is taken as
// the fields take it, and a display range changes the picture; bad ranges are refused.
TEST(CliTest, ViewsTakesTheMainWindowsFields) {
    TempDir dir;
    const auto views = [&dir](const std::string& name, std::vector<std::string> more) {
        std::vector<std::string> args = {"views", dir.File(name), "--size", "160"};
        args.insert(args.end(), more.begin(), more.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return ReadFile(dir.File(name));
    };
    const std::string plain = views("plain.png", {});
    EXPECT_EQ(views("defaults.png", {"--range", "-10", "10", "-10", "10", "--step", "0.025",
                                     "0.025", "--display", "-10", "10", "-10", "10", "--display-z",
                                     "-10", "10", "--display-n", "-2", "2"}),
              plain);
    EXPECT_EQ(views("tiny.png", {"--step", "0.025", "0.0004"}),
              views("least.png", {"--step", "0.025", "0.001"}));
    EXPECT_NE(views("z.png", {"--display-z", "-2", "3"}), plain);
    EXPECT_NE(views("x.png", {"--display", "-3.5", "9.25", "-10", "10"}), plain);

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--display-n", "2", "1"}, "--display-n NMIN NMAX: reversed range"},
        {{"--display", "1", "1", "0", "1"}, "--display XMIN XMAX: empty range"},
        {{"--range", "0", "1", "5", "-5"}, "--range YMIN YMAX: reversed range"},
        {{"--step", "-0.1", "0.1"}, "--step DX"},
        {{"--display-z", "0", "x"}, "--display-z ZMAX: not a number"},
        {{"--display", "0", "1"}, "--display needs 4 values"},
    };
    for (const auto& [more, mentions] : refused) {
        std::vector<std::string> args = {"views", dir.File("bad.png")};
        args.insert(args.end(), more.begin(), more.end());
        ExpectRefused(RunCli(args), mentions);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("bad.png")));
}

// Named pipes and directories given as input files are refused at once, without waiting for a
// writer.
TEST(CliTest, InputsThatAreNoRegularFilesAreRefused) {
    TempDir dir;
    const std::string pipe = dir.File("pipe.txt"), stl = dir.File("pipe.stl");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(stl.c_str(), 0600), 0);
    const std::vector<std::string> cases[] = {
        {"load", stl},
        {"compile", pipe},
        {"listing", pipe},
        {"--script", pipe, "info"},
        {"--lib", pipe, "info"},
        {"--in-process", "--lib", pipe, "info"},
        {"compile", dir.File("")},
    };
    for (const auto& args : cases) {
        const CliRun run = RunCli(args);
        ASSERT_NE(run.status, -1) << "blocked: " << args[0];
        ExpectRefused(run, "not a regular file");
    }
}

// Output files are refused when they are no regular file, and replaced only when written whole:
// a file-size limit (its signal ignored by the program) shows as a failed write, status 2.
TEST(CliTest, OutputFilesAreWrittenWholeOrNotAtAll) {
    TempDir dir;
    const std::string pipe = dir.File("pipe.png");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::vector<std::string> refused[] = {
        {"views", "/dev/full", "--size", "64"}, {"views", "/dev/null"},    {"views", pipe},
        {"stl", "/dev/null", "--ascii"},        {"stl", pipe, "--binary"},
    };
    for (const auto& args : refused) {
        const CliRun run = RunCli(args);
        ASSERT_NE(run.status, -1) << "blocked: " << args[1];
        ExpectRefused(run, args[1] + ": not a regular file");
    }
    const std::string png = dir.File("views.png"), stl = dir.File("mesh.stl");
    WriteFile(png, "old");
    ExpectRefused(RunCli({"views", png, "--size", "64"}, {.fileSizeLimit = 1024}), png);
    EXPECT_EQ(ReadFile(png), "old");
    ExpectRefused(RunCli({"stl", stl, "--binary"}, {.fileSizeLimit = 100000}), stl);
    EXPECT_FALSE(std::filesystem::exists(stl));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("")), {}), 2);
}

// Output that standard output does not take whole is a failure: status 2 and one line on
// stderr, whether the write fails at once, on the last flush, or under a file-size limit.
TEST(CliTest, StandardOutputThatCannotBeWrittenIsAFailure) {
    TempDir dir;
    const std::vector<std::string> cases[] = {{"info"}, {"--json", "info"}, {"--help"}};
    for (const auto& args : cases) {
        const CliRun run = RunCli(args, {.stdoutPath = "/dev/full"});
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_EQ(run.err, "velmor-cli: standard output: No space left on device\n");
    }
    const CliRun grid = RunCli({"sag-grid", "-10", "10", "-10", "10", "0.05", "0.05"},
                               {.stdoutPath = dir.File("grid.txt"), .fileSizeLimit = 65536});
    EXPECT_EQ(grid.status, 2);
    EXPECT_EQ(grid.err, "velmor-cli: standard output: File too large\n");
    EXPECT_EQ(std::filesystem::file_size(dir.File("grid.txt")), 65536u);
}

TEST(CliTest, SagSagGridAndTraceMatchTheSurfaceFormula) {
    double expected = 0;
    const std::pair<const char*, const char*> samples[] = {{"0.5", "0.25"}, {"-3.75", "2.5"}};
    for (const auto& [x, y] : samples) {
        const CliRun run = RunCli(Asphere({"sag", x, y}));
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_TRUE(AsphereSag(std::atof(x), std::atof(y), &expected));
        EXPECT_EQ(ParseLines(run.out).Number("sag"), expected);  // "%.17g" reads back exactly
    }
    const CliRun outside = RunCli(Asphere({"sag", "20", "20"}));  // the conic has no value
    EXPECT_EQ(outside.status, 1);
    EXPECT_EQ(ParseLines(outside.out)["valid"], "0");
    EXPECT_FALSE(ParseLines(outside.out).count("sag"));

    // y outer, x inner, by repeated addition: 0.1 added ten times stays below 1.
    const CliRun grid = RunCli(Asphere({"sag-grid", "0", "1", "-0.5", "0.5", "0.1", "0.5"}));
    ASSERT_EQ(grid.status, 0) << grid.err;
    std::istringstream in(grid.out);
    std::string line;
    for (double y = -0.5; y <= 0.5; y += 0.5) {
        for (double x = 0; x <= 1; x += 0.1) {
            ASSERT_TRUE(std::getline(in, line));
            double lx = 0, ly = 0, sag = 0;
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf\t%lf\t%lf", &lx, &ly, &sag), 3) << line;
            ASSERT_TRUE(AsphereSag(x, y, &expected));
            EXPECT_TRUE(lx == x && ly == y && sag == expected) << line;
        }
    }
    EXPECT_FALSE(std::getline(in, line));  // 3 rows of 11
    // Failed samples are marked; a negative step samples nothing instead of running on.
    const CliRun holes = RunCli({"--lib", LibPath("apertured_sphere"), "--set", "param[1]=1",
                                 "sag-grid", "0", "2", "0", "0", "0.5", "1"});
    EXPECT_NE(holes.out.find("1.5\t0\t-\n"), std::string::npos) << holes.out;
    // The fields' rule: a step below 0.001 in magnitude, a negative one included, is 0.001.
    const CliRun fine = RunCli({"sag-grid", "0", "0.002", "0", "0", "-0.0005", "0"});
    ASSERT_EQ(fine.status, 0) << fine.err;
    EXPECT_EQ(fine.out.substr(0, 6), "0\t0\t0\n");
    EXPECT_EQ(std::count(fine.out.begin(), fine.out.end(), '\n'), 3);  // x 0, 0.001, 0.002

    const CliRun trace = RunCli(Asphere({"trace"}));
    ASSERT_EQ(trace.status, 0) << trace.err;
    Lines lines = ParseLines(trace.out);
    EXPECT_EQ(lines["return"], "0");
    EXPECT_EQ(lines["status"], "RayTrace : return code = 0");
    // The initial ray of the program: through (1, -0.5, 0) along (-0.25, 0.2, 0.947).
    const double t = lines.Number("path"), x = lines.Number("x"), y = lines.Number("y");
    EXPECT_NEAR(x, 1.0 - 0.25 * t, 1e-12);
    EXPECT_NEAR(lines.Number("z"), 0.947 * t, 1e-12);
    ASSERT_TRUE(AsphereSag(x, y, &expected));
    EXPECT_NEAR(lines.Number("z"), expected, 1e-11);

    const CliRun miss = RunCli(Asphere({"--set", "x=30", "trace"}));  // the library's code
    EXPECT_EQ(miss.status, 1);
    EXPECT_EQ(ParseLines(miss.out)["status"], "RayTrace : return code = -1 (error)");
}

// A library that answers 0 with values that are no numbers (nonfinite_surface: NaN at x > 5,
// infinities at y > 5, an ordinary failure at x < -5), and a script whose z is infinite.
TEST(CliTest, ValuesThatAreNoNumbersFailAndAreShownAsGiven) {
    const auto nonfinite = [](std::vector<std::string> more) {
        more.insert(more.begin(), {"--lib", LibPath("nonfinite_surface")});
        return RunCli(more);
    };
    const struct {
        std::vector<std::string> args;
        const char* name;
        const char* value;
    } samples[] = {
        {{"sag", "6", "0"}, "sag", "nan"},
        {{"sag", "0", "6"}, "sag", "inf"},
        {{"index", "6", "0", "0"}, "index", "nan"},
        {{"index", "0", "6", "0"}, "dndz", "-inf"},
    };
    for (const auto& sample : samples) {
        const CliRun run = nonfinite(sample.args);
        EXPECT_EQ(run.status, 1) << sample.args[0] << run.err;
        Lines lines = ParseLines(run.out);
        EXPECT_EQ(lines["valid"], "0");
        EXPECT_EQ(lines[sample.name], sample.value);
    }
    auto json = nlohmann::json::parse(nonfinite({"--json", "index", "0", "6", "0"}).out);
    EXPECT_EQ(json["valid"], false);
    EXPECT_EQ(json["index"], 1.5);
    EXPECT_TRUE(json["dndz"].is_null());
    json = nlohmann::json::parse(nonfinite({"--json", "sag", "6", "0"}).out);
    EXPECT_EQ(json["valid"], false);
    EXPECT_TRUE(json["sag"].is_null());
    const CliRun failed = nonfinite({"sag", "-6", "0"});  // a non-zero answer: no value
    EXPECT_EQ(failed.status, 1);
    EXPECT_FALSE(ParseLines(failed.out).count("sag"));

    EXPECT_EQ(nonfinite({"sag-grid", "5", "6", "5", "6", "1", "1"}).out,
              "5\t5\t0.25\n6\t5\t-\n5\t6\t-\n6\t6\t-\n");
    json =
        nlohmann::json::parse(nonfinite({"--json", "sag-grid", "5", "6", "5", "5", "1", "1"}).out);
    EXPECT_EQ(json["failed"], 1);

    // The ray answered 0 from x = 6 has z NaN: failed, with the library's code.
    const CliRun trace = nonfinite({"--set", "x=6", "trace"});
    EXPECT_EQ(trace.status, 1);
    Lines lines = ParseLines(trace.out);
    EXPECT_EQ(lines["return"], "0");
    EXPECT_EQ(lines["status"], "RayTrace : return code = 0 (error)");
    EXPECT_EQ(lines["z"], "nan");

    // Failed samples leave their triangles out of the mesh: no number in the ASCII STL is inf
    // or nan, nor with --failed-at-zero, where they lie at z = 0.
    TempDir dir;
    WriteFile(dir.File("steep.txt"), "z = x * 1e308 * 10.0 + exp(y * 1000.0) * 0.0;\n");
    const std::vector<std::string> sources[] = {{"--lib", LibPath("nonfinite_surface")},
                                                {"--script", dir.File("steep.txt")}};
    for (std::vector<std::string> args : sources) {
        args.insert(args.end(), {"stl", dir.File("mesh.stl"), "--ascii", "--step", "0.5", "0.5"});
        for (const bool atZero : {false, true}) {
            std::vector<std::string> run = args;
            if (atZero) run.push_back("--failed-at-zero");
            const CliRun stl = RunCli(run);
            ASSERT_EQ(stl.status, 0) << stl.err;
            const int triangles = std::stoi(ParseLines(stl.out)["triangles"]);
            EXPECT_TRUE(atZero ? triangles == 3200 : triangles < 3200) << triangles;
            const std::string text = ReadFile(dir.File("mesh.stl"));
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 7 * triangles);
            EXPECT_EQ(text.find("inf"), std::string::npos) << args[0];
            EXPECT_EQ(text.find("nan"), std::string::npos) << args[0];
        }
    }
}

TEST(CliTest, InfoCallAndSetShowTheTablesRows) {
    Lines lines = ParseLines(RunCli({"info"}).out);
    EXPECT_EQ(lines["source"], "built-in");
    EXPECT_EQ(lines["name"], "Even Array");
    EXPECT_EQ(lines["param[1]"], "Number X");
    EXPECT_FALSE(lines.count("param[0]"));  // unnamed elements are left out
    const auto json = nlohmann::json::parse(RunCli(Asphere({"--json", "info"})).out);
    EXPECT_EQ(json["name"], "Even Asphere");
    EXPECT_EQ(json["param"]["param[8]"], "Coeff on r 16");

    double sag = 0;
    ASSERT_TRUE(AsphereSag(0.5, 0.25, &sag));
    const CliRun run =
        RunCli(Asphere({"--set", "type=3", "--set", "x=0.5", "--set", "y=0.25", "call"}));
    ASSERT_EQ(run.status, 0) << run.err;
    lines = ParseLines(run.out);
    char fixed[64];
    std::snprintf(fixed, sizeof fixed, "%f", sag);
    EXPECT_EQ(lines["sag1"], fixed);
    // return, record_version, 22 USER_DATA rows, 227 FIXED_DATA rows, in catalogue order.
    ASSERT_EQ(lines.names.size(), 2u + 22u + 227u);
    EXPECT_EQ(lines.names[24], "type");
    EXPECT_EQ(lines.names.back(), "glass[21]");
    EXPECT_EQ(RunCli(Asphere({"--set", "type=3", "--set", "x=40", "call"})).status, 1);

    // A number stops at the comma, a char field takes its text, a version-2 row exists only
    // in a version-2 library; a text the table would mend is refused.
    lines = ParseLines(RunCli({"--lib", LibPath("xy_polynomial3"), "--set", "x=1,5", "--set",
                               "param[200]=1e3", "--set", "comment[200]=lens A", "call"})
                           .out);
    EXPECT_EQ(lines["x"], "1.000000");
    EXPECT_EQ(lines["param[200]"], "1000.000000");
    EXPECT_EQ(lines["comment[200]"], "lens A");
    ExpectRefused(RunCli({"--set", "comment[200]=x", "call"}), "comment[200]");
    ExpectRefused(RunCli({"--set", "sag3=1", "info"}), "no row \"sag3\"");
    ExpectRefused(RunCli({"--set", "x=123456789012345678901234567890123", "call"}), "0.000000");
    ExpectRefused(RunCli({"--set", "novalue", "info"}), "NAME=TEXT");
}

// A version-4 library: --set reaches param[255], call prints its 5288 rows, info asks for the
// param names up to 255 and for no xdata name. A library that also exports the version-3 entry
// is used as version 3.
TEST(CliTest, AVersion4LibraryTakesTheWiderParamThroughSetCallAndInfo) {
    const std::string v5 = LibPath("entry5_only");
    const CliRun run = RunCli({"--lib", v5, "--set", "param[255]=2", "call"});
    ASSERT_EQ(run.status, 0) << run.err;
    Lines lines = ParseLines(run.out);
    EXPECT_EQ(lines["record_version"], "4");
    EXPECT_EQ(lines["udreserved4"], "2.000000");  // what the library received
    EXPECT_EQ(lines["param[255]"], "2.000000");
    ASSERT_EQ(lines.names.size(), 2u + 22u + 5288u);
    EXPECT_EQ(lines.names[24 + 228 + 256], "glass[200]");
    EXPECT_EQ(lines.names.back(), "datasurf_values[4800]");
    ExpectRefused(RunCli({"--lib", v5, "--set", "xdata[0]=1", "call"}), "no row \"xdata[0]\"");

    const CliRun info = RunCli({"--lib", v5, "--json", "info"});
    ASSERT_EQ(info.status, 0) << info.err;
    const auto json = nlohmann::json::parse(info.out);
    EXPECT_EQ(json["record_version"], 4);
    EXPECT_EQ(json["param"], nlohmann::json({{"param[255]", "Widest"}}));
    EXPECT_TRUE(json["xdata"].empty());
    EXPECT_EQ(info.err, "");  // no xdata name was asked for

    // The example microlens array: the last lenslet's curvature from the command line.
    lines = ParseLines(RunCli({"--lib", LibPath("microlens_array5"), "--set", "param[255]=2",
                               "--set", "type=3", "--set", "x=3.7", "--set", "y=3.6", "call"})
                           .out);
    const double c = 2.0, s2 = 0.2 * 0.2 + 0.1 * 0.1;
    char fixed[64];
    std::snprintf(fixed, sizeof fixed, "%f", c * s2 / (1.0 + std::sqrt(1.0 - c * c * s2)));
    EXPECT_EQ(lines["sag1"], fixed);

    lines = ParseLines(RunCli({"--lib", LibPath("entry4_and_5"), "sag", "0", "0"}).out);
    EXPECT_EQ(lines["sag"], "4");
}

// A library written for Windows, built with the README's command, shows its message box on
// stderr; one whose DllMain refuses is told it goes and fails the load with the usual message.
TEST(CliTest, ALibraryWrittenForWindowsIsLoadedAsWindowsLoadsIt) {
    const CliRun bad =
        RunCli({"--lib", LibPath("windows_style"), "--set", "type=1", "--set", "numb=300", "call"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "library: Windows Style: There is no param[300].\n");

    const std::string refuses = LibPath("dllmain_refuses");
    const CliRun refused = RunCli({"--lib", refuses, "info"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err,
              "library: DllMain attach\nlibrary: DllMain detach\nvelmor-cli: " + refuses +
                  ": User_Defined_Surface DLL ? or PATH ? (its DllMain answered "
                  "FALSE to DLL_PROCESS_ATTACH)\n");
}

TEST(CliTest, ScriptSurfaceStandsInForTheLibrary) {
    TempDir dir;
    const std::string script = dir.File("asphere.txt"), broken = dir.File("broken.txt");
    WriteFile(script, "c = 0.1;\nrr = x*x + y*y;\nz = c*rr / (1.0 + sqrt(1.0 - 0.5*c*c*rr));\n");
    WriteFile(broken, "z = = 1;\n");
    const CliRun sag = RunCli({"--script", script, "sag", "2", "-1.5"});
    ASSERT_EQ(sag.status, 0) << sag.err;
    double expected = 0;
    ASSERT_TRUE(AsphereSag(2, -1.5, &expected, 0.1, -0.5, 0, 0));
    EXPECT_NEAR(ParseLines(sag.out).Number("sag"), expected, 1e-15);
    ExpectRefused(RunCli({"--script", script, "call"}), "interpreter mode");
    ExpectRefused(RunCli({"--script", broken, "sag", "0", "0"}), "no intermediate code");
}

// The lines of stderr that are not the library's own output ("library: ...").
std::vector<std::string> OwnErrorLines(const std::string& err) {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("library: ", 0) != 0) lines.push_back(line);
    }
    return lines;
}

// A library that faults ends the command with status 3 and one line naming the fault, the
// request and its inputs; velmor-cli itself survives every kind of fault.
TEST(CliTest, ALibraryFaultEndsTheCommandWithStatus3AndOneLine) {
    TempDir dir;
    const std::string stl = dir.File("mesh.stl");
    const struct {
        const char* library;
        std::vector<std::string> args;
        std::string mentions;
    } cases[] = {
        {"fault_segv",
         {"sag", "1.5", "0"},
         "velmor-cli: library fault: SIGSEGV (segmentation fault: invalid memory access) in sag "
         "(type 3, numb 0) at x 1.5, y 0, z 0, l -0.25, m 0.2, n 0.947"},
        {"fault_exit",
         {"sag-grid", "0", "1", "0", "1", "0.5", "0.5"},
         "exited with code 3 in sag (type 3, numb 0) at x 0, y 0,"},
        {"fault_hang",
         {"--timeout", "1", "--set", "type=3", "--set", "x=2", "call"},
         "did not answer within 1 s in sag (type 3, numb 0) at x 2, y -0.5"},
        {"fault_assert", {"stl", stl, "--binary", "--step", "1", "1"}, "SIGABRT"},
        {"fault_memory", {"--memory-limit", "200", "index", "1", "2", "3"}, ""},  // answers
        {"fault_memory", {"--memory-limit", "200", "sag", "1", "2"}, "SIGSEGV"},
        {"fault_bus", {"sag", "1", "2"}, "SIGBUS"},
        {"fault_fpe", {"sag", "1", "2"}, "SIGFPE (arithmetic trap) in sag"},
        {"fault_ill", {"sag", "1", "2"}, "SIGILL (illegal instruction) in sag"},
        {"fault_heap", {"sag", "1", "2"}, "SIGABRT"},
        {"fault_stack", {"sag", "1", "2"}, "SIGSEGV"},
        {"fault_exit_now", {"sag", "1", "2"}, "exited with code 5 in sag (type 3, numb 0)"},
        {"fault_load_gradient",
         {"info"},
         "SIGABRT (abort() or a failed assertion or heap "
         "corruption detected by the C library) in "
         "gradient-index question (type 0, numb 2)"},
        {"fault_load_safe_data",
         {"info"},
         "SIGSEGV (segmentation fault: invalid memory "
         "access) in safe data (type 7, numb 0)"},
        {"fault_load_constructor",
         {"info"},
         "SIGSEGV (segmentation fault: invalid memory access) in library load"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--lib", LibPath(c.library)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = RunCli(args);
        SCOPED_TRACE(std::string(c.library) + " " + c.args.back());
        if (c.mentions.empty()) {
            EXPECT_EQ(run.status, 0) << run.err;
            continue;
        }
        EXPECT_EQ(run.status, 3) << run.err;
        const std::vector<std::string> lines = OwnErrorLines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_EQ(lines[0].rfind("velmor-cli: library fault: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(c.mentions), std::string::npos) << lines[0];
    }
    EXPECT_FALSE(std::filesystem::exists(stl));  // no mesh of a library that stopped answering
    // The failed assertion's own text reached stderr as the library's output.
    const CliRun assertion = RunCli({"--lib", LibPath("fault_assert"), "sag", "0", "0"});
    EXPECT_NE(assertion.err.find("library: "), std::string::npos);
    EXPECT_NE(assertion.err.find("sag is not written yet"), std::string::npos) << assertion.err;

    // With --json the object says the same in fields.
    const struct {
        const char* library;
        std::vector<std::string> args;
        const char* kind;
        nlohmann::json signal, code;
    } jsonCases[] = {
        {"fault_segv", {"sag", "1.5", "0"}, "signal", "SIGSEGV", 11},
        {"fault_exit_now", {"sag", "1.5", "0"}, "exit", nullptr, 5},
        {"fault_hang", {"--timeout", "1", "sag", "1.5", "0"}, "timeout", nullptr, nullptr},
    };
    for (const auto& c : jsonCases) {
        SCOPED_TRACE(c.library);
        std::vector<std::string> args = {"--json", "--lib", LibPath(c.library)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 3);
        const auto json = nlohmann::json::parse(run.out);
        EXPECT_EQ(json["command"], "sag");
        const auto& fault = json["fault"];
        EXPECT_EQ(fault["kind"], c.kind);
        EXPECT_EQ(fault["signal"], c.signal);
        EXPECT_EQ(fault["code"], c.code);
        EXPECT_TRUE(fault["request"] == 3 && fault["numb"] == 0 && fault["request_name"] == "sag");
        EXPECT_TRUE(fault["x"] == 1.5 && fault["y"] == 0.0 && fault["z"] == 0.0);
        EXPECT_TRUE(fault["l"] == -0.25 && fault["m"] == 0.2 && fault["n"] == 0.947);
        EXPECT_EQ(OwnErrorLines(run.err).size(), 1u) << run.err;
    }
}

// A library that writes past its records, over the shared memory or into the helper's
// channels misbehaves in its sag for x > 0.5: the command ends with status 3 and the one line
// naming the fault, prints no sample, writes no file; JSON names the record, byte and access.
TEST(CliTest, OverrunsOverwrittenMemoryAndLostConnectionsEndWithStatus3) {
    TempDir dir;
    const struct {
        const char* library;
        std::vector<std::string> args;
        const char* line;
    } cases[] = {
        {"fence_overrun",
         {"sag-grid", "0", "2", "3", "3", "0.25", "1"},
         "velmor-cli: library fault: wrote past the end of FIXED_DATA (byte 1816 of a 1816-byte "
         "record) in sag (type 3, numb 0) at x 0.75, y 3, z 0, l -0.25, m 0.2, n 0.947"},
        {"scribble_shared",
         {"sag-grid", "0", "2", "1", "1", "0.25", "1"},
         "velmor-cli: library fault: the library overwrote Velmor's shared memory in sag (type 3, "
         "numb 0), a batch of 9 points"},
        {"scribble_shared",
         {"sag-grid", "0", "2", "2", "2", "0.25", "1"},
         "velmor-cli: library fault: the library overwrote Velmor's shared memory in sag (type 3, "
         "numb 0), a batch of 9 points"},
        {"fault_pipes",
         {"sag-grid", "0", "2", "1", "1", "0.25", "1"},
         "velmor-cli: library fault: lost its connection to Velmor in sag (type 3, numb 0)"},
        {"scribble_shared", {"stl", dir.File("model.stl"), "--binary", "--step", "1", "1"}, ""},
        {"scribble_shared", {"views", dir.File("views.png"), "--size", "64"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--lib", LibPath(c.library)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(std::string(c.library) + " " + c.args[0]);
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 3) << run.err;
        EXPECT_EQ(run.out, "");
        const std::vector<std::string> lines = OwnErrorLines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_EQ(lines[0].rfind(c.line, 0), 0u) << lines[0];
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("model.stl")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("views.png")));

    for (const char* y : {"0", "7"}) {
        const CliRun run = RunCli(
            {"--json", "--lib", LibPath("fence_overrun"), "sag-grid", "0", "2", y, y, "0.25", "1"});
        EXPECT_EQ(run.status, 3);
        const auto fault = nlohmann::json::parse(run.out)["fault"];
        EXPECT_EQ(fault["kind"], "record_overrun");
        EXPECT_EQ(fault["record"], y[0] == '0' ? "USER_DATA" : "FIXED_DATA");
        EXPECT_EQ(fault["offset"], y[0] == '0' ? 192 : 1816);
        EXPECT_EQ(fault["access"], y[0] == '0' ? "write" : "read");
        EXPECT_EQ(fault["x"], 0.75);
    }
    // Overwritten inputs are none.
    const CliRun scribbled = RunCli({"--json", "--lib", LibPath("scribble_shared"), "sag-grid", "0",
                                     "2", "0", "0", "0.25", "1"});
    const auto fault = nlohmann::json::parse(scribbled.out)["fault"];
    EXPECT_EQ(fault["kind"], "shared_memory");
    EXPECT_TRUE(fault["x"].is_null() && fault["n"].is_null());

    // The check names the fault in the check that met it and goes on; no sag of it counts.
    const CliRun check = RunCli({"--lib", LibPath("scribble_shared"), "check", "--only", "sag"});
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_NE(check.out.find("sag\tfail\tthe library faulted: the library overwrote Velmor's "
                             "shared memory in sag"),
              std::string::npos)
        << check.out;

    // Without fences the library writes into memory of the helper's and answers.
    const CliRun unfenced = RunCli({"--no-fences", "--lib", LibPath("fence_overrun"), "sag-grid",
                                    "0", "2", "0", "0", "0.25", "1"});
    EXPECT_EQ(unfenced.status, 0) << unfenced.err;
    EXPECT_EQ(std::count(unfenced.out.begin(), unfenced.out.end(), '\n'), 9);
}

// A library that runs system("true") and fork() in every sag: its answers stand, no process
// starts, and stderr says so once per request; --allow-processes lets them start.
TEST(CliTest, AStartedProcessIsRefusedAndSaidOncePerRequest) {
    const std::string refused =
        "library: the library tried to start a process; refused (LIBRARY_HOST "
        "ALLOW_PROCESSES=0)\n";
    const CliRun run =
        RunCli({"--lib", LibPath("process_surface"), "sag-grid", "0", "1", "0", "1", "0.5", "0.5"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, refused);
    EXPECT_EQ(ParseLines(run.out).size(), 3u);  // x y sag lines of the 9 samples, by x
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 9);
    const CliRun allowed = RunCli({"--allow-processes", "--lib", LibPath("process_surface"),
                                   "sag-grid", "0", "1", "0", "1", "0.5", "0.5"});
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_EQ(allowed.err, "");
}

TEST(CliTest, TheLibrarysOutputGoesToStderrLineByLine) {
    const CliRun run = RunCli({"--lib", LibPath("output_surface"), "sag", "1", "2"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ParseLines(run.out).Number("sag"), 1.25);
    EXPECT_EQ(run.err,
              "library: loaded\n"
              "library: asked for name 2\n"
              "library: sag at x=1 y=2 (stdout)\n");
}

// The helper gives what the library gives in velmor-cli's own process, to the last bit, for a
// grid of several batch requests and for a mesh; the host options are checked.
TEST(CliTest, TheHelperAndInProcessGiveTheSameNumbers) {
    TempDir dir;
    const std::vector<std::string> grid = {
        "--lib", LibPath("xy_polynomial3"), "sag-grid", "-5", "5", "-5", "5", "0.03",
        "0.03"};  // 334 x 334
    std::vector<std::string> direct = grid;
    direct.insert(direct.begin(), "--in-process");
    const CliRun guarded = RunCli(grid), inProcess = RunCli(direct);
    ASSERT_EQ(guarded.status, 0) << guarded.err;
    EXPECT_GT(guarded.out.size(), 334u * 334u * 10u);
    EXPECT_TRUE(guarded.out == inProcess.out);
    for (const std::string mode : {"--in-process", "--timeout"}) {
        std::vector<std::string> args = {"--lib", LibPath("even_asphere"), "stl",
                                         dir.File(mode + ".stl"), "--binary"};
        if (mode == "--timeout") args.insert(args.begin(), {"--timeout", "30"});
        if (mode == "--in-process") args.insert(args.begin(), mode);
        ASSERT_EQ(RunCli(args).status, 0) << mode;
    }
    EXPECT_TRUE(ReadFile(dir.File("--in-process.stl")) == ReadFile(dir.File("--timeout.stl")));

    ExpectRefused(RunCli({"--timeout", "0", "info"}), "--timeout");
    ExpectRefused(RunCli({"--memory-limit", "-1", "info"}), "--memory-limit");
    const CliRun help = RunCli({"--help"});
    EXPECT_NE(help.out.find("--in-process"), std::string::npos);
    EXPECT_NE(help.out.find("3 the library faulted"), std::string::npos);
}

// check: one line NAME<TAB>RESULT<TAB>DETAIL per check, or the JSON object; status 0 when no
// check failed, 1 when one did, 3 when the library faulted while loading, 2 for a bad --only or
// --range.
TEST(CliTest, CheckPrintsOneLinePerCheckAndFailsWithTheLibrary) {
    const CliRun sound = RunCli({"--lib", LibPath("even_asphere"), "check"});
    EXPECT_EQ(sound.status, 0) << sound.err;
    std::vector<std::string> lines;
    std::istringstream in(sound.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const char* order[] = {"name",     "names", "safe-data", "records", "sag",     "trace",
                           "paraxial", "index", "medium",    "repeat",  "threads", "speed"};
    ASSERT_EQ(lines.size(), 12u) << sound.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t tab = lines[i].find('\t'), second = lines[i].find('\t', tab + 1);
        ASSERT_NE(second, std::string::npos) << lines[i];
        EXPECT_EQ(lines[i].substr(0, tab), order[i]);
        const std::string result = lines[i].substr(tab + 1, second - tab - 1);
        EXPECT_EQ(result, i == 7 || i == 8 ? "skip" : "pass") << lines[i];
    }

    // A planted fault, with --only and a range: the checks named, in the battery's order.
    const CliRun planted = RunCli({"--json", "--lib", LibPath("check_hit_off"), "check", "--only",
                                   "trace,name", "--range", "-2", "2", "-3", "3"});
    EXPECT_EQ(planted.status, 1) << planted.err;
    const nlohmann::json object = nlohmann::json::parse(planted.out);
    const nlohmann::json& checks = object["checks"];
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0]["name"], "name");
    EXPECT_TRUE(checks[0]["example"].is_null());
    EXPECT_EQ(checks[1]["result"], "fail");
    const nlohmann::json& example = checks[1]["example"];
    EXPECT_EQ(example["x"], -2.0);  // the first grid point of the range
    EXPECT_EQ(example["y"], -3.0);
    EXPECT_EQ(example["z"], 0.0);
    EXPECT_TRUE(example["expected"].is_number() && example["got"].is_number()) << example;
    EXPECT_EQ(object["summary"],
              nlohmann::json::parse(R"({"pass": 1, "warn": 0, "fail": 1, "skip": 0})"));
    // A vector compared: the normal against the sag surface's.
    const CliRun normal =
        RunCli({"--json", "--lib", LibPath("check_normal_flipped"), "check", "--only", "trace"});
    const nlohmann::json vector = nlohmann::json::parse(normal.out)["checks"][0]["example"];
    EXPECT_TRUE(vector["expected"].is_array() && vector["got"].size() == 3u) << vector;

    const CliRun loadFault =
        RunCli({"--json", "--lib", LibPath("fault_load_constructor"), "check"});
    EXPECT_EQ(loadFault.status, 3);
    EXPECT_EQ(nlohmann::json::parse(loadFault.out)["fault"]["request_name"], "library load");
    ExpectRefused(RunCli({"check", "--only", "trace,spelling"}), "no check named \"spelling\"");
    ExpectRefused(RunCli({"check", "--range", "1", "-1", "0", "1"}),
                  "--range XMIN XMAX: reversed range");
    ExpectRefused(RunCli({"check", "--range", "1", "2"}), "--range needs four numbers");
    const CliRun help = RunCli({"--help"});
    EXPECT_NE(help.out.find("normal direction 1e-6 rad"), std::string::npos);
}

// trace of a gradient-index surface goes on through the medium: the medium_* keys, --path with
// one line X Y Z N per point (an array in JSON), status 1 when request 6 broke the path off or
// there is no step; views shows the same path in its status line.
TEST(CliTest, TraceFollowsTheRayThroughAGradientIndexMedium) {
    const std::string grin = LibPath("grin_medium");
    const CliRun run = RunCli({"--lib", grin, "trace"});
    ASSERT_EQ(run.status, 0) << run.err;
    Lines lines = ParseLines(run.out);
    const std::vector<std::string> keys = {"medium_steps", "medium_x",   "medium_y",
                                           "medium_z",     "medium_l",   "medium_m",
                                           "medium_n",     "medium_opl", "medium_end"};
    ASSERT_GE(lines.names.size(), keys.size());
    EXPECT_EQ(std::vector<std::string>(lines.names.end() - keys.size(), lines.names.end()), keys);
    EXPECT_EQ(lines["medium_end"], "plane");
    EXPECT_EQ(lines.Number("medium_z"), 10);  // no thic: the display z maximum
    const double l = lines.Number("medium_l"), m = lines.Number("medium_m");
    const double n = lines.Number("medium_n");
    EXPECT_NEAR(l * l + m * m + n * n, 1, 1e-15);
    const long steps = std::stol(lines["medium_steps"]);
    EXPECT_GT(steps, 10);

    // --path: the start and one point per step, the last the end point.
    const CliRun path = RunCli({"--lib", grin, "trace", "--path"});
    ASSERT_EQ(path.status, 0);
    ASSERT_EQ(path.out.rfind(run.out, 0), 0u);  // the keys first, as without --path
    std::istringstream rest(path.out.substr(run.out.size()));
    std::vector<std::vector<double>> points;
    for (std::string line; std::getline(rest, line);) {
        std::istringstream fields(line);
        std::vector<double> point;
        for (std::string field; std::getline(fields, field, '\t');) {
            point.push_back(std::strtod(field.c_str(), nullptr));
        }
        ASSERT_EQ(point.size(), 4u) << line;
        points.push_back(point);
    }
    ASSERT_EQ(points.size(), static_cast<std::size_t>(steps) + 1);
    EXPECT_EQ(points.front()[0], lines.Number("x"));
    EXPECT_EQ(points.back()[0], lines.Number("medium_x"));
    EXPECT_EQ(points.back()[2], 10);
    for (const auto& point : points) EXPECT_NEAR(point[3], 1.6, 0.01);  // the index there

    const nlohmann::json json =
        nlohmann::json::parse(RunCli({"--json", "--lib", grin, "trace", "--path"}).out);
    EXPECT_EQ(json["medium_end"], "plane");
    EXPECT_EQ(json["medium_steps"], steps);
    ASSERT_EQ(json["medium_path"].size(), points.size());
    EXPECT_EQ(json["medium_path"][0][3].get<double>(), points[0][3]);

    // The public libraries' layout: at wavelength 0 the index is no number.
    const std::string publicLayout = LibPath("grin_public_layout");
    lines = ParseLines(RunCli({"--lib", publicLayout, "trace"}).out);
    EXPECT_EQ(lines["medium_end"], "index failed");
    EXPECT_EQ(lines["medium_message"],
              "request 6 answered no finite number at (1.000, -0.500, 0.000) (wavelength is 0: "
              "set it in the table)");
    EXPECT_EQ(RunCli({"--lib", publicLayout, "trace"}).status, 1);
    const CliRun set =
        RunCli({"--lib", publicLayout, "--set", "wavelength=0.55", "--set", "thic=5", "trace"});
    EXPECT_EQ(set.status, 0) << set.out;
    EXPECT_EQ(ParseLines(set.out).Number("medium_z"), 5);
    const CliRun noStep = RunCli({"--lib", grin, "--set", "param[1]=0", "trace"});
    EXPECT_EQ(noStep.status, 1);
    EXPECT_EQ(ParseLines(noStep.out)["medium_end"], "step length");
    EXPECT_EQ(ParseLines(noStep.out)["medium_message"],
              "the step length param[1] (Delta T) must be above 0");
    // A surface that is no medium prints no medium keys.
    EXPECT_EQ(RunCli({"trace"}).out.find("medium"), std::string::npos);
    ExpectRefused(RunCli({"--lib", grin, "trace", "--paths"}), "usage: trace [--path]");

    // views draws the path and shows its status line.
    TempDir dir;
    const CliRun views = RunCli({"--lib", grin, "views", dir.File("v.png"), "--size", "200"});
    ASSERT_EQ(views.status, 0) << views.err;
    Lines traced = ParseLines(run.out);
    char end[80];
    std::snprintf(end, sizeof end, "end (%.3f, %.3f, 10.000), OPL %.3f", traced.Number("medium_x"),
                  traced.Number("medium_y"), traced.Number("medium_opl"));
    EXPECT_EQ(ParseLines(views.out)["status"],
              "GRIN : " + std::to_string(steps) + " steps, " + end);
}

// The built-in surface and a script are checked as well; a script only by sag, repeat, speed.
TEST(CliTest, CheckTakesTheBuiltInSurfaceAndAScript) {
    TempDir dir;
    const CliRun builtIn = RunCli({"check", "--only", "name,sag,threads"});
    EXPECT_EQ(builtIn.status, 0) << builtIn.out;
    EXPECT_EQ(ParseLines(builtIn.out).names, (std::vector<std::string>{"name", "sag", "threads"}));
    EXPECT_NE(builtIn.out.find("\"Even Array\""), std::string::npos) << builtIn.out;
    WriteFile(dir.File("script.txt"), "z = 0.1*(x*x + y*y);\n");
    Lines script = ParseLines(RunCli({"--script", dir.File("script.txt"), "check"}).out);
    ASSERT_EQ(script.names.size(), 12u);
    for (const std::string& name : script.names) {
        const bool runs = name == "sag" || name == "repeat" || name == "speed";
        EXPECT_EQ(script[name].substr(0, 4), runs ? "pass" : "skip") << name;
    }
}

// The conic of tests/libs/conic_surface.c (cv 0.25, k 0) as a script, failing where it has no
// value; and the library with 1e-6 planted at (1.25, -0.5).
constexpr const char* kConicScript =
    "c = 0.25;\nrr = x*x + y*y;\nA = 1.0 - c*c*rr;\nif (A >= 0.0) z = c*rr / (1.0 + sqrt(A));\n";
const std::vector<std::string> kGrid = {"--range", "-2", "2", "-2", "2", "--step", "0.25", "0.25"};

std::vector<std::string> Conic(std::vector<std::string> more, bool planted = false) {
    std::vector<std::string> args = {"--lib", LibPath("conic_surface")};
    if (planted) {
        for (const char* row : {"param[1]=1e-6", "param[2]=1.25", "param[3]=-0.5"})
            args.insert(args.end(), {"--set", row});
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Every line QUANTITY<TAB>same|differs|skip<TAB>DETAIL, the quantities in order.
Lines CompareLines(const CliRun& run) {
    const Lines lines = ParseLines(run.out);
    const std::vector<std::string> order = {
        "record-version", "name",      "names",        "safe-data",       "rows",       "sag",
        "trace-result",   "trace-hit", "trace-normal", "trace-direction", "trace-path", "index",
        "gradient"};
    EXPECT_EQ(lines.names, order) << run.out << run.err;
    for (const auto& [name, rest] : lines) {
        const std::string result = rest.substr(0, rest.find('\t'));
        EXPECT_TRUE(result == "same" || result == "differs" || result == "skip") << rest;
        EXPECT_NE(rest.find('\t'), std::string::npos) << rest;
    }
    return lines;
}

TEST(CliTest, CompareFindsAPlantedDifferenceAtItsCellAndExitsWithIt) {
    TempDir dir;
    WriteFile(dir.File("conic.txt"), kConicScript);
    std::vector<std::string> args = {"compare", dir.File("conic.txt")};
    args.insert(args.end(), kGrid.begin(), kGrid.end());
    const CliRun same = RunCli(Conic(args));
    EXPECT_EQ(same.status, 0) << same.err;
    Lines lines = CompareLines(same);
    EXPECT_EQ(lines["sag"].rfind("same\t289 points, 289 answered by both", 0), 0u) << lines["sag"];
    EXPECT_EQ(lines["trace-hit"].rfind("skip\tnot compared for a script", 0), 0u);

    const CliRun planted = RunCli(Conic(args, true));
    EXPECT_EQ(planted.status, 1) << planted.err;
    lines = CompareLines(planted);
    EXPECT_NE(lines["sag"].find("differs\t289 points, 289 answered by both, 0 by neither, largest "
                                "1e-06 at (1.25, -0.5), rms "),
              std::string::npos)
        << lines["sag"];
    EXPECT_NE(lines["sag"].find(", 1 beyond "), std::string::npos);

    args.insert(args.begin(), "--json");
    const CliRun json = RunCli(Conic(args, true));
    EXPECT_EQ(json.status, 1);
    const nlohmann::json object = nlohmann::json::parse(json.out);
    EXPECT_EQ(object["reference"]["kind"], "script");
    EXPECT_EQ(object["differs"], true);
    // The library check's shape: "checks" with name, result, detail and example (the inputs,
    // the reference's value as expected, the surface's as got), and a summary.
    const nlohmann::json& sag = object["checks"][5];
    EXPECT_EQ(sag["name"], "sag");
    EXPECT_EQ(sag["result"], "differs");
    EXPECT_EQ(sag["information"], false);
    const nlohmann::json& example = sag["example"];
    EXPECT_EQ(example["x"], 1.25);
    EXPECT_EQ(example["y"], -0.5);
    EXPECT_EQ(example["l"], 0.0);
    EXPECT_NEAR(example["got"].get<double>() - example["expected"].get<double>(), 1e-6, 1e-15);
    EXPECT_TRUE(object["checks"][0]["example"].is_null());
    EXPECT_NEAR(sag["largest"].get<double>(), 1e-6, 1e-15);
    EXPECT_EQ(sag["beyond"], 1);
    EXPECT_EQ(sag["compared"], 289);
    EXPECT_EQ(sag["one_sided"], 0);
    EXPECT_TRUE(sag["first_one_sided"].is_null());
    EXPECT_DOUBLE_EQ(object["tolerances"]["position"].get<double>(), 1e-9 * std::sqrt(8.0));
    EXPECT_EQ(object["summary"]["differs"], 1);

    // A tolerance above the difference: the same, and exit 0.
    std::vector<std::string> loose = {"compare", dir.File("conic.txt"), "--tolerance", "2e-6"};
    loose.insert(loose.end(), kGrid.begin(), kGrid.end());
    EXPECT_EQ(RunCli(Conic(loose, true)).status, 0);
    // Arguments compare refuses.
    ExpectRefused(RunCli({"compare"}), "no file given; usage: compare REF");
    ExpectRefused(RunCli({"compare", dir.File("conic.txt"), "--tolerance", "0"}),
                  "--tolerance: a tolerance must be above 0");
    ExpectRefused(RunCli({"compare", dir.File("conic.txt"), "--step", "0.5"}),
                  "--step needs a value");
    ExpectRefused(RunCli({"compare", dir.File("conic.txt"), "--step", "0.001", "0.001"}),
                  "compare: the sag grid of about 20001 x 20001 points is larger than 4194304");
    ExpectRefused(RunCli({"compare", dir.File("missing.so")}), "missing.so: ");
}

TEST(CliTest, ASnapshotOfTheLibraryComparesTheSameAndOtherRangesAreRefused) {
    TempDir dir;
    const std::string snapshot = dir.File("conic.json");
    const CliRun taken = RunCli(Conic({"snapshot", snapshot, "--step", "0.5", "0.5"}));
    ASSERT_EQ(taken.status, 0) << taken.err;
    Lines info = ParseLines(taken.out);
    EXPECT_EQ(info["file"], snapshot);
    EXPECT_EQ(info["points"], "1681");  // 41 x 41 over [-10, 10]
    EXPECT_EQ(info["rays"], "6724");
    const nlohmann::json file = nlohmann::json::parse(ReadFile(snapshot));
    EXPECT_EQ(file["format"], "velmor-snapshot");
    EXPECT_EQ(file["version"], 1);
    EXPECT_EQ(file["sag"]["values"].size(), 1681u);

    // Compared over its own ranges and steps: the same everywhere.
    const CliRun same = RunCli(Conic({"compare", snapshot}));
    EXPECT_EQ(same.status, 0) << same.err << same.out;
    for (const auto& [name, rest] : CompareLines(same)) {
        EXPECT_TRUE(rest.rfind("same\t", 0) == 0 || rest.rfind("skip\t", 0) == 0) << name << rest;
    }
    // Other records than the snapshot's: the sag differs, and the changed row is listed.
    const CliRun changed = RunCli(Conic({"--set", "cv=0.2", "compare", snapshot}));
    EXPECT_EQ(changed.status, 1);
    Lines lines = CompareLines(changed);
    EXPECT_EQ(lines["sag"].rfind("differs\t", 0), 0u);
    EXPECT_EQ(lines["rows"],
              "differs\t1 differ: cv \"0.2\" only on the surface (information, not a failure)");
    // Other ranges: refused, saying what the snapshot covers.
    ExpectRefused(RunCli(Conic({"compare", snapshot, "--range", "-3", "3", "-3", "3"})),
                  "compare: the snapshot covers x -10 .. 10 step 0.5, y -10 .. 10 step 0.5, not "
                  "the comparison's x -3 .. 3 step 0.5");
    // A damaged snapshot, and a snapshot into a folder.
    std::string text = ReadFile(snapshot);
    WriteFile(dir.File("damaged.json"), text.substr(0, text.size() / 3));
    ExpectRefused(RunCli(Conic({"compare", dir.File("damaged.json")})), "damaged.json: not JSON");
    ExpectRefused(RunCli(Conic({"snapshot", dir.Path()})), "not a regular file");
}

TEST(CliTest, AReferenceThatFaultsEndsWithStatus3AndNamesItself) {
    std::vector<std::string> args = {"compare", LibPath("fault_segv")};
    args.insert(args.end(), kGrid.begin(), kGrid.end());
    const CliRun crash = RunCli(Conic(args));
    EXPECT_EQ(crash.status, 3);
    EXPECT_EQ(crash.err.rfind("velmor-cli: library fault: the reference library: SIGSEGV "
                              "(segmentation fault: invalid memory access) in sag",
                              0),
              0u)
        << crash.err;
    args.insert(args.begin(), "--json");
    const CliRun json = RunCli(Conic(args));
    EXPECT_EQ(json.status, 3);
    const nlohmann::json fault = nlohmann::json::parse(json.out)["fault"];
    EXPECT_EQ(fault["library"], "the reference library");
    EXPECT_EQ(fault["signal"], "SIGSEGV");
    // A reference that faults while loading.
    const CliRun load = RunCli(Conic({"compare", LibPath("fault_load_constructor")}));
    EXPECT_EQ(load.status, 3);
    EXPECT_NE(load.err.find("the reference library: "), std::string::npos) << load.err;
}

// store-session writes what the command line built and --session brings it back before the
// source, rows and fields of the command line; what cannot be applied is refused with one
// line, a library that faults while loading ends with status 3.
TEST(CliTest, SessionsApplyFirstAndStoreSessionWritesWhatTheCommandLineBuilt) {
    TempDir dir;
    const std::string session = dir.File("lens.ini");
    CliRun run = RunCli(Asphere({"--n2", "1.6", "store-session", session}));
    ASSERT_EQ(run.status, 0) << run.err;
    Lines lines = ParseLines(run.out);
    EXPECT_EQ(lines["source"], "library");
    EXPECT_EQ(lines["record_version"], "0");
    const std::string text = ReadFile(session);
    EXPECT_NE(text.find("SOURCE=library\nLIBRARY=" + LibPath("even_asphere") + "\n"),
              std::string::npos)
        << text;
    // Only the rows that differ from a fresh load.
    EXPECT_NE(text.find("[RECORDS]\nRECORD_VERSION=0\ncv=0.100000\nk=-0.500000\nparam[1]=0.001000\n"
                        "param[2]=-0.000020\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("N2=1.6\n"), std::string::npos);

    // The session alone gives what the command line gave.
    double sag = 0;
    ASSERT_TRUE(AsphereSag(1.5, 0.5, &sag, 0.1, -0.5, 0.001, -2e-5));
    run = RunCli({"--session", session, "sag", "1.5", "0.5"});
    ASSERT_EQ(run.status, 0) << run.err;
    lines = ParseLines(run.out);
    EXPECT_NEAR(lines.Number("sag"), sag, 1e-12);
    // --set applies on top, and the session's n2 stays unless --n2 is given.
    run = RunCli({"--session", session, "--set", "param[1]=0", "store-session", dir.File("b.ini")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.File("b.ini")).find("param[1]="), std::string::npos);
    EXPECT_NE(ReadFile(dir.File("b.ini")).find("N2=1.6\n"), std::string::npos);

    // A value finer than the tables' six decimals is said to change.
    run = RunCli({"--set", "param[3]=1e-7", "store-session", dir.File("fine.ini")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("param[3] is kept as \"0.000000\""), std::string::npos) << run.err;

    // A session that travelled with its library.
    std::filesystem::create_directories(dir.File("moved"));
    std::filesystem::copy_file(LibPath("even_asphere"), dir.File("moved/gone.so"));
    WriteFile(dir.File("moved/s.ini"),
              "[SESSION]\nVERSION=1\nSOURCE=library\nLIBRARY=/nowhere/gone.so\n");
    run = RunCli({"--session", dir.File("moved/s.ini"), "store-session", dir.File("c.ini")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(ReadFile(dir.File("c.ini")).find("LIBRARY=" + dir.File("moved/gone.so")),
              std::string::npos);

    WriteFile(dir.File("plain.ini"), "[WINDOW_MAIN]\nVISIBLE=1\n");
    WriteFile(dir.File("missing.ini"), "[SESSION]\nVERSION=1\nSOURCE=library\nLIBRARY=/no/x.so\n");
    WriteFile(dir.File("rows.ini"), "[SESSION]\nVERSION=1\n[RECORDS]\nparam[300]=1\nx=2\n");
    WriteFile(dir.File("key.ini"), "[SESSION]\nVERSION=1\n[ANALYSIS]\nZOOM=1\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--session", dir.File("plain.ini"), "info"}, "no [SESSION] section"},
        {{"--session", dir.File("missing.ini"), "info"}, "the library is missing"},
        {{"--session", dir.File("rows.ini"), "info"}, "param[300]=1: no such row"},
        {{"--session", dir.File("key.ini"), "info"}, "ZOOM=1: unknown key"},
        {{"--session", "/dev/null", "info"}, "not a regular file"},
        {{"store-session"}, "usage: store-session OUT.ini"},
        {{"store-session", "/dev/null"}, "/dev/null"},
    };
    for (const auto& [args, mentions] : refused) ExpectRefused(RunCli(args), mentions);

    WriteFile(dir.File("fault.ini"), "[SESSION]\nVERSION=1\nSOURCE=library\nLIBRARY=" +
                                         LibPath("fault_load_safe_data") + "\n");
    run = RunCli({"--session", dir.File("fault.ini"), "info"});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.err.find("velmor-cli: library fault: "), std::string::npos) << run.err;
}

}  // namespace
}  // namespace velmor::test
