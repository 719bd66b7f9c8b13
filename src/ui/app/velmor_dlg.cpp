#include "ui/app/velmor_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cmath>

#include "core/host/library_host_settings.h"
#include "ui/app/compare_session.h"
#include "ui/app/escape_key_watch.h"
#include "ui/app/field_binding.h"
#include "ui/app/library_check_input.h"
#include "ui/app/library_session.h"
#include "ui/app/main_layout.h"
#include "ui/app/plot_client.h"
#include "ui/app/window_settings.h"
#include "ui/check/library_check_window.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/common/velmor_icon.h"
#include "ui/common/window_fit.h"
#include "ui/interp/dialog_interpreter.h"
#include "ui/surface/library_output.h"
#include "ui/surface/record_tables_dialog.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

namespace {
// The commands that start surface-library work or a long loop. While a long loop of any window
// runs they are disabled (and refused if asked for), so that no loop starts under another and
// takes its progress window away.
constexpr int kWorkCommands[] = {
    kCmdOpenDll,    kCmdReloadDll,    kCmdRunInProcess, kCmdUseInterpreter, kCmdSaveStlAscii,
    kCmdSaveStlBin, kCmdCheckLibrary, kIdUpdate2D,      kIdMake3DModel,     kCmdCompareWith};

bool StartsWork(int id) {
    return std::find(std::begin(kWorkCommands), std::end(kWorkCommands), id) !=
           std::end(kWorkCommands);
}

}  // namespace

// The main window's commands in menu order (the column's buttons and "Exit", which the control
// templates place and label, have no menu item), their toolbar buttons and what they do.
const CommandRow<CVelmorDlg> CVelmorDlg::kCommands[] = {
    {kCmdOpenDll, "File", "Open DLL ...", kItemPlain, 1, "DLL", [](CVelmorDlg& d) { d.OpenDll(); },
     nullptr, "Ctrl+O"},
    {kCmdReloadDll, "File", "Reload DLL", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ReloadDll(); }, nullptr, "Ctrl+R"},
    {kCmdCheckLibrary, "File", "Check Library ...", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.CheckLibrary(); }},
    {kCmdCompareWith, "File", "Compare With ...", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.CompareWith(); }},
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
    // Sessions: the source, the changed record rows and the fields (ui/app/session_commands.cpp).
    {kCmdLoadIni, "File", "Load INI ...", kItemSeparatorBefore, 0, nullptr,
     [](CVelmorDlg& d) { d.LoadIni(); }},
    {kCmdStoreIni, "File", "Store INI ...", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.StoreIni(); }},
    {kCmdRecentSession1, "File/Recent Sessions", "1", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.LoadRecentSession(0); }},
    {kCmdRecentSession1 + 1, "File/Recent Sessions", "2", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.LoadRecentSession(1); }},
    {kCmdRecentSession1 + 2, "File/Recent Sessions", "3", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.LoadRecentSession(2); }},
    {kCmdRecentSession1 + 3, "File/Recent Sessions", "4", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.LoadRecentSession(3); }},
    {kCmdReopenLastSession, "File", "Reopen Last Session at Start", kItemCheck, 0, nullptr,
     [](CVelmorDlg& d) { d.m_settings.WriteInt(kSectionSession, kKeyReopenLast, d.m_reopenLast); },
     &CVelmorDlg::m_reopenLast},
    {kCmdZoomUp, "View", "Zoom Up", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ZoomAt(d.PlanCentre(), 1); }, nullptr, "Ctrl++"},
    {kCmdZoomDown, "View", "Zoom Down", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ZoomAt(d.PlanCentre(), -1); }, nullptr, "Ctrl+-"},
    {kCmdResetZoom, "View", "Reset Zoom", kItemSeparatorBefore, 0, nullptr,
     [](CVelmorDlg& d) { d.ResetZoom(); }, nullptr, "Ctrl+0"},
    {kCmdResetPan, "View", "Reset Pan", kItemPlain, 0, nullptr,
     [](CVelmorDlg& d) { d.ResetPan(); }},
    {kCmdStopComparing, "View", "Stop Comparing", kItemSeparatorBefore, 0, nullptr,
     [](CVelmorDlg& d) { d.StopComparing(); }},
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

