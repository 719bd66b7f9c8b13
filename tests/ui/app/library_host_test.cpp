// The main window with a surface library in the helper process: every kind of fault leaves the
// program, the unsaved script and the edited records standing and is named in one message,
// later calls answer -1 until "Reload DLL" loads the mended file; a fault while loading fails
// the load with its message; a replaced file is reloaded by itself; the library's output reaches
// "Library Output"; a library that keeps the program waiting gets "Waiting for the surface
// library ..." with a Cancel that stops it.
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <filesystem>
#include <functional>

#include "core/app/settings_file.h"
#include "core/host/library_host_settings.h"
#include "core/surface/pe_file.h"
#include "dlg_fixture.h"
#include "library_gate.h"
#include "record_table_cells.h"
#include "test_paths.h"
#include "ui/interp/tab_edit.h"
#include "ui/surface/library_output.h"

namespace velmor {
namespace {

class LibraryHostTest : public DlgTest {
protected:
    // Short limits, so that a library that never answers is stopped within a test; a test that
    // stops a waiting library itself gives it a long time limit, which nothing can reach first.
    CVelmorDlg& OpenWithHost(int reloadOnChange, int timeoutSeconds = 1, int waitMs = 100) {
        SettingsFile settings(m_settingsPath);
        settings.WriteInt(kSectionLibraryHost, kKeyWaitMs, waitMs);
        settings.WriteInt(kSectionLibraryHost, kKeyTimeoutS, timeoutSeconds);
        settings.WriteInt(kSectionLibraryHost, kKeyMemoryMb, 256);
        settings.WriteInt(kSectionLibraryHost, kKeyReloadOnChange, reloadOnChange);
        m_library = m_dir.QFilePath("surface.so");
        return Open();
    }
    // A coarse 40 x 40 map and sections, for a library that writes a line for every sag.
    void CoarseSteps() {
        Type(m_dlg->Field(kIdStep2DX), "0.5");
        Type(m_dlg->Field(kIdStep2DY), "0.5");
        Click(kIdUpdate2D);
    }
    // The library file an author rebuilds: replaced in one step, as a linker's output is.
    void Build(const char* library) const {
        const std::string path = QFile::encodeName(m_library).toStdString();
        std::filesystem::copy_file(test::LibPath(library), path + ".new",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(path + ".new", path);
    }
    // The library file as a build that failed half-way leaves it: cut to half its size, in place.
    void Truncate() const {
        const std::string path = QFile::encodeName(m_library).toStdString();
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    }
    // The same, written as a new file under the old name (the running library keeps its own).
    void BuildTruncated(const char* library) const {
        const std::string path = QFile::encodeName(m_library).toStdString();
        std::filesystem::copy_file(test::LibPath(library), path + ".new",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(path + ".new", std::filesystem::file_size(path + ".new") / 2);
        std::filesystem::rename(path + ".new", path);
    }
    void OpenLibrary() {
        m_messages.QueuePath(m_library);
        m_dlg->MenuAction(kCmdOpenDll)->trigger();
    }
    static void SetCell(CDataGrid* table, const QString& name, const QString& text) {
        table->SetItemText(test::RowOf(table, name), kRecordColumnData, text);
    }
    // The surface's name as the user asks for it: request 0 by "Call DLL", the answer in the
    // final table.
    QString NameOfSurface() {
        CDialogUdFdInitial& initial = m_dlg->UdFdInitial();
        SetCell(initial.FixedDataTable(), "type", "0");
        SetCell(initial.FixedDataTable(), "numb", "0");
        QTest::mouseClick(initial.CallDllButton(), Qt::LeftButton);
        return test::Cell(m_dlg->UdFdFinal().UserDataTable(), "string[20]");
    }
    // Runs `step` once the current progress window shows the waiting text.
    void WhenWaiting(std::function<void(CProgressDialog&)> step) {
        auto* timer = new QTimer(m_dlg.get());
        QObject::connect(timer, &QTimer::timeout, [timer, step] {
            CProgressDialog* window = CurrentProgressWindow();
            if (window == nullptr || !window->LibraryWaiting()) return;
            timer->stop();
            timer->deleteLater();
            step(*window);
        });
        timer->start(10);
    }

    QString m_library;
};

TEST_F(LibraryHostTest, EveryFaultIsNamedOnceAndTheEditsSurviveUntilAReloadMendsIt) {
    const struct {
        const char* library;
        const char* what;
        const char* status;
    } cases[] = {
        {"fault_segv", "SIGSEGV (segmentation fault", "SIGSEGV in sag"},
        {"fault_bus", "SIGBUS (", "SIGBUS in sag"},
        {"fault_fpe", "SIGFPE (arithmetic", "SIGFPE in sag"},
        {"fault_ill", "SIGILL (", "SIGILL in sag"},
        {"fault_assert", "SIGABRT (abort()", "SIGABRT in sag"},
        {"fault_heap", "SIGABRT (abort()", "SIGABRT in sag"},
        {"fault_stack", "SIGSEGV (", "SIGSEGV in sag"},
        {"fault_orphan", "SIGSEGV (", "SIGSEGV in sag"},  // its child keeps the pipes open
        {"fault_memory", "SIGSEGV (", "SIGSEGV in sag"},  // beyond the 256 MiB limit
        {"fault_exit", "exited with code 3", "exit 3 in sag"},
        {"fault_exit_now", "exited with code 5", "exit 5 in sag"},
        {"fault_hang", "did not answer within 1 s", "timeout in sag"},
    };
    CVelmorDlg& dlg = OpenWithHost(0);
    Build("fault_fixed");
    OpenLibrary();
    ASSERT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    // Work the user has not saved: a script and edited records.
    CTabEdit* source = dlg.Interpreter().SourceBox();
    source->setPlainText(QStringLiteral("z = 0.5 * x;\n"));
    ASSERT_TRUE(dlg.Interpreter().SourceModified());
    CDataGrid* userData = dlg.UdFdInitial().UserDataTable();
    SetCell(userData, "y", "-0.75");

    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        Build(c.library);
        m_messages.Clear();
        dlg.MenuAction(kCmdReloadDll)->trigger();  // the same records; the map faults
        ASSERT_EQ(m_messages.Shown().size(), 1u);
        const std::string message = m_messages.LastText().toStdString();
        EXPECT_NE(message.find(c.what), std::string::npos) << message;
        // The first sag of the map's coarse pass (at x > 1 for the library faulting there),
        // with the ray's direction from the records.
        EXPECT_NE(message.find("in sag (type 3, numb 0) at x "), std::string::npos) << message;
        EXPECT_NE(message.find(", y -10, z 0, l -0.25, m 0.2, n 0.947"), std::string::npos)
            << message;
        EXPECT_EQ(dlg.LibraryStatusText(), QStringLiteral("Library faulted: ") + c.status);
        EXPECT_EQ(source->toPlainText(), "z = 0.5 * x;\n");
        EXPECT_EQ(test::Cell(userData, "y"), "-0.75");
        // Every later call answers -1 at once, without another message.
        QTest::mouseClick(dlg.UdFdInitial().CallDllButton(), Qt::LeftButton);
        EXPECT_EQ(dlg.UdFdInitial().DllReturnText(), "DLL retrun = -1");
        EXPECT_EQ(m_messages.Shown().size(), 1u);

        // The mended library: its surface (twice the sag) in the map and the read-out.
        Build("fault_fixed");
        dlg.MenuAction(kCmdReloadDll)->trigger();
        QApplication::processEvents();
        EXPECT_EQ(m_messages.Shown().size(), 1u) << m_messages.LastText().toStdString();
        EXPECT_EQ(dlg.LibraryStatusText(), "");
        EXPECT_NEAR(dlg.Map().SagMax(), 100.0, 1e-9);  // 0.5 (x^2 + y^2) at the corners
        EXPECT_TRUE(dlg.CursorReadout().endsWith("sag=0.010")) << dlg.CursorReadout().toStdString();
        EXPECT_EQ(dlg.Provider().Initial().ud.y, -0.75);
    }
}

// A library that writes past its record, or over the memory the helper shares with Velmor,
// while the map is drawn: one message naming it, the status pane's short form, and a reload
// of the mended file draws the map again.
TEST_F(LibraryHostTest, RecordOverrunsAndOverwrittenMemoryAreNamedInTheWindow) {
    const struct {
        const char* library;
        const char* message;
        const char* status;
    } cases[] = {
        {"fence_overrun",
         "The surface library faulted: wrote past the end of USER_DATA (byte 192 of a 192-byte "
         "record) in sag (type 3, numb 0) at x ",
         "Library faulted: record overrun in sag"},
        {"scribble_shared",
         "The surface library faulted: the library overwrote Velmor's shared memory in sag "
         "(type 3, numb 0), a batch of ",
         "Library faulted: shared memory overwritten in sag"},
    };
    CVelmorDlg& dlg = OpenWithHost(0, 60);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        Build(c.library);
        m_messages.Clear();
        OpenLibrary();  // the map's first pass meets it (y 0 for the fence library: row 20)
        ASSERT_EQ(m_messages.Shown().size(), 1u);
        const std::string message = m_messages.LastText().toStdString();
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
        EXPECT_EQ(dlg.LibraryStatusText(), c.status);
        Build("fault_fixed");
        dlg.MenuAction(kCmdReloadDll)->trigger();
        EXPECT_EQ(dlg.LibraryStatusText(), "");
        EXPECT_EQ(NameOfSurface(), "Fault FIXED");
    }
}

TEST_F(LibraryHostTest, AFaultWhileLoadingFailsTheLoadWithItsMessage) {
    const struct {
        const char* library;
        const char* signal;
        const char* request;
    } cases[] = {
        {"fault_load_constructor", "SIGSEGV", "in library load"},
        {"fault_load_safe_data", "SIGSEGV", "in safe data (type 7, numb 0)"},
        {"fault_load_gradient", "SIGABRT", "in gradient-index question (type 0, numb 2)"},
    };
    CVelmorDlg& dlg = OpenWithHost(0);
    EXPECT_FALSE(dlg.MenuAction(kCmdReloadDll)->isEnabled());  // nothing opened yet
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        Build(c.library);
        m_messages.Clear();
        OpenLibrary();
        ASSERT_EQ(m_messages.Shown().size(), 1u);
        const std::string message = m_messages.LastText().toStdString();
        EXPECT_NE(message.find(std::string(c.signal) + " ("), std::string::npos) << message;
        EXPECT_NE(message.find(c.request), std::string::npos) << message;
        EXPECT_FALSE(dlg.Provider().LibraryLoaded());
        // No library is loaded: the status says that the built-in surface answers.
        EXPECT_TRUE(dlg.LibraryStatusText().startsWith(QStringLiteral("Library failed to load: ") +
                                                       c.signal + " in "));
        EXPECT_TRUE(dlg.LibraryStatusText().endsWith("; the built-in surface answers"));
        EXPECT_EQ(NameOfSurface(), "Even Array");  // the built-in surface answers
    }
    // Mended and reloaded: loaded, and no fault shown any more.
    Build("fault_fixed");
    dlg.MenuAction(kCmdReloadDll)->trigger();
    EXPECT_TRUE(dlg.Provider().LibraryLoaded());
    EXPECT_EQ(dlg.LibraryStatusText(), "");
    EXPECT_EQ(NameOfSurface(), "Fault FIXED");
}

// A rebuild that fails half-way leaves the library file truncated: the reload fails, and the
// status, the records and the views all say that the built-in surface answers, also after the
// next "Update 2D"; the mended file loads again.
TEST_F(LibraryHostTest, ATruncatedRebuildLeavesTheBuiltInSurfaceAnsweringAndSaysSo) {
    CVelmorDlg& dlg = OpenWithHost(0);
    CoarseSteps();
    Build("fault_fixed");
    OpenLibrary();
    ASSERT_EQ(NameOfSurface(), "Fault FIXED");
    Truncate();
    m_messages.Clear();
    dlg.MenuAction(kCmdReloadDll)->trigger();
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_FALSE(dlg.Provider().LibraryLoaded());
    const QString status = dlg.LibraryStatusText();
    EXPECT_TRUE(status.startsWith("Library failed to load: ")) << status.toStdString();
    EXPECT_TRUE(status.endsWith("; the built-in surface answers")) << status.toStdString();
    Click(kIdUpdate2D);
    EXPECT_EQ(dlg.LibraryStatusText(), status);
    EXPECT_EQ(dlg.RayStatusText(), "RayTrace : return code = 0");
    EXPECT_EQ(NameOfSurface(), "Even Array");
    // The built-in surface's lenslets in the map: its sag range, not the library's bowl.
    EXPECT_LT(dlg.Map().SagMax(), 10.0);

    Build("fault_fixed");
    dlg.MenuAction(kCmdReloadDll)->trigger();
    EXPECT_EQ(dlg.LibraryStatusText(), "");
    EXPECT_EQ(NameOfSurface(), "Fault FIXED");
}

// "Reload when the file changes": a file mended while the message of a failed reload is open
// is reloaded once the message is closed.
TEST_F(LibraryHostTest, AFileMendedWhileTheLoadsMessageIsOpenIsReloadedWhenItCloses) {
    CVelmorDlg& dlg = OpenWithHost(1);
    CoarseSteps();
    Build("fault_fixed");
    OpenLibrary();
    ASSERT_TRUE(dlg.Provider().LibraryLoaded());
    m_messages.Clear();
    m_messages.WhileNextShown([&] {
        EXPECT_FALSE(dlg.Provider().LibraryLoaded());
        EXPECT_TRUE(dlg.LibraryStatusText().startsWith("Library failed to load: "));
        Build("output_surface");
    });
    BuildTruncated("fault_fixed");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_messages.Shown().empty(); }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Provider().LibraryLoaded(); }, 60000))
        << dlg.LibraryStatusText().toStdString();
    EXPECT_EQ(m_messages.Shown().size(), 1u) << m_messages.LastText().toStdString();
    EXPECT_EQ(dlg.LibraryStatusText(), "");
    EXPECT_EQ(NameOfSurface(), "Talking Surface");
}

