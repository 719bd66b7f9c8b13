#include "ui/view3d/dialog_3d.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPalette>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "core/view3d/model_reader.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/view3d/pick_record.h"

namespace velmor {

// The OpenGL child that fills the window below the menu. It only forwards to the window, which
// keeps all the state.
class CView3DWidget : public QOpenGLWidget {
public:
    explicit CView3DWidget(CDialog3D* owner) : QOpenGLWidget(owner), m_owner(owner) {
        setFocusPolicy(Qt::NoFocus);
    }

    double Scale() const { return devicePixelRatioF(); }
    int DeviceX(const QPointF& p) const { return static_cast<int>(std::lround(p.x() * Scale())); }
    int DeviceY(const QPointF& p) const { return static_cast<int>(std::lround(p.y() * Scale())); }

protected:
    void initializeGL() override { m_owner->InitializeGl(); }
    void resizeGL(int, int) override {
        m_owner->ResizeGl(static_cast<int>(std::lround(width() * Scale())),
                          static_cast<int>(std::lround(height() * Scale())));
    }
    void paintGL() override { m_owner->PaintGl(); }
    void mousePressEvent(QMouseEvent* event) override { m_owner->OnMousePress(event); }
    void mouseReleaseEvent(QMouseEvent* event) override { m_owner->OnMouseRelease(event); }
    void mouseMoveEvent(QMouseEvent* event) override {
        m_owner->OnMouseMove(DeviceX(event->position()), DeviceY(event->position()));
    }
    void wheelEvent(QWheelEvent* event) override {
        m_owner->OnWheel(DeviceX(event->position()), DeviceY(event->position()),
                         event->angleDelta().y());
        event->accept();
    }

private:
    CDialog3D* m_owner;
};

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr GLsizei kSelectBufferSize = 512;
constexpr float kMinZoom = 1.0e-6f;  // pixels per model unit
constexpr float kMaxZoom = 1.0e6f;

// Colours and sizes of the layers and their highlights.
constexpr float kFaceColour[3] = {0.5f, 0.75f, 1.0f};
constexpr float kFaceColourTranslucent[4] = {0.6f, 0.8f, 1.0f, 0.75f};
constexpr float kLineColour[3] = {0.0f, 0.5f, 0.5f};
constexpr float kPointColour[3] = {0.5f, 0.0f, 0.5f};
constexpr float kFaceHighlight[3] = {1.0f, 1.0f, 0.0f};
constexpr float kEdgeHighlight[3] = {0.0f, 1.0f, 1.0f};
constexpr float kPointHighlight[3] = {1.0f, 0.0f, 1.0f};

enum Layer { kLayerPoint = 0, kLayerLine = 1, kLayerFace = 2 };

// The corners of face `faceIndex`, or false when the face names something that does not exist.
bool FaceCorners(const CModel& model, int faceIndex, const Vec3f* corners[3]) {
    if (faceIndex < 0 || static_cast<size_t>(faceIndex) >= model.faces.size()) return false;
    const modelFace& face = model.faces[faceIndex];
    for (int c = 0; c < 3; ++c) {
        const int v = face.vertex[c];
        if (v < 0 || static_cast<size_t>(v) >= model.vertices.size()) return false;
        corners[c] = &model.vertices[v];
    }
    return true;
}

// The stored face normal, or the triangle's own when the face has no usable one. Its length
// does not matter: lighting normalises.
Vec3f UsableFaceNormal(const CModel& model, const modelFace& face, const Vec3f* const corners[3]) {
    const int n = face.faceNormal;
    if (n >= 0 && static_cast<size_t>(n) < model.faceNormals.size()) return model.faceNormals[n];
    const Vec3f& a = *corners[0];
    const Vec3f& b = *corners[1];
    const Vec3f& c = *corners[2];
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - b.x, vy = c.y - b.y, vz = c.z - b.z;
    return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

void Vertex(const Vec3f& v) {
    glVertex3f(v.x, v.y, v.z);
}
void Normal(const Vec3f& n) {
    glNormal3f(n.x, n.y, n.z);
}

// Calls `draw(faceIndex, position)` for every face of group `g`.
template <typename Draw>
void ForEachGroupFace(const modelGroup& group, Draw draw) {
    for (size_t k = 0; k < group.faces.size(); ++k) draw(group.faces[k], static_cast<GLuint>(k));
}

// glRotatef's matrix, column-major.
void RotationMatrix(float angleDegrees, float x, float y, float z, float m[16]) {
    const float length = std::sqrt(x * x + y * y + z * z);
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    if (length <= 1.0e-4f) return;
    x /= length;
    y /= length;
    z /= length;
    const float radians = angleDegrees * kPi / 180.0f;
    const float c = std::cos(radians), s = std::sin(radians), t = 1.0f - c;
    m[0] = x * x * t + c;
    m[1] = y * x * t + z * s;
    m[2] = x * z * t - y * s;
    m[4] = x * y * t - z * s;
    m[5] = y * y * t + c;
    m[6] = y * z * t + x * s;
    m[8] = x * z * t + y * s;
    m[9] = y * z * t - x * s;
    m[10] = z * z * t + c;
}

}  // namespace

// The window's menu, in menu order. Two blanks stand before each parenthesis. A switch redraws
// what depends on it: the view; the axis cross and the ray, then the view; or the compiled model
// layers (and the pick, which numbers them), then the view. The mouse switches redraw nothing:
// they take effect with the next drag.
const CommandRow<CDialog3D> CDialog3D::kCommandTable[] = {
    {kCmdOpen, "File", "Open ...", kItemPlain, 0, nullptr, [](CDialog3D& d) { d.OnFileOpen(); }},
    {kCmdHide, "File", "Hide", kItemPlain, 0, nullptr, [](CDialog3D& d) { d.OnHide(); }},
    {kCmdClearModel, "File", "Clear 3D Model", kItemPlain, 0, nullptr,
     [](CDialog3D& d) { d.OnClearModel(); }},
    {kCmdSpin, "Mouse", "Spin  (L Button)", kItemCheck, 0, nullptr, nullptr, &CDialog3D::m_spin},
    {kCmdPan, "Mouse", "Pan  (R Button)", kItemCheck, 0, nullptr, nullptr, &CDialog3D::m_pan},
    {kCmdZoom, "Mouse", "Zoom  (Wheel)", kItemCheck, 0, nullptr, nullptr, &CDialog3D::m_zoomOn},
    {kCmdPickPoint, "Mouse/Pick  (M Button)", "Point", kItemCheck, 0, nullptr,
     [](CDialog3D& d) { d.Repaint(); }, &CDialog3D::m_pickPoint},
    {kCmdPickLine, "Mouse/Pick  (M Button)", "Line", kItemCheck, 0, nullptr,
     [](CDialog3D& d) { d.Repaint(); }, &CDialog3D::m_pickLine},
    {kCmdPickFace, "Mouse/Pick  (M Button)", "Face", kItemCheck, 0, nullptr,
     [](CDialog3D& d) { d.Repaint(); }, &CDialog3D::m_pickFace},
    {kCmdReset, "Mouse", "Reset", kItemPlain, 0, nullptr, [](CDialog3D& d) { d.OnReset(); }},
    {kCmdRenderPoint, "Render", "Point", kItemCheck, 0, nullptr, [](CDialog3D& d) { d.Repaint(); },
     &CDialog3D::m_renderPoint},
    {kCmdRenderLine, "Render", "Line", kItemCheck, 0, nullptr, [](CDialog3D& d) { d.Repaint(); },
     &CDialog3D::m_renderLine},
    {kCmdRenderFace, "Render", "Face", kItemCheck, 0, nullptr, [](CDialog3D& d) { d.Repaint(); },
     &CDialog3D::m_renderFace},
    {kCmdRayTrace, "Render", "Ray Trace", kItemCheck, 0, nullptr,
     [](CDialog3D& d) {
         d.MarkOverlay();
         d.Repaint();
     },
     &CDialog3D::m_rayTrace},
    {kCmdAxis, "Render", "Axis", kItemCheck, 0, nullptr,
     [](CDialog3D& d) {
         d.MarkOverlay();
         d.Repaint();
     },
     &CDialog3D::m_axis},
    {kCmdTransparentize, "Render", "Transparentize", kItemCheck, 0, nullptr,
     [](CDialog3D& d) {
         d.ClearPickResult();
         d.DiscardModelLists();
         d.Repaint();
     },
     &CDialog3D::m_transparentize},
};

// ----------------------------------------------------------------------------------------------
// Window

CDialog3D::CDialog3D(QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_labelX(QStringLiteral("FixedSys"), 16.0f),
      m_labelY(QStringLiteral("FixedSys"), 16.0f),
      m_labelZ(QStringLiteral("FixedSys"), 16.0f),
      m_help(QStringLiteral("FixedSys"), 12.0f) {
    setWindowTitle(QStringLiteral("Shading 3D"));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(360, 263);  // 240 x 162 dialog units

    m_lights[0].enabled = true;
    const float white[4] = {1, 1, 1, 1};
    const float grey[4] = {0.2f, 0.2f, 0.2f, 1};
    std::copy(white, white + 4, m_lights[0].diffuse);
    std::copy(grey, grey + 4, m_lights[0].specular);

    m_labelX.SetText(QStringLiteral("x"));
    m_labelY.SetText(QStringLiteral("y"));
    m_labelZ.SetText(QStringLiteral("z"));
    m_help.SetText(QStringLiteral("L-Drag:Spin, R-Drag:Pan, Wheel:Zoom"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_menuBar = new QMenuBar(this);
    layout->setMenuBar(m_menuBar);
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        m_view = new CView3DWidget(this);
        layout->addWidget(m_view);
    } else {
        // The offscreen platform has no OpenGL for a QOpenGLWidget (it would crash). The
        // window keeps its model, ray and view state and its menu; a black area stands in
        // for the view.
        auto* blank = new QWidget(this);
        QPalette palette = blank->palette();
        palette.setColor(QPalette::Window, Qt::black);
        blank->setPalette(palette);
        blank->setAutoFillBackground(true);
        layout->addWidget(blank);
    }
    BuildMenu();
}

CDialog3D::~CDialog3D() {
    if (m_hasContext && m_view->context() != nullptr) {
        disconnect(m_view->context(), nullptr, this, nullptr);
        m_view->makeCurrent();
        DeleteAllLists();
        m_view->doneCurrent();
    }
    delete m_view;  // before the members it calls back into
    m_view = nullptr;
}

QOpenGLWidget* CDialog3D::View() const {
    return m_view;
}

void CDialog3D::BuildMenu() {
    m_actions =
        BuildCommandMenus(m_menuBar, *this, kCommandTable, [this](int id) { RunCommand(id); });
}

void CDialog3D::SetLongLoopRunning(bool running) {
    Action(kCmdOpen)->setEnabled(!running);
}

bool CDialog3D::RunCommand(int id) {
    return RunCommandRow(*this, kCommandTable, id, m_actions);
}

QAction* CDialog3D::Action(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CDialog3D::SetChecked(int id, bool on) {
    if (QAction* action = Action(id)) action->setChecked(on);
}

// Enter and Escape only hide the window, as closing it does.
void CDialog3D::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            hide();
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CDialog3D::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

// ----------------------------------------------------------------------------------------------
// Operations of the other windows

void CDialog3D::SetModel(const CModel& model, bool rayTrace) {
    if (&model != &m_model) m_model.CopyFrom(model);
    ModelChanged(rayTrace);
}

void CDialog3D::SetModel(CModel&& model, bool rayTrace) {
    m_model.Swap(model);
    ModelChanged(rayTrace);
}

void CDialog3D::ModelChanged(bool rayTrace) {
    ClearPickResult();
    DiscardModelLists();
    m_rayTrace = rayTrace;
    SetChecked(kCmdRayTrace, rayTrace);
    MarkOverlay();
    Repaint();
}

void CDialog3D::SetRay(const float ray[9], RayDisplay rayState) {
    std::copy(ray, ray + 9, m_ray);
    m_rayState = rayState;
    MarkOverlay();
    Repaint();
}

void CDialog3D::ClearRay() {
    // Every repaint of a gradient-index surface asks for this; only a change needs drawing.
    if (m_rayState == RayDisplay::kNone) return;
    m_rayState = RayDisplay::kNone;
    // The overlay is rebuilt at once so that a ray of an earlier surface does not stay on show.
    MarkOverlay();
    Repaint();
}

void CDialog3D::ClearModelAndResetView() {
    OnClearModel();
    MarkOverlay();
    Repaint();
}

// ----------------------------------------------------------------------------------------------
// Commands

// Loads an STL or OBJ file in place of the model; on failure the model stays as it was.
void CDialog3D::OnFileOpen() {
    FileDialogRequest request;
    request.title = QStringLiteral("Open 3D Model File.");
    request.filter = QStringLiteral(
        "STL(ASCII/BIN) Files (*.stl)|*.stl|OBJ(ASCII) Files (*.obj)|*.obj|"
        "All Files (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("stl");
    const std::optional<QString> path = Messages().OpenFileName(this, request);
    if (!path || path->isEmpty()) return;

    const std::string localPath = QFile::encodeName(*path).toStdString();
    if (ModelFileTypeOf(localPath) == ModelFileType::kUnsupported) {
        ShowMessage(this, QString::fromLatin1(kModelExtensionUnsupported));
        return;
    }
    CModel loaded;
    std::string message;
    int result = 0;
    {
        ProgressWindowScope progress(this, QStringLiteral("Loading ..."));
        result = ReadModelFile(localPath, loaded, &message);
    }
    if (result == 0)
        SetModel(std::move(loaded), false);  // the model read is taken over, not copied
    else
        ShowMessage(this, QString::fromLocal8Bit(message.c_str()));
    Repaint();
}

void CDialog3D::OnHide() {
    hide();
}

void CDialog3D::OnClearModel() {
    CModel emptied;  // the lists' memory goes too, not only their contents
    m_model.Swap(emptied);
    DiscardModelLists();
    OnReset();
}

void CDialog3D::OnReset() {
    m_zoom = 10.0f;
    m_viewRotation = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m_panTarget = {0, 0, 0};
    ClearPickResult();
    Repaint();
}

// ----------------------------------------------------------------------------------------------
// Display lists

// Runs `work` with the view's context current; without a context there is nothing to do.
template <typename Work>
static void WithContext(QOpenGLWidget* view, bool hasContext, Work work) {
    if (!hasContext || view == nullptr || view->context() == nullptr) return;
    view->makeCurrent();
    work();
    view->doneCurrent();
}

void CDialog3D::DeleteModelLists() {
    for (unsigned& list : m_modelLists) {
        if (list != 0) glDeleteLists(list, 1);
        list = 0;
    }
}

void CDialog3D::DeleteAllLists() {
    DeleteModelLists();
    if (m_overlayList != 0) glDeleteLists(m_overlayList, 1);
    m_overlayList = 0;
    m_labelX.Release();
    m_labelY.Release();
    m_labelZ.Release();
    m_help.Release();
}

void CDialog3D::DiscardModelLists() {
    const bool any = m_modelLists[0] != 0 || m_modelLists[1] != 0 || m_modelLists[2] != 0;
    if (any) WithContext(m_view, m_hasContext, [this] { DeleteModelLists(); });
    m_modelLists = {0, 0, 0};
}

void CDialog3D::MarkOverlay() {
    if (m_overlayList != 0)
        WithContext(m_view, m_hasContext, [this] { glDeleteLists(m_overlayList, 1); });
    m_overlayList = 0;
}

void CDialog3D::Repaint() {
    if (m_view != nullptr) m_view->update();
}

void CDialog3D::CompileOverlay() {
    m_overlayList = glGenLists(1);
    if (m_overlayList == 0) return;
    glNewList(m_overlayList, GL_COMPILE);
    glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT | GL_ENABLE_BIT);
    if (m_axis) {
        glLineWidth(1.0f);
        glColor3ub(255, 255, 0);
        glBegin(GL_LINES);
        glVertex3f(0, 0, 0);
        glVertex3f(20, 0, 0);
        glVertex3f(0, 0, 0);
        glVertex3f(0, 20, 0);
        glVertex3f(0, 0, 0);
        glVertex3f(0, 0, 20);
        glEnd();
    }
    if (m_rayTrace && m_rayState != RayDisplay::kNone) {
        const float* a = m_ray;      // incident direction
        const float* b = m_ray + 3;  // outgoing direction
        const float* p = m_ray + 6;  // surface point
        glLineWidth(2.0f);
        glColor3ub(255, 0, 0);
        glBegin(GL_LINES);
        glVertex3f(p[0], p[1], p[2]);
        glVertex3f(p[0] - 1000 * a[0], p[1] - 1000 * a[1], p[2] - 1000 * a[2]);
        glEnd();
        if (m_rayState == RayDisplay::kRefracted) {
            glColor3ub(0, 0, 255);
            glBegin(GL_LINES);
            glVertex3f(p[0], p[1], p[2]);
            glVertex3f(p[0] + 1000 * b[0], p[1] + 1000 * b[1], p[2] + 1000 * b[2]);
            glEnd();
        } else {
            // Where the ray would have gone on.
            glEnable(GL_LINE_STIPPLE);
            glLineStipple(1, 0xF0F0);
            glBegin(GL_LINES);
            glVertex3f(p[0], p[1], p[2]);
            glVertex3f(p[0] + 1000 * a[0], p[1] + 1000 * a[1], p[2] + 1000 * a[2]);
            glEnd();
            glDisable(GL_LINE_STIPPLE);
        }
    }
    glPopAttrib();
    glEndList();
}

void CDialog3D::CompileLayer(int layer) {
    const GLuint list = glGenLists(1);
    if (list == 0) return;
    glNewList(list, GL_COMPILE);
    if (layer == kLayerFace) {
        glEnable(GL_LIGHTING);
        glEnable(GL_NORMALIZE);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
        glEnable(GL_COLOR_MATERIAL);
        if (m_transparentize) {
            glColor4fv(kFaceColourTranslucent);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        } else {
            glColor3fv(kFaceColour);
        }
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        const bool perVertex = !m_model.vertexNormals.empty();
        for (const auto& group : m_model.groups) {
            const modelMaterial& material = group->material;
            // A material from an MTL file shows its own colours: colour tracking, which would
            // put the fixed colour in place of its ambient and diffuse ones, is off for it.
            // Every other group draws in the tracked colour.
            float diffuse[4] = {material.diffuse[0], material.diffuse[1], material.diffuse[2],
                                material.diffuse[3]};
            if (material.fromMaterialFile) {
                glDisable(GL_COLOR_MATERIAL);
                if (m_transparentize) diffuse[3] = kFaceColourTranslucent[3];
            } else {
                glEnable(GL_COLOR_MATERIAL);
            }
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material.ambient);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material.specular);
            // Outside 0..128 the call would be refused and the previous group's value kept.
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS,
                        std::isfinite(material.shininess)
                            ? std::clamp(material.shininess, 0.0f, 128.0f)
                            : 0.0f);
            glBegin(GL_TRIANGLES);
            ForEachGroupFace(*group, [&](int faceIndex, GLuint) {
                const Vec3f* corners[3];
                if (!FaceCorners(m_model, faceIndex, corners)) return;
                const modelFace& face = m_model.faces[faceIndex];
                const Vec3f faceNormal = UsableFaceNormal(m_model, face, corners);
                if (!perVertex) Normal(faceNormal);
                for (int c = 0; c < 3; ++c) {
                    if (perVertex) {
                        // A corner without a vertex normal (mixed face forms) uses the face's.
                        const int n = face.vertexNormal[c];
                        Normal(n >= 0 && static_cast<size_t>(n) < m_model.vertexNormals.size()
                                   ? m_model.vertexNormals[n]
                                   : faceNormal);
                    }
                    Vertex(*corners[c]);
                }
            });
            glEnd();
        }
        if (m_transparentize) glDisable(GL_BLEND);
        glDisable(GL_LIGHTING);
    } else {
        if (layer == kLayerLine) {
            glLineWidth(2.0f);
            glColor3fv(kLineColour);
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        } else {
            glPointSize(5.0f);
            glColor3fv(kPointColour);
            glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
        }
        glBegin(GL_TRIANGLES);
        for (const auto& group : m_model.groups) {
            ForEachGroupFace(*group, [&](int faceIndex, GLuint) {
                const Vec3f* corners[3];
                if (!FaceCorners(m_model, faceIndex, corners)) return;
                for (const Vec3f* corner : corners) Vertex(*corner);
            });
        }
        glEnd();
    }
    glEndList();
    m_modelLists[layer] = list;
    ++m_listCompilations;
}

// The picked face, edge or corner, drawn over its layer.
void CDialog3D::DrawHighlight(std::uint32_t type) const {
    const std::uint32_t g = m_pickResult[2];
    const std::uint32_t k = m_pickResult[3];
    const std::uint32_t e = m_pickResult[4];
    if (g >= m_model.groups.size()) return;
    const modelGroup& group = *m_model.groups[g];
    if (k >= group.faces.size()) return;
    const Vec3f* corners[3];
    if (!FaceCorners(m_model, group.faces[k], corners)) return;
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    if (type == kPickFace) {
        glColor3fv(kFaceHighlight);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glBegin(GL_TRIANGLES);
        for (const Vec3f* corner : corners) Vertex(*corner);
        glEnd();
    } else if (type == kPickLine && e < 3) {
        glLineWidth(5.0f);
        glColor3fv(kEdgeHighlight);
        glBegin(GL_LINES);
        Vertex(*corners[e]);
        Vertex(*corners[(e + 1) % 3]);
        glEnd();
    } else if (type == kPickPoint && e < 3) {
        glPointSize(10.0f);
        glColor3fv(kPointHighlight);
        glBegin(GL_POINTS);
        Vertex(*corners[e]);
        glEnd();
    }
}

// ----------------------------------------------------------------------------------------------
// Drawing

void CDialog3D::InitializeGl() {
    // A new context (the first, or one made again after the view moved): nothing compiled in
    // an earlier one is valid here.
    m_modelLists = {0, 0, 0};
    m_overlayList = 0;
    m_labelX.Release();
    m_labelY.Release();
    m_labelZ.Release();
    m_help.Release();
    m_hasContext = true;
    connect(m_view->context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        m_view->makeCurrent();
        DeleteAllLists();
        m_view->doneCurrent();
        m_hasContext = false;
    });
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
}

