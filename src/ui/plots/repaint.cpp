#include "ui/plots/repaint.h"

#include <QPainter>

#include "ui/plots/plot_surface.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/views.h"

namespace velmor {

RepaintResult RepaintViews(const PlotState& state, PlotSurface& surface, CSurfaceMap& map,
                           const PlotSizes& sizes, MapProgressWindow* progress,
                           MissingMap missingMap) {
    RepaintResult result;
    surface.ClearRunErrorCounters();
    result.showNoRay = state.gradientIndex;
    surface.RefreshWorkingPair();

    // A missing map is built now and shown from the next repaint on.
    const QImage* mapImage = nullptr;
    if (map.Built()) {
        mapImage = &map.Image();
    } else if (missingMap == MissingMap::kBuild) {
        map.Discard();
        map.Build(state, surface, progress);
        result.repaintAgain = true;
    } else {
        result.mapMissing = true;
    }

    Sampler& sampler = surface.PointSampler();
    result.plan = DrawPlanView(state, mapImage, sizes.plan.width(), sizes.plan.height());
    result.xz =
        DrawProfileView(ProfileAxis::kX, state, sampler, sizes.xz.width(), sizes.xz.height());
    result.yz =
        DrawProfileView(ProfileAxis::kY, state, sampler, sizes.yz.width(), sizes.yz.height());
    if (state.gradientIndex) {
        result.fourth = DrawIndexView(state, sampler, sizes.fourth.width(), sizes.fourth.height());
    } else {
        result.fourth = DrawRayView(state, sampler, sizes.fourth.width(), sizes.fourth.height());
    }
    result.cursorReadout = CursorReadout(state, sampler);
    result.errorSummary = surface.RunErrorSummary();
    return result;
}

void PaintViews(QPainter& painter, const RepaintResult& result, const QRect& plan, const QRect& xz,
                const QRect& yz, const QRect& fourth) {
    if (!result.plan.isNull()) painter.drawImage(plan.topLeft(), result.plan);
    if (!result.xz.isNull()) painter.drawImage(xz.topLeft(), result.xz);
    if (!result.yz.isNull()) painter.drawImage(yz.topLeft(), result.yz);
    if (!result.fourth.isNull()) painter.drawImage(fourth.topLeft(), result.fourth);
}

}  // namespace velmor
