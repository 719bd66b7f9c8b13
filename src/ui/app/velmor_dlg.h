// The main window: owns the analysis and view state, the surface provider, the script engine,
// the secondary windows and the surface map of the 2D views; holds the right-hand column of
// fields and buttons, the menu, the toolbar and the status bar; computes the four views' images
// (ui/plots/update_2d.h) whenever something they show changed and paints the plot areas from
// them, and handles pan, zoom and clicks in them; runs the commands, among them "Update 2D",
// "Make 3D Model", the STL exports and the surface library's "Open DLL ..." and "Reload DLL".
//
// The surface library runs in the helper process unless "Run library in-process" is checked:
// while one of its requests waits, the windows stay painted and "Waiting for the surface
// library ..." offers Cancel (ui/common/library_wait.h); a library fault is shown once the
// command that met it has returned, and the third status pane says so until a reload.
//
// The window's parts by job: velmor_dlg.cpp (start-up, the command table and its dispatch, the
// update flows, closing), main_layout (the controls and their layout), field_binding (the
// fields and the state), library_session.cpp (the surface library), library_check_input
// ("Check Library ..."), mesh_commands.cpp ("Make 3D Model", the STL exports), plot_client (the
// views, zoom, pan and clicks, whose arithmetic is ui/plots/view_navigation.h).
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/app/session_file.h"
#include "core/app/settings_file.h"
#include "core/check/library_check.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "ui/app/library_session.h"
#include "ui/app/main_layout.h"
#include "ui/app/plot_client.h"
#include "ui/app/velmor_state.h"
#include "ui/common/command_table.h"
#include "ui/common/library_wait.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/update_2d.h"

class QAction;
class QLabel;
class QLineEdit;

namespace velmor {

// Ids of the menu and toolbar commands; the command table (velmor_dlg.cpp) gives each its
// menu item, toolbar button and handler.
enum VelmorCommandId : int {
    kCmdOpenDll = 32772,
    kCmdShowUdFdInitial = 32775,
    kCmdShowUdFdFinal = 32776,
    kCmdAbout = 32783,
    kCmdLoadIni = 32784,
    kCmdStoreIni = 32785,
    kCmdShowShading3D = 32789,
    kCmdSaveStlAscii = 32813,
    kCmdSaveStlBin = 32815,
    kCmdShowInterpreter = 32817,
    kCmdUseInterpreter = 32828,
    kCmdZoomUp = 32833,
    kCmdZoomDown = 32834,
    kCmdResetZoom = 32835,
    kCmdResetPan = 32836,
    kCmdReloadDll = 32837,
    kCmdReloadOnChange = 32838,
    kCmdRunInProcess = 32839,
    kCmdShowLibraryOutput = 32840,
    kCmdCheckLibrary = 32841,
    kCmdCompareWith = 32842,
    kCmdStopComparing = 32843,
    // Sessions (ui/app/session_commands.cpp).
    kCmdReopenLastSession = 32860,
    kCmdRecentSession1 = 32861,  // .. kCmdRecentSession1 + kRecentSessionCount - 1
};

// The sessions File > "Recent Sessions" lists, kept in the settings file's [RECENT] section.
inline constexpr int kRecentSessionCount = 4;
inline constexpr const char* kSectionRecent = "RECENT";
// [SESSION] REOPEN_LAST: File > "Reopen Last Session at Start" (on by default).
inline constexpr const char* kKeyReopenLast = "REOPEN_LAST";

// Texts of the main window.
inline constexpr const char* kTextNoCode = "    -- intermediate code : none -- ... Abort !        ";
inline constexpr const char* kTextCloseQuestion = "  Close ? ";
inline constexpr const char* kTextEquivalent = "Equivalent Corvexa.dll";
// The third status pane after a library fault: "Library faulted: SIGSEGV in sag".
inline constexpr const char* kTextLibraryFaulted = "Library faulted: ";

struct VelmorDlgOptions {
    VelmorDlgOptions(std::string settings = {}) : settingsPath(std::move(settings)) {}