void CDialog3D::ResizeGl(int w, int h) {
    if (w < 1 || h < 1) return;
    m_width = w;
    m_height = h;
    glViewport(0, 0, w, h);
    ApplyProjection();
    ApplyCamera();
}

void CDialog3D::ApplyProjection() const {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    MultViewVolume();
    glMatrixMode(GL_MODELVIEW);
}

// The view's box: the window's pixels at the zoom's pixels per unit, depth 0.1 to 1000.
void CDialog3D::MultViewVolume() const {
    glOrtho(-m_width / 2.0 / m_zoom, m_width / 2.0 / m_zoom, -m_height / 2.0 / m_zoom,
            m_height / 2.0 / m_zoom, 0.1, 1000.0);
}

// Camera 500 units in front of the pan target, then the lights (fixed to the camera's world),
// then the accumulated rotation of the model.
void CDialog3D::ApplyCamera() const {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float tx = m_panTarget[0], ty = m_panTarget[1], tz = m_panTarget[2];
    gluLookAt(tx, ty, tz + 500.0, tx, ty, tz, 0.0, 1.0, 0.0);
    ApplyLights();
    glMultMatrixf(m_viewRotation.data());
}

void CDialog3D::ApplyLights() const {
    for (int i = 0; i < 4; ++i) {
        const GLenum light = GL_LIGHT0 + i;
        const LightRecord& record = m_lights[i];
        if (!record.enabled) {
            glDisable(light);
            continue;
        }
        glEnable(light);
        glLightfv(light, GL_POSITION, record.position);
        glLightfv(light, GL_AMBIENT, record.ambient);
        glLightfv(light, GL_DIFFUSE, record.diffuse);
        glLightfv(light, GL_SPECULAR, record.specular);
        glLightfv(light, GL_SPOT_DIRECTION, record.spotDirection);
        glLightf(light, GL_SPOT_EXPONENT, record.spotExponent);
        glLightf(light, GL_SPOT_CUTOFF, record.spotCutoff);
        glLightf(light, GL_CONSTANT_ATTENUATION, record.attenuation[0]);
        glLightf(light, GL_LINEAR_ATTENUATION, record.attenuation[1]);
        glLightf(light, GL_QUADRATIC_ATTENUATION, record.attenuation[2]);
    }
}

