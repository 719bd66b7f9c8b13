// Speed of "Update 2D": the ray traced, the surface map discarded and rebuilt (one sag sample
// per pixel plus the coarse pass), the four views repainted and the plot client painted, at
// the default ranges and steps (800 x 800 map, 800 samples per curve). Measured for the built-in
// surface and for the interpreter window's default example script.
//
// The peer is the same run's surface samples alone: one Update 2D is recorded through a
// sampler that keeps every request and pass, and the recorded passes are then replayed
// straight into the surface's sampler (a script's passes through its block executor, as in
// Update 2D). The ratio samples / Update 2D is the share of the time the surface itself costs;
// the rest is the views' own overhead (loops, mapping, drawing, stretching). The script's
// Update 2D is also compared with the built-in surface's (goal: within 1.5 x).
//
// With the example library even_asphere.so, Update 2D with the library in the helper process
// is compared with the library loaded into this process (goal: within 1.3 x), in alternating
// rounds; the CPU time counts the helper's as well.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/host/library_host_settings.h"
#include "core/interp/default_script.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/update_2d.h"

namespace {

using namespace velmor;

constexpr int kAreaSide = 320;  // a plot area of the main window at its usual size
constexpr int kClientSide = 2 * (kAreaSide + 4);  // the square the four areas fill

// One call of the sampler: a single sample, or a pass of them (its rows left out on replay).
struct Pass {
    enum Kind { kSag, kIndex, kSagBatch, kIndexBatch, kMixedBatch } kind;
    std::vector<SampleRequest> requests;
};

// What answers the samples: the built-in surface, the default example script, or
// even_asphere.so in the helper process or in this process.
enum class Source { kBuiltIn, kScript, kHelper, kInProcess };

std::vector<SampleRequest> Requests(SampleRequest::Kind kind, std::size_t n, const double* x,
                                    const double* y, const double* z) {
    std::vector<SampleRequest> requests(n);
    for (std::size_t i = 0; i < n; ++i) requests[i] = {kind, x[i], y[i], z ? z[i] : 0.0};
    return requests;
}

// Passes every sample and pass on and keeps it.
class RecordingSampler final : public Sampler {
public:
    explicit RecordingSampler(Sampler& inner) : m_inner(inner) {}
    bool Sag(double x, double y, double* z) override {
        passes.push_back({Pass::kSag, {{SampleRequest::kSag, x, y, 0}}});
        return m_inner.Sag(x, y, z);
    }
    bool Index(double x, double y, double z, IndexSample* out) override {
        passes.push_back({Pass::kIndex, {{SampleRequest::kIndex, x, y, z}}});
        return m_inner.Index(x, y, z, out);
    }
    std::size_t SagBatch(std::size_t n, const double* x, const double* y, double* z, bool* ok,
                         const SampleRows& rows) override {
        passes.push_back({Pass::kSagBatch, Requests(SampleRequest::kSag, n, x, y, nullptr)});
        return m_inner.SagBatch(n, x, y, z, ok, rows);
    }
    std::size_t IndexBatch(std::size_t n, const double* x, const double* y, const double* z,
                           IndexSample* out, bool* ok, const SampleRows& rows) override {
        passes.push_back({Pass::kIndexBatch, Requests(SampleRequest::kIndex, n, x, y, z)});
        return m_inner.IndexBatch(n, x, y, z, out, ok, rows);
    }
    void SampleBatch(std::size_t n, const SampleRequest* requests, SampleAnswer* answers) override {
        passes.push_back({Pass::kMixedBatch, {requests, requests + n}});
        m_inner.SampleBatch(n, requests, answers);
    }
    std::vector<Pass> passes;

private:
    Sampler& m_inner;
};

class RecordingSurface final : public PlotSurface {
public:
    explicit RecordingSurface(PlotSurface& inner) : m_inner(inner), sampler(inner.PointSampler()) {}
    Sampler& PointSampler() override { return sampler; }
    void RefreshWorkingPair() override { m_inner.RefreshWorkingPair(); }
    void ClearRunErrorCounters() override { m_inner.ClearRunErrorCounters(); }
    std::string RunErrorSummary() override { return m_inner.RunErrorSummary(); }

private:
    PlotSurface& m_inner;

public:
    RecordingSampler sampler;
};

struct Program {
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    ProviderPlotSurface surface{provider};
    PlotSettings settings;
    CSurfaceMap map;
    QImage client{kClientSide, kClientSide, QImage::Format_RGB32};

