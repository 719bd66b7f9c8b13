// File "Open ..." of the 3D window: STL (ASCII and binary) and OBJ with its material file
// replace the model; every failure keeps the old one and says why.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <deque>

#include "gl_test_support.h"
#include "view3d/view3d_host.h"

namespace velmor::gltest {
namespace {

// Answers the file dialog from a queue and keeps every text and progress title it was shown.
class ScriptedHost : public CView3DHost {
public:
    void Message(QWidget*, const QString& text) override { messages.push_back(text); }
    std::optional<QString> OpenFileName(QWidget*, const QString& title, const QString& filter,
                                        const QString& defaultExtension,
                                        const QString& initialDir) override {
        dialogTitle = title;
        dialogFilter = filter;
        dialogExtension = defaultExtension;
        dialogDir = initialDir;
        if (paths.empty()) return std::nullopt;
        const QString path = paths.front();
        paths.pop_front();
        return path;
    }
    void OpenProgress(QWidget* parent, const QString& title) override {
        progressTitles.push_back(title);
        progressParent = parent;
        ++open;
    }
    void CloseProgress() override { --open; }

    std::deque<QString> paths;
    std::vector<QString> messages;
    std::vector<QString> progressTitles;
    QWidget* progressParent = nullptr;
    int open = 0;
    QString dialogTitle, dialogFilter, dialogExtension, dialogDir;
};

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray BinaryStl(const char* header, const std::vector<std::array<float, 9>>& triangles,
                     uint32_t count) {
    QByteArray bytes(80, '\0');
    std::memcpy(bytes.data(), header, std::min<size_t>(std::strlen(header), 80));
    bytes.append(reinterpret_cast<const char*>(&count), 4);
    for (const auto& t : triangles) {
        const float normal[3] = {0, 0, 1};
        bytes.append(reinterpret_cast<const char*>(normal), 12);
        bytes.append(reinterpret_cast<const char*>(t.data()), 36);
        bytes.append(2, '\0');
    }
    return bytes;
}

class ModelOpenTest : public Dialog3DTest {
protected:
    void SetUp() override {
        Dialog3DTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(dir.isValid());
        dialog->SetHost(&host);
        // A surface mesh on show, with the ray display on, as after "Make 3D Model".
        MakeTriangleModel({{Vec3f{1, 1, 0}, Vec3f{2, 1, 0}, Vec3f{1, 2, 0}}}, surface);
        dialog->SetModel(surface, true);
    }
    void TearDown() override {
        if (dialog) dialog->SetHost(nullptr);
        Dialog3DTest::TearDown();
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void Open(const QString& path) {
        host.paths.push_back(path);
        dialog->RunCommand(kCmdOpen);
        EXPECT_EQ(host.open, 0);  // every progress window opened is closed again
    }
    void ExpectSurfaceKept() {
        EXPECT_EQ(dialog->Model().faces.size(), 1u);
        EXPECT_FLOAT_EQ(dialog->Model().vertices[1].x, 2.0f);
        EXPECT_TRUE(dialog->RayTraceOn());
    }

    QTemporaryDir dir;
    ScriptedHost host;
    CModel surface;
};

TEST_F(ModelOpenTest, AsciiStlReplacesTheModelAndSwitchesRayTraceOff) {
    WriteFile(Path("two.stl"),
              "solid two\n"
              " facet normal 0 0 1\n  outer loop\n"
              "   vertex -12 -12 0\n   vertex -2 -12 0\n   vertex -2 -2 0\n"
              "  endloop\n endfacet\n"
              " facet normal 0 0 1\n  outer loop\n"
              "   vertex -12 -12 0\n   vertex -2 -2 0\n   vertex -12 -2 0\n"
              "  endloop\n endfacet\n"
              "endsolid two\n");
    SendWheel(View(), QPoint(40, 40), 120);
    const float zoomAfterWheel = dialog->Zoom();
    Open(Path("two.stl"));
    EXPECT_EQ(host.dialogTitle, QStringLiteral("Open 3D Model File."));
    EXPECT_EQ(
        host.dialogFilter,
        QStringLiteral("STL(ASCII/BIN) Files (*.stl);;OBJ(ASCII) Files (*.obj);;All Files (*.*)"));
    EXPECT_EQ(host.dialogExtension, QStringLiteral("stl"));
    EXPECT_EQ(host.dialogDir, QCoreApplication::applicationDirPath());
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(host.progressTitles.size(), 1u);
    EXPECT_EQ(host.progressTitles[0], QStringLiteral("Loading ..."));
    EXPECT_EQ(host.progressParent, dialog.get());
    EXPECT_EQ(dialog->Model().faces.size(), 2u);
    EXPECT_FALSE(dialog->RayTraceOn());
    EXPECT_FALSE(dialog->Action(kCmdRayTrace)->isChecked());
    EXPECT_NEAR(dialog->Zoom(), zoomAfterWheel, 1e-6);  // the view is kept

    const QImage image = Grab();
    EXPECT_FALSE(IsBlack(PixelAt(image, Pixel(-5, -9))));
    EXPECT_FALSE(IsBlack(PixelAt(image, Pixel(-9, -5))));
    EXPECT_TRUE(IsBlack(PixelAt(image, Pixel(1.2f, 1.2f))));  // the old model is gone
}

TEST_F(ModelOpenTest, BinaryStlWithUpperCaseExtension) {
    WriteFile(Path("three.STL"), BinaryStl("binary by a test",
                                           {{-12, -12, 0, -2, -12, 0, -2, -2, 0},
                                            {-12, -12, 0, -2, -2, 0, -12, -2, 0},
                                            {5, -5, 0, 8, -5, 0, 5, -8, 0}},
                                           3));
    Open(Path("three.STL"));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(dialog->Model().faces.size(), 3u);
    EXPECT_FALSE(dialog->RayTraceOn());
    EXPECT_FALSE(IsBlack(PixelAt(Grab(), Pixel(6, -6))));
}

TEST_F(ModelOpenTest, ObjWithMaterialFile) {
    WriteFile(Path("shiny.mtl"),
              "newmtl Shiny\nKa 0.1 0.1 0.1\nKd 0.2 0.9 0.2\nKs 1 1 1\nNs 500\n");
    WriteFile(Path("quad.Obj"),
              "# a quad as one face record\nmtllib shiny.mtl\n"
              "v -12 -12 0\nv -2 -12 0\nv -2 -2 0\nv -12 -2 0\nvn 0 0 1\n"
              "g Plate\nusemtl Shiny\nf 1//1 2//1 3//1 4//1\n");
    Open(Path("quad.Obj"));
    EXPECT_TRUE(host.messages.empty()) << host.messages.front().toStdString();
    ASSERT_EQ(dialog->Model().faces.size(), 2u);  // the fan of the quad
    const modelGroup* plate = const_cast<CModel&>(dialog->Model()).FindGroup("plate");
    ASSERT_NE(plate, nullptr);
    EXPECT_EQ(plate->faces.size(), 2u);
    EXPECT_FLOAT_EQ(plate->material.shininess, 64.0f);
    EXPECT_FALSE(dialog->RayTraceOn());
    // Faces drawn in the face colour (colour tracking), with the material's white highlight.
    const QImage image = Grab();
    const Rgb inside = PixelAt(image, Pixel(-5, -9));
    EXPECT_GT(inside.b, 200);
    EXPECT_GT(inside.r, 120);
}

TEST_F(ModelOpenTest, FailedLoadsKeepTheModel) {
    // No facet at all.
    WriteFile(Path("empty.stl"), "solid nothing\nendsolid nothing\n");
    Open(Path("empty.stl"));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], QStringLiteral("Reading STL(ASCII) File ... Failed."));
    ExpectSurfaceKept();

