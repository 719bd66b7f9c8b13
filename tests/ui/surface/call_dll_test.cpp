// "Call DLL" and the read-back before an update, against the real provider: the built-in
// surface and a record-version-3 library loaded with dlopen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "app/number_text.h"
#include "grid/data_grid.h"
#include "interp/script_engine.h"
#include "surface/dialog_udfd_final.h"
#include "surface/dialog_udfd_initial.h"
#include "surface/even_array.h"
#include "surface/provider.h"
#include "surface/record_table.h"

namespace velmor {
namespace {

class CallDllTest : public ::testing::Test {
protected:
    void SetUp() override {
        provider.ResetSurfaceRecords();
        initial = std::make_unique<CDialogUdFdInitial>(Settings());
        final = std::make_unique<CDialogUdFdFinal>(Settings());
        // The wiring the main window makes.
        QObject::connect(initial.get(), &CDialogUdFdInitial::callDllRequested,
                         [this] { initial->CallDll(provider, *final); });
        initial->ShowRecords(provider.Initial(), provider.RecordVersion());
        initial->show();
        initial->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(initial.get()));
    }
    SettingsFile Settings() const { return SettingsFile(dir.filePath("Velmor.ini").toStdString()); }
    static int RowOf(CDataGrid* table, const QString& name) {
        for (int row = 0; row < table->ItemCount(); ++row)
            if (table->GetItemText(row, kRecordColumnName) == name) return row;
        return -1;
    }
    static QString Cell(CDataGrid* table, const QString& name) {
        return table->GetItemText(RowOf(table, name), kRecordColumnData);
    }
    // Second click on the "data" cell, type, Return.
    static void Type(CDataGrid* table, const QString& name, const QString& text) {
        const int row = RowOf(table, name);
        ASSERT_GE(row, 0);
        table->scrollTo(table->model()->index(row, kRecordColumnData));
        const QPoint at = table->CellRect(row, kRecordColumnData).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        ASSERT_NE(table->Editor(), nullptr) << name.toStdString();
        QTest::keyClicks(table->Editor(), text);
        QTest::keyClick(table->Editor(), Qt::Key_Return);
    }
    void PressCallDll() { QTest::mouseClick(initial->CallDllButton(), Qt::LeftButton); }

    QTemporaryDir dir;
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    std::unique_ptr<CDialogUdFdInitial> initial;
    std::unique_ptr<CDialogUdFdFinal> final;
};

TEST_F(CallDllTest, ASagRequestTypedIntoTheTableShowsTheBuiltInSag) {
    Type(initial->FixedDataTable(), "type", "3");
    Type(initial->UserDataTable(), "x", "0.5");
    PressCallDll();
    EXPECT_EQ(initial->DllReturnText(), "DLL retrun = 0");

    // The built-in surface asked directly with the same records.
    RecordPair expected;
    CopyRecordPair(expected, provider.Initial());
    EXPECT_EQ(expected.ud.x, 0.5);
    EXPECT_EQ(expected.Type(), 3);
    ASSERT_EQ(EvenArraySurface(&expected.ud, expected.Fd0()), 0);
    ASSERT_NE(expected.ud.sag1, 0.0) << "a sag that tells something";
    EXPECT_EQ(Cell(final->UserDataTable(), "sag1"),
              QString::fromStdString(FormatFixed(expected.ud.sag1, 6)));
    EXPECT_EQ(Cell(final->UserDataTable(), "x"), "0.500000");
    EXPECT_EQ(Cell(final->FixedDataTable(), "type"), "3");
    EXPECT_EQ(provider.Final().ud.sag1, expected.ud.sag1);
}

TEST_F(CallDllTest, AnUnknownRequestLeavesTheFinalRecordsEqualToTheInitialOnes) {
    Type(initial->FixedDataTable(), "type", "99");
    PressCallDll();
    EXPECT_EQ(initial->DllReturnText(), "DLL retrun = 0");
    EXPECT_EQ(std::memcmp(&provider.Final().ud, &provider.Initial().ud, sizeof(USER_DATA)), 0);
    EXPECT_EQ(std::memcmp(provider.Final().fd, provider.Initial().fd, sizeof provider.Final().fd),
              0);
    for (CDataGrid* table : {final->UserDataTable(), final->FixedDataTable()}) {
        CDataGrid* source =
            table == final->UserDataTable() ? initial->UserDataTable() : initial->FixedDataTable();
        ASSERT_EQ(table->ItemCount(), source->ItemCount());
        for (int row = 0; row < table->ItemCount(); ++row)
            ASSERT_EQ(table->GetItemText(row, kRecordColumnData),
                      source->GetItemText(row, kRecordColumnData))
                << row;
    }
}

TEST_F(CallDllTest, NothingIsCalledInInterpreterMode) {
    provider.SetInterpreterMode(true);
    Type(initial->FixedDataTable(), "type", "3");
    EXPECT_FALSE(initial->CallDll(provider, *final).has_value());
    EXPECT_EQ(initial->DllReturnText(), "DLL return =");
    EXPECT_EQ(provider.Initial().Type(), 7) << "not even read";
}

TEST_F(CallDllTest, AVersion3LibraryGets5734RowsAndAnswersThroughTheTables) {
    const std::string path = std::string(VELMOR_LIB_DIR) + "/entry4_only.so";
    LoadOutcome outcome = provider.OpenSurfaceDll(path);
    ASSERT_TRUE(outcome.loaded) << outcome.reason;
    ASSERT_EQ(outcome.recordVersion, 3);
    // What the main window does after a load: only the FIXED_DATA tables are rebuilt.
    initial->RebuildFixedDataRows(3);
    final->RebuildFixedDataRows(3);
    initial->ShowRecords(provider.Initial(), 3);
    CDataGrid* fixed = initial->FixedDataTable();
    ASSERT_EQ(fixed->ItemCount(), 5734);
    EXPECT_EQ(fixed->GetItemText(5733, kRecordColumnName), "datasurf_values[4800]");
    EXPECT_EQ(fixed->GetItemText(5733, kRecordColumnData), "4.000000");
    EXPECT_EQ(initial->windowTitle(), "Initial USER_DATA FIXED_DATA4");

    Type(fixed, "type", "3");
    Type(fixed, "datasurf_values[4799]", "-2.5");
    PressCallDll();
    EXPECT_EQ(initial->DllReturnText(), "DLL retrun = 0");
    EXPECT_EQ(Cell(final->UserDataTable(), "sag1"), "4.000000");
    EXPECT_EQ(final->FixedDataTable()->GetItemText(5732, kRecordColumnData), "-2.500000");
    EXPECT_EQ(provider.Final().Fd3()->datasurf_values[4799], -2.5);

    // The read-back before an update takes a fresh pair.
    Type(fixed, "n1", "1.25");
    EXPECT_EQ(initial->ReadInitialRecords(provider), 0);
    EXPECT_EQ(ReadN1(provider.Initial(), 3), 1.25);
    EXPECT_EQ(provider.Initial().Fd3()->datasurf_values[4800], 4.0);
}

TEST_F(CallDllTest, TablesOfAnotherVersionLeaveTheInitialRecordsAlone) {
    ASSERT_TRUE(provider.OpenSurfaceDll(std::string(VELMOR_LIB_DIR) + "/entry4_only.so").loaded);
    RecordPair before;
    CopyRecordPair(before, provider.Initial());
    EXPECT_EQ(initial->ReadInitialRecords(provider), -1) << "the tables still hold version 0";
    EXPECT_EQ(std::memcmp(provider.Initial().fd, before.fd, sizeof before.fd), 0);
}

}  // namespace
}  // namespace velmor
