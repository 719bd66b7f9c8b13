// Plan view: x across, y up, over the grey-level surface map; axes, labels, help texts, the
// ray's projection and the cursor cross-hair.
#include <algorithm>
#include <cmath>
#include <vector>

#include "ui/plots/medium_drawing.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/view_images.h"

namespace velmor {

namespace {

// Shrinks a grey map (R = G = B) to dw x dh by averaging the source pixels that fall on each
// destination pixel, the way a halftone stretch does.
QImage ShrinkGreyMap(const QImage& map, int dw, int dh) {
    const int sw = map.width(), sh = map.height();
    QImage out(dw, dh, QImage::Format_RGB32);
    if (out.isNull()) return out;
    // Source columns [spanX[i], spanX[i + 1]) fall on destination column i.
    std::vector<int> spanX(static_cast<std::size_t>(dw) + 1);
    for (int i = 0; i <= dw; ++i) spanX[i] = static_cast<int>(static_cast<long long>(i) * sw / dw);
    std::vector<unsigned> columnSums(static_cast<std::size_t>(sw));
    for (int j = 0; j < dh; ++j) {
        const int sy0 = static_cast<int>(static_cast<long long>(j) * sh / dh);
        const int sy1 = static_cast<int>(static_cast<long long>(j + 1) * sh / dh);
        // Down the source rows of this destination row, column by column...
        std::fill(columnSums.begin(), columnSums.end(), 0u);
        for (int sy = sy0; sy < sy1; ++sy) {
            const QRgb* line = reinterpret_cast<const QRgb*>(map.constScanLine(sy));
            for (int sx = 0; sx < sw; ++sx) columnSums[sx] += line[sx] & 0xFF;
        }
        // ...then across the source columns of each destination pixel.
        QRgb* row = reinterpret_cast<QRgb*>(out.scanLine(j));
        const unsigned rows = static_cast<unsigned>(sy1 - sy0);
        for (int i = 0; i < dw; ++i) {
            unsigned sum = 0;
            for (int sx = spanX[i]; sx < spanX[i + 1]; ++sx) sum += columnSums[sx];
            const unsigned count = rows * static_cast<unsigned>(spanX[i + 1] - spanX[i]);
            const int g = static_cast<int>(count != 0 ? (sum + count / 2) / count : 0);
            row[i] = qRgb(g, g, g);
        }
    }
    return out;
}

// Stretches the whole map onto the analysis rectangle as the current display ranges place it.
// Only the part that falls on the image is drawn, so a deep zoom never scales the map to a
// size no image could have.
void StretchMap(QPainter& painter, const PlotState& state, const QImage& map, int w, int h) {
    const ValueRange& dx = state.displayX;
    const ValueRange& dy = state.displayY;
    const ValueRange& ax = state.analysisX;
    const ValueRange& ay = state.analysisY;
    const double x0 = std::trunc((ax.min - dx.min) * (w - 2) / (dx.max - dx.min)) + 1;
    const double y0 = std::trunc((dy.max - ay.max) * (h - 2) / (dy.max - dy.min)) + 1;
    const double dw = std::trunc((ax.max - ax.min) * (w - 2) / (dx.max - dx.min));
    const double dh = std::trunc((ay.max - ay.min) * (h - 2) / (dy.max - dy.min));
    if (!std::isfinite(x0) || !std::isfinite(y0) || !(dw > 0) || !(dh > 0)) return;
    if (!std::isfinite(dw) || !std::isfinite(dh)) return;

    const double vx0 = std::max(x0, 0.0), vy0 = std::max(y0, 0.0);
    const double vx1 = std::min(x0 + dw, static_cast<double>(w));
    const double vy1 = std::min(y0 + dh, static_cast<double>(h));
    if (!(vx1 > vx0) || !(vy1 > vy0)) return;

    const bool whole = vx0 == x0 && vy0 == y0 && vx1 == x0 + dw && vy1 == y0 + dh;
    if (whole && dw <= map.width() && dh <= map.height()) {
        // Shrinking: average the map's pixels into each destination pixel.
        painter.drawImage(QPointF(x0, y0),
                          ShrinkGreyMap(map, static_cast<int>(dw), static_cast<int>(dh)));
        return;
    }
    const QRectF source((vx0 - x0) / dw * map.width(), (vy0 - y0) / dh * map.height(),
                        (vx1 - vx0) / dw * map.width(), (vy1 - vy0) / dh * map.height());
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRectF(vx0, vy0, vx1 - vx0, vy1 - vy0), map, source);
    painter.restore();
}

}  // namespace