void CDialog3D::PaintGl() {
    if (m_width < 1 || m_height < 1) return;
    // The matrices and switches are set from the window state on every paint, so that nothing
    // the toolkit does with the context between paints can change the picture.
    glViewport(0, 0, m_width, m_height);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    ApplyProjection();
    ApplyCamera();
    // The view has no alpha channel: the picture is opaque black where nothing is drawn, and
    // translucent faces blend only with what lies behind them. The toolkit's framebuffer has
    // one, so it is cleared to 1 and then kept from writes.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);

    glPushMatrix();
    if (m_overlayList == 0) CompileOverlay();
    if (m_overlayList != 0) glCallList(m_overlayList);
    glPopMatrix();

    glPushMatrix();
    DrawModel();
    if (m_axis) {
        glColor3f(1.0f, 1.0f, 0.0f);
        glRasterPos3f(20, 0, 0);
        m_labelX.Draw();
        glRasterPos3f(0, 20, 0);
        m_labelY.Draw();
        glRasterPos3f(0, 0, 20);
        m_labelZ.Draw();
    }
    glPopMatrix();

    // Help line near the top-left corner, 5 % of the width and height inside.
    glColor3f(0.5f, 0.5f, 0.5f);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 2, 2, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glRasterPos3f(0.1f, 0.1f, 0.0f);
    m_help.Draw();
    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glFinish();
}

