#include "ui/common/window_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace velmor {

namespace {

// A client rectangle with its title bar above.
QRect Frame(const QRect& client) {
    return client.adjusted(0, -kTitleAllowance, 0, 0);
}

// The window would lie within the area, its frame clear of the others' frames by the gap.
bool Free(const QRect& client, const QRect& area, const std::vector<QRect>& occupied) {
    const QRect frame = Frame(client);
    if (!area.contains(frame)) return false;
    return std::none_of(occupied.begin(), occupied.end(), [&](const QRect& other) {
        return Frame(other)
            .adjusted(-kWindowGap, -kWindowGap, kWindowGap, kWindowGap)
            .intersects(frame);
    });
}

}  // namespace

QRect AvailableScreenArea(const QWidget* window) {
    const QScreen* screen = window != nullptr ? window->screen() : nullptr;
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QRect FitIntoArea(const QRect& rect, const QSize& minimum, const QRect& area) {
    const int roomWidth = area.width(), roomHeight = area.height() - kTitleAllowance;
    QRect fitted = rect;
    fitted.setWidth(std::max(std::min(rect.width(), roomWidth), minimum.width()));
    fitted.setHeight(std::max(std::min(rect.height(), roomHeight), minimum.height()));
    // The right and bottom edges in first, then the left and top ones (which win when the window
    // cannot shrink enough: its title bar and close box stay reachable).
    int x = std::min(fitted.left(), area.left() + area.width() - fitted.width());
    int y = std::min(fitted.top(), area.top() + area.height() - fitted.height());
    x = std::max(x, area.left());
    y = std::max(y, area.top() + kTitleAllowance);
    fitted.moveTopLeft(QPoint(x, y));
    return fitted;
}

void KeepInsideScreen(QWidget* window) {
    const QRect fitted =
        FitIntoArea(window->geometry(), window->minimumSize(), AvailableScreenArea(window));
    if (fitted != window->geometry()) window->setGeometry(fitted);
}

std::vector<QRect> PlaceBeside(const QRect& main, const std::vector<QSize>& sizes,
                               const QRect& area, const std::vector<QRect>& taken) {
    std::vector<QRect> occupied = taken;
    occupied.push_back(main);
    std::vector<QRect> placed;
    std::vector<QRect> done;  // the windows placed so far, main first
    done.push_back(main);
    for (const QSize& size : sizes) {
        // Candidates: to the right of a window placed (the main one first) at its top, and below
        // one at its left; the ones right of the main window first, by column, then the ones
        // below it, by row.
        std::vector<QPoint> right, below;
        for (const QRect& r : done) {
            const QPoint besideIt(r.right() + 1 + kWindowGap, r.top());
            const QPoint underIt(r.left(), r.bottom() + 1 + kWindowGap + kTitleAllowance);
            for (const QPoint& p : {besideIt, underIt}) {
                if (p.x() > main.right())
                    right.push_back(QPoint(p.x(), std::max(p.y(), main.top())));
                else if (p.y() > main.bottom())
                    below.push_back(QPoint(std::max(p.x(), main.left()), p.y()));
            }
        }
        std::sort(right.begin(), right.end(), [](const QPoint& a, const QPoint& b) {
            return a.x() != b.x() ? a.x() < b.x() : a.y() < b.y();
        });
        std::sort(below.begin(), below.end(), [](const QPoint& a, const QPoint& b) {
            return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x();
        });
        QRect chosen;
        for (const std::vector<QPoint>* candidates : {&right, &below}) {
            for (const QPoint& p : *candidates) {
                const QRect client(p, size);
                if (Free(client, area, occupied)) {
                    chosen = client;
                    break;
                }
            }
            if (!chosen.isNull()) break;
        }
        placed.push_back(chosen);
        if (!chosen.isNull()) {
            occupied.push_back(chosen);
            done.push_back(chosen);
        }
    }
    return placed;
}

}  // namespace velmor
