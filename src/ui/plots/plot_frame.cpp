#include "ui/plots/plot_frame.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

#include "core/app/number_text.h"

namespace velmor {

namespace {

// Lines are clipped to the image grown by this many pixels, so the painter only ever sees
// coordinates near the image and a pen's end caps outside the image stay outside it.
constexpr double kClipMargin = 16.0;

// Text anchors are whole pixels; anything further out than this is far off every view.
constexpr double kTextLimit = 1e7;

bool Finite(PixelPoint p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// Liang-Barsky: clips the segment a-b to the box; false when nothing of it is inside.
bool ClipSegment(double xmin, double ymin, double xmax, double ymax, PixelPoint& a, PixelPoint& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - xmin, xmax - a.x, a.y - ymin, ymax - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
    }
    const PixelPoint start = a;
    if (t1 < 1.0) b = {start.x + t1 * dx, start.y + t1 * dy};
    if (t0 > 0.0) a = {start.x + t0 * dx, start.y + t0 * dy};
    return true;
}

int TextCoordinate(double v) {
    return static_cast<int>(std::clamp(v, -kTextLimit, kTextLimit));
}

}  // namespace

PlotMapping::PlotMapping(int width, int height, ValueRange across, ValueRange up)
    : left(1), top(1), right(width - 1), bottom(height - 1), m_across(across), m_up(up) {}

double PlotMapping::X(double u) const {
    return left + std::trunc((u - m_across.min) * (right - left) / (m_across.max - m_across.min));
}

double PlotMapping::Y(double v) const {
    return top + std::trunc((m_up.max - v) * (bottom - top) / (m_up.max - m_up.min));
}

WorldPoint AreaToWorld(const QRect& area, QPoint point, const ValueRange& across,
                       const ValueRange& up) {
    const double f = double(point.x() - area.left()) / double(area.width());
    const double g = double(point.y() - area.top()) / double(area.height());
    return {across.min + f * across.Width(), up.max - g * up.Width()};
}

QPen MakePlotPen(PlotPen pen) {
    QPen result;
    result.setCapStyle(Qt::FlatCap);
    result.setJoinStyle(Qt::MiterJoin);
    result.setWidth(1);
    switch (pen) {
        case PlotPen::kBlack:
            result.setColor(QColor(kBlackRgb));
            break;
        case PlotPen::kBlue:
            result.setColor(QColor(kBlueRgb));
            break;
        case PlotPen::kThickBlue:
            result.setColor(QColor(kBlueRgb));
            result.setWidth(2);
            break;
        case PlotPen::kRed:
            result.setColor(QColor(kRedRgb));
            break;
        case PlotPen::kThickRed:
            result.setColor(QColor(kRedRgb));
            result.setWidth(2);
            break;
        case PlotPen::kGreyDotted:
            result.setColor(QColor(kGreyRgb));
            result.setDashPattern({2.0, 2.0});
            break;
        case PlotPen::kRedDotted:
            result.setColor(QColor(kRedRgb));
            result.setDashPattern({2.0, 2.0});
            break;
        case PlotPen::kReference:
            result.setColor(QColor(kReferenceRgb));
            break;
        case PlotPen::kReferenceDashed:
            result.setColor(QColor(kReferenceRgb));
            result.setDashPattern({4.0, 3.0});
            break;
    }
    return result;
}

const QFont& PlotFont() {
    static const QFont font = [] {
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setStyleHint(QFont::Monospace, QFont::NoAntialias);
        f.setFixedPitch(true);
        // 13 pixels gives the 8-pixel character cell of the classic fixed system font the
        // labels were laid out for, so the help texts fit a view at the default window size.
        f.setPixelSize(13);
        f.setWeight(QFont::Normal);
        f.setItalic(false);
        f.setUnderline(false);
        f.setStrikeOut(false);
        return f;
    }();
    return font;
}

QFont HelpFont(const std::vector<QString>& texts, int width) {
    constexpr int kLargest = 13, kSmallest = 10;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif, QFont::NoAntialias);
    for (int size = kLargest; size >= kSmallest; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        bool fits = true;
        for (const QString& text : texts) fits = fits && metrics.horizontalAdvance(text) <= width;
        if (fits) return font;
    }
    return font;  // at the smallest size
}

