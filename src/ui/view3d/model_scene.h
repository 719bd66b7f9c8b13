// The OpenGL drawing of the 3D window: the model's layers compiled into display lists, the axis
// cross, the traced ray and its path through a gradient-index medium, the axis labels and the
// help line, the picked item's highlight, and the pick in selection mode. The window keeps the
// state and hands it in as a SceneState; every call but the Forget ones needs the view's context
// current.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/view3d/model.h"
#include "ui/view3d/ogl_text.h"
#include "ui/view3d/pick_record.h"
#include "ui/view3d/view_camera.h"

namespace velmor {

// What the ray display shows after a trace: no ray, a ray that failed at the surface (its
// straight continuation dotted) or a ray refracted by it. The values are the trace's ray
// states.
enum class RayDisplay : int { kNone = 0, kFailed = 1, kRefracted = 2 };

// Item types in the pick result: the polygon-mode codes of the layer.
constexpr std::uint32_t kPickPoint = 0x1B00;
constexpr std::uint32_t kPickLine = 0x1B01;
constexpr std::uint32_t kPickFace = 0x1B02;

// The window's state as the scene draws it.
struct SceneState {
    const CModel& model;
    const ViewCamera& camera;
    int width, height;  // the view in device pixels
    bool renderPoint, renderLine, renderFace;
    bool pickPoint, pickLine, pickFace;
    bool transparentize;
    bool rayTrace;  // the ray is shown
    bool axis;      // the axis cross and its labels are shown
    RayDisplay rayState;
    const float* ray;  // incident direction, outgoing direction, surface point
    // 0, item type, group, position in the group, corner or edge: what is highlighted.
    const std::array<std::uint32_t, 10>& pickResult;
    // x, y, z of the points of the ray's path through a gradient-index medium (empty: none).
    const std::vector<float>& mediumPath;
};

class CModelScene {
public:
    CModelScene();

    // A new context (the first, or one made again after the view moved): nothing compiled in
    // an earlier one is valid in it.
    void Initialize();
    // The viewport, projection and camera for a view of the state's size.
    void Resize(const SceneState& state);
    void Paint(const SceneState& state);
    // Draws the pickable layers in selection mode around view pixel (x, y) (y down) and
    // chooses among the hits.
    PickChoice Pick(const SceneState& state, int x, int y) const;

    // Ids of the compiled layers (point, line, face); 0 means to be compiled.
    const std::array<unsigned, 3>& ModelLists() const { return m_modelLists; }
    bool HasModelLists() const;
    int ModelListCompilations() const { return m_listCompilations; }
    bool HasOverlay() const { return m_overlayList != 0; }

    // Deletes the model's layers, the overlay (axis cross and ray) or every list and label.
    void DeleteModelLists();
    void DeleteOverlay();
    void DeleteAll();
    // Without a context: the lists went with it, or are deleted where it is current again.
    // They are compiled anew at the next paint.
    void ForgetModelLists() { m_modelLists = {0, 0, 0}; }
    void ForgetOverlay() { m_overlayList = 0; }

private:
    void ApplyProjection(const SceneState& state) const;
    void ApplyCamera(const SceneState& state) const;
    void DrawModel(const SceneState& state);
    void DrawModelForPick(const SceneState& state) const;
    void CompileOverlay(const SceneState& state);
    static void DrawMediumPath(const std::vector<float>& points);
    void CompileLayer(const SceneState& state, int layer);
    void DrawHighlight(const SceneState& state, std::uint32_t type) const;
    void ReleaseLabels();

    std::array<unsigned, 3> m_modelLists{0, 0, 0};  // point, line, face
    unsigned m_overlayList = 0;
    int m_listCompilations = 0;
    COGLJText m_labelX, m_labelY, m_labelZ, m_help;
};

}  // namespace velmor