TEST_F(LibraryHostTest, AWindowsDllThatCannotLoadSaysWhyInOneMessage) {
    // The headers of a DLL for `machine` (a file named .so: its content decides).
    auto build = [this](unsigned machine) {
        std::string bytes(0x200, '\0');
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[0x3C] = static_cast<char>(0x80);
        bytes[0x80] = 'P';
        bytes[0x81] = 'E';
        bytes[0x84] = static_cast<char>(machine & 0xFF);
        bytes[0x85] = static_cast<char>(machine >> 8);
        bytes[0x94] = static_cast<char>(0xF0);
        bytes[0x98] = 0x0B;
        bytes[0x99] = 0x02;
        test::WriteFile(QFile::encodeName(m_library).toStdString(), bytes);
    };
    CVelmorDlg& dlg = OpenWithHost(0);
    build(0x14C);
    OpenLibrary();
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.LastText(), kPe32BitText);
    EXPECT_EQ(m_messages.Shown().back().icon, MessageIcon::Stop);
    EXPECT_FALSE(dlg.Provider().LibraryLoaded());
    EXPECT_EQ(NameOfSurface(), "Even Array");
    // An x64 DLL where wine is missing: "Reload DLL" (and the reload of a rebuilt file) says so.
    LibraryHostSettings host = dlg.Provider().LibraryHost();
    host.wine.wineCandidates = {"/nonexistent/wine64"};
    dlg.Provider().SetLibraryHost(host);
    build(0x8664);
    m_messages.Clear();
    dlg.MenuAction(kCmdReloadDll)->trigger();
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.LastText(), kWineMissingText);
    // No library is loaded: the built-in surface answers, and the status says why.
    EXPECT_EQ(dlg.LibraryStatusText(),
              LibraryLoadFailedText(QString::fromLatin1(kWineMissingText).section('\n', 0, 0)));
}

