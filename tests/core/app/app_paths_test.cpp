#include "app/app_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "temp_dir.h"

namespace velmor {
namespace {

using test::TempDir;

TEST(AppPathsTest, ExecutableDirectoryEndsWithSlash) {
    const std::string directory = ExecutableDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '/');
    EXPECT_EQ(directory, std::string(VELMOR_BIN_DIR) + "/");
    EXPECT_TRUE(std::filesystem::exists(directory + "test_core_app"));
}

TEST(AppPathsTest, SettingsBesideTheExecutableWhenWritable) {
    TempDir dir;
    EXPECT_EQ(ChooseSettingsPath(dir.Path() + "/", dir.File("config")), dir.Path() + "/Velmor.ini");
    EXPECT_EQ(ChooseSettingsPath(dir.Path(), dir.File("config")), dir.Path() + "/Velmor.ini");
    EXPECT_FALSE(std::filesystem::exists(dir.File("config")));
}

TEST(AppPathsTest, SettingsInTheConfigDirectoryOtherwise) {
    TempDir dir;
    const std::string config = dir.File("home/.config");
    EXPECT_EQ(ChooseSettingsPath(dir.File("no/such/dir/"), config), config + "/Velmor/Velmor.ini");
    EXPECT_TRUE(std::filesystem::is_directory(config + "/Velmor"));
    // A file is no directory to write into either.
    test::WriteText(dir.File("plain"), "x");
    EXPECT_EQ(ChooseSettingsPath(dir.File("plain") + "/", config), config + "/Velmor/Velmor.ini");
}

TEST(AppPathsTest, ConfigDirectoryFollowsTheEnvironment) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string config = savedConfig ? savedConfig : "";
    const std::string home = savedHome ? savedHome : "";

    ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
    EXPECT_EQ(UserConfigDirectory(), "/x/config");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", "/x/home", 1);
    EXPECT_EQ(UserConfigDirectory(), "/x/home/.config");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/x/home/", 1);
    EXPECT_EQ(UserConfigDirectory(), "/x/home/.config");

    savedConfig ? ::setenv("XDG_CONFIG_HOME", config.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    savedHome ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");

    const AppPaths& paths = ApplicationPaths();
    EXPECT_EQ(paths.executableDirectory, ExecutableDirectory());
    EXPECT_EQ(paths.settingsPath, paths.executableDirectory + "Velmor.ini");
}

}  // namespace
}  // namespace velmor
