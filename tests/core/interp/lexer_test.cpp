// Lexer and identifier table: how source text is cut into tokens and how names are numbered.
#include "interp/lexer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace velmor {
namespace {

struct Lexed {
    std::vector<int> tokens;
    std::vector<double> numbers;     // values of number tokens, in order
    std::vector<std::string> names;  // names of identifier tokens, in order
    int errors = 0;
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
    out.errors = log.errorCount;
    out.messages = log.messages.Text();
    return out;
}

using Tokens = std::vector<int>;

TEST(LexerTest, KeywordNeedsNoLetterOrDigitAfterIt) {
    EXPECT_EQ(Lex("sinx").tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("sinx").names, std::vector<std::string>({"sinx"}));
    EXPECT_EQ(Lex("sin(").tokens, Tokens({kTokSin, kTokLParen}));
    EXPECT_EQ(Lex("log10(").tokens, Tokens({kTokLog10, kTokLParen}));
    EXPECT_EQ(Lex("log1(").tokens, Tokens({kTokIdent, kTokLParen}));
    EXPECT_EQ(Lex("log(").tokens, Tokens({kTokLog, kTokLParen}));
    EXPECT_EQ(Lex("sinh cosh tanh").tokens, Tokens({kTokSinh, kTokCosh, kTokTanh}));
    EXPECT_EQ(Lex("elsewhere else").tokens, Tokens({kTokIdent, kTokElse}));
    EXPECT_EQ(Lex("if(ifx)").tokens, Tokens({kTokIf, kTokLParen, kTokIdent, kTokRParen}));
    // Keywords are case-sensitive, except that PI is pi.
    EXPECT_EQ(Lex("SIN Pi PI pi pix").tokens,
              Tokens({kTokIdent, kTokIdent, kTokPi, kTokPi, kTokIdent}));
    // x, y and z are whole words only.
    EXPECT_EQ(Lex("x y z x2 xy X").tokens,
              Tokens({kTokX, kTokY, kTokZ, kTokIdent, kTokIdent, kTokIdent}));
}

TEST(LexerTest, EveryFunctionNameHasItsToken) {
    EXPECT_EQ(Lex("sin cos tan asin acos atan sinh cosh tanh exp ln log log10 pow sqrt abs max min")
                  .tokens,
              Tokens({kTokSin, kTokCos, kTokTan, kTokAsin, kTokAcos, kTokAtan, kTokSinh, kTokCosh,
                      kTokTanh, kTokExp, kTokLn, kTokLog, kTokLog10, kTokPow, kTokSqrt, kTokAbs,
                      kTokMax, kTokMin}));
}

TEST(LexerTest, OperatorsSplitLongestFirst) {
    EXPECT_EQ(Lex("a==b").tokens, Tokens({kTokIdent, kTokEq, kTokIdent}));
    EXPECT_EQ(Lex("a=-b").tokens, Tokens({kTokIdent, kTokAssign, kTokMinus, kTokIdent}));
    EXPECT_EQ(Lex("===").tokens, Tokens({kTokEq, kTokAssign}));
    EXPECT_EQ(Lex("<=>=!=!&&||<>").tokens,
              Tokens({kTokLe, kTokGe, kTokNe, kTokNot, kTokAnd, kTokOr, kTokLt, kTokGt}));
    EXPECT_EQ(Lex("{}(),;+-*/").tokens,
              Tokens({kTokLBrace, kTokRBrace, kTokLParen, kTokRParen, kTokComma, kTokSemicolon,
                      kTokPlus, kTokMinus, kTokMul, kTokDiv}));
}

TEST(LexerTest, NumbersAreDecimalLiterals) {
    Lexed lexed = Lex(".5 5. 1e3 2.5E-2 5.e1 007");
    EXPECT_EQ(lexed.tokens, Tokens(6, kTokNumber));
    EXPECT_EQ(lexed.numbers, std::vector<double>({0.5, 5.0, 1000.0, 0.025, 50.0, 7.0}));
    EXPECT_EQ(Lex("2x").tokens, Tokens({kTokNumber, kTokX}));
    EXPECT_EQ(Lex("x2").tokens, Tokens({kTokIdent}));
    // An exponent needs digits; hexadecimal is not a number form.
    EXPECT_EQ(Lex("1e").tokens, Tokens({kTokNumber, kTokIdent}));
    EXPECT_EQ(Lex("1e+").tokens, Tokens({kTokNumber, kTokIdent, kTokPlus}));
    Lexed hex = Lex("0x10");
    EXPECT_EQ(hex.tokens, Tokens({kTokNumber, kTokIdent}));
    EXPECT_EQ(hex.numbers, std::vector<double>({0.0}));
    EXPECT_EQ(hex.names, std::vector<std::string>({"x10"}));
    // A sign is an operator, not part of the literal.
    EXPECT_EQ(Lex("1-2").tokens, Tokens({kTokNumber, kTokMinus, kTokNumber}));
    EXPECT_EQ(Lex("1.5.5").numbers, std::vector<double>({1.5, 0.5}));
}

TEST(LexerTest, LiteralsOutOfRangeReadLikeTheCLibrary) {
    Lexed lexed = Lex("1e400 1e-400 0.0001e-320 12345e-5000 0.001e312");
    ASSERT_EQ(lexed.numbers.size(), 5u);
    EXPECT_TRUE(std::isinf(lexed.numbers[0]));
    EXPECT_EQ(lexed.numbers[1], 0.0);
    EXPECT_EQ(lexed.numbers[2], 0.0);
    EXPECT_EQ(lexed.numbers[3], 0.0);
    EXPECT_TRUE(std::isinf(lexed.numbers[4]));
    EXPECT_EQ(lexed.errors, 0);
}

TEST(LexerTest, NamesLongerThanSixteenAreCut) {
    Lexed ok = Lex("abcdefghijklmnop");
    EXPECT_EQ(ok.errors, 0);
    EXPECT_EQ(ok.names, std::vector<std::string>({"abcdefghijklmnop"}));
    Lexed cut = Lex("abcdefghijklmnopq = 1");
    EXPECT_EQ(cut.errors, 1);
    EXPECT_EQ(cut.messages, "[IDENT SIZE TOO LONG]\r\n");
    EXPECT_EQ(cut.names, std::vector<std::string>({"abcdefghijklmnop"}));
    // The whole word is consumed.
    EXPECT_EQ(cut.tokens, Tokens({kTokIdent, kTokAssign, kTokNumber}));
}

TEST(LexerTest, CommentsAndBlanksAreSkipped) {
    EXPECT_EQ(Lex("a // b c\r\nd").names, std::vector<std::string>({"a", "d"}));
    EXPECT_EQ(Lex("a // final comment without line end").tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("//").tokens, Tokens());
    EXPECT_EQ(Lex("a/ /b").tokens, Tokens({kTokIdent, kTokDiv, kTokDiv, kTokIdent}));
    EXPECT_EQ(Lex("\t\v\f\x01 a\x7f b").tokens, Tokens({kTokIdent, kTokIdent}));
}

TEST(LexerTest, ZeroOrFfByteEndsTheText) {
    std::string withZero("a\0b", 3);
    EXPECT_EQ(Lex(withZero).tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("a \xff b").tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("a // note \xff\nb").tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("a \xff b").errors, 0);
}

TEST(LexerTest, InvalidCharacterEndsTheText) {
    Lexed lexed = Lex("a $ b");
    EXPECT_EQ(lexed.tokens, Tokens({kTokIdent}));
    EXPECT_EQ(lexed.errors, 1);
    EXPECT_EQ(lexed.messages, "[WORD OR CHARACTER INVALID]\r\n");
    EXPECT_EQ(Lex("a_b").tokens, Tokens({kTokIdent}));
    EXPECT_EQ(Lex("a_b").errors, 1);
    EXPECT_EQ(Lex(". 5").errors, 1);
    // Bytes outside ASCII (a double-byte character) start no token.
    Lexed kanji = Lex("a \x83\x41 b");
    EXPECT_EQ(kanji.tokens, Tokens({kTokIdent}));
    EXPECT_EQ(kanji.errors, 1);
    // ...but inside a comment they are skipped with it.
    EXPECT_EQ(Lex("a // \x83\x41\nb").tokens, Tokens({kTokIdent, kTokIdent}));
}

TEST(LexerTest, CurrentLineIsTheRestOfTheTokensLine) {
    IdentifierTable table;
    CompileLog log;
    Lexer lexer(table, log);
    std::string longLine = "b = " + std::string(100, '1') + ";";
    std::string source = "a = 1;\r\n  c = 2; // note\n" + longLine;
    lexer.Reset(source.c_str());
    TokenValue value;
    lexer.Next(&value);
    EXPECT_STREQ(lexer.CurrentLine(), "a = 1;");
    lexer.Next(&value);
    EXPECT_STREQ(lexer.CurrentLine(), "= 1;");
    lexer.Next(&value);
    lexer.Next(&value);
    lexer.Next(&value);  // c
    EXPECT_STREQ(lexer.CurrentLine(), "c = 2; // note");
    for (int i = 0; i < 3; ++i) lexer.Next(&value);
    lexer.Next(&value);  // b
    EXPECT_EQ(std::string(lexer.CurrentLine()), longLine.substr(0, 79));
    while (lexer.Next(&value) != kTokEnd) {
    }
    // The end of the text starts no token: the line of the last token stays.
    EXPECT_STREQ(lexer.CurrentLine(), ";");
}

TEST(IdentifierTableTest, NamesGetIndicesInOrderOfFirstAppearance) {
    IdentifierTable table;
    CompileLog log;
    EXPECT_EQ(table.Intern("rr", log), 0);
    EXPECT_EQ(table.Intern("A", log), 1);
    EXPECT_EQ(table.Intern("a", log), 2);  // case-sensitive
    EXPECT_EQ(table.Intern("rr", log), 0);
    EXPECT_EQ(table.Count(), 3);
    EXPECT_STREQ(table.Name(1), "A");
    EXPECT_STREQ(table.Name(3), "");
    EXPECT_STREQ(table.Name(-1), "");
    EXPECT_EQ(table.Find("a"), 2);
    EXPECT_EQ(table.Find("b"), -1);
    EXPECT_EQ(log.errorCount, 0);
}

// Distinct two-letter names: "aa", "ab", ...
std::string TwoLetterName(int i) {
    return std::string(1, static_cast<char>('a' + i / 26)) + static_cast<char>('a' + i % 26);
}

int CountOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(IdentifierTableTest, PoolHoldsAtMost199Bytes) {
    IdentifierTable table;
    CompileLog log;
    for (int i = 0; i < 65; ++i) EXPECT_EQ(table.Intern(TwoLetterName(i), log), i);  // 195 bytes
    EXPECT_EQ(table.Intern("abc", log), 65);                                         // 199 bytes
    EXPECT_EQ(log.errorCount, 0);
    EXPECT_TRUE(!table.HasRoomFor("q"));
    EXPECT_TRUE(table.HasRoomFor("abc"));

    // The next name does not fit: counted, not stored, but it still gets an index.
    EXPECT_EQ(table.Intern("q", log), 66);
    EXPECT_EQ(log.errorCount, 1);
    EXPECT_STREQ(log.messages.Text(), "[poolarea overflow]\r\n");
    EXPECT_STREQ(table.Name(66), "");
    EXPECT_STREQ(table.Name(65), "abc");
    EXPECT_EQ(table.Intern("abc", log), 65);
    EXPECT_EQ(log.errorCount, 1);
}

TEST(IdentifierTableTest, HundredthNameIsRefused) {
    IdentifierTable table;
    CompileLog log;
    for (int i = 0; i < 99; ++i) EXPECT_EQ(table.Intern(TwoLetterName(i), log), i);
    std::string messages = log.messages.Text();
    // The pool fills first (66 two-letter names); the count rule still holds after it.
    EXPECT_EQ(CountOf(messages, "[poolarea overflow]"), 99 - 66);
    EXPECT_EQ(CountOf(messages, "[too many ident/string]"), 0);
    EXPECT_EQ(table.Count(), 99);

    EXPECT_EQ(table.Intern(TwoLetterName(99), log), 99);
    messages = log.messages.Text();
    EXPECT_EQ(CountOf(messages, "[too many ident/string]"), 1);
    EXPECT_EQ(table.Count(), 99);
    EXPECT_EQ(log.errorCount, 99 - 66 + 2);
    // Names stored before the pool filled are still found.
    EXPECT_EQ(table.Intern(TwoLetterName(65), log), 65);
}

}  // namespace
}  // namespace velmor
