// Script engine speed: the interpreter window's default example (an even asphere) evaluated
// once per point over a 1024 x 1024 grid, as a surface map does. Compared in the same run with
// the same surface written as native C++ and with muparser evaluating the same formula with the
// same intermediate variables. Prints ns per point and the ratios.
#include "core/interp/script_engine.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

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
    std::printf("\n%d x %d points, default example script\n", kGrid, kGrid);
    std::printf("ns per point: velmor %.2f   native %.2f   muparser %.2f\n", velmor, native,
                muparser);
    if (velmor > 0 && muparser > 0) std::printf("velmor / muparser = %.3f\n", velmor / muparser);
    if (velmor > 0 && native > 0) std::printf("velmor / native   = %.2f\n", velmor / native);
    if (muparser > 0 && native > 0) std::printf("muparser / native = %.2f\n", muparser / native);
    for (const auto& [name, sum] : g_sums)
        std::printf("sum of z (%s) = %.17g\n", name.c_str(), sum);
    return 0;
}
