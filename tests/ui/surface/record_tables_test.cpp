// The "UD FD Initial" and "UD FD Final" windows against the real provider: "Call DLL" with the
// built-in surface and record-version-3 and -4 libraries, records through the tables, typed cells,
// hiding, the splitter, interpreter mode and the column profiles.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <cstring>

#include "core/interp/script_engine.h"
#include "core/surface/even_array.h"
#include "core/surface/provider.h"
#include "core/surface/row_catalogue.h"
#include "record_table_cells.h"
#include "temp_dir.h"
#include "test_paths.h"

namespace velmor::test {
namespace {

class RecordTablesTest : public ::testing::Test {
protected:
    void SetUp() override {
        provider.ResetSurfaceRecords();
        initial = std::make_unique<CDialogUdFdInitial>(Settings());
        final = std::make_unique<CDialogUdFdFinal>(Settings());
        // The wiring the main window makes.
        QObject::connect(initial.get(), &CDialogUdFdInitial::callDllRequested,
                         [this] { initial->CallDll(provider, *final); });
        initial->ShowRecords(provider.Initial(), provider.RecordVersion());
        ShowActive(*initial);
    }
    SettingsFile Settings() const { return SettingsFile(dir.File("Velmor.ini")); }
    static void ShowActive(QWidget& window) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void PressCallDll() { QTest::mouseClick(initial->CallDllButton(), Qt::LeftButton); }

