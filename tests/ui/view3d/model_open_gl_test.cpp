// File "Open ..." of the 3D window drawn for real: STL (ASCII and binary) and OBJ with its
// material file replace the model; a failure keeps the old one.
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include "gl_test_support.h"
#include "hang_guard.h"
#include "scripted_message_ui.h"
#include "temp_dir.h"
#include "ui/common/progress_dialog.h"

namespace velmor::gltest {
namespace {

class ModelOpenTest : public Dialog3DTest {
protected:
    void SetUp() override {
        Dialog3DTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        InstallProgressWindowReporter();  // as the program does at start-up
        // A surface mesh on show, with the ray display on, as after "Make 3D Model".
        CModel surface;
        MakeTriangleModel({{Vec3f{1, 1, 0}, Vec3f{2, 1, 0}, Vec3f{1, 2, 0}}}, surface);
        dialog->SetModel(surface, true);
    }
    // Writes `bytes` to `name` (unless empty) and opens it through the menu.
    void Open(const char* name, const std::string& bytes) {
        if (!bytes.empty()) test::WriteFile(dir.File(name), bytes);
        messages.QueuePath(dir.QFilePath(name));
        dialog->RunCommand(kCmdOpen);
        EXPECT_EQ(CurrentProgressWindow(), nullptr);  // the "Loading ..." window is closed again
    }
    // The file's faces replaced the surface (drawn at `drawn`) and Ray Trace is off.
    void ExpectLoaded(size_t faces, QPointF drawn) {
        EXPECT_TRUE(messages.Shown().empty()) << messages.LastText().toStdString();
        EXPECT_EQ(dialog->Model().faces.size(), faces);
        EXPECT_FALSE(dialog->Action(kCmdRayTrace)->isChecked());
        const QImage image = Grab();
        EXPECT_TRUE(IsBlack(At(image, {1.2, 1.2})));
        EXPECT_FALSE(IsBlack(At(image, drawn)));
        dialog->SetModel(dialog->Model(), true);
    }