    // A binary file whose header begins with "solid" is taken for ASCII.
    WriteFile(Path("solidheader.stl"),
              BinaryStl("solid looking header", {{0, 0, 0, 1, 0, 0, 0, 1, 0}}, 1));
    Open(Path("solidheader.stl"));
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1], QStringLiteral("Reading STL(ASCII) File ... Failed."));
    ExpectSurfaceKept();

    // A binary file with count 0.
    WriteFile(Path("zero.stl"), BinaryStl("binary", {}, 0));
    Open(Path("zero.stl"));
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2], QStringLiteral("Reading STL(BIN) File ... Failed."));
    ExpectSurfaceKept();

    // An OBJ keyword beginning with v that is not v, vn or vt.
    WriteFile(Path("bad.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nvp 1 2 3\nf 1 2 3\n");
    Open(Path("bad.obj"));
    ASSERT_EQ(host.messages.size(), 4u);
    EXPECT_EQ(host.messages[3], QStringLiteral("Reading OBJ File... Failed."));
    ExpectSurfaceKept();

    // A file that is not there: the reader's message and the system's reason.
    Open(Path("missing.obj"));
    ASSERT_EQ(host.messages.size(), 5u);
    EXPECT_TRUE(host.messages[4].startsWith(QStringLiteral("Reading OBJ File... Failed.")));
    EXPECT_TRUE(host.messages[4].contains(QStringLiteral("missing.obj")));
    ExpectSurfaceKept();
    EXPECT_EQ(host.progressTitles.size(), 5u);

    // Another extension: nothing is read, no progress window.
    WriteFile(Path("model.ply"), "ply\n");
    Open(Path("model.ply"));
    ASSERT_EQ(host.messages.size(), 6u);
    EXPECT_EQ(host.messages[5], QStringLiteral("File Extension ... Unsupported."));
    EXPECT_EQ(host.progressTitles.size(), 5u);
    ExpectSurfaceKept();

    EXPECT_FALSE(IsBlack(PixelAt(Grab(), Pixel(1.2f, 1.2f))));

    // Cancelling the dialog reads nothing.
    dialog->RunCommand(kCmdOpen);
    EXPECT_EQ(host.messages.size(), 6u);
    EXPECT_EQ(host.progressTitles.size(), 5u);
    ExpectSurfaceKept();
}

}  // namespace
}  // namespace velmor::gltest
