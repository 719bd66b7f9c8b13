#include "ui/common/splitter_bar.h"

#include <QMouseEvent>
#include <algorithm>

namespace velmor {

CSplitterBar::CSplitterBar(QWidget* parent, QWidget* upper, QWidget* lower, Moved moved)
    : QWidget(parent), m_upper(upper), m_lower(lower), m_moved(std::move(moved)) {
    setCursor(Qt::SplitVCursor);
}

void CSplitterBar::DragTo(int y) {
    const int top = m_upper->geometry().top();
    const int total = m_lower->geometry().bottom() + 1 - top;
    if (total <= 0) return;
    int upper = y - top - height() / 2;
    if (total - kLimit < kLimit)
        upper = total / 2;
    else
        upper = std::clamp(upper, kLimit, total - kLimit);
    m_moved(upper, total);
}

void CSplitterBar::mousePressEvent(QMouseEvent* event) {
    // The press grabs the mouse until the release.
    if (event->button() == Qt::LeftButton) m_dragging = true;
}

void CSplitterBar::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        DragTo(mapToParent(event->position().toPoint()).y());
}

void CSplitterBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_dragging = false;
}

}  // namespace velmor