    std::string settingsPath;  // the settings file all window settings go to
    // Where the session is stored at a confirmed close and reopened from at start (when File >
    // "Reopen Last Session at Start" is checked); empty: no last session.
    std::string lastSessionPath;
    // A file named on the command line, opened once the window is up (instead of the last
    // session): a library, a session, a model or a script (OpenFile).
    QString startFile;
};

class CCompareSession;
class CDialog3D;
class CDialogInerpreter;
class CDialogUdFdFinal;
class CDialogUdFdInitial;
class CEscapeKeyWatch;
class CLibraryCheckWindow;
class CLibraryOutputWindow;
class CModel;
class CVelmorClient;
struct MeshSamples;
struct PlacedWindows;

class CVelmorDlg : public QMainWindow {
    Q_OBJECT
public:
    explicit CVelmorDlg(VelmorDlgOptions options, QWidget* parent = nullptr);
    ~CVelmorDlg() override;

    const VelmorState& State() const { return m_state; }
    CSurfaceProvider& Provider() { return *m_provider; }
    CScriptEngine& Engine() { return *m_engine; }

    CDialogUdFdInitial& UdFdInitial() { return *m_udFdInitial; }
    CDialogUdFdFinal& UdFdFinal() { return *m_udFdFinal; }
    CDialog3D& Shading3D() { return *m_shading3d; }
    CDialogInerpreter& Interpreter() { return *m_interpreter; }
    CLibraryOutputWindow& LibraryOutput() { return *m_libraryOutput; }
    CLibraryCheckWindow& LibraryCheck() { return *m_libraryCheck; }

    // The widget the views paint on; plot areas and mouse points are in its coordinates.
    QWidget* PlotClient() const;
    const PlotAreas& Areas() const { return m_areas; }
    // The surface map the plan view shows.
    const CSurfaceMap& Map() const { return m_map; }

    // The ray-trace status line and the two-line cursor read-out below the views, and the status
    // bar pane with the world position under the mouse.
    QString RayStatusText() const;
    QString CursorReadout() const;
    QString StatusPaneText() const;
    // The third status pane: kTextLibraryFaulted and the fault, LibraryLoadFailedText after a
    // load that failed, or empty.
    QString LibraryStatusText() const;
    // The status pane that says why a view has nothing to draw, or empty.
    QString ViewsStatusText() const;
    // While comparing with a reference: the status pane "compare: sag max ...", else empty.
    QString CompareStatusText() const;
    bool Comparing() const { return m_compare != nullptr; }

    // "Use Interpreter" by the check box (the menu item is a command).
    void UseInterpreterFromBox();
    // Shows a library check's example in the views: the ray (initial USER_DATA x y z l m n)
    // and the cursor at its point, the plan view moved to it when it lies outside, traced and
    // repainted. Refused (a beep) while the surface is sampled.
    void ShowCheckExample(const CheckExample& example);
    // Zoom about the point (plot client coordinates) with direction +1 (in) or -1 (out).
    void ZoomAt(QPoint point, int direction);
    // Writes the initial records into "UD FD Initial", traces and repaints (after a Shift
    // click changed the ray).
    void AfterRayChoice();

    // --- Sessions and files from outside (ui/app/session_commands.cpp).
    // Opens a file by its kind (core/app/file_kind.h), as a command-line argument or a second
    // start hands it over: a library as "Open DLL ..." opens it, a session as "Load INI ...",
    // a model in "Shading 3D", any other text as the Interpreter's source (not compiled, not
    // switched on). While the surface is sampled, a long loop runs or a dialog is open, it waits.
    void OpenFile(const QString& path);
    // Shows the main window in front (a second start without a file).
    void RaiseMainWindow();
    // The session file last stored or loaded; empty before either.
    QString SessionPath() const { return m_sessionPath; }
    // True once the start's file or last session was opened (or there was none to open).
    bool StartOpened() const { return m_startOpened; }
    // The sessions of File > "Recent Sessions", the last first.
    QStringList RecentSessions() const { return m_recentSessions; }

