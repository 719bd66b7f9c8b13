// The rows of the record tables by name: the text of a "data" cell, and typing into it as a
// user does (focus the cell, F2, select all, type; Return ends the edit unless kept open).
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <string>

#include "core/app/number_text.h"
#include "ui/grid/data_grid.h"
#include "ui/surface/record_tables_dialog.h"

namespace velmor::test {

inline int RowOf(CDataGrid* table, const QString& name) {
    for (int row = 0; row < table->ItemCount(); ++row)
        if (table->GetItemText(row, kRecordColumnName) == name) return row;
    return -1;
}

inline QString Cell(CDataGrid* table, const QString& name) {
    return table->GetItemText(RowOf(table, name), kRecordColumnData);
}

inline void TypeCell(CDataGrid* table, const QString& name, const QString& text,
                     bool keepOpen = false) {
    const int row = RowOf(table, name);
    ASSERT_GE(row, 0) << name.toStdString();
    table->setFocus();
    table->SetFocusCell(row, kRecordColumnData);
    QTest::keyClick(table, Qt::Key_F2);
    ASSERT_NE(table->Editor(), nullptr) << name.toStdString();
    QTest::keyClick(table->Editor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(table->Editor(), text);
    if (!keepOpen) QTest::keyClick(table->Editor(), Qt::Key_Return);
}

// A value as the tables show a double.
inline QString Fixed6(double value) {
    return QString::fromStdString(FormatFixed(value, 6));
}

}  // namespace velmor::test
