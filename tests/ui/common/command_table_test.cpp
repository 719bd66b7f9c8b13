// The menus, toolbar and buttons built from a command table, and a command run by its id.
#include "ui/common/command_table.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>

namespace velmor {
namespace {

struct TableWindow {
    bool grid = true;
    QStringList ran;
    static const CommandRow<TableWindow> kRows[];
};

const CommandRow<TableWindow> TableWindow::kRows[] = {
    {1, "File", "Open", kItemPlain, 2, "open", [](TableWindow& w) { w.ran << "open"; }},
    {2, "File", "Quit", kItemSeparatorBefore, 0, nullptr, nullptr, nullptr, "Ctrl+Q"},
    {3, "View/Show", "Grid", kItemCheck, 0, nullptr, [](TableWindow& w) { w.ran << "grid"; },
     &TableWindow::grid},
    {4, "View", "Plain", kItemPlain, 0, nullptr, nullptr},
    {5, nullptr, nullptr, kItemPlain, 1, "first", [](TableWindow& w) { w.ran << "first"; }},
};

QStringList Texts(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* action : actions) texts << (action->isSeparator() ? "-" : action->text());
    return texts;
}

TEST(CommandTableTest, MenusToolbarAndButtonsFollowTheTableAndRunByTheirIds) {
    TableWindow window;
    QMainWindow frame;
    QList<int> triggered;
    const CommandTrigger trigger = [&](int id) {
        triggered << id;
        RunCommandRow(window, TableWindow::kRows, id, {});
    };
    const CommandActions items =
        BuildCommandMenus(frame.menuBar(), window, TableWindow::kRows, trigger);

    // Menus where first named, a submenu by its path, the separator above its item.
    EXPECT_EQ(Texts(frame.menuBar()->actions()), QStringList({"File", "View"}));
    const QList<QAction*> file = frame.menuBar()->actions()[0]->menu()->actions();
    EXPECT_EQ(Texts(file), QStringList({"Open", "-", "Quit"}));
    EXPECT_EQ(items.at(2)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    const QList<QAction*> view = frame.menuBar()->actions()[1]->menu()->actions();
    ASSERT_EQ(Texts(view), QStringList({"Show", "Plain"}));
    EXPECT_EQ(Texts(view[0]->menu()->actions()), QStringList({"Grid"}));
    EXPECT_EQ(items.size(), 4u);  // the row without a menu has no item

    // A switch's item starts with its mark; running it turns the switch, then runs.
    QAction* grid = items.at(3);
    EXPECT_TRUE(grid->isCheckable() && grid->isChecked());
    EXPECT_FALSE(items.at(1)->isCheckable());
    EXPECT_TRUE(RunCommandRow(window, TableWindow::kRows, 3, items));
    EXPECT_FALSE(window.grid);
    EXPECT_FALSE(grid->isChecked());
    EXPECT_EQ(window.ran, QStringList({"grid"}));
    EXPECT_FALSE(RunCommandRow(window, TableWindow::kRows, 99, items));
    EXPECT_TRUE(RunCommandRow(window, TableWindow::kRows, 4, items));  // does nothing

    // Toolbar buttons and push buttons in the order of their places; each sends its id.
    QToolBar toolbar;
    const CommandActions buttons =
        BuildCommandToolbar(&toolbar, window, TableWindow::kRows, trigger);
    EXPECT_EQ(Texts(toolbar.actions()), QStringList({"first", "open"}));
    QWidget parent;
    const CommandButtons pushButtons =
        BuildCommandButtons(&parent, window, TableWindow::kRows, trigger);
    ASSERT_EQ(pushButtons.size(), 2u);
    EXPECT_EQ(parent.findChildren<QPushButton*>().front(), pushButtons.at(5));
    buttons.at(1)->trigger();
    pushButtons.at(5)->click();
    file[0]->trigger();
    EXPECT_EQ(triggered, QList<int>({1, 5, 1}));
    EXPECT_EQ(window.ran, QStringList({"grid", "open", "first", "open"}));
}

}  // namespace
}  // namespace velmor
