// The main window with a Windows DLL under wine, on Qt's offscreen platform: the views drawn
// from even_asphere.dll are the pixels drawn from even_asphere.so, and a rebuild into a DLL that
// crashes in sag is reloaded by itself, faults once with the exception's name, and the window
// goes on until the mended DLL is rebuilt and reloaded.
#include <QFile>
#include <QLabel>
#include <QStatusBar>
#include <filesystem>

#include "core/app/settings_file.h"
#include "core/host/library_host_settings.h"
#include "dlg_fixture.h"
#include "test_paths.h"
#include "ui/app/velmor_dlg.h"
#include "wine_test_prefix.h"

namespace velmor {
namespace {

class MainWindowWineTest : public DlgTest {
protected:
    // Puts `from` where the window's library is, in one step (as a linker does).
    void Build(const std::string& from) const {
        const std::string path = QFile::encodeName(m_library).toStdString();
        std::filesystem::copy_file(from, path + ".new",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(path + ".new", path);
    }
    // A window with the library at `from` opened by "Open DLL ...", its map built.
    QImage OpenWith(const std::string& from, const char* name) {
        Close();
        SettingsFile settings(m_settingsPath);
        settings.WriteInt(kSectionLibraryHost, kKeyTimeoutS, 20);
        settings.WriteInt(kSectionLibraryHost, kKeyReloadOnChange, 1);
        m_library = m_dir.QFilePath(name);
        Build(from);
        Open();
        m_messages.QueuePath(m_library);
        m_dlg->MenuAction(kCmdOpenDll)->trigger();
        EXPECT_TRUE(m_dlg->Provider().LibraryLoaded());
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_dlg->Map().Built(); }, 20000));
        QApplication::processEvents();
        return m_dlg->PlotClient()->grab().toImage();
    }

    QString m_library;
};

TEST_F(MainWindowWineTest, TheViewsOfTheLinuxBuildAndACrashSurvived) {
    const QImage linux = OpenWith(test::LibPath("even_asphere"), "surface.so");
    const QImage windows = OpenWith(test::WinLibPath("even_asphere"), "surface.dll");
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_FALSE(windows.isNull());
    EXPECT_EQ(windows, linux);

    // Rebuilt into a DLL that crashes in sag: reloaded, its map faults, one message.
    CVelmorDlg& dlg = *m_dlg;
    const int helper = dlg.Provider().LibraryHelperPid();
    Build(test::WinLibPath("fault_segv"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_messages.Shown().empty(); }, 20000));
    EXPECT_NE(dlg.Provider().LibraryHelperPid(), helper);
    EXPECT_NE(m_messages.LastText().indexOf("EXCEPTION_ACCESS_VIOLATION (access violation"), -1)
        << m_messages.LastText().toStdString();
    EXPECT_EQ(dlg.LibraryStatusText(), "Library faulted: EXCEPTION_ACCESS_VIOLATION in sag");
    // The exception's longer name fits its pane at the default and the minimum size.
    const QSize original = dlg.size();
    for (const QSize size : {original, dlg.minimumSize()}) {
        dlg.resize(size);
        QApplication::processEvents();
        const QLabel* pane = nullptr;
        for (const QLabel* label : dlg.statusBar()->findChildren<QLabel*>())
            if (label->text() == dlg.LibraryStatusText()) pane = label;
        ASSERT_NE(pane, nullptr);
        EXPECT_TRUE(pane->isVisible());
        EXPECT_LE(pane->fontMetrics().horizontalAdvance(pane->text()), pane->width());
        SaveShot(dlg, "main_window_wine_faulted");
    }
    dlg.resize(original);

    // Mended and rebuilt: reloaded, the fault gone, the views as before.
    Build(test::WinLibPath("even_asphere"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.LibraryStatusText().isEmpty(); }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.Map().Built(); }, 20000));
    QApplication::processEvents();
    EXPECT_EQ(dlg.PlotClient()->grab().toImage(), linux);
    EXPECT_EQ(m_messages.Shown().size(), 1u);
}

}  // namespace
}  // namespace velmor
