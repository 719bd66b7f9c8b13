// File "Open ..." of the 3D window drawn for real: STL (ASCII and binary) and OBJ with its
// material file replace the model; a failure keeps the old one.
#include "gl_test_support.h"
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
    ExpectLoaded(2, {-9, -5});                // the fan of the quad
    const Rgb inside = At(Grab(), {-5, -9});  // the face colour with the material's white highlight
    EXPECT_GT(inside.b, 200);
    EXPECT_GT(inside.r, 120);
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

}  // namespace
}  // namespace velmor::gltest
