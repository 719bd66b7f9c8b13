// The main window on a real display: "Make 3D Model" reaches a drawn 3D view, and (disabled,
// run by hand) the screenshots of the program's windows for the docs:
//   xvfb-run -a -s "-screen 0 1600x1200x24" ./build/bin/test_gl
//     --gtest_also_run_disabled_tests --gtest_filter='*MainWindowScreenshots*'
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QOpenGLWidget>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>

#include "app/record_table_windows.h"
#include "app/scripted_message_ui.h"
#include "app/shading3d_window.h"
#include "app/velmor_dlg.h"
#include "gl_test_support.h"
#include "plots/velmor_plot_views.h"
#include "surface/dialog_udfd_initial.h"
#include "view3d/dialog_3d.h"

namespace velmor {
namespace {

class MainWindowGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            GTEST_SKIP() << "OpenGL windows need a display (run under xvfb-run)";
        ASSERT_TRUE(m_dir.isValid());
        m_dlg = std::make_unique<CVelmorDlg>(VelmorDlgOptions{
            QFile::encodeName(m_dir.filePath("Velmor.ini")).toStdString(), m_dir.path()});
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
        auto* views = dynamic_cast<CVelmorPlotViews*>(&m_dlg->Views());
        ASSERT_TRUE(QTest::qWaitFor([views] { return views->Map().Built(); }));
        QApplication::processEvents();
    }
    void TearDown() override { m_dlg.reset(); }

    CDialog3D& Dialog3D() { return static_cast<CShading3DWindow&>(m_dlg->Shading3D()).Dialog(); }
    void Type(int id, const char* text) { m_dlg->Field(id)->setText(QString::fromLatin1(text)); }

    QTemporaryDir m_dir;
    CScriptedMessageUi m_messages;
    std::unique_ptr<CVelmorDlg> m_dlg;
};

TEST_F(MainWindowGlTest, MakeModelIsDrawnInThe3DWindow) {
    CDialog3D& view = Dialog3D();
    ASSERT_NE(view.View(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(view.HasContext());
    view.resize(500, 460);
    QTest::qWait(50);
    QImage before = view.View()->grabFramebuffer();
    const QPoint corner(view.View()->width() / 2 - 60, view.View()->height() / 2 + 60);
    EXPECT_TRUE(gltest::IsBlack(gltest::PixelAt(before, corner))) << "an empty view";

    Type(kIdStep3DX, "0.25");
    Type(kIdStep3DY, "0.25");
    QTest::mouseClick(m_dlg->Control(kIdMake3DModel), Qt::LeftButton);
    EXPECT_EQ(view.Model().faces.size(), 12800u);
    const int compiled = view.ModelListCompilations();
    QImage after = view.View()->grabFramebuffer();
    EXPECT_GT(view.ModelListCompilations(), compiled);
    // The lit faces of the mesh cover the view around the middle.
    const QRgb face = after.pixel(corner);
    EXPECT_GT(qBlue(face), 60) << std::hex << face;
    EXPECT_TRUE(m_messages.Shown().empty());
}

TEST_F(MainWindowGlTest, DISABLED_MainWindowScreenshots) {
    const QString docs = QStringLiteral(VELMOR_SOURCE_DIR "/docs/");
    m_dlg->resize(1180, 860);
    QTest::qWait(100);
    Type(kIdStep3DX, "0.200");
    Type(kIdStep3DY, "0.200");
    // A ray chosen with Shift-clicks, then the mesh.
    const PlotAreas areas = m_dlg->Areas();
    const QPoint through(areas.plan.left() + areas.plan.width() * 58 / 100,
                         areas.plan.top() + areas.plan.height() * 40 / 100);
    QTest::mouseClick(m_dlg->PlotClient(), Qt::LeftButton, Qt::ShiftModifier, through);
    QTest::mouseClick(m_dlg->Control(kIdMake3DModel), Qt::LeftButton);
    QTest::qWait(200);
    // The 3D window larger, the mesh turned to be seen from the side and zoomed in.
    CDialog3D& view = Dialog3D();
    view.resize(720, 600);
    QTest::qWait(100);
    QWidget* gl = view.View();
    const QPoint centre(gl->width() / 2, gl->height() / 2);
    gltest::SendMouse(gl, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    gltest::SendMouse(gl, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton,
                      centre + QPoint(0, -120));
    gltest::SendMouse(gl, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    gltest::SendMouse(gl, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, centre);
    gltest::SendMouse(gl, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, centre + QPoint(-60, 0));
    gltest::SendMouse(gl, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, centre);
    for (int i = 0; i < 3; ++i) gltest::SendWheel(gl, centre, 120);
    QTest::qWait(100);

    const std::pair<QWidget*, const char*> shots[] = {
        {m_dlg.get(), "main_window.png"},
        {m_dlg->UdFdInitial().Widget(), "udfd_initial.png"},
        {m_dlg->UdFdFinal().Widget(), "udfd_final.png"},
        {m_dlg->Shading3D().Widget(), "shading_3d_main.png"},
    };
    for (const auto& [window, name] : shots) {
        window->show();
        window->raise();
        QTest::qWait(100);
        const QPixmap shot = window->grab();
        ASSERT_TRUE(shot.save(docs + QString::fromLatin1(name)));
        std::printf("wrote %s%s (%d x %d)\n", qPrintable(docs), name, shot.width(), shot.height());
    }
}

}  // namespace
}  // namespace velmor
