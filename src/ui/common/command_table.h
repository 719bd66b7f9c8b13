// The command table every window keeps: one row per command with its menu item, its button and
// what it does. The menus, the toolbar and the push buttons are built from the table, and a
// command runs by its id whichever of them sent it.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <vector>

class QAction;
class QMenuBar;
class QPushButton;
class QToolBar;
class QWidget;

namespace velmor {

// How a command's menu item looks (the bits combine).
enum CommandItemStyle : unsigned {
    kItemPlain = 0,
    kItemSeparatorBefore = 1,  // a separator above the item
    kItemCheck = 2,            // a check item
};

template <class Window>
struct CommandRow {
    int id;
    // The menu ("File", a submenu after '/': "Mouse/Pick  (M Button)") and the item's text; no
    // menu item when the menu is null.
    const char* menu;
    const char* text;
    unsigned style;
    // The command's button: its place among the window's toolbar or push buttons (1, 2, ...;
    // 0 for none) and its text.
    int button;
    const char* buttonText;
    // What the command does; null for a command that does nothing.
    void (*run)(Window& window);
    // A check item's switch: its mark shows it, and the command turns it before `run`. Null for
    // a check item whose mark is the state itself.
    bool Window::*flag = nullptr;
    const char* shortcut = nullptr;  // e.g. "Ctrl+R"
};

// Controls by command id.
using CommandActions = std::map<int, QAction*>;
using CommandButtons = std::map<int, QPushButton*>;
// Runs the command of that id.
using CommandTrigger = std::function<void(int id)>;

// A row without what it does, with its check mark as the window starts.
struct CommandItem {
    int id;
    const char* menu;
    const char* text;
    unsigned style;
    int button;
    const char* buttonText;
    const char* shortcut;
    bool checked;
};

// The menu items of the rows with a menu, in table order; a menu or submenu is added where it
// is first named.
CommandActions AddCommandMenus(QMenuBar* bar, const std::vector<CommandItem>& items,
                               const CommandTrigger& trigger);
// A toolbar button for every row with a button, in the order of their places.
CommandActions AddCommandToolbar(QToolBar* toolbar, const std::vector<CommandItem>& items,
                                 const CommandTrigger& trigger);
// A push button on `parent` for every row with a button, in the order of their places; the
// window places them.
CommandButtons AddCommandButtons(QWidget* parent, const std::vector<CommandItem>& items,
                                 const CommandTrigger& trigger);

template <class Window, std::size_t N>
std::vector<CommandItem> CommandItems(const Window& window, const CommandRow<Window> (&rows)[N]) {
    std::vector<CommandItem> items;
    for (const CommandRow<Window>& row : rows)
        items.push_back({row.id, row.menu, row.text, row.style, row.button, row.buttonText,
                         row.shortcut, row.flag != nullptr && window.*row.flag});
    return items;
}

template <class Window, std::size_t N>
CommandActions BuildCommandMenus(QMenuBar* bar, const Window& window,
                                 const CommandRow<Window> (&rows)[N],
                                 const CommandTrigger& trigger) {
    return AddCommandMenus(bar, CommandItems(window, rows), trigger);
}

template <class Window, std::size_t N>
CommandActions BuildCommandToolbar(QToolBar* toolbar, const Window& window,
                                   const CommandRow<Window> (&rows)[N],
                                   const CommandTrigger& trigger) {
    return AddCommandToolbar(toolbar, CommandItems(window, rows), trigger);
}

template <class Window, std::size_t N>
CommandButtons BuildCommandButtons(QWidget* parent, const Window& window,
                                   const CommandRow<Window> (&rows)[N],
                                   const CommandTrigger& trigger) {
    return AddCommandButtons(parent, CommandItems(window, rows), trigger);
}

// Sets the check mark of the command's menu item, if it has one.
void SetCommandChecked(const CommandActions& menuItems, int id, bool on);

// Runs the command `id` on `window`: a switch turns first and the mark of its item in
// `menuItems` follows. False when no row has that id.
template <class Window, std::size_t N>
bool RunCommandRow(Window& window, const CommandRow<Window> (&rows)[N], int id,
                   const CommandActions& menuItems) {
    for (const CommandRow<Window>& row : rows) {
        if (row.id != id) continue;
        if (row.flag != nullptr) {
            bool& on = window.*row.flag;
            on = !on;
            SetCommandChecked(menuItems, id, on);
        }
        if (row.run != nullptr) row.run(window);
        return true;
    }
    return false;
}

}  // namespace velmor
