#include "plots/plot_areas.h"

#include <string>

#include "app/number_text.h"

namespace velmor {

PlotRange AcrossRange(const PlotState& state, PlotArea area) {
    switch (area) {
        case PlotArea::kPlan:
        case PlotArea::kXz:
            return state.displayX;
        case PlotArea::kYz:
            return state.displayY;
        case PlotArea::kFourth:
            return state.gradientIndex ? state.displayZ : state.displayR;
    }
    return state.displayX;
}

PlotRange UpRange(const PlotState& state, PlotArea area) {
    switch (area) {
        case PlotArea::kPlan:
            return state.displayY;
        case PlotArea::kXz:
        case PlotArea::kYz:
            return state.displayZ;
        case PlotArea::kFourth:
            return state.gradientIndex ? state.displayN : state.displayZ;
    }
    return state.displayZ;
}

WorldPoint WorldPointAt(const PlotState& state, PlotArea area, const QRect& rect, QPoint point) {
    const PlotRange a = AcrossRange(state, area);
    const PlotRange b = UpRange(state, area);
    WorldPoint world{a.min, b.max};
    if (rect.width() <= 0 || rect.height() <= 0) return world;  // an area with no pixels
    const int px = point.x() - rect.x(), py = point.y() - rect.y();
    world.across = a.min + static_cast<double>(px) / rect.width() * (a.max - a.min);
    world.up = b.max - static_cast<double>(py) / rect.height() * (b.max - b.min);
    return world;
}

QString PositionReadout(const PlotState& state, PlotArea area, WorldPoint world) {
    const char* across = "x";
    const char* up = "y";
    switch (area) {
        case PlotArea::kPlan:
            break;
        case PlotArea::kXz:
            up = "z";
            break;
        case PlotArea::kYz:
            across = "y";
            up = "z";
            break;
        case PlotArea::kFourth:
            across = state.gradientIndex ? "z" : "r";
            up = state.gradientIndex ? "n or dn/dz" : "z";
            break;
    }
    const std::string text = std::string(across) + " = " + FormatFixed(world.across, 6) + " , " +
                             up + " = " + FormatFixed(world.up, 6);
    return QString::fromStdString(text);
}

}  // namespace velmor
