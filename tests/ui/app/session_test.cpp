// Sessions in the main window: stored in one window and loaded in a fresh one for every record
// version, a script and the built-in surface (records byte for byte, fields, the four views
// pixel for pixel, and velmor-cli --session views drawing the same); what a session with
// problems and a file that is no session show; the last session at start; the recent list; the
// files of the command line; the window's title.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <cstring>
#include <filesystem>

#include "core/app/settings_file.h"
#include "core/surface/row_catalogue.h"
#include "dlg_fixture.h"
#include "record_table_cells.h"
#include "test_paths.h"
#include "ui/interp/tab_edit.h"

namespace velmor::test {
namespace {

namespace fs = std::filesystem;

// What a window shows that a session brings back.
struct Shown {
    std::unique_ptr<RecordPair> initial = std::make_unique<RecordPair>();
    int version = 0;
    VelmorState state;
    std::map<int, QString> fields;
    QImage views;
    QString ray;
};

class SessionTest : public DlgTest {
protected:
    CVelmorDlg& OpenWith(VelmorDlgOptions options) {
        if (options.settingsPath.empty()) options.settingsPath = m_settingsPath;
        m_dlg = std::make_unique<CVelmorDlg>(options);
        QApplication::processEvents();
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_dlg->Map().Built(); }, 60000));
        // The last session is reopened once the first map is built.
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_dlg->StartOpened(); }, 60000));
        QApplication::processEvents();
        return *m_dlg;
    }
    // A confirmed close, as the user's (the settings and the last session are written).
    void CloseConfirmed() {
        m_dlg->close();
        m_dlg.reset();
    }
    QImage Grab() {
        return m_dlg->PlotClient()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    Shown What() {
        Shown shown;
        CSurfaceProvider& provider = m_dlg->Provider();
        shown.version = provider.RecordVersion();
        CopyRecordPair(*shown.initial, provider.Initial());
        shown.state = m_dlg->State();
        for (int id : {kIdAnalysisXMin, kIdAnalysisXMax, kIdAnalysisYMin, kIdAnalysisYMax,
                       kIdStep2DX, kIdStep2DY, kIdStep3DX, kIdStep3DY, kIdDisplayXMin,
                       kIdDisplayXMax, kIdDisplayYMin, kIdDisplayYMax, kIdDisplayZMin,
                       kIdDisplayZMax, kIdDisplayNMin, kIdDisplayNMax, kIdN1, kIdN2})
            shown.fields[id] = Text(id);
        shown.views = Grab();
        shown.ray = m_dlg->RayStatusText();
        return shown;
    }
    static void ExpectSame(const Shown& a, const Shown& b) {
        EXPECT_EQ(a.version, b.version);
        EXPECT_EQ(std::memcmp(&a.initial->ud, &b.initial->ud, sizeof(USER_DATA)), 0);
        EXPECT_EQ(std::memcmp(a.initial->fd, b.initial->fd, FixedDataSize(a.version)), 0);
        const VelmorState& s = a.state;
        const VelmorState& t = b.state;
        for (const auto& [x, y] : {std::pair{s.analysisX, t.analysisX},
                                   {s.analysisY, t.analysisY},
                                   {s.displayX, t.displayX},
                                   {s.displayY, t.displayY},
                                   {s.displayZ, t.displayZ},
                                   {s.displayR, t.displayR},
                                   {s.displayN, t.displayN}}) {
            EXPECT_EQ(x.min, y.min);
            EXPECT_EQ(x.max, y.max);
        }
        for (const auto& [x, y] : {std::pair{s.stepX, t.stepX},
                                   {s.stepY, t.stepY},
                                   {s.step3dX, t.step3dX},
                                   {s.step3dY, t.step3dY},
                                   {s.fieldN1, t.fieldN1},
                                   {s.fieldN2, t.fieldN2},
                                   {s.cursorX, t.cursorX},
                                   {s.cursorY, t.cursorY},
                                   {s.cursorZ, t.cursorZ}})
            EXPECT_EQ(x, y);
        EXPECT_EQ(s.meshPattern, t.meshPattern);
        EXPECT_EQ(s.verbose, t.verbose);
        EXPECT_EQ(s.cursor, t.cursor);
        EXPECT_EQ(s.rayTrace, t.rayTrace);
        EXPECT_EQ(s.interpreterMode, t.interpreterMode);
        EXPECT_EQ(s.gradientIndex, t.gradientIndex);
        EXPECT_EQ(a.fields, b.fields);
        EXPECT_EQ(a.ray, b.ray);
        ASSERT_EQ(a.views.size(), b.views.size());
        EXPECT_TRUE(a.views == b.views);
    }
    void OpenLibrary(const QString& path) {
        m_messages.QueuePath(path);
        m_dlg->MenuAction(kCmdOpenDll)->trigger();
    }
    void Store(const QString& path) {
        m_messages.QueuePath(path);
        m_dlg->MenuAction(kCmdStoreIni)->trigger();
    }
    void Load(const QString& path) {
        m_messages.QueuePath(path);
        m_dlg->MenuAction(kCmdLoadIni)->trigger();
    }
    // Fields, boxes, pattern, a zoom and a cursor click: everything the analysis holds.
    void ChangeTheAnalysis() {
        CVelmorDlg& dlg = *m_dlg;
        Type(dlg.Field(kIdAnalysisXMin), "-6");
        Type(dlg.Field(kIdAnalysisXMax), "12.3456");
        Type(dlg.Field(kIdAnalysisYMin), "-4");
        Type(dlg.Field(kIdStep2DX), "0.25");
        Type(dlg.Field(kIdStep2DY), "0.3");
        static_cast<QComboBox*>(dlg.Control(kIdPattern))->setCurrentIndex(2);
        Type(dlg.Field(kIdStep3DX), "0.125");
        Click(kIdResetZoom);
        dlg.ZoomAt(At(dlg.Areas().plan, 0.3, 0.6), 1);
        QTest::mouseClick(dlg.Control(kIdVerbose), Qt::LeftButton);
        QTest::mouseClick(dlg.PlotClient(), Qt::LeftButton, {}, At(dlg.Areas().plan, 0.4, 0.45));
        Click(kIdUpdate2D);
    }
    std::string m_config = m_dir.File("config");
};

