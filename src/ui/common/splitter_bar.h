// The band between two boxes stacked in one column (the record tables, the interpreter's
// source and output): a vertical-split cursor over it, and a drag with the left button moves
// the border between the boxes. Qt grabs the mouse for the band pressed, so the drag goes on
// outside it.
#pragma once

#include <QWidget>
#include <functional>

namespace velmor {

class CSplitterBar : public QWidget {
public:
    // The band's height, and the least height a drag leaves either box (the lower one this
    // less the band); a column too short for both splits in the middle.
    static constexpr int kThickness = 6;
    static constexpr int kLimit = 36;

    // Called with the upper box's new height and the height both boxes and the band share.
    using Moved = std::function<void(int upperHeight, int total)>;

    // `upper` and `lower` are the boxes above and below the band, siblings of it under
    // `parent`; the owner places all three and lays them out again when `moved` is called.
    CSplitterBar(QWidget* parent, QWidget* upper, QWidget* lower, Moved moved);

    // Moves the border so that the band's middle lies at `y` in the parent's coordinates.
    void DragTo(int y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* m_upper;
    QWidget* m_lower;
    Moved m_moved;
    bool m_dragging = false;
};

}  // namespace velmor