    // --- Controls by id.
    QWidget* Control(int id) const;
    QLineEdit* Field(int id) const;
    QAction* MenuAction(int id) const;
    QAction* ToolbarAction(int id) const;

signals:
    // Closing was confirmed and the settings are saved: the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class CVelmorClient;
    static const CommandRow<CVelmorDlg> kCommands[];

    // A user command: a library fault met on the way is shown once the outermost one returns.
    class CommandScope {
    public:
        explicit CommandScope(CVelmorDlg& dlg) : m_dlg(dlg) { ++dlg.m_commandDepth; }
        ~CommandScope();
        CommandScope(const CommandScope&) = delete;
        CommandScope& operator=(const CommandScope&) = delete;

    private:
        CVelmorDlg& m_dlg;
    };
    // Samples or calls the surface (a command of its own as well): repaints asked for meanwhile
    // (from events handled while the library is waited for) are done afterwards, and no other
    // command that would sample starts.
    class SamplingScope : CommandScope {
    public:
        explicit SamplingScope(CVelmorDlg& dlg) : CommandScope(dlg), m_dlg(dlg) {
            ++dlg.m_samplingDepth;
            dlg.m_libraryWait.BeginPass();  // a pass that runs long gets the waiting window
        }
        ~SamplingScope();

    private:
        CVelmorDlg& m_dlg;
    };
    // True while the surface is being sampled or a library request is under way.
    bool Sampling() const;
    // A command asked for meanwhile is refused (with a beep); so is one that starts library work
    // or a long loop (`startsWork`) while a long loop of any window runs.
    bool RefusedWhileBusy(bool startsWork);
    // A long loop (a progress window) began or ended: the commands that start work follow.
    void OnLongLoop(bool running);
    // Enables the commands by what allows them: interpreter mode ("Open DLL ..."), an opened
    // library ("Reload DLL") and, for every command that starts work in any window, no long
    // loop under way.
    void UpdateCommandStates();

    void BuildMenuAndToolbar();
    void BuildStatusBar();
    void BuildControls();
    void ApplyLayout();
    void CreateSecondaryWindows();
    // The main window and the four secondary windows, for the window settings.
    PlacedWindows Placed();

    // Runs a menu, toolbar or button command by its id.
    void OnCommand(int id);
    void SetCommandEnabled(int id, bool enabled);
    void ShowSecondaryWindow(QWidget* window);
    void ShowAbout();

    // --- Fields (ui/app/field_binding.h).
    void ReadFields();         // every edit field into the state
    void WriteFields();        // every edit field from the state, "%.3f"
    void ShowDisplayRanges();  // the display fields from the state, "%.3f"
    // The pattern list chose a mesh pattern: the "delta 3D" fields it uses are enabled.
    void OnPatternChanged(int index);

    // --- Update flows.
    bool RefusedWithoutCode();
    void Update2D();  // the common refresh ("Update 2D", "Update UD FD")
    void TraceRay();  // traces, then shows the trace
    // The final records, the 3D ray and the status line after a trace.
    void ShowTrace(const TraceOutcome& outcome);
    // "Check Library ...": the library check on the surface as the windows have it (the
    // tables and fields read first, the input from ui/app/library_check_input.h), under a
    // progress window, its results in "Library Check".
    void CheckLibrary();
    void ToggleInterpreter(bool fromBox);
    // Sets the gradient-index flag and what depends on it: display n fields enabled and
    // "Cursor" disabled while set.
    void SetGradientIndex(bool flag);

