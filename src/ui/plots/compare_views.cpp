#include "ui/plots/compare_views.h"

#include <algorithm>
#include <cmath>

#include "core/app/number_text.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/update_2d.h"

namespace velmor {

QImage DifferenceMapImage(const CompareReport& report, double* largest) {
    const std::size_t nx = report.nx, ny = report.ny;
    double top = 0;
    for (std::size_t k = 0; k < report.sagState.size(); ++k) {
        if (report.sagState[k] == kSagCompared) {
            top = std::max(top, std::fabs(report.sagDifference[k]));
        }
    }
    if (largest != nullptr) *largest = top;
    if (nx == 0 || ny == 0) return QImage();
    QImage image(static_cast<int>(nx), static_cast<int>(ny), QImage::Format_RGB32);
    if (image.isNull()) return image;
    for (std::size_t j = 0; j < ny; ++j) {
        // Row 0 is the grid's top row (y largest).
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(ny - 1 - j)));
        for (std::size_t i = 0; i < nx; ++i) {
            const std::size_t k = j * nx + i;
            int g = 0;
            if (report.sagState[k] == kSagCompared) {
                const double d = report.sagDifference[k];
                g = top > 0 ? 128 + static_cast<int>(std::trunc(128 * (d / top))) : 128;
                g = std::clamp(g, 0, 255);
            }
            line[i] = qRgb(g, g, g);
        }
    }
    return image;
}

void DrawDifferenceLegend(QImage& plan, const PlotState& state, const CompareOverlay& overlay) {
    if (plan.isNull()) return;
    PlotCanvas canvas(plan, kWhiteRgb);
    if (overlay.markLargest) {
        const PlotMapping mapping(plan.width(), plan.height(), state.displayX, state.displayY);
        const PixelPoint p = mapping.Map(overlay.largestX, overlay.largestY);
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) < 1e6 &&
            std::fabs(p.y) < 1e6) {
            canvas.SetPen(PlotPen::kReference);
            canvas.Painter().drawEllipse(QPointF(p.x, p.y), 6.0, 6.0);
        }
    }
    canvas.SetTextColour(kReferenceRgb);
    const QString text =
        QStringLiteral("sag-ref \u00b1%1")
            .arg(QString::fromStdString(FormatGeneral(overlay.largestDifference, 2)));
    // Below the first text line, where the "y" label of the axis stands.
    canvas.Text(canvas.Left() + 2, canvas.Top() + 4 + canvas.TextExtent(text).height(), text);
}

QString CompareCursorLine(const PlotState& state, Sampler& surface, Sampler& reference) {
    // Short enough for the read-out of the smallest window.
    const auto text = [](double v) { return FormatGeneral(v, 9); };
    double a = 0, b = 0;
    const bool okA = surface.Sag(state.cursorX, state.cursorY, &a);
    const bool okB = reference.Sag(state.cursorX, state.cursorY, &b);
    std::string line = " sag=" + (okA ? text(a) : std::string("failed")) +
                       " , ref=" + (okB ? text(b) : std::string("failed"));
    if (okA && okB) line += " , diff=" + FormatGeneral(a - b, 3);
    return QString::fromStdString(line);
}

void DrawCompareOverlay(RepaintResult& result, const PlotState& state, Sampler& surface,
                        const CompareOverlay& overlay) {
    DrawDifferenceLegend(result.plan, state, overlay);
    if (overlay.reference != nullptr) {
        if (overlay.refreshReference) overlay.refreshReference();
        DrawReferenceProfile(result.xz, ProfileAxis::kX, state, *overlay.reference);
        DrawReferenceProfile(result.yz, ProfileAxis::kY, state, *overlay.reference);
        // The read-out shows what it shows (nothing with Cursor off) and below it the sags.
        if (!result.cursorReadout.isEmpty()) {
            result.cursorReadout +=
                QStringLiteral("\n") + CompareCursorLine(state, surface, *overlay.reference);
        }
    }
    if (!state.gradientIndex) DrawReferenceRay(result.fourth, state, overlay);
}

}  // namespace velmor
