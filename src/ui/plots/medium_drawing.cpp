#include "ui/plots/medium_drawing.h"

#include <QImage>
#include <algorithm>
#include <memory>
#include <vector>

#include "ui/plots/surface_map.h"

namespace velmor {

void DrawMediumPath(PlotCanvas& canvas, const PlotMapping& mapping, const MediumPath& path,
                    MediumAxis across, MediumAxis up) {
    std::vector<PixelPoint> pixels;
    for (const MediumPoint& p : path.points) {
        const double c[3] = {p.x, p.y, p.z};
        const PixelPoint q = mapping.Map(c[across], c[up]);
        if (!pixels.empty() && pixels.back().x == q.x && pixels.back().y == q.y) continue;
        pixels.push_back(q);
    }
    canvas.SetPen(PlotPen::kThickBlue);
    canvas.Polyline(pixels);
}

void PaintIndexField(PlotCanvas& canvas, ProfileAxis axis, const PlotState& state,
                     Sampler& sampler) {
    const int left = canvas.Left(), top = canvas.Top();
    const int width = canvas.Right() - left, height = canvas.Bottom() - top;
    if (width <= 0 || height <= 0) return;
    const bool alongX = axis == ProfileAxis::kX;
    const ValueRange across = alongX ? state.displayX : state.displayY;
    const ValueRange& up = state.displayZ;
    const double fixed = alongX ? state.cursorY : state.cursorX;
    // The world position of each pixel column's and row's centre: the mapping's truncation
    // takes it back to that column and row.
    std::vector<double> columns(static_cast<std::size_t>(width));
    for (int i = 0; i < width; ++i) columns[i] = across.min + (i + 0.5) * across.Width() / width;

    QImage field(width, height, QImage::Format_RGB32);
    if (field.isNull()) return;
    const int rowsPerPass =
        std::max(1, static_cast<int>(kSamplePassPoints / static_cast<std::size_t>(width)));
    std::vector<double> xs, ys, zs;
    std::vector<IndexSample> answers;
    std::unique_ptr<bool[]> ok;
    for (int first = 0; first < height; first += rowsPerPass) {
        const int rows = std::min(rowsPerPass, height - first);
        const std::size_t n = static_cast<std::size_t>(rows) * static_cast<std::size_t>(width);
        xs.resize(n);
        ys.resize(n);
        zs.resize(n);
        answers.assign(n, IndexSample());
        ok.reset(new bool[n]);
        for (int j = 0; j < rows; ++j) {
            const double z = up.max - (first + j + 0.5) * up.Width() / height;
            for (int i = 0; i < width; ++i) {
                const std::size_t k = static_cast<std::size_t>(j) * width + i;
                xs[k] = alongX ? columns[i] : fixed;
                ys[k] = alongX ? fixed : columns[i];
                zs[k] = z;
                ok[k] = false;
            }
        }
        sampler.IndexBatch(n, xs.data(), ys.data(), zs.data(), answers.data(), ok.get());
        for (int j = 0; j < rows; ++j) {
            QRgb* line = reinterpret_cast<QRgb*>(field.scanLine(first + j));
            for (int i = 0; i < width; ++i) {
                const std::size_t k = static_cast<std::size_t>(j) * width + i;
                line[i] =
                    ok[k] ? MapGreyLevel(answers[k].index, state.displayN.min, state.displayN.max)
                          : qRgb(0, 0, 0);
            }
        }
    }
    canvas.Painter().drawImage(left, top, field);
}

}  // namespace velmor
