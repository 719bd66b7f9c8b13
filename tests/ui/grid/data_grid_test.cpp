// Editing, focus cell, keyboard and search of the data grid, driven by mouse and key input.
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QWheelEvent>

#include "grid_fixture.h"

namespace velmor::test {
namespace {

const std::vector<std::pair<QString, QString>> kRows = {
    {"x", "1.000000"},      {"y", "-0.500000"},   {"z", "0.000000"},    {"l", "-0.250000"},
    {"m", "0.200000"},      {"n", "0.947000"},    {"ln", "0.000000"},   {"mn", "0.000000"},
    {"nn", "0.000000"},     {"path", "0"},        {"sag1", "0"},        {"sag2", "0"},
    {"index", "0"},         {"dndx", "0"},        {"dndy", "0"},        {"dndz", "0"},
    {"rel_surf_tran", "0"}, {"udreserved1", "0"}, {"udreserved2", "0"}, {"string[20]", ""},
};

class DataGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        FillRows(*w.grid, kRows);
        w.Show();
    }
    GridWindow w;
};

TEST_F(DataGridTest, SecondClickOnTheFocusCellOpensTheEditorWithTheTextSelected) {
    EXPECT_EQ(w.grid->rowHeight(0), int(QFontMetrics(w.grid->font()).height() * 1.2));
    w.Click(1, kData);
    EXPECT_EQ(w.grid->Editor(), nullptr) << "the first click only focuses the cell";
    w.Click(1, kData);
    CCellEditorText* editor = w.grid->Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->hasFocus());
    EXPECT_EQ(editor->selectedText(), "-0.500000");
    EXPECT_EQ(editor->geometry(), w.grid->CellRect(1, kData));

    // An empty cell takes the first character typed.
    const int row = int(kRows.size()) - 1;  // "string[20]" is empty
    w.OpenEditor(row);
    QTest::keyClick(w.grid->Editor(), Qt::Key_A);
    QTest::keyClick(w.grid->Editor(), Qt::Key_Return);
    EXPECT_EQ(w.grid->GetItemText(row, kData), "a");
}

TEST_F(DataGridTest, ClicksThatNeverStartAnEdit) {
    // Read-only columns, however often clicked.
    for (int column : {kType, kName}) {
        w.Click(2, column);
        w.Click(2, column);
        EXPECT_EQ(w.grid->Editor(), nullptr) << column;
    }
    // The focus column changes with the click: no edit even on the focused row.
    w.Click(2, kName);
    w.Click(2, kData);
    EXPECT_EQ(w.grid->Editor(), nullptr);
    // Ctrl or Shift held.
    for (Qt::KeyboardModifier modifier : {Qt::ControlModifier, Qt::ShiftModifier}) {
        w.Click(2, kData);
        w.Click(2, kData, modifier);
        EXPECT_EQ(w.grid->Editor(), nullptr) << modifier;
    }
    // A double click.
    w.Click(3, kData);
    QTest::mouseDClick(w.grid->viewport(), Qt::LeftButton, {}, w.grid->CellRect(3, kData).center());
    EXPECT_EQ(w.grid->Editor(), nullptr);
    // F2 on a read-only focus cell.
    w.Click(4, kName);
    QTest::keyClick(w.grid, Qt::Key_F2);
    EXPECT_EQ(w.grid->Editor(), nullptr);
}

