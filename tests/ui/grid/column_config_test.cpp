// Column layouts kept in the settings file under named profiles.
#include <QHeaderView>
#include <QMenu>

#include "grid_fixture.h"

namespace velmor::test {
namespace {

constexpr const char* kBase = "Profile List UD Initial";

class ColumnConfigTest : public ::testing::Test {
protected:
    std::string Path() const { return dir.File("Velmor.ini"); }
    SettingsFile File() const { return SettingsFile(Path()); }

    // A grid as a window sets one up: columns, profiles, then the configuration.
    std::unique_ptr<GridWindow> NewWindow() {
        auto w = std::make_unique<GridWindow>();
        FillRows(*w->grid, {{"x", "1"}, {"y", "2"}});
        auto config = std::make_unique<CColumnConfigSettingsFile>(File(), kBase);
        config->AddProfile("DefaultUD");
        config->AddProfile("Special");
        w->grid->SetupColumnConfig(std::move(config));
        return w;
    }

    static QAction* FindAction(QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text) return action;
            if (action->menu())
                if (QAction* inner = FindAction(action->menu(), text)) return inner;
        }
        return nullptr;
    }

    TempDir dir;
};

TEST_F(ColumnConfigTest, HidingNameFromTheHeaderMenuIsRememberedByTheNextWindow) {
    {
        auto w = NewWindow();
        std::unique_ptr<QMenu> menu(w->grid->CreateHeaderMenu(nullptr));
        QAction* name = FindAction(menu.get(), "name");
        ASSERT_NE(name, nullptr);
        EXPECT_TRUE(name->isChecked());
        int columnEntries = 0;
        for (QAction* action : menu->actions()) columnEntries += action->isCheckable();
        EXPECT_EQ(columnEntries, 3) << "the label column is never offered";
        name->trigger();
        EXPECT_FALSE(w->grid->IsColumnVisible(kName));
    }
    const std::string section = std::string(kBase) + "__DefaultUD";
    EXPECT_EQ(File().GetString(kBase, "CurrentProfiles", ""), "DefaultUD, Special");
    EXPECT_EQ(File().GetInt(section, "ColumnCount", -1), 2);
    EXPECT_EQ(File().GetInt(section, "ColumnData_1", -1), kData);
    EXPECT_EQ(File().GetInt(section, "ColumnWidth_1", -1), 80);

    auto again = NewWindow();
    EXPECT_EQ(again->grid->VisibleColumnsInOrder(), (std::vector<int>{kType, kData}));
    // Shown again from the menu, with its old width.
    std::unique_ptr<QMenu> menu(again->grid->CreateHeaderMenu(nullptr));
    FindAction(menu.get(), "name")->trigger();
    EXPECT_EQ(again->grid->ColumnWidth(kName), 80);
    EXPECT_EQ(File().GetInt(section, "ColumnCount", -1), 3);
}

TEST_F(ColumnConfigTest, OrderAndAColumnDraggedWiderComeBack) {
    {
        auto w = NewWindow();
        w->Show();
        QHeaderView* header = w->grid->horizontalHeader();
        header->moveSection(header->visualIndex(kData), 1);
        QWidget* target = header->viewport();
        const int divider = header->sectionViewportPosition(kName) + header->sectionSize(kName);
        const int y = header->height() / 2;
        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(divider - 1, y));
        QTest::mouseMove(target, QPoint(divider + 20, y));
        QTest::mouseMove(target, QPoint(divider + 39, y));
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(divider + 39, y));
        QApplication::processEvents();
        EXPECT_EQ(w->grid->ColumnWidth(kName), 120);
    }
    auto again = NewWindow();
    EXPECT_EQ(again->grid->ColumnWidth(kName), 120);
    EXPECT_EQ(again->grid->VisibleColumnsInOrder(), (std::vector<int>{kData, kType, kName}));
}

TEST_F(ColumnConfigTest, AColumnDraggedByItsHeaderComesBackInItsPlace) {
    {
        auto w = NewWindow();
        w->Show();
        QHeaderView* header = w->grid->horizontalHeader();
        QWidget* target = header->viewport();
        const int y = header->height() / 2;
        const QPoint from(header->sectionViewportPosition(kData) + 20, y);
        const QPoint to(header->sectionViewportPosition(kType) + 5, y);
        QTest::mousePress(target, Qt::LeftButton, {}, from);
        QTest::mouseMove(target, from - QPoint(10, 0));
        QTest::mouseMove(target, to);
        QTest::mouseRelease(target, Qt::LeftButton, {}, to);
        QApplication::processEvents();
        ASSERT_EQ(w->grid->VisibleColumnsInOrder(), (std::vector<int>{kData, kType, kName}));
        // Nothing else happens before the window goes: no width drag, no menu, no profile.
    }
    auto again = NewWindow();
    EXPECT_EQ(again->grid->VisibleColumnsInOrder(), (std::vector<int>{kData, kType, kName}));
    EXPECT_EQ(again->grid->horizontalHeader()->logicalIndex(0), 0) << "the label column first";
}