TEST_F(LibraryHostTest, AReplacedLibraryFileIsReloadedOnceQuiet) {
    CVelmorDlg& dlg = OpenWithHost(1);
    CoarseSteps();
    ASSERT_TRUE(dlg.MenuAction(kCmdReloadOnChange)->isChecked());
    Build("fault_fixed");
    OpenLibrary();
    const int helper = dlg.Provider().LibraryHelperPid();
    ASSERT_GT(helper, 0);
    Build("output_surface");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dlg.Provider().LibraryHelperPid() != helper; }, 60000));
    EXPECT_EQ(NameOfSurface(), "Talking Surface");

    // Unchecked: a rebuild is left alone.
    dlg.MenuAction(kCmdReloadOnChange)->trigger();
    const int talking = dlg.Provider().LibraryHelperPid();
    Build("fault_fixed");
    QTest::qWait(2 * kReloadQuietMs);
    EXPECT_EQ(dlg.Provider().LibraryHelperPid(), talking);
}

TEST_F(LibraryHostTest, TheLibrarysOutputReachesItsWindowUnderItsRequests) {
    CVelmorDlg& dlg = OpenWithHost(0);
    CoarseSteps();
    CLibraryOutputWindow& output = dlg.LibraryOutput();
    EXPECT_FALSE(output.isVisible());
    dlg.MenuAction(kCmdShowLibraryOutput)->trigger();
    EXPECT_TRUE(output.isVisible());
    Build("output_surface");
    OpenLibrary();
    const int helper = dlg.Provider().LibraryHelperPid();
    EXPECT_EQ(output.windowTitle(), QStringLiteral("Library Output - process %1").arg(helper));
    const QString text = output.Text();
    EXPECT_TRUE(text.startsWith("--- library load ---\nloaded\n")) << text.toStdString();
    EXPECT_TRUE(
        text.contains("--- gradient-index question (type 0, numb 2) ---\n"
                      "asked for name 2\n"));
    // The map's coarse pass: a heading for the batch, then its lines.
    EXPECT_TRUE(text.contains(QRegularExpression(
        "--- sag \\(type 3, numb 0\\), \\d+ points ---\nsag at x=-10 y=-10 \\(stdout\\)\n")))
        << text.left(2000).toStdString();
    QTest::mouseClick(output.ClearButton(), Qt::LeftButton);
    EXPECT_EQ(output.Text(), "");
}

