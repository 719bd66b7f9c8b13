#include "ui/app/plot_client.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWheelEvent>

#include "ui/app/field_text.h"
#include "ui/app/velmor_dlg.h"
#include "ui/common/library_wait.h"
#include "ui/common/progress_dialog.h"
#include "ui/interp/dialog_interpreter.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

namespace {

QString PairText(const char* a, double x, const char* b, double y) {
    return QStringLiteral("%1 = %2 , %3 = %4")
        .arg(QLatin1String(a), FormatDefault(x), QLatin1String(b), FormatDefault(y));
}

// The progress window of the surface map being built, if any (null once it is closed).
QPointer<CProgressDialog> g_mapWindow;

// The progress window of the map build: the program's one progress window, titled as asked,
// over the parent the last caller left.
class CMapProgressWindow final : public MapProgressWindow {
public:
    void Open(const char* title) override {
        g_mapWindow = OpenProgressWindow(QString::fromLatin1(title));
    }
    void Close() override { CloseProgressWindow(); }
};

CMapProgressWindow g_mapProgress;

}  // namespace

// The provider's sampler, whose samples fail untaken once the pass is cancelled.
class CViewsSurface::PassSampler final : public Sampler {
public:
    PassSampler(Sampler& sampler, const CLibraryWaitWindow& wait)
        : m_sampler(sampler), m_wait(wait) {}

    bool Sag(double x, double y, double* z) override {
        return !m_wait.PassCancelled() && m_sampler.Sag(x, y, z);
    }
    bool Index(double x, double y, double z, IndexSample* out) override {
        return !m_wait.PassCancelled() && m_sampler.Index(x, y, z, out);
    }
    std::size_t SagBatch(std::size_t n, const double* x, const double* y, double* z, bool* ok,
                         const SampleRows& rows) override {
        if (m_wait.PassCancelled()) return 0;
        return m_sampler.SagBatch(n, x, y, z, ok, rows);
    }
    std::size_t IndexBatch(std::size_t n, const double* x, const double* y, const double* z,
                           IndexSample* out, bool* ok, const SampleRows& rows) override {
        if (m_wait.PassCancelled()) return 0;
        return m_sampler.IndexBatch(n, x, y, z, out, ok, rows);
    }
    void SampleBatch(std::size_t n, const SampleRequest* requests, SampleAnswer* answers) override {
        if (!m_wait.PassCancelled()) {
            m_sampler.SampleBatch(n, requests, answers);
            return;
        }
        for (std::size_t i = 0; i < n; ++i) answers[i] = SampleAnswer{};
    }

private:
    Sampler& m_sampler;
    const CLibraryWaitWindow& m_wait;
};

CViewsSurface::CViewsSurface(CSurfaceProvider& provider, const CLibraryWaitWindow& wait)
    : m_surface(provider),
      m_sampler(std::make_unique<PassSampler>(provider.SurfaceSampler(), wait)) {}

CViewsSurface::~CViewsSurface() = default;

Sampler& CViewsSurface::PointSampler() {
    return *m_sampler;
}

CVelmorClient::CVelmorClient(CVelmorDlg& dlg) : QWidget(&dlg), m_dlg(dlg) {
    setMouseTracking(true);
    setAutoFillBackground(false);
}

void CVelmorClient::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_dlg.PaintPlotClient(painter);
}

void CVelmorClient::resizeEvent(QResizeEvent*) {
    m_dlg.ApplyLayout();
}

void CVelmorClient::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    CVelmorDlg::CommandScope command(m_dlg);  // a ray choice traces again
    if (event->button() == Qt::LeftButton)
        m_dlg.OnLeftButtonDown(point, event->modifiers());
    else if (event->button() == Qt::RightButton)
        m_dlg.OnRightButtonDown(point, event->modifiers());
}

void CVelmorClient::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) m_dlg.OnRightButtonUp();
}

void CVelmorClient::mouseMoveEvent(QMouseEvent* event) {
    m_dlg.OnMouseMove(event->position().toPoint(), event->buttons(), event->modifiers());
}

void CVelmorClient::wheelEvent(QWheelEvent* event) {
    // One zoom step per notch (120); finer wheels add up to whole notches.
    m_wheel += event->angleDelta().y();
    const QPoint point = event->position().toPoint();
    while (m_wheel >= 120) {
        m_wheel -= 120;
        m_dlg.ZoomAt(point, 1);
    }
    while (m_wheel <= -120) {
        m_wheel += 120;
        m_dlg.ZoomAt(point, -1);
    }
    event->accept();
}

// ---------------------------------------------------------------------------------------
// The main window's part: zoom and pan

void CVelmorDlg::ZoomAt(QPoint point, int direction) {
    if (!velmor::ZoomAt(m_state, m_areas, point, direction)) return;
    ShowDisplayRanges();
    Repaint();
}

QPoint CVelmorDlg::PlanCentre() const {
    return AreaCentre(m_areas.plan);
}

void CVelmorDlg::ResetZoom() {
    ReadFields();
    ResetZoomRanges(m_state);
    ShowDisplayRanges();
    Repaint();
}

void CVelmorDlg::ResetPan() {
    CentreDisplayRanges(m_state);
    ShowDisplayRanges();
    Repaint();
}

// ---------------------------------------------------------------------------------------
// The 2D views

QWidget* CVelmorDlg::PlotClient() const {
    return m_client;
}