TEST_F(ColumnConfigTest, ProfilesKeepTheirOwnColumns) {
    auto w = NewWindow();
    std::unique_ptr<QMenu> menu(w->grid->CreateHeaderMenu(nullptr));
    QAction* special = FindAction(menu.get(), "Special");
    ASSERT_NE(special, nullptr);
    special->trigger();
    EXPECT_EQ(File().GetString(kBase, "ActiveProfile", ""), "Special");
    // The new profile has no keys yet: the default columns.
    EXPECT_EQ(w->grid->VisibleColumnsInOrder(), (std::vector<int>{kType, kName, kData}));
    w->grid->ShowColumn(kType, false);

    w->grid->SwitchProfile("DefaultUD");
    EXPECT_EQ(w->grid->VisibleColumnsInOrder(), (std::vector<int>{kType, kName, kData}));
    w->grid->SwitchProfile("Special");
    EXPECT_EQ(w->grid->VisibleColumnsInOrder(), (std::vector<int>{kName, kData}));

    // "Reset" brings back the columns as inserted, in the active profile.
    menu.reset(w->grid->CreateHeaderMenu(nullptr));
    QAction* reset = FindAction(menu.get(), QStringLiteral("リセット 列(縦)"));
    ASSERT_NE(reset, nullptr);
    reset->trigger();
    EXPECT_EQ(w->grid->VisibleColumnsInOrder(), (std::vector<int>{kType, kName, kData}));
    EXPECT_EQ(File().GetInt(std::string(kBase) + "__Special", "ColumnCount", -1), 3);
}

TEST_F(ColumnConfigTest, DamagedSettingsNeverBreakTheTable) {
    SettingsFile file = File();
    const std::string section = std::string(kBase) + "__DefaultUD";
    file.WriteString(kBase, "CurrentProfiles", ", DefaultUD,,DefaultUD , Special,");
    file.WriteString(section, "ColumnCount", "2000000000");
    file.WriteString(section, "ColumnData_0", "3");
    file.WriteString(section, "ColumnWidth_0", "-40");
    file.WriteString(section, "ColumnData_1", "3");    // the same column again
    file.WriteString(section, "ColumnData_2", "0");    // the label column
    file.WriteString(section, "ColumnData_3", "77");   // no such column
    file.WriteString(section, "ColumnData_4", "two");  // no number
    file.WriteString(section, "ColumnData_5", "1");
    file.WriteString(section, "ColumnWidth_5", "99999999");
    auto w = NewWindow();
    EXPECT_EQ(w->grid->VisibleColumnsInOrder(), (std::vector<int>{kData, kType}));
    EXPECT_EQ(w->grid->ColumnWidth(kData), 80) << "a width that is no width takes the default";
    EXPECT_EQ(w->grid->ColumnWidth(kType), 60);
    EXPECT_EQ(w->grid->ColumnConfig()->Profiles(),
              (std::vector<std::string>{"DefaultUD", "Special"}));
}

TEST_F(ColumnConfigTest, TheLastVisibleColumnStaysAndMissingKeysTakeTheDefaults) {
    auto w = NewWindow();
    w->grid->ShowColumn(kType, false);
    w->grid->ShowColumn(kName, false);
    std::unique_ptr<QMenu> menu(w->grid->CreateHeaderMenu(nullptr));
    EXPECT_FALSE(FindAction(menu.get(), "data")->isEnabled());
    w->grid->ShowColumn(kData, false);
    EXPECT_EQ(w->grid->VisibleColumnsInOrder(), (std::vector<int>{kData}));

    // A stored configuration without columns shows them all; one without a column's width
    // takes the default configuration's width at that position (60).
    const std::string section = std::string(kBase) + "__DefaultUD";
    File().WriteInt(section, "ColumnCount", 0);
    EXPECT_EQ(NewWindow()->grid->VisibleColumnsInOrder(), (std::vector<int>{kType, kName, kData}));
    WriteFile(Path(), "[" + section + "]\nColumnCount=1\nColumnData_0=2\n");
    auto again = NewWindow();
    EXPECT_EQ(again->grid->VisibleColumnsInOrder(), (std::vector<int>{kName}));
    EXPECT_EQ(again->grid->ColumnWidth(kName), 60);
}

}  // namespace
}  // namespace velmor::test
