#include "surface/record_text.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "surface/records.h"

namespace velmor {
namespace {

const RecordRow& Row(const std::vector<RecordRow>& rows, const std::string& name) {
    for (const RecordRow& row : rows)
        if (row.name == name) return row;
    ADD_FAILURE() << "no row " << name;
    return rows.front();
}

// Reads a cell into a fresh record pair and reports what happened.
struct Read {
    bool ok;
    std::string rewrite;
};

Read ReadCell(const RecordRow& row, void* record, const std::string& text) {
    Read r;
    r.rewrite = "untouched";
    r.ok = TextToField(row, record, text, &r.rewrite);
    return r;
}

TEST(RecordTextTest, NumbersShowAsTheFormatsOfTheTables) {
    RecordPair pair;
    const auto& fd = FixedDataRows(2);
    pair.Fd2()->numb = -2147483647 - 1;
    pair.Fd2()->n1 = 1.0 / 3;
    pair.Fd2()->k = -0.0;
    pair.Fd2()->param[200] = 1e300;
    pair.Fd2()->int_data = reinterpret_cast<int*>(std::uintptr_t(0xDEADBEEF00C0FFEEull));
    EXPECT_EQ(FieldToText(Row(fd, "numb"), pair.fd), "-2147483648");
    EXPECT_EQ(FieldToText(Row(fd, "n1"), pair.fd), "0.333333");
    EXPECT_EQ(FieldToText(Row(fd, "k"), pair.fd), "-0.000000");
    EXPECT_EQ(FieldToText(Row(fd, "int_data"), pair.fd), "0xDEADBEEF00C0FFEE");
    EXPECT_EQ(FieldToText(Row(fd, "db_data"), pair.fd), "0x0000000000000000");
    // "%f" writes every integer digit of a huge number.
    char expected[400];
    std::snprintf(expected, sizeof expected, "%f", 1e300);
    EXPECT_EQ(FieldToText(Row(fd, "param[200]"), pair.fd), expected);
    EXPECT_EQ(std::strlen(expected), 301u + 7u);
}

TEST(RecordTextTest, DoubleCellsReadTheLeadingDecimalNumber) {
    RecordPair pair;
    const RecordRow& row = Row(UserDataRows(), "sag1");
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"1e3", 1000}, {"1,5", 1},    {"  -2.5e-3x", -0.0025},
        {".5", 0.5},   {"+.5e1", 5},  {"1e", 1},
        {"7.", 7},     {"0x1p3", 0},  {"+-1", 0},
        {"- 1", 0},    {"\t\n 3", 3}, {"", 0},
        {"abc", 0},    {"１２", 0},   {"1e-320", 1e-320},
    };
    for (const Case& c : cases) {
        pair.ud.sag1 = 99;
        Read r = ReadCell(row, &pair.ud, c.text);
        EXPECT_TRUE(r.ok) << c.text;
        EXPECT_EQ(r.rewrite, "") << c.text;
        EXPECT_EQ(pair.ud.sag1, c.value) << c.text;
    }
    // What the tables show for the special values reads back as the same value.
    ReadCell(row, &pair.ud, "-inf");
    EXPECT_EQ(pair.ud.sag1, -std::numeric_limits<double>::infinity());
    ReadCell(row, &pair.ud, "nan");
    EXPECT_TRUE(std::isnan(pair.ud.sag1));
    EXPECT_EQ(FieldToText(row, &pair.ud).find("nan") != std::string::npos, true);
}

