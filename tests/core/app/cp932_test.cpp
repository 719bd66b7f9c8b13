#include "core/app/cp932.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace velmor {
namespace {

TEST(Cp932Test, AsciiKanjiAndHalfWidthKanaConvertBothWays) {
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii += char(c);
    std::string cp932, back;
    ASSERT_TRUE(Utf8ToCp932(ascii + "日本ｶﾞﾗｽ", &cp932));
    EXPECT_EQ(cp932, ascii + "\x93\xFA\x96\x7B\xB6\xDE\xD7\xBD");
    EXPECT_TRUE(Cp932ToUtf8(cp932, &back));
    EXPECT_EQ(back, ascii + "日本ｶﾞﾗｽ");
    // Bad bytes show as replacement characters and the rest converts.
    EXPECT_FALSE(Cp932ToUtf8("a\x80\x82\xA0\x62\x82", &back));  // \x62 is b
    EXPECT_EQ(back, "a\uFFFDあb\uFFFD");
    // A long text crosses the converter's chunks whole.
    std::string longText;
    for (int i = 0; i < 300; ++i) longText += "\x82\xA0";
    EXPECT_TRUE(Cp932ToUtf8(longText, &back));
    EXPECT_EQ(back.size(), 900u);
    // Text that has no form in the code page fails and gives nothing.
    EXPECT_FALSE(Utf8ToCp932("é\xF0\x9F\x98\x80", &cp932));
    EXPECT_EQ(cp932, "");
}

TEST(Cp932Test, BufferConversionNeverPassesItsCapacity) {
    char buffer[8];
    std::size_t length = 99;
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_TRUE(Utf8ToCp932("あい", buffer, 5, &length));  // four bytes and the terminator
    EXPECT_EQ(length, 4u);
    EXPECT_STREQ(buffer, "\x82\xA0\x82\xA2");
    EXPECT_EQ(buffer[5], '#');

    for (const char* text : {"あい", "abcd", "a\xFF", "\xC3"}) {  // too long, not UTF-8
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_FALSE(Utf8ToCp932(text, buffer, 4, &length)) << text;
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(buffer[0], 0);
        EXPECT_EQ(buffer[4], '#');
    }
    buffer[0] = '#';
    EXPECT_FALSE(Utf8ToCp932("", buffer, 0));
    EXPECT_EQ(buffer[0], '#');
}

// The same bytes give the same text on Linux (iconv) and Windows (the system's table, which also
// maps a few bytes iconv refuses): the vendor extensions and the user area convert, the bytes
// that start no character do not.
TEST(Cp932Test, ExtensionsAndNonCharactersAlikeOnEverySystem) {
    std::string text;
    EXPECT_TRUE(Cp932ToUtf8("\x87\x40\xED\x40\xF0\x40\x81\x60", &text));
    EXPECT_EQ(text, "\u2460\u7E8A\uE000\uFF5E");  // circled 1, NEC/IBM kanji, user area, wave
    std::string back;
    ASSERT_TRUE(Utf8ToCp932(text, &back));
    EXPECT_EQ(back, "\x87\x40\xFA\x5C\xF0\x40\x81\x60");  // the kanji's IBM code
    // Characters as other systems spell them take the code of their Microsoft form.
    ASSERT_TRUE(Utf8ToCp932("\u301C\u2212\u2016\u2014\u00A2\u00A3\u00AC\u00A5\u203E", &back));
    EXPECT_EQ(back, "\x81\x60\x81\x7C\x81\x61\x81\x5C\x81\x91\x81\x92\x81\xCA\\~");
    for (const char* bad : {"\x80", "\xA0", "\xFD", "\xFE", "\xFF"}) {
        EXPECT_FALSE(Cp932ToUtf8(std::string("a") + bad + "b", &text)) << int(bad[0] & 0xFF);
        EXPECT_EQ(text, "a\uFFFDb");
    }
    // A lead byte before a byte that cannot follow it: the lead is marked, the next byte stays.
    EXPECT_FALSE(Cp932ToUtf8("\x81\x7F", &text));
    EXPECT_EQ(text, "\uFFFD\x7F");
    // No "best fit": a character without a code fails rather than becoming another.
    EXPECT_FALSE(Utf8ToCp932("\u00C5", &back));  // Å (Windows' best fit would give A)
    EXPECT_FALSE(Utf8ToCp932("\u00A6", &back));  // broken bar
}

TEST(Cp932Test, FieldsAndCutsRespectCharacters) {
    const char field[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(field, 4), "abcd");  // no terminator inside the field
    EXPECT_EQ(FieldText("ab\0cd", 5), "ab");
    const std::string text = "a\x82\xA0\x82\xA2";  // a, two double-byte characters
    EXPECT_EQ(Cp932FitLength(text, 2), 1u);
    EXPECT_EQ(Cp932FitLength(text, 4), 3u);
    EXPECT_EQ(Cp932FitLength(text, 9), 5u);
    EXPECT_EQ(Cp932FitLength("\xB6\xDE", 1), 1u);  // half-width katakana are single bytes
    EXPECT_EQ(Cp932FitLength("a\x82", 9), 2u);     // a lone lead byte at the end counts one
}

}  // namespace
}  // namespace velmor
