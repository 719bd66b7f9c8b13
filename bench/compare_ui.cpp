// Speed of a comparison: even_asphere.so compared with itself (both in helpers of their own,
// the surface's in its provider's, the reference's in the comparison's) over the default ranges
// and steps (800 x 800 sag points a side, the ray set, the records' questions), against one
// "Update 2D" of the same library in its helper (the ray, the 800 x 800 map and the four views)
// in the same run. Goal: a comparison within 2.5 x of one Update 2D. The rounds alternate so
// both see the same load on the machine; the fastest of each is compared.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/compare/compare_run.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/update_2d.h"

namespace {

using namespace velmor;

constexpr const char* kLibrary = VELMOR_LIB_DIR "/even_asphere.so";
constexpr int kAreaSide = 320;  // a plot area of the main window at its usual size
constexpr int kClientSide = 2 * (kAreaSide + 4);

// The surface as the program has it after "Open DLL ..." with the example library.
struct Program {
    Program() : client(kClientSide, kClientSide, QImage::Format_RGB32) {
        if (!provider.OpenSurfaceDll(kLibrary).loaded) {
            std::fprintf(stderr, "even_asphere.so cannot be loaded\n");
            std::exit(1);
        }
        settings.gradientIndex = provider.GradientIndex();
    }
    void Update2D() {
        const QRect rect(0, 0, kClientSide, kClientSide);
        const PlotClientLayout layout{rect, QGuiApplication::palette(), ComputePlotAreas(rect)};
        QPainter painter(&client);
        const Update2DResult result =
            velmor::Update2D(painter, layout, settings, {provider, surface, map, nullptr});
        benchmark::DoNotOptimize(result.views.plan.constBits());
    }
    // One comparison with a reference opened once (its helper started once, as the window keeps
    // it while comparing).
    void Compare(CCompareReference& reference) {
        CompareRequest request;  // the default ranges and steps
        request.surfaceKind = SurfaceKind::kLibrary;
        const CompareRun run = RunComparison(provider, reference, request);
        if (run.end != CompareEnd::kCompared || run.report.Differs()) {
            std::fprintf(stderr, "the comparison did not find the library the same\n");
            std::exit(1);
        }
        benchmark::DoNotOptimize(run.report.sagDifference.data());
    }

    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    ProviderPlotSurface surface{provider};
    CSurfaceMap map;
    PlotSettings settings;
    QImage client;
};

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CCompareReference& Reference() {
    static CCompareReference reference;
    static const bool opened = [] {
        std::string message;
        if (!reference.Open(kLibrary, ReferenceSetup(), &message)) {
            std::fprintf(stderr, "reference: %s\n", message.c_str());
            std::exit(1);
        }
        return true;
    }();
    (void)opened;
    return reference;
}

void BM_Update2D(benchmark::State& state) {
    Program program;
    for (auto _ : state) program.Update2D();
}

void BM_CompareTwoLibraries(benchmark::State& state) {
    Program program;
    for (auto _ : state) program.Compare(Reference());
}

BENCHMARK(BM_Update2D)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CompareTwoLibraries)->Unit(benchmark::kMillisecond)->Iterations(5);

void PrintRatio(int rounds) {
    Program program;
    std::vector<double> update, compare;
    for (int i = 0; i < rounds; ++i) {
        double start = WallSeconds();
        program.Update2D();
        update.push_back((WallSeconds() - start) * 1e3);
        start = WallSeconds();
        program.Compare(Reference());
        compare.push_back((WallSeconds() - start) * 1e3);
    }
    std::sort(update.begin(), update.end());
    std::sort(compare.begin(), compare.end());
    const double ratio = compare[0] / update[0];
    std::printf("  Update 2D                      %7.1f ms (median %7.1f)\n", update[0],
                update[rounds / 2]);
    std::printf("  comparison of two libraries    %7.1f ms (median %7.1f)\n", compare[0],
                compare[rounds / 2]);
    std::printf("  comparison / Update 2D: %.2f x (median %.2f x) (goal <= 2.5 x) %s\n", ratio,
                compare[rounds / 2] / update[rounds / 2], ratio <= 2.5 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    // The views draw text, which needs a GUI application; no display is needed.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf(
        "\neven_asphere.so compared with itself over the default ranges and steps against one "
        "Update 2D, wall time, fastest of 20 alternating rounds:\n");
    PrintRatio(20);
    return 0;
}
