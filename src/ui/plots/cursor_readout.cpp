// The sample rules the views share, and the cursor read-out.
#include "core/app/number_text.h"
#include "ui/plots/view_images.h"

namespace velmor {

bool SampleSag(Sampler& sampler, double x, double y, double* sag) {
    return sampler.Sag(x, y, sag);
}

bool SampleIndex(const PlotState& state, Sampler& sampler, double x, double y, double z,
                 IndexSample* out) {
    if (state.interpreterMode) return false;
    return sampler.Index(x, y, z, out);
}

QString CursorReadout(const PlotState& state, Sampler& sampler) {
    if (!state.cursor && !state.gradientIndex) return QString();
    const auto f3 = [](double v) { return FormatFixed(v, 3); };
    std::string text = "Cursor: x=" + f3(state.cursorX) + " , y=" + f3(state.cursorY) +
                       " , z=" + f3(state.cursorZ);
    if (state.gradientIndex) {
        IndexSample s;
        if (SampleIndex(state, sampler, state.cursorX, state.cursorY, state.cursorZ, &s)) {
            text += "\n n=" + f3(s.index) + " , dn/dx=" + f3(s.dndx) + " , dn/dy=" + f3(s.dndy) +
                    " , dn/dz=" + f3(s.dndz);
        }
    } else {
        double sag = 0;
        if (SampleSag(sampler, state.cursorX, state.cursorY, &sag)) text += ", sag=" + f3(sag);
    }
    return QString::fromStdString(text);
}

}  // namespace velmor