TEST_F(LibraryHostTest, WaitingForTheLibraryOffersACancelThatStopsIt) {
    // The gated library's sag requests wait until the Cancel stops them (the gate is never
    // opened, and the time limit is far off).
    test::LibraryGate gate;
    CVelmorDlg& dlg = OpenWithHost(0, 600);
    // No view samples anything (an empty map, no sections), so the gated library loads at
    // once; a mesh would take nine samples.
    Type(dlg.Field(kIdAnalysisXMax), "-9.9");
    Type(dlg.Field(kIdAnalysisYMax), "-9.9");
    Type(dlg.Field(kIdStep2DX), "1");
    Type(dlg.Field(kIdStep2DY), "1");
    QTest::mouseClick(dlg.Control(kIdCursor), Qt::LeftButton);
    QTest::mouseClick(dlg.Control(kIdRayTrace), Qt::LeftButton);
    Click(kIdUpdate2D);
    Build("gated_surface");
    OpenLibrary();
    ASSERT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();

    // A single call: a waiting window of its own, whose Cancel stops the library.
    SetCell(dlg.UdFdInitial().FixedDataTable(), "type", "3");
    QString title;
    WhenWaiting([&](CProgressDialog& window) {
        title = window.windowTitle();
        EXPECT_EQ(window.PercentText(), kLibraryWaitingText);
        QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
    });
    QTest::mouseClick(dlg.UdFdInitial().CallDllButton(), Qt::LeftButton);
    EXPECT_EQ(title, "Velmor");
    EXPECT_EQ(CurrentProgressWindow(), nullptr);
    EXPECT_EQ(dlg.UdFdInitial().DllReturnText(), "DLL retrun = -1");
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_NE(m_messages.LastText().indexOf("stopped by the user in sag (type 3, numb 0)"), -1)
        << m_messages.LastText().toStdString();
    EXPECT_EQ(dlg.LibraryStatusText(), "Library faulted: stopped in sag");

    // A loop's progress window says it (its label changes), and its Cancel stops the library.
    dlg.MenuAction(kCmdReloadDll)->trigger();
    ASSERT_EQ(dlg.LibraryStatusText(), "");
    m_messages.Clear();
    QString loop;
    WhenWaiting([&](CProgressDialog& window) {
        loop = window.windowTitle();
        // Meanwhile "Update UD FD" (in a window that stays enabled) is refused: it would
        // sample in the middle of the mesh's pass.
        QTest::mouseClick(dlg.UdFdInitial().UpdateButton(), Qt::LeftButton);
        QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
    });
    Click(kIdMake3DModel);
    EXPECT_EQ(loop, "Shading Model ...");
    EXPECT_EQ(dlg.UdFdInitial().DllReturnText(), "DLL retrun = -1");  // not reset by an update
    EXPECT_EQ(dlg.LibraryStatusText(), "Library faulted: stopped in sag");
    EXPECT_TRUE(dlg.isEnabled());
}