    // --- The surface library (ui/app/library_session.cpp).
    void OpenDll();    // "Open DLL ..."
    void ReloadDll();  // "Reload DLL"
    // What the windows do after a library load or reload: the message of a failed one, the
    // records and tables of a new record version, the ray traced again (final records, 3D ray,
    // status), the gradient-index flag, the map and the views.
    void ShowLoad(const LoadOutcome& outcome);
    // After any library call: the third status pane and the output window's title.
    void ShowLibraryState();
    // Once the outermost command has returned: the message of a library fault not shown yet.
    void AnnounceLibraryFault();
    // "Reload when the file changes": watch the loaded library's file and its directory, or
    // nothing when it is unchecked; from `loaded` (the file as the load found it) when given,
    // else from the file as it is now.
    void WatchLibraryFile(const LibraryFileStamp* loaded = nullptr);
    // A changed library file waits to be reloaded while the surface is sampled, a long loop
    // runs or a dialog is open.
    bool LibraryReloadWaits() const;
    void ReloadChangedLibrary();
    // "Run library in-process": the next load runs so, and a loaded library moves at once.
    void SetRunInProcess(bool on);

    // --- Comparing with a reference (ui/app/compare_session.cpp).
    // "Compare With ...": the reference chosen, given the tables and fields, compared under a
    // progress window; the views show the comparison until "Stop Comparing".
    void CompareWith();
    void StopComparing();
    // Compares again (after "Update 2D", a load or a reload changed what the views show); a
    // cancel, a refusal or a fault ends comparing.
    void RunComparisonPass();
    void EndComparing();
    // The views' overlay while comparing, else null; the reference's ray traced for it first.
    const CompareOverlay* CompareOverlayForViews();
    // After the views sampled the reference: a reference library that faulted ends comparing.
    void CheckReferenceFault();

    // --- Sessions (ui/app/session_commands.cpp).
    enum class SessionUse { kFile, kLastSession };
    void LoadIni();   // "Load INI ..."
    void StoreIni();  // "Store INI ..."
    void LoadRecentSession(int index);
    // Offers a script that no file holds as it stands for saving before a session is stored:
    // false when cancelled; *withScript false when the user chose to store without it.
    bool OfferScriptForSaving(bool* withScript);
    // The session of the windows as they are (the tables read back first; the fields as
    // "Update 2D" would read them), with the Interpreter's file when `withScript`.
    Session CurrentSession(bool withScript);
    // Loads a session file as "Load INI ..." does once the file is chosen. False when it was
    // refused or cancelled (nothing changed then).
    bool LoadSessionFile(const QString& path, SessionUse use);
    // After a close was confirmed: the session into the last-session file.
    void StoreLastSession();
    // Once the window is up: the file of the command line, or the last session.
    void OpenAtStart();
    void AddRecentSession(const QString& path);
    void ShowRecentSessions();
    // "Velmor", " - <library file name>" while a library answers, " - <session file name>".
    void UpdateTitle();
    // Interpreter mode on or off in every control that shows it (no repaint, no trace).
    void ShowInterpreterMode(bool on);
    // Loads a library file as "Open DLL ..." does once the file is chosen.
    void OpenLibraryFile(const QString& path);

    // --- Mesh commands (ui/app/mesh_commands.cpp).
    void Make3DModel();
    // "Save STL (ASCII) ..." and "Save STL (BIN) ...": a fresh mesh into the file chosen.
    void SaveStl(bool binary);
    // The surface mesh from the fields, the pattern and the working records, built under the
    // "Shading Model ..." progress window; enlarged "delta 3D" steps go back into the fields
    // and the user is told. Answers the builder's result (0, or -1 when the model is
    // unusable); *samples the samples taken and failed.
    int BuildMesh(CModel& model, MeshSamples* samples);
    // "Saved N triangles to <file>" in the status bar, with the failed samples' note.
    void ShowSavedStl(const QString& path, std::size_t triangles, const MeshSamples& samples,
                      bool failedAtZero);

    void SetRayStatusText(const QString& text);
    void SetCursorReadout(const QString& text);

