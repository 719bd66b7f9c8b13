#include "ui/grid/column_trait.h"

#include <QHeaderView>

#include "ui/grid/data_grid.h"

namespace velmor {

bool CColumnTrait::IsCellReadOnly(const CDataGrid&, int, int) const {
    return true;
}

bool CColumnTrait::OnClickEditStart(const CDataGrid&, int, int, bool, bool) const {
    return false;
}

CCellEditorText* CColumnTrait::CreateEditor(CDataGrid&, int, int) {
    return nullptr;
}

bool CColumnTraitEdit::IsCellReadOnly(const CDataGrid&, int, int) const {
    return false;
}

bool CColumnTraitEdit::OnClickEditStart(const CDataGrid&, int, int, bool isFocusCell,
                                        bool doubleClick) const {
    return !doubleClick && isFocusCell;
}

CCellEditorText* CColumnTraitEdit::CreateEditor(CDataGrid& grid, int row, int column) {
    auto* editor =
        new CCellEditorText(grid.viewport(), &grid, row, column, grid.GetItemText(row, column));
    editor->setFont(grid.font());
    editor->setTextMargins(1, 0, 1, 0);
    // Aligned like the column's header: centred or right-aligned when the header is.
    Qt::Alignment header = Qt::Alignment(
        grid.model()->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt());
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (header & Qt::AlignHCenter) horizontal = Qt::AlignHCenter;
    if (header & Qt::AlignRight) horizontal = Qt::AlignRight;
    editor->setAlignment(horizontal | Qt::AlignVCenter);
    editor->setGeometry(grid.CellRect(row, column));
    return editor;
}

}  // namespace velmor