// A library whose every sag takes 2 ms keeps no single request waiting, yet a map of 200 x 200
// takes minutes: once the pass has run WAIT_MS the waiting window is up, whose Cancel ends the
// pass after the batch's row in progress (the map stays black, no view samples more) and leaves
// the library loaded; the next "Update 2D" draws. (WAIT_MS is half a second here, so that no
// single call of 2 ms reaches it however busy the machine is.)
TEST_F(LibraryHostTest, ALongPassOfQuickCallsGetsTheWaitingWindowWhoseCancelEndsThePass) {
    CVelmorDlg& dlg = OpenWithHost(0, 600, 500);
    // A library that loads at once: an empty map and no cursor or ray.
    Type(dlg.Field(kIdAnalysisXMax), "-9.9");
    Type(dlg.Field(kIdAnalysisYMax), "-9.9");
    QTest::mouseClick(dlg.Control(kIdCursor), Qt::LeftButton);
    QTest::mouseClick(dlg.Control(kIdRayTrace), Qt::LeftButton);
    Click(kIdUpdate2D);
    Build("slow_surface");
    OpenLibrary();
    ASSERT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    ASSERT_EQ(NameOfSurface(), "Slow Surface");

    Type(dlg.Field(kIdAnalysisXMax), "10");
    Type(dlg.Field(kIdAnalysisYMax), "10");
    Type(dlg.Field(kIdStep2DX), "0.1");
    Type(dlg.Field(kIdStep2DY), "0.1");
    QString title;
    bool mainEnabled = true;
    WhenWaiting([&](CProgressDialog& window) {
        title = window.windowTitle();
        mainEnabled = dlg.isEnabled();
        QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
    });
    Click(kIdUpdate2D);
    EXPECT_EQ(title, "Velmor");
    EXPECT_FALSE(mainEnabled);  // the waiting window's owner, as under a loop
    EXPECT_EQ(CurrentProgressWindow(), nullptr);
    EXPECT_TRUE(dlg.isEnabled());
    EXPECT_TRUE(dlg.Map().Cancelled());
    // The map's rest stays black: at most the coarse pass ran, so nothing was drawn.
    const QImage& map = dlg.Map().Image();
    ASSERT_FALSE(map.isNull());
    EXPECT_EQ(map.pixel(map.width() / 2, map.height() / 2), qRgb(0, 0, 0));
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_TRUE(dlg.Provider().LibraryLoaded());
    EXPECT_FALSE(dlg.Provider().LibraryFaulted());
    EXPECT_EQ(dlg.LibraryStatusText(), "");

    // The next pass, a small one, draws the library's bowl.
    Type(dlg.Field(kIdAnalysisXMin), "-1");
    Type(dlg.Field(kIdAnalysisXMax), "1");
    Type(dlg.Field(kIdAnalysisYMin), "-1");
    Type(dlg.Field(kIdAnalysisYMax), "1");
    Type(dlg.Field(kIdStep2DX), "0.25");
    Type(dlg.Field(kIdStep2DY), "0.25");
    Click(kIdUpdate2D);
    EXPECT_FALSE(dlg.Map().Cancelled());
    EXPECT_NEAR(dlg.Map().SagMax(), 0.5, 1e-9);  // (1 + 1) / 4 at the corners
    EXPECT_EQ(CurrentProgressWindow(), nullptr);
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
}