TEST(RecordTextTest, FailedNumberCellsBecomeZeroAndAreRewritten) {
    RecordPair pair;
    const RecordRow& sag = Row(UserDataRows(), "sag1");
    const RecordRow& surf = Row(FixedDataRows(0), "surf");
    const std::string thirtyOne(31, '1');
    const std::string thirtyTwo(32, '1');

    pair.ud.sag1 = 5;
    Read r = ReadCell(sag, &pair.ud, "2." + std::string(29, '5'));  // 31 bytes: fits
    EXPECT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(pair.ud.sag1, 2.5555555555555555);

    r = ReadCell(sag, &pair.ud, thirtyTwo);  // no room for the terminator
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.rewrite, "0.000000");
    EXPECT_EQ(pair.ud.sag1, 0.0);

    pair.ud.sag1 = 5;
    r = ReadCell(sag, &pair.ud, "1e400");  // beyond a double
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.rewrite, "0.000000");
    EXPECT_EQ(pair.ud.sag1, 0.0);

    pair.ud.sag1 = 5;
    r = ReadCell(sag, &pair.ud, "1\xF0\x9F\x98\x80");  // a character code page 932 lacks
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.rewrite, "0.000000");
    EXPECT_EQ(pair.ud.sag1, 0.0);

    pair.Fd0()->surf = 5;
    r = ReadCell(surf, pair.fd, thirtyOne);  // fits the buffer but not an int
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.rewrite, "0");
    EXPECT_EQ(pair.Fd0()->surf, 0);

    struct Case {
        const char* text;
        int value;
    } ints[] = {{" +42xyz", 42},
                {"1,5", 1},
                {"1.9", 1},
                {"-2147483648", -2147483647 - 1},
                {"2147483647", 2147483647},
                {"abc", 0},
                {"-", 0}};
    for (const Case& c : ints) {
        pair.Fd0()->surf = 5;
        r = ReadCell(surf, pair.fd, c.text);
        EXPECT_TRUE(r.ok) << c.text;
        EXPECT_EQ(r.rewrite, "") << c.text;
        EXPECT_EQ(pair.Fd0()->surf, c.value) << c.text;
    }
    r = ReadCell(surf, pair.fd, "2147483648");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.rewrite, "0");
}

TEST(RecordTextTest, PointerCellsReadHexadecimal) {
    RecordPair pair;
    const RecordRow& row = Row(FixedDataRows(2), "c_data");
    Read r = ReadCell(row, pair.fd, "0x1000");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pair.Fd2()->c_data), 4096u);
    EXPECT_EQ(FieldToText(row, pair.fd), "0x0000000000001000");

    ReadCell(row, pair.fd, " ffffffffffffffff");
    EXPECT_EQ(FieldToText(row, pair.fd), "0xFFFFFFFFFFFFFFFF");
    ReadCell(row, pair.fd, "0XaBc");
    EXPECT_EQ(FieldToText(row, pair.fd), "0x0000000000000ABC");
    ReadCell(row, pair.fd, "0x");  // the zero before the x
    EXPECT_EQ(FieldToText(row, pair.fd), "0x0000000000000000");

    for (const char* bad : {"10000000000000000", "zz", "-1", ""}) {
        pair.Fd2()->c_data = reinterpret_cast<char*>(std::uintptr_t(1));
        r = ReadCell(row, pair.fd, bad);
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_EQ(r.rewrite, "0000000000000000") << bad;
        EXPECT_EQ(pair.Fd2()->c_data, nullptr) << bad;
    }
}

TEST(RecordTextTest, GlassRoundTripsJapaneseText) {
    RecordPair pair;
    const RecordRow& row = Row(FixedDataRows(0), "glass[21]");
    const std::string glass = "ガラス硝子";
    Read r = ReadCell(row, pair.fd, glass);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.rewrite, "");
    EXPECT_STREQ(pair.Fd0()->glass, "\x83\x4B\x83\x89\x83\x58\x8F\xC9\x8E\x71");
    EXPECT_EQ(FieldToText(row, pair.fd), glass);

    // Half-width katakana are single bytes.
    const RecordRow& comment = Row(FixedDataRows(3), "comment[200]");
    ReadCell(comment, pair.fd, "ｶﾞﾗｽ BK7");
    EXPECT_STREQ(pair.Fd3()->comment, "\xB6\xDE\xD7\xBD BK7");
    EXPECT_EQ(FieldToText(comment, pair.fd), "ｶﾞﾗｽ BK7");
}

