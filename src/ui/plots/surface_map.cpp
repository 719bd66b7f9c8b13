#include "ui/plots/surface_map.h"

#include <QCursor>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
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
    if (!(w >= 1) || !(h >= 1) || w > kMaxMapSide) return {};
    return {static_cast<int>(w), static_cast<int>(h)};
}

bool CSurfaceMap::Build(const PlotState& state, PlotSurface& surface, MapProgressWindow* progress) {
    if (m_built) return false;
    WaitCursor wait;
    const ValueRange ax = state.analysisX, ay = state.analysisY;
    const MapSize size = SurfaceMapSize(ax, ay, state.stepX, state.stepY);
    m_coveredX = ax;
    m_cancelled = false;
    m_sagMin = 1e9;
    m_sagMax = -1e9;
    m_image = QImage();
    m_built = true;  // also when empty: a repaint must not ask for it again and again
    if (size.Empty()) return true;

    const int w = size.width, h = size.height;
    // The pixels of a discarded map of the same size are used again (every pixel is written).
    if (m_spare.width() == w && m_spare.height() == h) {
        m_image = std::move(m_spare);
    } else {
        m_image = QImage(w, h, QImage::Format_RGB32);
    }
    m_spare = QImage();
    if (m_image.isNull()) return true;  // no memory for it: the plan view shows no map

    surface.RefreshWorkingPair();
    Sampler& sampler = surface.PointSampler();
    const double x0 = ax.min, x1 = ax.max, y0 = ay.min, y1 = ay.max;

    // Sag range on a coarse grid that starts at the bottom edge.
    const int s = std::max(std::min(w, h) / 100, 1);
    double smin = 1e9, smax = -1e9;
    for (int q = 0; q <= h; q += s) {
        const double y = y0 + (y1 - y0) * q / h;
        for (int p = 0; p <= w; p += s) {
            const double x = x0 + p * (x1 - x0) / w;
            if (!(x >= x0 && x <= x1 && y >= y0 && y <= y1)) continue;
            double sag = 0;
            if (!sampler.Sag(x, y, &sag)) continue;
            if (sag > smax) smax = sag;
            if (sag < smin) smin = sag;
        }
    }
    m_sagMin = smin;
    m_sagMax = smax;

    // Column positions once for all rows: x = x0 + i * (x1 - x0) / W.
    std::vector<double> columns(static_cast<std::size_t>(w));
    for (int i = 0; i < w; ++i) columns[i] = x0 + i * (x1 - x0) / w;
    const GreyScale grey(smin, smax);
    // One row of samples is taken before any of it is turned into grey levels, which keeps
    // the loop around the surface calls short.
    std::vector<double> sags(static_cast<std::size_t>(w));
    std::vector<unsigned char> valid(static_cast<std::size_t>(w));

    if (progress != nullptr) progress->Open(kMapProgressTitle);
    int j = 0;
    for (; j < h; ++j) {
        const double y = y0 + (h - j) * (y1 - y0) / h;
        const bool rowInside = y >= y0 && y <= y1;
        for (int i = 0; i < w; ++i) {
            const double x = columns[i];
            valid[i] = rowInside && x >= x0 && x <= x1 && sampler.Sag(x, y, &sags[i]);
        }
        QRgb* row = reinterpret_cast<QRgb*>(m_image.scanLine(j));
        for (int i = 0; i < w; ++i) row[i] = valid[i] ? grey(sags[i]) : qRgb(0, 0, 0);
        if (ReportProgress(j, h)) {
            m_cancelled = true;
            ++j;
            break;
        }
    }
    // Rows a cancel left undrawn stay black.
    for (; j < h; ++j) {
        QRgb* row = reinterpret_cast<QRgb*>(m_image.scanLine(j));
        std::fill(row, row + w, qRgb(0, 0, 0));
    }
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
