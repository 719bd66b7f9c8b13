// "Make 3D Model", the STL exports and the "Shading 3D" window as the main window drives it.
// Runs offscreen, where the 3D window keeps its state without an OpenGL view.
#include <QFile>
#include <QRegularExpression>
#include <QStatusBar>
#include <cstring>
#include <tuple>

#include "core/app/settings_file.h"
#include "core/surface/even_array.h"
#include "core/view3d/mesh_builder.h"
#include "dlg_fixture.h"
#include "record_table_cells.h"
#include "test_paths.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {
namespace {

class MeshCommandsTest : public DlgTest {
protected:
    CDialog3D& Dialog3D() { return m_dlg->Shading3D(); }
    void SetSteps3D(const QString& step) {
        Type(m_dlg->Field(kIdStep3DX), step);
        Type(m_dlg->Field(kIdStep3DY), step);
    }
};

TEST_F(MeshCommandsTest, MakeModelHandsTheSurfaceMeshToThe3DWindowStepsOverTheBudgetGrow) {
    CVelmorDlg& dlg = Open();
    CDialog3D& view = Dialog3D();
    EXPECT_FALSE(view.RayTraceOn());

    // 0.25 over [-10, 10]^2: 81 points a row, 81 rows, 12,800 triangles.
    SetSteps3D("0.25");
    ProgressTitles progress;
    Click(kIdMake3DModel);
    const CModel& model = view.Model();
    ASSERT_EQ(model.faces.size(), 12800u);
    EXPECT_TRUE(view.RayTraceOn());
    EXPECT_EQ(progress.Titles(), QStringList({"Shading Model ..."}));
    EXPECT_EQ(CurrentProgressWindow(), nullptr);
    EXPECT_TRUE(m_messages.Shown().empty());

    // Heights are the built-in surface's sag with the records the repaint left.
    bool anyHeight = false;
    for (size_t k = 0; k < model.vertices.size(); k += 997) {
        const Vec3f& v = model.vertices[k];
        RecordPair pair;
        CopyRecordPair(pair, dlg.Provider().Initial());
        std::tie(pair.ud.x, pair.ud.y, pair.Type()) = std::tuple(v.x, v.y, kRequestSag);
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

// Message boxes and progress windows in the order they appeared (a progress window is seen
// by a zero timer while it pumps events), with the 3D step fields at each message.
class ShownInOrder : public CScriptedMessageUi {
public:
    explicit ShownInOrder(CVelmorDlg& dlg) : m_dlg(dlg) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (CProgressDialog* window = CurrentProgressWindow()) {
                const QString entry = "progress " + window->windowTitle();
                if (events.isEmpty() || events.back() != entry) events << entry;
            }
        });
        m_timer.start(0);
    }
    MessageAnswer Message(QWidget* parent, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override {
        events << QStringLiteral("message %1 at %2, %3")
                      .arg(text.trimmed(), m_dlg.Field(kIdStep3DX)->text(),
                           m_dlg.Field(kIdStep3DY)->text());
        return CScriptedMessageUi::Message(parent, text, icon, buttons);
    }
    QStringList events;

private:
    CVelmorDlg& m_dlg;
    QTimer m_timer;
};

TEST_F(MeshCommandsTest, StepsOverTheTriangleBudgetAreEnlargedAndShownBeforeTheBuild) {
    CVelmorDlg& dlg = Open();
    SetSteps3D("0.01");  // 8,008,002 planned
    ShownInOrder shown(dlg);
    Click(kIdMake3DModel);
    ASSERT_EQ(shown.Shown().size(), 1u);
    EXPECT_EQ(shown.LastText(), "too many triangles ... changed \"delta 3D\"        ");
    EXPECT_EQ(shown.Shown()[0].icon, MessageIcon::Information);
    // First the message, with the enlarged steps in their boxes, then the build with them.
    EXPECT_EQ(shown.events.join(" | ").toStdString(),
              "message too many triangles ... changed \"delta 3D\" at 0.029, 0.029 | "
              "progress Shading Model ...");
    EXPECT_EQ(Dialog3D().Model().faces.size(), 2u * 689 * 689);
    EXPECT_EQ(Text(kIdStep3DY), "0.029");
}

TEST_F(MeshCommandsTest, SaveStlWritesAFreshMeshWhereTheSaveDialogSays) {
    CVelmorDlg& dlg = Open();
    SetSteps3D("0.25");
    const QString binPath = m_dir.QFilePath("surface.stl");
    m_messages.QueuePath(binPath);
    dlg.ToolbarAction(kCmdSaveStlBin)->trigger();
    ASSERT_EQ(m_messages.FileDialogs().size(), 1u);
    const ShownFileDialog& bin = m_messages.FileDialogs()[0];
    EXPECT_EQ(bin.request.defaultName, "Kestrum.stl");
    EXPECT_EQ(QFileInfo(binPath).size(), 84 + 50 * 12800);
    EXPECT_TRUE(Dialog3D().Model().faces.empty());  // the export never touches the 3D window

    // ASCII into a .txt name: the first line names that file.
    const QString asciiPath = m_dir.QFilePath("surface.txt");
    m_messages.QueuePath(asciiPath);
    dlg.MenuAction(kCmdSaveStlAscii)->trigger();
    QFile file(asciiPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 2 + 7 * 12800 + 1);  // the last line ends with its line feed
    EXPECT_EQ(lines.front(), "solid surface.txt");
    EXPECT_EQ(lines[lines.size() - 2], "endsolid");

    // A file that cannot be created: the system's reason (after the question whether to
    // create it), nothing written.
    m_messages.Clear();
    m_messages.QueuePath(m_dir.QFilePath("missing/surface.stl"));
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    ASSERT_EQ(m_messages.Shown().size(), 2u);
    EXPECT_TRUE(m_messages.LastText().contains("No such file or directory"))
        << m_messages.LastText().toStdString();
    EXPECT_FALSE(QFile::exists(m_dir.QFilePath("missing/surface.stl")));
    // A target that is no regular file is refused, not written into.
    m_messages.QueuePath(QStringLiteral("/dev/null"));
    dlg.MenuAction(kCmdSaveStlAscii)->trigger();
    ASSERT_EQ(m_messages.Shown().size(), 3u);
    EXPECT_EQ(m_messages.LastText(),
              "Writing STL(ASCII) File ... Failed.\n/dev/null: not a regular file");
}

// The corners of every triangle of a binary STL file, in file order.
std::vector<Vec3f> StlCorners(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<Vec3f> corners;
    for (qsizetype at = 84 + 12; at + 38 <= bytes.size(); at += 50) {
        float xyz[9];
        std::memcpy(xyz, bytes.constData() + at, sizeof xyz);
        for (int c = 0; c < 3; ++c) corners.push_back({xyz[3 * c], xyz[3 * c + 1], xyz[3 * c + 2]});
    }
    return corners;
}

// An export is the surface "Make 3D Model" would show: both sample the records as the last
// repaint left them, so an edit of the "UD FD Initial" tables not yet taken by an update is in
// neither (the export leaves it in its table). In interpreter mode without compiled code the
// export refuses before the file dialog, as "Make 3D Model" does, instead of writing the plane
// of failed samples.
TEST_F(MeshCommandsTest, SaveStlExportsTheSurfaceTheModelWouldShowAndNeedsCodeInInterpreterMode) {
    CVelmorDlg& dlg = Open();
    SetSteps3D("0.5");
    CDataGrid* fixed = dlg.UdFdInitial().FixedDataTable();
    test::TypeCell(fixed, "cv", "0.05");
    const QString path = m_dir.QFilePath("edited.stl");
    m_messages.QueuePath(path);
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    EXPECT_EQ(dlg.Provider().Initial().Fd0()->cv, 0.25);
    EXPECT_EQ(test::Cell(fixed, "cv"), "0.05");
    const std::vector<Vec3f> exported = StlCorners(path);

    Click(kIdMake3DModel);
    const CModel& model = Dialog3D().Model();
    ASSERT_EQ(exported.size(), 3 * model.faces.size());
    ASSERT_EQ(model.faces.size(), 3200u);
    for (size_t k = 0; k < model.faces.size(); k += 7) {
        for (int c = 0; c < 3; ++c) {
            const Vec3f& v = model.vertices[model.faces[k].vertex[c]];
            const Vec3f& e = exported[3 * k + c];
            EXPECT_TRUE(v.x == e.x && v.y == e.y && v.z == e.z) << "face " << k << " corner " << c;
        }
    }

    // An update takes the edit into the views, and so into the next export.
    Click(kIdUpdate2D);
    m_messages.QueuePath(path);
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    const std::vector<Vec3f> updated = StlCorners(path);
    ASSERT_EQ(updated.size(), exported.size());
    size_t lower = 0, higher = 0;  // a flatter curvature: lower off the lenslets' centres
    for (size_t k = 0; k < updated.size(); ++k) {
        lower += updated[k].z < exported[k].z;
        higher += updated[k].z > exported[k].z;
    }
    EXPECT_GT(lower, updated.size() / 4);
    EXPECT_EQ(higher, 0u);

    // Interpreter mode whose script no longer compiles: the refusal, no file dialog.
    dlg.Engine().Compile("z = 0.01 * x * x;");
    dlg.MenuAction(kCmdUseInterpreter)->trigger();
    ASSERT_TRUE(dlg.State().interpreterMode);
    dlg.Engine().Compile("z = ;");
    m_messages.Clear();
    m_messages.QueuePath(m_dir.QFilePath("none.stl"));
    for (int id : {kCmdSaveStlBin, kCmdSaveStlAscii}) {
        ProgressTitles progress;
        dlg.MenuAction(id)->trigger();
        EXPECT_TRUE(progress.Titles().isEmpty());
    }
    ASSERT_EQ(m_messages.Shown().size(), 2u);
    EXPECT_EQ(m_messages.LastText(), kTextNoCode);
    EXPECT_EQ(m_messages.Shown()[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(m_messages.FileDialogs().empty());
    EXPECT_FALSE(QFile::exists(m_dir.QFilePath("none.stl")));
}

// Both exports ask before creating a file (the question itself is the interpreter test's): No
// writes nothing, Yes writes it; a file that exists is not asked about.
TEST_F(MeshCommandsTest, SaveStlAsksBeforeCreatingANewFile) {
    CVelmorDlg& dlg = Open();
    SetSteps3D("0.5");
    const QString path = m_dir.QFilePath("new.stl");
    m_messages.QueuePath(path);
    m_messages.QueueAnswer(MessageAnswer::No);  // then the dialog again, cancelled
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    ASSERT_EQ(m_messages.FileDialogs().size(), 2u);
    EXPECT_EQ(m_messages.FileDialogs()[1].request.title, "Save User Defined Surface STL (BIN)");
    EXPECT_FALSE(QFile::exists(path));

    m_messages.Clear();
    m_messages.QueuePath(path);  // Yes
    dlg.MenuAction(kCmdSaveStlAscii)->trigger();
    EXPECT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_TRUE(QFile::exists(path));

    m_messages.Clear();
    m_messages.QueuePath(path);
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_EQ(QFileInfo(path).size(), 84 + 50 * 3200);
}

TEST_F(MeshCommandsTest, The3DWindowFollowsTheRayAndTheSurfaceLibrary) {
    CVelmorDlg& dlg = Open();
    CDialog3D& view = Dialog3D();
    EXPECT_EQ(view.RayState(), RayDisplay::kRefracted);  // the start-up trace: refracted
    SetSteps3D("0.5");
    Click(kIdMake3DModel);
    ASSERT_FALSE(view.Model().faces.empty());

    // A library load empties the model; a gradient-index medium is not traced.
    m_messages.QueuePath(test::QLibPath("grin_medium"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(dlg.Provider().LibraryLoaded());
    EXPECT_TRUE(view.Model().faces.empty());
    EXPECT_EQ(view.RayState(), RayDisplay::kNone);
}

}  // namespace
}  // namespace velmor

namespace velmor {
namespace {

// The example asphere answers -1 outside r = 4: its failed samples' triangles are left out of
// the 3D model and the file, and the 3D window and the status bar say how many samples failed;
// "Failed Samples at z = 0" keeps the full grid and stays checked from one start to the next;
// a range where nothing answers gives no model and no file, and the reason.
TEST_F(MeshCommandsTest, FailedSamplesLeaveTheirTrianglesOutOfTheModelAndTheFiles) {
    CVelmorDlg& dlg = Open();
    m_messages.QueuePath(QString::fromStdString(test::LibPath("even_asphere")));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(dlg.Provider().LibraryLoaded());
    SetSteps3D("0.25");
    CDialog3D& view = Dialog3D();
    EXPECT_FALSE(view.FailedAtZero());
    EXPECT_FALSE(view.Action(kCmdFailedAtZero)->isChecked());
    EXPECT_TRUE(view.ModelStatus().isEmpty());

    Click(kIdMake3DModel);
    const size_t kept = view.Model().faces.size();
    EXPECT_TRUE(kept > 400 && kept < 3200) << kept;
    for (const Vec3f& v : view.Model().vertices) ASSERT_LE(v.x * v.x + v.y * v.y, 16.0f + 1e-3f);
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d+) of 6561 samples failed: their triangles are "
                                          "left out$"))
            .match(view.ModelStatus());
    ASSERT_TRUE(match.hasMatch()) << view.ModelStatus().toStdString();
    const QString failed = match.captured(1);
    for (const QSize size : {view.size(), view.minimumSize()}) {
        view.resize(size);
        QApplication::processEvents();
        SaveShot(view, "shading_3d_failed_samples");
    }
    view.resize(view.sizeHint().expandedTo(QSize(360, 263)));

    // Saved: the status bar names the file, the triangles and the failed samples.
    const QString path = m_dir.QFilePath("lens.stl");
    m_messages.QueuePath(path);
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    EXPECT_EQ(QFileInfo(path).size(), qint64(84 + 50 * kept));
    EXPECT_EQ(
        dlg.statusBar()->currentMessage(),
        QStringLiteral("Saved %1 triangles to %2 (%3)").arg(kept).arg(path, view.ModelStatus()));
    for (const Vec3f& v : StlCorners(path)) ASSERT_LE(v.x * v.x + v.y * v.y, 16.0f + 1e-3f);

    // The full grid on request, for both.
    view.Action(kCmdFailedAtZero)->trigger();
    EXPECT_TRUE(view.FailedAtZero());
    Click(kIdMake3DModel);
    EXPECT_EQ(view.Model().faces.size(), 12800u);
    EXPECT_EQ(view.ModelStatus(),
              failed + QStringLiteral(" of 6561 samples failed: they lie at z = 0"));
    m_messages.QueuePath(path);
    dlg.MenuAction(kCmdSaveStlBin)->trigger();
    EXPECT_EQ(QFileInfo(path).size(), 84 + 50 * 12800);
    view.Action(kCmdFailedAtZero)->trigger();

    // Nothing answers between x = 5 and 10: no model, no file, the reason.
    Type(dlg.Field(kIdAnalysisXMin), "5");
    Click(kIdMake3DModel);
    EXPECT_TRUE(view.Model().faces.empty());
    EXPECT_EQ(view.ModelStatus(), kMeshNoSampleText);
    m_messages.Clear();
    m_messages.QueuePath(m_dir.QFilePath("none.stl"));
    dlg.MenuAction(kCmdSaveStlAscii)->trigger();
    EXPECT_TRUE(m_messages.FileDialogs().empty());
    EXPECT_EQ(m_messages.LastText(), kMeshNoSampleText);
    EXPECT_FALSE(QFile::exists(m_dir.QFilePath("none.stl")));
    // A model opened from a file has nothing to say about samples.
    view.RunCommand(kCmdClearModel);
    EXPECT_TRUE(view.ModelStatus().isEmpty());

    // The choice is kept in the settings file.
    view.Action(kCmdFailedAtZero)->trigger();
    m_messages.QueueAnswer(MessageAnswer::Ok);
    dlg.close();
    EXPECT_EQ(SettingsFile(m_settingsPath).GetInt(kSectionWindow3D, kKeyFailedAtZero, -1), 1);
    Close();
    EXPECT_TRUE(Open().Shading3D().FailedAtZero());
    EXPECT_TRUE(Dialog3D().Action(kCmdFailedAtZero)->isChecked());
}

}  // namespace
}  // namespace velmor
