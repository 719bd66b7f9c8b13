#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "temp_dir.h"

namespace velmor {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

TEST(SettingsFileTest, MissingFileAndKeysGiveDefaults) {
    TempDir dir;
    SettingsFile settings(dir.File("Velmor.ini"));
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormLeft, 0), 0);
    EXPECT_EQ(settings.GetInt(kSectionWindow3D, kKeyVisible, 1), 1);
    EXPECT_EQ(settings.GetString("Grid", "Columns", "none"), "none");
    EXPECT_FALSE(std::filesystem::exists(dir.File("Velmor.ini")));  // reading creates nothing

    WriteText(settings.Path(), "[WINDOW_3D]\nNORM_LEFT=5\n");
    EXPECT_EQ(settings.GetInt(kSectionWindow3D, kKeyVisible, 1), 1);       // missing key
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormLeft, -7), -7);  // missing section
    EXPECT_EQ(settings.GetInt(kSectionWindow3D, kKeyNormLeft, 0), 5);

    SettingsFile nowhere;
    EXPECT_EQ(nowhere.GetInt("A", "B", 3), 3);
    EXPECT_FALSE(nowhere.WriteInt("A", "B", 3));
}

TEST(SettingsFileTest, IntegersReadLikeTheProfileFunctions) {
    TempDir dir;
    SettingsFile settings(dir.File("Velmor.ini"));
    WriteText(settings.Path(),
              "[N]\n"
              "plain=42\n"
              "negative=-17\n"
              "plus=+8\n"
              "lead= 12abc\n"
              "tabs=\t 3\n"
              "letters=abc\n"
              "empty=\n"
              "sign=-\n"
              "spaced sign=- 4\n"
              "decimal=2.9\n"
              "big=2147483647\n"
              "small=-2147483648\n"
              "over=2147483648\n"
              "huge=99999999999999999999999\n");
    EXPECT_EQ(settings.GetInt("N", "plain", 0), 42);
    EXPECT_EQ(settings.GetInt("N", "negative", 0), -17);
    EXPECT_EQ(settings.GetInt("N", "plus", 0), 8);
    EXPECT_EQ(settings.GetInt("N", "lead", 0), 12);
    EXPECT_EQ(settings.GetInt("N", "tabs", 0), 3);
    EXPECT_EQ(settings.GetInt("N", "letters", 99), 99);
    EXPECT_EQ(settings.GetInt("N", "empty", 99), 99);
    EXPECT_EQ(settings.GetInt("N", "sign", 99), 99);
    EXPECT_EQ(settings.GetInt("N", "spaced sign", 99), 99);
    EXPECT_EQ(settings.GetInt("N", "decimal", 0), 2);
    EXPECT_EQ(settings.GetInt("N", "big", 0), 2147483647);
    EXPECT_EQ(settings.GetInt("N", "small", 0), -2147483647 - 1);
    EXPECT_EQ(settings.GetInt("N", "over", 99), 99);
    EXPECT_EQ(settings.GetInt("N", "huge", 99), 99);
    EXPECT_EQ(settings.GetString("N", "lead", ""), " 12abc");  // values as they stand
}

TEST(SettingsFileTest, SectionsAndKeysMatchInAnyCaseAndMayHoldSpaces) {
    TempDir dir;
    SettingsFile settings(dir.File("Velmor.ini"));
    WriteText(settings.Path(),
              "\xEF\xBB\xBF[window_main]\r\n"
              "norm_left=10\r\n"
              "  Norm_Top = 20\r\n"
              "; NORM_RIGHT=99\r\n"
              "[Grid Columns Initial]\r\n"
              "Layout=0,120,80, 60 ,x\r\n"
              "[WINDOW_MAIN]\r\n"
              "NORM_RIGHT=77\r\n");
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormLeft, 0), 10);
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormTop, 0), 20);
    // A comment is no key, and a second section of the same name is never reached.
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormRight, -1), -1);
    EXPECT_EQ(settings.GetString("GRID COLUMNS INITIAL", "layout", ""), "0,120,80, 60 ,x");
    EXPECT_EQ(settings.GetString("Grid Columns", "Layout", "-"), "-");

    // Writing keeps the file's line ends, its byte-order mark and the key's own spelling.
    EXPECT_TRUE(settings.WriteInt("Window_Main", "NORM_TOP", -5));
    const std::string text = ReadText(settings.Path());
    EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(text.find("\r\nNorm_Top=-5\r\n"), std::string::npos) << text;
    EXPECT_EQ(settings.GetInt(kSectionWindowMain, kKeyNormTop, 0), -5);
}