// One heading per run of one request's output, a line cut across pieces kept whole, and only
// the newest 1 MiB kept, from a line start.
TEST(LibraryOutputTest, HeadingsPerRequestAndTheNewestMebibyte) {
    CLibraryOutputWindow output;
    const LibraryRequestTag sag{1, 3, 0, "sag", 640};
    const LibraryRequestTag name{2, 0, 0, "surface name", 0};
    output.OnLibraryOutput("first ha", sag);
    output.OnLibraryOutput("lf\nsecond\n", sag);
    output.OnLibraryOutput("no line end", name);
    output.OnLibraryOutput("more\n", name);
    EXPECT_EQ(output.Text(),
              "--- sag (type 3, numb 0), 640 points ---\nfirst half\nsecond\n"
              "--- surface name (type 0, numb 0) ---\nno line endmore\n");

    // 1.5 MB in lines of 100 characters, shown once in the middle and once at the end.
    const std::string line(99, 'x');
    const LibraryRequestTag chatty{3, 3, 0, "sag", 1};
    for (int i = 0; i < 15000; ++i) {
        output.OnLibraryOutput(std::to_string(100000 + i) + line.substr(6) + "\n", chatty);
        if (i == 7000) output.Text();
    }
    output.OnLibraryOutput("last\n", chatty);
    QString text = output.Text();
    // The first line says what was dropped: the two headings and the first lines up to the
    // newest whole lines that fit with "last", 10485 of 100 characters.
    const QString heading = text.section('\n', 0, 0);
    const int dropped = 15000 - 10485;
    const std::string before =
        "--- sag (type 3, numb 0), 640 points ---\nfirst half\nsecond\n"
        "--- surface name (type 0, numb 0) ---\nno line endmore\n"
        "--- sag (type 3, numb 0), 1 points ---\n";
    const std::size_t droppedBytes = before.size() + dropped * 100;
    EXPECT_EQ(heading, QStringLiteral("... %1 earlier lines (%2 KiB) not kept")
                           .arg(dropped + 6)
                           .arg((droppedBytes + 1023) / 1024));
    text.remove(0, heading.size() + 1);
    EXPECT_LE(text.size(), kLibraryOutputCap);
    EXPECT_GT(text.size(), kLibraryOutputCap - 100);
    EXPECT_TRUE(text.startsWith(QString::number(100000 + dropped))) << text.left(20).toStdString();
    EXPECT_TRUE(text.endsWith("xx\nlast\n"));
    // Cleared: no heading any more.
    output.Clear();
    output.OnLibraryOutput("again\n", chatty);
    EXPECT_EQ(output.Text(), "--- sag (type 3, numb 0), 1 points ---\nagain\n");
}