QImage MakeViewImage(int width, int height, QRgb fill) {
    if (width <= 0 || height <= 0) return QImage();
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

PlotCanvas::PlotCanvas(QImage& image, QRgb paper)
    : m_painter(&image),
      m_font(PlotFont()),
      m_width(image.width()),
      m_height(image.height()),
      m_textBackground(paper) {
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setRenderHint(QPainter::TextAntialiasing, false);
    m_painter.setFont(m_font);
    m_painter.setBrush(Qt::NoBrush);
    SetPen(PlotPen::kBlack);
}

void PlotCanvas::SetPen(PlotPen pen) {
    m_painter.setPen(MakePlotPen(pen));
}

void PlotCanvas::Line(PixelPoint a, PixelPoint b) {
    if (!Finite(a) || !Finite(b)) return;
    if (!ClipSegment(-kClipMargin, -kClipMargin, m_width + kClipMargin, m_height + kClipMargin, a,
                     b)) {
        return;
    }
    m_painter.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
}

void PlotCanvas::Cross(PixelPoint p) {
    Line({p.x - 2, p.y - 2}, {p.x + 2, p.y + 2});
    Line({p.x + 2, p.y - 2}, {p.x - 2, p.y + 2});
}

void PlotCanvas::SetFont(const QFont& font) {
    m_font = font;
    m_painter.setFont(m_font);
}

QSize PlotCanvas::TextExtent(const QString& text) const {
    const QFontMetrics metrics(m_font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void PlotCanvas::Text(double x, double y, const QString& text) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    const QSize extent = TextExtent(text);
    const QRect box(TextCoordinate(x), TextCoordinate(y), extent.width(), extent.height());
    if (!box.intersects(QRect(0, 0, m_width, m_height))) return;
    const QPen pen = m_painter.pen();
    m_painter.fillRect(box, QColor(m_textBackground));
    m_painter.setPen(QColor(m_textColour));
    m_painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    m_painter.setPen(pen);
}

void PlotCanvas::FrameBlack() {
    const QColor black(kBlackRgb);
    m_painter.fillRect(QRect(0, 0, m_width, 1), black);
    m_painter.fillRect(QRect(0, m_height - 1, m_width, 1), black);
    m_painter.fillRect(QRect(0, 0, 1, m_height), black);
    m_painter.fillRect(QRect(m_width - 1, 0, 1, m_height), black);
}

void PlotCanvas::Polyline(const std::vector<PixelPoint>& points) {
    if (points.size() < 2) return;
    const double xmin = -kClipMargin, ymin = -kClipMargin;
    const double xmax = m_width + kClipMargin, ymax = m_height + kClipMargin;
    std::vector<QPointF> run;
    run.reserve(points.size());
    auto flush = [&] {
        if (run.size() >= 2) m_painter.drawPolyline(run.data(), static_cast<int>(run.size()));
        run.clear();
    };
    for (std::size_t i = 1; i < points.size(); ++i) {
        PixelPoint a = points[i - 1], b = points[i];
        if (!Finite(a) || !Finite(b) || !ClipSegment(xmin, ymin, xmax, ymax, a, b)) {
            flush();
            continue;
        }
        const bool startClipped = a.x != points[i - 1].x || a.y != points[i - 1].y;
        const bool endClipped = b.x != points[i].x || b.y != points[i].y;
        if (startClipped) flush();
        if (run.empty()) run.emplace_back(a.x, a.y);
        run.emplace_back(b.x, b.y);
        if (endClipped) flush();
    }
    flush();
}

void BrokenPolyline::Add(bool ok, double u, double v) {
    if (!ok) {
        Finish();
        return;
    }
    m_run.push_back(m_mapping.Map(u, v));
}

void BrokenPolyline::Finish() {
    m_canvas.Polyline(m_run);
    m_run.clear();
}

void DrawIndexLabels(PlotCanvas& canvas, const PlotMapping& mapping, const PlotState& state,
                     double acrossMax, int lowerLines) {
    const QString n1 = QString::fromStdString("n1=" + FormatFixed(state.LabelN1(), 3));
    const QString n2 = QString::fromStdString("n2=" + FormatFixed(state.LabelN2(), 3));
    const PixelPoint p1 = mapping.Map(acrossMax, 0);
    const PixelPoint p2 = mapping.Map(acrossMax, state.displayZ.min);
    const QString& upper = state.startN <= 0 ? n1 : n2;
    const QString& lower = state.startN <= 0 ? n2 : n1;
    const QSize eu = canvas.TextExtent(upper), el = canvas.TextExtent(lower);
    canvas.Text(p1.x - eu.width() - 2, p1.y + 2, upper);
    canvas.Text(p2.x - el.width() - 2, p2.y - lowerLines * el.height() - 2, lower);
}

}  // namespace velmor