// Store in one window, load in a fresh one: a library of every record version with changed
// rows (a number, a text) and a changed analysis gives the same records, fields and views.
TEST_F(SessionTest, EveryRecordVersionComesBackInAFreshWindow) {
    const struct {
        const char* library;
        int version;
        const char* textRow;
    } cases[] = {
        {"even_asphere", 0, "glass[21]"},      {"entry2_only", 1, "glass[21]"},
        {"xy_polynomial3", 2, "glass[200]"},   {"entry4_only", 3, "comment[200]"},
        {"microlens_array5", 4, "glass[200]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        const QString session = m_dir.QFilePath(std::string(c.library) + ".ini");
        CVelmorDlg& dlg = Open();
        OpenLibrary(QLibPath(c.library));
        ASSERT_EQ(dlg.Provider().RecordVersion(), c.version);
        TypeCell(dlg.UdFdInitial().UserDataTable(), "x", "0.75");
        TypeCell(dlg.UdFdInitial().FixedDataTable(), "param[1]", "0.125");
        TypeCell(dlg.UdFdInitial().FixedDataTable(), c.textRow, "N-BK7 lens");
        ChangeTheAnalysis();
        Store(session);
        ASSERT_TRUE(m_messages.Shown().size() == 1u) << m_messages.LastText().toStdString();
        EXPECT_NE(m_messages.LastText().indexOf("Create the file?"), -1);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Velmor - %1.so - %1.ini").arg(c.library));
        const Shown stored = What();
        const std::string text = ReadFile(session.toStdString());
        EXPECT_NE(text.find("param[1]=0.125000\n"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string(c.textRow) + "=N-BK7 lens\n"), std::string::npos);
        EXPECT_NE(text.find("VERBOSE=0\n"), std::string::npos);
        Close();

        m_messages.Clear();
        fs::remove(m_settingsPath);
        CVelmorDlg& fresh = Open();
        Load(session);
        EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
        EXPECT_EQ(fresh.windowTitle(), QStringLiteral("Velmor - %1.so - %1.ini").arg(c.library));
        ExpectSame(stored, What());
        EXPECT_EQ(Cell(fresh.UdFdInitial().FixedDataTable(), c.textRow), "N-BK7 lens");
        Close();
        m_messages.Clear();
    }
}

// The script (switched on, with its own n1 and n2) and the built-in surface come back too.
TEST_F(SessionTest, AScriptAndTheBuiltInSurfaceComeBack) {
    const std::string script = m_dir.File("surface.txt");
    {
        CVelmorDlg& dlg = Open();
        std::ofstream(script, std::ios::binary) << "z = 0.05*(x*x+y*y);\r\n";
        QString error;
        ASSERT_TRUE(dlg.Interpreter().OpenSourceFile(QString::fromStdString(script), &error));
        dlg.Interpreter().Compile();
        QTest::mouseClick(dlg.Control(kIdUseInterpreter), Qt::LeftButton);
        ASSERT_TRUE(dlg.State().interpreterMode);
        Type(dlg.Field(kIdN1), "1.25");
        Type(dlg.Field(kIdN2), "1.75");
        ChangeTheAnalysis();
        Store(m_dir.QFilePath("script.ini"));
        EXPECT_EQ(dlg.windowTitle(), "Velmor - script.ini");
        const Shown stored = What();
        Close();
        const std::string text = ReadFile(m_dir.File("script.ini"));
        EXPECT_NE(text.find("SOURCE=script\nSCRIPT=" + script + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("USE_INTERPRETER=1\n"), std::string::npos);

        m_messages.Clear();
        CVelmorDlg& fresh = Open();
        Load(m_dir.QFilePath("script.ini"));
        EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
        EXPECT_TRUE(fresh.State().interpreterMode);
        EXPECT_TRUE(fresh.MenuAction(kCmdUseInterpreter)->isChecked());
        EXPECT_EQ(fresh.Interpreter().SourcePath().toStdString(), script);
        ExpectSame(stored, What());
        Close();
    }
    m_messages.Clear();
    CVelmorDlg& dlg = Open();
    TypeCell(dlg.UdFdInitial().FixedDataTable(), "cv", "0.5");
    ChangeTheAnalysis();
    Store(m_dir.QFilePath("builtin.ini"));
    const Shown stored = What();
    Close();
    const std::string text = ReadFile(m_dir.File("builtin.ini"));
    EXPECT_NE(text.find("[RECORDS]\nRECORD_VERSION=0\ncv=0.500000\n\n[ANALYSIS]"),
              std::string::npos)
        << "only the changed row: " << text;
    // A fresh window with a library loaded goes back to the built-in surface.
    m_messages.Clear();
    CVelmorDlg& fresh = Open();
    OpenLibrary(QLibPath("microlens_array5"));
    Load(m_dir.QFilePath("builtin.ini"));
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_FALSE(fresh.Provider().LibraryLoaded());
    EXPECT_FALSE(fresh.MenuAction(kCmdReloadDll)->isEnabled());
    EXPECT_EQ(fresh.windowTitle(), "Velmor - builtin.ini");
    ExpectSame(stored, What());
}

// velmor-cli --session S views draws, to the pixel, the plot frame the window shows after
// loading S.
TEST_F(SessionTest, ViewsCommandDrawsWhatTheWindowShowsForTheSession) {
    CVelmorDlg& dlg = Open();
    const QRect frame = dlg.Areas().frame;
    const int grow = std::abs(frame.width() - frame.height());
    dlg.resize(dlg.width() + (frame.width() < frame.height() ? grow : 0),
               dlg.height() + (frame.height() < frame.width() ? grow : 0));
    QApplication::processEvents();
    const QRect square = dlg.Areas().frame;
    ASSERT_EQ(square.width(), square.height());
    OpenLibrary(QLibPath("microlens_array5"));
    TypeCell(dlg.UdFdInitial().FixedDataTable(), "param[2]", "0.3");
    ChangeTheAnalysis();
    Store(m_dir.QFilePath("lens.ini"));
    Load(m_dir.QFilePath("lens.ini"));
    ASSERT_EQ(m_messages.Shown().size(), 1u) << m_messages.LastText().toStdString();
    const QImage window = Grab().copy(square);

    const std::string png = m_dir.File("views.png");
    const std::string command =
        std::string(VELMOR_CLI_PATH) + " --session " + m_dir.File("lens.ini") + " views " + png +
        " --size " + std::to_string(square.width()) + " > " + m_dir.File("out") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(m_dir.File("out"));
    const QImage drawn = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(drawn.size(), window.size());
    EXPECT_TRUE(drawn == window);
    EXPECT_NE(ReadFile(m_dir.File("out")).find(dlg.RayStatusText().toStdString()),
              std::string::npos);
}

// A session whose library moved beside it loads; one whose library is gone, with rows of
// another version, texts a field refuses and unknown keys loads the rest and names each in one
// warning; a file that is no session is refused with one message and changes nothing.
TEST_F(SessionTest, ProblemsAreNamedAndFilesThatAreNoSessionChangeNothing) {
    fs::create_directories(m_dir.File("build"));
    fs::create_directories(m_dir.File("share"));
    fs::copy_file(LibPath("even_asphere"), m_dir.File("build/lens.so"));
    CVelmorDlg& dlg = Open();
    OpenLibrary(m_dir.QFilePath("build/lens.so"));
    TypeCell(dlg.UdFdInitial().FixedDataTable(), "param[1]", "0.002");
    Store(m_dir.QFilePath("share/lens.ini"));
    Close();
    fs::rename(m_dir.File("build/lens.so"), m_dir.File("share/lens.so"));

    m_messages.Clear();
    CVelmorDlg& moved = Open();
    Load(m_dir.QFilePath("share/lens.ini"));
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_EQ(moved.Provider().LibraryPath(), m_dir.File("share/lens.so"));
    EXPECT_EQ(Cell(moved.UdFdInitial().FixedDataTable(), "param[1]"), "0.002000");
    Close();

    // The library gone: the built-in surface, no row applied, the fields still.
    fs::remove(m_dir.File("share/lens.so"));
    std::ofstream(m_dir.File("share/lens.ini"), std::ios::app) << "X_MIN=-3\n";
    m_messages.Clear();
    CVelmorDlg& missing = Open();
    Load(m_dir.QFilePath("share/lens.ini"));
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.Shown()[0].icon, MessageIcon::Warning);
    EXPECT_NE(m_messages.LastText().indexOf(
                  "LIBRARY=" + m_dir.QFilePath("build/lens.so") +
                  ": the library is missing (also beside the session): the built-in surface "
                  "answers; no [RECORDS] row was applied"),
              -1)
        << m_messages.LastText().toStdString();
    EXPECT_FALSE(missing.Provider().LibraryLoaded());
    EXPECT_EQ(std::memcmp(missing.Provider().Initial().fd, missing.Provider().FreshInitial().fd,
                          FixedDataSize(0)),
              0);
    EXPECT_EQ(missing.State().analysisX.min, -3);
    EXPECT_EQ(missing.windowTitle(), "Velmor - lens.ini");

    // Rows of another version, refused texts and unknown keys: the rest applies.
    std::ofstream(m_dir.File("odd.ini"), std::ios::binary)
        << "[SESSION]\nVERSION=1\nSOURCE=builtin\nCOLOUR=red\n[RECORDS]\nRECORD_VERSION=4\n"
           "x=2.5\nparam[200]=1.000000\ntype=99999999999\n[ANALYSIS]\nZOOM=3\nY_MAX=7\n";
    m_messages.Clear();
    Load(m_dir.QFilePath("odd.ini"));
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    const QString warning = m_messages.LastText();
    for (const char* part :
         {"The session odd.ini was loaded, except:", "COLOUR=red: unknown key in [SESSION]",
          "RECORD_VERSION=4: the surface has record version 0", "param[200]=1.000000: no such row",
          "type=99999999999: the int field cannot hold", "ZOOM=3: unknown key in [ANALYSIS]"})
        EXPECT_NE(warning.indexOf(QLatin1String(part)), -1) << part << "\n"
                                                            << warning.toStdString();
    EXPECT_EQ(missing.Provider().Initial().ud.x, 2.5);
    EXPECT_EQ(Cell(missing.UdFdInitial().UserDataTable(), "x"), "2.500000");
    EXPECT_EQ(missing.State().analysisY.max, 7);
    EXPECT_EQ(missing.windowTitle(), "Velmor - odd.ini");

    // Files that are no session: one message each, nothing changed.
    std::ofstream(m_dir.File("settings.ini")) << "[WINDOW_MAIN]\nVISIBLE=1\n";
    std::ofstream(m_dir.File("binary.ini"), std::ios::binary)
        << std::string("[SESSION]\nVERSION=1\n\0\xFF", 22);
    {
        std::ofstream big(m_dir.File("big.ini"), std::ios::binary);
        big << "[SESSION]\nVERSION=1\n" << std::string(17u << 20, ';');
    }
    ASSERT_EQ(::mkfifo(m_dir.File("fifo.ini").c_str(), 0600), 0);
    const RecordPair& initial = missing.Provider().Initial();
    const double x = initial.ud.x;
    for (const auto& [file, says] : {std::pair{"settings.ini", "no [SESSION] section"},
                                     {"binary.ini", "not a text file"},
                                     {"big.ini", "larger than 16 MiB"},
                                     {"fifo.ini", "not a regular file"}}) {
        m_messages.Clear();
        Load(m_dir.QFilePath(file));
        ASSERT_EQ(m_messages.Shown().size(), 1u) << file;
        EXPECT_EQ(m_messages.Shown()[0].icon, MessageIcon::Stop);
        EXPECT_NE(m_messages.LastText().indexOf(QLatin1String(says)), -1)
            << m_messages.LastText().toStdString();
        EXPECT_EQ(missing.windowTitle(), "Velmor - odd.ini");
        EXPECT_EQ(initial.ud.x, x);
        EXPECT_EQ(missing.State().analysisY.max, 7);
    }
    SaveShot(missing, "session_warning");
}

// "Store INI ..." offers a script no file holds for saving: Cancel stores nothing, No stores
// the session without the script.
TEST_F(SessionTest, StoreOffersAnUnsavedScriptFirst) {
    CVelmorDlg& dlg = Open();
    dlg.Interpreter().SourceBox()->setPlainText("z = x;\n");
    m_messages.QueueAnswer(MessageAnswer::Cancel);
    Store(m_dir.QFilePath("a.ini"));
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_EQ(m_messages.Shown()[0].buttons, MessageButtons::YesNoCancel);
    EXPECT_TRUE(m_messages.FileDialogs().empty());
    EXPECT_FALSE(fs::exists(m_dir.File("a.ini")));

    m_messages.Clear();
    m_messages.QueueAnswer(MessageAnswer::No);
    Store(m_dir.QFilePath("a.ini"));
    ASSERT_EQ(m_messages.FileDialogs().size(), 1u);
    EXPECT_EQ(m_messages.FileDialogs()[0].request.filter, "Velmor session (*.ini)|*.ini||");
    const std::string text = ReadFile(m_dir.File("a.ini"));
    EXPECT_EQ(text.find("SCRIPT="), std::string::npos) << text;
    EXPECT_NE(text.find("SOURCE=builtin"), std::string::npos);
}

// The last session is stored at a confirmed close and reopened at the next start (not with the
// box unchecked); a deleted library and one that faults while loading leave the built-in
// surface, and Velmor says so.
TEST_F(SessionTest, TheLastSessionIsReopenedAtStart) {
    VelmorDlgOptions options;
    options.lastSessionPath = m_dir.File("last-session.ini");
    fs::copy_file(LibPath("even_asphere"), m_dir.File("lens.so"));
    CVelmorDlg& dlg = OpenWith(options);
    EXPECT_TRUE(dlg.MenuAction(kCmdReopenLastSession)->isChecked());
    OpenLibrary(m_dir.QFilePath("lens.so"));
    TypeCell(dlg.UdFdInitial().FixedDataTable(), "param[1]", "0.003");
    Type(dlg.Field(kIdAnalysisXMax), "4");
    CloseConfirmed();
    ASSERT_TRUE(fs::exists(options.lastSessionPath));

    m_messages.Clear();
    CVelmorDlg& again = OpenWith(options);
    EXPECT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    EXPECT_EQ(again.Provider().LibraryPath(), m_dir.File("lens.so"));
    EXPECT_EQ(Cell(again.UdFdInitial().FixedDataTable(), "param[1]"), "0.003000");
    EXPECT_EQ(again.State().analysisX.max, 4);
    EXPECT_EQ(again.windowTitle(), "Velmor - lens.so");  // no session of the user's
    Close();

    fs::remove(m_dir.File("lens.so"));
    m_messages.Clear();
    CVelmorDlg& gone = OpenWith(options);
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_NE(m_messages.LastText().indexOf("The last session was reopened, except:"), -1);
    EXPECT_NE(m_messages.LastText().indexOf("Velmor starts with the built-in surface"), -1);
    EXPECT_FALSE(gone.Provider().LibraryLoaded());
    EXPECT_EQ(gone.State().analysisX.max, 4);
    Close();

    std::ofstream(options.lastSessionPath, std::ios::binary)
        << "[SESSION]\nVERSION=1\nSOURCE=library\nLIBRARY=" << LibPath("fault_load_safe_data")
        << "\n[RECORDS]\nparam[1]=5\n";
    m_messages.Clear();
    CVelmorDlg& faulted = OpenWith(options);
    ASSERT_EQ(m_messages.Shown().size(), 2u) << m_messages.LastText().toStdString();
    EXPECT_NE(m_messages.Shown()[0].text.indexOf("The surface library faulted"), -1)
        << m_messages.Shown()[0].text.toStdString();
    EXPECT_NE(m_messages.LastText().indexOf("the library did not load: Velmor starts with the "
                                            "built-in surface"),
              -1)
        << m_messages.LastText().toStdString();
    EXPECT_FALSE(faulted.Provider().LibraryLoaded());
    EXPECT_EQ(faulted.windowTitle(), "Velmor");
    // Unchecked: not reopened (and kept unchecked).
    faulted.MenuAction(kCmdReopenLastSession)->trigger();
    CloseConfirmed();
    EXPECT_EQ(SettingsFile(m_settingsPath).GetInt("SESSION", "REOPEN_LAST", -1), 0);
    m_messages.Clear();
    CVelmorDlg& unchecked = OpenWith(options);
    EXPECT_TRUE(m_messages.Shown().empty());
    EXPECT_FALSE(unchecked.MenuAction(kCmdReopenLastSession)->isChecked());
    EXPECT_EQ(unchecked.State().analysisX.max, 10);
}

// File > "Recent Sessions" keeps the last four stored or loaded, newest first, in Velmor.ini.
TEST_F(SessionTest, RecentSessionsKeepTheLastFour) {
    CVelmorDlg& dlg = Open();
    QAction* first = dlg.MenuAction(kCmdRecentSession1);
    auto* menu = qobject_cast<QMenu*>(first->parent());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "Recent Sessions");
    EXPECT_FALSE(menu->isEnabled());
    for (const char* name : {"s1.ini", "s2.ini", "s3.ini", "s4.ini", "s5.ini"})
        Store(m_dir.QFilePath(name));
    const QStringList expected = {m_dir.QFilePath("s5.ini"), m_dir.QFilePath("s4.ini"),
                                  m_dir.QFilePath("s3.ini"), m_dir.QFilePath("s2.ini")};
    EXPECT_EQ(dlg.RecentSessions(), expected);
    EXPECT_TRUE(menu->isEnabled());
    EXPECT_EQ(first->text(), "&1 " + expected[0]);
    EXPECT_EQ(SettingsFile(m_settingsPath).GetString("RECENT", "FILE4", ""), m_dir.File("s2.ini"));
    QMenu* file = qobject_cast<QMenu*>(dlg.MenuAction(kCmdStoreIni)->parent());
    ASSERT_NE(file, nullptr);
    file->popup(dlg.mapToGlobal(QPoint(0, 0)));
    menu->popup(file->geometry().topRight());
    SaveShot(*file, "file_menu");
    SaveShot(*menu, "recent_menu");
    menu->hide();
    file->hide();
    Close();

    CVelmorDlg& again = Open();
    EXPECT_EQ(again.RecentSessions(), expected);
    again.MenuAction(kCmdRecentSession1 + 2)->trigger();  // s3.ini
    EXPECT_EQ(again.windowTitle(), "Velmor - s3.ini");
    EXPECT_EQ(again.RecentSessions().front(), m_dir.QFilePath("s3.ini"));
    EXPECT_EQ(again.RecentSessions().size(), 4);
}

