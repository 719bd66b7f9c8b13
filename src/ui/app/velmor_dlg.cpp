#include "ui/app/velmor_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/app/progress.h"
#include "core/host/library_host_settings.h"
#include "core/view3d/mesh_builder.h"
#include "core/view3d/model.h"
#include "core/view3d/stl_writer.h"
#include "ui/app/escape_key_watch.h"
#include "ui/app/field_binding.h"
#include "ui/app/field_text.h"
#include "ui/app/main_layout.h"
#include "ui/app/window_settings.h"
#include "ui/check/library_check_window.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/common/velmor_icon.h"
#include "ui/interp/dialog_interpreter.h"
#include "ui/plots/ray_choice.h"
#include "ui/surface/library_output.h"
#include "ui/surface/record_tables_dialog.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

namespace {
// The commands that start surface-library work or a long loop. While a long loop of any window
// runs they are disabled (and refused if asked for), so that no loop starts under another and
// takes its progress window away.
constexpr int kWorkCommands[] = {kCmdOpenDll,        kCmdReloadDll,    kCmdRunInProcess,
                                 kCmdUseInterpreter, kCmdSaveStlAscii, kCmdSaveStlBin,
                                 kCmdCheckLibrary,   kIdUpdate2D,      kIdMake3DModel};

bool StartsWork(int id) {
    return std::find(std::begin(kWorkCommands), std::end(kWorkCommands), id) !=
           std::end(kWorkCommands);
}

QString PairText(const char* a, double x, const char* b, double y) {
    return QStringLiteral("%1 = %2 , %3 = %4")
        .arg(QLatin1String(a), FormatDefault(x), QLatin1String(b), FormatDefault(y));
}

// How long a missing map's build waits before looking again whether another loop's progress
// window has closed (a timer of 0 would fire again inside that loop's event processing); the
// views' images and a changed library's reload wait as long for a sampling pass to end.
constexpr int kMapBuildRetryMs = 50;

// The message after a library fault: what happened, in which request, with which inputs.
QString FaultMessage(const LibraryFault& fault, bool whileLoading) {
    QString text =
        QStringLiteral("The surface library faulted: ") + QString::fromStdString(fault.Describe());
    if (!whileLoading)
        text += QStringLiteral("\nEvery call of it answers -1 until \"Reload DLL\".");
    return text;
}

// The library file's time written and size, or none when it is missing.
bool LibraryFileState(const std::string& path, std::filesystem::file_time_type* time,
                      std::uintmax_t* size) {
    std::error_code error;
    *time = std::filesystem::last_write_time(path, error);
    if (error) return false;
    *size = std::filesystem::file_size(path, error);
    return !error;
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

// The main window's commands in menu order (the column's buttons and "Exit", which the control
// templates place and label, have no menu item), their toolbar buttons and what they do.
const CommandRow<CVelmorDlg> CVelmorDlg::kCommands[] = {
    {kCmdOpenDll, "File", "Open DLL ...", kItemPlain, 1, "DLL", [](CVelmorDlg& d) { d.OpenDll(); }},
    {kCmdReloadDll, "File", "Reload DLL", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ReloadDll(); }, nullptr, "Ctrl+R"},
    {kCmdCheckLibrary, "File", "Check Library ...", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.CheckLibrary(); }},
    {kCmdReloadOnChange, "File", "Reload when the file changes", kItemCheck, 0, nullptr,
     [](CVelmorDlg& d) { d.WatchLibraryFile(); }},
    {kCmdRunInProcess, "File", "Run library in-process", kItemCheck, 0, nullptr,
     [](CVelmorDlg& d) { d.SetRunInProcess(d.MenuAction(kCmdRunInProcess)->isChecked()); }},
    {kCmdUseInterpreter, "File", "Use Interpreter", kItemCheck, 0, nullptr,
     [](CVelmorDlg& d) { d.ToggleInterpreter(false); }},
    {kCmdSaveStlAscii, "File", "Save STL (ASCII) ...", kItemSeparatorBefore, 0, nullptr,
     [](CVelmorDlg& d) { d.SaveStl(false); }},
    {kCmdSaveStlBin, "File", "Save STL (BIN) ...", kItemPlain, 2, "STL BIN",
     [](CVelmorDlg& d) { d.SaveStl(true); }},
    // Settings are read at start and written at a confirmed close only.
    {kCmdLoadIni, "File", "Load INI ...", kItemSeparatorBefore, 0, nullptr, nullptr},
    {kCmdStoreIni, "File", "Store INI ...", kItemPlain, 0, nullptr, nullptr},
    {kCmdZoomUp, "View", "Zoom Up", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ZoomAt(d.PlanCentre(), 1); }},
    {kCmdZoomDown, "View", "Zoom Down", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ZoomAt(d.PlanCentre(), -1); }},
    {kCmdResetZoom, "View", "Reset Zoom", kItemSeparatorBefore, 0, nullptr,
     [](CVelmorDlg& d) { d.ResetZoom(); }},
    {kCmdResetPan, "View", "Reset Pan", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ResetPan(); }},
    {kCmdShowUdFdInitial, "Window", "UD FD Initial", kItemPlain, 4, "Initial",
     [](CVelmorDlg& d) { d.ShowSecondaryWindow(d.m_udFdInitial.get()); }},
    {kCmdShowUdFdFinal, "Window", "UD FD Final", kItemPlain, 5, "Final",
     [](CVelmorDlg& d) { d.ShowSecondaryWindow(d.m_udFdFinal.get()); }},
    {kCmdShowShading3D, "Window", "Shading 3D", kItemPlain, 3, "3D",
     [](CVelmorDlg& d) { d.ShowSecondaryWindow(d.m_shading3d.get()); }},
    {kCmdShowInterpreter, "Window", "Interpreter", kItemPlain, 6, "Interpreter",
     [](CVelmorDlg& d) { d.ShowSecondaryWindow(d.m_interpreter.get()); }},
    {kCmdShowLibraryOutput, "Window", "Library Output", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ShowSecondaryWindow(d.m_libraryOutput.get()); }},
    {kCmdAbout, "Window", "About ...", kItemSeparatorBefore, 0, nullptr,
     [](CVelmorDlg& d) { d.ShowAbout(); }},
    {kIdUpdate2D, nullptr, nullptr, kItemPlain, 0, nullptr, [](CVelmorDlg& d) { d.Update2D(); }},
    {kIdMake3DModel, nullptr, nullptr, kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.Make3DModel(); }},
    {kIdResetZoom, nullptr, nullptr, kItemPlain, 0, nullptr, [](CVelmorDlg& d) { d.ResetZoom(); }},
    {kIdResetPan, nullptr, nullptr, kItemPlain, 0, nullptr, [](CVelmorDlg& d) { d.ResetPan(); }},
    {kIdExit, nullptr, nullptr, kItemPlain, 0, nullptr, [](CVelmorDlg& d) { d.close(); }},
};

