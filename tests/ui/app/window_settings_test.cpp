// Window placement and visibility through the settings file.
#include "ui/app/window_settings.h"

#include "core/app/settings_file.h"
#include "dlg_fixture.h"
#include "ui/surface/library_output.h"

namespace velmor {
namespace {

class WindowSettingsTest : public DlgTest {
protected:
    SettingsFile File() const { return SettingsFile(m_settingsPath); }
    void ConfirmClose() {
        m_messages.QueueAnswer(MessageAnswer::Ok);
        m_dlg->close();
    }
    // Where the main window lands without settings: centred on the desktop.
    QPoint DefaultTopLeft() {
        CVelmorDlg& dlg = Open();
        const QPoint topLeft = dlg.geometry().topLeft();
        Close();
        return topLeft;
    }
};

TEST_F(WindowSettingsTest, PlacementAndVisibilityRoundTrip) {
    {
        CVelmorDlg& dlg = Open();
        dlg.setGeometry(QRect(40, 50, 900, 700));
        dlg.Shading3D().setGeometry(QRect(300, 20, 400, 300));
        dlg.UdFdInitial().setGeometry(QRect(500, 60, 320, 420));
        dlg.UdFdInitial().hide();
        QWidget* interpreter = &dlg.Interpreter();
        interpreter->setGeometry(QRect(120, 130, 500, 410));
        interpreter->showMinimized();
        ASSERT_TRUE(interpreter->isMinimized());
        EXPECT_FALSE(dlg.LibraryOutput().isVisible());  // hidden until the Window menu opens it
        dlg.LibraryOutput().setGeometry(QRect(700, 400, 500, 250));
        dlg.LibraryOutput().show();
        ConfirmClose();
    }
    const SettingsFile file = File();
    EXPECT_EQ(file.GetInt(kSectionWindowMain, kKeyNormLeft, -1), 40);
    EXPECT_EQ(file.GetInt(kSectionWindowMain, kKeyNormBottom, -1), 750);
    EXPECT_EQ(file.GetInt(kSectionWindowMain, kKeyVisible, -1), -1);  // the main window has none
    EXPECT_EQ(file.GetInt(kSectionWindowUdFdInitial, kKeyVisible, -1), 0);
    EXPECT_EQ(file.GetInt(kSectionWindowInterpreter, kKeyVisible, -1), 0);  // minimised
    EXPECT_EQ(file.GetInt(kSectionWindowInterpreter, kKeyNormTop, -1), 130);
    Close();

    CVelmorDlg& dlg = Open();
    EXPECT_EQ(dlg.geometry(), QRect(40, 50, 900, 700));
    EXPECT_EQ(dlg.Shading3D().geometry(), QRect(300, 20, 400, 300));
    EXPECT_EQ(dlg.UdFdInitial().geometry(), QRect(500, 60, 320, 420));
    EXPECT_FALSE(dlg.UdFdInitial().isVisible());
    // The minimised window comes back hidden, at its restored rectangle.
    QWidget* interpreter = &dlg.Interpreter();
    EXPECT_FALSE(interpreter->isVisible());
    EXPECT_EQ(interpreter->geometry(), QRect(120, 130, 500, 410));
    EXPECT_TRUE(dlg.LibraryOutput().isVisible());
    EXPECT_EQ(dlg.LibraryOutput().geometry(), QRect(700, 400, 500, 250));
}

TEST_F(WindowSettingsTest, AnEmptyStoredRectangleKeepsTheDefaultPlacement) {
    const QPoint origin = DefaultTopLeft();
    SettingsFile file = File();
    WriteStoredRect(file, kSectionWindowMain, QRect(20, 30, 800, 650));
    // "Shading 3D": right equal to left; "UD FD Final": all zero.
    file.WriteInt(kSectionWindow3D, kKeyNormLeft, 100);
    file.WriteInt(kSectionWindow3D, kKeyNormTop, 100);
    file.WriteInt(kSectionWindow3D, kKeyNormRight, 100);
    file.WriteInt(kSectionWindow3D, kKeyNormBottom, 400);
    for (const char* key : {kKeyNormLeft, kKeyNormTop, kKeyNormRight, kKeyNormBottom})
        file.WriteInt(kSectionWindowUdFdFinal, key, 0);
    WriteStoredRect(file, kSectionWindowInterpreter, QRect(210, 220, 450, 350));
    file.WriteString(kSectionWindowUdFdInitial, kKeyVisible, "not a number");

    CVelmorDlg& dlg = Open();
    EXPECT_EQ(dlg.geometry(), QRect(20, 30, 800, 650));
    EXPECT_EQ(dlg.Interpreter().geometry(), QRect(210, 220, 450, 350));
    // The cascade starts from the centred position, not from the stored one.
    EXPECT_EQ(dlg.Shading3D().geometry().topLeft(), origin + QPoint(96, -48));
    EXPECT_EQ(dlg.UdFdFinal().geometry().topLeft(), origin + QPoint(192, -96));
    EXPECT_EQ(dlg.LibraryOutput().geometry().topLeft(), origin + QPoint(240, -120));
    EXPECT_TRUE(dlg.UdFdInitial().isVisible());  // unreadable VISIBLE: shown
}

}  // namespace
}  // namespace velmor
