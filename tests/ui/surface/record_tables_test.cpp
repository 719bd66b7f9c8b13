// The "UD FD Initial" and "UD FD Final" windows: rows, showing and reading records through
// the tables, typed cells, hiding, the splitter, interpreter mode and the column profiles.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "grid/data_grid.h"
#include "surface/dialog_udfd_final.h"
#include "surface/dialog_udfd_initial.h"
#include "surface/record_table.h"
#include "surface/row_catalogue.h"

namespace velmor {
namespace {

class RecordTablesTest : public ::testing::Test {
protected:
    SettingsFile Settings() const { return SettingsFile(dir.filePath("Velmor.ini").toStdString()); }
    void ShowActive(QWidget& window) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    static int RowOf(CDataGrid* table, const QString& name) {
        for (int row = 0; row < table->ItemCount(); ++row)
            if (table->GetItemText(row, kRecordColumnName) == name) return row;
        return -1;
    }
    // Types `text` into the "data" cell of the named row, as a user does: focus the cell,
    // F2, type, Return.
    static void Type(CDataGrid* table, const QString& name, const QString& text) {
        const int row = RowOf(table, name);
        ASSERT_GE(row, 0) << name.toStdString();
        table->setFocus();
        table->SetFocusCell(row, kRecordColumnData);
        QTest::keyClick(table, Qt::Key_F2);
        ASSERT_NE(table->Editor(), nullptr);
        QTest::keyClick(table->Editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(table->Editor(), text);
        QTest::keyClick(table->Editor(), Qt::Key_Return);
    }
    static QString Cell(CDataGrid* table, const QString& name) {
        return table->GetItemText(RowOf(table, name), kRecordColumnData);
    }

    QTemporaryDir dir;
};

TEST_F(RecordTablesTest, RowsFollowTheCatalogueOfTheRecordVersion) {
    CDialogUdFdInitial initial(Settings());
    CDialogUdFdFinal final(Settings());
    EXPECT_EQ(initial.windowTitle(), "Initial USER_DATA FIXED_DATA");
    EXPECT_EQ(final.windowTitle(), "Final USER_DATA FIXED_DATA");
    EXPECT_EQ(initial.UserDataTable()->ItemCount(), 22);
    EXPECT_EQ(initial.FixedDataTable()->ItemCount(), 227);
    EXPECT_EQ(initial.UserDataTable()->GetItemText(21, kRecordColumnName), "string[20]");
    EXPECT_EQ(initial.UserDataTable()->GetItemText(21, kRecordColumnType), "char");

    initial.RebuildFixedDataRows(3);
    final.RebuildFixedDataRows(3);
    EXPECT_EQ(initial.windowTitle(), "Initial USER_DATA FIXED_DATA4");
    EXPECT_EQ(final.windowTitle(), "Final USER_DATA FIXED_DATA");
    CDataGrid* fixed = initial.FixedDataTable();
    ASSERT_EQ(fixed->ItemCount(), 5734);
    EXPECT_EQ(fixed->GetItemText(5733, kRecordColumnName), "datasurf_values[4800]");
    EXPECT_EQ(fixed->GetItemText(5733, kRecordColumnType), "double");
    EXPECT_TRUE(fixed->GetItemText(5733, kRecordColumnData).isEmpty());
    EXPECT_EQ(initial.UserDataTable()->ItemCount(), 22);

    initial.RebuildFixedDataRows(1);
    EXPECT_EQ(initial.windowTitle(), "Initial USER_DATA FIXED_DATA2");
    EXPECT_EQ(fixed->ItemCount(), 306);
}

TEST_F(RecordTablesTest, RecordsComeBackFromTheTablesUnchanged) {
    CDialogUdFdInitial initial(Settings());
    for (int version = 0; version <= 3; ++version) {
        SCOPED_TRACE(version);
        RecordPair pair;
        pair.ud.x = 0.5;
        pair.ud.n = -0.947;
        pair.ud.udreserved4 = 123456.25;
        std::strcpy(pair.ud.string, "Even Array");
        pair.Type() = 3;
        pair.Numb() = -7;
        pair.Surf() = 3;
        WriteN1(pair, version, 1.0);
        WriteN2(pair, version, 1.5);
        WriteCv(pair, version, 0.25);
        WriteK(pair, version, -1.125);
        const auto& rows = FixedDataRows(version);
        const RecordRow& last = rows.back();
        if (last.kind == RowKind::kDouble) {
            double value = 42.5;
            std::memcpy(pair.fd + last.offset, &value, sizeof value);
        }
        if (version >= 2) {
            std::strcpy(pair.Fd2()->comment, "comment text");
            pair.Fd2()->ireserved[99] = 2147483647;
        }
        if (version == 2) pair.Fd2()->c_data = reinterpret_cast<char*>(0x7fff12345678);

        initial.ShowRecords(pair, version);
        EXPECT_EQ(initial.RecordVersion(), version) << "showing rebuilt the rows";
        RecordPair back;
        std::memset(back.fd, 0x5a, sizeof back.fd);
        std::memset(&back.ud, 0x5a, sizeof back.ud);
        EXPECT_EQ(initial.ReadRecords(back, version), 0);
        EXPECT_EQ(std::memcmp(&back.ud, &pair.ud, offsetof(USER_DATA, string)), 0);
        EXPECT_STREQ(back.ud.string, "Even Array");
        const std::size_t sizes[] = {sizeof(FIXED_DATA), sizeof(FIXED_DATA2), sizeof(FIXED_DATA3),
                                     sizeof(FIXED_DATA4)};
        // Every byte of the version's fields; padding and text tails aside.
        for (const RecordRow& row : rows) {
            std::size_t bytes = row.kind == RowKind::kChars
                                    ? std::strlen(reinterpret_cast<char*>(pair.fd + row.offset)) + 1
                                    : std::size_t(row.size);
            ASSERT_EQ(std::memcmp(back.fd + row.offset, pair.fd + row.offset, bytes), 0)
                << row.name;
        }
        if (sizes[version] < sizeof back.fd) {
            EXPECT_EQ(back.fd[sizes[version]], 0x5a) << "nothing written past the version's record";
        }
    }
}

TEST_F(RecordTablesTest, TypedCellsReadAsTheTextFormSays) {
    CDialogUdFdInitial initial(Settings());
    ShowActive(initial);
    RecordPair pair;
    initial.ShowRecords(pair, 0);
    CDataGrid* ud = initial.UserDataTable();
    CDataGrid* fd = initial.FixedDataTable();
    Type(ud, "x", "1e3");
    Type(ud, "y", "1,5");
    Type(ud, "z", "12345678901234567890123456789012345");  // too long for its 32-byte buffer
    Type(ud, "l", "abc");
    Type(fd, "type", "3");
    Type(fd, "numb", " -12xyz");
    Type(fd, "glass[21]", "BK7");
    EXPECT_EQ(Cell(ud, "x"), "1e3") << "the typed text stays until it is read";

    RecordPair back;
    EXPECT_EQ(initial.ReadRecords(back, 0), 1);
    EXPECT_EQ(back.ud.x, 1000.0);
    EXPECT_EQ(back.ud.y, 1.0) << "the number stops at the comma";
    EXPECT_EQ(back.ud.z, 0.0);
    EXPECT_EQ(back.ud.l, 0.0);
    EXPECT_EQ(back.Type(), 3);
    EXPECT_EQ(back.Numb(), -12);
    EXPECT_STREQ(back.Fd0()->glass, "BK7");
    EXPECT_EQ(Cell(ud, "z"), "0.000000") << "a cell that does not convert is rewritten";
    EXPECT_EQ(Cell(ud, "l"), "abc") << "letters read as 0 and stay";
    EXPECT_EQ(Cell(ud, "x"), "1e3");
}

TEST_F(RecordTablesTest, ReadingTakesOverAnEditInProgress) {
    CDialogUdFdInitial initial(Settings());
    ShowActive(initial);
    initial.ShowRecords(RecordPair(), 0);
    CDataGrid* ud = initial.UserDataTable();
    ud->setFocus();
    ud->SetFocusCell(RowOf(ud, "sag2"), kRecordColumnData);
    QTest::keyClick(ud, Qt::Key_F2);
    ASSERT_NE(ud->Editor(), nullptr);
    QTest::keyClicks(ud->Editor(), "2.5");
    USER_DATA record{};
    initial.ReadUserData(record);
    EXPECT_EQ(record.sag2, 2.5);
    EXPECT_EQ(ud->Editor(), nullptr);
    EXPECT_TRUE(ud->hasFocus());
}

TEST_F(RecordTablesTest, TablesOfAnotherVersionAreNeverReadIntoARecord) {
    CDialogUdFdInitial initial(Settings());
    USER_DATA shown{};
    shown.x = 3;
    initial.ShowUserData(shown);
    // The main window's call after a library load: the FIXED_DATA rows only.
    RecordTableWindow& window = initial;
    window.SetRecordVersion(3);
    EXPECT_EQ(initial.windowTitle(), "Initial USER_DATA FIXED_DATA4");
    EXPECT_EQ(initial.FixedDataTable()->ItemCount(), 5734);
    EXPECT_EQ(Cell(initial.UserDataTable(), "x"), "3.000000");

    RecordPair pair;
    std::memset(pair.fd, 0x11, sizeof pair.fd);
    std::memset(&pair.ud, 0x11, sizeof pair.ud);
    EXPECT_EQ(initial.ReadFixedData(pair.fd, 0), -1);
    EXPECT_FALSE(window.ReadRecords(&pair, 0));
    for (unsigned char byte : pair.fd) ASSERT_EQ(byte, 0x11);
    const unsigned char* ud = reinterpret_cast<const unsigned char*>(&pair.ud);
    for (std::size_t i = 0; i < sizeof pair.ud; ++i) ASSERT_EQ(ud[i], 0x11);
    EXPECT_TRUE(window.ReadRecords(&pair, 3));
    EXPECT_EQ(pair.ud.x, 3.0);
}

TEST_F(RecordTablesTest, TheTypeAndNameCellsNeverEdit) {
    CDialogUdFdFinal final(Settings());
    ShowActive(final);
    CDataGrid* ud = final.UserDataTable();
    for (int column : {int(kRecordColumnType), int(kRecordColumnName)}) {
        const QPoint at = ud->CellRect(2, column).center();
        QTest::mouseClick(ud->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseClick(ud->viewport(), Qt::LeftButton, {}, at);
        QTest::keyClick(ud, Qt::Key_F2);
        EXPECT_EQ(ud->Editor(), nullptr);
    }
    const QPoint data = ud->CellRect(2, kRecordColumnData).center();
    QTest::mouseClick(ud->viewport(), Qt::LeftButton, {}, data);
    QTest::mouseClick(ud->viewport(), Qt::LeftButton, {}, data);
    EXPECT_NE(ud->Editor(), nullptr) << "the final tables' data cells edit too";
}

TEST_F(RecordTablesTest, HideEnterAndEscapeHideTheWindowKeepingItsContents) {
    CDialogUdFdInitial initial(Settings());
    USER_DATA record{};
    record.x = 7;
    initial.ShowUserData(record);
    struct Case {
        const char* how;
        std::function<void()> act;
    };
    const std::vector<Case> cases = {
        {"Hide", [&] { QTest::mouseClick(initial.HideButton(), Qt::LeftButton); }},
        {"Escape", [&] { QTest::keyClick(initial.UserDataTable(), Qt::Key_Escape); }},
        {"Enter", [&] { QTest::keyClick(initial.UserDataTable(), Qt::Key_Return); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ShowActive(initial);
        initial.UserDataTable()->setFocus();
        c.act();
        EXPECT_FALSE(initial.isVisible());
        EXPECT_EQ(initial.result(), 0);
        EXPECT_EQ(Cell(initial.UserDataTable(), "x"), "7.000000");
    }
}

TEST_F(RecordTablesTest, EnterAndEscapeInACellEditorEndTheEditNotTheWindow) {
    CDialogUdFdInitial initial(Settings());
    ShowActive(initial);
    initial.ShowRecords(RecordPair(), 0);
    CDataGrid* ud = initial.UserDataTable();
    Type(ud, "m", "0.25");
    EXPECT_TRUE(initial.isVisible());
    EXPECT_EQ(Cell(ud, "m"), "0.25");
    QTest::keyClick(ud, Qt::Key_F2);
    ASSERT_NE(ud->Editor(), nullptr);
    QTest::keyClicks(ud->Editor(), "9");
    QTest::keyClick(ud->Editor(), Qt::Key_Escape);
    EXPECT_TRUE(initial.isVisible());
    EXPECT_EQ(Cell(ud, "m"), "0.25");
}

TEST_F(RecordTablesTest, HidingTheWindowDuringAnEditKeepsTheText) {
    CDialogUdFdInitial initial(Settings());
    ShowActive(initial);
    initial.ShowRecords(RecordPair(), 0);
    CDataGrid* ud = initial.UserDataTable();
    ud->setFocus();
    ud->SetFocusCell(RowOf(ud, "path"), kRecordColumnData);
    QTest::keyClick(ud, Qt::Key_F2);
    ASSERT_NE(ud->Editor(), nullptr);
    QTest::keyClicks(ud->Editor(), "12.5");
    QTest::mouseClick(initial.HideButton(), Qt::LeftButton);
    EXPECT_FALSE(initial.isVisible());
    USER_DATA record{};
    initial.ReadUserData(record);
    EXPECT_EQ(record.path, 12.5);
}

TEST_F(RecordTablesTest, TheSplitterKeepsBothTablesAtLeast36PixelsHigh) {
    CDialogUdFdInitial initial(Settings());
    ShowActive(initial);
    const QRect frame = initial.FrameArea();
    CDataGrid* upper = initial.UserDataTable();
    CDataGrid* lower = initial.FixedDataTable();
    EXPECT_EQ(upper->height(), int(frame.height() * 0.4));
    EXPECT_EQ(lower->geometry().top(), upper->geometry().bottom() + 1 + 6);
    EXPECT_EQ(lower->geometry().bottom(), frame.bottom());

    QWidget* bar = initial.SplitterBar();
    EXPECT_EQ(bar->cursor().shape(), Qt::SplitVCursor);
    EXPECT_EQ(bar->geometry().top(), upper->geometry().bottom() + 1);
    EXPECT_EQ(bar->height(), 6);
    auto drag = [&](int dialogY) {
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(20, 3));
        QTest::mouseMove(bar, QPoint(20, dialogY - bar->y()));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(20, dialogY - bar->y()));
    };
    drag(-500);
    EXPECT_EQ(upper->height(), 36);
    drag(5000);
    EXPECT_EQ(lower->height(), 30);
    EXPECT_EQ(lower->geometry().bottom(), frame.bottom());
    drag(frame.top() + 100 + 3);
    EXPECT_EQ(upper->height(), 100);
    EXPECT_DOUBLE_EQ(initial.SplitFraction(), 100.0 / frame.height());

    // A larger window keeps the fraction.
    initial.resize(initial.width() + 50, initial.height() + 200);
    QApplication::processEvents();
    EXPECT_EQ(upper->height(), int(initial.FrameArea().height() * initial.SplitFraction()));
    EXPECT_GT(upper->height(), 100);
    // A move without the button does nothing.
    const int before = upper->height();
    QTest::mouseMove(bar, QPoint(20, 40));
    EXPECT_EQ(upper->height(), before);
}

TEST_F(RecordTablesTest, WindowsKeepTheirMinimumSize) {
    CDialogUdFdInitial initial(Settings());
    CDialogUdFdFinal final(Settings());
    for (QWidget* window : {static_cast<QWidget*>(&initial), static_cast<QWidget*>(&final)}) {
        window->resize(100, 100);
        EXPECT_EQ(window->size(), QSize(240, 300));
    }
}

TEST_F(RecordTablesTest, InterpreterModeHidesAndPaintsTheTablesAndDisablesTheButtons) {
    CDialogUdFdInitial initial(Settings());
    ShowActive(initial);
    initial.SetInterpreterMode(true);
    EXPECT_FALSE(initial.UserDataTable()->isVisible());
    EXPECT_FALSE(initial.FixedDataTable()->isVisible());
    EXPECT_FALSE(initial.CallDllButton()->isEnabled());
    EXPECT_FALSE(initial.UpdateButton()->isEnabled());

    const QImage image = initial.grab().toImage();
    const double scale = image.width() / double(initial.width());
    for (CDataGrid* table : {initial.UserDataTable(), initial.FixedDataTable()}) {
        const QRect area = table->geometry();
        auto pixel = [&](int x, int y) { return image.pixelColor(int(x * scale), int(y * scale)); };
        EXPECT_EQ(pixel(area.right() - 3, area.top() + 3), QColor(240, 240, 255));
        EXPECT_EQ(pixel(area.left(), area.center().y()), QColor(Qt::black)) << "the frame";
        EXPECT_EQ(pixel(area.right(), area.top() + 2), QColor(Qt::black));
        // The word sits 8 pixels in, at mid-height: some dark pixels there.
        int dark = 0;
        for (int x = area.left() + 8; x < area.left() + 60; ++x)
            for (int y = area.center().y() - 6; y <= area.center().y() + 6; ++y)
                dark += pixel(x, y).lightness() < 128;
        EXPECT_GT(dark, 10);
        int left = 0;  // nothing written in the first 8 pixels
        for (int x = area.left() + 1; x < area.left() + 7; ++x)
            for (int y = area.center().y() - 6; y <= area.center().y() + 6; ++y)
                left += pixel(x, y).lightness() < 128;
        EXPECT_EQ(left, 0);
    }

    QSignalSpy calls(&initial, &CDialogUdFdInitial::callDllRequested);
    QTest::mouseClick(initial.CallDllButton(), Qt::LeftButton);
    EXPECT_EQ(calls.size(), 0);

    initial.SetInterpreterMode(false);
    EXPECT_TRUE(initial.UserDataTable()->isVisible());
    EXPECT_TRUE(initial.CallDllButton()->isEnabled());
}

TEST_F(RecordTablesTest, ButtonsAskTheOwnerAndTheLabelShowsTheResult) {
    CDialogUdFdInitial initial(Settings());
    ShowActive(initial);
    EXPECT_EQ(initial.DllReturnText(), "DLL return =");
    QSignalSpy calls(&initial, &CDialogUdFdInitial::callDllRequested);
    QSignalSpy updates(&initial, &CDialogUdFdInitial::updateRequested);
    QTest::mouseClick(initial.CallDllButton(), Qt::LeftButton);
    QTest::mouseClick(initial.UpdateButton(), Qt::LeftButton);
    EXPECT_EQ(calls.size(), 1);
    EXPECT_EQ(updates.size(), 1);
    // Enter presses the focused button rather than hiding the window.
    initial.CallDllButton()->setFocus();
    QTest::keyClick(initial.CallDllButton(), Qt::Key_Return);
    EXPECT_EQ(calls.size(), 2);
    EXPECT_TRUE(initial.isVisible());
    initial.SetDllReturn(-3);
    EXPECT_EQ(initial.DllReturnText(), "DLL retrun = -3");
    initial.ResetDllReturn();
    EXPECT_EQ(initial.DllReturnText(), "DLL retrun = ");
    EXPECT_TRUE(initial.isVisible());
}

TEST_F(RecordTablesTest, EachTableKeepsItsColumnsInItsOwnProfileSection) {
    {
        CDialogUdFdInitial initial(Settings());
        CDialogUdFdFinal final(Settings());
        const std::vector<std::pair<CDataGrid*, std::vector<std::string>>> tables = {
            {initial.UserDataTable(), {"DefaultUD", "Special"}},
            {initial.FixedDataTable(), {"Default", "Special"}},
            {final.UserDataTable(), {"DefaultUD", "Special"}},
            {final.FixedDataTable(), {"Default", "Special"}}};
        for (const auto& [table, profiles] : tables) {
            EXPECT_EQ(table->ColumnConfig()->Profiles(), profiles);
            EXPECT_EQ(table->ColumnConfig()->ActiveProfile(), profiles.front());
        }
        EXPECT_EQ(initial.UserDataTable()->ColumnConfig()->BaseSection(),
                  "Profile List UD Initial");
        EXPECT_EQ(initial.FixedDataTable()->ColumnConfig()->BaseSection(),
                  "Profile List FD Initial");
        EXPECT_EQ(final.UserDataTable()->ColumnConfig()->BaseSection(), "Profile List UD Final");
        EXPECT_EQ(final.FixedDataTable()->ColumnConfig()->BaseSection(), "Profile List FD Final");
        EXPECT_FALSE(QFile::exists(dir.filePath("Velmor.ini")))
            << "opening the windows writes nothing";

        std::unique_ptr<QMenu> menu(initial.UserDataTable()->CreateHeaderMenu(nullptr));
        for (QAction* action : menu->actions())
            if (action->text() == "name") action->trigger();
    }
    SettingsFile file = Settings();
    EXPECT_EQ(file.GetString("Profile List UD Initial", "CurrentProfiles", ""),
              "DefaultUD, Special");
    EXPECT_EQ(file.GetInt("Profile List UD Initial__DefaultUD", "ColumnCount", -1), 2);
    EXPECT_EQ(file.GetString("Profile List FD Initial", "CurrentProfiles", "-"), "-");

    CDialogUdFdInitial again(Settings());
    CDialogUdFdFinal final(Settings());
    EXPECT_FALSE(again.UserDataTable()->IsColumnVisible(kRecordColumnName));
    EXPECT_TRUE(again.FixedDataTable()->IsColumnVisible(kRecordColumnName));
    EXPECT_TRUE(final.UserDataTable()->IsColumnVisible(kRecordColumnName));
}

}  // namespace
}  // namespace velmor
