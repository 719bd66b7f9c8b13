// Mesh build of about one million triangles, STL write (ASCII and binary) of that mesh, and
// STL read of the files just written, against admesh and assimp reading the same files.
//
// The surface is an even-asphere lenslet array computed natively behind a Sampler (the same
// path the mesh builder takes for any surface). Every benchmark times each iteration itself;
// the summary uses the fastest iteration of each. The peers are separate programs, so their
// runs include process start-up and library loading: each peer is also timed on a one-triangle
// file of the same format, and that start-up time is subtracted to give its reading time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "surface/sampler.h"
#include "view3d/mesh_builder.h"
#include "view3d/model_reader.h"
#include "view3d/stl_writer.h"

extern char** environ;

namespace velmor {
namespace {

using Clock = std::chrono::steady_clock;

// Lenslets of 2 x 2 on a 5 x 5 array: an even asphere in every cell.
double LensletSag(double x, double y) {
    const double w = 2.0;
    const double xc = (std::floor(x / w) + 0.5) * w, yc = (std::floor(y / w) + 0.5) * w;
    const double r2 = (x - xc) * (x - xc) + (y - yc) * (y - yc);
    const double c = 0.4, k = -0.5, a4 = 0.001, a6 = -0.0001;
    const double root = 1.0 - (1.0 + k) * c * c * r2;
    if (root < 0) return 0.0;
    return c * r2 / (1.0 + std::sqrt(root)) + a4 * r2 * r2 + a6 * r2 * r2 * r2;
}

class LensletSampler : public Sampler {
public:
    bool Sag(double x, double y, double* z) override {
        *z = LensletSag(x, y);
        return true;
    }
    bool Index(double, double, double, IndexSample*) override { return false; }
};

// 707 x 707 points at a step of 1/32 (exact in binary): 2 * 706 * 706 = 996,872 triangles,
// the most a square grid makes within the budget of one million planned triangles.
MeshParams MillionParams() {
    MeshParams p;
    p.xmin = p.ymin = -11.03125;
    p.xmax = p.ymax = 11.03125;
    p.dx = p.dy = 1.0 / 32;
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

std::map<std::string, double>& Best() {
    static std::map<std::string, double> best;
    return best;
}

void Record(benchmark::State& state, const std::string& name, double seconds) {
    state.SetIterationTime(seconds);
    auto [it, inserted] = Best().emplace(name, seconds);
    if (!inserted && seconds < it->second) it->second = seconds;
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool HaveProgram(const char* name) {
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
        if (access((std::string(dir) + name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Runs a command with its output discarded; seconds from spawn to exit, or -1.
double TimeProgram(const std::vector<std::string>& argv) {
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
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = Since(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

void Prepare() {
    Files& f = Shared();
    char pattern[] = "/tmp/velmor_bench_stl_XXXXXX";
    f.dir = mkdtemp(pattern);
    f.binary = (f.dir / "million_bin.stl").string();
    f.ascii = (f.dir / "million_ascii.stl").string();
    f.tinyBinary = (f.dir / "tiny_bin.stl").string();
    f.tinyAscii = (f.dir / "tiny_ascii.stl").string();
    LensletSampler sampler;
    MeshParams p = MillionParams();
    BuildSurfaceMesh(p, sampler, f.mesh, nullptr);
    WriteStlBinary(f.binary, f.mesh, nullptr);
    WriteStlAscii(f.ascii, f.mesh, nullptr);
    CModel tiny;
    MeshParams one;
    one.xmin = one.ymin = 0;
    one.xmax = 1;
    one.ymax = 1;
    one.dx = one.dy = 1;
    BuildSurfaceMesh(one, sampler, tiny, nullptr);
    tiny.faces.resize(1);
    tiny.groups[0]->faces.resize(1);
    WriteStlBinary(f.tinyBinary, tiny, nullptr);
    WriteStlAscii(f.tinyAscii, tiny, nullptr);
}

void BM_MeshBuild(benchmark::State& state) {
    LensletSampler sampler;
    for (auto _ : state) {
        CModel model;
        MeshParams p = MillionParams();
        const auto start = Clock::now();
        int count = 0;
        BuildSurfaceMesh(p, sampler, model, nullptr, &count);
        Record(state, "mesh build", Since(start));
        state.counters["triangles"] = count;
    }
}

// The same grid and triangles in a plain loop without sampler, model or progress calls.
void BM_MeshNativeLoop(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = Clock::now();
        const MeshParams p = MillionParams();
        const int n = 707;
        std::vector<float> tri;
        tri.reserve(size_t{2} * 706 * 706 * 12);
        std::vector<double> prev(n), cur(n);
        for (int r = 0; r < n; ++r) {
            const double y = p.ymin + r * p.dy;
            for (int c = 0; c < n; ++c) {
                const double x = p.xmin + c * p.dx;
                cur[c] = LensletSag(x, y);
                if (r == 0 || c == 0) continue;
                const double v[4][3] = {{x, y, cur[c]}, {x - p.dx, y, cur[c - 1]},
                                        {x, y - p.dy, prev[c]}, {x - p.dx, y - p.dy, prev[c - 1]}};
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
        Record(state, "mesh native loop", Since(start));
    }
}

void BM_WriteBinary(benchmark::State& state) {
    const std::string path = (Shared().dir / "write_bin.stl").string();
    for (auto _ : state) {
        const auto start = Clock::now();
        WriteStlBinary(path, Shared().mesh, nullptr);
        Record(state, "write binary", Since(start));
    }
}

void BM_WriteAscii(benchmark::State& state) {
    const std::string path = (Shared().dir / "write_ascii.stl").string();
    for (auto _ : state) {
        const auto start = Clock::now();
        WriteStlAscii(path, Shared().mesh, nullptr);
        Record(state, "write ascii", Since(start));
    }
}

void ReadOurs(benchmark::State& state, const std::string& path, const char* name) {
    for (auto _ : state) {
        auto model = std::make_unique<CModel>();
        std::string message;
        const auto start = Clock::now();
        if (ReadModelFile(path, *model, &message) != 0) state.SkipWithError(message.c_str());
        Record(state, name, Since(start));
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
}

void BM_ReadBinary(benchmark::State& state) { ReadOurs(state, Shared().binary, "read binary"); }
void BM_ReadAscii(benchmark::State& state) { ReadOurs(state, Shared().ascii, "read ascii"); }

void RunPeer(benchmark::State& state, const char* program, std::vector<std::string> argv,
             const std::string& name) {
    if (!HaveProgram(program)) {
        state.SkipWithError((std::string(program) + " is not installed").c_str());
        for (auto _ : state) {
        }
        return;
    }
    for (auto _ : state) {
        const double seconds = TimeProgram(argv);
        if (seconds < 0) {
            state.SkipWithError((name + " failed").c_str());
            break;
        }
        Record(state, name, seconds);
    }
}

// admesh -c: read and print statistics, no checks. assimp info -r: raw import, no
// post-processing.
std::vector<std::string> Admesh(const std::string& f) { return {"admesh", "-c", f}; }
std::vector<std::string> Assimp(const std::string& f) { return {"assimp", "info", f, "-r"}; }

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

double Get(const char* name) {
    const auto it = Best().find(name);
    return it == Best().end() ? -1 : it->second;
}

void PrintSummary() {
    const Files& f = Shared();
    std::printf("\n== Summary (fastest iteration of each; %zu triangles, binary %.1f MB, ASCII "
                "%.1f MB) ==\n",
                f.mesh.faces.size(), std::filesystem::file_size(f.binary) / 1e6,
                std::filesystem::file_size(f.ascii) / 1e6);
    const double build = Get("mesh build"), native = Get("mesh native loop");
    std::printf("mesh build          %8.3f s   native loop %.3f s   ratio %.2f\n", build, native,
                build / native);
    const double wb = Get("write binary"), wa = Get("write ascii");
    std::printf("write binary        %8.3f s   (goal < 0.3 s: %s)\n", wb, wb < 0.3 ? "met" : "MISSED");
    std::printf("write ascii         %8.3f s   (goal < 1.5 s: %s)\n", wa, wa < 1.5 ? "met" : "MISSED");
    const double admeshWb = Get("admesh read+write binary") - Get("admesh binary");
    const double admeshWa = Get("admesh read+write ascii") - Get("admesh binary");
    if (Get("admesh binary") > 0) {
        std::printf("  admesh write binary %.3f s (ours %.2fx faster), ascii %.3f s (ours %.2fx "
                    "faster)\n",
                    admeshWb, admeshWb / wb, admeshWa, admeshWa / wa);
    }
    for (const char* format : {"binary", "ascii"}) {
        const double ours = Get((std::string("read ") + format).c_str());
        std::printf("read %-6s         %8.3f s   (goal %s)\n", format, ours,
                    std::string(format) == "binary" ? (ours < 0.3 ? "< 0.3 s: met" : "< 0.3 s: MISSED")
                                                    : "faster than both peers");
        for (const char* peer : {"admesh", "assimp"}) {
            const double whole = Get((std::string(peer) + " " + format).c_str());
            const double start = Get((std::string(peer) + " start " + format).c_str());
            if (whole < 0 || start < 0) {
                std::printf("  %-6s not measured\n", peer);
                continue;
            }
            const double net = whole - start;
            std::printf("  %-6s run %.3f s - start-up %.3f s = %.3f s   ours %.2fx faster (%.2fx "
                        "against the whole run)\n",
                        peer, whole, start, net, net / ours, whole / ours);
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
