#include "ui/plots/update_2d.h"

#include <QGuiApplication>
#include <QPainter>
#include <algorithm>

#include "core/interp/script_engine.h"
#include "core/surface/record_text.h"
#include "core/surface/row_catalogue.h"
#include "ui/plots/compare_views.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/view_images.h"

namespace velmor {

PlotAreas ComputePlotAreas(const QRect& frame) {
    PlotAreas areas;
    areas.frame = frame;
    const int side = std::min(frame.width(), frame.height());
    const int left = frame.left();
    const int top = frame.top();
    const int right = left + side;  // exclusive, as the squared frame's right edge
    const int bottom = top + side;
    const int q = std::max(0, side / 2 - 4);
    areas.plan = QRect(left + 2, top + 2, q, q);
    areas.xz = QRect(left + 2, bottom - q - 2, q, q);
    areas.yz = QRect(right - q - 2, bottom - q - 2, q, q);
    areas.fourth = QRect(right - q - 2, top + 2, q, q);
    return areas;
}

void DrawSunkenFrame(QPainter& painter, const QRect& rect, const QPalette& palette) {
    if (rect.width() <= 0 || rect.height() <= 0) return;
    // Drawn in the device's pixels: on a device with a pixel ratio the frame is that many
    // pixels wide, each ring one pixel shorter at its far ends than the one outside it.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatio() : 1.0;
    const int x = qRound(rect.left() * ratio), y = qRound(rect.top() * ratio);
    const int w = qRound(rect.width() * ratio), h = qRound(rect.height() * ratio);
    const int rings = std::max(1, qRound(ratio));
    const QColor dark = palette.dark().color();
    const QColor light = palette.light().color();
    painter.save();
    painter.scale(1 / ratio, 1 / ratio);
    for (int i = 0; i < rings; ++i) {
        painter.fillRect(QRect(x, y + i, w - 1 - i, 1), dark);                   // top
        painter.fillRect(QRect(x + i, y, 1, h - 1 - i), dark);                   // left
        painter.fillRect(QRect(x + i, y + h - 1 - i, w - i, 1), light);          // bottom
        painter.fillRect(QRect(x + w - 1 - i, y + i, 1, h - rings - i), light);  // right
    }
    painter.restore();
}

Sampler& ProviderPlotSurface::PointSampler() {
    return m_provider.SurfaceSampler();
}

void ProviderPlotSurface::RefreshWorkingPair() {
    m_provider.RefreshWorkingPair();
}

void ProviderPlotSurface::ClearRunErrorCounters() {
    m_provider.Engine().ClearRunErrorCounters();
}

void ProviderPlotSurface::BeginPass() {
    m_provider.Engine().BeginEscapePass();
}

std::string ProviderPlotSurface::RunErrorSummary() {
    CScriptEngine& engine = m_provider.Engine();
    bool any = false;
    for (int kind = 0; kind < kRunErrorKindCount; ++kind) {
        if (engine.RunErrorCounter(kind) != 0) any = true;
    }
    if (!any) return {};
    engine.AppendErrorSummary();
    return engine.RunMessageText();
}

RepaintResult RepaintViews(const PlotState& state, PlotSurface& surface, CSurfaceMap& map,
                           const PlotAreas& areas, MapProgressWindow* progress,
                           MissingMap missingMap, const CompareOverlay* compare) {
    RepaintResult result;
    surface.BeginPass();
    surface.ClearRunErrorCounters();
    result.showNoRay = state.gradientIndex;
    surface.RefreshWorkingPair();

    // A missing map is built now and shown from the next repaint on.
    const QImage* mapImage = nullptr;
    if (map.Built()) {
        mapImage = &map.Image();
    } else if (missingMap == MissingMap::kBuild) {
        map.Discard();
        map.Build(state, surface, progress);
        result.repaintAgain = true;
    } else {
        result.mapMissing = true;
    }

    Sampler& sampler = surface.PointSampler();
    const QSize plan = areas.plan.size(), xz = areas.xz.size(), yz = areas.yz.size();
    const QSize fourth = areas.fourth.size();
    const QImage* planMap = compare != nullptr ? &compare->differenceMap : mapImage;
    result.plan = DrawPlanView(state, planMap, plan.width(), plan.height());
    QString notes[4];
    if (compare == nullptr && mapImage != nullptr && map.NoneAnswered())
        notes[0] = kNoSampleAnsweredText;
    DrawViewNote(result.plan, notes[0]);
    result.xz =
        DrawProfileView(ProfileAxis::kX, state, sampler, xz.width(), xz.height(), &notes[1]);
    result.yz =
        DrawProfileView(ProfileAxis::kY, state, sampler, yz.width(), yz.height(), &notes[2]);
    if (state.gradientIndex) {
        result.fourth = DrawIndexView(state, sampler, fourth.width(), fourth.height(), &notes[3]);
    } else {
        result.fourth = DrawRayView(state, sampler, fourth.width(), fourth.height(), &notes[3]);
    }
    for (const QString& note : notes) {
        if (result.nothingAnswered.isEmpty()) result.nothingAnswered = note;
    }
    result.cursorReadout = CursorReadout(state, sampler);
    if (state.gradientIndex) result.mediumStatus = QString::fromStdString(state.mediumStatus);
    if (compare != nullptr) DrawCompareOverlay(result, state, sampler, *compare);
    result.errorSummary = surface.RunErrorSummary();
    return result;
}

void PaintPlotClient(QPainter& painter, const PlotClientLayout& client,
                     const RepaintResult& views) {
    painter.fillRect(client.rect, client.palette.window());
    DrawSunkenFrame(painter, client.areas.frame, client.palette);
    const PlotAreas& areas = client.areas;
    // Each image into its own area only: an image drawn for a larger area (the client shrank and
    // the views are not drawn again yet) never reaches the gaps or the other views.
    for (const auto& [image, area] : {std::pair{&views.plan, &areas.plan},
                                      {&views.xz, &areas.xz},
                                      {&views.yz, &areas.yz},
                                      {&views.fourth, &areas.fourth}}) {
        if (!image->isNull())
            painter.drawImage(area->topLeft(), *image, QRect(QPoint(), area->size()));
    }
}

void MediumPathWindow::Open() {
    if (m_window != nullptr) m_window->Open(kMediumProgressTitle);
}

void MediumPathWindow::Close() {
    if (m_window != nullptr) m_window->Close();
}

TraceOutcome TraceRayAndPath(CSurfaceProvider& provider, const PlotSettings& settings,
                             MapProgressWindow* window) {
    MediumPathWindow pathWindow(window);
    MediumTraceOptions medium;
    medium.displayZMax = settings.displayZ.max;
    medium.window = &pathWindow;
    return provider.TraceRay(TraceSettingsOf(settings), medium);
}

Update2DResult RunUpdate2D(const PlotAreas& areas, const PlotSettings& settings,
                           const PlotSources& sources) {
    Update2DResult result;
    result.trace = TraceRayAndPath(sources.provider, settings, sources.progress);
    sources.map.Discard();
    sources.map.Build(MakePlotState(settings, sources.provider), sources.surface, sources.progress);
    result.views =
        RepaintViews(MakePlotState(settings, sources.provider), sources.surface, sources.map, areas,
                     sources.progress, MissingMap::kBuild, sources.compare);
    return result;
}

Update2DResult Update2D(QPainter& painter, const PlotClientLayout& client,
                        const PlotSettings& settings, const PlotSources& sources) {
    Update2DResult result = RunUpdate2D(client.areas, settings, sources);
    PaintPlotClient(painter, client, result.views);
    return result;
}

PlotSettings SettingsFromFields(const ViewFields& fields, const PlotSettings& start) {
    PlotSettings settings = start;
    settings.analysisX = fields.analysisX;
    settings.analysisY = fields.analysisY;
    settings.stepX = fields.stepX;
    settings.stepY = fields.stepY;
    settings.fieldN1 = fields.n1;
    settings.fieldN2 = fields.n2;
    ResetZoomRanges(settings);
    // "Reset Zoom" shows the display ranges with three decimals; "Update 2D" reads the x, y and
    // n fields back.
    for (ValueRange* range : {&settings.displayX, &settings.displayY, &settings.displayN}) {
        range->min = ThreeDecimalField(range->min);
        range->max = ThreeDecimalField(range->max);
    }
    if (fields.displayX) settings.displayX = *fields.displayX;
    if (fields.displayY) settings.displayY = *fields.displayY;
    if (fields.displayZ) settings.displayZ = *fields.displayZ;
    if (fields.displayN) settings.displayN = *fields.displayN;
    if (fields.displayR) settings.displayR = *fields.displayR;
    return settings;
}

ViewsImage UpdateViewsImage(CSurfaceProvider& provider, const PlotSettings& settings, int side) {
    RecordPair& initial = provider.Initial();
    std::string rewrite;
    for (const RecordRow& row : UserDataRows()) {
        TextToField(row, &initial.ud, FieldToText(row, &initial.ud), &rewrite);
    }
    for (const RecordRow& row : FixedDataRows(provider.RecordVersion())) {
        TextToField(row, initial.fd, FieldToText(row, initial.fd), &rewrite);
    }

    ProviderPlotSurface surface(provider);
    CSurfaceMap map;
    const QRect client(0, 0, side, side);
    const PlotClientLayout layout{client, QGuiApplication::palette(), ComputePlotAreas(client)};
    ViewsImage result;
    result.image = QImage(side, side, QImage::Format_RGB32);
    {
        QPainter painter(&result.image);
        result.update = Update2D(painter, layout, settings, {provider, surface, map, nullptr});
    }
    return result;
}

}  // namespace velmor
