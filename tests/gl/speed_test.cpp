// Measured run, not a pass/fail test: a surface mesh of about one million triangles on the
// real OpenGL implementation. Run with
//   xvfb-run -a -s "-screen 0 1600x1200x24" ./build/bin/test_gl
//     --gtest_also_run_disabled_tests --gtest_filter='*MillionTriangles*'
// Times are wall clock and, in brackets, the CPU time of all threads of the process (Mesa's
// rasteriser threads included), which a busy machine disturbs less.
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "gl_test_support.h"

namespace velmor::gltest {
namespace {

// A sag-like surface over [-20, 20]^2 as the mesh builder lays it out: n x n cells, two
// triangles each, unshared vertices, unit face normals.
void MakeSurfaceMesh(int n, CModel& model) {
    model.Clear();
    auto group = std::make_unique<modelGroup>();
    group->material = modelMaterial::Surface();
    const auto sag = [](float x, float y) { return 0.02f * (x * x + y * y) + std::sin(x) * 0.5f; };
    const float step = 40.0f / n;
    model.vertices.reserve(static_cast<size_t>(n) * n * 6);
    model.faces.reserve(static_cast<size_t>(n) * n * 2);
    model.faceNormals.reserve(static_cast<size_t>(n) * n * 2);
    group->faces.reserve(static_cast<size_t>(n) * n * 2);
    const auto add = [&](Vec3f a, Vec3f b, Vec3f c) {
        const int k = static_cast<int>(model.faces.size());
        model.vertices.insert(model.vertices.end(), {a, b, c});
        modelFace face;
        for (int i = 0; i < 3; ++i) face.vertex[i] = 3 * k + i;
        face.faceNormal = k;
        model.faces.push_back(face);
        model.faceNormals.push_back(TriangleNormal(a, b, c));
        group->faces.push_back(k);
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float x0 = -20 + i * step, y0 = -20 + j * step;
            const float x1 = x0 + step, y1 = y0 + step;
            const Vec3f p00{x0, y0, sag(x0, y0)}, p10{x1, y0, sag(x1, y0)};
            const Vec3f p01{x0, y1, sag(x0, y1)}, p11{x1, y1, sag(x1, y1)};
            add(p00, p10, p11);
            add(p00, p11, p01);
        }
    model.groups.push_back(std::move(group));
}

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1.0e3 + t.tv_nsec / 1.0e6;
}

// Wall and CPU milliseconds since Start.
struct Stopwatch {
    QElapsedTimer wall;
    double cpu0 = 0;
    void Start() {
        wall.start();
        cpu0 = CpuMs();
    }
    double Wall() const { return wall.nsecsElapsed() / 1.0e6; }
    double Cpu() const { return CpuMs() - cpu0; }
};

TEST_F(Dialog3DTest, DISABLED_MillionTrianglesFirstFrameAndSpin) {
    CModel mesh;
    MakeSurfaceMesh(708, mesh);  // 1,002,528 triangles
    std::printf("triangles: %zu, view %d x %d, renderer: %s\n", mesh.faces.size(), View()->width(),
                View()->height(),
                reinterpret_cast<const char*>((View()->makeCurrent(), glGetString(GL_RENDERER))));
    View()->doneCurrent();

    // Reading the framebuffer back is part of every grab; measure it on the empty window.
    Stopwatch watch;
    Grab();
    watch.Start();
    for (int i = 0; i < 10; ++i) Grab();
    const double emptyWall = watch.Wall() / 10, emptyCpu = watch.Cpu() / 10;

    watch.Start();
    dialog->SetModel(mesh, true);
    const double copyWall = watch.Wall(), copyCpu = watch.Cpu();
    Grab();
    const double firstWall = watch.Wall(), firstCpu = watch.Cpu();
    const int compilations = dialog->ModelListCompilations();

    const QPoint centre(View()->width() / 2, View()->height() / 2);
    SendMouse(View(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    const int frames = 20;
    watch.Start();
    for (int i = 1; i <= frames; ++i) {
        SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton,
                  centre + QPoint(3 * i, 2 * i));
        Grab();
    }
    const double spinWall = watch.Wall() / frames, spinCpu = watch.Cpu() / frames;
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    EXPECT_EQ(dialog->ModelListCompilations(), compilations);  // only replayed

    dialog->RunCommand(kCmdRenderLine);
    watch.Start();
    Grab();
    const double lineWall = watch.Wall(), lineCpu = watch.Cpu();
    watch.Start();
    for (int i = 0; i < 5; ++i) Grab();
    const double bothWall = watch.Wall() / 5, bothCpu = watch.Cpu() / 5;

    dialog->RunCommand(kCmdPickFace);
    watch.Start();
    dialog->PickAt(centre.x(), centre.y());
    const double pickWall = watch.Wall(), pickCpu = watch.Cpu();

    std::printf("model copy into the window:          %8.1f ms  (cpu %8.1f)\n", copyWall, copyCpu);
    std::printf("first frame after setting the model: %8.1f ms  (cpu %8.1f)  copy+compile+draw\n",
                firstWall, firstCpu);
    std::printf("frame while spinning, faces:         %8.1f ms  (cpu %8.1f)\n", spinWall, spinCpu);
    std::printf("frame of the empty window:           %8.1f ms  (cpu %8.1f)  ratio %.0f\n",
                emptyWall, emptyCpu, spinWall / emptyWall);
    std::printf("line layer compile + frame:          %8.1f ms  (cpu %8.1f)\n", lineWall, lineCpu);
    std::printf("frame, faces + lines:                %8.1f ms  (cpu %8.1f)\n", bothWall, bothCpu);
    std::printf("face pick over all faces:            %8.1f ms  (cpu %8.1f)\n", pickWall, pickCpu);
}

}  // namespace
}  // namespace velmor::gltest
