#include "ui/plots/plot_state.h"

#include <algorithm>
#include <cmath>

#include "core/app/number_text.h"
#include "core/surface/provider.h"

namespace velmor {

PlotState MakePlotState(const PlotSettings& settings, CSurfaceProvider& provider) {
    PlotState state;
    static_cast<PlotSettings&>(state) = settings;
    SetPlotRecords(state, provider.Initial(), provider.RecordVersion());
    state.rayTraceOk = provider.LastTraceSucceeded();
    const double* ray = provider.LastRay();
    for (int i = 0; i < 6; ++i) state.rayResult[i] = ray[i];
    state.mediumPath = provider.SharedMediumPath();
    state.mediumStatus = provider.LastMediumStatus();
    return state;
}

void SetPlotRecords(PlotState& state, const RecordPair& initial, int recordVersion) {
    const USER_DATA& ud = initial.ud;
    state.startX = ud.x;
    state.startY = ud.y;
    state.startZ = ud.z;
    state.startL = ud.l;
    state.startM = ud.m;
    state.startN = ud.n;
    state.recordN1 = ReadN1(initial, recordVersion);
    state.recordN2 = ReadN2(initial, recordVersion);
    state.recordWavelength = ReadWavelength(initial, recordVersion);
}

void ResetZoomRanges(PlotSettings& settings) {
    const double lo =
        std::min({settings.analysisX.min, settings.analysisY.min, settings.analysisZ.min});
    const double hi =
        std::max({settings.analysisX.max, settings.analysisY.max, settings.analysisZ.max});
    settings.displayX = settings.displayY = settings.displayZ = ValueRange{lo, hi};
    const double half = std::fabs(hi - lo) / 2;
    settings.displayR = ValueRange{-half, half};
}

double ThreeDecimalField(double value) {
    double read = value;
    ScanLeadingDouble(FormatFixed(value, 3), &read);
    return read;
}

ScriptTraceSettings TraceSettingsOf(const PlotSettings& settings) {
    ScriptTraceSettings trace;
    trace.xmin = settings.analysisX.min;
    trace.xmax = settings.analysisX.max;
    trace.ymin = settings.analysisY.min;
    trace.ymax = settings.analysisY.max;
    trace.dx = settings.stepX;
    trace.dy = settings.stepY;
    trace.n1 = settings.fieldN1;
    trace.n2 = settings.fieldN2;
    return trace;
}

}  // namespace velmor
