#include "ui/view3d/dialog_3d.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
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

// Runs `work` with the view's context current; without a context there is nothing to do.
template <typename Work>
void WithContext(QOpenGLWidget* view, bool hasContext, Work work) {
    if (!hasContext || view == nullptr || view->context() == nullptr) return;
    view->makeCurrent();
    work();
    view->doneCurrent();
}

}  // namespace

// The window's menu, in menu order. Two blanks stand before each parenthesis. A switch redraws
// what depends on it: the view; the axis cross and the ray, then the view; or the compiled model
// layers (and the pick, which numbers them), then the view. The mouse switches redraw nothing:
// they take effect with the next drag.
const CommandRow<CDialog3D> CDialog3D::kCommandTable[] = {
    {kCmdOpen, "File", "Open ...", kItemPlain, 0, nullptr, [](CDialog3D& d) { d.OnFileOpen(); },
     nullptr, "Ctrl+O"},
    {kCmdHide, "File", "Hide", kItemPlain, 0, nullptr, [](CDialog3D& d) { d.OnHide(); }, nullptr,
     "Ctrl+W"},
    {kCmdClearModel, "File", "Clear 3D Model", kItemPlain, 0, nullptr,
     [](CDialog3D& d) { d.OnClearModel(); }},
    {kCmdFailedAtZero, "File", "Failed Samples at z = 0", kItemSeparatorBefore | kItemCheck, 0,
     nullptr, nullptr, &CDialog3D::m_failedAtZero},
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

CDialog3D::CDialog3D(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Shading 3D"));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(360, 263);  // 240 x 162 dialog units

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_menuBar = new QMenuBar(this);
    layout->setMenuBar(m_menuBar);
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        m_view = new CView3DWidget(this);
        layout->addWidget(m_view, 1);
    } else {
        // The offscreen platform has no OpenGL for a QOpenGLWidget (it would crash). The
        // window keeps its model, ray and view state and its menu; a black area stands in
        // for the view.
        auto* blank = new QWidget(this);
        QPalette palette = blank->palette();
        palette.setColor(QPalette::Window, Qt::black);
        blank->setPalette(palette);
        blank->setAutoFillBackground(true);
        layout->addWidget(blank, 1);
    }
    m_status = new QLabel(this);
    m_status->setContentsMargins(4, 2, 4, 2);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);  // whole also in a narrow window
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Maximum);
    m_status->hide();
    layout->addWidget(m_status);
    BuildMenu();
}

