// Not pass/fail tests: runs by hand that measure the drawing of a one-million-triangle mesh and
// write docs/shading_3d.png. Run with
//   xvfb-run -a -s "-screen 0 1600x1200x24" ./build/bin/test_gl
//     --gtest_also_run_disabled_tests --gtest_filter='*MillionTriangles*:*Screenshot*'
#include <QElapsedTimer>
#include <QPixmap>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "gl_test_support.h"

namespace velmor::gltest {
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

TEST_F(Dialog3DTest, DISABLED_MillionTrianglesFirstFrameAndSpin) {
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

TEST_F(Dialog3DTest, DISABLED_ScreenshotForTheDocs) {
    CModel mesh;
    MakeGridModel(90, 12.5f, LensletSag, mesh);
    dialog->resize(720, 600);
    QTest::qWait(50);
    dialog->SetModel(mesh, true);
    const float ray[9] = {0, 0.30f, -0.954f, 0.08f, 0.22f, -0.972f, 2, -1.5f, LensletSag(2, -1.5f)};
    dialog->SetRay(ray, RayDisplay::kRefracted);
    Drag(View(), Qt::LeftButton, Centre(), Centre() + QPoint(0, -110));  // from below and aside
    Drag(View(), Qt::LeftButton, Centre(), Centre() + QPoint(-70, 0));
    SendWheel(View(), Centre(), 120);
    const QString path = QStringLiteral(VELMOR_SOURCE_DIR "/docs/shading_3d.png");
    ASSERT_TRUE(dialog->grab().save(path));
    std::printf("wrote %s\n", qPrintable(path));
}

}  // namespace
}  // namespace velmor::gltest