CVelmorDlg::CVelmorDlg(VelmorDlgOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_options(std::move(options)),
      m_settings(m_options.settingsPath),
      m_engine(std::make_unique<CScriptEngine>()),
      m_provider(std::make_unique<CSurfaceProvider>(*m_engine)),
      m_escapeWatch(std::make_unique<CEscapeKeyWatch>(m_engine->Escape())),
      m_surface(*m_provider, m_libraryWait),
      m_libraryWatch([this] { return LibraryReloadWaits(); }, [this] { ReloadChangedLibrary(); },
                     kMapBuildRetryMs) {
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
    m_libraryWait.SetWaitMs(m_provider->LibraryHost().limits.waitMs);

    // 2. Status bar and toolbar (the session commands' marks and lists from the settings).
    m_reopenLast = m_settings.GetInt(kSectionSession, kKeyReopenLast, 1) != 0;
    for (int i = 1; i <= kRecentSessionCount; ++i) {
        const std::string path =
            m_settings.GetString(kSectionRecent, "FILE" + std::to_string(i), std::string());
        if (!path.empty()) m_recentSessions << QString::fromStdString(path);
    }
    BuildStatusBar();
    BuildMenuAndToolbar();
    ShowRecentSessions();

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
    UpdateTitle();
    // The file of the command line, or the last session, once the window is up.
    QTimer::singleShot(0, this, [this] { OpenAtStart(); });
}

CVelmorDlg::~CVelmorDlg() {
    SetLongLoopListener(nullptr);
    // A reference library hands what it prints at its close to the output window: it goes
    // before that window does.
    m_compare.reset();
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
    m_dlg.m_libraryWait.EndPass();
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
    SetCommandEnabled(kCmdStopComparing, m_compare != nullptr);
    if (QWidget* box = Control(kIdUseInterpreter)) box->setEnabled(idle);
    if (m_udFdInitial) m_udFdInitial->SetLongLoopRunning(m_longLoop);
    if (m_shading3d) m_shading3d->SetLongLoopRunning(m_longLoop);
    if (m_interpreter) m_interpreter->SetLongLoopRunning(m_longLoop);
}

void CVelmorDlg::BuildStatusBar() {
    const MainStatusPanes panes = BuildMainStatusBar(statusBar(), this);
    m_positionPane = panes.position;
    m_libraryPane = panes.library;
    m_viewsPane = panes.views;
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
    m_shading3d->SetFailedAtZero(m_settings.GetInt(kSectionWindow3D, kKeyFailedAtZero, 0) != 0);
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

QString CVelmorDlg::ViewsStatusText() const {
    return m_viewsPane->text();
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
    // While comparing, the reference is compared again over what the views now show.
    if (m_compare != nullptr) {
        CheckReferenceFault();
        RunComparisonPass();
    }
}

void CVelmorDlg::TraceRay() {
    TraceOutcome outcome;
    {
        SamplingScope sampling(*this);
        outcome = TraceRayAndPath(*m_provider, m_state, Sources().progress);
    }
    ShowTrace(outcome);
}

void CVelmorDlg::ShowTrace(const TraceOutcome& outcome) {
    m_udFdFinal->ShowRecords(m_provider->Final(), m_provider->RecordVersion());
    m_shading3d->SetRay(outcome.ray3d, static_cast<RayDisplay>(outcome.rayState3d));
    // A gradient-index surface: the path through the medium and its status line.
    m_shading3d->SetMediumPath(m_provider->LastMediumPath());
    SetRayStatusText(
        QString::fromStdString(outcome.medium ? outcome.mediumStatus : outcome.statusText));
    m_shading3d->Repaint();
}

void CVelmorDlg::AfterRayChoice() {
    m_udFdInitial->ShowRecords(m_provider->Initial(), m_provider->RecordVersion());
    TraceRay();
    Repaint();
}

void CVelmorDlg::CheckLibrary() {
    if (RefusedWithoutCode()) return;
    m_udFdInitial->ReadTablesBack(*m_provider);
    ReadFields();
    const CheckRequest request =
        MakeCheckRequest(m_state, *m_provider, &m_libraryWait, m_libraryOutput.get());
    CheckReport report;
    {
        SamplingScope sampling(*this);
        ProgressWindowScope progress(this, QStringLiteral("Library Check ..."));
        report = RunLibraryCheck(request.input);
    }
    m_libraryCheck->ShowReport(report, request.subject);
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
    ShowInterpreterMode(on);

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

void CVelmorDlg::ShowInterpreterMode(bool on) {
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
    UpdateTitle();                      // the script adds no library name
}

void CVelmorDlg::OnPatternChanged(int index) {
    m_state.meshPattern = std::clamp(index, 0, 3);
    EnableFields(m_controls, m_state);
}

// ---------------------------------------------------------------------------------------
// Commands

void CVelmorDlg::OnCommand(int id) {
    if (RefusedWhileBusy(StartsWork(id))) return;
    CommandScope command(*this);
    RunCommandRow(*this, kCommands, id, m_menuItems);
}

void CVelmorDlg::ShowSecondaryWindow(QWidget* widget) {
    // A window that opens does so within the screen's available area.
    if (!widget->isVisible()) KeepInsideScreen(widget);
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
    m_settings.WriteInt(kSectionWindow3D, kKeyFailedAtZero, m_shading3d->FailedAtZero() ? 1 : 0);
    m_settings.WriteInt(kSectionSession, kKeyReopenLast, m_reopenLast ? 1 : 0);
    StoreLastSession();
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
