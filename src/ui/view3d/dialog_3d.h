// "Shading 3D": the OpenGL window that shows the triangle model, the axis cross and the traced
// ray, and lets the user turn, pan, zoom and pick.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "core/surface/medium_ray.h"
#include "core/view3d/model.h"
#include "ui/common/command_table.h"
#include "ui/view3d/model_scene.h"
#include "ui/view3d/ogl_text.h"
#include "ui/view3d/view_camera.h"

class QAction;
class QLabel;
class QMenuBar;
class QOpenGLWidget;

namespace velmor {

class CView3DWidget;

// Commands of the window's menu bar (File, Mouse, Render): RunCommand and Action take these
// ids.
enum Dialog3DCommand : int {
    kCmdOpen = 32804,
    kCmdHide = 32806,
    kCmdClearModel = 32809,
    kCmdSpin = 32790,
    kCmdPan = 32791,
    kCmdZoom = 32792,
    kCmdPickPoint = 32796,
    kCmdPickLine = 32797,
    kCmdPickFace = 32798,
    kCmdReset = 32807,
    kCmdRenderPoint = 32793,
    kCmdRenderLine = 32794,
    kCmdRenderFace = 32795,
    kCmdRayTrace = 32811,
    kCmdAxis = 32812,
    kCmdTransparentize = 32810,
    kCmdFailedAtZero = 32850,
};

// "Failed Samples at z = 0" in the settings file's [WINDOW_3D] section (0 or 1).
inline constexpr const char* kKeyFailedAtZero = "FAILED_AT_ZERO";

class CDialog3D : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinWidth = 200;
    static constexpr int kMinHeight = 150;

    explicit CDialog3D(QWidget* parent = nullptr);
    ~CDialog3D() override;

    // --- Operations of the other windows ---
    // Copies `model` in and drops the compiled layers; the view is kept. `rayTrace` sets the
    // Ray Trace switch: on for a surface mesh ("Make 3D Model"), off for a loaded file.
    void SetModel(const CModel& model, bool rayTrace);
    // The same for a model handed over whole (a file just read): its lists are taken without
    // copying, and `model` is left with the window's previous model.
    void SetModel(CModel&& model, bool rayTrace);
    // The traced ray: incident direction, outgoing direction, surface point (3 floats each),
    // and what of it to show.
    void SetRay(const float ray[9], RayDisplay rayState);
    // Forgets the ray (gradient-index surfaces are not traced); nothing to do without one.
    void ClearRay();
    // The ray's path through a gradient-index medium, drawn as a polyline in the colour of the
    // ray after the surface while Ray Trace is on (every point of a path of up to
    // kMaxMediumPathPoints, else every k-th and the last). nullptr forgets it.
    void SetMediumPath(const MediumPath* path);
    static constexpr std::size_t kMaxMediumPathPoints = 100000;
    // x, y, z of each point drawn.
    const std::vector<float>& MediumPathVertices() const { return m_mediumPath; }
    // After a surface library is opened: empty model, view reset.
    void ClearModelAndResetView();
    // Schedules a paint of the view.
    void Repaint();
    // Reads a model file (STL or OBJ) as "Open ..." does once the file is chosen.
    void OpenModelFile(const QString& path);
    // While a long loop of any window runs, "Open ..." is disabled.
    void SetLongLoopRunning(bool running);
    // "Failed Samples at z = 0": a surface mesh keeps the full grid with its failed samples at
    // z = 0, instead of leaving out their triangles (unchecked at first).
    bool FailedAtZero() const { return m_failedAtZero; }
    void SetFailedAtZero(bool on);
    // The line below the view that says what the model lacks ("N of M samples failed: ..."),
    // hidden while empty. A model opened or cleared empties it.
    void SetModelStatus(const QString& text);
    QString ModelStatus() const;

    // Runs a menu command as if it were chosen; false for an unknown id.
    bool RunCommand(int id);
    QAction* Action(int id) const;

    // --- State, for the windows around and for checks ---
    const CModel& Model() const { return m_model; }
    // The OpenGL view; nullptr on the offscreen platform, which has none.
    QOpenGLWidget* View() const;
    float Zoom() const { return m_camera.zoom; }
    const std::array<float, 3>& PanTarget() const { return m_camera.panTarget; }
    const std::array<std::uint32_t, 10>& PickResult() const { return m_pickResult; }
    RayDisplay RayState() const { return m_rayState; }
    bool RayTraceOn() const { return m_rayTrace; }
    // Ids of the compiled layers (point, line, face); 0 means to be compiled.
    std::array<unsigned, 3> ModelLists() const { return m_scene.ModelLists(); }
    int ModelListCompilations() const { return m_scene.ModelListCompilations(); }
    bool HasContext() const { return m_hasContext; }

    // Picks at a point of the view (pixels, y down), as a middle-button release does.
    void PickAt(int x, int y);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class CView3DWidget;
    static const CommandRow<CDialog3D> kCommandTable[];

    // What a mouse drag in the view does.
    enum class DragMode { kNone, kSpin, kPan, kZoom };

    void BuildMenu();
    void SetChecked(int id, bool on);

    // Commands.
    void OnFileOpen();
    void OnHide();
    void OnClearModel();
    void OnReset();

    // OpenGL, called by the view with its context current.
    void InitializeGl();
    void ResizeGl(int w, int h);
    void PaintGl();
    // The state the scene draws.
    SceneState Scene() const;
    // Deletes the scene's lists in the view's context, as the context goes or the window.
    void ReleaseContext();

    // Mouse, called by the view.
    void OnMousePress(QMouseEvent* event);
    void OnMouseRelease(QMouseEvent* event);
    void OnMouseMove(int x, int y);
    void OnWheel(int x, int y, int delta);

    // After a new model: no pick, lists to compile, the Ray Trace switch as given, repaint.
    void ModelChanged(bool rayTrace);
    void DiscardModelLists();
    void MarkOverlay();
    void ClearPickResult() { m_pickResult.fill(0); }

    // Model.
    CModel m_model;

    // View.
    int m_width = 0;  // device pixels
    int m_height = 0;
    ViewCamera m_camera;
    DragMode m_dragMode = DragMode::kNone;
    int m_lastX = 0;
    int m_lastY = 0;
    Vec3f m_lastTrackball{0, 0, 1};

    // Switches.
    bool m_spin = true, m_pan = true, m_zoomOn = true;
    bool m_renderPoint = false, m_renderLine = false, m_renderFace = true;
    bool m_pickPoint = false, m_pickLine = false, m_pickFace = false;
    bool m_transparentize = false;
    bool m_rayTrace = false;
    bool m_axis = true;
    bool m_failedAtZero = false;

    // Ray.
    RayDisplay m_rayState = RayDisplay::kNone;
    float m_ray[9] = {};
    std::vector<float> m_mediumPath;  // x y z of the path's points drawn

    std::array<std::uint32_t, 10> m_pickResult{};

    // OpenGL resources.
    bool m_hasContext = false;
    CModelScene m_scene;

    // Window parts.
    CView3DWidget* m_view = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QLabel* m_status = nullptr;
    std::map<int, QAction*> m_actions;
};

}  // namespace velmor