    // --- The 2D views (ui/app/plot_client.cpp).
    // The views changed: their images are computed at the next pass of the event loop (so that
    // changes in a row cost one computation), then painted.
    void Repaint();
    void QueueRedraw(int delayMs);
    // Computes the four views' images from the state if they are stale and nothing samples the
    // surface, else tries again shortly.
    void RedrawViews();
    // Paints the plot client from the views' images (nothing is sampled in a paint).
    void PaintPlotClient(QPainter& painter);
    PlotClientLayout ClientLayout() const;
    PlotSources Sources();
    // What a repaint writes besides the views: the cursor read-out, the no-ray status of a
    // gradient-index surface and the script error summary.
    void ShowRepaintTexts(const RepaintResult& result);
    // Builds the map a paint found missing, once no other loop's progress window is open.
    void BuildMissingMap();
    void RebuildMap();
    void ResetZoom();
    void ResetPan();
    // The middle of the plan view, where "Zoom Up" and "Zoom Down" zoom about.
    QPoint PlanCentre() const;

    // --- Mouse, in plot client coordinates (the rules are ui/plots/view_navigation.h).
    void OnLeftButtonDown(QPoint point, Qt::KeyboardModifiers modifiers);
    void OnRightButtonDown(QPoint point, Qt::KeyboardModifiers modifiers);
    void OnRightButtonUp();
    void OnMouseMove(QPoint point, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

    VelmorDlgOptions m_options;
    SettingsFile m_settings;
    VelmorState m_state;
    std::unique_ptr<CScriptEngine> m_engine;
    std::unique_ptr<CSurfaceProvider> m_provider;
    std::unique_ptr<CEscapeKeyWatch> m_escapeWatch;

    CVelmorClient* m_client = nullptr;
    PlotAreas m_areas;
    CViewsSurface m_surface;  // the views' samples, which a cancelled pass stops
    CSurfaceMap m_map;
    bool m_mapBuildQueued = false;
    // The views' images and texts as last computed, what every paint shows.
    RepaintResult m_views;
    bool m_viewsStale = true;  // the state changed since they were computed
    QTimer m_redrawTimer;
    bool m_started = false;  // the constructor has set everything the views read

    int m_commandDepth = 0;
    int m_samplingDepth = 0;
    bool m_longLoop = false;    // a progress window is open
    bool m_faultShown = false;  // the provider's last fault has had its message
    CLibraryWaitWindow m_libraryWait;
    CLibraryFileWatch m_libraryWatch;  // "Reload when the file changes"
    LibraryFileStamp m_loadedStamp;    // the library file as the last load found it
    QString m_loadFailure;             // why the last load failed, while none is loaded

    MainControls m_controls;
    CommandActions m_menuItems;
    CommandActions m_toolbarButtons;
    QLabel* m_positionPane = nullptr;  // the world position under the mouse
    QLabel* m_libraryPane = nullptr;   // "Library faulted: ..."
    QLabel* m_viewsPane = nullptr;     // "no sample answered"

    std::unique_ptr<CDialogUdFdFinal> m_udFdFinal;
    std::unique_ptr<CDialogUdFdInitial> m_udFdInitial;
    std::unique_ptr<CDialog3D> m_shading3d;
    std::unique_ptr<CDialogInerpreter> m_interpreter;
    std::unique_ptr<CLibraryOutputWindow> m_libraryOutput;
    std::unique_ptr<CLibraryCheckWindow> m_libraryCheck;

    std::unique_ptr<CCompareSession> m_compare;  // while comparing with a reference
    QLabel* m_comparePane = nullptr;             // its status line, made at the first comparison

    QString m_sessionPath;         // the session last stored or loaded
    QStringList m_recentSessions;  // File > "Recent Sessions", the last first
    bool m_reopenLast = true;      // File > "Reopen Last Session at Start"
    bool m_startOpened = false;
};

}  // namespace velmor
