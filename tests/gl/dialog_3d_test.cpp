// The 3D window drawn for real (Mesa under Xvfb), checked on its framebuffer and pick results.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>

#include "gl_test_support.h"

namespace velmor::gltest {
namespace {

// A square of two triangles in the plane z = 0, away from the axis cross:
// A (-12, -12), B (-2, -12), C (-2, -2), D (-12, -2); faces (A, B, C) and (A, C, D).
const Vec3f kA{-12, -12, 0}, kB{-2, -12, 0}, kC{-2, -2, 0}, kD{-12, -2, 0};

void MakeSquare(CModel& model) {
    MakeTriangleModel({{kA, kB, kC}, {kA, kC, kD}}, model);
}

// Face colour of a face turned to the camera: the tracked colour lit by the white light from
// the camera and the default global ambient 0.2, plus the material's specular times the light's.
Rgb LitFace(const float colour[3], float alpha, const modelMaterial& material) {
    auto channel = [&](int i) {
        const float lit = std::min(1.0f, colour[i] * 1.2f + 0.2f * material.specular[i]);
        return static_cast<int>(std::lround(lit * alpha * 255.0f));
    };
    return {channel(0), channel(1), channel(2)};
}

const float kFaceColour[3] = {0.5f, 0.75f, 1.0f};
const float kTranslucentColour[3] = {0.6f, 0.8f, 1.0f};

// A lit face in the face colour, whatever its light: blue well above red.
bool IsFaceBlue(Rgb c) {
    return c.b > 60 && c.b > c.r + 30;
}

QPoint Centroid(const QPoint& a, const QPoint& b, const QPoint& c) {
    return QPoint((a.x() + b.x() + c.x()) / 3, (a.y() + b.y() + c.y()) / 3);
}

// ---------------------------------------------------------------------------------------------

TEST_F(Dialog3DTest, EmptyModelShowsOnlyAxesLabelsAndHelpLine) {
    const QImage image = Grab();
    const int w = image.width(), h = image.height();
    const auto isGrey = [](Rgb c) { return Near(c, {128, 128, 128}, 2); };
    int other = 0, top = h, left = w;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = PixelAt(image, QPoint(x, y));
            if (isGrey(c)) top = std::min(top, y), left = std::min(left, x);
            if (!IsBlack(c) && !IsYellow(c) && !isGrey(c)) ++other;
        }
    EXPECT_EQ(other, 0);
    EXPECT_EQ(qAlpha(image.pixel(5, h - 5)), 255);  // opaque black, not see-through

    // The x and y axes run 20 units from the origin; z points at the camera.
    EXPECT_TRUE(AnyNear(image, Pixel(10, 0), 1, IsYellow));
    EXPECT_TRUE(AnyNear(image, Pixel(0, 10), 1, IsYellow));
    EXPECT_FALSE(AnyNear(image, Pixel(-10, 0), 3, IsYellow));
    EXPECT_FALSE(AnyNear(image, Pixel(0, -10), 3, IsYellow));
    // Each label hangs below and right of its axis end; "z" from the origin.
    for (const QPoint end : {Pixel(20, 0), Pixel(0, 20), Pixel(0, 0)})
        EXPECT_GT(CountIn(image, QRect(end + QPoint(1, 2), QSize(20, 24)), IsYellow), 5);

    // The help line hangs from 5 % of the width and height inside the top-left corner.
    EXPECT_GE(top, h / 20 - 1);
    EXPECT_LE(top, h / 20 + 8);
    EXPECT_GE(left, w / 20 - 1);
    EXPECT_LE(left, w / 20 + 4);
    EXPECT_GT(CountIn(image, QRect(w / 20, h / 20, w, 30), isGrey), 100);

    // Nothing to pick.
    for (int id : {kCmdRenderPoint, kCmdRenderLine, kCmdPickPoint, kCmdPickLine, kCmdPickFace})
        dialog->RunCommand(id);
    dialog->PickAt(w / 2, h / 2);
    EXPECT_EQ(dialog->PickResult()[1], 0u);

