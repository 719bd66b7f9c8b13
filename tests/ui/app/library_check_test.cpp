// File > "Check Library ..." in the main window: the "Library Check" window's table with a
// coloured result per check, the progress window while the checks run, and a double click on a
// failed check that sets the ray and the cursor to its example and shows it in the views.
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextDocument>
#include <cmath>

#include "dlg_fixture.h"
#include "test_paths.h"
#include "ui/check/library_check_window.h"
#include "ui/common/window_fit.h"

namespace velmor {
namespace {

class LibraryCheckWindowTest : public DlgTest {
protected:
    void OpenLibrary(const char* name) {
        m_messages.QueuePath(test::QLibPath(name));
        m_dlg->MenuAction(kCmdOpenDll)->trigger();
    }
    static int RowOf(const QTableWidget* table, const QString& check) {
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, kCheckColumnName)->text() == check) return row;
        return -1;
    }
};

TEST_F(LibraryCheckWindowTest, TheTableShowsEveryCheckWithItsResultInItsColour) {
    CVelmorDlg& dlg = Open();
    OpenLibrary("check_hit_off");
    ProgressTitles progress;
    dlg.MenuAction(kCmdCheckLibrary)->trigger();
    EXPECT_TRUE(progress.Titles().contains(QStringLiteral("Library Check ...")));
    EXPECT_EQ(progress.OwnerOf(QStringLiteral("Library Check ...")), &dlg);

    CLibraryCheckWindow& window = dlg.LibraryCheck();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Library Check"));
    const QTableWidget* table = window.Table();
    ASSERT_EQ(table->rowCount(), 12);
    const QString results[] = {"pass", "pass", "pass", "pass", "pass", "fail",
                               "pass", "skip", "skip", "pass", "pass", "pass"};
    for (int row = 0; row < 12; ++row) {
        EXPECT_EQ(table->item(row, kCheckColumnName)->text(), QLatin1String(kCheckNames[row]));
        const QTableWidgetItem* result = table->item(row, kCheckColumnResult);
        EXPECT_EQ(result->text(), results[row]) << row;
        EXPECT_EQ(result->background().color(),
                  CLibraryCheckWindow::OutcomeColour(window.Report().checks[row].outcome));
    }
    EXPECT_NE(CLibraryCheckWindow::OutcomeColour(CheckOutcome::kFail),
              CLibraryCheckWindow::OutcomeColour(CheckOutcome::kPass));
    EXPECT_TRUE(table->item(5, kCheckColumnDetail)
                    ->text()
                    .startsWith(QStringLiteral("(c) the hit point is not on the sag surface")));
    EXPECT_EQ(window.SummaryText(),
              QStringLiteral("check_hit_off.so over x -10 .. 10, y -10 .. 10: "
                             "9 pass, 0 warn, 1 fail, 2 skip"));
    // The failed check is chosen, its whole detail and example below the table.
    EXPECT_EQ(table->currentRow(), 5);
    EXPECT_TRUE(window.DetailText().contains(QStringLiteral("\nExample: x -0.5, y -4.5, z 0,")))
        << window.DetailText().toStdString();

    // "Check Again" runs the checks once more, on the records as the tables now hold them.
    window.Table()->setCurrentCell(0, 0);
    QTest::mouseClick(window.CheckAgainButton(), Qt::LeftButton);
    EXPECT_EQ(table->currentRow(), 5);
    EXPECT_EQ(window.Report().fail, 1);
}

