#include "ui/plots/plot_surface.h"

#include "core/interp/script_engine.h"
#include "core/surface/provider.h"

namespace velmor {

void SetPlotProviderState(PlotState& state, CSurfaceProvider& provider) {
    SetPlotRecords(state, provider.Initial(), provider.RecordVersion());
    state.rayTraceOk = provider.LastTraceSucceeded();
    const double* ray = provider.LastRay();
    for (int i = 0; i < 6; ++i) state.rayResult[i] = ray[i];
    state.gradientIndex = provider.GradientIndex();
    state.interpreterMode = provider.InterpreterMode();
}

Sampler& ProviderPlotSurface::PointSampler() {
    return m_provider.SurfaceSampler();
}

void ProviderPlotSurface::RefreshWorkingPair() {
    m_provider.RefreshWorkingPair();
}

void ProviderPlotSurface::ClearRunErrorCounters() {
    m_provider.Engine().ClearRunErrorCounters();
}

std::string ProviderPlotSurface::RunErrorSummary() {
    CScriptEngine& engine = m_provider.Engine();
    bool any = false;
    for (int kind = 0; kind < kRunErrorKindCount; ++kind) {
        if (engine.RunErrorCounter(kind) != 0) any = true;
    }
    if (!any) return {};
    engine.AppendErrorSummary();
    return engine.RunMessageText();
}

}  // namespace velmor
