// Column traits of the data grid: each column has one, and it decides how the column's cells
// are shown and whether and how they are edited. The trait also keeps the column's state
// (visible, resizable, width limits, the width to restore when a hidden column is shown).
#pragma once

#include <QString>

namespace velmor {

class CDataGrid;
class CCellEditorText;

struct ColumnState {
    bool resizable = true;
    bool alwaysHidden = false;  // never shown, never offered in the header menu
    int minWidth = -1;          // negative: no limit
    int maxWidth = -1;          // negative: no limit
    int restoreWidth = -1;      // width given back when a hidden column is shown again
};

class CColumnTrait {
public:
    virtual ~CColumnTrait() = default;

    ColumnState& State() { return m_state; }
    const ColumnState& State() const { return m_state; }

    // A read-only cell never gets an editor.
    virtual bool IsCellReadOnly(const CDataGrid& grid, int row, int column) const;
    // Whether a single left click (no Ctrl, no Shift) starts an edit. `isFocusCell` says that
    // the clicked cell already was the focus cell before the click.
    virtual bool OnClickEditStart(const CDataGrid& grid, int row, int column, bool isFocusCell,
                                  bool doubleClick) const;
    // Creates the in-place editor over the cell, or nullptr when the column has none.
    virtual CCellEditorText* CreateEditor(CDataGrid& grid, int row, int column);

private:
    ColumnState m_state;
};

// Read-only text.
class CColumnTraitText : public CColumnTrait {};

// Text edited in place in a one-line edit box, with a border. A single click starts an edit
// only at the cell that already has the focus.
class CColumnTraitEdit : public CColumnTraitText {
public:
    bool IsCellReadOnly(const CDataGrid& grid, int row, int column) const override;
    bool OnClickEditStart(const CDataGrid& grid, int row, int column, bool isFocusCell,
                          bool doubleClick) const override;
    CCellEditorText* CreateEditor(CDataGrid& grid, int row, int column) override;
};

}  // namespace velmor
