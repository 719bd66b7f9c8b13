#include "ui/common/command_table.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QString>
#include <QToolBar>
#include <algorithm>

namespace velmor {

namespace {

// The rows with a button, in the order of their places.
std::vector<const CommandItem*> ButtonRows(const std::vector<CommandItem>& items) {
    std::vector<const CommandItem*> rows;
    for (const CommandItem& item : items)
        if (item.button > 0) rows.push_back(&item);
    std::stable_sort(rows.begin(), rows.end(), [](const CommandItem* a, const CommandItem* b) {
        return a->button < b->button;
    });
    return rows;
}

}  // namespace

CommandActions AddCommandMenus(QMenuBar* bar, const std::vector<CommandItem>& items,
                               const CommandTrigger& trigger) {
    CommandActions actions;
    std::map<QString, QMenu*> menus;  // by path
    for (const CommandItem& item : items) {
        if (item.menu == nullptr) continue;
        QMenu* menu = nullptr;
        QString path;
        for (const QString& name : QString::fromLatin1(item.menu).split(QLatin1Char('/'))) {
            path += QLatin1Char('/') + name;
            QMenu*& known = menus[path];
            if (known == nullptr) known = menu ? menu->addMenu(name) : bar->addMenu(name);
            menu = known;
        }
        if (item.style & kItemSeparatorBefore) menu->addSeparator();
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setCheckable(item.style & kItemCheck);
        if (item.checked) action->setChecked(true);
        if (item.shortcut != nullptr)
            action->setShortcut(QKeySequence(QLatin1String(item.shortcut)));
        action->setData(item.id);
        const int id = item.id;
        QObject::connect(action, &QAction::triggered, action, [trigger, id] { trigger(id); });
        actions[id] = action;
    }
    return actions;
}

CommandActions AddCommandToolbar(QToolBar* toolbar, const std::vector<CommandItem>& items,
                                 const CommandTrigger& trigger) {
    CommandActions actions;
    for (const CommandItem* item : ButtonRows(items)) {
        QAction* action = toolbar->addAction(QString::fromLatin1(item->buttonText));
        action->setData(item->id);
        const int id = item->id;
        QObject::connect(action, &QAction::triggered, action, [trigger, id] { trigger(id); });
        actions[id] = action;
    }
    return actions;
}

CommandButtons AddCommandButtons(QWidget* parent, const std::vector<CommandItem>& items,
                                 const CommandTrigger& trigger) {
    CommandButtons buttons;
    for (const CommandItem* item : ButtonRows(items)) {
        auto* button = new QPushButton(QString::fromLatin1(item->buttonText), parent);
        const int id = item->id;
        QObject::connect(button, &QPushButton::clicked, button, [trigger, id] { trigger(id); });
        buttons[id] = button;
    }
    return buttons;
}

void SetCommandChecked(const CommandActions& menuItems, int id, bool on) {
    const auto it = menuItems.find(id);
    if (it != menuItems.end()) it->second->setChecked(on);
}

}  // namespace velmor
