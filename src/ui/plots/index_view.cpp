// Index along z, the fourth view of a gradient-index surface: n and dn/dz along z at the
// cursor's x and y, z across and n up.
#include <algorithm>

#include "core/app/number_text.h"
#include "core/app/sample_loop.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/view_images.h"

namespace velmor {

QImage DrawIndexView(const PlotState& state, Sampler& sampler, int width, int height,
                     QString* note) {
    QImage image = MakeViewImage(width, height, kPaperRgb);
    if (image.isNull()) return image;
    PlotCanvas canvas(image, kPaperRgb);
    const PlotMapping mapping(width, height, state.displayZ, state.displayN);
    const ValueRange& dz = state.displayZ;
    const ValueRange& dn = state.displayN;

    canvas.SetPen(PlotPen::kBlack);
    canvas.Line(mapping.Map(0, dn.min), mapping.Map(0, dn.max));
    canvas.Line(mapping.Map(dz.min, 0), mapping.Map(dz.max, 0));

    // The cursor line stands whatever the Cursor check box says.
    canvas.SetPen(PlotPen::kGreyDotted);
    canvas.Line(mapping.Map(state.cursorZ, dn.min), mapping.Map(state.cursorZ, dn.max));
    canvas.SetPen(PlotPen::kBlack);

    // Two curves over the same z positions, the index and its derivative, each sampled as it
    // was drawn: the z positions twice over in one pass.
    ViewSamples samples(state);
    std::vector<double> positions;
    for (int pass = 0; pass < 2; ++pass) {
        positions.clear();
        ForEachSample(state.analysisZ.min, state.analysisZ.max, state.stepZ, [&](double z) {
            positions.push_back(z);
            samples.AddIndex(state.cursorX, state.cursorY, z);
        });
    }
    samples.Take(sampler);
    const auto curve = [&](PlotPen pen, std::size_t first, auto value) {
        canvas.SetPen(pen);
        BrokenPolyline line(canvas, mapping);
        for (std::size_t k = 0; k < positions.size(); ++k) {
            const SampleAnswer& answer = samples[first + k];
            line.Add(answer.ok, positions[k], answer.ok ? value(answer.index) : 0.0);
        }
    };
    curve(PlotPen::kBlue, 0, [](const IndexSample& s) { return std::clamp(s.index, 0.0, 1000.0); });
    curve(PlotPen::kRed, positions.size(), [](const IndexSample& s) { return s.dndz; });

    canvas.SetTextColour(kBlackRgb);
    PixelPoint p = mapping.Map(0, dn.max);
    canvas.Text(p.x + 4, p.y + 2, QStringLiteral("n, dn/dz"));
    canvas.SetTextColour(kBlueRgb);
    const QString zName = QStringLiteral("z");
    const QSize zExtent = canvas.TextExtent(zName);
    p = mapping.Map(dz.max, 0);
    canvas.Text(p.x - zExtent.width() - 2, p.y - zExtent.height() - 2, zName);

    const std::string at =
        "(x=" + FormatFixed(state.cursorX, 3) + ",y=" + FormatFixed(state.cursorY, 3) + ")";
    const QString s1 = QString::fromStdString("index" + at);
    const QString s2 = QString::fromStdString("dn/dz" + at);
    const int cy1 = canvas.TextExtent(s1).height(), cy2 = canvas.TextExtent(s2).height();
    canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy2 - cy1 - 4, s1);
    canvas.SetTextColour(kRedRgb);
    canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy2 - 2, s2);

    canvas.FrameBlack();
    const QString nothing = NothingAnsweredNote(state, samples);
    if (note != nullptr) *note = nothing;
    DrawViewNote(canvas, nothing);
    return image;
}

}  // namespace velmor