// A text that converts but is longer than the field is cut on a whole character, with its
// terminator inside the field; nothing after the field changes.
TEST(RecordTextTest, OverlongCharTextIsCutToItsField) {
    RecordPair pair;
    std::memset(pair.fd, 0x7F, sizeof pair.fd);
    const RecordRow& glass21 = Row(FixedDataRows(0), "glass[21]");
    // "a" and eleven double-byte characters: 23 bytes; 20 would split the tenth character.
    Read r = ReadCell(glass21, pair.fd, "aあいうえおかきくけこさ");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.rewrite, "aあいうえおかきくけ");
    EXPECT_EQ(std::strlen(pair.Fd0()->glass), 19u);
    EXPECT_EQ(FieldToText(glass21, pair.fd), "aあいうえおかきくけ");
    for (int i = 1813; i < 1816; ++i) EXPECT_EQ(pair.fd[i], 0x7F) << i;

    // Eleven double-byte characters: exactly twenty bytes fit.
    r = ReadCell(glass21, pair.fd, "あいうえおかきくけこさ");
    EXPECT_EQ(r.rewrite, "あいうえおかきくけこ");
    EXPECT_EQ(std::strlen(pair.Fd0()->glass), 20u);

    std::memset(&pair.ud, 0x7F, sizeof pair.ud);
    const RecordRow& string20 = Row(UserDataRows(), "string[20]");
    r = ReadCell(string20, &pair.ud, std::string(25, 'S'));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.rewrite, std::string(19, 'S'));
    EXPECT_EQ(pair.ud.string[19], 0);
    const unsigned char* ud = reinterpret_cast<const unsigned char*>(&pair.ud);
    for (int i = 188; i < 192; ++i) EXPECT_EQ(ud[i], 0x7F) << i;

    const RecordRow& glass200 = Row(FixedDataRows(2), "glass[200]");
    r = ReadCell(glass200, pair.fd, std::string(250, 'G'));
    EXPECT_EQ(r.rewrite, std::string(199, 'G'));
    EXPECT_EQ(pair.Fd2()->glass[199], 0);
    EXPECT_EQ(pair.Fd2()->comment[0], 0x7F);  // the next field is untouched
}

TEST(RecordTextTest, CharTextThatDoesNotConvertEmptiesTheField) {
    RecordPair pair;
    const RecordRow& glass21 = Row(FixedDataRows(1), "glass[21]");
    std::strcpy(pair.Fd1()->glass, "BK7");
    // 32 bytes do not fit the 32-byte buffer with a terminator.
    Read r = ReadCell(glass21, pair.fd, std::string(32, 'g'));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.rewrite, "");
    EXPECT_EQ(pair.Fd1()->glass[0], 0);

    std::strcpy(pair.Fd1()->glass, "BK7");
    r = ReadCell(glass21, pair.fd, "\xF0\x9F\x98\x80");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(pair.Fd1()->glass[0], 0);

    const RecordRow& comment = Row(FixedDataRows(2), "comment[200]");
    std::strcpy(pair.Fd2()->comment, "keep");
    r = ReadCell(comment, pair.fd, std::string(256, 'c'));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(pair.Fd2()->comment[0], 0);
    EXPECT_EQ(CellBufferSize(comment), 256u);
    EXPECT_EQ(CellBufferSize(glass21), 32u);
    EXPECT_EQ(CellCharLimit(comment), 510u);
    EXPECT_EQ(CellCharLimit(glass21), 62u);
}

TEST(RecordTextTest, CharFieldsShowOnlyTheirOwnBytes) {
    RecordPair pair;
    std::memset(&pair.ud, 'B', sizeof pair.ud);  // no terminator, padding after it non-zero
    std::memset(pair.ud.string, 'A', sizeof pair.ud.string);
    EXPECT_EQ(FieldToText(Row(UserDataRows(), "string[20]"), &pair.ud), std::string(20, 'A'));

    std::strcpy(pair.Fd0()->glass,
                "\x80"
                "abc");  // a byte that is no character
    EXPECT_EQ(FieldToText(Row(FixedDataRows(0), "glass[21]"), pair.fd),
              "\uFFFD"
              "abc");
}

