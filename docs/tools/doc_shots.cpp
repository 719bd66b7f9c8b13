// Writes the pictures in docs/ and measures the drawing of a one-million-triangle mesh; each run
// is one test of this program (--gtest_filter picks some). Run by hand under a real display:
//   xvfb-run -a -s "-screen 0 1600x1200x24" ./build/bin/velmor-doc-shots
#include <QElapsedTimer>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/interp/default_script.h"
#include "dlg_fixture.h"
#include "gl_test_support.h"
#include "plot_test_support.h"
#include "ui/interp/tab_edit.h"
#include "ui/plots/surface_map.h"

namespace velmor {
namespace {

QString DocsPath(const char* name) {
    return QStringLiteral(VELMOR_SOURCE_DIR "/docs/") + QLatin1String(name);
}

void Save(QWidget* window, const char* name) {
    window->show();
    QTest::qWait(100);
    ASSERT_TRUE(window->grab().save(DocsPath(name)));
    std::printf("wrote docs/%s (%d x %d)\n", name, window->width(), window->height());
}

// The four views, each 320 pixels square, 4 pixels apart, the cursor read-out below.
void ShootViews(test::ProgramSurface& program, const PlotState& state, const char* name) {
    constexpr int kSide = 320, kGap = 4;
    PlotAreas areas;
    areas.plan = QRect(kGap, kGap, kSide, kSide);
    areas.fourth = QRect(2 * kGap + kSide, kGap, kSide, kSide);
    areas.xz = QRect(kGap, 2 * kGap + kSide, kSide, kSide);
    areas.yz = QRect(2 * kGap + kSide, 2 * kGap + kSide, kSide, kSide);
    CSurfaceMap map;
    RepaintViews(state, program.surface, map, areas, nullptr);  // builds the map
    const RepaintResult views = RepaintViews(state, program.surface, map, areas, nullptr);
    QImage shot(2 * kSide + 3 * kGap, 2 * kSide + 3 * kGap + 40, QImage::Format_RGB32);
    shot.fill(qRgb(240, 240, 240));
    {
        QPainter painter(&shot);
        for (const auto& [image, area] : {std::pair{&views.plan, &areas.plan},
                                          {&views.xz, &areas.xz},
                                          {&views.yz, &areas.yz},
                                          {&views.fourth, &areas.fourth}})
            painter.drawImage(area->topLeft(), *image);
        painter.setFont(PlotFont());
        painter.drawText(QRect(kGap, 2 * kSide + 3 * kGap, 2 * kSide, 40),
                         Qt::AlignLeft | Qt::AlignTop, views.cursorReadout);
    }
    ASSERT_TRUE(shot.save(DocsPath(name)));
    std::printf("wrote docs/%s\n", name);
}

// views_builtin.png, views_script.png, views_gradient_index.png.
TEST(DocShots, Views) {
    {
        test::ProgramSurface program;
        ShootViews(program, program.Traced(), "views_builtin.png");
    }
    {
        test::ProgramSurface program;
        ASSERT_TRUE(program.UseScript(kDefaultScript));
        ShootViews(program, program.Traced(), "views_script.png");
    }
    // grin_medium (param[1] the step Delta T) with a stronger radial fall of the index, the
    // ray entering off the axis: its path bends towards the axis through the grey index field.
    test::ProgramSurface program;
    ASSERT_TRUE(program.Open("grin_medium"));
    RecordPair& records = program.provider.Initial();
    records.Fd0()->param[3] = -0.006;
    records.ud.x = 6;
    records.ud.y = 2;
    records.ud.l = -0.2;
    records.ud.m = 0;
    records.ud.n = std::sqrt(1 - 0.04);
    PlotState state = program.Traced();
    ASSERT_TRUE(state.gradientIndex);
    ASSERT_NE(state.mediumPath, nullptr);
    ASSERT_EQ(state.mediumPath->end, MediumEnd::kPlane);
    state.cursorX = 3.0;
    state.cursorY = 2.0;
    state.cursorZ = 1.0;
    state.displayN = {1.0, 1.7};
    ShootViews(program, state, "views_gradient_index.png");
    std::printf("%s\n", state.mediumStatus.c_str());
}

// interpreter.png: the window after compiling the example with a division by x added.
TEST(DocShots, Interpreter) {
    CScriptedMessageUi messages;
    CScriptEngine engine;
    CDialogInerpreter window{engine};
    window.resize(640, 560);
    window.SourceBox()->setPlainText(window.SourceText() +
                                     "z = z / x;\t// divides by 0 at x = 0\n");
    window.Compile();
    Save(&window, "interpreter.png");
}

class DocShotsGl : public DlgTest {
protected:
    void SetUp() override {
        if (!gltest::RequireOpenGlWindows()) return;
        Open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
    }
};

// main_window.png: the window at its default size as it starts. The others after a ray chosen
// in a larger window and the surface mesh made.
TEST_F(DocShotsGl, MainWindows) {
    Save(m_dlg.get(), "main_window.png");
    m_dlg->resize(1180, 860);
    QTest::qWait(100);
    for (int id : {kIdStep3DX, kIdStep3DY}) m_dlg->Field(id)->setText("0.200");
    const QRect plan = m_dlg->Areas().plan;  // a ray chosen with a Shift-click, then the mesh
    QTest::mouseClick(m_dlg->PlotClient(), Qt::LeftButton, Qt::ShiftModifier,
                      plan.topLeft() + QPoint(plan.width() * 58 / 100, plan.height() * 40 / 100));
    QTest::mouseClick(m_dlg->Control(kIdMake3DModel), Qt::LeftButton);
    CDialog3D& view = m_dlg->Shading3D();  // larger, turned to be seen from the side, zoomed in
    view.resize(720, 600);
    QTest::qWait(100);
    QWidget* gl = view.View();
    const QPoint centre = gl->rect().center();
    gltest::Drag(gl, Qt::LeftButton, centre, centre + QPoint(0, -120));
    gltest::Drag(gl, Qt::LeftButton, centre, centre + QPoint(-60, 0));
    for (int i = 0; i < 3; ++i) gltest::SendWheel(gl, centre, 120);
    Save(&m_dlg->UdFdInitial(), "udfd_initial.png");
    Save(&m_dlg->UdFdFinal(), "udfd_final.png");
    Save(&m_dlg->Shading3D(), "shading_3d_main.png");
}

}  // namespace

namespace gltest {
namespace {

// Milliseconds of wall clock and, in brackets, of CPU time of all threads (Mesa's rasteriser
// threads included), which a busy machine disturbs less.
struct Stopwatch {
    QElapsedTimer wall;
    std::clock_t cpu0 = 0;
    void Start() { wall.start(), cpu0 = std::clock(); }
    void Print(const char* what, int frames = 1) {
        std::printf("%-34s %8.1f ms  (cpu %8.1f)\n", what, wall.nsecsElapsed() / 1.0e6 / frames,
                    (std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC / frames);
        Start();
    }
};

// The timing of a one-million-triangle mesh: its first frame and frames while spinning.
TEST_F(Dialog3DTest, MillionTrianglesFirstFrameAndSpin) {
    CModel mesh;  // 708 x 708 cells, 1,002,528 triangles
    MakeGridModel(
        708, 20, [](float x, float y) { return 0.02f * (x * x + y * y) + std::sin(x); }, mesh);
    Stopwatch watch;
    Grab();
    watch.Start();
    for (int i = 0; i < 10; ++i) Grab();  // the read-back every grab pays
    watch.Print("frame of the empty window:", 10);
    dialog->SetModel(mesh, true);
    Grab();
    watch.Print("first frame (copy+compile+draw):");
    for (int i = 1; i <= 20; ++i) {
        Drag(View(), Qt::LeftButton, Centre(), Centre() + QPoint(3, 2));
        Grab();
    }
    watch.Print("frame while spinning:", 20);
}

// Sag of a square array of spherical lenslets (pitch 5, radius of curvature 6).
float LensletSag(float x, float y) {
    const float pitch = 5.0f, c = 1.0f / 6.0f;
    const float lx = x - pitch * std::round(x / pitch), ly = y - pitch * std::round(y / pitch);
    const float r2 = std::min(lx * lx + ly * ly, 0.95f / (c * c));
    return c * r2 / (1.0f + std::sqrt(1.0f - c * c * r2));
}

// shading_3d.png: a lenslet array with a refracted ray, from below and aside.
TEST_F(Dialog3DTest, Shading3D) {
    CModel mesh;
    MakeGridModel(90, 12.5f, LensletSag, mesh);
    dialog->resize(720, 600);
    QTest::qWait(50);
    dialog->SetModel(mesh, true);
    const float ray[9] = {0, 0.30f, -0.954f, 0.08f, 0.22f, -0.972f, 2, -1.5f, LensletSag(2, -1.5f)};
    dialog->SetRay(ray, RayDisplay::kRefracted);
    Drag(View(), Qt::LeftButton, Centre(), Centre() + QPoint(0, -110));
    Drag(View(), Qt::LeftButton, Centre(), Centre() + QPoint(-70, 0));
    SendWheel(View(), Centre(), 120);
    ASSERT_TRUE(dialog->grab().save(DocsPath("shading_3d.png")));
    std::printf("wrote docs/shading_3d.png\n");
}

}  // namespace
}  // namespace gltest
}  // namespace velmor
