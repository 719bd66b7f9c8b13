// Ray view, the fourth view of a surface that is not gradient-index: the ray in its plane of
// incidence with the surface's section in that plane. r is the signed horizontal distance
// from where the ray meets the surface, positive on the incoming side; z runs up.
#include <algorithm>
#include <cmath>

#include "core/app/sample_loop.h"
#include "ui/plots/compare_views.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/view_images.h"

namespace velmor {

namespace {

// The surface's section from the centre (cx, cy) along the horizontal direction (dl, dm): one
// sag sample per step, placed at r = sign * (horizontal distance from the centre).
SagCurve AddSection(ViewSamples& samples, double cx, double cy, double dl, double dm, double sign,
                    double reach, double step) {
    SagCurve curve;
    curve.first = samples.Count();
    ForEachSample(0.0, reach, step, [&](double t) {
        const double x = cx + dl * t, y = cy + dm * t;
        samples.AddSag(x, y);
        const double dx = x - cx, dy = y - cy;
        curve.across.push_back(sign * std::sqrt(dx * dx + dy * dy));
    });
    return curve;
}

}  // namespace

QImage DrawRayView(const PlotState& state, Sampler& sampler, int width, int height, QString* note) {
    // The view has no border: its outermost pixels get the paper colour too.
    QImage image = MakeViewImage(width, height, kPaperRgb);
    if (image.isNull()) return image;
    PlotCanvas canvas(image, kPaperRgb);
    const PlotMapping mapping(width, height, state.displayR, state.displayZ);
    const ValueRange& dr = state.displayR;
    const ValueRange& dz = state.displayZ;

    canvas.SetTextColour(kBlackRgb);
    canvas.SetPen(PlotPen::kBlack);
    canvas.Line(mapping.Map(dr.min, 0), mapping.Map(dr.max, 0));
    QString nothing;  // the note when the sections had samples and none answered
    canvas.Line(mapping.Map(0, dz.min), mapping.Map(0, dz.max));

    if (state.cursor) {
        canvas.SetPen(PlotPen::kGreyDotted);
        canvas.Line(mapping.Map(dr.min, state.cursorZ), mapping.Map(dr.max, state.cursorZ));
        canvas.SetPen(PlotPen::kBlack);
    }

    if (state.rayTrace) {
        const double wx = state.displayX.max - state.displayX.min;
        const double wy = state.displayY.max - state.displayY.min;
        const double reach = 2 * std::sqrt(wx * wx + wy * wy);
        const double step = std::sqrt(state.stepX * state.stepX + state.stepY * state.stepY);
        const double l = state.startL, m = state.startM, n = state.startN;
        const double horizontal = std::sqrt(l * l + m * m);

        // The two sections through where the ray meets the surface (its start point after a
        // failed trace): towards the incoming side, then along the outgoing ray (the straight
        // continuation after a failed trace), in one pass.
        ViewSamples samples(state);
        const double cx = state.rayTraceOk ? state.rayResult[0] : state.startX;
        const double cy = state.rayTraceOk ? state.rayResult[1] : state.startY;
        const double lOut = state.rayTraceOk ? state.rayResult[3] : l;
        const double mOut = state.rayTraceOk ? state.rayResult[4] : m;
        const SagCurve incoming = AddSection(samples, cx, cy, -l, -m, +1, reach, step);
        const SagCurve outgoing = AddSection(samples, cx, cy, lOut, mOut, -1, reach, step);
        samples.Take(sampler);

        if (!state.rayTraceOk) {
            // Centred on the start point at z = 0 whatever its z; the straight continuation
            // dotted.
            canvas.SetPen(PlotPen::kThickRed);
            canvas.Line(mapping.Map(0, 0), mapping.Map(reach * horizontal, -reach * n));
            canvas.SetPen(PlotPen::kRedDotted);
            canvas.Line(mapping.Map(0, 0), mapping.Map(-reach * horizontal, reach * n));
            canvas.SetPen(PlotPen::kRed);
            DrawSagCurve(canvas, mapping, incoming, samples);
            canvas.SetPen(PlotPen::kRedDotted);
            DrawSagCurve(canvas, mapping, outgoing, samples);
        } else {
            const double zr = state.rayResult[2];
            const double lr = state.rayResult[3], mr = state.rayResult[4];
            const double nr = state.rayResult[5];
            canvas.SetPen(PlotPen::kThickRed);
            canvas.Line(mapping.Map(0, zr), mapping.Map(reach * horizontal, zr - reach * n));
            canvas.SetPen(PlotPen::kThickBlue);
            canvas.Line(mapping.Map(0, zr),
                        mapping.Map(-reach * std::sqrt(lr * lr + mr * mr), zr + reach * nr));
            canvas.SetPen(PlotPen::kRed);
            DrawSagCurve(canvas, mapping, incoming, samples);
            canvas.SetPen(PlotPen::kBlue);
            DrawSagCurve(canvas, mapping, outgoing, samples);
        }

        // With Verbose on the lower label clears the help text below it.
        DrawIndexLabels(canvas, mapping, state, dr.max, state.verbose ? 2 : 1);
        nothing = NothingAnsweredNote(state, samples);
    }

    PixelPoint p = mapping.Map(0, dz.max);
    canvas.Text(p.x + 4, p.y + 2, QStringLiteral("z"));
    if (state.verbose) {
        const QString incident = QStringLiteral("Incident");
        const QString outgoing = QStringLiteral("Outgoing");
        const QSize ei = canvas.TextExtent(incident), eo = canvas.TextExtent(outgoing);
        p = mapping.Map(dr.max, 0);
        canvas.Text(p.x - ei.width() - 4, p.y - ei.height() - 2, incident);
        p = mapping.Map(dr.min, 0);
        canvas.Text(p.x + 4, p.y - eo.height() - 2, outgoing);
    }
    if (state.verbose && state.rayTrace) {
        // 4 pixels from the right edge; in a view too small for the text even at the help
        // font's smallest size, from the left edge, so that its start stays readable.
        const QString help = QStringLiteral("Shift L-Click:IncidentElevation");
        canvas.SetFont(HelpFont({help}, HelpTextWidth(width)));
        const QSize e = canvas.TextExtent(help);
        const int x = std::max(canvas.Right() - e.width() - 4, canvas.Left());
        canvas.Text(x, canvas.Bottom() - e.height() - 2, help);
        canvas.SetFont(PlotFont());
    }
    if (note != nullptr) *note = nothing;
    DrawViewNote(canvas, nothing);
    return image;
}

void DrawReferenceRay(QImage& image, const PlotState& state, const CompareOverlay& overlay) {
    if (image.isNull() || !state.rayTrace || !overlay.rayTraced) return;
    PlotCanvas canvas(image, kPaperRgb);
    const PlotMapping mapping(image.width(), image.height(), state.displayR, state.displayZ);
    const double wx = state.displayX.max - state.displayX.min;
    const double wy = state.displayY.max - state.displayY.min;
    const double reach = 2 * std::sqrt(wx * wx + wy * wy);
    // r is measured from where the surface's ray meets it, positive towards the incoming side.
    const double l = state.startL, m = state.startM;
    const double horizontal = std::sqrt(l * l + m * m);
    const double cx = state.rayTraceOk ? state.rayResult[0] : state.startX;
    const double cy = state.rayTraceOk ? state.rayResult[1] : state.startY;
    const double* ray = overlay.ray;
    const double r0 = horizontal > 0 ? -((ray[0] - cx) * l + (ray[1] - cy) * m) / horizontal : 0.0;
    // Dashed, so that the surface's own outgoing ray shows where the two agree.
    canvas.SetPen(PlotPen::kReferenceDashed);
    canvas.Line(mapping.Map(r0, ray[2]),
                mapping.Map(r0 - reach * std::sqrt(ray[3] * ray[3] + ray[4] * ray[4]),
                            ray[2] + reach * ray[5]));
}

}  // namespace velmor
