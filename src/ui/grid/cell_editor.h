#pragma once

#include <QLineEdit>

namespace velmor {

// The in-place cell editor: a one-line edit box laid over one cell of a data grid. It ends
// itself exactly once: Return and losing the focus keep the text, Escape discards it; Tab, Up,
// Down, PageUp, PageDown and the mouse wheel keep it and then pass the key or the wheel on to
// the grid.
class CCellEditorText : public QLineEdit {
    Q_OBJECT
public:
    // `parent` is the widget the editor lies on (the grid's viewport); `grid` receives the keys
    // that end an edit.
    CCellEditorText(QWidget* parent, QWidget* grid, int row, int column, const QString& text);

    int Row() const { return m_row; }
    int Column() const { return m_column; }
    bool Modified() const { return m_modified; }

    // Ends the edit (once); `keep` false discards the text.
    void EndEdit(bool keep);

signals:
    // Sent once, when the edit ends. `keep` is false when the text is discarded.
    void editEnded(velmor::CCellEditorText* editor, bool keep);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QWidget* m_grid;
    int m_row;
    int m_column;
    bool m_ending = false;
    bool m_modified = false;  // set by any change after the initial text
};

}  // namespace velmor
