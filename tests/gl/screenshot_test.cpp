// Not a test: writes docs/shading_3d.png, the 3D window with a lenslet-array surface mesh,
// a traced ray and the view turned. Run with
//   xvfb-run -a -s "-screen 0 1600x1200x24" ./build/bin/test_gl
//     --gtest_also_run_disabled_tests --gtest_filter='*Screenshot*'
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <cmath>
#include <cstdio>

#include "gl_test_support.h"

namespace velmor::gltest {
namespace {

// Sag of a square array of spherical lenslets (pitch 5, radius of curvature 6) over a base.
float LensletSag(float x, float y) {
    const float pitch = 5.0f, c = 1.0f / 6.0f;
    const float lx = x - pitch * std::round(x / pitch);
    const float ly = y - pitch * std::round(y / pitch);
    const float r2 = std::min(lx * lx + ly * ly, 0.95f / (c * c));
    return c * r2 / (1.0f + std::sqrt(1.0f - c * c * r2));
}

TEST_F(Dialog3DTest, DISABLED_ScreenshotForTheDocs) {
    CModel mesh;
    std::vector<std::array<Vec3f, 3>> triangles;
    const int n = 90;
    const float half = 12.5f, step = 2 * half / n;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float x0 = -half + i * step, y0 = -half + j * step;
            const float x1 = x0 + step, y1 = y0 + step;
            const Vec3f p00{x0, y0, LensletSag(x0, y0)}, p10{x1, y0, LensletSag(x1, y0)};
            const Vec3f p01{x0, y1, LensletSag(x0, y1)}, p11{x1, y1, LensletSag(x1, y1)};
            triangles.push_back({p00, p10, p11});
            triangles.push_back({p00, p11, p01});
        }
    MakeTriangleModel(triangles, mesh);
    dialog->resize(720, 600);
    QTest::qWait(50);
    dialog->SetModel(mesh, true);
    const Vec3f hit{2.0f, -1.5f, LensletSag(2.0f, -1.5f)};
    const float ray[9] = {0.0f, 0.30f, -0.954f, 0.08f, 0.22f, -0.972f, hit.x, hit.y, hit.z};
    dialog->SetRay(ray, 2);

    // Turn the model to look at it from below and to the side.
    const QPoint centre(View()->width() / 2, View()->height() / 2);
    SendMouse(View(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, centre + QPoint(0, -110));
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    SendMouse(View(), QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    SendMouse(View(), QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, centre + QPoint(-70, 0));
    SendMouse(View(), QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    SendWheel(View(), centre, 120);

    const QString path = QStringLiteral(VELMOR_SOURCE_DIR) + QStringLiteral("/docs/shading_3d.png");
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QPixmap shot = dialog->grab();
    ASSERT_TRUE(shot.save(path));
    std::printf("wrote %s (%d x %d)\n", qPrintable(path), shot.width(), shot.height());
}

}  // namespace
}  // namespace velmor::gltest
