// The main window on a real display: "Make 3D Model" reaches a drawn 3D view.
#include <cmath>
#include <cstring>

#include "dlg_fixture.h"
#include "gl_test_support.h"
#include "test_paths.h"

namespace velmor {
namespace {

class MainWindowGlTest : public DlgTest {
protected:
    void SetUp() override {
        if (!gltest::RequireOpenGlWindows()) return;
        Open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
    }
};

// The mesh's own contents are checked by the window tests; here it reaches the drawn view.
TEST_F(MainWindowGlTest, MakeModelIsDrawnInThe3DWindow) {
    CDialog3D& view = m_dlg->Shading3D();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view) && view.HasContext());
    for (int id : {kIdStep3DX, kIdStep3DY}) m_dlg->Field(id)->setText("0.25");
    QTest::mouseClick(m_dlg->Control(kIdMake3DModel), Qt::LeftButton);
    EXPECT_EQ(view.Model().faces.size(), 12800u);
    const QPoint corner = view.View()->rect().center() + QPoint(-60, 60);
    const QRgb face = view.View()->grabFramebuffer().pixel(corner);  // lit faces of the mesh
    EXPECT_GT(qBlue(face), 60) << std::hex << face;
    EXPECT_TRUE(m_messages.Shown().empty());
}

// A gradient-index medium's path reaches the 3D window as a blue polyline over the mesh: seen
// from above, its point in the middle of its way is drawn blue. With VELMOR_SCREENSHOT_DIR set
// the view is saved there.
TEST_F(MainWindowGlTest, MediumPathIsDrawnInThe3DWindow) {
    CDialog3D& view = m_dlg->Shading3D();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view) && view.HasContext());
    m_messages.QueuePath(test::QLibPath("grin_exact"));
    m_dlg->MenuAction(kCmdOpenDll)->trigger();
    RecordPair& records = m_dlg->Provider().Initial();
    const double step = 0.05, g = 0.09;
    std::memcpy(records.fd + offsetof(FIXED_DATA, param) + sizeof(double), &step, sizeof step);
    std::memcpy(records.fd + offsetof(FIXED_DATA, param) + 3 * sizeof(double), &g, sizeof g);
    records.ud.x = 8;
    records.ud.y = 3;
    records.ud.l = 0;
    records.ud.m = 0.3;
    records.ud.n = std::sqrt(0.91);
    for (int id : {kIdStep3DX, kIdStep3DY}) m_dlg->Field(id)->setText("0.5");
    // Into the tables, which "Update 2D" reads back; "Make 3D Model" turns Ray Trace on.
    m_dlg->UdFdInitial().ShowRecords(records, m_dlg->Provider().RecordVersion());
    QTest::mouseClick(m_dlg->Control(kIdMake3DModel), Qt::LeftButton);
    QTest::mouseClick(m_dlg->Control(kIdUpdate2D), Qt::LeftButton);
    const MediumPath* path = m_dlg->Provider().LastMediumPath();
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(path->end, MediumEnd::kPlane);
    ASSERT_TRUE(view.RayTraceOn());
    ASSERT_FALSE(view.MediumPathVertices().empty());
    const QImage image = view.View()->grabFramebuffer();
    int blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            blue += qBlue(c) > 200 && qRed(c) < 60 && qGreen(c) < 60;
        }
    }
    EXPECT_GT(blue, 20);
    const QString dir = qEnvironmentVariable("VELMOR_SCREENSHOT_DIR");
    if (!dir.isEmpty()) view.grab().save(dir + QStringLiteral("/shading3d_grin_path.png"));
}

}  // namespace
}  // namespace velmor