    explicit Program(Source source) {
        if (source == Source::kScript) {
            engine.Compile(kDefaultScript);
            provider.SetInterpreterMode(true);
        }
        if (source == Source::kHelper || source == Source::kInProcess) {
            LibraryHostSettings host;
            host.inProcess = source == Source::kInProcess;
            provider.SetLibraryHost(host);
            if (!provider.OpenSurfaceDll(VELMOR_LIB_DIR "/even_asphere.so").loaded) {
                std::fprintf(stderr, "even_asphere.so cannot be loaded\n");
                std::exit(1);
            }
        }
        settings.interpreterMode = provider.InterpreterMode();
        settings.gradientIndex = provider.GradientIndex();
    }
    // One "Update 2D" as the main window runs it, its samples taken through `through`.
    void Update2D(PlotSurface& through) {
        const QRect rect(0, 0, kClientSide, kClientSide);
        const PlotClientLayout layout{rect, QGuiApplication::palette(), ComputePlotAreas(rect)};
        QPainter painter(&client);
        const Update2DResult result =
            velmor::Update2D(painter, layout, settings, {provider, through, map, nullptr});
        benchmark::DoNotOptimize(result.views.plan.constBits());
    }
};

// Process CPU time: the machine is shared, so wall time says more about the neighbours. With
// a helper process, its time on a CPU is added (the first field of its schedstat).
double CpuSeconds(int helperPid = 0) {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    double seconds = static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
    if (helperPid > 0) {
        std::ifstream stat("/proc/" + std::to_string(helperPid) + "/schedstat");
        double nanoseconds = 0;
        if (stat >> nanoseconds) seconds += nanoseconds * 1e-9;
    }
    return seconds;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The passes of one Update 2D, replayed straight into the surface's sampler.
double ReplaySamples(Program& program, const std::vector<Pass>& passes) {
    Sampler& sampler = program.surface.PointSampler();
    program.surface.RefreshWorkingPair();
    double sum = 0;
    std::vector<double> x, y, z, out;
    std::vector<IndexSample> indices;
    std::vector<SampleAnswer> answers;
    for (const Pass& pass : passes) {
        const std::size_t n = pass.requests.size();
        const SampleRequest& first = pass.requests.front();
        x.resize(n), y.resize(n), z.resize(n), out.resize(n), indices.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = pass.requests[i].x, y[i] = pass.requests[i].y, z[i] = pass.requests[i].z;
        }
        std::unique_ptr<bool[]> ok(new bool[n]);
        switch (pass.kind) {
            case Pass::kSag: {
                double sag = 0;
                if (sampler.Sag(first.x, first.y, &sag)) sum += sag;
                break;
            }
            case Pass::kIndex: {
                IndexSample s;
                if (sampler.Index(first.x, first.y, first.z, &s)) sum += s.index;
                break;
            }
            case Pass::kSagBatch:
                sampler.SagBatch(n, x.data(), y.data(), out.data(), ok.get());
                for (std::size_t i = 0; i < n; ++i) sum += ok[i] ? out[i] : 0.0;
                break;
            case Pass::kIndexBatch:
                sampler.IndexBatch(n, x.data(), y.data(), z.data(), indices.data(), ok.get());
                for (std::size_t i = 0; i < n; ++i) sum += ok[i] ? indices[i].index : 0.0;
                break;
            case Pass::kMixedBatch:
                answers.resize(n);
                sampler.SampleBatch(n, pass.requests.data(), answers.data());
                for (const SampleAnswer& a : answers) sum += a.ok ? a.sag + a.index.index : 0.0;
                break;
        }
    }
    return sum;
}

std::vector<Pass> RecordPasses(Program& program) {
    RecordingSurface recorder(program.surface);
    program.Update2D(recorder);
    return recorder.sampler.passes;
}

std::size_t SampleCount(const std::vector<Pass>& passes) {
    std::size_t n = 0;
    for (const Pass& pass : passes) n += pass.requests.size();
    return n;
}

void BM_Update2D(benchmark::State& state, Source source) {
    Program program(source);
    for (auto _ : state) program.Update2D(program.surface);
}

void BM_SamplesOnly(benchmark::State& state, Source source) {
    Program program(source);
    const std::vector<Pass> passes = RecordPasses(program);
    for (auto _ : state) benchmark::DoNotOptimize(ReplaySamples(program, passes));
    state.counters["samples"] = static_cast<double>(SampleCount(passes));
}

// Update 2D and its samples alone, alternately, so both see the same load on the machine;
// the fastest round of each is compared.
void PrintShares(bool script, int rounds) {
    Program program(script ? Source::kScript : Source::kBuiltIn);
    const std::vector<Pass> passes = RecordPasses(program);
    std::vector<double> update, samples;
    for (int i = 0; i < rounds; ++i) {
        double start = CpuSeconds();
        program.Update2D(program.surface);
        update.push_back((CpuSeconds() - start) * 1e3);
        start = CpuSeconds();
        benchmark::DoNotOptimize(ReplaySamples(program, passes));
        samples.push_back((CpuSeconds() - start) * 1e3);
    }
    std::sort(update.begin(), update.end());
    std::sort(samples.begin(), samples.end());
    const double u = update.front(), s = samples.front();
    std::printf(
        "  %-8s Update 2D %7.1f ms (median %7.1f); its %zu samples alone %7.1f ms "
        "(median %7.1f): samples %5.1f%%, views' own overhead %5.1f%%\n",
        script ? "script" : "built-in", u, update[update.size() / 2], SampleCount(passes), s,
        samples[samples.size() / 2], 100.0 * s / u, 100.0 * (1.0 - s / u));
}

// Update 2D of the default script and of the built-in surface, alternately; the fastest round
// and the median of each are compared.
void PrintScriptRatio(int rounds) {
    Program script(Source::kScript), builtIn(Source::kBuiltIn);
    std::vector<double> times[2];
    for (int i = 0; i < rounds; ++i) {
        Program* programs[2] = {&script, &builtIn};
        for (int k = 0; k < 2; ++k) {
            const double start = CpuSeconds();
            programs[k]->Update2D(programs[k]->surface);
            times[k].push_back((CpuSeconds() - start) * 1e3);
        }
    }
    for (std::vector<double>& t : times) std::sort(t.begin(), t.end());
    const double best = times[0][0] / times[1][0];
    std::printf("  script %7.1f ms (median %7.1f), built-in %7.1f ms (median %7.1f)\n", times[0][0],
                times[0][rounds / 2], times[1][0], times[1][rounds / 2]);
    std::printf("  script / built-in Update 2D: %.2f x (median %.2f x; goal <= 1.5 x) %s\n", best,
                times[0][rounds / 2] / times[1][rounds / 2], best <= 1.5 ? "met" : "MISSED");
}

// Update 2D with even_asphere.so in the helper and in this process, alternately; the fastest
// round of each (wall and CPU time of both processes) is compared.
void PrintHelperRatio(int rounds) {
    Program helper(Source::kHelper), direct(Source::kInProcess);
    const int pid = helper.provider.LibraryHelperPid();
    std::vector<double> wall[2], cpu[2];
    for (int i = 0; i < rounds; ++i) {
        Program* programs[2] = {&helper, &direct};
        for (int k = 0; k < 2; ++k) {
            const double w = WallSeconds(), c = CpuSeconds(k == 0 ? pid : 0);
            programs[k]->Update2D(programs[k]->surface);
            wall[k].push_back((WallSeconds() - w) * 1e3);
            cpu[k].push_back((CpuSeconds(k == 0 ? pid : 0) - c) * 1e3);
        }
    }
    for (int k = 0; k < 2; ++k) {
        std::sort(wall[k].begin(), wall[k].end());
        std::sort(cpu[k].begin(), cpu[k].end());
    }
    std::printf("  helper     Update 2D wall %7.1f ms (median %7.1f), cpu %7.1f ms\n", wall[0][0],
                wall[0][rounds / 2], cpu[0][0]);
    std::printf("  in-process Update 2D wall %7.1f ms (median %7.1f), cpu %7.1f ms\n", wall[1][0],
                wall[1][rounds / 2], cpu[1][0]);
    const double ratio = wall[0][0] / wall[1][0];
    std::printf(
        "  helper / in-process: wall %.2f x (median %.2f x), cpu %.2f x (goal <= 1.3 x) %s\n",
        ratio, wall[0][rounds / 2] / wall[1][rounds / 2], cpu[0][0] / cpu[1][0],
        ratio <= 1.3 ? "met" : "MISSED");
}

BENCHMARK_CAPTURE(BM_Update2D, builtin, Source::kBuiltIn)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_SamplesOnly, builtin, Source::kBuiltIn)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Update2D, script, Source::kScript)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_SamplesOnly, script, Source::kScript)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Update2D, even_asphere_helper, Source::kHelper)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Update2D, even_asphere_in_process, Source::kInProcess)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    // The views draw text, which needs a GUI application; no display is needed.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf(
        "\nUpdate 2D at the default ranges and steps, plot areas %d x %d, CPU time, "
        "fastest of 40 alternating rounds:\n",
        kAreaSide, kAreaSide);
    PrintShares(false, 40);
    PrintShares(true, 40);
    std::printf(
        "\nUpdate 2D of the default script against the built-in surface, CPU time, "
        "40 alternating rounds:\n");
    PrintScriptRatio(40);
    std::printf("\nUpdate 2D with even_asphere.so, fastest of 40 alternating rounds:\n");
    PrintHelperRatio(40);
    return 0;
}
