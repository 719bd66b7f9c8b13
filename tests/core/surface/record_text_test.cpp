#include "core/surface/record_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "comma_locale.h"
#include "core/surface/records.h"

namespace velmor {
namespace {

const RecordRow& Row(const std::vector<RecordRow>& rows, const std::string& name) {
    for (const RecordRow& row : rows)
        if (row.name == name) return row;
    ADD_FAILURE() << "no row " << name;
    return rows.front();
}

// What a cell text reads as, shown again in the table's format; a failure rewrites the cell.
TEST(RecordTextTest, NumberAndPointerCellsReadTheirLeadingValue) {
    const RecordRow& sag = Row(UserDataRows(), "sag1");
    const RecordRow& surf = Row(FixedDataRows(0), "surf");
    const RecordRow& ptr = Row(FixedDataRows(2), "c_data");
    struct Case {
        const RecordRow& row;
        std::string text;
        bool ok;
        const char* shown;
        const char* rewrite = "";
    } cases[] = {
        // clang-format off
        {sag, "1,5", true, "1.000000"}, {sag, "  -2.5e-3x", true, "-0.002500"},
        {sag, "0x1p3", true, "0.000000"},  // no hexadecimal floats
        {sag, "-inf", true, "-inf"},
        {sag, "2." + std::string(29, '5'), true, "2.555556"},  // 31 bytes fit the buffer
        {sag, std::string(32, '1'), false, "0.000000", "0.000000"},
        {sag, "1e400", false, "0.000000", "0.000000"},
        {sag, "1\xF0\x9F\x98\x80", false, "0.000000", "0.000000"},  // not in code page 932
        {surf, " +42xyz", true, "42"}, {surf, "1.9", true, "1"},
        {surf, "-2147483648", true, "-2147483648"}, {surf, "2147483648", false, "0", "0"},
        {ptr, " ffffffffffffffff", true, "0xFFFFFFFFFFFFFFFF"},
        {ptr, "10000000000000000", false, "0x0000000000000000", "0000000000000000"},
        {ptr, "-1", false, "0x0000000000000000", "0000000000000000"},
        // clang-format on
    };
    RecordPair pair;
    for (const Case& c : cases) {
        void* record = &c.row == &sag ? static_cast<void*>(&pair.ud) : pair.fd;
        std::memset(static_cast<char*>(record) + c.row.offset, 0x11, c.row.size);
        std::string rewrite = "untouched";
        EXPECT_EQ(TextToField(c.row, record, c.text, &rewrite), c.ok) << c.text;
        EXPECT_EQ(rewrite, c.rewrite) << c.text;
        EXPECT_EQ(FieldToText(c.row, record), c.shown) << c.text;
    }
    pair.Fd2()->param[200] = 1e300;  // doubles show every integer digit
    EXPECT_EQ(FieldToText(Row(FixedDataRows(2), "param[200]"), pair.fd).size(), 301u + 7u);
}

TEST(RecordTextTest, CharCellsRoundTripCodePage932AndShowOnlyTheirOwnBytes) {
    RecordPair pair;
    std::string rewrite;
    const RecordRow& glass = Row(FixedDataRows(0), "glass[21]");
    EXPECT_TRUE(TextToField(glass, pair.fd, "ガラス硝子", &rewrite));
    EXPECT_STREQ(pair.Fd0()->glass, "\x83\x4B\x83\x89\x83\x58\x8F\xC9\x8E\x71");
    EXPECT_EQ(FieldToText(glass, pair.fd), "ガラス硝子");
    const RecordRow& comment = Row(FixedDataRows(3), "comment[200]");

    // Text that does not convert into the 32- or 256-byte buffer empties the field.
    for (const auto& [row, text] : {std::pair{&glass, std::string(32, 'g')},
                                    {&glass, std::string("\xF0\x9F\x98\x80")},
                                    {&comment, std::string(256, 'c')}}) {
        std::memset(pair.fd + row->offset, 'k', 4);
        EXPECT_FALSE(TextToField(*row, pair.fd, text, &rewrite));
        EXPECT_EQ(rewrite, "");
        EXPECT_EQ(pair.fd[row->offset], 0);
    }

    // A field shows only its own bytes: no terminator needed, a byte that is no character
    // shows as a replacement character.
    std::memset(&pair.ud, 'B', sizeof pair.ud);
    std::memset(pair.ud.string, 'A', sizeof pair.ud.string);
    EXPECT_EQ(FieldToText(Row(UserDataRows(), "string[20]"), &pair.ud), std::string(20, 'A'));
    std::strcpy(pair.Fd0()->glass,
                "\x80"
                "abc");
    EXPECT_EQ(FieldToText(glass, pair.fd),
              "\uFFFD"
              "abc");
}

// A text that converts but is longer than the field is cut on a whole character, with its
// terminator inside the field; nothing after the field changes.
TEST(RecordTextTest, OverlongCharTextIsCutToItsField) {
    RecordPair pair;
    std::memset(pair.fd, 0x7F, sizeof pair.fd);
    std::memset(&pair.ud, 0x7F, sizeof pair.ud);
    std::string rewrite;
    const RecordRow& glass21 = Row(FixedDataRows(0), "glass[21]");
    // "a" and eleven double-byte characters: 23 bytes; 20 would split the tenth character.
    EXPECT_FALSE(TextToField(glass21, pair.fd, "aあいうえおかきくけこさ", &rewrite));
    EXPECT_EQ(FieldToText(glass21, pair.fd), "aあいうえおかきくけ");
    EXPECT_EQ(pair.fd[1813], 0x7F);

    const RecordRow& string20 = Row(UserDataRows(), "string[20]");
    EXPECT_FALSE(TextToField(string20, &pair.ud, std::string(25, 'S'), &rewrite));
    EXPECT_EQ(rewrite, std::string(19, 'S'));
    EXPECT_EQ(pair.ud.string[19], 0);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&pair.ud)[188], 0x7F);
}

TEST(RecordTextTest, ADecimalCommaLocaleChangesNothing) {
    const test::CommaLocale comma;
    RecordPair pair;
    const RecordRow& row = Row(UserDataRows(), "x");
    std::string rewrite;
    EXPECT_TRUE(TextToField(row, &pair.ud, "-2.25e2", &rewrite));
    EXPECT_EQ(FieldToText(row, &pair.ud), "-225.000000");
    EXPECT_TRUE(TextToField(row, &pair.ud, "1,5", &rewrite));
    EXPECT_EQ(pair.ud.x, 1.0);
    const RecordRow& glass = Row(FixedDataRows(0), "glass[21]");
    EXPECT_TRUE(TextToField(glass, pair.fd, "硝子", &rewrite));
    EXPECT_EQ(FieldToText(glass, pair.fd), "硝子");
    if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma could be made here";
}

}  // namespace
}  // namespace velmor
