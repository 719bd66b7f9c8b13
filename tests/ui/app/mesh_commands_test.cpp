// "Make 3D Model", the two STL exports and the "Shading 3D" window as the main window drives
// it: the mesh handed over, the files written through the scripted save dialog, the ray and
// the surface library reaching the 3D window, model files opened through the message
// interface. Runs offscreen, where the 3D window keeps its state without an OpenGL view.
#include <QFile>
#include <QOpenGLWidget>
#include <cmath>

#include "app/shading3d_window.h"
#include "dlg_fixture.h"
#include "surface/even_array.h"
#include "view3d/dialog_3d.h"
#include "view3d/progress_dialog.h"

namespace velmor {
namespace {

class MeshCommandsTest : public DlgTest {
protected:
    CDialog3D& Dialog3D() { return static_cast<CShading3DWindow&>(m_dlg->Shading3D()).Dialog(); }
    void SetSteps3D(const QString& step) {
        Type(m_dlg->Field(kIdStep3DX), step);
        Type(m_dlg->Field(kIdStep3DY), step);
    }
    QString FilePath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(MeshCommandsTest, MakeModelHandsTheSurfaceMeshToThe3DWindow) {
    CVelmorDlg& dlg = Open();
    CDialog3D& view = Dialog3D();
    EXPECT_EQ(view.View(), nullptr);  // no OpenGL on the offscreen platform
    EXPECT_TRUE(view.Model().faces.empty());
    EXPECT_FALSE(view.RayTraceOn());

    // The 3D steps the window starts with, 0.05. Rows and columns advance by repeated addition,
    // which ends a hair above 10 after 400 steps: 400 points a row, 2 * 399 * 399 triangles.
    ProgressTitles progress;
    Click(kIdMake3DModel);
    EXPECT_EQ(view.Model().faces.size(), 2u * 399 * 399);
    EXPECT_TRUE(view.RayTraceOn());
    EXPECT_TRUE(view.Action(kCmdRayTrace)->isChecked());
    EXPECT_EQ(progress.Titles(), QStringList({"Shading Model ..."}));
    EXPECT_EQ(CurrentProgressWindow(), nullptr);

    // 0.25 over [-10, 10]^2: 81 points a row, 81 rows, 12,800 triangles.
    SetSteps3D("0.25");
    view.RunCommand(kCmdRayTrace);  // off; a new surface mesh switches it on again
    Click(kIdMake3DModel);
    const CModel& model = view.Model();
    ASSERT_EQ(model.faces.size(), 12800u);
    EXPECT_EQ(model.vertices.size(), 3 * 12800u);
    ASSERT_EQ(model.groups.size(), 1u);
    EXPECT_EQ(model.groups[0]->faces.size(), 12800u);
    EXPECT_TRUE(view.RayTraceOn());
    EXPECT_EQ(dlg.State().step3dX, 0.25);
    EXPECT_TRUE(m_messages.Shown().empty());

    // The corners lie on the lattice, and every normal points up.
    float xmin = 1e9f, xmax = -1e9f;
    for (const Vec3f& v : model.vertices) {
        xmin = std::min(xmin, v.x);
        xmax = std::max(xmax, v.x);
    }
    EXPECT_FLOAT_EQ(xmin, -10.0f);
    EXPECT_FLOAT_EQ(xmax, 10.0f);
    for (const Vec3f& n : model.faceNormals) ASSERT_GT(n.z, 0.0f);
    // Heights are the built-in surface's sag with the records the repaint left.
    bool anyHeight = false;
    for (size_t k = 0; k < model.vertices.size(); k += 997) {
        const Vec3f& v = model.vertices[k];
        RecordPair pair;
        CopyRecordPair(pair, dlg.Provider().Initial());
        pair.ud.x = v.x;
        pair.ud.y = v.y;
        pair.Type() = 3;
        ASSERT_EQ(EvenArraySurface(&pair.ud, pair.Fd0()), 0);
        EXPECT_FLOAT_EQ(v.z, static_cast<float>(pair.ud.sag1)) << v.x << ", " << v.y;
        anyHeight = anyHeight || v.z != 0.0f;
    }
    EXPECT_TRUE(anyHeight);

    // A range narrower than a step makes no triangles: the empty mesh is handed over.
    Type(dlg.Field(kIdAnalysisYMax), "-9.9");
    Click(kIdMake3DModel);
    EXPECT_TRUE(view.Model().faces.empty());
}

TEST_F(MeshCommandsTest, StepsOverTheTriangleBudgetAreEnlargedAndShown) {
    CVelmorDlg& dlg = Open();
    SetSteps3D("0.01");  // 8,008,002 planned
    Click(kIdMake3DModel);
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.LastText(), "too many triangles ... changed \"delta 3D\"        ");
    EXPECT_EQ(m_messages.Shown()[0].icon, MessageIcon::Information);
    EXPECT_EQ(Text(kIdStep3DX), "0.029");
    EXPECT_EQ(Text(kIdStep3DY), "0.029");
    EXPECT_DOUBLE_EQ(dlg.State().step3dX, 0.029);
    EXPECT_EQ(Dialog3D().Model().faces.size(), 2u * 689 * 689);
}

TEST_F(MeshCommandsTest, SaveStlWritesAFreshMeshWhereTheSaveDialogSays) {
    CVelmorDlg& dlg = Open();
    SetSteps3D("0.25");
    const QString binPath = FilePath("surface.stl");
    m_messages.QueuePath(binPath);
    ProgressTitles progress;
    dlg.ToolbarAction(kCmdSaveStlBin)->trigger();
    ASSERT_EQ(m_messages.FileDialogs().size(), 1u);
    const ShownFileDialog& bin = m_messages.FileDialogs()[0];
    EXPECT_TRUE(bin.save);
    EXPECT_EQ(bin.request.title, "Save User Defined Surface STL (BIN)");
    EXPECT_EQ(bin.request.filter, "STL Files (*.stl)|*.stl||");
    EXPECT_EQ(bin.request.defaultName, "Kestrum.stl");
    EXPECT_EQ(bin.request.defaultExtension, "stl");
    EXPECT_EQ(bin.request.initialDir, m_dir.path());
    EXPECT_EQ(QFileInfo(binPath).size(), 84 + 50 * 12800);
    EXPECT_EQ(progress.Titles(), QStringList({"Shading Model ...", "Save STL ..."}));
    EXPECT_TRUE(Dialog3D().Model().faces.empty());  // the export never touches the 3D window

    // ASCII into a .txt name: the same format, the first line names that file.
    const QString asciiPath = FilePath("surface.txt");
    m_messages.QueuePath(asciiPath);
    dlg.MenuAction(kCmdSaveStlAscii)->trigger();
    const ShownFileDialog& ascii = m_messages.FileDialogs()[1];
    EXPECT_EQ(ascii.request.title, "Save User Defined Surface STL (ASCII)");
    EXPECT_EQ(ascii.request.filter, "STL Files (*.stl)|*.stl|TEXT Files (*.txt)|*.txt||");
    QFile file(asciiPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 2 + 7 * 12800 + 1);  // the last line ends with its line feed
    EXPECT_EQ(lines.front(), "solid surface.txt");
    EXPECT_EQ(lines[lines.size() - 2], "endsolid");
    EXPECT_TRUE(lines[1].startsWith("    facet normal "));

    // Cancelled dialog: nothing written, nothing said.
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    EXPECT_EQ(m_messages.FileDialogs().size(), 3u);
    EXPECT_TRUE(m_messages.Shown().empty());

    // A file that cannot be created: the system's reason.
    m_messages.QueuePath(FilePath("missing/surface.stl"));
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_TRUE(m_messages.LastText().contains("No such file or directory"))
        << m_messages.LastText().toStdString();
    EXPECT_EQ(m_messages.Shown()[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(QFile::exists(FilePath("missing/surface.stl")));
}

TEST_F(MeshCommandsTest, The3DWindowFollowsTheRayAndTheSurfaceLibrary) {
    CVelmorDlg& dlg = Open();
    CDialog3D& view = Dialog3D();
    // The start-up trace of the built-in surface: refracted, at the final record's hit point.
    ASSERT_TRUE(dlg.Provider().LastTraceSucceeded());
    EXPECT_EQ(view.RayState(), 2);
    SetSteps3D("0.5");
    Click(kIdMake3DModel);
    ASSERT_FALSE(view.Model().faces.empty());
    view.RunCommand(kCmdReset);

    // A library load empties the model and resets the view.
    m_messages.QueuePath(QStringLiteral(VELMOR_LIB_DIR "/even_asphere.so"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(dlg.Provider().LibraryLoaded());
    EXPECT_TRUE(view.Model().faces.empty());
    EXPECT_FLOAT_EQ(view.Zoom(), 10.0f);

    // A gradient-index medium is not traced: no ray in the 3D window.
    m_messages.QueuePath(QStringLiteral(VELMOR_LIB_DIR "/grin_medium.so"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_EQ(dlg.State().gradientIndex, 1);
    EXPECT_EQ(view.RayState(), 0);
}

TEST_F(MeshCommandsTest, The3DWindowOpensModelFilesThroughTheMessageInterface) {
    Open();
    CDialog3D& view = Dialog3D();
    const QString stlPath = FilePath("one.STL");
    {
        QFile file(stlPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "solid one\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n"
            "   vertex 1 0 0\n   vertex 0 1 0\n  endloop\n endfacet\nendsolid\n");
    }
    view.RunCommand(kCmdRayTrace);  // on; a loaded file switches it off
    m_messages.QueuePath(stlPath);
    ProgressTitles progress;
    view.RunCommand(kCmdOpen);
    ASSERT_EQ(m_messages.FileDialogs().size(), 1u);
    const FileDialogRequest& request = m_messages.FileDialogs()[0].request;
    EXPECT_EQ(request.title, "Open 3D Model File.");
    EXPECT_EQ(request.filter,
              "STL(ASCII/BIN) Files (*.stl)|*.stl|OBJ(ASCII) Files (*.obj)|*.obj|"
              "All Files (*.*)|*.*||");
    EXPECT_EQ(request.defaultExtension, "stl");
    EXPECT_EQ(request.initialDir, m_dir.path());
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_EQ(view.Model().faces.size(), 1u);
    EXPECT_FALSE(view.RayTraceOn());
    EXPECT_EQ(ProgressParent(), m_dlg.get()) << "the main window's loops own theirs again";
    EXPECT_TRUE(progress.Titles().contains("Loading ..."))
        << progress.Titles().join(',').toStdString();
    EXPECT_EQ(CurrentProgressWindow(), nullptr);

    // An unknown extension and an empty file: their messages, the model kept.
    const QString other = FilePath("model.xyz");
    const QString empty = FilePath("empty.stl");
    for (const QString& path : {other, empty}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    m_messages.QueuePath(other);
    view.RunCommand(kCmdOpen);
    EXPECT_EQ(m_messages.LastText(), "File Extension ... Unsupported.");
    m_messages.QueuePath(empty);
    view.RunCommand(kCmdOpen);
    EXPECT_EQ(m_messages.LastText(), "Reading STL(BIN) File ... Failed.");
    EXPECT_EQ(view.Model().faces.size(), 1u);
}

TEST(PipeFileFilterTest, QtFiltersBecomeTheWindowsForm) {
    EXPECT_EQ(PipeFileFilter("A (*.a);;B (*.b *.c)"), "A (*.a)|*.a|B (*.b *.c)|*.b;*.c||");
    EXPECT_EQ(QtFileFilter(PipeFileFilter("All Files (*.*)")), "All Files (*)");
}

}  // namespace
}  // namespace velmor