    TempDir dir;
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    std::unique_ptr<CDialogUdFdInitial> initial;
    std::unique_ptr<CDialogUdFdFinal> final;
    RecordPair before;
};

TEST_F(RecordTablesTest, AnUnknownRequestLeavesTheFinalRecordsEqualToTheInitialOnes) {
    TypeCell(initial->FixedDataTable(), "type", "99");
    PressCallDll();
    EXPECT_EQ(initial->DllReturnText(), "DLL retrun = 0");
    EXPECT_EQ(std::memcmp(&provider.Final().ud, &provider.Initial().ud, sizeof(USER_DATA)), 0);
    EXPECT_EQ(std::memcmp(provider.Final().fd, provider.Initial().fd, kFixedDataAreaSize), 0);
}

// Rows and titles after a load are the wiring test's; here the records through the tables.
TEST_F(RecordTablesTest, AVersion3LibraryGets5734RowsAndAnswersThroughTheTables) {
    ASSERT_TRUE(provider.OpenSurfaceDll(test::LibPath("entry4_only")).loaded);
    // Until the tables are rebuilt they hold version 0 and are never read into the records.
    CopyRecordPair(before, provider.Initial());
    EXPECT_EQ(initial->ReadTablesBack(provider), -1);
    EXPECT_EQ(std::memcmp(provider.Initial().fd, before.fd, kFixedDataAreaSize), 0);

    initial->RebuildFixedDataRows(3);
    final->RebuildFixedDataRows(3);
    initial->ShowRecords(provider.Initial(), 3);
    CDataGrid* fixed = initial->FixedDataTable();
    EXPECT_EQ(fixed->GetItemText(5733, kRecordColumnData), "4.000000");

    TypeCell(fixed, "type", "3");
    TypeCell(fixed, "datasurf_values[4799]", "-2.5");
    PressCallDll();
    EXPECT_EQ(initial->DllReturnText(), "DLL retrun = 0");
    EXPECT_EQ(Cell(final->UserDataTable(), "sag1"), "4.000000");
    EXPECT_EQ(provider.Final().Fd3()->datasurf_values[4799], -2.5);
    // The read-back before an update takes a fresh pair.
    TypeCell(fixed, "n1", "1.25");
    EXPECT_EQ(initial->ReadTablesBack(provider), 0);
    EXPECT_EQ(ReadN1(provider.Initial(), 3), 1.25);
}

// A version-4 library: the title and 5288 rows of FIXED_DATA5, its safe data in the wider
// param, and a typed param[255] that reaches the library through "Call DLL".
TEST_F(RecordTablesTest, AVersion4LibraryGets5288RowsAndTheWiderParam) {
    ASSERT_TRUE(provider.OpenSurfaceDll(test::LibPath("entry5_only")).loaded);
    initial->ShowRecords(provider.Initial(), provider.RecordVersion());
    final->RebuildFixedDataRows(provider.RecordVersion());
    EXPECT_EQ(initial->windowTitle(), "Initial USER_DATA FIXED_DATA5");
    EXPECT_EQ(final->windowTitle(), "Final USER_DATA FIXED_DATA");
    CDataGrid* fixed = initial->FixedDataTable();
    ASSERT_EQ(fixed->ItemCount(), 5288);
    EXPECT_EQ(fixed->GetItemText(5287, kRecordColumnName), "datasurf_values[4800]");
    EXPECT_EQ(Cell(fixed, "param[201]"), "5.000000");
    EXPECT_EQ(Cell(fixed, "n2"), "1.500000");

    TypeCell(fixed, "type", "3");
    TypeCell(fixed, "param[255]", "-2.5");
    PressCallDll();
    EXPECT_EQ(initial->DllReturnText(), "DLL retrun = 0");
    EXPECT_EQ(Cell(final->UserDataTable(), "udreserved4"), "-2.500000");
    EXPECT_EQ(Cell(final->FixedDataTable(), "param[255]"), "-2.500000");
    EXPECT_EQ(provider.Initial().Fd4()->param[255], -2.5);
}

TEST_F(RecordTablesTest, InterpreterModeCallsNothingAndHidesTheTables) {
    provider.SetInterpreterMode(true);
    initial->SetInterpreterMode(true);
    EXPECT_FALSE(initial->UserDataTable()->isVisible());
    EXPECT_FALSE(initial->CallDllButton()->isEnabled());
    EXPECT_FALSE(initial->UpdateButton()->isEnabled());
    // The hidden tables' area is painted over.
    const QImage image = initial->grab().toImage();
    const double scale = image.width() / double(initial->width());
    const QRect area = initial->FixedDataTable()->geometry();
    EXPECT_EQ(image.pixelColor(int((area.right() - 3) * scale), int((area.top() + 3) * scale)),
              QColor(240, 240, 255));
    EXPECT_FALSE(initial->CallDll(provider, *final).has_value());
    EXPECT_EQ(initial->DllReturnText(), "DLL return =");
    initial->SetInterpreterMode(false);
    EXPECT_TRUE(initial->UserDataTable()->isVisible());
}

TEST_F(RecordTablesTest, RecordsComeBackFromTheTablesUnchanged) {
    for (int version = 0; version <= 4; ++version) {
        SCOPED_TRACE(version);
        RecordPair pair;
        pair.ud.udreserved4 = 123456.25;
        std::strcpy(pair.ud.string, "Even Array");
        pair.Numb() = -7;
        WriteN2(pair, version, 1.5);
        WriteK(pair, version, -1.125);
        const RecordRow& last = FixedDataRows(version).back();
        const double value = 42.5;
        if (last.kind == RowKind::kDouble) std::memcpy(pair.fd + last.offset, &value, sizeof value);
        initial->ShowRecords(pair, version);
        RecordPair back;
        std::memset(back.fd, 0x5a, sizeof back.fd);
        std::memset(&back.ud, 0x5a, sizeof back.ud);
        EXPECT_EQ(initial->ReadRecords(back, version), 0);
        EXPECT_EQ(std::memcmp(&back.ud, &pair.ud, offsetof(USER_DATA, string)), 0);
        EXPECT_STREQ(back.ud.string, "Even Array");
        for (const RecordRow& row : FixedDataRows(version)) {  // text tails aside
            const std::size_t bytes =
                row.kind == RowKind::kChars
                    ? std::strlen(reinterpret_cast<char*>(pair.fd + row.offset)) + 1
                    : std::size_t(row.size);
            ASSERT_EQ(std::memcmp(back.fd + row.offset, pair.fd + row.offset, bytes), 0)
                << row.name;
        }
        const std::size_t end = version == 0 ? sizeof(FIXED_DATA) : sizeof(FIXED_DATA2);
        EXPECT_TRUE(version >= 2 || back.fd[end] == 0x5a) << "written past the record";
    }
}

TEST_F(RecordTablesTest, TypedCellsReadAsTheTextFormSays) {
    CDataGrid* ud = initial->UserDataTable();
    TypeCell(ud, "x", "1e3");
    TypeCell(ud, "y", "1,5");
    TypeCell(ud, "z", "12345678901234567890123456789012345");  // too long for its 32-byte buffer
    TypeCell(initial->FixedDataTable(), "numb", " -12xyz");
    RecordPair back;
    EXPECT_EQ(initial->ReadRecords(back, 0), 1);
    EXPECT_EQ(back.ud.x, 1000.0);
    EXPECT_EQ(back.ud.y, 1.0) << "the number stops at the comma";
    EXPECT_EQ(back.ud.z, 0.0);
    EXPECT_EQ(back.Numb(), -12);
    EXPECT_EQ(Cell(ud, "z"), "0.000000") << "a cell that does not convert is rewritten";
    EXPECT_EQ(Cell(ud, "x"), "1e3") << "the typed text stays";
}

// An open edit is read, and survives hiding; Enter and Escape in an edit only end the edit.
TEST_F(RecordTablesTest, AnEditInProgressIsReadAndSurvivesHidingEnterAndEscapeHideTheWindow) {
    CDataGrid* ud = initial->UserDataTable();
    TypeCell(ud, "sag2", "2.5", true);
    USER_DATA record{};
    initial->ReadUserData(record);
    EXPECT_EQ(record.sag2, 2.5);
    EXPECT_EQ(ud->Editor(), nullptr);
    TypeCell(ud, "path", "12.5", true);
    QTest::mouseClick(initial->HideButton(), Qt::LeftButton);
    EXPECT_FALSE(initial->isVisible());
    initial->ReadUserData(record);
    EXPECT_EQ(record.path, 12.5);

    ShowActive(*initial);
    TypeCell(ud, "m", "9", true);
    QTest::keyClick(ud->Editor(), Qt::Key_Escape);
    TypeCell(ud, "x", "7");
    EXPECT_TRUE(initial->isVisible());
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        ShowActive(*initial);
        ud->setFocus();
        QTest::keyClick(ud, key);
        EXPECT_FALSE(initial->isVisible()) << key;
        EXPECT_EQ(Cell(ud, "x"), "7");
    }
}

TEST_F(RecordTablesTest, PageDownEndsTheEditSoTypingAfterItNeverReachesTheOldCell) {
    // Typing 5, PageDown twice, 77 and Return from "x" once stored 577 into "x" while another
    // row was highlighted: the editor stayed open, out of sight, with the keyboard focus.
    CDataGrid* ud = initial->UserDataTable();
    std::vector<QString> before;
    for (int row = 0; row < ud->ItemCount(); ++row)
        before.push_back(ud->GetItemText(row, kRecordColumnData));
    TypeCell(ud, "x", "", true);
    QTest::keyClicks(ud->Editor(), "5");
    QTest::keyClick(ud->Editor(), Qt::Key_PageDown);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
    QTest::keyClicks(QApplication::focusWidget(), "77");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(ud->Editor(), nullptr);
    EXPECT_GT(ud->FocusRow(), RowOf(ud, "x")) << "the highlight moved down";
    EXPECT_EQ(Cell(ud, "x"), "5");
    for (int row = 1; row < ud->ItemCount(); ++row)
        EXPECT_EQ(ud->GetItemText(row, kRecordColumnData), before[row]) << row;
}

TEST_F(RecordTablesTest, TheSplitterKeepsBothTablesAtLeast36PixelsHigh) {
    const QRect frame = initial->FrameArea();
    CDataGrid* upper = initial->UserDataTable();
    CDataGrid* lower = initial->FixedDataTable();
    EXPECT_EQ(upper->height(), int(frame.height() * 0.4));
    QWidget* bar = initial->SplitterBar();
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
}

TEST_F(RecordTablesTest, OnlyTheTableWithTheFocusShowsTheActiveSelectionColour) {
    CDataGrid* ud = initial->UserDataTable();
    CDataGrid* fd = initial->FixedDataTable();
    const int row = 1;
    fd->setFocus();
    fd->SetFocusCell(row, kRecordColumnData);
    ud->setFocus();
    ud->SetFocusCell(row, kRecordColumnData);
    QApplication::processEvents();
    // Background far right in the "name" cell, and the darkest pixel of its text.
    auto background = [row](CDataGrid* table) {
        const QImage image = table->viewport()->grab().toImage();
        const QRect cell = table->CellRect(row, kRecordColumnName);
        return image.pixelColor(cell.right() - 2, cell.center().y());
    };
    auto darkestText = [row](CDataGrid* table) {
        const QImage image = table->viewport()->grab().toImage();
        const QRect cell = table->CellRect(row, kRecordColumnName).adjusted(1, 1, -1, -1);
        QColor darkest = Qt::white;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                if (image.pixelColor(x, y).lightness() < darkest.lightness())
                    darkest = image.pixelColor(x, y);
        return darkest;
    };
    const QColor inactive(204, 204, 204);
    const QColor active = ud->palette().color(QPalette::Active, QPalette::Highlight);
    ASSERT_NE(active, inactive);
    EXPECT_EQ(background(ud), active);
    EXPECT_EQ(background(fd), inactive);
    EXPECT_EQ(darkestText(fd), QColor(Qt::black)) << "black text on the grey";

    // An open editor keeps its table the active one.
    TypeCell(fd, "numb", "", true);
    fd->SetFocusCell(row, kRecordColumnData);  // the selection shown beside the editor
    ASSERT_TRUE(fd->Editor() && fd->Editor()->hasFocus());
    EXPECT_EQ(background(fd), active);
    EXPECT_EQ(background(ud), inactive);
    fd->CommitEdit();
    EXPECT_EQ(background(fd), active);
    EXPECT_EQ(background(ud), inactive);
}

TEST_F(RecordTablesTest, ButtonsNeverOverlapNorCutTheirTextAtAnyAllowedWidth) {
    const QList<QPushButton*> buttons = {initial->CallDllButton(), initial->UpdateButton(),
                                         initial->HideButton()};
    // The room the text needs inside the button's frame and margins.
    auto needed = [](QPushButton* button) {
        QStyleOptionButton option;
        option.initFrom(button);
        const QStyle* style = button->style();
        return button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() +
               style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    };
    ASSERT_EQ(initial->minimumWidth(), CRecordTablesDialog::kMinimumWidth);
    for (int width : {240, 241, 250, 263, 280, 311, 312, 400, 800}) {
        SCOPED_TRACE(width);
        initial->resize(width, 400);
        QApplication::processEvents();
        ASSERT_EQ(initial->width(), width);
        for (int i = 0; i < buttons.size(); ++i) {
            const QRect r = buttons[i]->geometry();
            EXPECT_GE(r.width(), needed(buttons[i])) << buttons[i]->text().toStdString();
            EXPECT_GE(r.left(), 6);
            EXPECT_LE(r.right(), width - 1 - 6);
            for (int j = i + 1; j < buttons.size(); ++j)
                EXPECT_GE(buttons[j]->geometry().left() - r.right() - 1, 6)
                    << "gap after " << buttons[i]->text().toStdString();
        }
    }
    // Wide enough, the buttons keep the widths of the window template.
    initial->resize(312, 400);
    EXPECT_EQ(initial->CallDllButton()->width(), 72);
    EXPECT_EQ(initial->UpdateButton()->width(), 100);
    EXPECT_EQ(initial->HideButton()->width(), 64);
}

TEST_F(RecordTablesTest, EachTableKeepsItsColumnsInItsOwnProfileSection) {
    EXPECT_EQ(initial->UserDataTable()->ColumnConfig()->BaseSection(), "Profile List UD Initial");
    EXPECT_EQ(initial->FixedDataTable()->ColumnConfig()->BaseSection(), "Profile List FD Initial");
    EXPECT_EQ(final->UserDataTable()->ColumnConfig()->BaseSection(), "Profile List UD Final");
    EXPECT_EQ(final->FixedDataTable()->ColumnConfig()->BaseSection(), "Profile List FD Final");
    EXPECT_FALSE(QFile::exists(dir.QFilePath("Velmor.ini")))
        << "opening the windows writes nothing";
    std::unique_ptr<QMenu> menu(initial->UserDataTable()->CreateHeaderMenu(nullptr));
    for (QAction* action : menu->actions())
        if (action->text() == "name") action->trigger();
    initial.reset();
    EXPECT_EQ(Settings().GetInt("Profile List UD Initial__DefaultUD", "ColumnCount", -1), 2);
    CDialogUdFdInitial again(Settings());
    EXPECT_FALSE(again.UserDataTable()->IsColumnVisible(kRecordColumnName));
    EXPECT_TRUE(again.FixedDataTable()->IsColumnVisible(kRecordColumnName));
}

// At the default size no name is cut (the name column is as wide as its longest name fits, in
// every record version), and a wider window gives the extra width to the last column; a stored
// column width still wins.
TEST_F(RecordTablesTest, NamesFitAtTheDefaultSizeAndTheLastColumnTakesTheExtraWidth) {
    for (CDataGrid* table : {initial->UserDataTable(), initial->FixedDataTable()}) {
        const QFontMetrics metrics(table->font());
        const bool userData = table == initial->UserDataTable();
        int longest = 0;
        for (int version = 0; version <= (userData ? 0 : 4); ++version) {
            for (const RecordRow& row : userData ? UserDataRows() : FixedDataRows(version))
                longest =
                    std::max(longest, metrics.horizontalAdvance(QString::fromStdString(row.name)));
        }
        EXPECT_GE(table->ColumnWidth(kRecordColumnName), longest + 4) << userData;
        // "wavelength" whole, for one.
        EXPECT_GE(table->ColumnWidth(kRecordColumnName),
                  metrics.horizontalAdvance(QStringLiteral("wavelength")) + 4);
        // The last column reaches the right edge of the table's viewport, before and after the
        // window grows.
        const int data = table->ColumnWidth(kRecordColumnData);
        const auto rightEdge = [table] {
            return table->horizontalHeader()->sectionViewportPosition(kRecordColumnData) +
                   table->ColumnWidth(kRecordColumnData);
        };
        EXPECT_EQ(rightEdge(), table->viewport()->width());
        EXPECT_GE(data, 80);
        initial->resize(initial->width() + 150, initial->height());
        QApplication::processEvents();
        EXPECT_EQ(rightEdge(), table->viewport()->width());
        EXPECT_GE(table->ColumnWidth(kRecordColumnData), data + 100);
        initial->resize(initial->width() - 150, initial->height());
        QApplication::processEvents();
    }

    // A stored width of the name column wins over the fitted default.
    initial.reset();
    SettingsFile settings = Settings();
    settings.WriteString("Profile List UD Initial__DefaultUD", "ColumnWidth_1", "55");
    CDialogUdFdInitial again(Settings());
    EXPECT_EQ(again.UserDataTable()->ColumnWidth(kRecordColumnName), 55);
}

}  // namespace
}  // namespace velmor::test
