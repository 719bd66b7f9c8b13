// What the views and the surface map need from the surface besides the plot state: the
// sampler, the refresh of the working record pair, and the script engine's per-kind run-error
// counters around a repaint.
#pragma once

#include <string>

#include "core/surface/sampler.h"

namespace velmor {

class CSurfaceProvider;

class PlotSurface {
public:
    virtual ~PlotSurface() = default;
    virtual Sampler& PointSampler() = 0;
    // Copies the initial record pair into the working pair before a batch of samples.
    virtual void RefreshWorkingPair() = 0;
    // Before a repaint: the per-kind run-error counters go to 0.
    virtual void ClearRunErrorCounters() = 0;
    // After a repaint: the error summary when any per-kind counter is above 0, else empty.
    // 8-bit text with CR LF, as the engine writes it.
    virtual std::string RunErrorSummary() = 0;
};

// The program's surface: the provider's sampler and working pair, and its script engine.
class ProviderPlotSurface final : public PlotSurface {
public:
    explicit ProviderPlotSurface(CSurfaceProvider& provider) : m_provider(provider) {}

    Sampler& PointSampler() override;
    void RefreshWorkingPair() override;
    void ClearRunErrorCounters() override;
    std::string RunErrorSummary() override;

private:
    CSurfaceProvider& m_provider;
};

}  // namespace velmor