    // Axis off takes the cross and its labels away.
    dialog->RunCommand(kCmdAxis);
    EXPECT_EQ(CountIn(Grab(), image.rect(), IsYellow), 0);
}

TEST_F(Dialog3DTest, FacesInTheirColourAndLinesWithLineOn) {
    CModel model;
    MakeSquare(model);
    dialog->SetModel(model, true);
    const Rgb face = LitFace(kFaceColour, 1.0f, modelMaterial::Surface());
    const QPoint inside0 = Centroid(Pixel(kA.x, kA.y), Pixel(kB.x, kB.y), Pixel(kC.x, kC.y));
    const QPoint inside1 = Centroid(Pixel(kA.x, kA.y), Pixel(kC.x, kC.y), Pixel(kD.x, kD.y));
    const QPoint edgeAB = Pixel(-7, -12) + QPoint(0, -1);
    QImage image = Grab();
    EXPECT_TRUE(Near(PixelAt(image, inside0), face, 3));
    EXPECT_TRUE(Near(PixelAt(image, inside1), face, 3));
    EXPECT_TRUE(IsBlack(PixelAt(image, Pixel(-15, -7))));  // beside the square
    EXPECT_FALSE(AnyNear(image, edgeAB, 2, [](Rgb c) { return Near(c, {0, 128, 128}, 3); }));

    dialog->RunCommand(kCmdRenderLine);
    image = Grab();
    EXPECT_TRUE(AnyNear(image, edgeAB, 2, [](Rgb c) { return Near(c, {0, 128, 128}, 3); }));
    EXPECT_TRUE(Near(PixelAt(image, inside0), face, 3));  // lines only on the edges

    dialog->RunCommand(kCmdRenderPoint);
    image = Grab();
    EXPECT_TRUE(AnyNear(image, Pixel(kB.x, kB.y), 3, [](Rgb c) {
        return Near(c, {128, 0, 128}, 3);
    }));

    dialog->RunCommand(kCmdRenderFace);  // faces off: only lines and points remain
    image = Grab();
    EXPECT_TRUE(IsBlack(PixelAt(image, inside0)));
}

TEST_F(Dialog3DTest, TransparentizeChangesFacesAndClearsHighlight) {
    CModel model;
    MakeSquare(model);
    dialog->SetModel(model, false);
    dialog->RunCommand(kCmdPickFace);
    dialog->PickAt(Pixel(-4, -10).x(), Pixel(-4, -10).y());
    ASSERT_EQ(dialog->PickResult()[1], kPickFace);
    const QPoint inside = Centroid(Pixel(kA.x, kA.y), Pixel(kB.x, kB.y), Pixel(kC.x, kC.y));
    EXPECT_TRUE(Near(PixelAt(Grab(), inside), {255, 255, 0}, 2));

    dialog->RunCommand(kCmdTransparentize);
    EXPECT_EQ(dialog->PickResult()[1], 0u);
    const Rgb translucent = LitFace(kTranslucentColour, 0.75f, modelMaterial::Surface());
    const QImage see = Grab();
    EXPECT_TRUE(Near(PixelAt(see, inside), translucent, 4));
    EXPECT_EQ(qAlpha(see.pixel(inside)), 255);  // blended with the black behind, opaque

    dialog->RunCommand(kCmdTransparentize);
    EXPECT_TRUE(
        Near(PixelAt(Grab(), inside), LitFace(kFaceColour, 1.0f, modelMaterial::Surface()), 3));
}

TEST_F(Dialog3DTest, RayStatesDrawTheirLines) {
    // Ray coming in along +x, meeting the surface at (-5, 5, 0); refracted along -y.
    const float ray[9] = {1, 0, 0, 0, -1, 0, -5, 5, 0};
    const QPoint before = Pixel(-15, 5);
    const auto columnsWithRed = [&](const QImage& image, float x0, float x1) {
        int red = 0, columns = 0;
        for (int x = Pixel(x0, 5).x(); x <= Pixel(x1, 5).x(); ++x, ++columns)
            for (int dy = -2; dy <= 2; ++dy)
                if (IsRed(PixelAt(image, QPoint(x, Pixel(0, 5).y() + dy)))) {
                    ++red;
                    break;
                }
        return std::pair<int, int>(red, columns);
    };

    dialog->SetRay(ray, 1);
    EXPECT_FALSE(AnyNear(Grab(), before, 2, IsRed));  // Ray Trace is off
    dialog->RunCommand(kCmdRayTrace);
    QImage image = Grab();
    EXPECT_TRUE(AnyNear(image, before, 2, IsRed));
    // Past the surface point the ray goes on dashed: some columns red, some not.
    auto [red, columns] = columnsWithRed(image, -4.5f, -0.5f);
    EXPECT_GT(red, columns / 4);
    EXPECT_LT(red, columns * 3 / 4);
    EXPECT_FALSE(AnyNear(image, Pixel(-5, -5), 3, IsBlue));

    dialog->SetRay(ray, 2);
    image = Grab();
    EXPECT_TRUE(AnyNear(image, before, 2, IsRed));
    EXPECT_EQ(columnsWithRed(image, -4.5f, -0.5f).first, 0);
    EXPECT_TRUE(AnyNear(image, Pixel(-5, -5), 2, IsBlue));
    EXPECT_FALSE(AnyNear(image, Pixel(-5, 10), 3, IsBlue));

    dialog->SetRay(ray, 0);
    image = Grab();
    EXPECT_FALSE(AnyNear(image, before, 2, IsRed));

    // Clearing the ray takes it off the picture at once.
    dialog->SetRay(ray, 2);
    EXPECT_TRUE(AnyNear(Grab(), before, 2, IsRed));
    dialog->ClearRay();
    EXPECT_EQ(dialog->RayState(), 0);
    EXPECT_FALSE(AnyNear(Grab(), before, 2, IsRed));
}

// Picking at the shared corner A with every layer drawn and pickable.
class Dialog3DPickTest : public Dialog3DTest {
protected:
    void SetUp() override {
        Dialog3DTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        CModel model;
        MakeSquare(model);
        dialog->SetModel(model, false);
        for (int id : {kCmdRenderPoint, kCmdRenderLine, kCmdPickPoint, kCmdPickLine, kCmdPickFace})
            dialog->RunCommand(id);
    }
    void PickCornerA() {
        const QPoint a = Pixel(kA.x, kA.y);
        dialog->PickAt(a.x(), a.y());
    }
    static bool IsMagenta(Rgb c) { return Near(c, {255, 0, 255}, 3); }
    static bool IsCyan(Rgb c) { return Near(c, {0, 255, 255}, 3); }
    static bool IsHighlightYellow(Rgb c) { return Near(c, {255, 255, 0}, 3); }
};

TEST_F(Dialog3DPickTest, PointWinsOverEdgeAndFaceAtTheSameDepth) {
    PickCornerA();
    const auto& pick = dialog->PickResult();
    EXPECT_EQ(pick[0], 0u);
    EXPECT_EQ(pick[1], kPickPoint);
    EXPECT_EQ(pick[2], 0u);  // group
    EXPECT_EQ(pick[3], 0u);  // first face of the group
    EXPECT_EQ(pick[4], 0u);  // corner A of (A, B, C)
    const QImage image = Grab();
    EXPECT_TRUE(AnyNear(image, Pixel(kA.x, kA.y), 2, IsMagenta));
    EXPECT_FALSE(AnyNear(image, Pixel(kB.x, kB.y), 6, IsMagenta));
}

TEST_F(Dialog3DPickTest, EdgeWinsOverFaceWithPointPickOff) {
    dialog->RunCommand(kCmdPickPoint);
    PickCornerA();
    const auto& pick = dialog->PickResult();
    ASSERT_EQ(pick[1], kPickLine);
    EXPECT_EQ(pick[2], 0u);
    EXPECT_EQ(pick[3], 0u);
    // Edges of (A, B, C) that meet at A: 0 (A to B) and 2 (C to A).
    ASSERT_TRUE(pick[4] == 0u || pick[4] == 2u);
    const QPoint middle = pick[4] == 0 ? Pixel(-7, -12) : Pixel(-7, -7);
    const QPoint otherEdge = Pixel(-2, -7);  // B to C, not picked
    const QImage image = Grab();
    EXPECT_TRUE(AnyNear(image, middle, 2, IsCyan));
    EXPECT_FALSE(AnyNear(image, otherEdge, 2, IsCyan));
    EXPECT_FALSE(AnyNear(image, Pixel(kA.x, kA.y), 6, IsMagenta));
}

TEST_F(Dialog3DPickTest, FaceWithOnlyFacePick) {
    dialog->RunCommand(kCmdPickPoint);
    dialog->RunCommand(kCmdPickLine);
    PickCornerA();
    const auto& pick = dialog->PickResult();
    ASSERT_EQ(pick[1], kPickFace);
    EXPECT_EQ(pick[2], 0u);
    EXPECT_EQ(pick[3], 0u);
    const QImage image = Grab();
    EXPECT_TRUE(IsHighlightYellow(
        PixelAt(image, Centroid(Pixel(kA.x, kA.y), Pixel(kB.x, kB.y), Pixel(kC.x, kC.y)))));
    EXPECT_FALSE(IsHighlightYellow(
        PixelAt(image, Centroid(Pixel(kA.x, kA.y), Pixel(kC.x, kC.y), Pixel(kD.x, kD.y)))));

    // The second face, picked inside, through the middle button.
    const QPoint inside1 = Centroid(Pixel(kA.x, kA.y), Pixel(kC.x, kC.y), Pixel(kD.x, kD.y));
    QTest::mouseClick(View(), Qt::MiddleButton, Qt::NoModifier, inside1);
    EXPECT_EQ(dialog->PickResult()[1], kPickFace);
    EXPECT_EQ(dialog->PickResult()[3], 1u);
    EXPECT_TRUE(IsHighlightYellow(PixelAt(Grab(), inside1)));
}

TEST_F(Dialog3DPickTest, PickingNothingKeepsTheOldHighlight) {
    PickCornerA();
    const auto before = dialog->PickResult();
    ASSERT_EQ(before[1], kPickPoint);

    const QPoint empty = Pixel(10, -10);
    dialog->PickAt(empty.x(), empty.y());
    EXPECT_EQ(dialog->PickResult(), before);

    // A layer that is not drawn cannot be picked, even with its pick flag on.
    for (int id : {kCmdRenderPoint, kCmdRenderLine, kCmdRenderFace}) dialog->RunCommand(id);
    PickCornerA();
    EXPECT_EQ(dialog->PickResult(), before);
    for (int id : {kCmdRenderPoint, kCmdRenderLine, kCmdRenderFace}) dialog->RunCommand(id);
    EXPECT_TRUE(AnyNear(Grab(), Pixel(kA.x, kA.y), 2, IsMagenta));

    // Every pick flag off: nothing is picked either.
    for (int id : {kCmdPickPoint, kCmdPickLine, kCmdPickFace}) dialog->RunCommand(id);
    const QPoint inside = Centroid(Pixel(kA.x, kA.y), Pixel(kC.x, kC.y), Pixel(kD.x, kD.y));
    dialog->PickAt(inside.x(), inside.y());
    EXPECT_EQ(dialog->PickResult(), before);
}

TEST_F(Dialog3DTest, WheelZoomsByOneNotchAndResetRestores) {
    const QPoint centre(View()->width() / 2, View()->height() / 2);
    SendWheel(View(), centre, 120);
    EXPECT_NEAR(dialog->Zoom(), 10.0f * std::pow(2.0f, 0.08f), 1e-4);
    EXPECT_NEAR(dialog->Zoom(), 10.57f, 0.005);
    SendWheel(View(), centre, -120);
    EXPECT_NEAR(dialog->Zoom(), 10.0f, 1e-4);
    SendWheel(View(), centre, 120);

    // The picture follows: a point 10 units right of the origin moves out by the factor.
    CModel model;
    MakeTriangleModel({{Vec3f{9, -1, 0}, Vec3f{11, -1, 0}, Vec3f{10, -3, 0}}}, model);
    dialog->SetModel(model, false);
    const QPoint tip = Pixel(10, -2.5f);
    EXPECT_FALSE(IsBlack(PixelAt(Grab(), tip)));

    dialog->RunCommand(kCmdZoom);  // zoom off: the wheel does nothing
    SendWheel(View(), centre, 120);
    EXPECT_NEAR(dialog->Zoom(), 10.57f, 0.005);

    dialog->RunCommand(kCmdReset);
    EXPECT_EQ(dialog->Zoom(), 10.0f);
    EXPECT_EQ(dialog->Model().faces.size(), 1u);  // Reset keeps the model

    // However far the wheel turns, the zoom stays finite and above zero, and comes back.
    dialog->RunCommand(kCmdZoom);
    for (int i = 0; i < 2000; ++i) SendWheel(View(), centre, -120);
    EXPECT_GT(dialog->Zoom(), 0.0f);
    for (int i = 0; i < 400; ++i) SendWheel(View(), centre, 120);
    EXPECT_GT(dialog->Zoom(), 1.0e-6f * 1000);
    for (int i = 0; i < 4000; ++i) SendWheel(View(), centre, 120);
    EXPECT_TRUE(std::isfinite(dialog->Zoom()));
    EXPECT_FALSE(AnyNear(Grab(), QPoint(5, 5), 0, [](Rgb c) { return !IsBlack(c); }));
}

TEST_F(Dialog3DTest, RightDragPansWithTheMouse) {
    CModel model;
    MakeSquare(model);
    dialog->SetModel(model, false);
    const QPoint inside = Centroid(Pixel(kA.x, kA.y), Pixel(kB.x, kB.y), Pixel(kC.x, kC.y));
    const QPoint start(100, 100);
    SendMouse(View(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, start);
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton, start + QPoint(30, 20));
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton,
              start + QPoint(30, 20));
    EXPECT_NEAR(dialog->PanTarget()[0], -3.0f, 1e-5);
    EXPECT_NEAR(dialog->PanTarget()[1], 2.0f, 1e-5);
    EXPECT_EQ(dialog->PanTarget()[2], 0.0f);
    const QImage image = Grab();
    EXPECT_FALSE(IsBlack(PixelAt(image, inside + QPoint(30, 20))));