    CScriptedMessageUi messages;
    test::TempDir dir;
};

TEST_F(ModelOpenTest, AsciiStlBinaryStlAndObjReplaceTheModelAndSwitchRayTraceOff) {
    Open("two.stl",
         "solid two\n facet normal 0 0 1\n  outer loop\n"
         "   vertex -12 -12 0\n   vertex -2 -12 0\n   vertex -2 -2 0\n"
         "  endloop\n endfacet\nendsolid two\n");
    ExpectLoaded(1, {-5, -9});

    // Header, count 1, then normal, 3 corners and 2 spare bytes.
    const float facet[12] = {0, 0, 1, 5, -5, 0, 8, -5, 0, 5, -8, 0};
    Open("three.STL", std::string(80, '\0') + std::string("\1\0\0\0", 4) +
                          std::string(reinterpret_cast<const char*>(facet), 48) +
                          std::string(2, '\0'));
    ExpectLoaded(1, {6, -6});

    test::WriteFile(dir.File("shiny.mtl"),
                    "newmtl Shiny\nKa 0.1 0.1 0.1\nKd 0.2 0.9 0.2\nKs 1 1 1\nNs 500\n");
    Open("quad.Obj",
         "mtllib shiny.mtl\nv -12 -12 0\nv -2 -12 0\nv -2 -2 0\nv -12 -2 0\nvn 0 0 1\n"
         "g Plate\nusemtl Shiny\nf 1//1 2//1 3//1 4//1\n");
    ExpectLoaded(2, {-9, -5});  // the fan of the quad
    // The material's green, Ka 0.1 and Kd 0.2 0.9 0.2 lit by the white light from the camera
    // and the global ambient 0.2, with the white highlight (Ks 1 1 1 times the light's 0.2).
    EXPECT_TRUE(Near(At(Grab(), {-5, -9}), {107, 255, 107}, 4));
}

TEST_F(ModelOpenTest, GroupsWithAMaterialFromTheMaterialFileDrawInItsColours) {
    test::WriteFile(dir.File("colours.mtl"),
                    "newmtl Red\nKa 0.2 0 0\nKd 0.8 0 0\n"
                    "newmtl Green\nKa 0 0.2 0\nKd 0 0.8 0\n");
    // Four squares: without a material, with a name the file does not have, red and green.
    Open("colours.obj",
         "mtllib colours.mtl\n"
         "v -12 2 0\nv -2 2 0\nv -2 12 0\nv -12 12 0\n"
         "v 2 2 0\nv 12 2 0\nv 12 12 0\nv 2 12 0\n"
         "v -12 -12 0\nv -2 -12 0\nv -2 -2 0\nv -12 -2 0\n"
         "v 2 -12 0\nv 12 -12 0\nv 12 -2 0\nv 2 -2 0\n"
         "g Plain\nf 1 2 3 4\n"
         "g Unknown\nusemtl Blue\nf 5 6 7 8\n"
         "g Red\nusemtl Red\nf 9 10 11 12\n"
         "g Green\nusemtl Green\nf 13 14 15 16\n");
    ASSERT_EQ(dialog->Model().faces.size(), 8u);
    const QPointF plain(-7, 7), unknown(7, 7), red(-7, -7), green(7, -7);
    // Ka * 0.2 + Kd: 0.84 of full red or green. The other groups as before: the tracked colour
    // (0.5, 0.75, 1.0), or (0.6, 0.8, 1.0) at alpha 0.75, times 1.2, capped at 1.
    const Rgb kRed{214, 0, 0}, kGreen{0, 214, 0};
    const Rgb kFace{153, 230, 255}, kFaceTranslucent{138, 184, 191};
    QImage image = Grab();
    EXPECT_TRUE(Near(At(image, red), kRed));
    EXPECT_TRUE(Near(At(image, green), kGreen));
    EXPECT_TRUE(Near(At(image, plain), kFace));
    EXPECT_TRUE(Near(At(image, unknown), kFace));

    // Transparentize: the material's diffuse alpha becomes 0.75 (blended with the black).
    dialog->RunCommand(kCmdTransparentize);
    image = Grab();
    EXPECT_TRUE(Near(At(image, red), {161, 0, 0}));
    EXPECT_TRUE(Near(At(image, green), {0, 161, 0}));
    EXPECT_TRUE(Near(At(image, plain), kFaceTranslucent));
}

TEST_F(ModelOpenTest, CancelWhileLoadingKeepsTheFacetsReadSoFar) {
    std::string stl = "solid many\n";
    constexpr int kFacets = 20000;
    for (int k = 0; k < kFacets; ++k)
        stl +=
            "facet normal 0 0 1\nouter loop\nvertex -12 -12 0\nvertex -2 -12 0\n"
            "vertex -2 -2 0\nendloop\nendfacet\n";
    // Cancel is pressed as soon as the "Loading ..." window processes events.
    QTimer::singleShot(0, [] {
        if (CProgressDialog* window = CurrentProgressWindow()) window->CancelButton()->click();
    });
    Open("many.stl", stl);
    EXPECT_TRUE(messages.Shown().empty());
    EXPECT_LT(dialog->Model().faces.size(), size_t(kFacets));
    EXPECT_TRUE(dialog->isEnabled());
}

TEST_F(ModelOpenTest, FailedLoadsKeepTheModel) {
    Open("empty.stl", "solid nothing\nendsolid nothing\n");
    Open("missing.obj", "");
    dialog->RunCommand(kCmdOpen);  // cancelled
    ASSERT_EQ(messages.Shown().size(), 2u);
    EXPECT_EQ(messages.Shown()[0].text, QStringLiteral("Reading STL(ASCII) File ... Failed."));
    EXPECT_TRUE(messages.Shown()[1].text.startsWith(QStringLiteral("Reading OBJ File... Failed.")));
    EXPECT_EQ(dialog->Model().vertices.size(), 3u);
    EXPECT_TRUE(dialog->RayTraceOn());
    EXPECT_FALSE(IsBlack(At(Grab(), {1.2, 1.2})));
}

// A named pipe picked in the dialog, or named by an OBJ's material library, never holds the
// window: the pipe is refused with its reason, the OBJ loads without the material.
TEST_F(ModelOpenTest, NamedPipesAreRefusedWithoutWaiting) {
    const std::string pipe = dir.File("pipe.stl");
    ASSERT_TRUE(test::MakeFifo(pipe) && test::MakeFifo(dir.File("pipe.mtl")));
    const test::HangGuard guard("opening a named pipe");
    Open("pipe.stl", "");
    ASSERT_EQ(messages.Shown().size(), 1u);
    EXPECT_EQ(messages.LastText().toStdString(),
              "Reading STL(BIN) File ... Failed.\n" + pipe + ": not a regular file");
    EXPECT_EQ(dialog->Model().vertices.size(), 3u);

    messages.Clear();
    Open("plate.obj",
         "mtllib pipe.mtl\nv -12 -12 0\nv -2 -12 0\nv -2 -2 0\nusemtl Shiny\nf 1 2 3\n");
    ExpectLoaded(1, {-5, -9});
}

}  // namespace
}  // namespace velmor::gltest
