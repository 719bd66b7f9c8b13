// Mesh build of about one million triangles, STL write (ASCII and binary) of that mesh, and
// STL read of the files just written, against admesh and assimp reading the same files.
//
// The machine these run on may be shared: besides wall time, the CPU time of each run is
// recorded (this process's own for our code, the child's user + system time for a peer) and
// compared as well.
//
// The surface is the built-in Even Array surface, sampled through the provider as the "Make 3D
// Model" command samples it. Every benchmark times each iteration itself; the summary uses the
// fastest iteration of each. The peers are separate programs, so their runs include process
// start-up and library loading: each peer is also timed on an eight-triangle file of the same
// format, and that start-up time is subtracted to give its reading time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/interp/script_engine.h"
#include "core/surface/even_array.h"
#include "core/surface/provider.h"
#include "core/surface/records.h"
#include "core/surface/sampler.h"
#include "core/view3d/mesh_builder.h"
#include "core/view3d/model_reader.h"
#include "core/view3d/stl_writer.h"

extern char** environ;

namespace velmor {
namespace {

using Clock = std::chrono::steady_clock;

// The built-in Even Array surface with its safe data (5 x 5 lenslets of 2 x 2), sampled as
// the mesh builder samples any surface: through the provider's working record pair.
struct BuiltInSurface {
    BuiltInSurface() { provider.RefreshWorkingPair(); }
    Sampler& sampler() { return provider.SurfaceSampler(); }
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
};

// 707 x 707 points at a step of 1/64 (exact in binary) over the array and a little beyond:
// 2 * 706 * 706 = 996,872 triangles, the most a square grid makes within the budget of one
// million planned triangles.
MeshParams MillionParams() {
    MeshParams p;
    p.xmin = p.ymin = -5.515625;
    p.xmax = p.ymax = 5.515625;
    p.dx = p.dy = 1.0 / 64;
    return p;
}

struct Files {
    std::filesystem::path dir;
    std::string binary, ascii, tinyBinary, tinyAscii;
    CModel mesh;
};

Files& Shared() {
    static Files files;
    return files;
}

struct Times {
    double wall = -1, cpu = -1;
};

std::map<std::string, Times>& Best() {
    static std::map<std::string, Times> best;
    return best;
}

double CpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Wall and CPU time from one point on.
struct Stopwatch {
    Clock::time_point wall = Clock::now();
    double cpu = CpuNow();
};

void Record(benchmark::State& state, const std::string& name, double wall, double cpu) {
    state.SetIterationTime(wall);
    Times& best = Best()[name];
    if (best.wall < 0 || wall < best.wall) best.wall = wall;
    if (best.cpu < 0 || cpu < best.cpu) best.cpu = cpu;
}

void Record(benchmark::State& state, const std::string& name, const Stopwatch& since) {
    Record(state, name, std::chrono::duration<double>(Clock::now() - since.wall).count(),
           CpuNow() - since.cpu);
}

bool HaveProgram(const char* name) {
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
        if (access((std::string(dir) + name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Runs a command with its output discarded: seconds from spawn to exit and the child's CPU
// seconds, or wall = -1 when it failed.
Times TimeProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Times t;
    t.wall = std::chrono::duration<double>(Clock::now() - start).count();
    t.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
            usage.ru_stime.tv_usec * 1e-6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) t.wall = -1;
    return t;
}

void Prepare() {
    Files& f = Shared();
    char pattern[] = "/tmp/velmor_bench_stl_XXXXXX";
    f.dir = mkdtemp(pattern);
    f.binary = (f.dir / "million_bin.stl").string();
    f.ascii = (f.dir / "million_ascii.stl").string();
    f.tinyBinary = (f.dir / "tiny_bin.stl").string();
    f.tinyAscii = (f.dir / "tiny_ascii.stl").string();
    BuiltInSurface surface;
    MeshParams p = MillionParams();
    BuildSurfaceMesh(p, surface.sampler(), f.mesh, nullptr);
    WriteStlBinary(f.binary, f.mesh, nullptr);
    WriteStlAscii(f.ascii, f.mesh, nullptr);
    // Eight triangles: admesh refuses files of fewer than four facets.
    CModel tiny;
    MeshParams small;
    small.xmin = small.ymin = 0;
    small.xmax = small.ymax = 1;
    small.dx = small.dy = 0.5;
    BuildSurfaceMesh(small, surface.sampler(), tiny, nullptr);
    WriteStlBinary(f.tinyBinary, tiny, nullptr);
    WriteStlAscii(f.tinyAscii, tiny, nullptr);
}

void BM_MeshBuild(benchmark::State& state) {
    BuiltInSurface surface;
    for (auto _ : state) {
        CModel model;
        MeshParams p = MillionParams();
        const Stopwatch start;
        int count = 0;
        BuildSurfaceMesh(p, surface.sampler(), model, nullptr, &count);
        Record(state, "mesh build", start);
        state.counters["triangles"] = count;
    }
}

// The same grid and triangles in a plain loop that calls the built-in surface's entry point
// on a record pair of its own, without provider, sampler, model or progress calls. Its output
// buffer is allocated and touched once, outside the timing: a lower bound.
void BM_MeshNativeLoop(benchmark::State& state) {
    BuiltInSurface surface;
    RecordPair pair = surface.provider.Working();
    auto sag = [&pair](double x, double y) {
        pair.ud.x = x;
        pair.ud.y = y;
        pair.Type() = kRequestSag;
        return EvenArraySurface(&pair.ud, pair.Fd0()) == 0 ? pair.ud.sag1 : 0.0;
    };
    std::vector<float> tri(size_t{2} * 706 * 706 * 12);
    for (auto _ : state) {
        tri.clear();
        const Stopwatch start;
        const MeshParams p = MillionParams();
        const int n = 707;
        std::vector<double> prev(n), cur(n);
        for (int r = 0; r < n; ++r) {
            const double y = p.ymin + r * p.dy;
            for (int c = 0; c < n; ++c) {
                const double x = p.xmin + c * p.dx;
                cur[c] = sag(x, y);
                if (r == 0 || c == 0) continue;
                const double v[4][3] = {{x, y, cur[c]},
                                        {x - p.dx, y, cur[c - 1]},
                                        {x, y - p.dy, prev[c]},
                                        {x - p.dx, y - p.dy, prev[c - 1]}};
                const int corners[2][3] = {{0, 1, 2}, {2, 1, 3}};
                for (const auto& t : corners) {
                    double ux = v[t[1]][0] - v[t[0]][0], uy = v[t[1]][1] - v[t[0]][1],
                           uz = v[t[1]][2] - v[t[0]][2];
                    double wx = v[t[2]][0] - v[t[0]][0], wy = v[t[2]][1] - v[t[0]][1],
                           wz = v[t[2]][2] - v[t[0]][2];
                    double nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
                    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
                    tri.push_back(static_cast<float>(nx / len));
                    tri.push_back(static_cast<float>(ny / len));
                    tri.push_back(static_cast<float>(nz / len));
                    for (int i : t) {
                        for (int j = 0; j < 3; ++j) tri.push_back(static_cast<float>(v[i][j]));
                    }
                }
            }
            std::swap(prev, cur);
        }
        benchmark::DoNotOptimize(tri.data());
        Record(state, "mesh native loop", start);
    }
}

void BM_WriteBinary(benchmark::State& state) {
    const std::string path = (Shared().dir / "write_bin.stl").string();
    for (auto _ : state) {
        const Stopwatch start;
        WriteStlBinary(path, Shared().mesh, nullptr);
        Record(state, "write binary", start);
    }
}

void BM_WriteAscii(benchmark::State& state) {
    const std::string path = (Shared().dir / "write_ascii.stl").string();
    for (auto _ : state) {
        const Stopwatch start;
        WriteStlAscii(path, Shared().mesh, nullptr);
        Record(state, "write ascii", start);
    }
}

void ReadOurs(benchmark::State& state, const std::string& path, const char* name) {
    for (auto _ : state) {
        auto model = std::make_unique<CModel>();
        std::string message;
        const Stopwatch start;
        if (ReadModelFile(path, *model, &message) != 0) state.SkipWithError(message.c_str());
        Record(state, name, start);
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
}

void BM_ReadBinary(benchmark::State& state) {
    ReadOurs(state, Shared().binary, "read binary");
}
void BM_ReadAscii(benchmark::State& state) {
    ReadOurs(state, Shared().ascii, "read ascii");
}

void RunPeer(benchmark::State& state, const char* program, std::vector<std::string> argv,
             const std::string& name) {
    if (!HaveProgram(program)) {
        state.SkipWithError((std::string(program) + " is not installed").c_str());
        for (auto _ : state) {
        }
        return;
    }
    for (auto _ : state) {
        const Times t = TimeProgram(argv);
        if (t.wall < 0) {
            state.SkipWithError((name + " failed").c_str());
            break;
        }
        Record(state, name, t.wall, t.cpu);
    }
}

// admesh -c: read and print statistics, no checks. assimp info -r: raw import, no
// post-processing.
std::vector<std::string> Admesh(const std::string& f) {
    return {"admesh", "-c", f};
}
std::vector<std::string> Assimp(const std::string& f) {
    return {"assimp", "info", f, "-r"};
}

void BM_AdmeshBinary(benchmark::State& s) {
    RunPeer(s, "admesh", Admesh(Shared().binary), "admesh binary");
}
void BM_AdmeshAscii(benchmark::State& s) {
    RunPeer(s, "admesh", Admesh(Shared().ascii), "admesh ascii");
}
void BM_AdmeshStartBinary(benchmark::State& s) {
    RunPeer(s, "admesh", Admesh(Shared().tinyBinary), "admesh start binary");
}
void BM_AdmeshStartAscii(benchmark::State& s) {
    RunPeer(s, "admesh", Admesh(Shared().tinyAscii), "admesh start ascii");
}
void BM_AssimpBinary(benchmark::State& s) {
    RunPeer(s, "assimp", Assimp(Shared().binary), "assimp binary");
}
void BM_AssimpAscii(benchmark::State& s) {
    RunPeer(s, "assimp", Assimp(Shared().ascii), "assimp ascii");
}
void BM_AssimpStartBinary(benchmark::State& s) {
    RunPeer(s, "assimp", Assimp(Shared().tinyBinary), "assimp start binary");
}
void BM_AssimpStartAscii(benchmark::State& s) {
    RunPeer(s, "assimp", Assimp(Shared().tinyAscii), "assimp start ascii");
}

// admesh writing the mesh it read: the write is the difference to reading alone.
void BM_AdmeshWriteBinary(benchmark::State& s) {
    const std::string out = (Shared().dir / "admesh_out_bin.stl").string();
    RunPeer(s, "admesh", {"admesh", "-c", "-b", out, Shared().binary}, "admesh read+write binary");
}
void BM_AdmeshWriteAscii(benchmark::State& s) {
    const std::string out = (Shared().dir / "admesh_out_ascii.stl").string();
    RunPeer(s, "admesh", {"admesh", "-c", "-a", out, Shared().binary}, "admesh read+write ascii");
}

#define VELMOR_BENCH(fn, iterations) \
    BENCHMARK(fn)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(iterations)

VELMOR_BENCH(BM_MeshBuild, 5);
VELMOR_BENCH(BM_MeshNativeLoop, 5);
VELMOR_BENCH(BM_WriteBinary, 5);
VELMOR_BENCH(BM_WriteAscii, 3);
VELMOR_BENCH(BM_ReadBinary, 5);
VELMOR_BENCH(BM_ReadAscii, 3);
VELMOR_BENCH(BM_AdmeshStartBinary, 10);
VELMOR_BENCH(BM_AdmeshStartAscii, 10);
VELMOR_BENCH(BM_AssimpStartBinary, 10);
VELMOR_BENCH(BM_AssimpStartAscii, 10);
VELMOR_BENCH(BM_AdmeshBinary, 3);
VELMOR_BENCH(BM_AdmeshAscii, 3);
VELMOR_BENCH(BM_AssimpBinary, 3);
VELMOR_BENCH(BM_AssimpAscii, 3);
VELMOR_BENCH(BM_AdmeshWriteBinary, 3);
VELMOR_BENCH(BM_AdmeshWriteAscii, 3);

Times Get(const std::string& name) {
    const auto it = Best().find(name);
    return it == Best().end() ? Times{} : it->second;
}

void PrintLine(const char* what, const Times& t) {
    std::printf("%-26s wall %7.3f s   cpu %7.3f s\n", what, t.wall, t.cpu);
}

void PrintSummary() {
    const Files& f = Shared();
    std::printf(
        "\n== Summary: fastest iteration of each, %zu triangles, binary %.1f MB, ASCII "
        "%.1f MB ==\n",
        f.mesh.faces.size(), std::filesystem::file_size(f.binary) / 1e6,
        std::filesystem::file_size(f.ascii) / 1e6);
    const Times build = Get("mesh build"), native = Get("mesh native loop");
    PrintLine("mesh build", build);
    PrintLine("  plain native loop", native);
    std::printf("  build takes x times the native loop: wall %.2f, cpu %.2f\n",
                build.wall / native.wall, build.cpu / native.cpu);

    const Times admeshRead = Get("admesh binary");
    for (const char* format : {"binary", "ascii"}) {
        const Times ours = Get(std::string("write ") + format);
        if (ours.wall < 0) continue;  // filtered out
        const double goal = std::string(format) == "binary" ? 0.3 : 1.5;
        std::printf("write %-6s (goal < %.1f s) wall %7.3f s   cpu %7.3f s   %s\n", format, goal,
                    ours.wall, ours.cpu, ours.wall < goal ? "met" : "MISSED (wall)");
        // admesh reading the binary file and writing this format, less reading alone.
        const Times both = Get(std::string("admesh read+write ") + format);
        if (both.wall > 0 && admeshRead.wall > 0) {
            const double wall = both.wall - admeshRead.wall, cpu = both.cpu - admeshRead.cpu;
            std::printf(
                "  admesh write             wall %7.3f s   cpu %7.3f s   ours faster: "
                "wall %.1fx, cpu %.1fx\n",
                wall, cpu, wall / ours.wall, cpu / ours.cpu);
        }
    }
    for (const char* format : {"binary", "ascii"}) {
        const Times ours = Get(std::string("read ") + format);
        if (ours.wall < 0) continue;
        std::printf("read %-6s                wall %7.3f s   cpu %7.3f s\n", format, ours.wall,
                    ours.cpu);
        for (const char* peer : {"admesh", "assimp"}) {
            const Times whole = Get(std::string(peer) + " " + format);
            const Times start = Get(std::string(peer) + " start " + format);
            if (whole.wall < 0 || start.wall < 0) {
                std::printf("  %-6s not measured\n", peer);
                continue;
            }
            const double wall = whole.wall - start.wall, cpu = whole.cpu - start.cpu;
            std::printf(
                "  %-6s less start-up %5.3f s  wall %7.3f s   cpu %7.3f s   ours faster: "
                "wall %.1fx, cpu %.1fx\n",
                peer, start.wall, wall, cpu, wall / ours.wall, cpu / ours.cpu);
        }
    }
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    velmor::Prepare();
    benchmark::RunSpecifiedBenchmarks();
    velmor::PrintSummary();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(velmor::Shared().dir, ignored);
    return 0;
}
