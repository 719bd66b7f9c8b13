#include "ui/view3d/model_scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QString>
#include <algorithm>
#include <cmath>

namespace velmor {

namespace {

constexpr GLsizei kSelectBufferSize = 512;
constexpr double kPickBoxPixels = 10.0;  // the square around the pointer that picks

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
    return FaceNormal(*corners[0], *corners[1], *corners[2]);
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

// The only light, fixed to the camera's world: white from +z with a weak specular part, no
// spot and no attenuation.
void ApplyLight() {
    const float position[4] = {0, 0, 1, 0};  // directional
    const float ambient[4] = {0, 0, 0, 1};
    const float diffuse[4] = {1, 1, 1, 1};
    const float specular[4] = {0.2f, 0.2f, 0.2f, 1};
    const float spotDirection[3] = {0, 0, -1};
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spotDirection);
    glLightf(GL_LIGHT0, GL_SPOT_EXPONENT, 0);
    glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 180);
    glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, 1);
    glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, 0);
    glLightf(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, 0);
}

void MultViewBox(const SceneState& state) {
    const ViewBox box = ViewBoxOf(state.width, state.height, state.camera.zoom);
    glOrtho(box.left, box.right, box.bottom, box.top, box.zNear, box.zFar);
}

}  // namespace

CModelScene::CModelScene()
    : m_labelX(QStringLiteral("FixedSys"), 16.0f),
      m_labelY(QStringLiteral("FixedSys"), 16.0f),
      m_labelZ(QStringLiteral("FixedSys"), 16.0f),
      m_help(QStringLiteral("FixedSys"), 12.0f) {
    m_labelX.SetText(QStringLiteral("x"));
    m_labelY.SetText(QStringLiteral("y"));
    m_labelZ.SetText(QStringLiteral("z"));
    m_help.SetText(QStringLiteral("L-Drag:Spin, R-Drag:Pan, Wheel:Zoom"));
}

// ----------------------------------------------------------------------------------------------
// Display lists

void CModelScene::Initialize() {
    m_modelLists = {0, 0, 0};
    m_overlayList = 0;
    ReleaseLabels();
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
}

bool CModelScene::HasModelLists() const {
    return m_modelLists[0] != 0 || m_modelLists[1] != 0 || m_modelLists[2] != 0;
}

void CModelScene::DeleteModelLists() {
    for (unsigned& list : m_modelLists) {
        if (list != 0) glDeleteLists(list, 1);
        list = 0;
    }
}

void CModelScene::DeleteOverlay() {
    if (m_overlayList != 0) glDeleteLists(m_overlayList, 1);
    m_overlayList = 0;
}

void CModelScene::DeleteAll() {
    DeleteModelLists();
    DeleteOverlay();
    ReleaseLabels();
}

void CModelScene::ReleaseLabels() {
    m_labelX.Release();
    m_labelY.Release();
    m_labelZ.Release();
    m_help.Release();
}

