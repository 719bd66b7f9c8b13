#include "ui/plots/velmor_plot_views.h"

#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "core/surface/provider.h"
#include "ui/app/velmor_dlg.h"
#include "ui/common/progress_dialog.h"
#include "ui/interp/dialog_interpreter.h"
#include "ui/interp/source_text.h"
#include "ui/plots/ray_choice.h"
#include "ui/plots/repaint.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

namespace {

// How long a missing map's build waits before looking again whether another loop's progress
// window has closed (a timer of 0 would fire again inside that loop's event processing).
constexpr int kBuildRetryMs = 50;

// The progress window of the surface map being built, if any (null once it is closed).
QPointer<CProgressDialog> g_mapWindow;

PlotRange Range(const ValueRange& range) {
    return {range.min, range.max};
}

}  // namespace

PlotState MakePlotState(const VelmorState& s, CSurfaceProvider& provider) {
    PlotState state;
    state.displayX = Range(s.displayX);
    state.displayY = Range(s.displayY);
    state.displayZ = Range(s.displayZ);
    state.displayR = Range(s.displayR);
    state.displayN = Range(s.displayN);
    state.analysisX = Range(s.analysisX);
    state.analysisY = Range(s.analysisY);
    state.analysisZ = Range(s.analysisZ);
    state.stepX = s.step2dX;
    state.stepY = s.step2dY;
    state.stepZ = s.step2dZ;
    state.cursorX = s.cursorX;
    state.cursorY = s.cursorY;
    state.cursorZ = s.cursorZ;
    state.verbose = s.verbose != 0;
    state.cursor = s.cursor != 0;
    state.rayTrace = s.rayTrace != 0;
    state.fieldN1 = s.n1;
    state.fieldN2 = s.n2;
    SetPlotProviderState(state, provider);
    // The main window's flags are the ones in force (the box variant of "Use Interpreter"
    // clears the gradient-index flag, the menu variant leaves it).
    state.gradientIndex = s.gradientIndex != 0;
    state.interpreterMode = s.interpreterMode != 0;
    return state;
}

void CMapProgressWindow::Open(const char* title) {
    g_mapWindow = OpenProgressWindow(QString::fromLatin1(title));
}

void CMapProgressWindow::Close() {
    CloseProgressWindow();
}

CVelmorPlotViews::CVelmorPlotViews(CVelmorDlg& dlg) : m_dlg(dlg), m_surface(dlg.Provider()) {}

void CVelmorPlotViews::Paint(QPainter& painter, const PlotAreas& areas) {
    const PlotState state = MakePlotState(m_dlg.State(), m_dlg.Provider());
    const PlotSizes sizes{areas.plan.size(), areas.xz.size(), areas.yz.size(), areas.fourth.size()};
    // A missing map is built right after this paint, not inside it: its progress window
    // processes events, which must not reach a window in the middle of painting.
    const RepaintResult result =
        RepaintViews(state, m_surface, m_map, sizes, &m_progress, MissingMap::kLeave);
    PaintViews(painter, result, areas.plan, areas.xz, areas.yz, areas.fourth);

    if (result.showNoRay) {
        m_dlg.Shading3D().ClearRay();
        m_dlg.SetRayStatusText(QString::fromLatin1(kRayStatusNoRay));
    }
    m_dlg.SetCursorReadout(result.cursorReadout);
    if (!result.errorSummary.empty()) {
        m_dlg.Interpreter().SetOutputText(TextFromCp932(result.errorSummary));
    }
    if (result.mapMissing && !m_buildQueued) {
        m_buildQueued = true;
        QPointer<QWidget> client = m_dlg.PlotClient();
        QTimer::singleShot(0, client, [this] { BuildMissingMap(); });
    }
}

void CVelmorPlotViews::BuildMissingMap() {
    // The build can come due while another loop (a mesh build, an STL export, a model
    // loading) processes events under its progress window. Opening the map's progress window
    // would close that one under the running loop, so the build waits until it is closed; the
    // map stays missing meanwhile and Paint queues nothing more. Under another map's window
    // the build goes ahead as before: one map window replaces the other.
    CProgressDialog* open = CurrentProgressWindow();
    if (open != nullptr && open != g_mapWindow) {
        QPointer<QWidget> client = m_dlg.PlotClient();
        QTimer::singleShot(kBuildRetryMs, client, [this] { BuildMissingMap(); });
        return;
    }
    m_buildQueued = false;
    if (m_map.Built()) return;
    m_map.Discard();
    m_map.Build(MakePlotState(m_dlg.State(), m_dlg.Provider()), m_surface, &m_progress);
    m_dlg.Repaint();
}

void CVelmorPlotViews::DiscardMap() {
    m_map.Discard();
}

void CVelmorPlotViews::RebuildMap() {
    m_map.Discard();
    m_map.Build(MakePlotState(m_dlg.State(), m_dlg.Provider()), m_surface, &m_progress);
}

void CVelmorPlotViews::ChooseThroughPoint(double x, double y) {
    velmor::ChooseThroughPoint(m_dlg.Provider().Initial().ud, x, y);
}

void CVelmorPlotViews::ChooseDirection(double x, double y) {
    velmor::ChooseDirection(m_dlg.Provider().Initial().ud, x, y);
}

void CVelmorPlotViews::ChooseIncidentElevation(double r, double z) {
    CSurfaceProvider& provider = m_dlg.Provider();
    velmor::ChooseIncidentElevation(provider.Initial().ud, r, z, provider.LastTraceSucceeded(),
                                    provider.LastRay()[2]);
}

}  // namespace velmor
