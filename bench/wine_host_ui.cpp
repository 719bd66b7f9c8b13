// Speed of a Windows DLL through the Windows helper under wine: "Update 2D" at the default
// ranges and steps (as bench_views_ui runs it) with even_asphere.dll in velmor-surface-host.exe
// under wine, against even_asphere.so in the Linux helper, in alternating rounds of the same run
// (goal: within 2 x). Also printed: how long opening the library takes through each helper
// (wine's start included; the first start in a fresh prefix is the prefix being made).
//
// The prefix is $VELMOR_WINE_PREFIX, else ~/.cache/Velmor/wine, as for the program.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/host/library_host_settings.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/update_2d.h"

namespace {

using namespace velmor;

constexpr int kAreaSide = 320;  // a plot area of the main window at its usual size
constexpr int kClientSide = 2 * (kAreaSide + 4);

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Program {
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    ProviderPlotSurface surface{provider};
    PlotSettings settings;
    CSurfaceMap map;
    QImage client{kClientSide, kClientSide, QImage::Format_RGB32};
    double openSeconds = 0;

    explicit Program(const std::string& library) {
        provider.SetLibraryHost(LibraryHostSettings{});
        const double start = WallSeconds();
        const LoadOutcome outcome = provider.OpenSurfaceDll(library);
        openSeconds = WallSeconds() - start;
        if (!outcome.loaded) {
            std::fprintf(stderr, "%s cannot be loaded: %s\n", library.c_str(),
                         outcome.reason.c_str());
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
};

const char* const kSo = VELMOR_LIB_DIR "/even_asphere.so";
const char* const kDll = VELMOR_WIN_LIB_DIR "/even_asphere.dll";

void BM_Update2D(benchmark::State& state, const char* library) {
    Program program(library);
    for (auto _ : state) program.Update2D();
}

BENCHMARK_CAPTURE(BM_Update2D, even_asphere_linux_helper, kSo)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Update2D, even_asphere_wine_helper, kDll)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// Update 2D through both helpers, alternately; the fastest and the median rounds compared.
void PrintWineRatio(int rounds) {
    Program wine(kDll), linux(kSo);
    std::printf("  open even_asphere: wine helper %.2f s, Linux helper %.3f s\n", wine.openSeconds,
                linux.openSeconds);
    std::vector<double> wall[2];
    for (int i = 0; i < rounds; ++i) {
        Program* programs[2] = {&wine, &linux};
        for (int k = 0; k < 2; ++k) {
            const double start = WallSeconds();
            programs[k]->Update2D();
            wall[k].push_back((WallSeconds() - start) * 1e3);
        }
    }
    for (std::vector<double>& times : wall) std::sort(times.begin(), times.end());
    std::printf("  wine helper  Update 2D wall %7.1f ms (median %7.1f)\n", wall[0][0],
                wall[0][rounds / 2]);
    std::printf("  Linux helper Update 2D wall %7.1f ms (median %7.1f)\n", wall[1][0],
                wall[1][rounds / 2]);
    const double ratio = wall[0][0] / wall[1][0];
    std::printf("  wine / Linux helper: %.2f x (median %.2f x) (goal <= 2 x) %s\n", ratio,
                wall[0][rounds / 2] / wall[1][rounds / 2], ratio <= 2.0 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nUpdate 2D with even_asphere, fastest of 20 alternating rounds:\n");
    PrintWineRatio(20);
    return 0;
}
