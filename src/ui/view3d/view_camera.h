// The camera of the 3D window on plain numbers: the trackball that turns the model, the pan and
// zoom of a drag or the wheel, and the view box of the projection. No widget and no OpenGL, so
// every step can be checked without a display.
#pragma once

#include <array>

#include "core/view3d/model.h"

namespace velmor {

// A 4 x 4 matrix as OpenGL stores it: column after column.
using Matrix4 = std::array<float, 16>;
constexpr Matrix4 kIdentityMatrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// glRotatef's matrix: a turn by `angleDegrees` about `axis` (any length), counter-clockwise
// seen from the axis' tip. An axis shorter than 1e-4 gives the identity.
Matrix4 RotationMatrix(float angleDegrees, const Vec3f& axis);

// a b: the matrix that applies b first, then a.
Matrix4 MultiplyMatrices(const Matrix4& a, const Matrix4& b);

// Pixel (px, py) of a width x height view (y down) on the trackball: a unit vector whose x and
// y grow to the right and up from the view's centre (half the view's width or height is 0.5
// before scaling to unit length) and whose z falls from 1 at the centre to 0 at distance 1.
Vec3f TrackballVector(int px, int py, int width, int height);

// A turn of the model about an axis fixed to the screen.
struct TrackballTurn {
    float angleDegrees = 0;
    Vec3f axis;  // not of unit length; (0, 0, 0) for no turn
};

// The turn of a drag from trackball vector `from` to `to`: about from x to, by 180 degrees per
// unit of distance between them.
TrackballTurn TurnBetween(const Vec3f& from, const Vec3f& to);

// What the view shows: the orthographic camera looks along -z at the pan target.
struct ViewCamera {
    static constexpr float kDefaultZoom = 10.0f;
    // The zoom is kept finite and above zero: a zoom of 0 could never grow again and would
    // divide the projection by zero.
    static constexpr float kMinZoom = 1.0e-6f;
    static constexpr float kMaxZoom = 1.0e6f;
    // The camera stands this far in front of the pan target, on the +z side.
    static constexpr double kEyeDistance = 500.0;

    float zoom = kDefaultZoom;                // pixels per model unit
    std::array<float, 3> panTarget{0, 0, 0};  // the model point at the view's centre
    Matrix4 rotation = kIdentityMatrix;       // the model's accumulated turn

    // Puts `turn` in front of the accumulated one.
    void Turn(const TrackballTurn& turn);
    // Moves the target so that the model follows a drag by (dx, dy) pixels (y down).
    void Pan(int dx, int dy);
    // A drag by `up` pixels towards the top doubles the zoom every 500 pixels.
    void Zoom(int up);
};

// The pixels of a zoom drag that a wheel turn by `delta` (120 a notch) stands for: 40 a notch,
// a factor of 2^0.08.
int WheelZoomPixels(int delta);

// The box glOrtho is given: the view's pixels at the zoom's pixels per unit, centred on the
// line of sight, depth 0.1 to 1000 in front of the camera.
struct ViewBox {
    double left, right, bottom, top, zNear, zFar;
};
ViewBox ViewBoxOf(int width, int height, float zoom);

}  // namespace velmor
