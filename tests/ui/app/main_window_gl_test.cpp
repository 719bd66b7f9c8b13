// The main window on a real display: "Make 3D Model" reaches a drawn 3D view.
#include "dlg_fixture.h"
#include "gl_test_support.h"

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

}  // namespace
}  // namespace velmor
