#include "core/app/app_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_dir.h"

namespace velmor {
namespace {

TEST(AppPathsTest, SettingsBesideTheExecutableWhenWritableElseInTheConfigDirectory) {
    EXPECT_EQ(ExecutableDirectory(), std::string(VELMOR_BIN_DIR) + "/");
    EXPECT_EQ(ApplicationPaths().settingsPath, ExecutableDirectory() + "Velmor.ini");
    test::TempDir dir;
    const std::string config = dir.File("home/.config");
    EXPECT_EQ(ChooseSettingsPath(dir.Path(), config), dir.Path() + "/Velmor.ini");
    EXPECT_FALSE(std::filesystem::exists(config));
    EXPECT_EQ(ChooseSettingsPath(dir.File("no/such/dir/"), config), config + "/Velmor/Velmor.ini");
    EXPECT_TRUE(std::filesystem::is_directory(config + "/Velmor"));
    // A file is no directory to write into either.
    test::WriteFile(dir.File("plain"), "x");
    EXPECT_EQ(ChooseSettingsPath(dir.File("plain") + "/", config), config + "/Velmor/Velmor.ini");
}

}  // namespace
}  // namespace velmor
