// The main window: owns the analysis and view state, the surface provider, the script engine
// and the four secondary windows; holds the right-hand column of fields and buttons, the menu,
// the toolbar and the status bar; handles pan, zoom and clicks in the four plot areas, which
// the 2D views paint; runs the mesh commands ("Make 3D Model", "Save STL").
#pragma once

#include <QMainWindow>
#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/app/settings_file.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "ui/app/plot_views.h"
#include "ui/app/velmor_state.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace velmor {

// Control ids of the main window (labels without an id have none here either).
enum VelmorControlId : int {
    kIdExit = 2,
    kIdPlotPlan = 1000,
    kIdPlotXz = 1002,
    kIdPlotYz = 1004,
    kIdFrame = 1005,
    kIdPlotFourth = 1006,
    kIdUpdate2D = 1009,
    kIdAnalysisXMin = 1011,
    kIdAnalysisXMax = 1013,
    kIdAnalysisYMin = 1014,
    kIdAnalysisYMax = 1015,
    kIdDisplayXMin = 1016,
    kIdDisplayXMax = 1017,
    kIdDisplayYMin = 1018,
    kIdDisplayYMax = 1019,
    kIdDisplayNMin = 1020,
    kIdDisplayNMax = 1021,
    kIdStep2DX = 1022,
    kIdStep2DY = 1023,
    kIdDisplayZMin = 1024,
    kIdStep3DX = 1028,
    kIdStep3DY = 1033,
    kIdDisplayZMax = 1036,
    kIdResetZoom = 1040,
    kIdResetPan = 1046,
    kIdVerbose = 1049,
    kIdCursor = 1050,
    kIdRayTrace = 1051,
    kIdPanHint = 1052,
    kIdZoomHint = 1053,
    kIdRayStatus = 1054,
    kIdCursorReadout = 1055,
    kIdPattern = 1056,
    kIdUseInterpreter = 1057,
    kIdN1 = 1058,
    kIdN2 = 1059,
    kIdMake3DModel = 1062,
};

// Menu and toolbar commands.
enum VelmorCommandId : int {
    kCmdAboutSystemMenu = 16,
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
};

// Texts of the main window.
inline constexpr const char* kTextNoCode = "    -- intermediate code : none -- ... Abort !        ";
inline constexpr const char* kTextCloseQuestion = "  Close ? ";
inline constexpr const char* kTextEquivalent = "Equivalent Corvexa.dll";

// Display ranges never get narrower than this: zooming in stops short of it.
inline constexpr double kMinDisplayWidth = 0.002;

struct VelmorDlgOptions {
    std::string settingsPath;  // the settings file all window settings go to
};

class CDialog3D;
class CDialogInerpreter;
class CDialogUdFdFinal;
class CDialogUdFdInitial;
class CEscapeKeyWatch;
class CModel;
class CVelmorClient;
struct PlacedWindows;

class CVelmorDlg : public QMainWindow {
    Q_OBJECT
public:
    explicit CVelmorDlg(VelmorDlgOptions options, QWidget* parent = nullptr);
    ~CVelmorDlg() override;

    // --- What other windows and the views read and use.
    const VelmorState& State() const { return m_state; }
    CSurfaceProvider& Provider() { return *m_provider; }
    CScriptEngine& Engine() { return *m_engine; }
    SettingsFile& Settings() { return m_settings; }
    // The script ray trace inputs taken from the state.
    ScriptTraceSettings TraceSettings() const;

    // The widget the views paint on; plot areas and mouse points are in its coordinates.
    QWidget* PlotClient() const;
    const PlotAreas& Areas() const { return m_areas; }
    PlotViews& Views() { return *m_views; }
    // Requests a full repaint of the views.
    void Repaint();

    CDialogUdFdInitial& UdFdInitial() { return *m_udFdInitial; }
    CDialogUdFdFinal& UdFdFinal() { return *m_udFdFinal; }
    CDialog3D& Shading3D() { return *m_shading3d; }
    CDialogInerpreter& Interpreter() { return *m_interpreter; }

    // Text 1054 (ray-trace status line) and 1055 (two-line cursor read-out).
    void SetRayStatusText(const QString& text);
    QString RayStatusText() const;
    void SetCursorReadout(const QString& text);
    QString CursorReadout() const;
    // Status bar pane 0: the world position under the mouse.
    QString StatusPaneText() const;

    // --- Operations (also used by "UD FD Initial", the STL export and the views).
    void ReadFields();         // every edit field into the state
    void WriteFields();        // every edit field from the state, "%.3f"
    void ShowDisplayRanges();  // the display fields from the state, "%.3f"
    void Update2D();           // the common refresh ("Update 2D", "Update UD FD")
    void Make3DModel();
    // "Save STL (ASCII) ..." and "Save STL (BIN) ...": a fresh mesh into the file chosen.
    void SaveStl(bool binary);
    void TraceRay();  // traces, shows the final records, the 3D ray and the status
    void OpenDll();   // "Open DLL ..."
    void UseInterpreterFromMenu();
    void UseInterpreterFromBox();
    // Zoom about the point (plot client coordinates) with direction +1 (in) or -1 (out).
    void ZoomAt(QPoint point, int direction);
    void ResetZoom();
    void ResetPan();
    // Sets the gradient-index flag and what depends on it: display n fields enabled and
    // "Cursor" disabled while set.
    void SetGradientIndex(bool flag);
    // Writes the initial records into "UD FD Initial", traces and repaints (after a Shift
    // click changed the ray).
    void AfterRayChoice();
    // Shows a secondary window (restored when minimised), raised and active.
    void ShowSecondaryWindow(QWidget* window);
    // Runs a menu, toolbar or button command by its id.
    void OnCommand(int id);

    // --- Controls by id (tests and other windows).
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

    void BuildMenuAndToolbar();
    void BuildStatusBar();
    void BuildControls();
    void ApplyLayout();
    void CreateSecondaryWindows();
    // The surface mesh from the fields, the pattern and the working records, built under the
    // "Shading Model ..." progress window; enlarged "delta 3D" steps go back into the fields
    // and the user is told. Answers the builder's result (0, or -1 when the model is
    // unusable).
    int BuildMesh(CModel& model);
    // The main window and the four secondary windows, for the window settings.
    PlacedWindows Placed();
    bool RefusedWithoutCode();
    void ReadInitialTables();
    void ToggleInterpreter(bool fromBox);
    void SetCommandEnabled(int id, bool enabled);
    void OnPatternChanged(int index);
    void ShowAbout();

    // Mouse, in plot client coordinates.
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
    std::unique_ptr<PlotViews> m_views;
    std::map<int, QWidget*> m_controls;
    std::vector<QWidget*> m_columnControls;  // the right-hand column, in template order
    std::multimap<int, QAction*> m_commandActions;
    std::map<int, QAction*> m_menuActions;
    std::map<int, QAction*> m_toolbarActions;
    QLabel* m_statusPane0 = nullptr;
    QLabel* m_statusPane1 = nullptr;

    std::unique_ptr<CDialogUdFdFinal> m_udFdFinal;
    std::unique_ptr<CDialogUdFdInitial> m_udFdInitial;
    std::unique_ptr<CDialog3D> m_shading3d;
    std::unique_ptr<CDialogInerpreter> m_interpreter;
};

}  // namespace velmor
