// The 3D window's camera arithmetic without a display: rotation matrices, the trackball, pan,
// zoom and the view box. (RotationMatrix against OpenGL's own glRotatef: dialog_3d_gl_test.)
#include "ui/view3d/view_camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmor {
namespace {

// m v for a direction (w = 0).
Vec3f Apply(const Matrix4& m, const Vec3f& v) {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}
float Dot(const Vec3f& a, const Vec3f& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
float Length(const Vec3f& v) {
    return std::sqrt(Dot(v, v));
}
void ExpectMatrixNear(const Matrix4& got, const Matrix4& want, const char* what) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], want[i], 1e-6f) << what << ", element " << i;
}
Matrix4 Transposed(const Matrix4& m) {
    Matrix4 t;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) t[c * 4 + r] = m[r * 4 + c];
    return t;
}

TEST(ViewCameraTest, RotationMatrixTurnsTheAxesCounterClockwiseAsGlRotateDoes) {
    // Column by column: the images of x, y and z, then the unmoved w.
    ExpectMatrixNear(RotationMatrix(90, {0, 0, 1}),
                     {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, "90 about z");
    ExpectMatrixNear(RotationMatrix(90, {1, 0, 0}),
                     {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1}, "90 about x");
    ExpectMatrixNear(RotationMatrix(90, {0, 1, 0}),
                     {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}, "90 about y");
    // 120 degrees about the diagonal (any length) carries x to y, y to z and z to x.
    ExpectMatrixNear(RotationMatrix(120, {3, 3, 3}),
                     {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1}, "120 about the diagonal");
    ExpectMatrixNear(RotationMatrix(-90, {0, 0, 7}), RotationMatrix(90, {0, 0, -1}),
                     "a turn back is a turn about the opposite axis");
    // No axis to turn about: the identity, never a division by a zero length.
    EXPECT_EQ(RotationMatrix(45, {0, 0, 0}), kIdentityMatrix);
    EXPECT_EQ(RotationMatrix(45, {5e-5f, 0, 0}), kIdentityMatrix);
    EXPECT_EQ(RotationMatrix(0, {1, 2, 3}), kIdentityMatrix);
}

TEST(ViewCameraTest, RotationComposedWithItsInverseIsTheIdentity) {
    for (const Vec3f axis : {Vec3f{1, 0, 0}, Vec3f{0.3f, -2, 0.7f}, Vec3f{-1, -1, 4}})
        for (float angle : {1.0f, 37.5f, 180.0f, 254.6f, -400.0f}) {
            const Matrix4 m = RotationMatrix(angle, axis);
            ExpectMatrixNear(MultiplyMatrices(m, RotationMatrix(-angle, axis)), kIdentityMatrix,
                             "m and its inverse");
            ExpectMatrixNear(MultiplyMatrices(m, Transposed(m)), kIdentityMatrix, "m m^T");
            // The axis stays where it is.
            const Vec3f turned = Apply(m, axis);
            EXPECT_NEAR(turned.x, axis.x, 1e-5f);
            EXPECT_NEAR(turned.y, axis.y, 1e-5f);
            EXPECT_NEAR(turned.z, axis.z, 1e-5f);
        }
    // MultiplyMatrices(a, b) applies b first: y about x to z, then z stays under a turn about z;
    // the other order sends y to -x first.
    const Matrix4 aboutX = RotationMatrix(90, {1, 0, 0}), aboutZ = RotationMatrix(90, {0, 0, 1});
    EXPECT_NEAR(Apply(MultiplyMatrices(aboutZ, aboutX), {0, 1, 0}).z, 1.0f, 1e-6f);
    EXPECT_NEAR(Apply(MultiplyMatrices(aboutX, aboutZ), {0, 1, 0}).x, -1.0f, 1e-6f);
}

TEST(ViewCameraTest, TrackballVectorIsAUnitVectorFacingTheViewerAtTheCentre) {
    const Vec3f centre = TrackballVector(300, 270, 600, 540);
    EXPECT_FLOAT_EQ(centre.x, 0);
    EXPECT_FLOAT_EQ(centre.y, 0);
    EXPECT_FLOAT_EQ(centre.z, 1);
    // Right of and above the centre (pixels count down) is +x and +y.
    const Vec3f upRight = TrackballVector(450, 100, 600, 540);
    EXPECT_GT(upRight.x, 0);
    EXPECT_GT(upRight.y, 0);
    // Anywhere, even far outside the view or in a view of no size, a finite unit vector.
    for (const auto [px, py, w, h] :
         {std::array{0, 0, 600, 540}, std::array{600, 540, 600, 540},
          std::array{-100000, 90000, 600, 540}, std::array{5, 5, 0, 0}, std::array{0, 0, -3, 1}}) {
        const Vec3f v = TrackballVector(px, py, w, h);
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
        EXPECT_NEAR(Length(v), 1.0f, 1e-6f) << px << ", " << py;
        EXPECT_GE(v.z, -1e-6f);  // never turned away from the viewer
    }
}

TEST(ViewCameraTest, DragTurnsAboutAnAxisAcrossTheDragAndTheFrontFollowsTheMouse) {
    constexpr int kW = 600, kH = 540;
    const Vec3f from = TrackballVector(kW / 2, kH / 2, kW, kH);
    for (const auto [dx, dy] : {std::array{60, 0}, std::array{-60, 0}, std::array{0, 45},
                                std::array{0, -45}, std::array{40, 30}, std::array{-25, 50}}) {
        const Vec3f to = TrackballVector(kW / 2 + dx, kH / 2 + dy, kW, kH);
        const TrackballTurn turn = TurnBetween(from, to);
        // The ball is stretched to the view: the drag in fractions of its width and height, y up.
        const Vec3f drag{static_cast<float>(dx) / kW, static_cast<float>(-dy) / kH, 0};
        EXPECT_NEAR(turn.axis.z, 0.0f, 1e-6f) << dx << ", " << dy;
        EXPECT_NEAR(Dot(turn.axis, drag) / Length(turn.axis) / Length(drag), 0.0f, 1e-6f);
        EXPECT_GT(turn.angleDegrees, 0.0f);
        ViewCamera camera;
        camera.Turn(turn);
        const Vec3f front = Apply(camera.rotation, {0, 0, 1});
        EXPECT_GT(Dot(front, drag), 0.0f) << dx << ", " << dy;  // it moves the way of the drag
    }
    // Off the centre too the axis stands across the drag on the ball.
    const Vec3f a = TrackballVector(100, 80, kW, kH), b = TrackballVector(130, 60, kW, kH);
    const TrackballTurn turn = TurnBetween(a, b);
    EXPECT_NEAR(Dot(turn.axis, Vec3f{b.x - a.x, b.y - a.y, b.z - a.z}), 0.0f, 1e-7f);
    // 180 degrees per unit of chord: a quarter of the ball is 180 sqrt(2) degrees.
    const TrackballTurn quarter = TurnBetween({0, 0, 1}, {1, 0, 0});
    EXPECT_NEAR(quarter.angleDegrees, 180.0f * std::sqrt(2.0f), 1e-4f);
    EXPECT_NEAR(quarter.axis.y, 1.0f, 1e-6f);
}

TEST(ViewCameraTest, EachTurnIsAboutAnAxisFixedToTheScreen) {
    ViewCamera camera;
    camera.Turn({90, {1, 0, 0}});  // the model's y axis now points at the viewer
    camera.Turn({90, {0, 1, 0}});  // and then, turned about the screen's y, to the right
    const Vec3f modelY = Apply(camera.rotation, {0, 1, 0});
    EXPECT_NEAR(modelY.x, 1.0f, 1e-6f);
    EXPECT_NEAR(modelY.z, 0.0f, 1e-6f);
}

TEST(ViewCameraTest, DragOfNoLengthLeavesTheTurnAsItIs) {
    ViewCamera camera;
    camera.Turn(
        TurnBetween(TrackballVector(300, 270, 600, 540), TrackballVector(340, 200, 600, 540)));
    const Matrix4 before = camera.rotation;
    const Vec3f v = TrackballVector(340, 200, 600, 540);
    const TrackballTurn none = TurnBetween(v, v);
    EXPECT_EQ(none.angleDegrees, 0.0f);
    camera.Turn(none);
    EXPECT_EQ(camera.rotation, before);  // no NaN, not even a rounding
    camera.Turn(TurnBetween({0, 0, 1}, {0, 0, 1}));
    EXPECT_EQ(camera.rotation, before);
}

TEST(ViewCameraTest, PanFollowsTheMouseAndZoomStaysFiniteAndAboveZero) {
    ViewCamera camera;
    camera.Pan(30, 20);  // right and down by 3 and 2 units at 10 pixels a unit
    EXPECT_FLOAT_EQ(camera.panTarget[0], -3.0f);
    EXPECT_FLOAT_EQ(camera.panTarget[1], 2.0f);
    EXPECT_EQ(camera.panTarget[2], 0.0f);
    EXPECT_EQ(WheelZoomPixels(120), 40);
    EXPECT_EQ(WheelZoomPixels(-120), -40);
    camera.Zoom(WheelZoomPixels(120));
    EXPECT_NEAR(camera.zoom, 10.0f * std::pow(2.0f, 0.08f), 1e-5f);
    camera.Pan(30, 20);  // at the new zoom a pixel is less of the model
    EXPECT_NEAR(camera.panTarget[0], -3.0f - 30 / camera.zoom, 1e-6f);
    camera.Zoom(-40);
    EXPECT_NEAR(camera.zoom, 10.0f, 1e-5f);
    for (int i = 0; i < 2000; ++i) camera.Zoom(WheelZoomPixels(-120));
    EXPECT_EQ(camera.zoom, ViewCamera::kMinZoom);
    for (int i = 0; i < 4000; ++i) camera.Zoom(WheelZoomPixels(120));
    EXPECT_EQ(camera.zoom, ViewCamera::kMaxZoom);
    camera.Pan(1, 1);
    EXPECT_TRUE(std::isfinite(camera.panTarget[0]) && std::isfinite(camera.panTarget[1]));
}

TEST(ViewCameraTest, ViewBoxShowsTheZoomsPixelsPerUnitAndThePanTargetsPlane) {
    const ViewBox box = ViewBoxOf(600, 540, 10.0f);
    EXPECT_DOUBLE_EQ(box.left, -30);
    EXPECT_DOUBLE_EQ(box.right, 30);
    EXPECT_DOUBLE_EQ(box.bottom, -27);
    EXPECT_DOUBLE_EQ(box.top, 27);
    const ViewBox odd = ViewBoxOf(201, 151, 0.5f);  // centred on the line of sight
    EXPECT_DOUBLE_EQ(odd.left, -odd.right);
    EXPECT_DOUBLE_EQ((odd.right - odd.left) * 0.5, 201);
    EXPECT_DOUBLE_EQ((odd.top - odd.bottom) * 0.5, 151);
    // The camera stands in front of the target, which lies inside the depth range.
    EXPECT_GT(ViewCamera::kEyeDistance, box.zNear);
    EXPECT_LT(ViewCamera::kEyeDistance, box.zFar);
}

}  // namespace
}  // namespace velmor