    // A move without a button held does nothing.
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::NoButton, start);
    EXPECT_NEAR(dialog->PanTarget()[0], -3.0f, 1e-5);

    dialog->RunCommand(kCmdPan);
    SendMouse(View(), QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, start);
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::RightButton, start + QPoint(30, 20));
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, start);
    EXPECT_NEAR(dialog->PanTarget()[0], -3.0f, 1e-5);

    dialog->RunCommand(kCmdReset);
    EXPECT_EQ(dialog->PanTarget()[0], 0.0f);
    EXPECT_EQ(dialog->PanTarget()[1], 0.0f);
}

TEST_F(Dialog3DTest, LeftDragTurnsAboutTheScreenAxis) {
    const int w = View()->width(), h = View()->height();
    const QPoint centre(w / 2, h / 2);
    const int dx = 50;
    SendMouse(View(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, centre + QPoint(dx, 0));
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton,
              centre + QPoint(dx, 0));

    // Trackball vectors of the two points; the turn is about +y (screen up) by |v1 - v0| * 180.
    const auto trackball = [&](int px, int py) {
        float v[3] = {(2.0f * px - w) / w * 0.5f, (h - 2.0f * py) / h * 0.5f, 0};
        const float d = std::min(std::sqrt(v[0] * v[0] + v[1] * v[1]), 1.0f);
        v[2] = std::cos(d * 3.14159265f / 2);
        const float n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        return std::array<float, 3>{v[0] / n, v[1] / n, v[2] / n};
    };
    const auto v0 = trackball(centre.x(), centre.y());
    const auto v1 = trackball(centre.x() + dx, centre.y());
    const float angle = std::sqrt(std::pow(v1[0] - v0[0], 2.0f) + std::pow(v1[1] - v0[1], 2.0f) +
                                  std::pow(v1[2] - v0[2], 2.0f)) *
                        180.0f * 3.14159265f / 180.0f;
    const auto& m = dialog->ViewRotation();
    EXPECT_NEAR(m[0], std::cos(angle), 1e-4);  // x row x
    EXPECT_NEAR(m[8], std::sin(angle), 1e-4);  // a turn about +y takes z towards +x
    EXPECT_NEAR(m[2], -std::sin(angle), 1e-4);
    EXPECT_NEAR(m[5], 1.0f, 1e-5);
    EXPECT_GT(angle, 0.2f);

    // The second turn goes in front of the first: turning back returns to identity.
    SendMouse(View(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton,
              centre + QPoint(dx, 0));
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, centre);
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-4) << i;

    dialog->RunCommand(kCmdSpin);
    SendMouse(View(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, centre + QPoint(dx, 30));
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    EXPECT_NEAR(m[0], 1.0f, 1e-4);
}

