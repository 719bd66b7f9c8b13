#include "ui/plots/plot_surface.h"

#include "core/interp/script_engine.h"
#include "core/surface/provider.h"

namespace velmor {

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
