// The surface map: the sag over the analysis x-y rectangle as grey levels (low dark, high
// light, failed samples black), one sample per pixel, kept between repaints and stretched into
// the plan view. The main window owns one; it discards and rebuilds it after "Update 2D",
// "Update UD FD", "Open DLL ..." and the interpreter switch, and the repaint builds it when it
// is missing.
#pragma once

#include <QImage>

#include "ui/plots/plot_state.h"

namespace velmor {

class PlotSurface;

// Caption of the progress window shown while the map is drawn.
inline constexpr const char* kMapProgressTitle = "Progress Bitmap";
// Neither side of the map is longer than this.
inline constexpr int kMaxMapSide = 1024;

struct MapSize {
    int width = 0, height = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
};

// W = trunc((x1 - x0) / sx), H = trunc((y1 - y0) / sy); a side above 1024 is cut to 1024 and
// the other scaled by the ranges' ratio: W first, then H, then W again when the cut of H scaled
// it beyond 1024 (x [-10, 10], y [-5, 5], steps 0.1 and 0.001 give 1024 x 512). 0 x 0 when there is
// nothing to sample: a step that is not positive, a reversed or empty range, or a side that
// truncates to 0.
MapSize SurfaceMapSize(ValueRange x, ValueRange y, double stepX, double stepY);

// The progress window of the drawing pass. Open closes any progress window still open, opens
// one with the given caption and puts it behind ReportProgress; Close closes it if it is
// still open. The drawing pass reports (row, rows) after each row and stops on a cancel.
class MapProgressWindow {
public:
    virtual ~MapProgressWindow() = default;
    virtual void Open(const char* title) = 0;
    virtual void Close() = 0;
};

// The map's grey level of `value` between `low` (64) and `high` (192), darker or lighter beyond
// within 0..255, black for a value that is no number, mid grey (128) when low equals high. The
// index field behind the profile views paints n by it over the display n range.
QRgb MapGreyLevel(double value, double low, double high);

class CSurfaceMap {
public:
    bool Built() const { return m_built; }
    // The W x H map; a null image when the map is built empty (nothing to sample).
    const QImage& Image() const { return m_image; }
    // The analysis x range the map was built for.
    ValueRange CoveredX() const { return m_coveredX; }
    // Range of sag the coarse pass found (smin 1e9 and smax -1e9 when it found none).
    double SagMin() const { return m_sagMin; }
    double SagMax() const { return m_sagMax; }
    // The drawing pass was cancelled: the rows below the last one drawn are black.
    bool Cancelled() const { return m_cancelled; }
    // The whole map was sampled and not one sample answered: it is all black.
    bool NoneAnswered() const {
        return m_built && !m_image.isNull() && !m_cancelled && !m_answered;
    }

    // Builds the map when it is not built (the wait cursor shown meanwhile); does nothing when
    // it is. Refreshes the working pair, finds the sag range on a coarse grid, then draws row
    // by row under the progress window (`progress` may be null). A cancelled map stays built,
    // partly black. Returns true when it built the map now.
    bool Build(const PlotState& state, PlotSurface& surface, MapProgressWindow* progress);
    void Discard();

private:
    bool m_built = false;
    bool m_cancelled = false;
    bool m_answered = false;  // a sample of the map answered
    QImage m_image;
    QImage m_spare;  // the pixels of the last discarded map, for the next one of its size
    ValueRange m_coveredX;
    double m_sagMin = 1e9, m_sagMax = -1e9;
};

}  // namespace velmor