CDialog3D::~CDialog3D() {
    if (m_hasContext && m_view->context() != nullptr) {
        disconnect(m_view->context(), nullptr, this, nullptr);
        ReleaseContext();
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

void CDialog3D::SetFailedAtZero(bool on) {
    m_failedAtZero = on;
    SetChecked(kCmdFailedAtZero, on);
}

void CDialog3D::SetModelStatus(const QString& text) {
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

QString CDialog3D::ModelStatus() const {
    return m_status->text();
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

void CDialog3D::SetMediumPath(const MediumPath* path) {
    std::vector<float> vertices;
    if (path != nullptr && path->points.size() >= 2) {
        const std::size_t n = path->points.size();
        const std::size_t stride = (n + kMaxMediumPathPoints - 1) / kMaxMediumPathPoints;
        for (std::size_t i = 0; i < n; i += stride) {
            const std::size_t k = i + stride < n ? i : n - 1;  // the last point always
            const MediumPoint& p = path->points[k];
            vertices.insert(vertices.end(), {static_cast<float>(p.x), static_cast<float>(p.y),
                                             static_cast<float>(p.z)});
        }
        if (vertices.size() < 6) vertices.clear();
    }
    if (vertices.empty() && m_mediumPath.empty()) return;
    m_mediumPath = std::move(vertices);
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
    OpenModelFile(*path);
}

void CDialog3D::OpenModelFile(const QString& path) {
    const std::string localPath = QFile::encodeName(path).toStdString();
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
    if (result == 0) {
        SetModel(std::move(loaded), false);  // the model read is taken over, not copied
        SetModelStatus(QString());
    } else
        ShowMessage(this, QString::fromLocal8Bit(message.c_str()));
    Repaint();
}

void CDialog3D::OnHide() {
    hide();
}

void CDialog3D::OnClearModel() {
    SetModelStatus(QString());
    CModel emptied;  // the lists' memory goes too, not only their contents
    m_model.Swap(emptied);
    DiscardModelLists();
    OnReset();
}

void CDialog3D::OnReset() {
    m_camera = ViewCamera();
    ClearPickResult();
    Repaint();
}

// ----------------------------------------------------------------------------------------------
// Display lists

void CDialog3D::DiscardModelLists() {
    if (m_scene.HasModelLists())
        WithContext(m_view, m_hasContext, [this] { m_scene.DeleteModelLists(); });
    m_scene.ForgetModelLists();
}

void CDialog3D::MarkOverlay() {
    if (m_scene.HasOverlay())
        WithContext(m_view, m_hasContext, [this] { m_scene.DeleteOverlay(); });
    m_scene.ForgetOverlay();
}

void CDialog3D::Repaint() {
    if (m_view != nullptr) m_view->update();
}

void CDialog3D::ReleaseContext() {
    m_view->makeCurrent();
    m_scene.DeleteAll();
    m_view->doneCurrent();
}

// ----------------------------------------------------------------------------------------------
// Drawing

void CDialog3D::InitializeGl() {
    m_scene.Initialize();
    m_hasContext = true;
    connect(m_view->context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        ReleaseContext();
        m_hasContext = false;
    });
}

void CDialog3D::ResizeGl(int w, int h) {
    if (w < 1 || h < 1) return;
    m_width = w;
    m_height = h;
    m_scene.Resize(Scene());
}

void CDialog3D::PaintGl() {
    m_scene.Paint(Scene());
}

SceneState CDialog3D::Scene() const {
    return SceneState{m_model,          m_camera,     m_width,     m_height,   m_renderPoint,
                      m_renderLine,     m_renderFace, m_pickPoint, m_pickLine, m_pickFace,
                      m_transparentize, m_rayTrace,   m_axis,      m_rayState, m_ray,
                      m_pickResult,     m_mediumPath};
}

void CDialog3D::PickAt(int x, int y) {
    if (!m_hasContext || m_width < 1 || m_height < 1) return;
    PickChoice choice;
    WithContext(m_view, m_hasContext, [&] { choice = m_scene.Pick(Scene(), x, y); });
    if (!choice.found) return;  // the old highlight stays
    for (int i = 0; i < choice.count; ++i) m_pickResult[i] = choice.names[i];
    Repaint();
}

// ----------------------------------------------------------------------------------------------
// Mouse

void CDialog3D::OnMousePress(QMouseEvent* event) {
    const int x = m_view->DeviceX(event->position());
    const int y = m_view->DeviceY(event->position());
    if (event->button() == Qt::LeftButton) {
        m_dragMode = DragMode::kSpin;
        m_view->setCursor(Qt::ClosedHandCursor);
        m_lastTrackball = TrackballVector(x, y, m_width, m_height);
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
            const Vec3f v = TrackballVector(x, y, m_width, m_height);
            m_camera.Turn(TurnBetween(m_lastTrackball, v));
            m_lastTrackball = v;
            Repaint();
            break;
        }
        case DragMode::kPan:
            m_view->setCursor(Qt::SizeAllCursor);
            if (!m_pan) return;
            m_camera.Pan(x - m_lastX, y - m_lastY);
            m_lastX = x;
            m_lastY = y;
            Repaint();
            break;
        case DragMode::kZoom:
            if (!m_zoomOn) return;
            m_camera.Zoom(m_lastY - y);
            m_lastX = x;
            m_lastY = y;
            Repaint();
            break;
        case DragMode::kNone:
            break;
    }
}

// The wheel is a zoom drag of its own; it ends any other drag.
void CDialog3D::OnWheel(int x, int y, int delta) {
    m_lastX = x;
    m_lastY = y;
    m_dragMode = DragMode::kZoom;
    OnMouseMove(x - WheelZoomPixels(delta), y - WheelZoomPixels(delta));
    m_dragMode = DragMode::kNone;
}

}  // namespace velmor
