// What every 2D view shares: the world-to-pixel mapping, the palette and the font, text
// placed by its measured extent, lines clipped before they reach the painter, and the broken
// polylines of the sampled curves.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

#include "ui/plots/plot_state.h"

namespace velmor {

// A pixel position: whole numbers kept in doubles, so a world point far outside the view
// neither overflows nor gets clamped.
struct PixelPoint {
    double x = 0, y = 0;
};

// World (u across, v up) to pixel inside the inner rectangle (1, 1, w - 1, h - 1):
//   X = left + trunc((u - umin) * (right - left) / (umax - umin))
//   Y = top + trunc((vmax - v) * (bottom - top) / (vmax - vmin))
// in double precision, the multiplication before the division, nothing clamped.
class PlotMapping {
public:
    PlotMapping(int width, int height, ValueRange across, ValueRange up);

    double X(double u) const;
    double Y(double v) const;
    PixelPoint Map(double u, double v) const { return {X(u), Y(v)}; }

    int left, top, right, bottom;

private:
    ValueRange m_across, m_up;
};

// A point of a plot area, as the mouse gives it, in world coordinates: u across, v up, over
// the area's whole width and height (right and bottom exclusive):
//   u = across.min + (x - left) / width * (across.max - across.min)
//   v = up.max - (y - top) / height * (up.max - up.min)
struct WorldPoint {
    double u = 0, v = 0;
};
WorldPoint AreaToWorld(const QRect& area, QPoint point, const ValueRange& across,
                       const ValueRange& up);

// The views' colours.
inline constexpr QRgb kPaperRgb = qRgb(255, 255, 230);
inline constexpr QRgb kWhiteRgb = qRgb(255, 255, 255);
inline constexpr QRgb kBlackRgb = qRgb(0, 0, 0);
inline constexpr QRgb kRedRgb = qRgb(255, 0, 0);
inline constexpr QRgb kBlueRgb = qRgb(0, 0, 255);
inline constexpr QRgb kGreyRgb = qRgb(80, 80, 80);
// The second colour: what a comparison's reference draws beside the surface.
inline constexpr QRgb kReferenceRgb = qRgb(0, 160, 0);

enum class PlotPen {
    kBlack,            // solid, 1, (0, 0, 0)
    kBlue,             // solid, 1, (0, 0, 255)
    kThickBlue,        // solid, 2, (0, 0, 255)
    kRed,              // solid, 1, (255, 0, 0)
    kThickRed,         // solid, 2, (255, 0, 0)
    kGreyDotted,       // dotted, 1, (80, 80, 80)
    kRedDotted,        // dotted, 1, (255, 0, 0), ray view only
    kReference,        // solid, 1, kReferenceRgb: a comparison's reference
    kReferenceDashed,  // dashed, 1, kReferenceRgb: its curves, over the surface's
};

QPen MakePlotPen(PlotPen pen);

// The font of the views' labels: a monospaced face with an 8-pixel character cell, drawn
// without antialiasing.
const QFont& PlotFont();

// The font of the views' help texts ("Shift L-Click:ThroughPoint", ...), which must lie whole in
// a view as small as the minimum window gives: a proportional face drawn without antialiasing,
// at the largest pixel size from 13 down to 10 at which every one of `texts` is at most
// `width` pixels wide; 10 when none is.
QFont HelpFont(const std::vector<QString>& texts, int width);
// The width help texts may take in a view of the given width: its inner rectangle less the
// margins of the texts' places (2 pixels at the left of the plan view's, 4 at the right of the
// ray view's).
inline int HelpTextWidth(int viewWidth) {
    return viewWidth - 6;
}

// The drawing surface of one view: a painter on the view's image with the font selected, no
// antialiasing, and the inner rectangle. `paper` is the colour the image was filled with; text
// is drawn on boxes of it.
class PlotCanvas {
public:
    PlotCanvas(QImage& image, QRgb paper);
    PlotCanvas(const PlotCanvas&) = delete;
    PlotCanvas& operator=(const PlotCanvas&) = delete;

    QPainter& Painter() { return m_painter; }
    int Left() const { return 1; }
    int Top() const { return 1; }
    int Right() const { return m_width - 1; }
    int Bottom() const { return m_height - 1; }

    void SetPen(PlotPen pen);
    // From a towards b, clipped to a margin around the image in double precision.
    void Line(PixelPoint a, PixelPoint b);
    // The small cross of a failed trace: (P.x - 2, P.y - 2) to (P.x + 2, P.y + 2) and
    // (P.x + 2, P.y - 2) to (P.x - 2, P.y + 2).
    void Cross(PixelPoint p);

    // Extent of the text in the font selected, and text with its top-left corner at (x, y) on an
    // opaque box of the text background.
    QSize TextExtent(const QString& text) const;
    void Text(double x, double y, const QString& text);
    void SetTextColour(QRgb rgb) { m_textColour = rgb; }
    // The labels' font (PlotFont) is selected at first.
    void SetFont(const QFont& font);

    // A one-pixel black border around the whole image.
    void FrameBlack();

    // Draws the points of one unbroken run of a curve with the current pen, clipping where a
    // segment leaves the drawable area.
    void Polyline(const std::vector<PixelPoint>& points);

private:
    QPainter m_painter;
    QFont m_font;
    int m_width, m_height;
    QRgb m_textColour = kBlackRgb;
    QRgb m_textBackground;
};

// A curve drawn from samples in order: a successful sample that is the first or follows a
// failed one starts a new piece; a failed sample draws nothing and breaks the curve. The
// pen is the one selected on the canvas when the curve is finished.
class BrokenPolyline {
public:
    BrokenPolyline(PlotCanvas& canvas, const PlotMapping& mapping)
        : m_canvas(canvas), m_mapping(mapping) {}
    ~BrokenPolyline() { Finish(); }

    void Add(bool ok, double u, double v);
    void Finish();

private:
    PlotCanvas& m_canvas;
    const PlotMapping& m_mapping;
    std::vector<PixelPoint> m_run;
};

// The labels "n1=..." and "n2=..." at the right end `acrossMax` of a view with z up: the index
// on the ray's incoming side (n1 when the start direction has n <= 0) just below the line
// z = 0, the other `lowerLines` text heights above the bottom of the z range.
void DrawIndexLabels(PlotCanvas& canvas, const PlotMapping& mapping, const PlotState& state,
                     double acrossMax, int lowerLines);

// A view image of the plot area's size, or a null image for an empty area.
QImage MakeViewImage(int width, int height, QRgb fill);

}  // namespace velmor
