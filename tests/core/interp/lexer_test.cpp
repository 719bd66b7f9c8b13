// Lexer and identifier table: how source text is cut into tokens and how names are numbered.
#include "core/interp/lexer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "script_test_util.h"

namespace velmor::test {
namespace {

using Tokens = std::vector<int>;

struct Lexed {
    Tokens tokens;
    std::vector<double> numbers;     // values of number tokens, in order
    std::vector<std::string> names;  // names of identifier tokens, in order
    std::string messages;
};

Lexed Lex(const std::string& source) {
    IdentifierTable table;
    CompileLog log;
    Lexer lexer(table, log);
    lexer.Reset(source.c_str());
    Lexed out;
    for (int guard = 0; guard < 1000; ++guard) {
        TokenValue value;
        int token = lexer.Next(&value);
        if (token == kTokEnd) break;
        out.tokens.push_back(token);
        if (token == kTokNumber) out.numbers.push_back(value.number);
        if (token == kTokIdent || token == kTokZ) out.names.push_back(table.Name(value.ident));
    }
    out.messages = log.messages.Text();
    return out;
}

TEST(LexerTest, KeywordsAndOperators) {
    EXPECT_EQ(Lex("sinx sin(").tokens, Tokens({kTokIdent, kTokSin, kTokLParen}));
    EXPECT_EQ(Lex("log10( log1( log(").tokens,
              Tokens({kTokLog10, kTokLParen, kTokIdent, kTokLParen, kTokLog, kTokLParen}));
    EXPECT_EQ(Lex("elsewhere else").tokens, Tokens({kTokIdent, kTokElse}));
    // Keywords are case-sensitive, except that PI is pi; x, y and z are whole words only.
    EXPECT_EQ(Lex("SIN Pi PI pi pix").tokens,
              Tokens({kTokIdent, kTokIdent, kTokPi, kTokPi, kTokIdent}));
    EXPECT_EQ(Lex("x y z x2 X").tokens, Tokens({kTokX, kTokY, kTokZ, kTokIdent, kTokIdent}));
    // Operators split longest first.
    EXPECT_EQ(Lex("a==b=-c").tokens,
              Tokens({kTokIdent, kTokEq, kTokIdent, kTokAssign, kTokMinus, kTokIdent}));
    EXPECT_EQ(Lex("===").tokens, Tokens({kTokEq, kTokAssign}));
}

TEST(LexerTest, NumbersAndNames) {
    Lexed lexed = Lex(".5 5. 1e3 2.5E-2 1e400");
    EXPECT_EQ(lexed.tokens, Tokens(5, kTokNumber));
    EXPECT_EQ(lexed.numbers, std::vector<double>({0.5, 5.0, 1000.0, 0.025, HUGE_VAL}));
    EXPECT_EQ(Lex("2x").tokens, Tokens({kTokNumber, kTokX}));
    EXPECT_EQ(Lex("1e+").tokens, Tokens({kTokNumber, kTokIdent, kTokPlus}));
    // Hexadecimal is not a number form: 0x10 is 0 and the name x10.
    Lexed hex = Lex("0x10");
    EXPECT_EQ(hex.numbers, std::vector<double>({0.0}));
    EXPECT_EQ(hex.names, std::vector<std::string>({"x10"}));
    // Names of 16 characters are whole; a longer one is cut, and the whole word consumed.
    EXPECT_EQ(Lex("abcdefghijklmnop = 1").messages, "");
    Lexed cut = Lex("abcdefghijklmnopq = 1");
    EXPECT_EQ(cut.messages, "[IDENT SIZE TOO LONG]\r\n");
    EXPECT_EQ(cut.names, std::vector<std::string>({"abcdefghijklmnop"}));
    EXPECT_EQ(cut.tokens, Tokens({kTokIdent, kTokAssign, kTokNumber}));
}

TEST(LexerTest, CommentsEndsAndInvalidCharacters) {
    EXPECT_EQ(Lex("a // b c\r\nd").names, std::vector<std::string>({"a", "d"}));
    EXPECT_EQ(Lex("a // final comment without line end").tokens, Tokens({kTokIdent}));
    // A zero or 0xFF byte ends the text quietly, also inside a comment.
    EXPECT_EQ(Lex(std::string("a\0b", 3)).tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("a // note \xff\nb").tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("a \xff b").tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("a \xff b").messages, "");
    // An invalid character (a double-byte one too) ends the text with a message.
    Lexed kanji = Lex("a \x83\x41 b");
    EXPECT_EQ(kanji.tokens, Tokens({kTokIdent}));
    EXPECT_EQ(kanji.messages, "[WORD OR CHARACTER INVALID]\r\n");
}

// Distinct two-letter names: "aa", "ab", ...
std::string TwoLetterName(int i) {
    return std::string(1, static_cast<char>('a' + i / 26)) + static_cast<char>('a' + i % 26);
}

TEST(IdentifierTableTest, PoolOf199BytesAnd99Names) {
    IdentifierTable table;
    CompileLog log;
    for (int i = 0; i < 65; ++i) EXPECT_EQ(table.Intern(TwoLetterName(i), log), i);  // 195 bytes
    EXPECT_EQ(table.Intern("abc", log), 65);                                         // 199 bytes
    EXPECT_EQ(log.errorCount, 0);
    // The next name does not fit: counted, not stored, but it still gets an index.
    EXPECT_EQ(table.Intern("q", log), 66);
    EXPECT_STREQ(log.messages.Text(), "[poolarea overflow]\r\n");
    EXPECT_STREQ(table.Name(66), "");
    for (int i = 67; i < 99; ++i) table.Intern(TwoLetterName(i), log);
    EXPECT_EQ(CountOf(log.messages.Text(), "[too many ident/string]"), 0);
    // The 100th name is refused by the count rule.
    EXPECT_EQ(table.Intern(TwoLetterName(99), log), 99);
    EXPECT_EQ(CountOf(log.messages.Text(), "[too many ident/string]"), 1);
    EXPECT_EQ(log.errorCount, 99 - 66 + 2);
    EXPECT_EQ(table.Count(), 99);
    EXPECT_STREQ(table.Name(65), "abc");
}

}  // namespace
}  // namespace velmor::test
