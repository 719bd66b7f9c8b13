// Window placement and visibility through the settings file.
#include "ui/app/window_settings.h"

#include "core/app/settings_file.h"
#include "dlg_fixture.h"
#include "ui/common/window_fit.h"
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
    // The windows without a stored rectangle are placed by default: within the screen.
    const QRect area = AvailableScreenArea(&dlg);
    for (QWidget* window :
         {static_cast<QWidget*>(&dlg.Shading3D()), static_cast<QWidget*>(&dlg.UdFdFinal())}) {
        EXPECT_TRUE(area.contains(window->geometry().adjusted(0, -kTitleAllowance, 0, 0)))
            << window->windowTitle().toStdString();
    }
    EXPECT_TRUE(dlg.UdFdInitial().isVisible());  // unreadable VISIBLE: shown
}

// Stand-ins of the windows at their usual sizes, placed on a desktop of the given size.
struct PlacementWindows {
    QWidget main, interpreter, shading3d, udFdInitial, udFdFinal, libraryOutput;
    PlacementWindows() {
        main.resize(744, 580);
        interpreter.resize(620, 480);
        shading3d.resize(360, 263);
        udFdInitial.resize(352, 460);
        udFdFinal.resize(352, 460);
        libraryOutput.resize(560, 320);
        for (QWidget* w : All()) w->setMinimumSize(200, 150);
    }
    PlacedWindows Placed() {
        PlacedWindows placed;
        placed.main = {&main, {}};
        placed.interpreter = {&interpreter, {}};
        placed.shading3d = {&shading3d, {}};
        placed.udFdInitial = {&udFdInitial, {}};
        placed.udFdFinal = {&udFdFinal, {}};
        placed.libraryOutput = {&libraryOutput, {}};
        return placed;
    }
    std::vector<QWidget*> All() {
        return {&main, &interpreter, &shading3d, &udFdInitial, &udFdFinal, &libraryOutput};
    }
};

// A window's client rectangle with the title bar a window manager may put above it.
QRect Framed(const QWidget* w) {
    return w->geometry().adjusted(0, -kTitleAllowance, 0, 0);
}

// At the first start on a screen with room, every secondary window shown lies beside the main
// window (to its right or below it), inside the screen and clear of every other ("Library
// Output", hidden until asked for, then opens above the others, inside the screen); a stored
// rectangle is kept and the others keep clear of it; on a small screen every window stays
// inside it.
TEST_F(WindowSettingsTest, AtTheFirstStartTheWindowsLieBesideTheMainWindowNotBehindIt) {
    const QRect desktop(0, 0, 1600, 1200);
    {
        PlacementWindows w;
        LoadWindowSettings(File(), w.Placed(), desktop);
        const QRect main = w.main.geometry();
        for (QWidget* a : w.All()) {
            EXPECT_TRUE(desktop.contains(Framed(a)))
                << a->geometry().x() << "," << a->geometry().y();
            if (!a->isVisible()) continue;
            if (a != &w.main) {
                EXPECT_TRUE(a->geometry().left() > main.right() ||
                            a->geometry().top() > main.bottom());
            }
            for (QWidget* b : w.All()) {
                if (a != b && b->isVisible()) {
                    EXPECT_FALSE(Framed(a).intersects(Framed(b)));
                }
            }
        }
        EXPECT_FALSE(w.libraryOutput.isVisible());
        EXPECT_TRUE(w.interpreter.isVisible());
    }
    {
        SettingsFile file = File();
        WriteStoredRect(file, kSectionWindow3D, QRect(1200, 320, 360, 263));
        PlacementWindows w;
        LoadWindowSettings(File(), w.Placed(), desktop);
        EXPECT_EQ(w.shading3d.geometry(), QRect(1200, 320, 360, 263));
        for (QWidget* a : w.All()) {
            for (QWidget* b : w.All()) {
                if (a != b && a->isVisible() && b->isVisible()) {
                    EXPECT_FALSE(Framed(a).intersects(Framed(b)));
                }
            }
        }
    }
    {
        const QRect small(0, 0, 1024, 768);
        PlacementWindows w;
        LoadWindowSettings(SettingsFile(m_dir.File("none.ini")), w.Placed(), small);
        for (QWidget* a : w.All()) EXPECT_TRUE(small.contains(Framed(a)));
    }
}

}  // namespace
}  // namespace velmor
