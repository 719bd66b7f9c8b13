// Ray view, the fourth view of a surface that is not gradient-index: the ray in its plane of
// incidence with the surface's section in that plane. r is the signed horizontal distance
// from where the ray meets the surface, positive on the incoming side; z runs up.
#include <cmath>

#include "core/app/sample_loop.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/view_images.h"

namespace velmor {

namespace {

// The surface's section from the centre (cx, cy) along the horizontal direction (dl, dm),
// plotted at r = sign * (horizontal distance from the centre), with the current pen.
void Section(PlotCanvas& canvas, const PlotMapping& mapping, Sampler& sampler, double cx, double cy,
             double dl, double dm, double sign, double reach, double step) {
    BrokenPolyline curve(canvas, mapping);
    ForEachSample(0.0, reach, step, [&](double t) {
        const double x = cx + dl * t, y = cy + dm * t;
        double sag = 0;
        const bool ok = SampleSag(sampler, x, y, &sag);
        const double dx = x - cx, dy = y - cy;
        curve.Add(ok, sign * std::sqrt(dx * dx + dy * dy), sag);
    });
}

}  // namespace

QImage DrawRayView(const PlotState& state, Sampler& sampler, int width, int height) {
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

        if (!state.rayTraceOk) {
            // Centred on the start point at z = 0 whatever its z; the straight continuation
            // dotted.
            const double x = state.startX, y = state.startY;
            canvas.SetPen(PlotPen::kThickRed);
            canvas.Line(mapping.Map(0, 0), mapping.Map(reach * horizontal, -reach * n));
            canvas.SetPen(PlotPen::kRedDotted);
            canvas.Line(mapping.Map(0, 0), mapping.Map(-reach * horizontal, reach * n));
            canvas.SetPen(PlotPen::kRed);
            Section(canvas, mapping, sampler, x, y, -l, -m, +1, reach, step);
            canvas.SetPen(PlotPen::kRedDotted);
            Section(canvas, mapping, sampler, x, y, l, m, -1, reach, step);
        } else {
            const double xr = state.rayResult[0], yr = state.rayResult[1];
            const double zr = state.rayResult[2];
            const double lr = state.rayResult[3], mr = state.rayResult[4];
            const double nr = state.rayResult[5];
            canvas.SetPen(PlotPen::kThickRed);
            canvas.Line(mapping.Map(0, zr), mapping.Map(reach * horizontal, zr - reach * n));
            canvas.SetPen(PlotPen::kThickBlue);
            canvas.Line(mapping.Map(0, zr),
                        mapping.Map(-reach * std::sqrt(lr * lr + mr * mr), zr + reach * nr));
            canvas.SetPen(PlotPen::kRed);
            Section(canvas, mapping, sampler, xr, yr, -l, -m, +1, reach, step);
            canvas.SetPen(PlotPen::kBlue);
            Section(canvas, mapping, sampler, xr, yr, lr, mr, -1, reach, step);
        }

        // With Verbose on the lower label clears the help text below it.
        DrawIndexLabels(canvas, mapping, state, dr.max, state.verbose ? 2 : 1);
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
        const QString help = QStringLiteral("Shift L-Click:IncidentElevation");
        const QSize e = canvas.TextExtent(help);
        canvas.Text(canvas.Right() - e.width() - 4, canvas.Bottom() - e.height() - 2, help);
    }
    return image;
}

}  // namespace velmor