// The client area: background, frame 1005 and the four views; the mouse and the wheel go to
// the main window.
class CVelmorClient : public QWidget {
public:
    explicit CVelmorClient(CVelmorDlg& dlg) : QWidget(&dlg), m_dlg(dlg) {
        setMouseTracking(true);
        setAutoFillBackground(false);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        m_dlg.PaintPlotClient(painter);
    }
    void resizeEvent(QResizeEvent*) override { m_dlg.ApplyLayout(); }
    void mousePressEvent(QMouseEvent* event) override {
        const QPoint point = event->position().toPoint();
        CVelmorDlg::CommandScope command(m_dlg);  // a ray choice traces again
        if (event->button() == Qt::LeftButton)
            m_dlg.OnLeftButtonDown(point, event->modifiers());
        else if (event->button() == Qt::RightButton)
            m_dlg.OnRightButtonDown(point, event->modifiers());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton) m_dlg.OnRightButtonUp();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        m_dlg.OnMouseMove(event->position().toPoint(), event->buttons(), event->modifiers());
    }
    void wheelEvent(QWheelEvent* event) override {
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

private:
    CVelmorDlg& m_dlg;
    int m_wheel = 0;
};

CVelmorDlg::CVelmorDlg(VelmorDlgOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_options(std::move(options)),
      m_settings(m_options.settingsPath),
      m_engine(std::make_unique<CScriptEngine>()),
      m_provider(std::make_unique<CSurfaceProvider>(*m_engine)),
      m_escapeWatch(std::make_unique<CEscapeKeyWatch>(m_engine->Escape())),
      m_surface(*m_provider) {
    setWindowTitle(QStringLiteral("Velmor"));
    // 1. Window icons. (The window manager's system menu cannot take the About item; the
    //    "Window" menu has it.)
    setWindowIcon(VelmorIcon());
    InstallProgressWindowReporter();
    // Long loops of the main window (map, mesh, export) put their progress window over it; while
    // a long loop of any window runs, the commands that would start another are disabled.
    SetProgressParent(this);
    SetLongLoopListener([this](bool running) { OnLongLoop(running); });
    // How the surface library runs ([LIBRARY_HOST]); while one of its requests waits, the
    // waiting window.
    m_provider->SetLibraryHost(ReadLibraryHostSettings(m_settings));
    m_provider->SetLibraryWaitHook(&m_libraryWait);

    // 2. Status bar and toolbar.
    BuildStatusBar();
    BuildMenuAndToolbar();

    // 3. Controls and their layout; "Use Interpreter" unchecked.
    m_client = new CVelmorClient(*this);
    setCentralWidget(m_client);
    BuildControls();
    setMinimumSize(kMainMinimumWidth, kMainMinimumHeight);
    resize(MainStartSize(menuBar()->sizeHint().height()));
    ApplyLayout();
    MenuAction(kCmdUseInterpreter)->setChecked(false);
    MenuAction(kCmdReloadOnChange)->setChecked(m_provider->LibraryHost().reloadOnChange);
    MenuAction(kCmdRunInProcess)->setChecked(m_provider->LibraryHost().inProcess);
    m_redrawTimer.setSingleShot(true);
    connect(&m_redrawTimer, &QTimer::timeout, this, [this] { RedrawViews(); });
    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setInterval(kReloadQuietMs);
    connect(&m_reloadTimer, &QTimer::timeout, this, [this] { ReloadChangedLibrary(); });
    connect(&m_libraryWatch, &QFileSystemWatcher::fileChanged, this,
            [this] { OnLibraryFileEvent(); });
    connect(&m_libraryWatch, &QFileSystemWatcher::directoryChanged, this,
            [this] { OnLibraryFileEvent(); });

    // 4. The three option boxes.
    for (int id : {kIdVerbose, kIdCursor, kIdRayTrace})
        static_cast<QCheckBox*>(Control(id))->setChecked(true);

    // 5. Gradient-index flag and the fields enabled: display x, y, z read-only, display n only
    //    for a gradient-index surface, n1 and n2 only in interpreter mode.
    SetGradientIndex(m_provider->QueryGradientIndex());

    // 6. Pattern 0, both "delta 3D" fields.
    static_cast<QComboBox*>(Control(kIdPattern))->setCurrentIndex(0);
    OnPatternChanged(0);

    // 7. Surface records, then the initial values of the state.
    m_provider->ResetSurfaceRecords();
    const bool gradientIndex = m_state.gradientIndex;
    m_state = VelmorState();
    m_state.gradientIndex = gradientIndex;

    // 8. The secondary windows, each an independent top-level window, shown.
    CreateSecondaryWindows();

    // 9. Placement and visibility of all windows.
    LoadWindowSettings(m_settings, Placed());
    ShowLibraryState();

    // 10. Record tables, fields, the ray, the views and the two texts.
    const int version = m_provider->RecordVersion();
    m_udFdInitial->RebuildFixedDataRows(version);
    m_udFdInitial->ShowRecords(m_provider->Initial(), version);
    m_udFdFinal->RebuildFixedDataRows(version);
    WriteFields();
    TraceRay();
    SetRayStatusText(QString::fromLatin1(kTextEquivalent));
    SetCursorReadout(QString());
    // The views' first images, with the map left to be built right after.
    m_started = true;
    RedrawViews();
}

CVelmorDlg::~CVelmorDlg() {
    SetLongLoopListener(nullptr);
    // Secondary windows first, then the library, then the surface map.
    m_provider->SetLibraryWaitHook(nullptr);
    m_provider->SetLibraryOutputSink(nullptr);
    m_udFdFinal.reset();
    m_udFdInitial.reset();
    m_shading3d.reset();
    m_interpreter.reset();
    m_libraryOutput.reset();
    m_libraryCheck.reset();
    m_provider->ReleaseSurfaceDll();
    m_map.Discard();
}

CVelmorDlg::CommandScope::~CommandScope() {
    if (--m_dlg.m_commandDepth == 0) m_dlg.AnnounceLibraryFault();
}

CVelmorDlg::SamplingScope::~SamplingScope() {
    // Views that had to wait for this pass are computed right after it.
    if (--m_dlg.m_samplingDepth == 0 && m_dlg.m_viewsStale) m_dlg.QueueRedraw(0);
}

bool CVelmorDlg::Sampling() const {
    return m_samplingDepth > 0 || m_provider->LibraryBusy();
}

bool CVelmorDlg::RefusedWhileBusy(bool startsWork) {
    // A command that comes while the surface is sampled (from another window, its events
    // handled meanwhile) would sample in the middle of that pass; one that starts work during a
    // long loop would start a loop of its own under it. Such commands are disabled meanwhile,
    // so this only catches what comes another way.
    if (!Sampling() && !(startsWork && m_longLoop)) return false;
    QApplication::beep();
    return true;
}

void CVelmorDlg::OnLongLoop(bool running) {
    m_longLoop = running;
    UpdateCommandStates();
}

void CVelmorDlg::UpdateCommandStates() {
    const bool idle = !m_longLoop;
    for (int id : kWorkCommands) {
        bool enabled = idle;
        if (id == kCmdOpenDll) enabled = enabled && !m_state.interpreterMode;
        if (id == kCmdReloadDll) enabled = enabled && !m_provider->LibraryPath().empty();
        SetCommandEnabled(id, enabled);
    }
    if (QWidget* box = Control(kIdUseInterpreter)) box->setEnabled(idle);
    if (m_udFdInitial) m_udFdInitial->SetLongLoopRunning(m_longLoop);
    if (m_shading3d) m_shading3d->SetLongLoopRunning(m_longLoop);
    if (m_interpreter) m_interpreter->SetLongLoopRunning(m_longLoop);
}

void CVelmorDlg::BuildStatusBar() {
    const MainStatusPanes panes = BuildMainStatusBar(statusBar(), this);
    m_positionPane = panes.position;
    m_libraryPane = panes.library;
}

void CVelmorDlg::BuildMenuAndToolbar() {
    const CommandTrigger trigger = [this](int id) { OnCommand(id); };
    m_menuItems = BuildCommandMenus(menuBar(), *this, kCommands, trigger);
    // Buttons with texts, no separators, across the top.
    QToolBar* toolbar = addToolBar(QStringLiteral("toolbar"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_toolbarButtons = BuildCommandToolbar(toolbar, *this, kCommands, trigger);
}

void CVelmorDlg::BuildControls() {
    m_controls = BuildMainControls(m_client, [this](int id) { OnCommand(id); });
    auto boxToFlag = [this](int id, bool VelmorState::*flag) {
        auto* box = static_cast<QCheckBox*>(Control(id));
        connect(box, &QCheckBox::toggled, this, [this, flag](bool on) {
            m_state.*flag = on;
            Repaint();
        });
    };
    boxToFlag(kIdVerbose, &VelmorState::verbose);
    boxToFlag(kIdCursor, &VelmorState::cursor);
    boxToFlag(kIdRayTrace, &VelmorState::rayTrace);
    connect(static_cast<QCheckBox*>(Control(kIdUseInterpreter)), &QCheckBox::clicked, this, [this] {
        if (RefusedWhileBusy(true)) return;
        CommandScope command(*this);
        UseInterpreterFromBox();
    });
    connect(static_cast<QComboBox*>(Control(kIdPattern)), &QComboBox::currentIndexChanged, this,
            [this](int index) { OnPatternChanged(index); });
}

void CVelmorDlg::ApplyLayout() {
    if (!m_client) return;
    m_areas = ComputePlotAreas(LayOutMainControls(m_controls, m_client->size()));
    Repaint();
}

PlacedWindows CVelmorDlg::Placed() {
    PlacedWindows placed;
    placed.main = {this, [this] { ApplyLayout(); }};
    placed.interpreter = {m_interpreter.get(), [this] { m_interpreter->ApplyLayout(); }};
    placed.shading3d = {m_shading3d.get(), {}};
    placed.udFdInitial = {m_udFdInitial.get(), [this] { m_udFdInitial->ApplyLayout(); }};
    placed.udFdFinal = {m_udFdFinal.get(), [this] { m_udFdFinal->ApplyLayout(); }};
    placed.libraryOutput = {m_libraryOutput.get(), {}};
    return placed;
}

void CVelmorDlg::CreateSecondaryWindows() {
    m_udFdFinal = std::make_unique<CDialogUdFdFinal>(m_settings);
    m_udFdFinal->show();
    m_udFdInitial = std::make_unique<CDialogUdFdInitial>(m_settings);
    // "Call DLL" reads the range boxes first; "Update UD FD" is the main window's "Update 2D".
    connect(m_udFdInitial.get(), &CDialogUdFdInitial::callDllRequested, this, [this] {
        if (RefusedWhileBusy(true)) return;
        SamplingScope sampling(*this);
        ReadFields();
        m_udFdInitial->CallDll(*m_provider, *m_udFdFinal);
    });
    connect(m_udFdInitial.get(), &CDialogUdFdInitial::updateRequested, this, [this] {
        if (RefusedWhileBusy(true)) return;
        CommandScope command(*this);
        Update2D();
    });
    m_udFdInitial->show();
    m_shading3d = std::make_unique<CDialog3D>();
    m_shading3d->show();
    m_interpreter = std::make_unique<CDialogInerpreter>(*m_engine);
    m_interpreter->show();
    // Not shown at first: the Window menu opens it.
    m_libraryOutput = std::make_unique<CLibraryOutputWindow>();
    m_provider->SetLibraryOutputSink(m_libraryOutput.get());
    // Shown by "Check Library ...".
    m_libraryCheck = std::make_unique<CLibraryCheckWindow>();
    connect(m_libraryCheck.get(), &CLibraryCheckWindow::exampleChosen, this,
            [this](const CheckExample& example) { ShowCheckExample(example); });
    connect(m_libraryCheck.get(), &CLibraryCheckWindow::checkAgainRequested, this,
            [this] { OnCommand(kCmdCheckLibrary); });
}

void CVelmorDlg::SetRayStatusText(const QString& text) {
    static_cast<QLabel*>(Control(kIdRayStatus))->setText(text);
}

void CVelmorDlg::SetCursorReadout(const QString& text) {
    static_cast<QLabel*>(Control(kIdCursorReadout))->setText(text);
}

QString CVelmorDlg::RayStatusText() const {
    return static_cast<QLabel*>(Control(kIdRayStatus))->text();
}

QString CVelmorDlg::CursorReadout() const {
    return static_cast<QLabel*>(Control(kIdCursorReadout))->text();
}

QString CVelmorDlg::StatusPaneText() const {
    return m_positionPane->text();
}

QString CVelmorDlg::LibraryStatusText() const {
    return m_libraryPane->text();
}

QWidget* CVelmorDlg::Control(int id) const {
    const auto it = m_controls.byId.find(id);
    return it == m_controls.byId.end() ? nullptr : it->second;
}

QLineEdit* CVelmorDlg::Field(int id) const {
    return qobject_cast<QLineEdit*>(Control(id));
}

QAction* CVelmorDlg::MenuAction(int id) const {
    const auto it = m_menuItems.find(id);
    return it == m_menuItems.end() ? nullptr : it->second;
}

QAction* CVelmorDlg::ToolbarAction(int id) const {
    const auto it = m_toolbarButtons.find(id);
    return it == m_toolbarButtons.end() ? nullptr : it->second;
}

void CVelmorDlg::SetCommandEnabled(int id, bool enabled) {
    for (QAction* action : {MenuAction(id), ToolbarAction(id)})
        if (action != nullptr) action->setEnabled(enabled);
    if (QWidget* button = Control(id)) button->setEnabled(enabled);  // "Update 2D", ...
}

// ---------------------------------------------------------------------------------------
// Fields

void CVelmorDlg::ReadFields() {
    velmor::ReadFields(m_controls, m_state);
}

void CVelmorDlg::WriteFields() {
    velmor::WriteFields(m_controls, m_state);
}

void CVelmorDlg::ShowDisplayRanges() {
    velmor::ShowDisplayRanges(m_controls, m_state);
}

// ---------------------------------------------------------------------------------------
// Update flows

bool CVelmorDlg::RefusedWithoutCode() {
    if (!m_state.interpreterMode || m_engine->InstructionCount() > 0) return false;
    ShowMessage(this, QString::fromLatin1(kTextNoCode), MessageIcon::Stop);
    return true;
}

void CVelmorDlg::Update2D() {
    if (RefusedWithoutCode()) return;
    m_udFdInitial->ReadTablesBack(*m_provider);
    ReadFields();
    // The "Update 2D" velmor-cli views runs too; the next paint shows its images.
    Update2DResult result;
    {
        SamplingScope sampling(*this);
        result = RunUpdate2D(m_areas, m_state, Sources());
    }
    ShowTrace(result.trace);
    m_udFdInitial->ResetDllReturn();
    m_views = std::move(result.views);
    m_viewsStale = false;
    ShowRepaintTexts(m_views);
    m_client->update();
}

void CVelmorDlg::Make3DModel() {
    if (RefusedWithoutCode()) return;
    ReadFields();
    m_udFdInitial->ReadTablesBack(*m_provider);
    auto model = std::make_unique<CModel>();
    if (BuildMesh(*model) != 0) return;  // the 3D window keeps its model
    m_shading3d->SetModel(*model, true);
}

int CVelmorDlg::BuildMesh(CModel& model) {
    const VelmorState& s = m_state;
    MeshParams params{s.analysisX.min, s.analysisX.max, s.analysisY.min, s.analysisY.max,
                      s.step3dX,       s.step3dY,       s.meshPattern};
    // Too many planned triangles: the enlarged steps go into their boxes and the user is told
    // before the build, which then uses them.
    if (FitMeshStepsToBudget(params)) {
        m_state.step3dX = params.dx;
        m_state.step3dY = params.dy;
        Field(kIdStep3DX)->setText(FormatField(params.dx));
        Field(kIdStep3DY)->setText(FormatField(params.dy));
        ShowMessage(this, QString::fromLatin1(kMeshStepsEnlargedMessage), MessageIcon::Information);
    }
    SamplingScope sampling(*this);
    ProgressWindowScope progress(this, QStringLiteral("Shading Model ..."));
    m_engine->BeginEscapePass();
    return BuildMeshWithSteps(params, m_provider->SurfaceSampler(), model);
}

void CVelmorDlg::SaveStl(bool binary) {
    // Without code in interpreter mode every sample fails: the file would hold a plane of failed
    // samples at z = 0, not the surface. The tables are not read back: like "Make 3D Model", the
    // mesh samples the records as the last repaint left them (what the views show), so reading
    // them here would only change the records behind the views' back.
    if (RefusedWithoutCode()) return;
    ReadFields();
    auto model = std::make_unique<CModel>();
    if (BuildMesh(*model) != 0) return;

    FileDialogRequest request;
    request.title = binary ? QStringLiteral("Save User Defined Surface STL (BIN)")
                           : QStringLiteral("Save User Defined Surface STL (ASCII)");
    request.filter = binary ? QStringLiteral("STL Files (*.stl)|*.stl||")
                            : QStringLiteral("STL Files (*.stl)|*.stl|TEXT Files (*.txt)|*.txt||");
    request.defaultExtension = QStringLiteral("stl");
    request.defaultName = QStringLiteral("Kestrum.stl");
    const std::optional<QString> path = SaveFileNameAskingToCreate(this, request);
    if (!path || path->isEmpty()) return;

    const std::string localPath = QFile::encodeName(*path).toStdString();
    std::string message;
    int result = kStlWritten;
    {
        ProgressWindowScope progress(this, QStringLiteral("Save STL ..."));
        result = binary ? WriteStlBinary(localPath, *model, &message)
                        : WriteStlAscii(localPath, *model, &message);
    }
    // A file that could not be created or written: the system's reason, nothing else changes.
    if (result == kStlWriteFailed)
        ShowMessage(this, QString::fromLocal8Bit(message.c_str()), MessageIcon::Warning);
}

void CVelmorDlg::TraceRay() {
    TraceOutcome outcome;
    {
        SamplingScope sampling(*this);
        outcome = m_provider->TraceRay(TraceSettingsOf(m_state));
    }
    ShowTrace(outcome);
}

void CVelmorDlg::ShowTrace(const TraceOutcome& outcome) {
    m_udFdFinal->ShowRecords(m_provider->Final(), m_provider->RecordVersion());
    m_shading3d->SetRay(outcome.ray3d, static_cast<RayDisplay>(outcome.rayState3d));
    SetRayStatusText(QString::fromStdString(outcome.statusText));
    m_shading3d->Repaint();
}

void CVelmorDlg::AfterRayChoice() {
    m_udFdInitial->ShowRecords(m_provider->Initial(), m_provider->RecordVersion());
    TraceRay();
    Repaint();
}

void CVelmorDlg::OpenDll() {
    FileDialogRequest request;
    request.title = QStringLiteral("Open User Defined Surface DLL");
    request.filter = QStringLiteral(
        "Shared Libraries (*.so)|*.so|DLL Files (*.dll)|*.dll|All Files (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("so");
    const std::optional<QString> path = Messages().OpenFileName(this, request);
    if (!path) return;

    LoadOutcome outcome;
    {
        SamplingScope sampling(*this);
        m_faultShown = false;
        outcome = m_provider->OpenSurfaceDll(QFile::encodeName(*path).toStdString());
    }
    ShowLoad(outcome);
}

void CVelmorDlg::CheckLibrary() {
    if (RefusedWithoutCode()) return;
    m_udFdInitial->ReadTablesBack(*m_provider);
    ReadFields();
    const VelmorState& s = m_state;
    const LibraryHostSettings& host = m_provider->LibraryHost();
    CheckInput input;
    QString subject;
    if (s.interpreterMode) {
        input.source = CheckSource::kScript;
        subject = QStringLiteral("The script (interpreter mode)");
    } else if (m_provider->LibraryLoaded()) {
        input.source = CheckSource::kLibrary;
        input.libraryPath = m_provider->LibraryPath();
        subject = QFileInfo(QFile::decodeName(input.libraryPath.c_str())).fileName();
    } else {
        input.source = CheckSource::kBuiltIn;
        subject = QStringLiteral("The built-in surface \"Even Array\"");
    }
    input.helperPath = host.helperPath;
    input.wine = host.wine;
    input.limits = host.limits;
    input.waitHook = &m_libraryWait;
    input.outputSink = m_libraryOutput.get();
    input.engine = m_engine.get();
    input.initial = &m_provider->Initial();
    input.recordVersion = m_provider->RecordVersion();
    input.xmin = s.analysisX.min;
    input.xmax = s.analysisX.max;
    input.ymin = s.analysisY.min;
    input.ymax = s.analysisY.max;
    input.progress = [](int done, int total, const std::string&) {
        return ReportProgress(done, total);
    };
    auto number = [](double value) { return QString::fromStdString(ShortestNumberText(value)); };
    subject +=
        QStringLiteral(" over x %1 .. %2, y %3 .. %4")
            .arg(number(input.xmin), number(input.xmax), number(input.ymin), number(input.ymax));
    CheckReport report;
    {
        SamplingScope sampling(*this);
        ProgressWindowScope progress(this, QStringLiteral("Library Check ..."));
        report = RunLibraryCheck(input);
    }
    m_libraryCheck->ShowReport(report, subject);
    ShowSecondaryWindow(m_libraryCheck.get());
}

void CVelmorDlg::ShowCheckExample(const CheckExample& example) {
    if (RefusedWhileBusy(false)) return;
    for (double value : {example.x, example.y, example.z, example.l, example.m, example.n}) {
        if (!std::isfinite(value)) {
            QApplication::beep();
            return;
        }
    }
    CommandScope command(*this);
    USER_DATA& ud = m_provider->Initial().ud;
    ud.x = example.x;
    ud.y = example.y;
    ud.z = example.z;
    ud.l = example.l;
    ud.m = example.m;
    ud.n = example.n;
    VelmorState& s = m_state;
    s.cursorX = example.x;
    s.cursorY = example.y;
    s.cursorZ = example.z;
    // The plan view moves (its width kept) so that the point lies in it.
    BringIntoView(s.displayX, example.x);
    BringIntoView(s.displayY, example.y);
    ShowDisplayRanges();
    AfterRayChoice();
}

void CVelmorDlg::ReloadDll() {
    if (m_provider->LibraryPath().empty()) return;  // nothing was opened yet
    // The tables as the user edited them are the records a reload keeps.
    m_udFdInitial->ReadTablesBack(*m_provider);
    LoadOutcome outcome;
    {
        SamplingScope sampling(*this);
        m_faultShown = false;
        outcome = m_provider->ReloadSurfaceDll();
    }
    ShowLoad(outcome);
}

void CVelmorDlg::ShowLoad(const LoadOutcome& outcome) {
    if (!outcome.loaded) {
        // A fault while loading says what happened instead of the file question.
        if (outcome.fault) {
            m_faultShown = true;
            ShowMessage(this, FaultMessage(*outcome.fault, true), MessageIcon::Warning);
        } else if (!outcome.message.empty()) {
            ShowMessage(this, QString::fromStdString(outcome.message), MessageIcon::Stop);
        } else {
            ShowMessage(this, QString::fromLatin1(kSurfaceDllErrorText), MessageIcon::Question);
        }
    }
    ShowLibraryState();
    WatchLibraryFile();
    // A failed load that dropped an earlier library also changed the records (the built-in
    // surface answers again), so the windows follow them as after a successful load. A reload
    // that kept the records goes the same way without their new rows.
    if (!outcome.recordsChanged && !outcome.recordsKept) return;
    if (outcome.recordsChanged) {
        // Titles and rows for the record version, the new initial records in the table.
        const int version = outcome.recordVersion;
        m_udFdInitial->RebuildFixedDataRows(version);
        m_udFdFinal->RebuildFixedDataRows(version);
        m_udFdInitial->ShowRecords(m_provider->Initial(), version);
    }
    // The ray traced through the surface as it now is: the final records, the 3D ray and the
    // status line show it at once, as the views do.
    TraceRay();
    // Gradient-index flag and what it enables (such a surface shows no ray).
    if (outcome.gradientIndex) m_shading3d->ClearRay();
    SetGradientIndex(outcome.gradientIndex);
    if (outcome.recordsChanged) {
        // A new model, a new map, zoom and pan reset.
        m_shading3d->ClearModelAndResetView();
        RebuildMap();
        ResetZoom();
        ResetPan();
    } else {
        // The same records for the rebuilt library: its answers to them, from a new map.
        RebuildMap();
        Repaint();
    }
}

void CVelmorDlg::ShowLibraryState() {
    const LibraryFault* fault = m_provider->LastLibraryFault();
    const QString text =
        fault ? QString::fromLatin1(kTextLibraryFaulted) + QString::fromStdString(fault->Short())
              : QString();
    m_libraryPane->setText(text);
    m_libraryPane->setVisible(!text.isEmpty());
    m_libraryOutput->SetHelperPid(m_provider->LibraryHelperPid());
    UpdateCommandStates();  // "Reload DLL" once a library was opened
}

void CVelmorDlg::AnnounceLibraryFault() {
    const LibraryFault* fault = m_provider->LastLibraryFault();
    if (fault == nullptr || m_faultShown || !m_provider->LibraryFaulted()) return;
    m_faultShown = true;
    ShowLibraryState();
    ShowMessage(this, FaultMessage(*fault, false), MessageIcon::Warning);
}

void CVelmorDlg::WatchLibraryFile() {
    const QStringList watched = m_libraryWatch.files() + m_libraryWatch.directories();
    if (!watched.isEmpty()) m_libraryWatch.removePaths(watched);
    m_reloadTimer.stop();
    const std::string& path = m_provider->LibraryPath();
    if (path.empty() || !MenuAction(kCmdReloadOnChange)->isChecked()) return;
    m_libraryFileTime = {};
    m_libraryFileSize = 0;
    LibraryFileState(path, &m_libraryFileTime, &m_libraryFileSize);
    // A rebuild replaces the file (a new one under the old name), which ends a watch on the
    // file itself: the directory is watched too.
    const QString file = QFile::decodeName(path.c_str());
    const QString directory = QFileInfo(file).absolutePath();
    m_libraryWatch.addPath(directory);
    if (QFileInfo::exists(file)) m_libraryWatch.addPath(file);
}

void CVelmorDlg::OnLibraryFileEvent() {
    const std::string& path = m_provider->LibraryPath();
    std::filesystem::file_time_type time;
    std::uintmax_t size = 0;
    if (path.empty() || !LibraryFileState(path, &time, &size)) return;  // gone for now
    const QString file = QFile::decodeName(path.c_str());
    if (!m_libraryWatch.files().contains(file)) m_libraryWatch.addPath(file);
    // Every change starts the quiet time again: a file still being written waits.
    if (time != m_libraryFileTime || size != m_libraryFileSize || m_reloadTimer.isActive())
        m_reloadTimer.start(kReloadQuietMs);
}

void CVelmorDlg::ReloadChangedLibrary() {
    if (Sampling() || CurrentProgressWindow() != nullptr ||
        QApplication::activeModalWidget() != nullptr) {
        m_reloadTimer.start(kMapBuildRetryMs);  // after the pass, loop or dialog under way
        return;
    }
    std::filesystem::file_time_type time;
    std::uintmax_t size = 0;
    const std::string& path = m_provider->LibraryPath();
    if (path.empty() || !LibraryFileState(path, &time, &size)) return;
    if (time == m_libraryFileTime && size == m_libraryFileSize) return;
    CommandScope command(*this);
    ReloadDll();
}

void CVelmorDlg::SetRunInProcess(bool on) {
    LibraryHostSettings settings = m_provider->LibraryHost();
    settings.inProcess = on;
    m_provider->SetLibraryHost(settings);
    // The loaded library moves at once.
    if (m_provider->LibraryLoaded()) ReloadDll();
}

void CVelmorDlg::SetGradientIndex(bool flag) {
    m_state.gradientIndex = flag;
    m_provider->SetGradientIndex(flag);
    EnableFields(m_controls, m_state);
    Control(kIdCursor)->setEnabled(!flag);
}

void CVelmorDlg::UseInterpreterFromBox() {
    ToggleInterpreter(true);
}

void CVelmorDlg::ToggleInterpreter(bool fromBox) {
    bool on = !m_state.interpreterMode;
    bool refused = false;
    if (on && m_engine->InstructionCount() <= 0) {
        ShowMessage(this, QString::fromLatin1(kTextNoCode), MessageIcon::Stop);
        on = false;
        refused = true;
    }
    m_state.interpreterMode = on;
    m_provider->SetInterpreterMode(on);

    MenuAction(kCmdUseInterpreter)->setChecked(on);
    auto* box = static_cast<QCheckBox*>(Control(kIdUseInterpreter));
    const bool blocked = box->blockSignals(true);
    box->setChecked(on);
    box->blockSignals(blocked);
    UpdateCommandStates();  // "Open DLL ..." disabled while on
    m_udFdInitial->SetInterpreterMode(on);
    m_udFdFinal->SetInterpreterMode(on);
    EnableFields(m_controls, m_state);  // n1 and n2 while on

    // Only the box recomputes the gradient-index flag; the menu command leaves it.
    if (fromBox) {
        bool flag = false;
        if (!on) {
            SamplingScope sampling(*this);
            flag = m_provider->QueryGradientIndex();
        }
        if (flag) m_shading3d->ClearRay();
        SetGradientIndex(flag);
    }
    if (refused) return;
    Update2D();
    if (fromBox) TraceRay();
}

void CVelmorDlg::OnPatternChanged(int index) {
    m_state.meshPattern = std::clamp(index, 0, 3);
    EnableFields(m_controls, m_state);
}

// ---------------------------------------------------------------------------------------
// Zoom and pan

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
                               &g_mapProgress, MissingMap::kLeave);
    }
    ShowRepaintTexts(m_views);
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
    return {*m_provider, m_surface, m_map, &g_mapProgress};
}

void CVelmorDlg::PaintPlotClient(QPainter& painter) {
    velmor::PaintPlotClient(painter, ClientLayout(), m_views);
}

void CVelmorDlg::ShowRepaintTexts(const RepaintResult& result) {
    if (result.showNoRay) {
        m_shading3d->ClearRay();
        SetRayStatusText(QString::fromLatin1(kRayStatusNoRay));
    }
    SetCursorReadout(result.cursorReadout);
    if (!result.errorSummary.empty()) m_interpreter->SetOutputBytes(result.errorSummary);
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

// ---------------------------------------------------------------------------------------
// Commands

void CVelmorDlg::OnCommand(int id) {
    if (RefusedWhileBusy(StartsWork(id))) return;
    CommandScope command(*this);
    RunCommandRow(*this, kCommands, id, m_menuItems);
}

void CVelmorDlg::ShowSecondaryWindow(QWidget* widget) {
    if (widget->isMinimized())
        widget->showNormal();
    else
        widget->show();
    widget->raise();
    widget->activateWindow();
}

void CVelmorDlg::ShowAbout() {
    ShowMessage(this, QStringLiteral("Velmor Version 1.0"), MessageIcon::Information);
}

// ---------------------------------------------------------------------------------------
// Closing

void CVelmorDlg::closeEvent(QCloseEvent* event) {
    // While a long loop runs (its progress window open, this window disabled) or the surface
    // is sampled, the close box does nothing: ending the program under the loop would leave it
    // running on a window that is gone. The user cancels the loop first.
    if (CurrentProgressWindow() != nullptr || Sampling()) {
        event->ignore();
        return;
    }
    if (ShowMessage(this, QString::fromLatin1(kTextCloseQuestion), MessageIcon::Question,
                    MessageButtons::OkCancel) != MessageAnswer::Ok) {
        event->ignore();
        return;
    }
    // The script text would go with the program: a changed one is offered for saving first.
    if (!m_interpreter->ConfirmDiscardUnsavedSource()) {
        event->ignore();
        return;
    }
    const PlacedWindows placed = Placed();
    SaveWindowSettings(m_settings, placed);
    m_settings.WriteInt(kSectionLibraryHost, kKeyReloadOnChange,
                        MenuAction(kCmdReloadOnChange)->isChecked() ? 1 : 0);
    m_settings.WriteInt(kSectionLibraryHost, kKeyInProcess,
                        MenuAction(kCmdRunInProcess)->isChecked() ? 1 : 0);
    event->accept();
    for (const PlacedWindow* window : {&placed.udFdFinal, &placed.udFdInitial, &placed.shading3d,
                                       &placed.interpreter, &placed.libraryOutput})
        window->widget->hide();
    m_libraryCheck->hide();
    emit Closed();
}

void CVelmorDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            close();
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Enter does not end the program: it would lose the unsaved script text.
            event->accept();
            return;
        default:
            break;
    }
    QMainWindow::keyPressEvent(event);
}

}  // namespace velmor
