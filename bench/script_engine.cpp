// Script engine speed: the interpreter window's default example (an even asphere) evaluated
// once per point over a 1024 x 1024 grid, as a surface map does: by the point executor one
// point at a time, and by the block executor a row at a time. Compared in the same run with
// the same surface written as native C++, and with muparser evaluating the same formula with
// the same intermediate variables point by point and in its bulk mode (a row per Eval, on one
// thread). The block executor is also run at 16 to 1024 lanes per block, which chose
// kBlockLanes. Prints ns per point and the ratios.
#include "core/interp/script_engine.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/interp/block_executor.h"
#include "core/interp/default_script.h"

#if __has_include(<muParser.h>)
#include <muParser.h>
#define VELMOR_HAVE_MUPARSER 1
#endif

namespace {

constexpr int kGrid = 1024;
constexpr double kPoints = double(kGrid) * kGrid;
constexpr double kLow = -2.0;
constexpr double kStep = 4.0 / (kGrid - 1);

std::map<std::string, double> g_sums;  // sum of z over the grid, per variant (a sanity check)

void BM_Velmor(benchmark::State& state) {
    velmor::CScriptEngine engine;
    engine.Compile(velmor::kDefaultScript);
    if (engine.CompileErrorCount() != 0) state.SkipWithError("the example does not compile");
    double sum = 0.0;
    for (auto _ : state) {
        sum = 0.0;
        for (int j = 0; j < kGrid; ++j) {
            double y = kLow + j * kStep;
            for (int i = 0; i < kGrid; ++i) {
                engine.SetInputs(kLow + i * kStep, y);
                engine.Run(false);
                double z = 0.0;
                if (engine.ResultOfPoint(&z)) sum += z;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    g_sums["velmor"] = sum;
}
BENCHMARK(BM_Velmor)->Unit(benchmark::kMillisecond);

// The grid a row at a time through the block executor (CScriptEngine::RunPoints), as the
// sampler hands a map's rows to it; state.range(0) lanes per block. With state.range(1) the
// same number of points goes in rows of that length instead (a surface map's rows are 800).
void BM_VelmorBlock(benchmark::State& state) {
    velmor::CScriptEngine engine;
    engine.Compile(velmor::kDefaultScript);
    if (engine.CompileErrorCount() != 0) state.SkipWithError("the example does not compile");
    engine.SetBlockLanes(static_cast<int>(state.range(0)));
    const int row = state.range(1) > 0 ? static_cast<int>(state.range(1)) : kGrid;
    const int rows = kGrid * kGrid / row;
    const double step = 4.0 / (row - 1), rowStep = 4.0 / (rows - 1);
    std::vector<double> xs(row), ys(row);
    for (int i = 0; i < row; ++i) xs[i] = kLow + i * step;
    std::vector<velmor::PointRun> runs(row);
    double sum = 0.0;
    for (auto _ : state) {
        sum = 0.0;
        for (int j = 0; j < rows; ++j) {
            std::fill(ys.begin(), ys.end(), kLow + j * rowStep);
            engine.RunPoints(row, xs.data(), ys.data(), runs.data());
            for (const velmor::PointRun& run : runs) {
                if (run.compiled && run.assigned && run.runErrors == 0) sum += run.z;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    if (row == kGrid) g_sums["velmor block " + std::to_string(state.range(0))] = sum;
}
BENCHMARK(BM_VelmorBlock)->Args({velmor::kBlockLanes, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VelmorBlock)
    ->Name("BM_VelmorBlockLanes")
    ->ArgsProduct({{16, 32, 64, 128, 256, 512, 1024}, {0, 800}})
    ->Unit(benchmark::kMillisecond);

// The same surface as native code; the coefficients are read through volatile variables so
// that, like the script, the code cannot fold them away.
void BM_Native(benchmark::State& state) {
    volatile double vc = 0.25, vk = 0.0, va1 = 0.0, va2 = 0.0, va3 = 0.0, va4 = 0.0;
    double sum = 0.0;
    for (auto _ : state) {
        sum = 0.0;
        for (int j = 0; j < kGrid; ++j) {
            double y = kLow + j * kStep;
            for (int i = 0; i < kGrid; ++i) {
                double x = kLow + i * kStep;
                double c = vc, k = vk, a1 = va1, a2 = va2, a3 = va3, a4 = va4;
                double rr = x * x + y * y;
                double A = 1.0 - (1.0 + k) * c * c * rr;
                A = 0.0 > A ? 0.0 : A;
                double z = c * rr / (1.0 + std::sqrt(A));
                z = z + a1 * rr;
                z = z + a2 * rr * rr;
                z = z + a3 * rr * rr * rr;
                z = z + a4 * rr * rr * rr * rr;
                z = 2.0 > z ? z : 2.0;
                sum += z;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    g_sums["native"] = sum;
}
BENCHMARK(BM_Native)->Unit(benchmark::kMillisecond);

// Scripts whose conditions split the lanes, through the block executor (the lanes of a split
// go on under a mark) and point by point; range(0) picks the script: the seed example whose if
// splits the grid into a few long runs, or conditions that change every few points, nested.
const char* const kSplitScripts[] = {
    "c = 0.25; k = 0.0; rr = x*x + y*y; A = 1.0 - (1.0+k)*c*c*rr; A = max(0.0, A);"
    "z = c*rr / (1.0 + sqrt(A));"
    "if (z > 0.5) { z = 0.5; } else { z = z + log10(abs(y) + 1e-3) * 0; }",
    "s = sin(40 * x) * cos(30 * y); z = x * y;"
    "if (s > 0) { if (s > 0.5) z = z + 1; else z = z * 2; } else { if (s < -0.5) z = z - 1; }",
};

void BM_VelmorSplit(benchmark::State& state) {
    velmor::CScriptEngine engine;
    engine.Compile(kSplitScripts[state.range(0)]);
    if (engine.CompileErrorCount() != 0) state.SkipWithError("the script does not compile");
    std::vector<double> xs(kGrid), ys(kGrid);
    for (int i = 0; i < kGrid; ++i) xs[i] = kLow + i * kStep;
    std::vector<velmor::PointRun> runs(kGrid);
    double sum = 0.0;
    for (auto _ : state) {
        sum = 0.0;
        for (int j = 0; j < kGrid; ++j) {
            std::fill(ys.begin(), ys.end(), kLow + j * kStep);
            engine.RunPoints(kGrid, xs.data(), ys.data(), runs.data());
            for (const velmor::PointRun& run : runs) sum += run.z;
        }
        benchmark::DoNotOptimize(sum);
    }
    g_sums["split " + std::to_string(state.range(0))] = sum;
}
BENCHMARK(BM_VelmorSplit)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// The same scripts point by point, for scale.
void BM_VelmorSplitPoints(benchmark::State& state) {
    velmor::CScriptEngine engine;
    engine.Compile(kSplitScripts[state.range(0)]);
    double sum = 0.0;
    for (auto _ : state) {
        sum = 0.0;
        for (int j = 0; j < kGrid; ++j) {
            for (int i = 0; i < kGrid; ++i) {
                engine.SetInputs(kLow + i * kStep, kLow + j * kStep);
                engine.Run(false);
                double z = 0.0;
                engine.ZAssigned(&z);
                sum += z;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    g_sums["split " + std::to_string(state.range(0)) + " points"] = sum;
}
BENCHMARK(BM_VelmorSplitPoints)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

#ifdef VELMOR_HAVE_MUPARSER
void BM_Muparser(benchmark::State& state) {
    double x = 0, y = 0, c = 0, k = 0, a1 = 0, a2 = 0, a3 = 0, a4 = 0, rr = 0, A = 0, z = 0;
    mu::Parser parser;
    try {
        parser.DefineVar("x", &x);
        parser.DefineVar("y", &y);
        parser.DefineVar("c", &c);
        parser.DefineVar("k", &k);
        parser.DefineVar("a1", &a1);
        parser.DefineVar("a2", &a2);
        parser.DefineVar("a3", &a3);
        parser.DefineVar("a4", &a4);
        parser.DefineVar("rr", &rr);
        parser.DefineVar("A", &A);
        parser.DefineVar("z", &z);
        parser.SetExpr(
            "c = 0.25, k = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, a4 = 0.0,"
            "rr = x*x + y*y,"
            "A = 1.0 - (1.0+k)*c*c*rr,"
            "A = max(0.0, A),"
            "z = c*rr / (1.0 + sqrt(A)),"
            "z = z + a1*rr,"
            "z = z + a2*rr*rr,"
            "z = z + a3*rr*rr*rr,"
            "z = z + a4*rr*rr*rr*rr,"
            "z = min(z, 2.0)");
        parser.Eval();
    } catch (const mu::Parser::exception_type& e) {
        state.SkipWithError(e.GetMsg().c_str());
        return;
    }
    double sum = 0.0;
    for (auto _ : state) {
        sum = 0.0;
        for (int j = 0; j < kGrid; ++j) {
            y = kLow + j * kStep;
            for (int i = 0; i < kGrid; ++i) {
                x = kLow + i * kStep;
                parser.Eval();
                sum += z;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    g_sums["muparser"] = sum;
}
BENCHMARK(BM_Muparser)->Unit(benchmark::kMillisecond);

// muparser's bulk mode: every variable an array of a row's points, one Eval(results, n) per
// row. The Debian build runs the bulk mode under OpenMP; it is held to one thread (through
// libgomp, which muparser loaded) and the process CPU time is measured all the same.
void BM_MuparserBulk(benchmark::State& state) {
    using SetThreads = void (*)(int);
    if (auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"))) {
        set(1);
    }
    const char* names[] = {"x", "y", "c", "k", "a1", "a2", "a3", "a4", "rr", "A", "z"};
    std::map<std::string, std::vector<double>> arrays;
    mu::Parser parser;
    try {
        for (const char* name : names) {
            std::vector<double>& lanes = arrays[name];
            lanes.assign(kGrid, 0.0);
            parser.DefineVar(name, lanes.data());
        }
        parser.SetExpr(
            "c = 0.25, k = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0, a4 = 0.0,"
            "rr = x*x + y*y,"
            "A = 1.0 - (1.0+k)*c*c*rr,"
            "A = max(0.0, A),"
            "z = c*rr / (1.0 + sqrt(A)),"
            "z = z + a1*rr,"
            "z = z + a2*rr*rr,"
            "z = z + a3*rr*rr*rr,"
            "z = z + a4*rr*rr*rr*rr,"
            "z = min(z, 2.0)");
        parser.Eval();
    } catch (const mu::Parser::exception_type& e) {
        state.SkipWithError(e.GetMsg().c_str());
        return;
    }
    std::vector<double>& xs = arrays["x"];
    std::vector<double>& ys = arrays["y"];
    for (int i = 0; i < kGrid; ++i) xs[i] = kLow + i * kStep;
    std::vector<double> results(kGrid);
    double sum = 0.0;
    for (auto _ : state) {
        sum = 0.0;
        for (int j = 0; j < kGrid; ++j) {
            std::fill(ys.begin(), ys.end(), kLow + j * kStep);
            parser.Eval(results.data(), kGrid);
            for (double z : results) sum += z;
        }
        benchmark::DoNotOptimize(sum);
    }
    g_sums["muparser bulk"] = sum;
}
BENCHMARK(BM_MuparserBulk)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
#endif

// Keeps the CPU time per grid of each variant for the ratio lines (CPU time, not wall time:
// the machine may be shared).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nsPerPoint;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            double seconds =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            std::string name = run.benchmark_name();
            double& best = nsPerPoint[name];
            double ns = seconds * 1e9 / kPoints;
            best = best == 0.0 ? ns : std::min(best, ns);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto ns = [&](const char* name) {
        auto it = reporter.nsPerPoint.find(name);
        return it == reporter.nsPerPoint.end() ? 0.0 : it->second;
    };
    double velmor = ns("BM_Velmor"), native = ns("BM_Native"), muparser = ns("BM_Muparser");
    const double block =
        ns(("BM_VelmorBlock/" + std::to_string(velmor::kBlockLanes) + "/0").c_str());
    const double bulk = ns("BM_MuparserBulk/process_time");
    std::printf("\n%d x %d points, default example script\n", kGrid, kGrid);
    std::printf("ns per point: velmor %.2f   native %.2f   muparser %.2f\n", velmor, native,
                muparser);
    std::printf("ns per point: velmor block (%d lanes) %.2f   muparser bulk %.2f\n",
                velmor::kBlockLanes, block, bulk);
    if (velmor > 0 && muparser > 0) std::printf("velmor / muparser = %.3f\n", velmor / muparser);
    if (velmor > 0 && native > 0) std::printf("velmor / native   = %.2f\n", velmor / native);
    if (muparser > 0 && native > 0) std::printf("muparser / native = %.2f\n", muparser / native);
    if (block > 0 && native > 0) {
        std::printf("velmor block / native        = %.2f (goal <= 3, at most 5)\n", block / native);
    }
    if (block > 0 && bulk > 0) {
        std::printf("velmor block / muparser bulk = %.3f (goal < 1)\n", block / bulk);
    }
    for (int row : {0, 800}) {
        std::printf("lanes per block, rows of %d:", row == 0 ? kGrid : row);
        for (int lanes = 16; lanes <= 1024; lanes *= 2) {
            const std::string name =
                "BM_VelmorBlockLanes/" + std::to_string(lanes) + "/" + std::to_string(row);
            std::printf("  %d: %.2f", lanes, ns(name.c_str()));
        }
        std::printf("  (ns per point)\n");
    }
    for (int script = 0; script < 2; ++script) {
        const std::string at = std::to_string(script);
        std::printf("split script %d: block %.2f, point by point %.2f (ns per point)\n", script,
                    ns(("BM_VelmorSplit/" + at).c_str()),
                    ns(("BM_VelmorSplitPoints/" + at).c_str()));
    }
    for (const auto& [name, sum] : g_sums)
        std::printf("sum of z (%s) = %.17g\n", name.c_str(), sum);
    return 0;
}
