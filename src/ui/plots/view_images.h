// The four 2D views, each drawn into an image of its plot area's size, and the cursor
// read-out. They read the plot state and take every surface sample through the Sampler.
// Each view is defined in a file of its own (plan_view.cpp, profile_view.cpp,
// index_view.cpp, ray_view.cpp), the sample rules and the read-out in cursor_readout.cpp.
#pragma once

#include <QImage>
#include <QString>

#include "core/surface/sampler.h"
#include "ui/plots/plot_state.h"

namespace velmor {

// Sag rule: one sag sample at (x, y) through the sampler.
bool SampleSag(Sampler& sampler, double x, double y, double* sag);
// Index rule: one index sample at (x, y, z); every index sample fails in interpreter mode
// (a script defines no index).
bool SampleIndex(const PlotState& state, Sampler& sampler, double x, double y, double z,
                 IndexSample* out);

// Plan view (top left): x across, y up, drawn over the surface map when `map` is a built,
// non-empty map image (stretched onto the analysis rectangle), else over white.
QImage DrawPlanView(const PlotState& state, const QImage* map, int width, int height);

enum class ProfileAxis {
    kX,  // x-z profile view (bottom left): the sections run along x
    kY,  // y-z profile view (bottom right): the sections run along y
};
QImage DrawProfileView(ProfileAxis axis, const PlotState& state, Sampler& sampler, int width,
                       int height);

// Index along z (top right for a gradient-index surface): z across, n up.
QImage DrawIndexView(const PlotState& state, Sampler& sampler, int width, int height);

// Ray view (top right otherwise): r across, z up.
QImage DrawRayView(const PlotState& state, Sampler& sampler, int width, int height);

// Text of the two-line cursor read-out (control 1055); empty when Cursor is off on a surface
// that is not gradient-index.
QString CursorReadout(const PlotState& state, Sampler& sampler);

}  // namespace velmor
