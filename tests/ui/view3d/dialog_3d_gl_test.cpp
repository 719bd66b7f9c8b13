// The 3D window drawn for real (Mesa under Xvfb), checked on its framebuffer and pick results.
#include <GL/gl.h>

#include <QAction>
#include <QMenu>
#include <cmath>

#include "gl_test_support.h"

namespace velmor::gltest {
namespace {

// A square of two triangles in the plane z = 0, away from the axis cross:
// A (-12, -12), B (-2, -12), C (-2, -2), D (-12, -2); faces (A, B, C) and (A, C, D).
const Vec3f kA{-12, -12, 0}, kB{-2, -12, 0}, kC{-2, -2, 0}, kD{-12, -2, 0};
const QPointF kIn0(-5, -9), kIn1(-9, -5);  // inside the two faces

// A face turned to the camera: the tracked colour lit by the white light from the camera and
// the global ambient 0.2, plus the material's specular times the light's, times alpha.
Rgb LitFace(float r, float g, float b, float alpha) {
    const auto& specular = modelMaterial::Surface().specular;
    const auto ch = [&](float c, int i) {
        return static_cast<int>(
            std::lround(std::min(1.0f, c * 1.2f + 0.2f * specular[i]) * alpha * 255));
    };
    return {ch(r, 0), ch(g, 1), ch(b, 2)};
}
const Rgb kFace = LitFace(0.5f, 0.75f, 1.0f, 1.0f);

const auto IsRed = [](Rgb c) { return c.r > 200 && c.g < 60 && c.b < 60; };
const auto IsBlue = [](Rgb c) { return c.r < 60 && c.g < 60 && c.b > 200; };
const auto IsFaceBlue = [](Rgb c) { return c.b > 60 && c.b > c.r + 30; };
const auto IsMagenta = [](Rgb c) { return Near(c, {255, 0, 255}); };
const auto IsCyan = [](Rgb c) { return Near(c, {0, 255, 255}); };
const auto IsHighlight = [](Rgb c) { return Near(c, {255, 255, 0}); };

class Dialog3DSquareTest : public Dialog3DTest {
protected:
    void SetUp() override {
        Dialog3DTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        MakeTriangleModel({{kA, kB, kC}, {kA, kC, kD}}, square);
        dialog->SetModel(square, false);
    }
    CModel square;
};

TEST_F(Dialog3DTest, EmptyModelShowsOnlyAxesLabelsAndHelpLine) {
    const QImage image = Grab();
    const int w = image.width(), h = image.height();
    const auto isGrey = [](Rgb c) { return Near(c, {128, 128, 128}, 2); };
    EXPECT_EQ(CountIn(image, image.rect(),
                      [&](Rgb c) { return !IsBlack(c) && !IsYellow(c) && !isGrey(c); }),
              0);
    EXPECT_EQ(qAlpha(image.pixel(5, h - 5)), 255);             // opaque black, not see-through
    EXPECT_TRUE(AnyNear(image, Pixel({10, 0}), 1, IsYellow));  // x and y axes; z at the camera
    EXPECT_TRUE(AnyNear(image, Pixel({0, 10}), 1, IsYellow) &&
                !AnyNear(image, Pixel({-10, 0}), 3, IsYellow));
    EXPECT_GT(CountIn(image, QRect(Pixel({20, 0}) + QPoint(1, 2), QSize(20, 24)), IsYellow), 5);
    // The help line hangs from 5 % of the width and height inside the top-left corner.
    EXPECT_EQ(CountIn(image, QRect(0, 0, w, h / 20 - 1), isGrey), 0);
    EXPECT_EQ(CountIn(image, QRect(0, 0, w / 20 - 1, h), isGrey), 0);
    EXPECT_GT(CountIn(image, QRect(w / 20, h / 20, w, 30), isGrey), 100);
    dialog->RunCommand(kCmdAxis);  // Axis off takes the cross and its labels away
    EXPECT_EQ(CountIn(Grab(), image.rect(), IsYellow), 0);
}

TEST_F(Dialog3DSquareTest, FaceLineAndPointColoursAndTransparentize) {
    const QPoint edgeAB = Pixel({-7, -12}) + QPoint(0, -1);
    const auto isLine = [](Rgb c) { return Near(c, {0, 128, 128}); };
    QImage image = Grab();
    EXPECT_TRUE(Near(At(image, kIn0), kFace) && IsBlack(At(image, {-15, -7})));
    EXPECT_FALSE(AnyNear(image, edgeAB, 2, isLine));
    Run({kCmdRenderLine, kCmdRenderPoint});
    image = Grab();
    EXPECT_TRUE(AnyNear(image, edgeAB, 2, isLine));
    EXPECT_TRUE(Near(At(image, kIn0), kFace));  // lines only on the edges
    EXPECT_TRUE(AnyNear(image, Pixel({kB.x, kB.y}), 3, [](Rgb c) {
        return Near(c, {128, 0, 128});
    }));
    Run({kCmdRenderLine, kCmdRenderPoint, kCmdPickFace});

    PickAt(kIn0);  // Transparentize also drops the highlight
    EXPECT_TRUE(IsHighlight(At(Grab(), kIn0)));
    dialog->RunCommand(kCmdTransparentize);
    EXPECT_EQ(dialog->PickResult()[1], 0u);
    image = Grab();
    EXPECT_TRUE(Near(At(image, kIn0), LitFace(0.6f, 0.8f, 1.0f, 0.75f), 4));
    Run({kCmdTransparentize, kCmdRenderFace});
    EXPECT_TRUE(IsBlack(At(Grab(), kIn0)));
}

TEST_F(Dialog3DTest, RayStatesDrawTheirLines) {
    // Ray coming in along +x, meeting the surface at (-5, 5, 0); refracted along -y.
    const float ray[9] = {1, 0, 0, 0, -1, 0, -5, 5, 0};
    const QPoint before = Pixel({-15, 5});
    const int x0 = Pixel({-4.5f, 5}).x(), columns = Pixel({-0.5f, 5}).x() - x0 + 1;
    const auto redColumns = [&](const QImage& image) {  // past the surface point
        int red = 0;
        for (int x = x0; x < x0 + columns; ++x)
            red += CountIn(image, QRect(x, Pixel({0, 5}).y() - 2, 1, 5), IsRed) > 0;
        return red;
    };
    dialog->SetRay(ray, RayDisplay::kFailed);
    EXPECT_FALSE(AnyNear(Grab(), before, 2, IsRed));  // Ray Trace is off
    dialog->RunCommand(kCmdRayTrace);
    QImage image = Grab();
    EXPECT_TRUE(AnyNear(image, before, 2, IsRed));
    EXPECT_GT(redColumns(image), columns / 4);  // dashed on past the surface point
    EXPECT_LT(redColumns(image), columns * 3 / 4);
    dialog->SetRay(ray, RayDisplay::kRefracted);
    image = Grab();
    EXPECT_TRUE(AnyNear(image, before, 2, IsRed));
    EXPECT_EQ(redColumns(image), 0);
    EXPECT_TRUE(AnyNear(image, Pixel({-5, -5}), 2, IsBlue));
    dialog->ClearRay();
    EXPECT_FALSE(AnyNear(Grab(), before, 2, IsRed));
}

// The path through a gradient-index medium: a blue polyline through its points while Ray Trace
// is on; a bent path (here a V in the plane z = 0, seen from above) is drawn bent.
TEST_F(Dialog3DTest, MediumPathIsABluePolylineThroughItsPoints) {
    MediumPath path;
    for (int i = 0; i <= 40; ++i) {
        const double x = -10 + 0.5 * i;
        path.points.push_back({x, 6 - 1.4 * std::fabs(x), 0, 1.5});
    }
    dialog->SetMediumPath(&path);
    EXPECT_EQ(dialog->MediumPathVertices().size(), 3 * path.points.size());
    EXPECT_FALSE(AnyNear(Grab(), Pixel({0, 6}), 2, IsBlue));  // Ray Trace is off
    dialog->RunCommand(kCmdRayTrace);
    QImage image = Grab();
    for (const QPointF& on : {QPointF(0, 6), QPointF(-5, -1), QPointF(7.5, -4.5)}) {
        EXPECT_TRUE(AnyNear(image, Pixel(on), 2, IsBlue)) << on.x() << " " << on.y();
    }
    EXPECT_FALSE(AnyNear(image, Pixel({0, -8}), 3, IsBlue));  // the chord between its ends
    dialog->ClearRay();                                       // the ray at the surface only
    EXPECT_TRUE(AnyNear(Grab(), Pixel({0, 6}), 2, IsBlue));
    dialog->SetMediumPath(nullptr);
    EXPECT_TRUE(dialog->MediumPathVertices().empty());
    EXPECT_FALSE(AnyNear(Grab(), Pixel({0, 6}), 2, IsBlue));

    // A path of more points than are drawn: every k-th and the last.
    path.points.assign(250001, {1, 1, 1, 1.5});
    path.points.back() = {2, 3, 4, 1.5};
    dialog->SetMediumPath(&path);
    const std::vector<float>& drawn = dialog->MediumPathVertices();
    EXPECT_LE(drawn.size(), 3 * CDialog3D::kMaxMediumPathPoints + 3);
    EXPECT_EQ(std::vector<float>(drawn.end() - 3, drawn.end()), (std::vector<float>{2, 3, 4}));
}

TEST_F(Dialog3DSquareTest, PickingAtASharedCornerPointThenEdgeThenFace) {
    Run({kCmdRenderPoint, kCmdRenderLine, kCmdPickPoint, kCmdPickLine, kCmdPickFace});
    const QPointF cornerA(kA.x, kA.y);
    const auto& pick = dialog->PickResult();
    PickAt(cornerA);  // all at the same depth: the point wins
    EXPECT_EQ(pick[1], kPickPoint);
    EXPECT_EQ(pick[3], 0u);  // first face of group 0
    EXPECT_EQ(pick[4], 0u);  // its corner A
    EXPECT_TRUE(AnyNear(Grab(), Pixel(cornerA), 2, IsMagenta));

    const auto pointPick = pick;  // picking nothing keeps the old highlight
    PickAt(QPointF(10, -10));
    EXPECT_EQ(pick, pointPick);

    dialog->RunCommand(kCmdPickPoint);  // then edge 0 (A to B) or 2 (C to A) of (A, B, C)
    PickAt(cornerA);
    ASSERT_EQ(pick[1], kPickLine);
    ASSERT_TRUE(pick[3] == 0u && (pick[4] == 0u || pick[4] == 2u));
    QImage image = Grab();
    EXPECT_TRUE(AnyNear(image, pick[4] == 0 ? Pixel({-7, -12}) : Pixel({-7, -7}), 2, IsCyan));
    EXPECT_FALSE(AnyNear(image, Pixel({-2, -7}), 2, IsCyan));  // B to C

    dialog->RunCommand(kCmdPickLine);  // then the face
    PickAt(cornerA);
    ASSERT_EQ(pick[1], kPickFace);
    EXPECT_TRUE(IsHighlight(At(Grab(), kIn0)));
    QTest::mouseClick(View(), Qt::MiddleButton, Qt::NoModifier, Pixel(kIn1));
    EXPECT_EQ(pick[3], 1u);
    EXPECT_TRUE(IsHighlight(At(Grab(), kIn1)));
}

TEST_F(Dialog3DTest, RightDragPansLeftDragTurns) {
    CModel model;  // a face standing in the x-z plane: edge-on until the model is turned
    MakeTriangleModel({{Vec3f{-15, 0, -10}, Vec3f{-5, 0, -10}, Vec3f{-10, 0, 10}}}, model);
    dialog->SetModel(model, false);
    EXPECT_LT(CountIn(Grab(), View()->rect(), IsFaceBlue), 250);
    Drag(View(), Qt::RightButton, QPoint(100, 100), QPoint(130, 120));
    EXPECT_NEAR(dialog->PanTarget()[0], -3.0f, 1e-5);
    EXPECT_NEAR(dialog->PanTarget()[1], 2.0f, 1e-5);
    Drag(View(), Qt::LeftButton, Centre(), Centre() + QPoint(0, 60));
    EXPECT_GT(CountIn(Grab(), View()->rect(), IsFaceBlue), 1000);
}

// The model is copied and compiled once: zooming and turning only replay it.
TEST_F(Dialog3DSquareTest, WheelZoomsModelCompiledOnceResetKeepsItClearRemovesIt) {
    Grab();
    const int first = dialog->ModelListCompilations();
    EXPECT_EQ(dialog->ModelLists()[1], 0u);  // lines are not drawn, so not compiled
    SendWheel(View(), Centre(), 120);
    EXPECT_NEAR(dialog->Zoom(), 10.57f, 0.005);
    EXPECT_TRUE(Near(At(Grab(), QPointF(-11.5, -11.8)), kFace));  // the picture follows
    Drag(View(), Qt::LeftButton, Centre(), Centre() + QPoint(20, 3));
    Grab();
    EXPECT_EQ(dialog->ModelListCompilations(), first);

    square.Clear();  // the window holds its own copy; copying from itself keeps it
    dialog->SetModel(dialog->Model(), true);
    EXPECT_EQ(dialog->ModelLists()[2], 0u);
    EXPECT_NEAR(dialog->Zoom(), 10.57f, 0.005);  // the view is kept
    // However far the wheel turns, the zoom stays finite and above zero.
    for (int i = 0; i < 2000; ++i) SendWheel(View(), Centre(), -120);
    EXPECT_GT(dialog->Zoom(), 0.0f);
    for (int i = 0; i < 4000; ++i) SendWheel(View(), Centre(), 120);
    EXPECT_TRUE(std::isfinite(dialog->Zoom()));
    EXPECT_TRUE(IsBlack(PixelAt(Grab(), QPoint(5, 5))));
    dialog->RunCommand(kCmdReset);
    EXPECT_EQ(dialog->Zoom(), 10.0f);
    EXPECT_TRUE(Near(At(Grab(), kIn0), kFace));  // Reset keeps the model
    dialog->Action(kCmdClearModel)->trigger();
    EXPECT_EQ(CountIn(Grab(), View()->rect(), IsFaceBlue), 0);

    // A model handed over (a file just read) is taken as it is, not copied.
    CModel read;
    MakeTriangleModel({{kA, kB, kC}, {kA, kC, kD}}, read);
    const Vec3f* vertices = read.vertices.data();
    const modelGroup* group = read.groups[0].get();
    dialog->SetModel(std::move(read), false);
    EXPECT_EQ(dialog->Model().vertices.data(), vertices);
    EXPECT_EQ(dialog->Model().groups[0].get(), group);
    EXPECT_TRUE(Near(At(Grab(), kIn0), kFace));
    // "Clear 3D Model" gives the model's memory back (a large model held hundreds of MB).
    dialog->Action(kCmdClearModel)->trigger();
    EXPECT_EQ(dialog->Model().vertices.capacity(), 0u);
    EXPECT_EQ(dialog->Model().faces.capacity(), 0u);
}

TEST_F(Dialog3DSquareTest, ModelWithBrokenIndicesDrawsTheRest) {
    square.faces[1].vertex[2] = 999;        // names a vertex that does not exist
    square.faces[0].faceNormal = -1;        // no face normal: the triangle's own is used
    square.groups[0]->faces.push_back(57);  // names a face that does not exist
    dialog->SetModel(square, false);
    Run({kCmdRenderPoint, kCmdRenderLine, kCmdPickPoint, kCmdPickLine, kCmdPickFace});
    EXPECT_TRUE(Near(At(Grab(), kIn0), kFace));
    EXPECT_TRUE(IsBlack(At(Grab(), kIn1)));
    PickAt(QPointF(kD.x, kD.y));
    EXPECT_EQ(dialog->PickResult()[1], 0u);
}

TEST_F(Dialog3DTest, MenuChecksAndHidingInsteadOfClosing) {
    EXPECT_TRUE(dialog->Action(kCmdAxis)->isChecked());
    EXPECT_FALSE(dialog->Action(kCmdRenderLine)->isChecked());
    const auto* pickMenu = qobject_cast<QMenu*>(dialog->Action(kCmdPickPoint)->parent());
    ASSERT_NE(pickMenu, nullptr);
    EXPECT_EQ(pickMenu->title(), QStringLiteral("Pick  (M Button)"));
    dialog->Action(kCmdRenderLine)->trigger();  // choosing a toggle sets its check mark
    EXPECT_TRUE(dialog->Action(kCmdRenderLine)->isChecked());
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        dialog->show();
        QTest::keyClick(dialog.get(), static_cast<Qt::Key>(key));
        EXPECT_FALSE(dialog->isVisible()) << key;
    }
    dialog->show();
    EXPECT_FALSE(dialog->close());  // refused: the window only hides
    EXPECT_FALSE(dialog->isVisible());
    dialog->show();  // shown again, the window still draws
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    EXPECT_TRUE(AnyNear(Grab(), Pixel({10, 0}), 1, IsYellow));
}

// The camera's turn and product are OpenGL's own, read back from the view's context.
TEST_F(Dialog3DTest, CameraMatricesAreThoseOfGlRotateAndGlMultMatrix) {
    View()->makeCurrent();
    const auto modelview = [](const auto& build) {
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        build();
        Matrix4 m;
        glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
        glPopMatrix();
        return m;
    };
    const auto expectNear = [](const Matrix4& got, const Matrix4& want) {
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], want[i], 1e-6f) << "element " << i;
    };
    const std::pair<float, Vec3f> turns[] = {{90, {0, 0, 1}},
                                             {-37.5f, {0.3f, -2, 0.7f}},
                                             {254.6f, {1, 1, 1}},
                                             {720.5f, {0, -1, 0}},
                                             {45, {5e-5f, 5e-5f, 0}}};  // too short: no turn
    for (const auto& [angle, axis] : turns)
        expectNear(RotationMatrix(angle, axis),
                   modelview([&] { glRotatef(angle, axis.x, axis.y, axis.z); }));
    const Matrix4 a = RotationMatrix(30, {1, 2, 3}), b = RotationMatrix(-75, {0, 1, -1});
    expectNear(MultiplyMatrices(a, b), modelview([&] {
                   glLoadMatrixf(a.data());
                   glMultMatrixf(b.data());
               }));
    View()->doneCurrent();
}

}  // namespace
}  // namespace velmor::gltest