void CModelScene::CompileOverlay(const SceneState& state) {
    m_overlayList = glGenLists(1);
    if (m_overlayList == 0) return;
    glNewList(m_overlayList, GL_COMPILE);
    glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT | GL_ENABLE_BIT);
    if (state.axis) {
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
    if (state.rayTrace && state.rayState != RayDisplay::kNone) {
        const float* a = state.ray;      // incident direction
        const float* b = state.ray + 3;  // outgoing direction
        const float* p = state.ray + 6;  // surface point
        glLineWidth(2.0f);
        glColor3ub(255, 0, 0);
        glBegin(GL_LINES);
        glVertex3f(p[0], p[1], p[2]);
        glVertex3f(p[0] - 1000 * a[0], p[1] - 1000 * a[1], p[2] - 1000 * a[2]);
        glEnd();
        if (state.rayState == RayDisplay::kRefracted) {
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
    if (state.rayTrace && state.mediumPath.size() >= 6) DrawMediumPath(state.mediumPath);
    glPopAttrib();
    glEndList();
}

void CModelScene::DrawMediumPath(const std::vector<float>& points) {
    // The path goes on from the surface as the ray after it does: thick and blue.
    glLineWidth(2.0f);
    glColor3ub(0, 0, 255);
    glBegin(GL_LINE_STRIP);
    for (std::size_t i = 0; i + 2 < points.size(); i += 3)
        glVertex3f(points[i], points[i + 1], points[i + 2]);
    glEnd();
}

void CModelScene::CompileLayer(const SceneState& state, int layer) {
    const CModel& model = state.model;
    const GLuint list = glGenLists(1);
    if (list == 0) return;
    glNewList(list, GL_COMPILE);
    if (layer == kLayerFace) {
        glEnable(GL_LIGHTING);
        glEnable(GL_NORMALIZE);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
        glEnable(GL_COLOR_MATERIAL);
        if (state.transparentize) {
            glColor4fv(kFaceColourTranslucent);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        } else {
            glColor3fv(kFaceColour);
        }
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        const bool perVertex = !model.vertexNormals.empty();
        for (const auto& group : model.groups) {
            const modelMaterial& material = group->material;
            // A material from an MTL file shows its own colours: colour tracking, which would
            // put the fixed colour in place of its ambient and diffuse ones, is off for it.
            // Every other group draws in the tracked colour.
            float diffuse[4] = {material.diffuse[0], material.diffuse[1], material.diffuse[2],
                                material.diffuse[3]};
            if (material.fromMaterialFile) {
                glDisable(GL_COLOR_MATERIAL);
                if (state.transparentize) diffuse[3] = kFaceColourTranslucent[3];
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
                if (!FaceCorners(model, faceIndex, corners)) return;
                const modelFace& face = model.faces[faceIndex];
                const Vec3f faceNormal = UsableFaceNormal(model, face, corners);
                if (!perVertex) Normal(faceNormal);
                for (int c = 0; c < 3; ++c) {
                    if (perVertex) {
                        // A corner without a vertex normal (mixed face forms) uses the face's.
                        const int n = face.vertexNormal[c];
                        Normal(n >= 0 && static_cast<size_t>(n) < model.vertexNormals.size()
                                   ? model.vertexNormals[n]
                                   : faceNormal);
                    }
                    Vertex(*corners[c]);
                }
            });
            glEnd();
        }
        if (state.transparentize) glDisable(GL_BLEND);
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
        for (const auto& group : model.groups) {
            ForEachGroupFace(*group, [&](int faceIndex, GLuint) {
                const Vec3f* corners[3];
                if (!FaceCorners(model, faceIndex, corners)) return;
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
void CModelScene::DrawHighlight(const SceneState& state, std::uint32_t type) const {
    const CModel& model = state.model;
    const std::uint32_t g = state.pickResult[2];
    const std::uint32_t k = state.pickResult[3];
    const std::uint32_t e = state.pickResult[4];
    if (g >= model.groups.size()) return;
    const modelGroup& group = *model.groups[g];
    if (k >= group.faces.size()) return;
    const Vec3f* corners[3];
    if (!FaceCorners(model, group.faces[k], corners)) return;
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

void CModelScene::Resize(const SceneState& state) {
    glViewport(0, 0, state.width, state.height);
    ApplyProjection(state);
    ApplyCamera(state);
}

void CModelScene::ApplyProjection(const SceneState& state) const {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    MultViewBox(state);
    glMatrixMode(GL_MODELVIEW);
}

// The camera in front of the pan target, then the light (fixed to the camera's world), then the
// accumulated rotation of the model.
void CModelScene::ApplyCamera(const SceneState& state) const {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const auto& target = state.camera.panTarget;
    const float tx = target[0], ty = target[1], tz = target[2];
    gluLookAt(tx, ty, tz + ViewCamera::kEyeDistance, tx, ty, tz, 0.0, 1.0, 0.0);
    ApplyLight();
    glMultMatrixf(state.camera.rotation.data());
}

void CModelScene::Paint(const SceneState& state) {
    if (state.width < 1 || state.height < 1) return;
    // The matrices and switches are set from the window state on every paint, so that nothing
    // the toolkit does with the context between paints can change the picture.
    glViewport(0, 0, state.width, state.height);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    ApplyProjection(state);
    ApplyCamera(state);
    // The view has no alpha channel: the picture is opaque black where nothing is drawn, and
    // translucent faces blend only with what lies behind them. The toolkit's framebuffer has
    // one, so it is cleared to 1 and then kept from writes.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);

    glPushMatrix();
    if (m_overlayList == 0) CompileOverlay(state);
    if (m_overlayList != 0) glCallList(m_overlayList);
    glPopMatrix();

    glPushMatrix();
    DrawModel(state);
    if (state.axis) {
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
void CModelScene::DrawModel(const SceneState& state) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    const struct {
        bool on;
        int layer;
        std::uint32_t type;
    } layers[] = {{state.renderFace, kLayerFace, kPickFace},
                  {state.renderLine, kLayerLine, kPickLine},
                  {state.renderPoint, kLayerPoint, kPickPoint}};
    for (const auto& layer : layers) {
        if (!layer.on) continue;
        if (m_modelLists[layer.layer] == 0) CompileLayer(state, layer.layer);
        if (m_modelLists[layer.layer] != 0) glCallList(m_modelLists[layer.layer]);
        if (state.pickResult[1] == layer.type) DrawHighlight(state, layer.type);
    }
    glPopAttrib();
}

// Names: 0, item type, group, position in the group, and corner or edge number.
void CModelScene::DrawModelForPick(const SceneState& state) const {
    const CModel& model = state.model;
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
    if (state.renderFace && state.pickFace) {
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
    if (state.renderLine && state.pickLine) {
        glPushName(kPickLine);
        glLineWidth(2.0f);
        forEachEdgeOrCorner(GL_LINES);
        glPopName();
    }
    if (state.renderPoint && state.pickPoint) {
        glPushName(kPickPoint);
        glPointSize(5.0f);
        forEachEdgeOrCorner(GL_POINTS);
        glPopName();
    }
}

PickChoice CModelScene::Pick(const SceneState& state, int x, int y) const {
    std::uint32_t buffer[kSelectBufferSize];
    std::fill(std::begin(buffer), std::end(buffer), kUnwrittenSelectWord);
    glViewport(0, 0, state.width, state.height);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glSelectBuffer(kSelectBufferSize, buffer);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPickMatrix(x, viewport[3] - y, kPickBoxPixels, kPickBoxPixels, viewport);  // y up
    MultViewBox(state);
    ApplyCamera(state);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    DrawModelForPick(state);
    glPopAttrib();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glFlush();
    const GLint hits = glRenderMode(GL_RENDER);
    return ChoosePickRecord(buffer, kSelectBufferSize, hits);
}

}  // namespace velmor