// "Run library in-process" moves the loaded library into the program and back; the two checks
// are kept in the settings file when the program closes.
TEST_F(LibraryHostTest, RunInProcessMovesTheLoadedLibraryAndTheChecksAreKept) {
    CVelmorDlg& dlg = OpenWithHost(1);
    EXPECT_FALSE(dlg.MenuAction(kCmdRunInProcess)->isChecked());
    Build("fault_fixed");
    OpenLibrary();
    ASSERT_GT(dlg.Provider().LibraryHelperPid(), 0);
    dlg.MenuAction(kCmdRunInProcess)->trigger();
    EXPECT_TRUE(dlg.Provider().LibraryLoaded());
    EXPECT_EQ(dlg.Provider().LibraryHelperPid(), 0);
    EXPECT_EQ(NameOfSurface(), "Fault FIXED");
    dlg.MenuAction(kCmdReloadOnChange)->trigger();
    dlg.close();
    const SettingsFile settings(m_settingsPath);
    const LibraryHostSettings host = ReadLibraryHostSettings(settings);
    EXPECT_TRUE(host.inProcess && !host.reloadOnChange);
    EXPECT_EQ(host.limits.timeoutSeconds, 1);  // the limits stay as written
}

// The main window with a fault in its status bar, "Library Output" and the waiting window, at
// their default and minimum sizes: every text fits. With VELMOR_SCREENSHOT_DIR set, the grabs
// are saved there.
TEST_F(LibraryHostTest, TheLibraryWindowsFitTheirTextsAtDefaultAndMinimumSizes) {
    CVelmorDlg& dlg = OpenWithHost(0);
    const auto fits = [](const QLabel* label) {
        return label->fontMetrics().horizontalAdvance(label->text()) <= label->width();
    };
    Build("output_surface");
    CoarseSteps();
    OpenLibrary();
    CLibraryOutputWindow& output = dlg.LibraryOutput();
    dlg.MenuAction(kCmdShowLibraryOutput)->trigger();
    output.Text();
    Build("fault_segv");
    dlg.MenuAction(kCmdReloadDll)->trigger();
    ASSERT_FALSE(dlg.LibraryStatusText().isEmpty());
    for (const QSize size : {dlg.size(), dlg.minimumSize()}) {
        dlg.resize(size);
        QApplication::processEvents();
        const QLabel* pane = nullptr;
        for (const QLabel* label : dlg.statusBar()->findChildren<QLabel*>())
            if (label->text() == dlg.LibraryStatusText()) pane = label;
        ASSERT_NE(pane, nullptr);
        EXPECT_TRUE(pane->isVisible() && fits(pane));
        SaveShot(dlg, "main_window_faulted");
    }
    for (const QSize size : {output.size(), output.minimumSize()}) {
        output.resize(size);
        QApplication::processEvents();
        EXPECT_TRUE(output.rect().contains(output.ClearButton()->geometry()));
        SaveShot(output, "library_output");
    }

    // The waiting window, here while the map's coarse pass waits for the gated library (never
    // let go; the time limit far off).
    test::LibraryGate gate;
    LibraryHostSettings host = dlg.Provider().LibraryHost();
    host.limits.timeoutSeconds = 600;
    dlg.Provider().SetLibraryHost(host);
    Build("gated_surface");
    bool seen = false;
    WhenWaiting([&](CProgressDialog& window) {
        const QLabel* label = nullptr;
        for (const QLabel* child : window.findChildren<QLabel*>())
            if (child->text() == kLibraryWaitingText) label = child;
        seen = label != nullptr && fits(label);
        SaveShot(window, "waiting_window");
        QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
    });
    dlg.MenuAction(kCmdReloadDll)->trigger();
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace velmor