TEST_F(DataGridTest, ReturnTabAndClickingElsewhereKeepTheTextEscapeRestoresIt) {
    struct Case {
        const char* how;
        std::function<void(GridWindow&)> end;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"Return", [](GridWindow& g) { QTest::keyClick(g.grid->Editor(), Qt::Key_Return); }, true},
        {"Tab", [](GridWindow& g) { QTest::keyClick(g.grid->Editor(), Qt::Key_Tab); }, true},
        {"click on another cell", [](GridWindow& g) { g.Click(7, kName); }, true},
        {"click on another control",
         [](GridWindow& g) { QTest::mouseClick(g.other, Qt::LeftButton); }, true},
        {"Escape", [](GridWindow& g) { QTest::keyClick(g.grid->Editor(), Qt::Key_Escape); }, false},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const QString before = w.grid->GetItemText(row, kData);
        w.grid->setFocus();
        w.OpenEditor(row);
        ASSERT_NE(w.grid->Editor(), nullptr);
        QTest::keyClicks(w.grid->Editor(), "0.5");
        c.end(w);
        QApplication::processEvents();
        EXPECT_EQ(w.grid->Editor(), nullptr);
        EXPECT_EQ(w.grid->GetItemText(row, kData), c.kept ? QString("0.5") : before);
        ++row;
    }
}