TEST(SettingsFileTest, WritesRoundTripAndKeepEverythingElse) {
    TempDir dir;
    SettingsFile settings(dir.File("Velmor.ini"));
    const std::string original =
        "; written by hand\n"
        "[WINDOW_MAIN]\n"
        "NORM_LEFT=1\n"
        "NORM_TOP=2\n"
        "\n"
        "[Other Section]\n"
        "note=keep = me\n"
        "stray line without equals\n"
        "\n"
        "[WINDOW_3D]\n"
        "VISIBLE=0\n";
    WriteText(settings.Path(), original);

    EXPECT_TRUE(settings.WriteInt(kSectionWindowMain, kKeyNormTop, 250));     // in place
    EXPECT_TRUE(settings.WriteInt(kSectionWindowMain, kKeyNormBottom, 600));  // new key
    EXPECT_TRUE(settings.WriteString("Grid Layout", "Columns", " 0, 1,2 "));  // new section
    EXPECT_TRUE(settings.WriteString("other section", "NOTE", "a=b, c"));
    EXPECT_EQ(ReadText(settings.Path()),
              "; written by hand\n"
              "[WINDOW_MAIN]\n"
              "NORM_LEFT=1\n"
              "NORM_TOP=250\n"
              "NORM_BOTTOM=600\n"
              "\n"
              "[Other Section]\n"
              "note=a=b, c\n"
              "stray line without equals\n"
              "\n"
              "[WINDOW_3D]\n"
              "VISIBLE=0\n"
              "\n"
              "[Grid Layout]\n"
              "Columns= 0, 1,2 \n");
    EXPECT_EQ(settings.GetString("Grid Layout", "Columns", ""), " 0, 1,2 ");
    EXPECT_EQ(settings.GetString("Other Section", "note", ""), "a=b, c");

    // A new file from nothing, every int round trip exact.
    SettingsFile fresh(dir.File("new.ini"));
    for (int value : {0, 1, -1, 123456, 2147483647, -2147483647 - 1}) {
        EXPECT_TRUE(fresh.WriteInt(kSectionWindowUdFdFinal, kKeyNormRight, value));
        EXPECT_EQ(fresh.GetInt(kSectionWindowUdFdFinal, kKeyNormRight, 42), value);
    }
    EXPECT_TRUE(fresh.WriteString("S", "empty", ""));
    EXPECT_EQ(fresh.GetString("S", "empty", "fallback"), "");
    EXPECT_EQ(ReadText(fresh.Path()),
              "[WINDOW_UDFD_FINAL]\nNORM_RIGHT=-2147483648\n\n[S]\nempty=\n");
}

TEST(SettingsFileTest, RefusedWritesLeaveTheFileAlone) {
    TempDir dir;
    SettingsFile settings(dir.File("Velmor.ini"));
    ASSERT_TRUE(settings.WriteInt("A", "k", 1));
    const std::string before = ReadText(settings.Path());
    EXPECT_FALSE(settings.WriteString("A", "k", "two\nlines"));
    EXPECT_FALSE(settings.WriteString("A", "k=v", "1"));
    EXPECT_FALSE(settings.WriteString("A", "", "1"));
    EXPECT_FALSE(settings.WriteString("A", " k", "1"));
    EXPECT_FALSE(settings.WriteString("A", ";k", "1"));
    EXPECT_FALSE(settings.WriteString("A\n[B]", "k", "1"));
    EXPECT_FALSE(settings.WriteString("A", std::string("k\0x", 3), "1"));
    EXPECT_EQ(ReadText(settings.Path()), before);

    // Paths that cannot take a file: a missing directory, a directory, a file as directory.
    EXPECT_FALSE(SettingsFile(dir.File("missing/Velmor.ini")).WriteInt("A", "k", 1));
    EXPECT_FALSE(SettingsFile(dir.Path()).WriteInt("A", "k", 1));
    EXPECT_FALSE(SettingsFile(settings.Path() + "/x.ini").WriteInt("A", "k", 1));
    EXPECT_EQ(SettingsFile(dir.Path()).GetInt("A", "k", 8), 8);

    // No temporary files are left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(SettingsFileTest, ReplacingKeepsPermissionsAndLinks) {
    TempDir dir;
    const std::string real = dir.File("real.ini");
    test::WriteText(real, "[A]\nk=1\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    const std::string link = dir.File("Velmor.ini");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);

    SettingsFile settings(link);
    EXPECT_TRUE(settings.WriteInt("A", "k", 2));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadText(real), "[A]\nk=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // A read-only file is not replaced (only checkable when permissions apply to us).
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(real.c_str(), 0440), 0);
        EXPECT_FALSE(settings.WriteInt("A", "k", 3));
        EXPECT_EQ(ReadText(real), "[A]\nk=2\n");
    }
}

}  // namespace
}  // namespace velmor