TEST_F(LibraryCheckWindowTest, ADoubleClickOnAFailedCheckShowsItsExampleInTheViews) {
    CVelmorDlg& dlg = Open();
    OpenLibrary("check_hit_off");
    dlg.MenuAction(kCmdCheckLibrary)->trigger();
    CLibraryCheckWindow& window = dlg.LibraryCheck();
    QTableWidget* table = window.Table();
    const CheckExample example = *window.Report().checks[5].example;
    const QString readoutBefore = dlg.CursorReadout();

    // A real double click: a click, then the second press that makes it a double click.
    const auto click = [table](int row) {
        QTest::qWait(QApplication::doubleClickInterval() + 50);  // apart from earlier clicks
        const QPoint at = table->visualItemRect(table->item(row, kCheckColumnDetail)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
        QApplication::processEvents();
    };
    const USER_DATA before = dlg.Provider().Initial().ud;
    click(0);  // a check without an example changes nothing
    EXPECT_EQ(dlg.Provider().Initial().ud.x, before.x);
    EXPECT_EQ(dlg.State().cursorX, VelmorState().cursorX);

    click(5);
    const USER_DATA& ud = dlg.Provider().Initial().ud;
    EXPECT_TRUE(ud.x == example.x && ud.y == example.y && ud.z == example.z);
    EXPECT_TRUE(ud.l == example.l && ud.m == example.m && ud.n == example.n);
    const VelmorState& s = dlg.State();
    EXPECT_TRUE(s.cursorX == example.x && s.cursorY == example.y && s.cursorZ == example.z);
    // The ray was traced from there: the final records hold its hit, 1e-3 past the sphere.
    const double* ray = dlg.Provider().LastRay();
    EXPECT_TRUE(dlg.Provider().LastTraceSucceeded());
    EXPECT_NEAR(ray[2], example.got[0], 1e-12);
    EXPECT_EQ(dlg.RayStatusText(), QStringLiteral("RayTrace : return code = 0"));
    // The views were drawn again: the cursor read-out is the example point's.
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.CursorReadout() != readoutBefore; }, 60000))
        << dlg.CursorReadout().toStdString();
    SaveShot(dlg, "main_window_check_example");
}

// At its default and minimum sizes the table, the detail and the buttons stay inside the
// window. With VELMOR_SCREENSHOT_DIR set the grabs are saved there.
TEST_F(LibraryCheckWindowTest, TheWindowKeepsItsPartsAtDefaultAndMinimumSizes) {
    CVelmorDlg& dlg = Open();
    OpenLibrary("check_normal_flipped");
    dlg.MenuAction(kCmdCheckLibrary)->trigger();
    CLibraryCheckWindow& window = dlg.LibraryCheck();
    for (const QSize size : {window.size(), window.minimumSize()}) {
        window.resize(size);
        QApplication::processEvents();
        const QRect inside = window.rect();
        for (const QWidget* part : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(inside.contains(part->geometry())) << size.width();  // table and buttons
        // Every row of the table is in view.
        const QTableWidget* table = window.Table();
        EXPECT_LE(table->visualItemRect(table->item(10, 0)).bottom(), table->viewport()->height());
        SaveShot(window, "library_check");
    }
}

// The window opens within the screen's available area, wherever it was left before, and its
// detail box shows at least eight lines.
TEST_F(LibraryCheckWindowTest, TheWindowOpensInsideTheScreenWithEightDetailLines) {
    CVelmorDlg& dlg = Open();
    CLibraryCheckWindow& window = dlg.LibraryCheck();
    const QRect area = AvailableScreenArea(&window);
    window.move(area.right() - 100, area.bottom() - 100);
    dlg.MenuAction(kCmdCheckLibrary)->trigger();
    ASSERT_TRUE(window.isVisible());
    EXPECT_TRUE(area.contains(window.geometry().adjusted(0, -kTitleAllowance, 0, 0)))
        << window.geometry().x() << "," << window.geometry().y() << " in " << area.width() << "x"
        << area.height();
    const QPlainTextEdit* detail = window.findChild<QPlainTextEdit*>();
    ASSERT_NE(detail, nullptr);
    const int margins = 2 * static_cast<int>(detail->document()->documentMargin());
    EXPECT_GE(detail->viewport()->height() - margins, 8 * detail->fontMetrics().lineSpacing());
}

}  // namespace
}  // namespace velmor