void CVelmorDlg::Repaint() {
    m_viewsStale = true;
    QueueRedraw(0);
}

void CVelmorDlg::QueueRedraw(int delayMs) {
    if (!m_redrawTimer.isActive() || delayMs < m_redrawTimer.remainingTime())
        m_redrawTimer.start(delayMs);
}

void CVelmorDlg::RedrawViews() {
    if (!m_started || !m_viewsStale) return;
    // Asked for while the surface is being sampled (from events handled meanwhile): the
    // library answers no other request until then, so the views wait for it.
    if (Sampling()) {
        QueueRedraw(kMapBuildRetryMs);
        return;
    }
    m_viewsStale = false;
    {
        SamplingScope sampling(*this);
        // A missing map is built right after, once no other loop's progress window is open.
        m_views = RepaintViews(MakePlotState(m_state, *m_provider), m_surface, m_map, m_areas,
                               &g_mapProgress, MissingMap::kLeave, CompareOverlayForViews());
    }
    ShowRepaintTexts(m_views);
    CheckReferenceFault();
    if (m_views.mapMissing && !m_mapBuildQueued) {
        m_mapBuildQueued = true;
        QTimer::singleShot(0, m_client, [this] { BuildMissingMap(); });
    }
    m_client->update();
}

PlotClientLayout CVelmorDlg::ClientLayout() const {
    return {m_client->rect(), m_client->palette(), m_areas};
}

PlotSources CVelmorDlg::Sources() {
    return {*m_provider, m_surface, m_map, &g_mapProgress, CompareOverlayForViews()};
}

void CVelmorDlg::PaintPlotClient(QPainter& painter) {
    velmor::PaintPlotClient(painter, ClientLayout(), m_views);
}

void CVelmorDlg::ShowRepaintTexts(const RepaintResult& result) {
    if (result.showNoRay) {
        m_shading3d->ClearRay();
        SetRayStatusText(result.mediumStatus.isEmpty() ? QString::fromLatin1(kRayStatusNoRay)
                                                       : result.mediumStatus);
    }
    SetCursorReadout(result.cursorReadout);
    if (!result.errorSummary.empty()) m_interpreter->SetOutputBytes(result.errorSummary);
    // The view that has nothing to draw says why in its area; the status says it too.
    m_viewsPane->setText(result.nothingAnswered);
    m_viewsPane->setVisible(!result.nothingAnswered.isEmpty());
}

void CVelmorDlg::BuildMissingMap() {
    // The build can come due while another loop (a mesh build, an STL export, a model
    // loading) processes events under its progress window. Opening the map's progress window
    // would close that one under the running loop, so the build waits until it is closed; the
    // map stays missing meanwhile and the paints queue nothing more. Under another map's
    // window the build goes ahead as before: one map window replaces the other.
    CProgressDialog* open = CurrentProgressWindow();
    if ((open != nullptr && open != g_mapWindow) || Sampling()) {
        QTimer::singleShot(kMapBuildRetryMs, m_client, [this] { BuildMissingMap(); });
        return;
    }
    m_mapBuildQueued = false;
    if (m_map.Built()) return;
    RebuildMap();
    m_viewsStale = true;
    RedrawViews();  // already a pass of the event loop of its own
}

void CVelmorDlg::RebuildMap() {
    SamplingScope sampling(*this);
    m_map.Discard();
    m_map.Build(MakePlotState(m_state, *m_provider), m_surface, &g_mapProgress);
}

// ---------------------------------------------------------------------------------------
// Mouse

void CVelmorDlg::OnLeftButtonDown(QPoint point, Qt::KeyboardModifiers modifiers) {
    const ClickEffect effect =
        LeftClick(m_state, m_areas, point, modifiers & Qt::ShiftModifier, m_provider->Initial().ud,
                  m_provider->LastTraceSucceeded(), m_provider->LastRay()[2]);
    if (effect.rayChosen) AfterRayChoice();
    if (effect.repaint) Repaint();
}

void CVelmorDlg::OnRightButtonDown(QPoint point, Qt::KeyboardModifiers modifiers) {
    const ClickEffect effect = RightButtonDown(
        m_state, m_areas, point, modifiers & Qt::ShiftModifier, m_provider->Initial().ud);
    if (effect.rayChosen) AfterRayChoice();
    if (m_state.panState != PlotView::kNone) m_client->setCursor(Qt::ClosedHandCursor);
}

void CVelmorDlg::OnRightButtonUp() {
    m_state.panState = PlotView::kNone;
    m_client->unsetCursor();
}

void CVelmorDlg::OnMouseMove(QPoint point, Qt::MouseButtons buttons,
                             Qt::KeyboardModifiers modifiers) {
    // The world position under the mouse, named by the view's axes.
    QString text;
    if (const PlotView view = ViewAt(m_areas, point); view != PlotView::kNone) {
        const WorldPoint w = WorldAt(m_areas, m_state, view, point);
        const AxisNames axes = ViewAxisNames(view, m_state.gradientIndex);
        text = PairText(axes.across, w.u, axes.up, w.v);
    }
    m_positionPane->setText(text);

    const PanStep pan = PanTo(m_state, m_areas, point, buttons, modifiers);
    if (pan == PanStep::kNone) return;
    m_client->setCursor(Qt::ClosedHandCursor);
    if (pan == PanStep::kMoved) {
        ShowDisplayRanges();
        Repaint();
    }
}

}  // namespace velmor
