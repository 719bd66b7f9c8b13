// The ray through a gradient-index medium (the test library grin_exact.so, its exact index
// n^2 = n0^2 (1 - g^2 (x^2 + y^2))):
// - one path of 20000 steps with each stage a single request through the helper process, and
//   the same path with the library in this process, against the same integrator with the index
//   computed natively here (the integrator's own cost): per step, and what a path of 1000000
//   steps (the step limit) takes;
// - the library check's 82 rays advanced together (each stage one batch for all rays) against
//   the same 82 rays one after another, both through the helper.
// Every benchmark times each iteration itself; the summary uses the fastest of each.
#include "core/surface/medium_ray.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/interp/script_engine.h"
#include "core/surface/provider.h"

namespace velmor {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSteps = 20000;
constexpr double kN0 = 1.6, kG = 0.05;

std::map<std::string, double>& Best() {
    static std::map<std::string, double> best;
    return best;
}

void Record(benchmark::State& state, const std::string& name, Clock::time_point since, double per) {
    const double wall = std::chrono::duration<double>(Clock::now() - since).count();
    state.SetIterationTime(wall);
    double& best = Best()[name];
    if (best <= 0 || wall / per < best) best = wall / per;
}

struct Library {
    explicit Library(bool inProcess) {
        LibraryHostSettings settings;
        settings.inProcess = inProcess;
        provider.SetLibraryHost(settings);
        const LoadOutcome outcome =
            provider.OpenSurfaceDll(std::string(VELMOR_LIB_DIR) + "/grin_exact.so");
        if (!outcome.loaded) {
            std::fprintf(stderr, "grin_exact.so: %s\n", outcome.reason.c_str());
            std::exit(1);
        }
        provider.RefreshWorkingPair();
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

// The library's index computed here.
class NativeIndex final : public MediumIndex {
public:
    bool Sample(std::size_t n, const double* x, const double* y, const double* z, IndexSample* out,
                bool* ok) override {
        for (std::size_t i = 0; i < n; ++i) {
            const double n2 = kN0 * kN0 * (1 - kG * kG * (x[i] * x[i] + y[i] * y[i]));
            const double index = std::sqrt(n2), f = -kN0 * kN0 * kG * kG / index;
            out[i] = {index, f * x[i], f * y[i], 0.0};
            ok[i] = n2 > 0;
        }
        return true;
    }
};

// A path that takes kSteps steps to the plane: along the axis from (3, 0, 0).
MediumRay LongRay() {
    const double tz = kN0 * std::sqrt(1 - kG * kG * 9);
    MediumRay ray{3, 0, 0, 0, 0, 1, 0};
    ray.step = 10.0 / tz / (kSteps - 0.5);
    return ray;
}

void Path(benchmark::State& state, MediumIndex& index, const char* name) {
    const MediumRay ray = LongRay();
    MediumBounds bounds;
    MediumOptions options;
    for (auto _ : state) {
        const auto start = Clock::now();
        const MediumPath path = TraceMediumPath(ray, bounds, index, options);
        if (path.end != MediumEnd::kPlane || path.steps != kSteps) {
            std::fprintf(stderr, "%s: %s after %lld steps\n", name, MediumEndName(path.end),
                         path.steps);
            std::exit(1);
        }
        Record(state, name, start, kSteps);
    }
}

void BM_PathThroughHelper(benchmark::State& state) {
    SamplerMediumIndex index(Guarded().provider.SurfaceSampler());
    Path(state, index, "path through the helper");
}

void BM_PathInProcess(benchmark::State& state) {
    SamplerMediumIndex index(InProcess().provider.SurfaceSampler());
    Path(state, index, "path in-process");
}

void BM_PathNative(benchmark::State& state) {
    NativeIndex index;
    Path(state, index, "path, native index");
}

// The check's rays: 41 across x and 41 across y, step 0.01 to z = 10.
std::vector<MediumRay> CheckRays() {
    std::vector<MediumRay> rays;
    for (int i = 0; i < 41; ++i) {
        const double u = -8 + 16.0 * i / 40;
        rays.push_back({u, 0, 0, -0.1, 0.05, 1, 0.01});
        rays.push_back({0, u, 0, -0.1, 0.05, 1, 0.01});
    }
    return rays;
}

void BM_CheckRaysTogether(benchmark::State& state) {
    SamplerMediumIndex index(Guarded().provider.SurfaceSampler());
    const std::vector<MediumRay> rays = CheckRays();
    MediumOptions options;
    options.keepPoints = false;
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(TraceMediumPaths(rays, MediumBounds(), index, options));
        Record(state, "82 rays together through the helper", start, 1);
    }
}

void BM_CheckRaysOneByOne(benchmark::State& state) {
    SamplerMediumIndex index(Guarded().provider.SurfaceSampler());
    const std::vector<MediumRay> rays = CheckRays();
    MediumOptions options;
    options.keepPoints = false;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (const MediumRay& ray : rays) {
            benchmark::DoNotOptimize(TraceMediumPath(ray, MediumBounds(), index, options));
        }
        Record(state, "82 rays one by one through the helper", start, 1);
    }
}

BENCHMARK(BM_PathNative)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PathInProcess)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PathThroughHelper)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CheckRaysTogether)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CheckRaysOneByOne)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void Summary() {
    auto& best = Best();
    const double native = best["path, native index"];
    const double inProcess = best["path in-process"];
    const double helper = best["path through the helper"];
    std::printf("\nOne path, per step (3 requests of 1 point):\n");
    std::printf("  native index      %8.3f us\n", native * 1e6);
    std::printf("  in-process        %8.3f us  (%.1f x native)\n", inProcess * 1e6,
                inProcess / native);
    std::printf("  through the helper %7.3f us  (%.1f x native, %.1f x in-process)\n", helper * 1e6,
                helper / native, helper / inProcess);
    std::printf("  1000000 steps (the step limit): %.1f s through the helper, %.2f s in-process\n",
                helper * 1e6, inProcess * 1e6);
    const double together = best["82 rays together through the helper"];
    const double oneByOne = best["82 rays one by one through the helper"];
    std::printf(
        "The check's 82 rays through the helper: together %.1f ms, one by one %.1f ms "
        "(%.1f x)\n",
        together * 1e3, oneByOne * 1e3, oneByOne / together);
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    velmor::Summary();
    return 0;
}