TEST_F(DataGridTest, RowKeysInTheEditorEndTheEditKeepingTheTextThenMoveTheRow) {
    w.grid->InsertItems(w.grid->ItemCount(), 60);
    const struct {
        Qt::Key key;
        int row;
        bool down;
    } cases[] = {{Qt::Key_Down, 5, true},
                 {Qt::Key_Up, 30, false},
                 {Qt::Key_PageDown, 7, true},
                 {Qt::Key_PageUp, 40, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        w.grid->setFocus();
        w.grid->SetFocusCell(c.row, kData);
        QTest::keyClick(w.grid, Qt::Key_F2);
        ASSERT_NE(w.grid->Editor(), nullptr);
        QTest::keyClicks(w.grid->Editor(), "0.5");
        QTest::keyClick(w.grid->Editor(), c.key);
        QApplication::processEvents();
        EXPECT_EQ(w.grid->Editor(), nullptr);
        EXPECT_TRUE(w.grid->hasFocus());
        EXPECT_EQ(w.grid->GetItemText(c.row, kData), "0.5");
        EXPECT_EQ(w.grid->FocusRow() > c.row, c.down) << w.grid->FocusRow();
        EXPECT_NE(w.grid->FocusRow(), c.row);
        // What is typed now goes to the grid, not into a cell.
        QTest::keyClicks(w.grid, "7");
        EXPECT_EQ(w.grid->Editor(), nullptr);
        EXPECT_EQ(w.grid->GetItemText(c.row, kData), "0.5");
    }
}

TEST_F(DataGridTest, TheWheelOverTheEditorOrAnyPartOfTheGridEndsTheEditThenScrolls) {
    w.grid->InsertItems(w.grid->ItemCount(), 300);
    const struct {
        const char* where;
        std::function<QWidget*()> target;
    } cases[] = {
        {"editor", [this] { return static_cast<QWidget*>(w.grid->Editor()); }},
        {"another row", [this] { return w.grid->viewport(); }},
        {"header", [this] { return w.grid->horizontalHeader()->viewport(); }},
        {"scroll bar", [this] { return static_cast<QWidget*>(w.grid->verticalScrollBar()); }},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        w.grid->verticalScrollBar()->setValue(0);
        w.Click(row, kData);
        w.Click(row, kData);
        ASSERT_NE(w.grid->Editor(), nullptr);
        QTest::keyClicks(w.grid->Editor(), "42");
        QWidget* target = c.target();
        // Over the editor at its corner, elsewhere at the bottom left, away from the editor.
        const QPointF at =
            target == w.grid->Editor() ? QPointF(5, 5) : QPointF(3, target->height() - 3);
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
        QApplication::processEvents();
        EXPECT_EQ(w.grid->Editor(), nullptr);
        EXPECT_EQ(w.grid->GetItemText(row, kData), "42");
        EXPECT_GT(w.grid->verticalScrollBar()->value(), 0);
        ++row;
    }

    // An editor follows its cell when the grid scrolls otherwise.
    w.grid->verticalScrollBar()->setValue(0);
    w.OpenEditor(1);
    w.grid->verticalScrollBar()->setValue(3);
    EXPECT_EQ(w.grid->Editor()->geometry(), w.grid->CellRect(1, kData));
    QTest::keyClicks(w.grid->Editor(), "5");
    w.grid->CommitEdit();
    EXPECT_EQ(w.grid->GetItemText(1, kData), "5");
}

TEST_F(DataGridTest, NotificationsCarryTheTextOnlyForAKeptChangeAndTheOwnerMayRefuse) {
    std::vector<QString> ended;  // "<none>" when no text
    bool refuseBegin = false, refuseEnd = false;
    QObject::connect(w.grid, &CDataGrid::cellEditBegin,
                     [&](int, int, bool* refuse) { *refuse = refuseBegin; });
    QObject::connect(w.grid, &CDataGrid::cellEditEnd,
                     [&](int, int, const QString* text, bool* refuse) {
                         ended.push_back(text ? *text : QString("<none>"));
                         *refuse = refuseEnd;
                     });
    w.OpenEditor(5);
    QTest::keyClick(w.grid->Editor(), Qt::Key_Return);  // unchanged
    w.Click(5, kData);
    QTest::keyClicks(w.grid->Editor(), "abc");
    QTest::keyClick(w.grid->Editor(), Qt::Key_Escape);  // discarded
    w.Click(5, kData);
    QTest::keyClicks(w.grid->Editor(), "1.25");
    QTest::keyClick(w.grid->Editor(), Qt::Key_Return);  // kept
    EXPECT_EQ(ended, (std::vector<QString>{"<none>", "<none>", "1.25"}));
    EXPECT_EQ(w.grid->GetItemText(5, kData), "1.25");

    refuseEnd = true;
    w.Click(5, kData);
    QTest::keyClicks(w.grid->Editor(), "9");
    QTest::keyClick(w.grid->Editor(), Qt::Key_Return);
    EXPECT_EQ(w.grid->GetItemText(5, kData), "1.25") << "a refused end keeps the old text";

    refuseBegin = true;
    w.Click(5, kData);
    EXPECT_EQ(w.grid->Editor(), nullptr) << "a refused begin opens nothing";
    EXPECT_EQ(ended.size(), 4u) << "and sends no end";
}

TEST_F(DataGridTest, LeftAndRightMoveTheFocusColumnOverVisibleColumnsTheLabelColumnStaysFirst) {
    w.Click(3, kType);
    QTest::keyClick(w.grid, Qt::Key_Left);
    EXPECT_EQ(w.grid->FocusColumn(), kType) << "stops at the first visible column, never the label";
    QTest::keyClick(w.grid, Qt::Key_Right);
    EXPECT_EQ(w.grid->FocusColumn(), kName);
    QTest::keyClick(w.grid, Qt::Key_Right);
    QTest::keyClick(w.grid, Qt::Key_Right);
    EXPECT_EQ(w.grid->FocusColumn(), kData);

    w.grid->ShowColumn(kName, false);
    QTest::keyClick(w.grid, Qt::Key_Left);
    EXPECT_EQ(w.grid->FocusColumn(), kType) << "hidden columns are skipped";
    // End moves along the rows, as in a list, keeping the focus column.
    QTest::keyClick(w.grid, Qt::Key_End);
    EXPECT_EQ(w.grid->FocusRow(), int(kRows.size()) - 1);
    EXPECT_EQ(w.grid->FocusColumn(), kType);

    // The label column stays first when columns are dragged; dragging resets the focus cell.
    QHeaderView* header = w.grid->horizontalHeader();
    w.Click(2, kData);
    header->moveSection(header->visualIndex(kData), 0);
    EXPECT_EQ(header->logicalIndex(0), 0);
    EXPECT_EQ(w.grid->FocusColumn(), -1);
    w.Click(2, kData);  // no focus column: the same cell is only focused again
    EXPECT_EQ(w.grid->Editor(), nullptr);
}

TEST_F(DataGridTest, CtrlASelectsAllAndCtrlCCopiesTheSelectedRowsTabSeparated) {
    w.Click(1, kName);
    QTest::mouseClick(w.grid->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      w.grid->CellRect(3, kName).center());
    QTest::keyClick(w.grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "double\ty\t-0.500000\ndouble\tl\t-0.250000\n");

    QTest::keyClick(w.grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w.grid->selectionModel()->selectedRows(kName).size(), int(kRows.size()));
}

TEST_F(DataGridTest, FittingWidthsCoversTheLongestTextInAnyRowWithinTheColumnsLimits) {
    w.grid->InsertItems(w.grid->ItemCount(), 500);
    const QString longText = "a rather long text far below the visible rows";
    w.grid->SetItemText(w.grid->ItemCount() - 1, kData, longText);
    const int needed = QFontMetrics(w.grid->font()).horizontalAdvance(longText);
    ASSERT_LT(w.grid->ColumnWidth(kData), needed);

    QTest::keyClick(w.grid, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_GE(w.grid->ColumnWidth(kData), needed);

    // The divider's double click fits one column.
    w.grid->setColumnWidth(kData, 30);
    emit w.grid->horizontalHeader()->sectionHandleDoubleClicked(kData);
    EXPECT_GE(w.grid->ColumnWidth(kData), needed);

    // Resizing keeps a column's limits.
    CColumnTrait* trait = w.grid->ColumnTrait(kName);
    trait->State().minWidth = 50;
    trait->State().maxWidth = 120;
    w.grid->horizontalHeader()->resizeSection(kName, 20);
    EXPECT_EQ(w.grid->ColumnWidth(kName), 50);
    w.grid->horizontalHeader()->resizeSection(kName, 400);
    EXPECT_EQ(w.grid->ColumnWidth(kName), 120);
}

// --- incremental search ---

class GridSearchTest : public DataGridTest {
protected:
    void SetUp() override {
        DataGridTest::SetUp();
        w.grid->SetSearchClock(clock.Clock());
        w.Click(0, kName);
    }
    void Type(const char* text) { QTest::keyClicks(w.grid, text); }
    QString FocusName() const { return w.grid->GetItemText(w.grid->FocusRow(), kName); }
    FakeClock clock;
};

TEST_F(GridSearchTest, FirstLettersJumpInEitherCaseTheSameLetterCyclesAPauseStartsAfresh) {
    Type("s");
    EXPECT_EQ(FocusName(), "sag1");
    clock.seconds += 1;
    Type("t");
    EXPECT_EQ(FocusName(), "string[20]") << "one second on: \"st\"";
    clock.seconds += 3;
    Type("s");
    EXPECT_EQ(w.grid->SearchText(), "s");
    EXPECT_EQ(FocusName(), "sag1") << "after the pause a fresh search from the next row";
    clock.seconds += 3;
    Type("d");
    EXPECT_EQ(FocusName(), "dndx");
    Type("n");
    Type("D");
    Type("z");
    EXPECT_EQ(FocusName(), "dndz");
    EXPECT_EQ(w.grid->SearchText(), "dnDz");
    clock.seconds += 3;
    Type("u");
    EXPECT_EQ(FocusName(), "udreserved1");
    Type("u");
    EXPECT_EQ(FocusName(), "udreserved2");
    Type("u");
    EXPECT_EQ(FocusName(), "udreserved1") << "wraps round to the first match";
}

TEST_F(GridSearchTest, MovingTheFocusOrHoldingCtrlEmptiesTheSearchText) {
    Type("p");
    EXPECT_EQ(FocusName(), "path");
    QTest::keyClick(w.grid, Qt::Key_Up);
    Type("a");
    EXPECT_EQ(w.grid->SearchText(), "a") << "the focused row changed";
    QTest::keyClick(w.grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(w.grid->SearchText().isEmpty());
    // The data column is searched when it is the focus column.
    w.Click(0, kData);
    Type("-0.2");
    EXPECT_EQ(FocusName(), "l");
}

}  // namespace
}  // namespace velmor::test