// A file of the command line (or of a second start) opens by its kind; the title names the
// library while it answers and the session once there is one.
TEST_F(SessionTest, FilesOpenByTheirKindAndTheTitleNamesLibraryAndSession) {
    CVelmorDlg& dlg = Open();
    EXPECT_EQ(dlg.windowTitle(), "Velmor");
    dlg.OpenFile(QLibPath("microlens_array5"));
    EXPECT_EQ(dlg.windowTitle(), "Velmor - microlens_array5.so");
    EXPECT_EQ(dlg.Provider().RecordVersion(), 4);

    std::ofstream(m_dir.File("sketch.txt")) << "z = 0.1*x*x;\n";
    dlg.OpenFile(m_dir.QFilePath("sketch.txt"));
    EXPECT_EQ(dlg.Interpreter().SourceText(), "z = 0.1*x*x;\n");
    EXPECT_TRUE(dlg.Interpreter().isVisible());
    EXPECT_FALSE(dlg.State().interpreterMode);
    EXPECT_FALSE(dlg.Interpreter().HasCompiledScript());
    // The script switched on: the library adds nothing to the title.
    dlg.Interpreter().Compile();
    QTest::mouseClick(dlg.Control(kIdUseInterpreter), Qt::LeftButton);
    EXPECT_EQ(dlg.windowTitle(), "Velmor");

    // A model into the 3D window.
    std::ofstream(m_dir.File("tri.stl")) << "solid t\nfacet normal 0 0 1\nouter loop\n"
                                            "vertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
                                            "endloop\nendfacet\nendsolid t\n";
    dlg.OpenFile(m_dir.QFilePath("tri.stl"));
    EXPECT_EQ(dlg.Shading3D().Model().faces.size(), 1u);

    // A library switches the script off; a session names itself.
    dlg.OpenFile(QLibPath("even_asphere"));
    EXPECT_FALSE(dlg.State().interpreterMode);
    EXPECT_EQ(dlg.windowTitle(), "Velmor - even_asphere.so");
    Store(m_dir.QFilePath("lens.ini"));
    Close();
    CVelmorDlg& fresh = Open();
    fresh.OpenFile(m_dir.QFilePath("lens.ini"));
    EXPECT_EQ(fresh.windowTitle(), "Velmor - even_asphere.so - lens.ini");

    std::ofstream(m_dir.File("data.bin"), std::ios::binary) << std::string("\x01\x00", 2);
    m_messages.Clear();
    fresh.OpenFile(m_dir.QFilePath("data.bin"));
    ASSERT_EQ(m_messages.Shown().size(), 1u);
    EXPECT_NE(m_messages.LastText().indexOf("neither a surface library"), -1);
    SaveShot(fresh, "main_window_session");
    fresh.resize(fresh.minimumSize());
    QApplication::processEvents();
    SaveShot(fresh, "main_window_session");
}

}  // namespace
}  // namespace velmor::test
