// "UD FD Initial" and "UD FD Final" as the main window drives them: filled at start, the final
// pair after every trace and "Call DLL", read back before the updates, "Update UD FD" as
// "Update 2D", rows and titles rebuilt after a library load.
#include <QPushButton>

#include "core/surface/even_array.h"
#include "core/surface/row_catalogue.h"
#include "dlg_fixture.h"
#include "record_table_cells.h"
#include "test_paths.h"

namespace velmor::test {
namespace {

class RecordTablesWiringTest : public DlgTest {
protected:
    CVelmorDlg& OpenWithTables() {
        CVelmorDlg& dlg = Open();
        m_initial = &dlg.UdFdInitial();
        m_final = &dlg.UdFdFinal();
        m_initial->show();
        m_initial->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_initial));
        return dlg;
    }

    CDialogUdFdInitial* m_initial = nullptr;
    CDialogUdFdFinal* m_final = nullptr;
};

TEST_F(RecordTablesWiringTest, CallDllSendsTheTypedRequestAndShowsTheAnswerInTheFinalTable) {
    CVelmorDlg& dlg = OpenWithTables();
    // The safe-data request left its type; the start-up trace sent request 5.
    EXPECT_EQ(Cell(m_initial->FixedDataTable(), "type"), "7");
    EXPECT_EQ(Cell(m_final->FixedDataTable(), "type"), "5");
    TypeCell(m_initial->FixedDataTable(), "type", "3");
    TypeCell(m_initial->UserDataTable(), "x", "0.5");
    QTest::mouseClick(m_initial->CallDllButton(), Qt::LeftButton);
    EXPECT_EQ(m_initial->DllReturnText(), "DLL retrun = 0");

    // The built-in surface asked directly with the same records.
    RecordPair expected;
    CopyRecordPair(expected, dlg.Provider().Initial());
    ASSERT_EQ(expected.ud.x, 0.5);
    ASSERT_EQ(expected.Type(), 3);
    ASSERT_EQ(EvenArraySurface(&expected.ud, expected.Fd0()), 0);
    ASSERT_NE(expected.ud.sag1, 0.0);
    EXPECT_EQ(Cell(m_final->UserDataTable(), "sag1"), Fixed6(expected.ud.sag1));
    EXPECT_EQ(Cell(m_final->FixedDataTable(), "type"), "3");

    // "Update UD FD" is "Update 2D": the records, with an edit still open, are read back and
    // traced, the label reset.
    m_initial->activateWindow();
    TypeCell(m_initial->UserDataTable(), "y", "-1.25", true);
    QTest::mouseClick(m_initial->UpdateButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.Provider().Initial().ud.y, -1.25);
    EXPECT_EQ(m_initial->UserDataTable()->Editor(), nullptr);
    EXPECT_EQ(m_initial->DllReturnText(), "DLL retrun = ");
    EXPECT_EQ(Cell(m_final->UserDataTable(), "x"), Fixed6(dlg.Provider().Final().ud.x));
}

TEST_F(RecordTablesWiringTest, LibraryLoadsRebuildTheRowsAndTitlesAndResetTheView) {
    CVelmorDlg& dlg = OpenWithTables();
    m_messages.QueuePath(test::QLibPath("entry4_only"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    ASSERT_TRUE(m_messages.Shown().empty()) << m_messages.LastText().toStdString();
    CDataGrid* fixed = m_initial->FixedDataTable();
    ASSERT_EQ(fixed->ItemCount(), 5734);
    EXPECT_EQ(fixed->GetItemText(5733, kRecordColumnName), "datasurf_values[4800]");
    EXPECT_EQ(m_final->FixedDataTable()->ItemCount(), 5734);
    EXPECT_EQ(m_initial->windowTitle(), "Initial USER_DATA FIXED_DATA4");
    EXPECT_EQ(Cell(fixed, "cv"), Fixed6(0.25));  // the new library's safe data

    // An update reads the 5734 rows back into the version-3 records.
    TypeCell(fixed, "datasurf_values[4799]", "-2.5");
    Click(kIdUpdate2D);
    EXPECT_EQ(dlg.Provider().Initial().Fd3()->datasurf_values[4799], -2.5);

    // A version-1 library retitles the window; every load resets zoom and pan.
    dlg.ZoomAt(dlg.Areas().plan.center(), 1);
    m_messages.QueuePath(test::QLibPath("entry2_only"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    EXPECT_EQ(m_initial->windowTitle(), "Initial USER_DATA FIXED_DATA2");
    EXPECT_TRUE(dlg.State().displayX.min == -10 && dlg.State().displayX.max == 10);

    // A failed load drops the library: the built-in surface answers, the tables follow it.
    m_messages.QueuePath(test::QLibPath("no_entry"));
    dlg.MenuAction(kCmdOpenDll)->trigger();
    EXPECT_EQ(m_messages.LastText(), "User_Defined_Surface DLL ? or PATH ?");
    EXPECT_EQ(dlg.Provider().RecordVersion(), 0);
    EXPECT_EQ(fixed->ItemCount(), int(FixedDataRows(0).size()));
    EXPECT_EQ(m_initial->windowTitle(), "Initial USER_DATA FIXED_DATA");
}

}  // namespace
}  // namespace velmor::test
