#include "ui/view3d/view_camera.h"

#include <algorithm>
#include <cmath>

namespace velmor {

namespace {

constexpr float kPi = 3.14159265358979f;

}  // namespace

Matrix4 RotationMatrix(float angleDegrees, const Vec3f& axis) {
    Matrix4 m = kIdentityMatrix;
    float x = axis.x, y = axis.y, z = axis.z;
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length <= 1.0e-4f) return m;
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
    return m;
}

Matrix4 MultiplyMatrices(const Matrix4& a, const Matrix4& b) {
    Matrix4 result{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[c * 4 + k];
            result[c * 4 + row] = sum;
        }
    return result;
}

Vec3f TrackballVector(int px, int py, int width, int height) {
    const float w = static_cast<float>(std::max(width, 1));
    const float h = static_cast<float>(std::max(height, 1));
    Vec3f v;
    v.x = (2.0f * px - w) / w * 0.5f;
    v.y = (h - 2.0f * py) / h * 0.5f;
    const float d = std::min(std::sqrt(v.x * v.x + v.y * v.y), 1.0f);
    v.z = std::cos(d * kPi / 2.0f);
    // Never 0: z is 1 at the centre, and where it falls to 0 the distance is 1.
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    v.x /= length;
    v.y /= length;
    v.z /= length;
    return v;
}

TrackballTurn TurnBetween(const Vec3f& from, const Vec3f& to) {
    const float dx = to.x - from.x, dy = to.y - from.y, dz = to.z - from.z;
    TrackballTurn turn;
    turn.angleDegrees = std::sqrt(dx * dx + dy * dy + dz * dz) * 180.0f;
    turn.axis = {from.y * to.z - from.z * to.y, from.z * to.x - from.x * to.z,
                 from.x * to.y - from.y * to.x};
    return turn;
}

void ViewCamera::Turn(const TrackballTurn& turn) {
    rotation = MultiplyMatrices(RotationMatrix(turn.angleDegrees, turn.axis), rotation);
}

void ViewCamera::Pan(int dx, int dy) {
    panTarget[0] -= dx / zoom;
    panTarget[1] += dy / zoom;
}

void ViewCamera::Zoom(int up) {
    zoom = std::clamp(zoom * std::pow(2.0f, up * 0.002f), kMinZoom, kMaxZoom);
}

int WheelZoomPixels(int delta) {
    return delta / 3;
}

ViewBox ViewBoxOf(int width, int height, float zoom) {
    return {-width / 2.0 / zoom,
            width / 2.0 / zoom,
            -height / 2.0 / zoom,
            height / 2.0 / zoom,
            0.1,
            1000.0};
}

}  // namespace velmor
