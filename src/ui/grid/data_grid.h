// The data grid: an editable report-style table (one row per item, one column per property)
// on Qt's item views. Column 0 is a label column that is always hidden; each column has a
// trait that decides how its cells are shown and edited. The user moves a focus cell with
// mouse and keyboard and edits a cell in place; the visible columns, their order and widths
// are kept in a column configuration with named profiles.
//
// Cells live in a model of plain strings, column by column, so that filling or reading
// thousands of rows costs a few string copies and one change notice.
#pragma once

#include <QFont>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <memory>
#include <vector>

#include "ui/grid/cell_editor.h"
#include "ui/grid/column_config.h"
#include "ui/grid/column_trait.h"
#include "ui/grid/data_grid_model.h"

class QMenu;

namespace velmor {

class CDataGrid : public QTableView {
    Q_OBJECT
public:
    // Seconds on some steady clock; the incremental search measures its pause with it.
    using SearchClock = std::function<long long()>;

    explicit CDataGrid(QWidget* parent = nullptr);
    ~CDataGrid() override;

    // --- set-up by the owner, in this order ---

    // Rows are made taller than the cell font by `factor` (at least 1). The cells, the
    // editor and the header keep their own fonts.
    void SetCellMargin(double factor);
    // Inserts the always-hidden label column as column 0 (sub-item id 0).
    void InsertHiddenLabelColumn();
    // Inserts a column at `column` (appended when out of range); returns its index. The
    // sub-item id is the column's identity in the stored configuration.
    int InsertColumnTrait(int column, const QString& title, Qt::Alignment alignment, int width,
                          int subItemId, std::unique_ptr<CColumnTrait> trait);
    // Attaches a configuration (saving the column state into the previous one first),
    // records the current columns as its default when it has none, and loads from it.
    void SetupColumnConfig(std::unique_ptr<CColumnConfigProfiles> config);
    CColumnConfigProfiles* ColumnConfig() const { return m_config.get(); }

    // --- rows and cells ---

    int ItemCount() const { return m_model->rowCount(); }
    // Inserts `count` empty rows at `row` in one step.
    void InsertItems(int row, int count);
    void DeleteAllItems();
    QString GetItemText(int row, int column) const;
    void SetItemText(int row, int column, const QString& text);
    // Sets the texts of one column from `firstRow` on, in one step (rows beyond the table are
    // ignored).
    void SetColumnTexts(int column, const std::vector<QString>& texts, int firstRow = 0);
    const std::vector<QString>& ColumnTexts(int column) const;

    // --- columns ---

    int ColumnCount() const { return m_model->columnCount(); }
    CColumnTrait* ColumnTrait(int column) const;
    int SubItemId(int column) const;
    int ColumnBySubItem(int subItemId) const;  // -1 when none
    QString ColumnTitle(int column) const;
    bool IsColumnVisible(int column) const;
    // Shows or hides a column (never an always-hidden one) and saves the column state.
    void ShowColumn(int column, bool show);
    int ColumnWidth(int column) const;
    // Fits a column's width to its title and the texts of all its cells.
    void FitColumnWidth(int column);
    void FitAllColumnWidths();
    // Visible columns in display order, the label column excluded.
    std::vector<int> VisibleColumnsInOrder() const;
    void SaveColumnState();
    void LoadColumnState();
    // Restores the configuration's default columns.
    void ResetColumnsToDefault();
    // Saves the current columns, makes `profile` active and loads its columns.
    void SwitchProfile(const std::string& profile);
    // The header's context menu (the caller owns it).
    QMenu* CreateHeaderMenu(QWidget* parent);

    // --- focus cell and editing ---

    int FocusRow() const;
    int FocusColumn() const { return m_focusColumn; }
    void SetFocusCell(int row, int column);
    // Starts editing a cell if its column is editable; false when no editor opened.
    bool EditCell(int row, int column);
    CCellEditorText* Editor() const { return m_editor; }
    // Whether the grid or its editor has the keyboard focus.
    bool HasInputFocus() const;
    // Ends an edit in progress, keeping its text; the grid takes the focus.
    void CommitEdit();
    QRect CellRect(int row, int column) const;

    // Copies the selected rows as text: cells of the visible columns in display order
    // separated by tabs, one line per row.
    QString SelectedRowsText() const;

    void SetSearchClock(SearchClock clock) { m_clock = std::move(clock); }
    const QString& SearchText() const { return m_searchText; }

signals:
    // Sent before an editor is shown; setting *refuse closes it without any change.
    void cellEditBegin(int row, int column, bool* refuse);
    // Sent when an edit ends. `text` is null when the edit was discarded or nothing was
    // changed; setting *refuse keeps the old text in the cell.
    void cellEditEnd(int row, int column, const QString* text, bool* refuse);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    friend class CDataGridDelegate;

    struct ColumnInfo {
        int subItemId = 0;
        int defaultWidth = 0;
        std::unique_ptr<CColumnTrait> trait;
    };

    void ApplyCellMargin();
    void OnEditorEnded(CCellEditorText* editor, bool keep);
    void OnSectionResized(int column, int oldSize, int newSize);
    void OnSectionMoved(int column, int oldVisual, int newVisual);
    void MoveFocusColumn(bool forward);
    void IncrementalSearch(QChar typed, bool control);
    int FirstVisibleColumn() const;
    int ContentWidth(int column) const;
    void UpdateFocusCell(int row, int column);
    void CopyToClipboard() const;
    void ApplyWidth(int column, int width);
    // Writes the visible columns, their sub-item ids and widths into `target`.
    void WriteColumns(CColumnConfigSection& target) const;
    // Keeps an open editor over its cell after the columns moved or the view scrolled.
    void PlaceEditor();

    CDataGridModel* m_model;
    std::vector<ColumnInfo> m_columns;
    std::unique_ptr<CColumnConfigProfiles> m_config;
    double m_cellMargin = 1.0;
    int m_focusColumn = -1;
    QPointer<CCellEditorText> m_editor;
    bool m_inDoubleClick = false;
    bool m_adjusting = false;
    bool m_headerDragged = false;  // a divider was dragged since the last save
    SearchClock m_clock;
    QString m_searchText;
    long long m_searchTime = 0;
    int m_searchRow = -1;
    int m_searchColumn = -1;
};

// Draws the focus frame on the focus cell only (the view's current index marks the row).
class CDataGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CDataGridDelegate(CDataGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    CDataGrid* m_grid;
};

}  // namespace velmor
