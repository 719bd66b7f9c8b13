// The guarded library host against the library in the program's own process, with the example
// library even_asphere.so:
// - a 1024 x 1024 sag map (the surface map's pass at that size) sampled through the helper
//   process as batch requests (each call's records behind fences and checked, the answers
//   hashed by the helper and checked by the program as it reads them), against the same map
//   sampled in-process point by point (the program's own loop) and as in-process batches; goal:
//   within 1.3 x of in-process; for comparison also through the helper without fences
//   (LIBRARY_HOST FENCES=0: no check of the bytes before the records after each call);
// - one "Call DLL" round trip through the helper (the initial pair copied to the final pair and
//   sent as one request), against a bare pipe round trip to a child process measured here;
//   goal: within 2 x of the bare pipe.
// Every benchmark times each iteration itself; the summary uses the fastest of each.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/interp/script_engine.h"
#include "core/surface/provider.h"

namespace velmor {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMapSide = 1024;
constexpr int kRoundTrips = 2000;  // per iteration of a round-trip benchmark

struct Times {
    double wall = -1, cpu = -1;
};

std::map<std::string, Times>& Best() {
    static std::map<std::string, Times> best;
    return best;
}

// CPU seconds this process and the helper (when one runs) have used: the machine may be shared,
// so besides wall time the work both processes did is compared.
double CpuSeconds(int helperPid) {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    double seconds = static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
    if (helperPid > 0) {
        // The first field of schedstat: nanoseconds on a CPU.
        std::ifstream stat("/proc/" + std::to_string(helperPid) + "/schedstat");
        double nanoseconds = 0;
        if (stat >> nanoseconds) seconds += nanoseconds * 1e-9;
    }
    return seconds;
}

struct Stopwatch {
    explicit Stopwatch(int pid) : helperPid(pid), cpu(CpuSeconds(pid)) {}
    int helperPid;
    double cpu;
    Clock::time_point wall = Clock::now();
};

void Record(benchmark::State& state, const std::string& name, const Stopwatch& since,
            double per = 1) {
    const double wall = std::chrono::duration<double>(Clock::now() - since.wall).count();
    const double cpu = CpuSeconds(since.helperPid) - since.cpu;
    state.SetIterationTime(wall);
    Times& best = Best()[name];
    if (best.wall <= 0 || wall / per < best.wall) best.wall = wall / per;
    if (best.cpu <= 0 || cpu / per < best.cpu) best.cpu = cpu / per;
}

// One provider with even_asphere.so loaded, in the helper (with or without fences) or in this
// process.
struct Library {
    explicit Library(bool inProcess, bool fences = true) {
        LibraryHostSettings settings;
        settings.inProcess = inProcess;
        settings.limits.fences = fences;
        provider.SetLibraryHost(settings);
        const LoadOutcome outcome =
            provider.OpenSurfaceDll(std::string(VELMOR_LIB_DIR) + "/even_asphere.so");
        if (!outcome.loaded) {
            std::fprintf(stderr, "even_asphere.so: %s\n", outcome.reason.c_str());
            std::exit(1);
        }
    }
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
};

Library& Guarded() {
    static Library library(false);
    return library;
}
Library& InProcess() {
    static Library library(true);
    return library;
}
Library& Unfenced() {
    static Library library(false, false);
    return library;
}

// The map's points over the program's initial ranges [-10, 10], row by row.
struct MapPoints {
    MapPoints() {
        for (int j = 0; j < kMapSide; ++j) {
            for (int i = 0; i < kMapSide; ++i) {
                x.push_back(-10.0 + 20.0 * i / kMapSide);
                y.push_back(10.0 - 20.0 * j / kMapSide);
            }
            ends.push_back(x.size());
        }
        z.resize(x.size());
        ok.reset(new bool[x.size()]);
    }
    std::vector<double> x, y, z;
    std::vector<std::size_t> ends;
    std::unique_ptr<bool[]> ok;
};

MapPoints& Map() {
    static MapPoints map;
    return map;
}

void MapAsBatches(benchmark::State& state, Library& library, const char* name) {
    MapPoints& map = Map();
    for (auto _ : state) {
        const Stopwatch start(library.provider.LibraryHelperPid());
        library.provider.RefreshWorkingPair();
        library.provider.SurfaceSampler().SagBatch(map.x.size(), map.x.data(), map.y.data(),
                                                   map.z.data(), map.ok.get(),
                                                   {map.ends.data(), map.ends.size()});
        Record(state, name, start);
    }
}

void BM_MapThroughHelper(benchmark::State& state) {
    MapAsBatches(state, Guarded(), "map through the helper");
}

void BM_MapThroughHelperUnfenced(benchmark::State& state) {
    MapAsBatches(state, Unfenced(), "map through the helper, no fences");
}

void BM_MapInProcessBatches(benchmark::State& state) {
    MapAsBatches(state, InProcess(), "map in-process, batches");
}

// The program's own loop: one CallSurface per point on the working pair.
void BM_MapInProcessPoints(benchmark::State& state) {
    MapPoints& map = Map();
    Library& library = InProcess();
    for (auto _ : state) {
        const Stopwatch start(0);
        library.provider.RefreshWorkingPair();
        Sampler& sampler = library.provider.SurfaceSampler();
        for (std::size_t i = 0; i < map.x.size(); ++i) {
            map.ok[i] = sampler.Sag(map.x[i], map.y[i], &map.z[i]);
        }
        Record(state, "map in-process, points", start);
    }
}

// "Call DLL": the initial pair into the final pair, its request (sag at the initial point)
// sent once.
void CallDll(benchmark::State& state, Library& library, const char* name) {
    CSurfaceProvider& provider = library.provider;
    provider.Initial().Type() = kRequestSag;
    for (auto _ : state) {
        const Stopwatch start(provider.LibraryHelperPid());
        for (int k = 0; k < kRoundTrips; ++k) {
            CopyRecordPair(provider.Final(), provider.Initial());
            benchmark::DoNotOptimize(provider.CallSurface(provider.Final()));
        }
        Record(state, name, start, kRoundTrips);
    }
}

void BM_CallDllThroughHelper(benchmark::State& state) {
    CallDll(state, Guarded(), "Call DLL through the helper");
}

void BM_CallDllInProcess(benchmark::State& state) {
    CallDll(state, InProcess(), "Call DLL in-process");
}

// A child that echoes 12-byte frames: the cost of crossing to another process and back.
void BM_BarePipeRoundTrip(benchmark::State& state) {
    int request[2], answer[2];
    if (pipe(request) != 0 || pipe(answer) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        close(request[1]);
        close(answer[0]);
        char frame[12];
        while (read(request[0], frame, sizeof frame) == sizeof frame) {
            if (write(answer[1], frame, sizeof frame) != sizeof frame) break;
        }
        _exit(0);
    }
    close(request[0]);
    close(answer[1]);
    char frame[12] = {};
    for (auto _ : state) {
        const Stopwatch start(child);
        for (int k = 0; k < kRoundTrips; ++k) {
            if (write(request[1], frame, sizeof frame) != sizeof frame ||
                read(answer[0], frame, sizeof frame) != sizeof frame) {
                std::exit(1);
            }
        }
        Record(state, "bare pipe round trip", start, kRoundTrips);
    }
    close(request[1]);
    close(answer[0]);
    waitpid(child, nullptr, 0);
}

#define VELMOR_BENCH(fn, iterations) \
    BENCHMARK(fn)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(iterations)

VELMOR_BENCH(BM_MapInProcessPoints, 5);
VELMOR_BENCH(BM_MapInProcessBatches, 15);
VELMOR_BENCH(BM_MapThroughHelper, 15);
VELMOR_BENCH(BM_MapThroughHelperUnfenced, 15);
VELMOR_BENCH(BM_BarePipeRoundTrip, 10);
VELMOR_BENCH(BM_CallDllThroughHelper, 10);
VELMOR_BENCH(BM_CallDllInProcess, 5);

Times Get(const std::string& name) {
    const auto it = Best().find(name);
    return it == Best().end() ? Times{} : it->second;
}

void PrintTimes(const char* what, const Times& t, double unit, const char* unitName) {
    std::printf("%-44s wall %9.2f %s   cpu %9.2f %s\n", what, t.wall * unit, unitName, t.cpu * unit,
                unitName);
}

void PrintRatio(const char* what, const Times& ours, const Times& peer, double goal) {
    if (ours.wall <= 0 || peer.wall <= 0) {
        std::printf("%s: not measured\n", what);
        return;
    }
    const double wall = ours.wall / peer.wall, cpu = ours.cpu / peer.cpu;
    std::printf("%s: wall %.2f x, cpu %.2f x (goal <= %.1f x) %s\n", what, wall, cpu, goal,
                wall <= goal  ? "met"
                : cpu <= goal ? "met in cpu time, wall MISSED"
                              : "MISSED");
}

void PrintSummary() {
    std::printf(
        "\n== Summary: fastest iteration of each, even_asphere.so; cpu counts this "
        "process and the helper or pipe peer ==\n");
    const Times helper = Get("map through the helper");
    const Times points = Get("map in-process, points");
    const Times batches = Get("map in-process, batches");
    PrintTimes("1024 x 1024 sag map through the helper", helper, 1e3, "ms");
    PrintTimes("  in-process, point by point (today's loop)", points, 1e3, "ms");
    PrintTimes("  in-process, batches", batches, 1e3, "ms");
    const Times unfenced = Get("map through the helper, no fences");
    PrintTimes("  through the helper without fences", unfenced, 1e3, "ms");
    PrintRatio("  helper / in-process point by point", helper, points, 1.3);
    PrintRatio("  helper / in-process batches", helper, batches, 1.3);
    PrintRatio("  helper without fences / in-process batches", unfenced, batches, 1.3);
    const Times call = Get("Call DLL through the helper");
    const Times pipe = Get("bare pipe round trip");
    const Times direct = Get("Call DLL in-process");
    PrintTimes("Call DLL through the helper", call, 1e6, "us");
    PrintTimes("  in-process", direct, 1e6, "us");
    PrintTimes("  bare pipe round trip", pipe, 1e6, "us");
    PrintRatio("  Call DLL through the helper / bare pipe", call, pipe, 2.0);
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    velmor::PrintSummary();
    benchmark::Shutdown();
    return 0;
}