TEST_F(Dialog3DTest, TurnedModelShowsItsSide) {
    // A face standing in the x-z plane is edge-on to the camera until the model is turned.
    CModel model;
    MakeTriangleModel({{Vec3f{-15, 0, -10}, Vec3f{-5, 0, -10}, Vec3f{-10, 0, 10}}}, model);
    dialog->SetModel(model, false);
    dialog->RunCommand(kCmdAxis);
    const QImage flat = Grab();
    EXPECT_LT(CountIn(flat, flat.rect(), IsFaceBlue), 250);
    const QPoint centre(View()->width() / 2, View()->height() / 2);
    SendMouse(View(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, centre + QPoint(0, 60));
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    const QImage turned = Grab();
    EXPECT_GT(CountIn(turned, turned.rect(), IsFaceBlue), 1000);
}

TEST_F(Dialog3DTest, ModelListsAreCompiledOncePerModel) {
    CModel model;
    MakeSquare(model);
    dialog->SetModel(model, false);
    Grab();
    const int afterFirst = dialog->ModelListCompilations();
    EXPECT_NE(dialog->ModelLists()[2], 0u);
    EXPECT_EQ(dialog->ModelLists()[1], 0u);  // lines are not drawn, so not compiled

    // Turning, panning and zooming only replay the lists.
    const QPoint centre(View()->width() / 2, View()->height() / 2);
    SendMouse(View(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    for (int i = 1; i <= 3; ++i) {
        SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton,
                  centre + QPoint(i * 7, i));
        Grab();
    }
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    SendWheel(View(), centre, 120);
    Grab();
    EXPECT_EQ(dialog->ModelListCompilations(), afterFirst);

    dialog->RunCommand(kCmdRenderLine);
    Grab();
    EXPECT_EQ(dialog->ModelListCompilations(), afterFirst + 1);

    // Transparentize and a new model drop the compiled layers.
    dialog->RunCommand(kCmdTransparentize);
    EXPECT_EQ(dialog->ModelLists()[2], 0u);
    Grab();
    EXPECT_EQ(dialog->ModelListCompilations(), afterFirst + 3);
    dialog->SetModel(model, false);
    EXPECT_EQ(dialog->ModelLists()[2], 0u);
    EXPECT_EQ(dialog->ModelLists()[1], 0u);
}

TEST_F(Dialog3DTest, SetModelKeepsTheViewAndSetsRayTrace) {
    CModel model;
    MakeSquare(model);
    SendWheel(View(), QPoint(50, 50), 120);
    dialog->SetModel(model, true);
    EXPECT_TRUE(dialog->RayTraceOn());
    EXPECT_TRUE(dialog->Action(kCmdRayTrace)->isChecked());
    EXPECT_NEAR(dialog->Zoom(), 10.57f, 0.005);
    EXPECT_EQ(dialog->Model().faces.size(), 2u);
    model.Clear();  // the window holds its own copy
    EXPECT_EQ(dialog->Model().faces.size(), 2u);
    EXPECT_EQ(dialog->Model().groups.size(), 1u);

    dialog->SetModel(dialog->Model(), false);  // copying from itself keeps the model
    EXPECT_FALSE(dialog->RayTraceOn());
    EXPECT_FALSE(dialog->Action(kCmdRayTrace)->isChecked());

    dialog->ClearModelAndResetView();
    EXPECT_TRUE(dialog->Model().faces.empty());
    EXPECT_EQ(dialog->Zoom(), 10.0f);
}

TEST_F(Dialog3DTest, ClearModelCommandEmptiesAndResets) {
    CModel model;
    MakeSquare(model);
    dialog->SetModel(model, false);
    dialog->RunCommand(kCmdPickFace);
    dialog->PickAt(Pixel(-4, -10).x(), Pixel(-4, -10).y());
    ASSERT_EQ(dialog->PickResult()[1], kPickFace);
    SendWheel(View(), QPoint(50, 50), -120);
    dialog->Action(kCmdClearModel)->trigger();
    EXPECT_TRUE(dialog->Model().faces.empty());
    EXPECT_TRUE(dialog->Model().groups.empty());
    EXPECT_EQ(dialog->Zoom(), 10.0f);
    EXPECT_EQ(dialog->PickResult()[1], 0u);
    const QImage image = Grab();
    EXPECT_EQ(CountIn(image, image.rect(), IsFaceBlue), 0);
}

TEST_F(Dialog3DTest, ModelWithBrokenIndicesDrawsTheRest) {
    CModel model;
    MakeSquare(model);
    model.faces[1].vertex[2] = 999;        // names a vertex that does not exist
    model.faces[0].faceNormal = -1;        // no face normal: the triangle's own is used
    model.groups[0]->faces.push_back(57);  // names a face that does not exist
    dialog->SetModel(model, false);
    for (int id : {kCmdRenderPoint, kCmdRenderLine, kCmdPickPoint, kCmdPickLine, kCmdPickFace})
        dialog->RunCommand(id);
    const QImage image = Grab();
    const QPoint inside0 = Centroid(Pixel(kA.x, kA.y), Pixel(kB.x, kB.y), Pixel(kC.x, kC.y));
    const QPoint inside1 = Centroid(Pixel(kA.x, kA.y), Pixel(kC.x, kC.y), Pixel(kD.x, kD.y));
    EXPECT_TRUE(
        Near(PixelAt(image, inside0), LitFace(kFaceColour, 1.0f, modelMaterial::Surface()), 3));
    EXPECT_TRUE(IsBlack(PixelAt(image, inside1)));
    dialog->PickAt(Pixel(kD.x, kD.y).x(), Pixel(kD.x, kD.y).y());
    EXPECT_EQ(dialog->PickResult()[1], 0u);
}

TEST_F(Dialog3DTest, VertexNormalsShadeCorners) {
    // An OBJ-like model with vertex normals: one corner tilted away from the light is darker;
    // a corner without a normal uses the face's.
    CModel model;
    model.vertices = {kA, kB, kC};
    model.vertexNormals = {{0, 0, 1}, {1, 0, 0.2f}};
    modelFace face;
    face.vertex[0] = 0, face.vertex[1] = 1, face.vertex[2] = 2;
    face.vertexNormal[0] = 0, face.vertexNormal[1] = 1, face.vertexNormal[2] = -1;
    face.faceNormal = 0;
    model.faceNormals = {{0, 0, 100}};
    model.faces = {face};
    model.FindOrAddGroup("(NoName)")->faces = {0};
    dialog->SetModel(model, false);
    const QImage image = Grab();
    const Rgb nearA = PixelAt(image, Pixel(-11, -11.5f));
    const Rgb nearB = PixelAt(image, Pixel(-2.5f, -11.5f));
    const Rgb nearC = PixelAt(image, Pixel(-2.5f, -3));
    EXPECT_GT(nearA.r, nearB.r + 40);
    EXPECT_NEAR(nearA.r, nearC.r, 8);
}

TEST_F(Dialog3DTest, MenuTextsAndCheckMarks) {
    const struct {
        int id;
        const char* text;
        bool checkable;
        bool checked;
    } items[] = {
        {kCmdOpen, "Open ...", false, false},
        {kCmdHide, "Hide", false, false},
        {kCmdClearModel, "Clear 3D Model", false, false},
        {kCmdSpin, "Spin  (L Button)", true, true},
        {kCmdPan, "Pan  (R Button)", true, true},
        {kCmdZoom, "Zoom  (Wheel)", true, true},
        {kCmdPickPoint, "Point", true, false},
        {kCmdPickLine, "Line", true, false},
        {kCmdPickFace, "Face", true, false},
        {kCmdReset, "Reset", false, false},
        {kCmdRenderPoint, "Point", true, false},
        {kCmdRenderLine, "Line", true, false},
        {kCmdRenderFace, "Face", true, true},
        {kCmdRayTrace, "Ray Trace", true, false},
        {kCmdAxis, "Axis", true, true},
        {kCmdTransparentize, "Transparentize", true, false},
    };
    for (const auto& item : items) {
        QAction* action = dialog->Action(item.id);
        ASSERT_NE(action, nullptr) << item.id;
        EXPECT_EQ(action->text(), QString::fromLatin1(item.text)) << item.id;
        EXPECT_EQ(action->isCheckable(), item.checkable) << item.id;
        EXPECT_EQ(action->isChecked(), item.checked) << item.id;
    }
    EXPECT_EQ(dialog->Action(kCmdPickPoint)->parent(), dialog->Action(kCmdPickFace)->parent());
    const auto* pickMenu = qobject_cast<QMenu*>(dialog->Action(kCmdPickPoint)->parent());
    ASSERT_NE(pickMenu, nullptr);
    EXPECT_EQ(pickMenu->title(), QStringLiteral("Pick  (M Button)"));
    QStringList titles;
    for (QAction* top : dialog->MenuBar()->actions()) titles << top->text();
    EXPECT_EQ(titles, QStringList({"File", "Mouse", "Render"}));

    // Choosing a toggle from the menu flips it and its check mark, both ways.
    dialog->Action(kCmdRenderLine)->trigger();
    EXPECT_TRUE(dialog->Action(kCmdRenderLine)->isChecked());
    dialog->Action(kCmdRenderLine)->trigger();
    EXPECT_FALSE(dialog->Action(kCmdRenderLine)->isChecked());
    EXPECT_FALSE(dialog->RunCommand(12345));
}

TEST_F(Dialog3DTest, EnterEscapeAndClosingOnlyHide) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Shading 3D"));
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        dialog->show();
        ASSERT_TRUE(dialog->isVisible());
        QTest::keyClick(dialog.get(), static_cast<Qt::Key>(key));
        EXPECT_FALSE(dialog->isVisible()) << key;
    }
    dialog->show();
    EXPECT_FALSE(dialog->close());  // refused: the window only hides
    EXPECT_FALSE(dialog->isVisible());
    dialog->show();
    dialog->RunCommand(kCmdHide);
    EXPECT_FALSE(dialog->isVisible());

    // Shown again, the window still draws.
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    EXPECT_TRUE(AnyNear(Grab(), Pixel(10, 0), 1, IsYellow));
}

}  // namespace
}  // namespace velmor::gltest