// Layers in the order face, line, point, each with its highlight.
void CDialog3D::DrawModel() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    const struct {
        bool on;
        int layer;
        std::uint32_t type;
    } layers[] = {{m_renderFace, kLayerFace, kPickFace},
                  {m_renderLine, kLayerLine, kPickLine},
                  {m_renderPoint, kLayerPoint, kPickPoint}};
    for (const auto& layer : layers) {
        if (!layer.on) continue;
        if (m_modelLists[layer.layer] == 0) CompileLayer(layer.layer);
        if (m_modelLists[layer.layer] != 0) glCallList(m_modelLists[layer.layer]);
        if (m_pickResult[1] == layer.type) DrawHighlight(layer.type);
    }
    glPopAttrib();
}

// Names: 0, item type, group, position in the group, and corner or edge number.
void CDialog3D::DrawModelForPick() const {
    const CModel& model = m_model;
    const auto forEachFace = [&model](auto draw) {
        for (size_t g = 0; g < model.groups.size(); ++g) {
            glPushName(static_cast<GLuint>(g));
            ForEachGroupFace(*model.groups[g], [&](int faceIndex, GLuint k) {
                const Vec3f* corners[3];
                if (!FaceCorners(model, faceIndex, corners)) return;
                glPushName(k);
                draw(corners);
                glPopName();
            });
            glPopName();
        }
    };
    if (m_renderFace && m_pickFace) {
        glPushName(kPickFace);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        forEachFace([](const Vec3f* const* corners) {
            glBegin(GL_TRIANGLES);
            for (int c = 0; c < 3; ++c) Vertex(*corners[c]);
            glEnd();
        });
        glPopName();
    }
    // Every edge (lines) or corner (points), named by its number in the face.
    const auto forEachEdgeOrCorner = [&forEachFace](GLenum mode) {
        forEachFace([mode](const Vec3f* const* corners) {
            for (GLuint e = 0; e < 3; ++e) {
                glPushName(e);
                glBegin(mode);
                Vertex(*corners[e]);
                if (mode == GL_LINES) Vertex(*corners[(e + 1) % 3]);
                glEnd();
                glPopName();
            }
        });
    };
    if (m_renderLine && m_pickLine) {
        glPushName(kPickLine);
        glLineWidth(2.0f);
        forEachEdgeOrCorner(GL_LINES);
        glPopName();
    }
    if (m_renderPoint && m_pickPoint) {
        glPushName(kPickPoint);
        glPointSize(5.0f);
        forEachEdgeOrCorner(GL_POINTS);
        glPopName();
    }
}

