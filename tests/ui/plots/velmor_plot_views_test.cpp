// The views behind a real main window: what a paint writes into the window's texts, the map
// built after the first paint, and the Shift-click choices on the initial records.
#include "ui/plots/velmor_plot_views.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <memory>

#include "scripted_message_ui.h"
#include "ui/app/velmor_dlg.h"
#include "ui/interp/dialog_interpreter.h"

namespace velmor {
namespace {

class PlotViewsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_dlg = std::make_unique<CVelmorDlg>(
            VelmorDlgOptions{QFile::encodeName(m_dir.filePath("Velmor.ini")).toStdString()});
        QApplication::processEvents();
        m_views = std::make_unique<CVelmorPlotViews>(*m_dlg);
    }
    QImage Paint() {
        QImage client(m_dlg->PlotClient()->size(), QImage::Format_RGB32);
        client.fill(qRgb(0, 0, 0));
        QPainter painter(&client);
        m_views->Paint(painter, m_dlg->Areas());
        return client;
    }

    QTemporaryDir m_dir;
    CScriptedMessageUi m_messages;
    std::unique_ptr<CVelmorDlg> m_dlg;
    std::unique_ptr<CVelmorPlotViews> m_views;
};

TEST_F(PlotViewsTest, FirstPaintThenTheMapThenTheTexts) {
    const QRect plan = m_dlg->Areas().plan;
    ASSERT_GT(plan.width(), 50);
    QImage client = Paint();
    EXPECT_FALSE(m_views->Map().Built());  // left for after the paint
    EXPECT_EQ(client.pixel(plan.left() + 5, plan.top() + 5), qRgb(255, 255, 255));
    EXPECT_TRUE(m_dlg->CursorReadout().startsWith("Cursor: x=0.100 , y=0.100 , z=0.100, sag="));

    QApplication::processEvents();  // the queued build
    ASSERT_TRUE(m_views->Map().Built());
    client = Paint();
    const QRgb grey = client.pixel(plan.left() + 5, plan.top() + 5);
    EXPECT_TRUE(qRed(grey) == qBlue(grey) && qRed(grey) >= 64 && qRed(grey) <= 192);
}

TEST_F(PlotViewsTest, ShiftClickChoicesChangeTheInitialRay) {
    USER_DATA& ud = m_dlg->Provider().Initial().ud;
    m_views->ChooseThroughPoint(2, 3);
    EXPECT_EQ(ud.y, 3);
    m_views->ChooseDirection(2, -7);  // below the start point: travels towards +y
    EXPECT_GT(ud.m, 0);
    m_dlg->AfterRayChoice();
    ASSERT_TRUE(m_dlg->Provider().LastTraceSucceeded());
    m_views->ChooseIncidentElevation(5, m_dlg->Provider().LastRay()[2] - 5);
    EXPECT_NEAR(ud.n, std::sqrt(0.5), 1e-12);
}

TEST_F(PlotViewsTest, ScriptErrorsGoToTheInterpreterWindow) {
    m_dlg->Engine().Compile("z = sqrt(x);");  // fails for every negative x
    m_dlg->UseInterpreterFromBox();
    ASSERT_EQ(m_dlg->State().interpreterMode, 1);
    Paint();
    EXPECT_TRUE(m_dlg->Interpreter().OutputText().contains("sqrt(negative)"));
}

}  // namespace
}  // namespace velmor
