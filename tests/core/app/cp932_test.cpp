#include "app/cp932.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace velmor {
namespace {

TEST(Cp932Test, AsciiAndJapaneseConvertBothWays) {
    // Every ASCII byte keeps its value, also when the text needs the full conversion.
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii += char(c);
    std::string cp932;
    ASSERT_TRUE(Utf8ToCp932(ascii + "日本", &cp932));
    EXPECT_EQ(cp932, ascii + "\x93\xFA\x96\x7B");
    std::string back;
    EXPECT_TRUE(Cp932ToUtf8(cp932, &back));
    EXPECT_EQ(back, ascii + "日本");

    ASSERT_TRUE(Utf8ToCp932("ｶﾞﾗｽ", &cp932));
    EXPECT_EQ(cp932, "\xB6\xDE\xD7\xBD");
    EXPECT_TRUE(Cp932ToUtf8(cp932, &back));
    EXPECT_EQ(back, "ｶﾞﾗｽ");
}

TEST(Cp932Test, BufferConversionNeverPassesItsCapacity) {
    char buffer[8];
    std::size_t length = 99;
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_TRUE(Utf8ToCp932("あい", buffer, 5, &length));  // four bytes and the terminator
    EXPECT_EQ(length, 4u);
    EXPECT_STREQ(buffer, "\x82\xA0\x82\xA2");
    EXPECT_EQ(buffer[5], '#');

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(Utf8ToCp932("あい", buffer, 4, &length));  // no room for the terminator
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[4], '#');

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(Utf8ToCp932("abcd", buffer, 4));
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[4], '#');
    EXPECT_TRUE(Utf8ToCp932("abc", buffer, 4));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_FALSE(Utf8ToCp932("", buffer, 0));
    EXPECT_EQ(buffer[0], 'a');
}

TEST(Cp932Test, TextThatCannotConvertFails) {
    char buffer[32];
    std::string out = "x";
    EXPECT_FALSE(Utf8ToCp932("\xC3", buffer, sizeof buffer));  // cut UTF-8 sequence
    EXPECT_FALSE(
        Utf8ToCp932("a\xFF"
                    "b",
                    buffer, sizeof buffer));                               // not UTF-8
    EXPECT_FALSE(Utf8ToCp932("\xF0\x9F\x98\x80", buffer, sizeof buffer));  // no such character
    EXPECT_EQ(buffer[0], 0);
    EXPECT_FALSE(Utf8ToCp932("é\xF0\x9F\x98\x80", &out));
    EXPECT_EQ(out, "");
}

TEST(Cp932Test, BadBytesShowAsReplacementAndTheRestConverts) {
    std::string out;
    EXPECT_FALSE(
        Cp932ToUtf8("a\x80\x82\xA0"
                    "b\xFF",
                    &out));
    EXPECT_EQ(out, "a\uFFFDあb\uFFFD");
    EXPECT_FALSE(Cp932ToUtf8("ab\x82", &out));  // a lead byte with no second byte
    EXPECT_EQ(out, "ab\uFFFD");

    // A long text crosses the converter's chunks whole.
    std::string longText;
    for (int i = 0; i < 300; ++i) longText += "\x82\xA0";
    EXPECT_TRUE(Cp932ToUtf8(longText, &out));
    EXPECT_EQ(out.size(), 900u);

    EXPECT_TRUE(Cp932ToUtf8("\x82\xA0\x82\xA2\x82\xA4", &out, 2));
    EXPECT_EQ(out, "あい");
    EXPECT_TRUE(Cp932ToUtf8("abc", &out, 0));
    EXPECT_EQ(out, "");
}

TEST(Cp932Test, FieldsAndCutsRespectCharacters) {
    const char field[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(field, 4), "abcd");
    EXPECT_EQ(FieldText("ab\0cd", 5), "ab");

    const std::string text = "a\x82\xA0\x82\xA2";  // a, two double-byte characters
    EXPECT_EQ(Cp932FitLength(text, 0), 0u);
    EXPECT_EQ(Cp932FitLength(text, 2), 1u);
    EXPECT_EQ(Cp932FitLength(text, 3), 3u);
    EXPECT_EQ(Cp932FitLength(text, 4), 3u);
    EXPECT_EQ(Cp932FitLength(text, 9), 5u);
    EXPECT_EQ(Cp932FitLength("\xB6\xDE", 1), 1u);  // half-width katakana are single bytes
    EXPECT_EQ(Cp932FitLength("a\x82", 9), 2u);     // a lone lead byte at the end counts one
}

}  // namespace
}  // namespace velmor
