// A data grid set up as the record tables set theirs up: the hidden label column, read-only
// "type" and "name" columns and an editable "data" column, inside a shown, active window.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "core/app/settings_file.h"
#include "temp_dir.h"
#include "ui/grid/column_config.h"
#include "ui/grid/data_grid.h"

namespace velmor::test {

enum { kType = 1, kName = 2, kData = 3 };

inline void SetUpColumns(CDataGrid& grid) {
    grid.SetCellMargin(1.2);
    grid.InsertHiddenLabelColumn();
    grid.InsertColumnTrait(kType, "type", Qt::AlignLeft, 60, kType,
                           std::make_unique<CColumnTraitText>());
    grid.InsertColumnTrait(kName, "name", Qt::AlignLeft, 80, kName,
                           std::make_unique<CColumnTraitText>());
    grid.InsertColumnTrait(kData, "data", Qt::AlignLeft, 80, kData,
                           std::make_unique<CColumnTraitEdit>());
}

inline void FillRows(CDataGrid& grid, const std::vector<std::pair<QString, QString>>& rows) {
    grid.InsertItems(0, int(rows.size()));
    std::vector<QString> types, names, data;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        types.push_back("double");
        names.push_back(rows[i].first);
        data.push_back(rows[i].second);
    }
    grid.SetColumnTexts(kType, types);
    grid.SetColumnTexts(kName, names);
    grid.SetColumnTexts(kData, data);
}

// A window with the grid and a line edit to click away to.
struct GridWindow {
    QWidget window;
    CDataGrid* grid;
    QLineEdit* other;

    GridWindow() {
        auto* layout = new QVBoxLayout(&window);
        grid = new CDataGrid(&window);
        other = new QLineEdit(&window);
        layout->addWidget(grid);
        layout->addWidget(other);
        SetUpColumns(*grid);
        window.resize(400, 360);
    }
    void Show() {
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void Click(int row, int column, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers,
                          grid->CellRect(row, column).center());
    }
    // Two clicks on the "data" cell: the first focuses it, the second opens the editor.
    void OpenEditor(int row) {
        Click(row, kData);
        Click(row, kData);
    }
};

// Drives the incremental search's clock without sleeping.
struct FakeClock {
    long long seconds = 1000;
    CDataGrid::SearchClock Clock() {
        return [this] { return seconds; };
    }
};

}  // namespace velmor::test
