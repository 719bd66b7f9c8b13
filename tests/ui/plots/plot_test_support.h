// Shared pieces of the view tests: the program's own surface and pixel helpers.
#pragma once

#include <QImage>
#include <QPainter>
#include <string>
#include <vector>

#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "test_paths.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/plot_state.h"
#include "ui/plots/update_2d.h"

namespace velmor::test {

// The engine, the provider and the plot surface as the program holds them.
struct ProgramSurface {
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    ProviderPlotSurface surface{provider};

    bool Open(const std::string& name) { return provider.OpenSurfaceDll(LibPath(name)).loaded; }
    bool UseScript(const char* source) {
        engine.Compile(source);
        if (engine.InstructionCount() == 0) return false;
        provider.SetInterpreterMode(true);
        provider.SetGradientIndex(false);
        return true;
    }
    // Refreshes the working pair and traces the ray (for a gradient-index surface with its path
    // through the medium), as a repaint does before it draws; the mode flags are the provider's.
    PlotState Traced(PlotSettings settings = {}) {
        provider.RefreshWorkingPair();
        settings.interpreterMode = provider.InterpreterMode();
        settings.gradientIndex = provider.GradientIndex();
        TraceRayAndPath(provider, settings, nullptr);
        provider.RefreshWorkingPair();
        return MakePlotState(settings, provider);
    }
};

// Passes every sag request to the inner sampler and keeps its point.
class RecordingSampler final : public Sampler {
public:
    explicit RecordingSampler(Sampler& inner) : m_inner(inner) {}
    bool Sag(double x, double y, double* z) override {
        requests.push_back({x, y});
        return m_inner.Sag(x, y, z);
    }
    bool Index(double x, double y, double z, IndexSample* out) override {
        return m_inner.Index(x, y, z, out);
    }
    std::vector<QPointF> requests;

private:
    Sampler& m_inner;
};

inline bool IsRgb(const QImage& image, double x, double y, QRgb rgb) {
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    if (!image.valid(ix, iy)) return false;
    return (image.pixel(ix, iy) & 0xFFFFFF) == (rgb & 0xFFFFFF);
}

// Pixels of exactly this colour in the rectangle (clipped to the image).
inline int CountRgb(const QImage& image, QRect rect, QRgb rgb) {
    rect = rect.intersected(image.rect());
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF)) ++count;
        }
    }
    return count;
}

inline int CountRgb(const QImage& image, QRgb rgb) {
    return CountRgb(image, image.rect(), rgb);
}

// A text as the views draw it: the font (the labels' unless another is given) on an opaque box
// of the given background.
inline QImage TextStamp(const QString& text, QRgb colour, QRgb background,
                        const QFont& font = PlotFont()) {
    QImage probe(1, 1, QImage::Format_RGB32);
    QSize extent;
    {
        PlotCanvas canvas(probe, background);
        canvas.SetFont(font);
        extent = canvas.TextExtent(text);
    }
    QImage stamp(extent, QImage::Format_RGB32);
    stamp.fill(background);
    PlotCanvas canvas(stamp, background);
    canvas.SetFont(font);
    canvas.SetTextColour(colour);
    canvas.Text(0, 0, text);
    return stamp;
}

// True when the text appears in the image with its top-left corner at (x, y).
inline bool HasTextAt(const QImage& image, const QString& text, int x, int y, QRgb colour,
                      QRgb background, const QFont& font = PlotFont()) {
    const QImage stamp = TextStamp(text, colour, background, font);
    if (!image.rect().contains(QRect(QPoint(x, y), stamp.size()))) return false;
    return image.copy(QRect(QPoint(x, y), stamp.size())) == stamp;
}

}  // namespace velmor::test
