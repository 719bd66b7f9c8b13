#include "core/app/settings_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "temp_dir.h"

namespace velmor {
namespace {

using test::ReadFile;
using test::WriteFile;

class SettingsFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    const std::string path = dir.File("Velmor.ini");
    SettingsFile settings{path};
};

TEST_F(SettingsFileTest, MissingFileKeysAndNumbersGiveDefaults) {
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormLeft, -7), -7);
    EXPECT_EQ(settings.GetString("Grid", "Columns", "none"), "none");
    EXPECT_FALSE(std::filesystem::exists(path));  // reading creates nothing

    WriteFile(path,
              "[WINDOW_3D]\nNORM_LEFT=5\n[N]\nplain=-17\nlead= 12abc\nletters=abc\nempty=\n"
              "sign=-\ndecimal=2.9\nsmall=-2147483648\nover=2147483648\n");
    EXPECT_EQ(settings.GetInt(kSectionWindow3D, kKeyNormLeft, 0), 5);
    EXPECT_EQ(settings.GetInt(kSectionWindow3D, kKeyVisible, 1), 1);       // missing key
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormLeft, -7), -7);  // missing section
    // Integers read like the profile functions: leading digits count, nothing else does.
    const char* keys[] = {"plain", "lead", "letters", "empty", "sign", "decimal", "small", "over"};
    const int values[] = {-17, 12, 99, 99, 99, 2, -2147483647 - 1, 99};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(settings.GetInt("N", keys[i], 99), values[i]) << keys[i];
    EXPECT_EQ(settings.GetString("N", "lead", ""), " 12abc");  // values as they stand
}

TEST_F(SettingsFileTest, SectionsAndKeysMatchInAnyCaseAndMayHoldSpaces) {
    WriteFile(
        path,
        "\xEF\xBB\xBF[window_main]\r\nnorm_left=10\r\n  Norm_Top = 20\r\n; NORM_RIGHT=99\r\n"
        "[Grid Columns Initial]\r\nLayout=0,120,80, 60 ,x\r\n[WINDOW_MAIN]\r\nNORM_RIGHT=77\r\n");
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormLeft, 0), 10);
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormTop, 0), 20);
    // A comment is no key, and a second section of the same name is never reached.
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormRight, -1), -1);
    EXPECT_EQ(settings.GetString("GRID COLUMNS INITIAL", "layout", ""), "0,120,80, 60 ,x");

    // Writing keeps the file's line ends, its byte-order mark and the key's own spelling.
    EXPECT_TRUE(settings.WriteInt("Window_Main", "NORM_TOP", -5));
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(text.find("\r\nNorm_Top=-5\r\n"), std::string::npos) << text;
}

TEST_F(SettingsFileTest, WritesKeepEverythingElse) {
    WriteFile(path,
              "; written by hand\n[WINDOW_MAIN]\nNORM_LEFT=1\nNORM_TOP=2\n\n"
              "[Other Section]\nnote=keep = me\nstray line without equals\n");
    EXPECT_TRUE(settings.WriteInt(kSectionWindowMain, kKeyNormTop, 250));     // in place
    EXPECT_TRUE(settings.WriteInt(kSectionWindowMain, kKeyNormBottom, 600));  // new key
    EXPECT_TRUE(settings.WriteString("other section", "NOTE", "a=b, c"));
    EXPECT_TRUE(settings.WriteString("Grid Layout", "Columns", " 0, 1,2 "));  // new section
    EXPECT_EQ(ReadFile(path),
              "; written by hand\n[WINDOW_MAIN]\nNORM_LEFT=1\nNORM_TOP=250\nNORM_BOTTOM=600\n\n"
              "[Other Section]\nnote=a=b, c\nstray line without equals\n"
              "\n[Grid Layout]\nColumns= 0, 1,2 \n");
    EXPECT_EQ(settings.GetString("Grid Layout", "Columns", ""), " 0, 1,2 ");
    SettingsFile fresh(dir.File("new.ini"));
    EXPECT_TRUE(fresh.WriteInt(kSectionWindowUdFdFinal, kKeyNormRight, -2147483647 - 1));
    EXPECT_EQ(fresh.GetInt(kSectionWindowUdFdFinal, kKeyNormRight, 42), -2147483647 - 1);
    EXPECT_EQ(ReadFile(dir.File("new.ini")), "[WINDOW_UDFD_FINAL]\nNORM_RIGHT=-2147483648\n");
}

TEST_F(SettingsFileTest, RefusedWritesLeaveTheFileAlone) {
    ASSERT_TRUE(settings.WriteInt("A", "k", 1));
    const std::string before = ReadFile(path);
    // Texts that would make other lines or keys out of the value.
    EXPECT_FALSE(settings.WriteString("A", "k", "two\nlines"));
    EXPECT_FALSE(settings.WriteString("A", "k=v", "1"));
    EXPECT_FALSE(settings.WriteString("A", ";k", "1"));
    EXPECT_FALSE(settings.WriteString("A\n[B]", "k", "1"));
    EXPECT_EQ(ReadFile(path), before);
    // Paths that cannot take a file; no temporary files are left behind.
    EXPECT_FALSE(SettingsFile(dir.File("missing/Velmor.ini")).WriteInt("A", "k", 1));
    EXPECT_FALSE(SettingsFile(dir.Path()).WriteInt("A", "k", 1));
#ifndef _WIN32
    EXPECT_FALSE(SettingsFile("/dev/null").WriteInt("A", "k", 1));
#endif
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

#ifndef _WIN32  // POSIX permissions and symbolic links
TEST_F(SettingsFileTest, ReplacingKeepsPermissionsAndLinks) {
    const std::string real = dir.File("real.ini");
    WriteFile(real, "[A]\nk=1\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(real.c_str(), path.c_str()), 0);
    EXPECT_TRUE(settings.WriteInt("A", "k", 2));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadFile(real), "[A]\nk=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (::geteuid() != 0) {  // a read-only file is not replaced
        ASSERT_EQ(::chmod(real.c_str(), 0440), 0);
        EXPECT_FALSE(settings.WriteInt("A", "k", 3));
        EXPECT_EQ(ReadFile(real), "[A]\nk=2\n");
    }
}
#endif

}  // namespace
}  // namespace velmor
