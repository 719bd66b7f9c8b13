#include "ui/interp/tab_edit.h"

#include <QKeyEvent>
#include <QPalette>
#include <QTextCursor>

namespace velmor {

namespace {

constexpr int kFontPixels = 16;
constexpr int kMarginPixels = 4;
// 16 dialog units at 1.5 pixels per horizontal unit.
constexpr int kTabStopPixels = 16 * 3 / 2;

}  // namespace

QFont CTabEdit::EditFont() {
    // "Courier New" where it is installed, else a monospaced face every Linux machine has
    // (left to itself, fontconfig may substitute a face Qt does not take for fixed pitch).
    QFont font;
    font.setFamilies({"Courier New", "DejaVu Sans Mono", "Liberation Mono", "monospace"});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(kFontPixels);
    font.setWeight(QFont::Normal);
    return font;
}

CTabEdit::CTabEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setFont(EditFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(false);
    setTabStopDistance(kTabStopPixels);
    document()->setDocumentMargin(kMarginPixels);
    // The selection keeps its colours while another control has the focus.
    QPalette colours = palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(colours);
}

bool CTabEdit::event(QEvent* event) {
    // Taken before the focus chain sees it: a plain Tab is text here.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_Tab && mods == Qt::NoModifier && !isReadOnly()) {
            QTextCursor cursor = textCursor();
            cursor.insertText(QStringLiteral("\t"));
            setTextCursor(cursor);
            ensureCursorVisible();
            key->accept();
            return true;
        }
    }
    return QPlainTextEdit::event(event);
}

}  // namespace velmor
