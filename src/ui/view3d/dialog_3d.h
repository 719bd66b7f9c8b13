// "Shading 3D": the OpenGL window that shows the triangle model, the axis cross and the traced
// ray, and lets the user turn, pan, zoom and pick.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <map>

#include "core/view3d/model.h"
#include "ui/common/command_table.h"
#include "ui/view3d/ogl_text.h"

class QAction;
class QMenuBar;
class QOpenGLWidget;

namespace velmor {

class CView3DWidget;

// Menu commands of the window (menu 133).
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
};

// What the ray display shows after a trace: no ray, a ray that failed at the surface (its
// straight continuation dotted) or a ray refracted by it. The values are the trace's ray
// states.
enum class RayDisplay : int { kNone = 0, kFailed = 1, kRefracted = 2 };

// Item types in the pick result: the polygon-mode codes of the layer.
constexpr std::uint32_t kPickPoint = 0x1B00;
constexpr std::uint32_t kPickLine = 0x1B01;
constexpr std::uint32_t kPickFace = 0x1B02;

// One OpenGL light; all four start disabled and dark except light 0 (white, enabled).
struct LightRecord {
    bool enabled = false;
    float position[4] = {0, 0, 1, 0};  // directional, from +z
    float ambient[4] = {0, 0, 0, 1};
    float diffuse[4] = {0, 0, 0, 1};
    float specular[4] = {0, 0, 0, 1};
    float spotDirection[3] = {0, 0, -1};
    float spotExponent = 0;
    float spotCutoff = 180;
    float attenuation[3] = {1, 0, 0};  // constant, linear, quadratic
};

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
    // After a surface library is opened: empty model, view reset.
    void ClearModelAndResetView();
    // Schedules a paint of the view.
    void Repaint();
    // While a long loop of any window runs, "Open ..." is disabled.
    void SetLongLoopRunning(bool running);

    // Runs a menu command as if it were chosen; false for an unknown id.
    bool RunCommand(int id);
    QAction* Action(int id) const;

    // --- State, for the windows around and for checks ---
    const CModel& Model() const { return m_model; }
    // The OpenGL view; nullptr on the offscreen platform, which has none.
    QOpenGLWidget* View() const;
    float Zoom() const { return m_zoom; }
    const std::array<float, 3>& PanTarget() const { return m_panTarget; }
    const std::array<float, 16>& ViewRotation() const { return m_viewRotation; }
    const std::array<std::uint32_t, 10>& PickResult() const { return m_pickResult; }
    RayDisplay RayState() const { return m_rayState; }
    bool RayTraceOn() const { return m_rayTrace; }
    // Ids of the compiled layers (point, line, face); 0 means to be compiled.
    std::array<unsigned, 3> ModelLists() const { return m_modelLists; }
    int ModelListCompilations() const { return m_listCompilations; }
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
    void ApplyProjection() const;
    void MultViewVolume() const;
    void ApplyCamera() const;
    void ApplyLights() const;
    void DrawModel();
    void DrawModelForPick() const;
    void CompileOverlay();
    void CompileLayer(int layer);
    void DrawHighlight(std::uint32_t type) const;
    void DeleteModelLists();
    void DeleteAllLists();

    // Mouse, called by the view.
    void OnMousePress(QMouseEvent* event);
    void OnMouseRelease(QMouseEvent* event);
    void OnMouseMove(int x, int y);
    void OnWheel(int x, int y, int delta);
    void Rotate(float angle, const float axis[3]);
    void TrackballVector(int px, int py, float v[3]) const;

    // After a new model: no pick, lists to compile, the Ray Trace switch as given, repaint.
    void ModelChanged(bool rayTrace);
    void DiscardModelLists();
    void MarkOverlay();
    void ClearPickResult() { m_pickResult.fill(0); }

    // Model.
    CModel m_model;

    // View.
    int m_width = 0;
    int m_height = 0;
    float m_zoom = 10.0f;
    std::array<float, 3> m_panTarget{0, 0, 0};
    std::array<float, 16> m_viewRotation{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    DragMode m_dragMode = DragMode::kNone;
    int m_lastX = 0;
    int m_lastY = 0;
    float m_lastTrackball[3] = {0, 0, 1};

    // Switches.
    bool m_spin = true, m_pan = true, m_zoomOn = true;
    bool m_renderPoint = false, m_renderLine = false, m_renderFace = true;
    bool m_pickPoint = false, m_pickLine = false, m_pickFace = false;
    bool m_transparentize = false;
    bool m_rayTrace = false;
    bool m_axis = true;

    // Ray.
    RayDisplay m_rayState = RayDisplay::kNone;
    float m_ray[9] = {};

    std::array<std::uint32_t, 10> m_pickResult{};

    // OpenGL resources.
    bool m_hasContext = false;
    std::array<unsigned, 3> m_modelLists{0, 0, 0};  // point, line, face
    unsigned m_overlayList = 0;
    bool m_overlayStale = true;
    int m_listCompilations = 0;
    LightRecord m_lights[4];
    COGLJText m_labelX, m_labelY, m_labelZ, m_help;

    // Window parts.
    CView3DWidget* m_view = nullptr;
    QMenuBar* m_menuBar = nullptr;
    std::map<int, QAction*> m_actions;
};

}  // namespace velmor