QImage DrawPlanView(const PlotState& state, const QImage* map, int width, int height) {
    QImage image = MakeViewImage(width, height, kWhiteRgb);
    if (image.isNull()) return image;
    PlotCanvas canvas(image, kWhiteRgb);
    if (map != nullptr && !map->isNull()) StretchMap(canvas.Painter(), state, *map, width, height);

    const PlotMapping mapping(width, height, state.displayX, state.displayY);
    const ValueRange& dx = state.displayX;
    const ValueRange& dy = state.displayY;

    canvas.SetTextColour(kBlackRgb);
    canvas.SetPen(PlotPen::kRed);
    canvas.Line(mapping.Map(dx.min, 0), mapping.Map(dx.max, 0));
    canvas.Line(mapping.Map(0, dy.min), mapping.Map(0, dy.max));

    PixelPoint p = mapping.Map(0, dy.max);
    canvas.Text(p.x + 4, p.y + 2, QStringLiteral("y"));
    p = mapping.Map(dx.max, 0);
    const QSize xExtent = canvas.TextExtent(QStringLiteral("x"));
    canvas.Text(p.x - xExtent.width() - 2, p.y - xExtent.height() - 2, QStringLiteral("x"));

    if (state.gradientIndex) {
        if (state.verbose) {
            const QString sag = QStringLiteral("sag");
            canvas.Text(canvas.Left() + 2, canvas.Bottom() - canvas.TextExtent(sag).height() - 2,
                        sag);
        }
    } else if (state.verbose && state.rayTrace) {
        const QString through = QStringLiteral("Shift L-Click:ThroughPoint");
        const QString direction = QStringLiteral("Shift R-Click:Direction");
        canvas.SetFont(HelpFont({through, direction}, HelpTextWidth(width)));
        const int cy1 = canvas.TextExtent(through).height();
        const int cy2 = canvas.TextExtent(direction).height();
        canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy2 - cy1 - 4, through);
        canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy2 - 2, direction);
        canvas.SetFont(PlotFont());
    }

    if (!state.gradientIndex && state.rayTrace) {
        const double reachX = 10 * (dx.max - dx.min);
        const double reachY = 10 * (dy.max - dy.min);
        const double l = state.startL, m = state.startM;
        if (state.rayTraceOk) {
            const double xr = state.rayResult[0], yr = state.rayResult[1];
            const double lr = state.rayResult[3], mr = state.rayResult[4];
            canvas.SetPen(PlotPen::kThickRed);
            canvas.Line(mapping.Map(xr, yr), mapping.Map(xr - reachX * l, yr - reachY * m));
            canvas.SetPen(PlotPen::kThickBlue);
            canvas.Line(mapping.Map(xr, yr), mapping.Map(xr + reachX * lr, yr + reachY * mr));
        } else {
            const double x = state.startX, y = state.startY;
            canvas.SetPen(PlotPen::kThickRed);
            canvas.Line(mapping.Map(x, y), mapping.Map(x - reachX * l, y - reachY * m));
        }
    }

    if (state.gradientIndex && state.rayTrace && state.mediumPath != nullptr)
        DrawMediumPath(canvas, mapping, *state.mediumPath, kMediumX, kMediumY);

    if (state.cursor || state.gradientIndex) {
        canvas.SetPen(PlotPen::kGreyDotted);
        canvas.Line(mapping.Map(dx.min, state.cursorY), mapping.Map(dx.max, state.cursorY));
        canvas.Line(mapping.Map(state.cursorX, dy.min), mapping.Map(state.cursorX, dy.max));
    }
    return image;
}

}  // namespace velmor