void CDialog3D::PickAt(int x, int y) {
    if (!m_hasContext || m_width < 1 || m_height < 1) return;
    std::uint32_t buffer[kSelectBufferSize];
    std::fill(std::begin(buffer), std::end(buffer), kUnwrittenSelectWord);
    GLint hits = 0;
    WithContext(m_view, m_hasContext, [&] {
        glViewport(0, 0, m_width, m_height);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glSelectBuffer(kSelectBufferSize, buffer);
        glRenderMode(GL_SELECT);
        glInitNames();
        glPushName(0);

        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        gluPickMatrix(x, viewport[3] - y, 10.0, 10.0, viewport);
        MultViewVolume();
        ApplyCamera();
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        DrawModelForPick();
        glPopAttrib();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glFlush();
        hits = glRenderMode(GL_RENDER);
    });
    const PickChoice choice = ChoosePickRecord(buffer, kSelectBufferSize, hits);
    if (!choice.found) return;  // the old highlight stays
    for (int i = 0; i < choice.count; ++i) m_pickResult[i] = choice.names[i];
    Repaint();
}

// ----------------------------------------------------------------------------------------------
// Mouse

void CDialog3D::TrackballVector(int px, int py, float v[3]) const {
    const float w = static_cast<float>(std::max(m_width, 1));
    const float h = static_cast<float>(std::max(m_height, 1));
    v[0] = (2.0f * px - w) / w * 0.5f;
    v[1] = (h - 2.0f * py) / h * 0.5f;
    const float d = std::min(std::sqrt(v[0] * v[0] + v[1] * v[1]), 1.0f);
    v[2] = std::cos(d * kPi / 2.0f);
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int i = 0; i < 3; ++i) v[i] /= length;
}