// Every row writes exactly its own bytes and reads back what it wrote, so a row with a wrong
// offset or size shows here.
TEST(RecordTextTest, EveryRowWritesOnlyItsField) {
    static unsigned char area[kFixedDataAreaSize];
    static unsigned char before[kFixedDataAreaSize];
    for (std::size_t i = 0; i < sizeof area; ++i) area[i] = static_cast<unsigned char>(i * 7 + 3);
    std::memcpy(before, area, sizeof area);
    std::vector<const std::vector<RecordRow>*> lists = {&UserDataRows()};
    for (int v = 0; v < 4; ++v) lists.push_back(&FixedDataRows(v));
    for (const auto* rows : lists) {
        for (const RecordRow& row : *rows) {
            const char* text = row.kind == RowKind::kChars ? "Z" : "1";
            std::string rewrite;
            ASSERT_TRUE(TextToField(row, area, text, &rewrite)) << row.name;
            const char* shown = row.kind == RowKind::kInt       ? "1"
                                : row.kind == RowKind::kDouble  ? "1.000000"
                                : row.kind == RowKind::kPointer ? "0x0000000000000001"
                                                                : "Z";
            EXPECT_EQ(FieldToText(row, area), shown) << row.name;
            int written = row.kind == RowKind::kChars ? 2 : row.size;
            ASSERT_EQ(std::memcmp(area, before, row.offset), 0) << row.name;
            ASSERT_EQ(std::memcmp(area + row.offset + written, before + row.offset + written,
                                  sizeof area - row.offset - written),
                      0)
                << row.name;
            std::memcpy(area + row.offset, before + row.offset, written);
        }
    }
}

// A locale with a decimal comma, made for the test when the machine has none installed.
class CommaLocale {
public:
    CommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
            if (Use(name)) return;
        if (std::system("command -v localedef >/dev/null 2>&1") != 0) return;
        m_dir = std::filesystem::temp_directory_path() /
                ("velmor_locale_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
        std::string command = "localedef -i de_DE -f UTF-8 '" + (m_dir / "de_DE.UTF-8").string() +
                              "' >/dev/null 2>&1";
        std::system(command.c_str());
        ::setenv("LOCPATH", m_dir.c_str(), 1);
        Use("de_DE.UTF-8");
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        if (!m_dir.empty()) {
            ::unsetenv("LOCPATH");
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }
    bool Active() const { return m_active; }

private:
    bool Use(const char* name) {
        if (!std::setlocale(LC_ALL, name)) return false;
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        m_active = std::strcmp(text, "1,5") == 0;
        if (!m_active) std::setlocale(LC_ALL, "C");
        return m_active;
    }

    std::filesystem::path m_dir;
    bool m_active = false;
};

TEST(RecordTextTest, ADecimalCommaLocaleChangesNothing) {
    CommaLocale locale;
    if (!locale.Active()) GTEST_SKIP() << "no locale with a decimal comma can be made here";
    RecordPair pair;
    const RecordRow& row = Row(UserDataRows(), "x");
    std::string rewrite;
    EXPECT_TRUE(TextToField(row, &pair.ud, "1.5", &rewrite));
    EXPECT_EQ(pair.ud.x, 1.5);
    EXPECT_EQ(FieldToText(row, &pair.ud), "1.500000");
    EXPECT_TRUE(TextToField(row, &pair.ud, "1,5", &rewrite));
    EXPECT_EQ(pair.ud.x, 1.0);
    EXPECT_TRUE(TextToField(row, &pair.ud, "-2.25e2", &rewrite));
    EXPECT_EQ(FieldToText(row, &pair.ud), "-225.000000");
    const RecordRow& glass = Row(FixedDataRows(0), "glass[21]");
    EXPECT_TRUE(TextToField(glass, pair.fd, "硝子", &rewrite));
    EXPECT_EQ(FieldToText(glass, pair.fd), "硝子");
}

}  // namespace
}  // namespace velmor
