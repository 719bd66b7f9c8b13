// The multi-line edit box of the Interpreter window: the Tab key inserts a tab character
// instead of moving the focus (Ctrl+Tab is left alone and goes on to the window), a
// monospaced font 16 pixels high, 4-pixel margins, a tab stop every 16 dialog units, Return
// breaks the line, and the selection stays visible when the box loses the focus.
#pragma once

#include <QPlainTextEdit>

namespace velmor {

class CTabEdit : public QPlainTextEdit {
public:
    explicit CTabEdit(QWidget* parent = nullptr);

    // The font of both boxes and of the insert list.
    static QFont EditFont();

protected:
    bool event(QEvent* event) override;
};

}  // namespace velmor
