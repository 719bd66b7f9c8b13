#include "ui/app/window_settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "core/app/settings_file.h"
#include "ui/common/window_fit.h"

namespace velmor {

namespace {

// Moves a window to `topLeft`, keeping its size.
void MoveWindow(QWidget* window, QPoint topLeft) {
    window->setGeometry(QRect(topLeft, window->size()));
}

void ApplyStored(QWidget* window, const StoredRect& stored) {
    window->setGeometry(
        QRect(QPoint(stored.left, stored.top), QPoint(stored.right - 1, stored.bottom - 1)));
}

// A stored VISIBLE value as the window's show state: 0 hides, anything else shows.
void ApplyVisible(const PlacedWindow& window, int visible) {
    QWidget* widget = window.widget;
    if (!widget) return;
    if (visible == 0)
        widget->hide();
    else
        widget->showNormal();
}

int ReadVisible(const SettingsFile& settings, const char* section, int fallback = 1) {
    return settings.GetInt(section, kKeyVisible, fallback);
}

void SaveSecondary(SettingsFile& settings, const char* section, const PlacedWindow& window) {
    const QWidget* widget = window.widget;
    if (!widget) return;
    const int visible = widget->isMinimized() ? 0 : (widget->isVisible() ? 1 : 0);
    settings.WriteInt(section, kKeyVisible, visible);
    WriteStoredRect(settings, section, RestoredRect(widget));
}

}  // namespace

StoredRect ReadStoredRect(const SettingsFile& settings, const char* section) {
    StoredRect rect;
    rect.left = settings.GetInt(section, kKeyNormLeft, 0);
    rect.top = settings.GetInt(section, kKeyNormTop, 0);
    rect.right = settings.GetInt(section, kKeyNormRight, 0);
    rect.bottom = settings.GetInt(section, kKeyNormBottom, 0);
    return rect;
}

void WriteStoredRect(SettingsFile& settings, const char* section, const QRect& rect) {
    settings.WriteInt(section, kKeyNormLeft, rect.left());
    settings.WriteInt(section, kKeyNormTop, rect.top());
    settings.WriteInt(section, kKeyNormRight, rect.left() + rect.width());
    settings.WriteInt(section, kKeyNormBottom, rect.top() + rect.height());
}

QRect RestoredRect(const QWidget* window) {
    const QRect normal = window->normalGeometry();
    return normal.isValid() ? normal : window->geometry();
}

void LoadWindowSettings(const SettingsFile& settings, const PlacedWindows& windows,
                        const QRect& desktop) {
    QWidget* main = windows.main.widget;
    // 1. Centre the main window on the desktop (exclusive right and bottom), unless a stored
    //    rectangle places it.
    const int desktopRight = desktop.left() + desktop.width();
    const int desktopBottom = desktop.top() + desktop.height();
    const int x0 = (desktop.left() + desktopRight) / 2 - main->width() / 2;
    const int y0 = (desktop.top() + desktopBottom) / 2 - main->height() / 2;
    MoveWindow(main, QPoint(x0, y0));
    const StoredRect mainRect = ReadStoredRect(settings, kSectionWindowMain);
    if (!mainRect.Empty()) ApplyStored(main, mainRect);
    main->show();
    main->raise();
    if (windows.main.layout) windows.main.layout();

    // 2. Stored rectangles place the secondary windows unless they are empty.
    const std::pair<const PlacedWindow*, const char*> secondary[] = {
        {&windows.interpreter, kSectionWindowInterpreter},
        {&windows.shading3d, kSectionWindow3D},
        {&windows.udFdInitial, kSectionWindowUdFdInitial},
        {&windows.udFdFinal, kSectionWindowUdFdFinal},
        {&windows.libraryOutput, kSectionWindowLibraryOutput}};
    std::vector<QRect> taken;
    std::vector<const PlacedWindow*> unplaced;
    std::vector<QSize> sizes;
    std::vector<QPoint> cascade;  // each one 48 right and 24 up from the last, as a last resort
    for (int i = 0; i < 5; ++i) {
        const PlacedWindow* window = secondary[i].first;
        if (!window->widget) continue;
        const StoredRect rect = ReadStoredRect(settings, secondary[i].second);
        if (!rect.Empty()) {
            ApplyStored(window->widget, rect);
            taken.push_back(window->widget->geometry());
        } else {
            unplaced.push_back(window);
            sizes.push_back(window->widget->size());
            cascade.push_back(QPoint(48 * (i + 1), -24 * (i + 1)));
        }
    }

    // 3. The others beside the main window where the desktop has room (to its right, then
    //    below it), none behind another; at the first start the main window moves to the
    //    desktop's top-left corner when that leaves room for more of them.
    if (!unplaced.empty()) {
        const auto count = [](const std::vector<QRect>& rects) {
            return std::count_if(rects.begin(), rects.end(),
                                 [](const QRect& r) { return !r.isNull(); });
        };
        std::vector<QRect> placed = PlaceBeside(main->geometry(), sizes, desktop, taken);
        if (mainRect.Empty() && count(placed) < static_cast<long>(placed.size())) {
            const QRect corner(desktop.topLeft() + QPoint(0, kTitleAllowance), main->size());
            std::vector<QRect> again = PlaceBeside(corner, sizes, desktop, taken);
            if (count(again) > count(placed)) {
                main->setGeometry(corner);
                if (windows.main.layout) windows.main.layout();
                placed = std::move(again);
            }
        }
        const QPoint origin = main->geometry().topLeft();
        for (std::size_t k = 0; k < unplaced.size(); ++k) {
            QWidget* widget = unplaced[k]->widget;
            const QRect rect = !placed[k].isNull()
                                   ? placed[k]
                                   : FitIntoArea(QRect(origin + cascade[k], widget->size()),
                                                 widget->minimumSize(), desktop);
            widget->setGeometry(rect);
            widget->update();
        }
    }
    for (const auto& [window, section] : secondary) {
        if (window->widget && window->layout) window->layout();
    }

    // 4. Visibility.
    ApplyVisible(windows.shading3d, ReadVisible(settings, kSectionWindow3D));
    ApplyVisible(windows.udFdInitial, ReadVisible(settings, kSectionWindowUdFdInitial));
    ApplyVisible(windows.udFdFinal, ReadVisible(settings, kSectionWindowUdFdFinal));
    ApplyVisible(windows.interpreter, ReadVisible(settings, kSectionWindowInterpreter));
    ApplyVisible(windows.libraryOutput, ReadVisible(settings, kSectionWindowLibraryOutput, 0));
}

void LoadWindowSettings(const SettingsFile& settings, const PlacedWindows& windows) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    LoadWindowSettings(settings, windows,
                       screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768));
}

void SaveWindowSettings(SettingsFile& settings, const PlacedWindows& windows) {
    WriteStoredRect(settings, kSectionWindowMain, RestoredRect(windows.main.widget));
    SaveSecondary(settings, kSectionWindow3D, windows.shading3d);
    SaveSecondary(settings, kSectionWindowUdFdInitial, windows.udFdInitial);
    SaveSecondary(settings, kSectionWindowUdFdFinal, windows.udFdFinal);
    SaveSecondary(settings, kSectionWindowInterpreter, windows.interpreter);
    SaveSecondary(settings, kSectionWindowLibraryOutput, windows.libraryOutput);
}

}  // namespace velmor