void CDialog3D::OnMousePress(QMouseEvent* event) {
    const int x = m_view->DeviceX(event->position());
    const int y = m_view->DeviceY(event->position());
    if (event->button() == Qt::LeftButton) {
        m_dragMode = DragMode::kSpin;
        m_view->setCursor(Qt::ClosedHandCursor);
        TrackballVector(x, y, m_lastTrackball);
    } else if (event->button() == Qt::RightButton) {
        m_dragMode = DragMode::kPan;
        m_view->setCursor(Qt::SizeAllCursor);
        m_lastX = x;
        m_lastY = y;
    }
}

void CDialog3D::OnMouseRelease(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        m_dragMode = DragMode::kNone;
        m_view->unsetCursor();
    } else if (event->button() == Qt::MiddleButton) {
        PickAt(m_view->DeviceX(event->position()), m_view->DeviceY(event->position()));
    }
}

void CDialog3D::OnMouseMove(int x, int y) {
    switch (m_dragMode) {
        case DragMode::kSpin: {
            m_view->setCursor(Qt::ClosedHandCursor);
            if (!m_spin) return;
            float v[3];
            TrackballVector(x, y, v);
            const float d[3] = {v[0] - m_lastTrackball[0], v[1] - m_lastTrackball[1],
                                v[2] - m_lastTrackball[2]};
            const float angle = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) * 180.0f;
            const float* l = m_lastTrackball;
            const float axis[3] = {l[1] * v[2] - l[2] * v[1], l[2] * v[0] - l[0] * v[2],
                                   l[0] * v[1] - l[1] * v[0]};
            std::copy(v, v + 3, m_lastTrackball);
            Rotate(angle, axis);
            Repaint();
            break;
        }
        case DragMode::kPan:
            m_view->setCursor(Qt::SizeAllCursor);
            if (!m_pan) return;
            m_panTarget[0] -= (x - m_lastX) / m_zoom;
            m_panTarget[1] += (y - m_lastY) / m_zoom;
            m_lastX = x;
            m_lastY = y;
            Repaint();
            break;
        case DragMode::kZoom:
            if (!m_zoomOn) return;
            // Kept finite and above zero: a zoom of 0 could never grow again and would
            // divide the projection by zero.
            m_zoom =
                std::clamp(m_zoom * std::pow(2.0f, (m_lastY - y) * 0.002f), kMinZoom, kMaxZoom);
            m_lastX = x;
            m_lastY = y;
            Repaint();
            break;
        case DragMode::kNone:
            break;
    }
}

// One notch (120) moves a zoom drag by 40 pixels: a factor of 2^0.08.
void CDialog3D::OnWheel(int x, int y, int delta) {
    m_lastX = x;
    m_lastY = y;
    m_dragMode = DragMode::kZoom;
    OnMouseMove(x - delta / 3, y - delta / 3);
    m_dragMode = DragMode::kNone;
}

// The new turn goes in front of the accumulated one, about an axis fixed to the screen.
void CDialog3D::Rotate(float angle, const float axis[3]) {
    float r[16];
    RotationMatrix(angle, axis[0], axis[1], axis[2], r);
    std::array<float, 16> result{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += r[k * 4 + row] * m_viewRotation[c * 4 + k];
            result[c * 4 + row] = sum;
        }
    m_viewRotation = result;
}

}  // namespace velmor
