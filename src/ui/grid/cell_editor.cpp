#include "ui/grid/cell_editor.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWheelEvent>

namespace velmor {

CCellEditorText::CCellEditorText(QWidget* parent, QWidget* grid, int row, int column,
                                 const QString& text)
    : QLineEdit(parent), m_grid(grid), m_row(row), m_column(column) {
    setText(text);
    selectAll();
    // Connected after the initial text went in, so that only the user's changes count.
    connect(this, &QLineEdit::textChanged, this, [this] { m_modified = true; });
}

void CCellEditorText::EndEdit(bool keep) {
    if (m_ending) return;
    m_ending = true;
    emit editEnded(this, keep);
}

namespace {

// Keys that end an edit keeping its text and then act on the grid: Tab, and the keys that move
// the grid's rows (the editor would otherwise stay open over a row out of sight while the
// grid's selection moves on).
bool EndsEditForGrid(int key) {
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool CCellEditorText::event(QEvent* event) {
    // Tab would otherwise move the focus before keyPressEvent sees it.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (EndsEditForGrid(key->key())) {
            QPointer<QWidget> grid = m_grid;
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
            EndEdit(true);
            if (grid) QApplication::sendEvent(grid, &copy);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CCellEditorText::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            EndEdit(true);
            event->accept();
            return;
        case Qt::Key_Escape:
            EndEdit(false);
            event->accept();
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void CCellEditorText::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The edit box's own context menu takes the focus only for a moment.
    if (event->reason() != Qt::PopupFocusReason) EndEdit(true);
}

void CCellEditorText::wheelEvent(QWheelEvent* event) {
    QPointer<QWidget> target = parentWidget();
    QWheelEvent copy(mapToParent(event->position()), event->globalPosition(), event->pixelDelta(),
                     event->angleDelta(), event->buttons(), event->modifiers(), event->phase(),
                     event->inverted(), event->source());
    EndEdit(true);
    event->accept();
    if (target) QApplication::sendEvent(target, &copy);
}

}  // namespace velmor
