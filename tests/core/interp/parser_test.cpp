// Parser: statements, the language's precedence, error recovery and the parser's limits.
#include <gtest/gtest.h>

#include <string>

#include "script_test_util.h"

namespace velmor {
namespace {

using testing::CompileMessages;
using testing::CountOf;
using testing::EvalZ;
using testing::Repeat;

TEST(ParserTest, EmptyProgramsCompileToNothing) {
    for (const char* source :
         {"", "   \r\n", "// only a comment", ";;;", "{ ; { } }\n// end", "{}{}"}) {
        CScriptEngine engine;
        engine.Compile(source);
        EXPECT_EQ(engine.CompileErrorCount(), 0) << source;
        EXPECT_EQ(engine.InstructionCount(), 0) << source;
        EXPECT_STREQ(engine.CompileMessageText(), "") << source;
    }
}

TEST(ParserTest, MissingSemicolonAtTheEndIsOneError) {
    CScriptEngine engine;
    // The end of the text starts no token: the quoted line is that of the last token.
    EXPECT_EQ(CompileMessages(engine, "a = 1;\nz = x + 1"), "[syntax error]1\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 1);
    EXPECT_EQ(engine.InstructionCount(), 0);
}

TEST(ParserTest, RecoveryResumesAfterTheNextSemicolon) {
    CScriptEngine engine;
    // One message for the missing ";" (the tokens up to the next ";" are skipped silently);
    // the statements after it are still checked.
    EXPECT_EQ(CompileMessages(engine, "a = 1\nb = 2 c d;\nz = a;\nw = ;\nz = 3;"),
              "[syntax error]b = 2 c d;\r\n[syntax error];\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 2);
    EXPECT_EQ(engine.InstructionCount(), 0);
    // Statements after the recovery point are fine: only one error.
    EXPECT_EQ(CompileMessages(engine, "a = 1 b = 2;\nz = a;"), "[syntax error]b = 2;\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 1);
}

TEST(ParserTest, StrayClosingBraceIsConsumed) {
    CScriptEngine engine;
    EXPECT_EQ(CompileMessages(engine, "z = 1; } z = 2;"), "[syntax error]} z = 2;\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 1);
    // Recovery ends at the brace: an error right after it is reported again.
    EXPECT_EQ(CompileMessages(engine, "z = 1; } z = ;"),
              "[syntax error]} z = ;\r\n[syntax error];\r\n");
    // An error inside a block recovers at the block's closing brace, which then ends the
    // error statement: the block itself is still open at the end of the text.
    EXPECT_EQ(CompileMessages(engine, "{ z = 1 2 } z = 3;"),
              "[syntax error]2 } z = 3;\r\n[syntax error];\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 2);
    EXPECT_EQ(CompileMessages(engine, "{ z = 1 2 } z = 3; }"), "[syntax error]2 } z = 3; }\r\n");
}

TEST(ParserTest, OnlyNamesCanBeAssigned) {
    CScriptEngine engine;
    for (const char* source : {"x = 1;",
                               "y = 1;",
                               "1 = z;",
                               "z;",
                               "z + 1;",
                               "pi = 3;",
                               "-z = 1;",
                               "sin = 1;",
                               "z = 1 +;",
                               "z = (1;",
                               "z = 1);",
                               "z = max(1);",
                               "z = pow(1, 2, 3);",
                               "z = sin(1, 2);",
                               "z = log1(2);",
                               "if z = 1;",
                               "if () z = 1;",
                               "else z = 1;",
                               "z == 1;",
                               "z = 1 = 2;",
                               "{ z = 1;"}) {
        engine.Compile(source);
        EXPECT_GE(engine.CompileErrorCount(), 1) << source;
        EXPECT_EQ(engine.InstructionCount(), 0) << source;
    }
}

TEST(ParserTest, InvalidCharacterEndsTheParse) {
    CScriptEngine engine;
    // The statement is open when the text "ends": a syntax error follows.
    EXPECT_EQ(CompileMessages(engine, "z = 1 $ + 2;\nw = ;"),
              "[WORD OR CHARACTER INVALID]\r\n[syntax error]$ + 2;\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 2);
    EXPECT_EQ(CompileMessages(engine, "z = 1; $ w = ;"), "[WORD OR CHARACTER INVALID]\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 1);
}

TEST(ParserTest, PrecedenceIsTheLanguagesOwn) {
    EXPECT_EQ(EvalZ("z = 2 * 3 + 4 < 5;"), 7.0);  // (2 * 3) + (4 < 5)
    EXPECT_EQ(EvalZ("z = 6 == 2 * 3;"), 0.0);     // (6 == 2) * 3
    EXPECT_EQ(EvalZ("z = 2 * 3 == 6;"), 1.0);
    EXPECT_EQ(EvalZ("z = 1 + 1 && 0;"), 1.0);  // 1 + (1 && 0)
    EXPECT_EQ(EvalZ("z = 3 < 2 + 5;"), 5.0);   // (3 < 2) + 5
    EXPECT_EQ(EvalZ("z = 1 || 0 && 0;"), 1.0);
    EXPECT_EQ(EvalZ("z = 0 && 1 || 1;"), 1.0);
    EXPECT_EQ(EvalZ("z = 8 - 2 - 1;"), 5.0);  // left-associative
    EXPECT_EQ(EvalZ("z = 8 / 2 / 2;"), 2.0);
    EXPECT_EQ(EvalZ("z = 1 - 2 + 3;"), 2.0);
    EXPECT_EQ(EvalZ("z = 5 > 4 > 3;"), 0.0);  // (5 > 4) > 3
    EXPECT_EQ(EvalZ("z = !0 + 1;"), 2.0);     // unary binds tightest
    EXPECT_EQ(EvalZ("z = !1 * 5;"), 0.0);
    EXPECT_EQ(EvalZ("z = -2 - -3;"), 1.0);
    EXPECT_EQ(EvalZ("z = --2;"), 2.0);
    EXPECT_EQ(EvalZ("z = !!5;"), 1.0);
    EXPECT_EQ(EvalZ("z = (1 + 2) * 3;"), 9.0);
    EXPECT_EQ(EvalZ("z = -pow(2, 3) + max(1, 2) * min(3, 4);"), -2.0);
}

TEST(ParserTest, ElseBelongsToTheNearestIf) {
    const char* source = "a = x; b = y; z = 0; if (a) if (b) z = 1; else z = 2;";
    EXPECT_EQ(EvalZ(source, 0, 0), 0.0);
    EXPECT_EQ(EvalZ(source, 0, 1), 0.0);
    EXPECT_EQ(EvalZ(source, 1, 0), 2.0);
    EXPECT_EQ(EvalZ(source, 1, 1), 1.0);
    const char* braces = "a = x; b = y; z = 0; if (a) { if (b) z = 1; } else z = 2;";
    EXPECT_EQ(EvalZ(braces, 0, 0), 2.0);
    EXPECT_EQ(EvalZ(braces, 1, 0), 0.0);
}

std::string NestedParentheses(int depth) {
    return "z = " + std::string(depth, '(') + "1" + std::string(depth, ')') + ";";
}

TEST(ParserTest, ParserStackHolds200Entries) {
    CScriptEngine engine;
    EXPECT_EQ(CompileMessages(engine, NestedParentheses(195)), "");
    EXPECT_EQ(engine.InstructionCount(), 2);
    std::string messages = CompileMessages(engine, NestedParentheses(196));
    EXPECT_EQ(engine.CompileErrorCount(), 1);
    EXPECT_EQ(engine.InstructionCount(), 0);
    // The push of the first ")" is the 201st entry; the quoted line starts at that token and
    // is cut to 79 bytes.
    EXPECT_EQ(messages, "[parser stack overflow]" + std::string(79, ')') + "\r\n");
    // Nesting deeper still stops at the same point with one message.
    EXPECT_EQ(CountOf(CompileMessages(engine, NestedParentheses(5000)), "[parser"), 1);
    // Nested blocks use the same stack, two entries a level.
    EXPECT_EQ(CompileMessages(engine, Repeat("{", 99) + Repeat("}", 99)), "");
    EXPECT_EQ(CountOf(CompileMessages(engine, Repeat("{", 100) + Repeat("}", 100)),
                      "[parser stack overflow]"),
              1);
    EXPECT_EQ(CountOf(CompileMessages(engine, Repeat("if (1) ", 300) + "z = 1;"),
                      "[parser stack overflow]"),
              1);
}

// A right-hand side of exactly `nodes` nodes: "-1" is two nodes, each "+ 1" two more.
std::string ExpressionOfNodes(int nodes) {
    std::string text = nodes % 2 == 0 ? "-1" : "1";
    for (int used = nodes % 2 == 0 ? 2 : 1; used < nodes; used += 2) text += " + 1";
    return text;
}

TEST(ParserTest, NodeAreaHolds100Nodes) {
    CScriptEngine engine;
    // Every statement starts with an empty node area.
    std::string hundred = "z = " + ExpressionOfNodes(100) + ";";
    EXPECT_EQ(
        CompileMessages(engine, hundred + hundred + "if (" + ExpressionOfNodes(100) + ") z = 1;"),
        "");
    EXPECT_EQ(engine.InstructionCount(), 2 * 101 + 100 + 1 + 2 + 1);

    EXPECT_EQ(CompileMessages(engine, "z = " + ExpressionOfNodes(101) + ";"),
              "[nodearea overflow]\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 1);
    EXPECT_EQ(engine.InstructionCount(), 0);
    EXPECT_EQ(CompileMessages(engine, "if (" + ExpressionOfNodes(101) + ") z = 1;"),
              "[nodearea overflow]\r\n");
    // Parentheses make no nodes.
    EXPECT_EQ(CompileMessages(engine, "z = (((" + ExpressionOfNodes(100) + ")));"), "");
    // Each further request counts again; the area is never written past its end.
    CompileMessages(engine, "z = " + ExpressionOfNodes(180) + ";");
    EXPECT_EQ(engine.CompileErrorCount(), 80);
}

TEST(ParserTest, NodeAreaIsEmptiedByErrorRecovery) {
    CScriptEngine engine;
    // 60 nodes abandoned by an error, then a full 100-node statement: only the syntax error.
    std::string messages = CompileMessages(
        engine, "z = " + ExpressionOfNodes(60) + " 1;\nz = " + ExpressionOfNodes(100) + ";");
    EXPECT_EQ(CountOf(messages, "[syntax error]"), 1);
    EXPECT_EQ(CountOf(messages, "nodearea"), 0);
    EXPECT_EQ(engine.CompileErrorCount(), 1);
}

}  // namespace
}  // namespace velmor
