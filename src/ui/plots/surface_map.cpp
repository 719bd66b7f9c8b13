#include "ui/plots/surface_map.h"

#include <QCursor>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "core/app/progress.h"
#include "ui/plots/update_2d.h"

namespace velmor {

namespace {

// Shows the wait cursor for the life of the object (when there is an application to show it).
class WaitCursor {
public:
    WaitCursor() : m_shown(QGuiApplication::instance() != nullptr) {
        if (m_shown) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor() {
        if (m_shown) QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_shown;
};

// Grey levels of sags: 64 at smin, 192 at smax, darker or lighter beyond, within 0..255:
//   g = 64 - trunc((sag - smin) / (smax - smin) * (-128.0))
// A surface without spread of sag gets mid grey; a sag that is not a number is black.
//
// The level is found with a multiplication by the reciprocal of the spread; only when that
// product lies so near a whole number that the rounding of the division could decide the
// truncation is the division itself done. The result is the division's, exactly.
class GreyScale {
public:
    GreyScale(double smin, double smax)
        : m_smin(smin),
          m_spread(smax - smin),
          m_scale(-128.0 / (smax - smin)),
          m_flat(smax == smin) {}

    QRgb operator()(double sag) const {
        if (m_flat) return std::isnan(sag) ? Grey(0) : Grey(128);
        if (sag == m_smin) return Grey(64);
        const double fast = (sag - m_smin) * m_scale;
        // Within this range the product is off the quotient by far less than the tolerance.
        if (std::fabs(fast) < 1e6) {
            const long long whole = static_cast<long long>(fast);
            const double fraction = std::fabs(fast - static_cast<double>(whole));
            if (fraction > 1e-6 && fraction < 1.0 - 1e-6) return Clamped(64 - whole);
        }
        const double g = 64.0 - std::trunc((sag - m_smin) / m_spread * (-128.0));
        if (std::isnan(g)) return Grey(0);
        return Grey(static_cast<int>(std::clamp(g, 0.0, 255.0)));
    }

private:
    static QRgb Grey(int level) { return 0xFF000000u | static_cast<unsigned>(level) * 0x010101u; }
    static QRgb Clamped(long long level) {
        return Grey(static_cast<int>(level < 0 ? 0 : level > 255 ? 255 : level));
    }

    double m_smin, m_spread, m_scale;
    bool m_flat;
};

}  // namespace

QRgb MapGreyLevel(double value, double low, double high) {
    return GreyScale(low, high)(value);
}

MapSize SurfaceMapSize(ValueRange x, ValueRange y, double stepX, double stepY) {
    const double wx = x.max - x.min, wy = y.max - y.min;
    if (!(stepX > 0) || !(stepY > 0) || !(wx > 0) || !(wy > 0)) return {};
    if (!std::isfinite(wx) || !std::isfinite(wy)) return {};
    double w = std::trunc(wx / stepX);
    double h = std::trunc(wy / stepY);
    if (w > kMaxMapSide) {
        w = kMaxMapSide;
        h = std::trunc(wy / wx * 1024.0);
    }
    if (h > kMaxMapSide) {
        h = kMaxMapSide;
        w = std::trunc(wx / wy * 1024.0);
    }
    // The second cut scales W by the ranges' ratio, which can take a W that was within the limit
    // beyond it (x wider than y, y's step much finer): W is cut once more and H follows.
    if (w > kMaxMapSide) {
        w = kMaxMapSide;
        h = std::trunc(wy / wx * 1024.0);
    }
    if (!(w >= 1) || !(h >= 1) || w > kMaxMapSide || h > kMaxMapSide) return {};
    return {static_cast<int>(w), static_cast<int>(h)};
}

bool CSurfaceMap::Build(const PlotState& state, PlotSurface& surface, MapProgressWindow* progress) {
    if (m_built) return false;
    WaitCursor wait;
    const ValueRange ax = state.analysisX, ay = state.analysisY;
    const MapSize size = SurfaceMapSize(ax, ay, state.stepX, state.stepY);
    m_coveredX = ax;
    m_cancelled = false;
    m_answered = false;
    m_sagMin = 1e9;
    m_sagMax = -1e9;
    m_image = QImage();
    m_built = true;  // also when empty: a repaint must not ask for it again and again
    if (size.Empty()) return true;

    const int w = size.width, h = size.height;
    // The memory of a discarded map of the same size is used again. The whole bitmap is black
    // before the drawing pass, so rows not drawn yet (or left undrawn by a cancel) show neither
    // the map before nor stale memory.
    if (m_spare.width() == w && m_spare.height() == h) {
        m_image = std::move(m_spare);
    } else {
        m_image = QImage(w, h, QImage::Format_RGB32);
    }
    m_spare = QImage();
    if (m_image.isNull()) return true;  // no memory for it: the plan view shows no map
    m_image.fill(qRgb(0, 0, 0));

    surface.BeginPass();
    surface.RefreshWorkingPair();
    Sampler& sampler = surface.PointSampler();
    const double x0 = ax.min, x1 = ax.max, y0 = ay.min, y1 = ay.max;

    // Sag range on a coarse grid that starts at the bottom edge, in one pass of rows (a cancel
    // of a long pass ends it after a row).
    const int s = std::max(std::min(w, h) / 100, 1);
    std::vector<double> xs, ys;
    std::vector<std::size_t> coarseEnds;
    for (int q = 0; q <= h; q += s) {
        const double y = y0 + (y1 - y0) * q / h;
        for (int p = 0; p <= w; p += s) {
            const double x = x0 + p * (x1 - x0) / w;
            if (!(x >= x0 && x <= x1 && y >= y0 && y <= y1)) continue;
            xs.push_back(x);
            ys.push_back(y);
        }
        if (!xs.empty() && (coarseEnds.empty() || coarseEnds.back() != xs.size()))
            coarseEnds.push_back(xs.size());
    }
    std::vector<double> sags(xs.size());
    auto valid = std::make_unique<bool[]>(std::max(xs.size(), std::size_t{1}));
    bool coarseCancelled = false;
    const SampleRows coarseRows{coarseEnds.data(), coarseEnds.size(), false, 0, 0,
                                &coarseCancelled};
    const std::size_t coarseDone =
        sampler.SagBatch(xs.size(), xs.data(), ys.data(), sags.data(), valid.get(), coarseRows);
    if (coarseDone < xs.size() || coarseCancelled) {
        m_cancelled = true;  // without the sag range nothing is drawn: the map stays black
        return true;
    }
    double smin = 1e9, smax = -1e9;
    for (std::size_t k = 0; k < xs.size(); ++k) {
        if (!valid[k]) continue;
        if (sags[k] > smax) smax = sags[k];
        if (sags[k] < smin) smin = sags[k];
    }
    m_sagMin = smin;
    m_sagMax = smax;

    // The drawing pass in passes of whole rows: pixel (i, j) stands for x = x0 + i * (x1 - x0) / W
    // and y = y0 + (H - j) * (y1 - y0) / H. A pixel outside the rectangle is black without a
    // sample. The progress window is told (j, H) after each row j: as row j + 1 starts, and
    // after the last one.
    std::vector<double> columns;  // the x of every column inside [x0, x1]
    std::vector<int> columnOf;
    for (int i = 0; i < w; ++i) {
        const double x = x0 + i * (x1 - x0) / w;
        if (!(x >= x0 && x <= x1)) continue;
        columns.push_back(x);
        columnOf.push_back(i);
    }
    const std::size_t rowPoints = std::max<std::size_t>(columns.size(), 1);
    const int rowsPerPass =
        static_cast<int>(std::max<std::size_t>(1, kSamplePassPoints / rowPoints));
    const std::size_t passPoints = static_cast<std::size_t>(rowsPerPass) * rowPoints;
    xs.resize(passPoints);
    ys.resize(passPoints);
    sags.resize(passPoints);
    valid = std::make_unique<bool[]>(passPoints);
    std::vector<std::size_t> ends;
    std::vector<int> rowOf;  // the map row of each sampled row of the pass
    const GreyScale grey(smin, smax);

    if (progress != nullptr) progress->Open(kMapProgressTitle);
    int j = 0;
    while (j < h) {
        const int passStart = j;
        const int passEnd = std::min(h, j + rowsPerPass);
        ends.clear();
        rowOf.clear();
        std::size_t n = 0;
        for (int row = passStart; row < passEnd; ++row) {
            const double y = y0 + (h - row) * (y1 - y0) / h;
            if (!(y >= y0 && y <= y1) || columns.empty()) continue;
            for (const double x : columns) {
                xs[n] = x;
                ys[n++] = y;
            }
            ends.push_back(n);
            rowOf.push_back(row);
        }
        bool cancelled = false;
        const SampleRows rows{ends.data(), ends.size(), true, passStart - 1LL, h + 1LL, &cancelled};
        const std::size_t done =
            n > 0 ? sampler.SagBatch(n, xs.data(), ys.data(), sags.data(), valid.get(), rows) : 0;
        // The rows of the pass up to the first one a cancel left unsampled are drawn.
        int drawnTo = passEnd;
        for (std::size_t r = 0; r < ends.size(); ++r) {
            if (ends[r] > done) {
                drawnTo = rowOf[r];
                break;
            }
        }
        std::size_t r = 0;  // the pass's next sampled row
        for (int row = passStart; row < drawnTo; ++row) {
            if (r >= rowOf.size() || rowOf[r] != row) continue;
            QRgb* line = reinterpret_cast<QRgb*>(m_image.scanLine(row));
            const std::size_t first = r > 0 ? ends[r - 1] : 0;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                if (!valid[first + c]) continue;
                line[columnOf[c]] = grey(sags[first + c]);
                m_answered = true;
            }
            ++r;
        }
        j = drawnTo;
        if (drawnTo < passEnd || cancelled) {
            m_cancelled = true;
            break;
        }
    }
    if (!m_cancelled && h > 0 && ReportProgress(h - 1, h)) m_cancelled = true;
    if (progress != nullptr) progress->Close();
    return true;
}

void CSurfaceMap::Discard() {
    m_built = false;
    m_cancelled = false;
    if (!m_image.isNull()) m_spare = std::move(m_image);
    m_image = QImage();
}

}  // namespace velmor
