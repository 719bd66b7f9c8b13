// Parser: statements, the language's precedence, error recovery and the parser's limits.
#include <gtest/gtest.h>

#include <string>

#include "script_test_util.h"

namespace velmor::test {
namespace {

TEST(ParserTest, RecoveryGivesOneMessagePerBadStatement) {
    CScriptEngine engine;
    // A missing ";": one message (tokens up to the next ";" are skipped silently); the
    // statements after it are still checked.
    EXPECT_EQ(CompileMessages(engine, "a = 1\nb = 2 c d;\nz = a;\nw = ;\nz = 3;"),
              "[syntax error]b = 2 c d;\r\n[syntax error];\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 2);
    // At the end of the text the quoted line is that of the last token.
    EXPECT_EQ(CompileMessages(engine, "a = 1;\nz = x + 1"), "[syntax error]1\r\n");
    // A stray "}" is consumed; recovery ends at it.
    EXPECT_EQ(CompileMessages(engine, "z = 1; } z = ;"),
              "[syntax error]} z = ;\r\n[syntax error];\r\n");
    EXPECT_EQ(CompileMessages(engine, "{ z = 1 2 } z = 3; }"), "[syntax error]2 } z = 3; }\r\n");
    // An invalid character ends the text inside an open statement.
    EXPECT_EQ(CompileMessages(engine, "z = 1 $ + 2;\nw = ;"),
              "[WORD OR CHARACTER INVALID]\r\n[syntax error]$ + 2;\r\n");
}

TEST(ParserTest, MalformedStatementsCompileToNothing) {
    CScriptEngine engine;
    for (const char* source :
         {"x = 1;", "1 = z;", "pi = 3;", "z = max(1);", "z = sin(1, 2);", "z = log1(2);",
          "else z = 1;", "z = 1 = 2;", "{ z = 1;", "z = 1; z = 2; z = ;"}) {
        engine.Compile(source);
        EXPECT_GE(engine.CompileErrorCount(), 1) << source;
        EXPECT_EQ(engine.InstructionCount(), 0) << source;
    }
}

TEST(ParserTest, PrecedenceIsTheLanguagesOwn) {
    EXPECT_EQ(EvalZ("z = 2 * 3 + 4 < 5;"), 7.0);  // (2 * 3) + (4 < 5)
    EXPECT_EQ(EvalZ("z = 6 == 2 * 3;"), 0.0);     // (6 == 2) * 3
    EXPECT_EQ(EvalZ("z = 1 + 1 && 0;"), 1.0);     // 1 + (1 && 0)
    EXPECT_EQ(EvalZ("z = 0 && 1 || 1;"), 1.0);
    EXPECT_EQ(EvalZ("z = 8 - 2 - 1 + 8 / 2 / 2;"), 7.0);  // left-associative
    EXPECT_EQ(EvalZ("z = !0 + 1;"), 2.0);                 // unary binds tightest
    EXPECT_EQ(EvalZ("z = -2 - -3;"), 1.0);
    EXPECT_EQ(EvalZ("z = -pow(2, 3) + max(1, 2) * min(3, 4);"), -2.0);
}

TEST(ParserTest, ElseBelongsToTheNearestIf) {
    const char* source = "a = x; b = y; z = 0; if (a) if (b) z = 1; else z = 2;";
    EXPECT_EQ(EvalZ(source, 0, 0) + 10 * EvalZ(source, 1, 0) + 100 * EvalZ(source, 1, 1), 120);
    EXPECT_EQ(EvalZ("a = x; b = y; z = 0; if (a) { if (b) z = 1; } else z = 2;", 0, 0), 2.0);
}

std::string NestedParentheses(int depth) {
    return "z = " + std::string(depth, '(') + "1" + std::string(depth, ')') + ";";
}

TEST(ParserTest, ParserStackHolds200Entries) {
    CScriptEngine engine;
    EXPECT_EQ(CompileMessages(engine, NestedParentheses(195)), "");
    EXPECT_EQ(engine.InstructionCount(), 2);
    // The push of the first ")" is the 201st entry; the quoted line starts at that token.
    EXPECT_EQ(CompileMessages(engine, NestedParentheses(196)),
              "[parser stack overflow]" + std::string(79, ')') + "\r\n");
    EXPECT_EQ(engine.InstructionCount(), 0);
    EXPECT_EQ(CountOf(CompileMessages(engine, NestedParentheses(5000)), "[parser"), 1);
    // Nested blocks use the same stack, two entries a level.
    EXPECT_EQ(CountOf(CompileMessages(engine, Repeat("{", 100) + Repeat("}", 100)), "[parser"), 1);
}

// A right-hand side of exactly `nodes` nodes: "-1" is two nodes, each "+ 1" two more.
std::string ExpressionOfNodes(int nodes) {
    std::string text = nodes % 2 == 0 ? "-1" : "1";
    for (int used = nodes % 2 == 0 ? 2 : 1; used < nodes; used += 2) text += " + 1";
    return text;
}

TEST(ParserTest, NodeAreaHolds100Nodes) {
    CScriptEngine engine;
    // Every statement starts with an empty node area; parentheses make no nodes.
    std::string hundred = "z = (" + ExpressionOfNodes(100) + ");";
    EXPECT_EQ(CompileMessages(engine, hundred + hundred), "");
    EXPECT_EQ(CompileMessages(engine, "if (" + ExpressionOfNodes(101) + ") z = 1;"),
              "[nodearea overflow]\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 1);
    // Each further request counts again; the area is never written past its end.
    CompileMessages(engine, "z = " + ExpressionOfNodes(180) + ";");
    EXPECT_EQ(engine.CompileErrorCount(), 80);
    // Error recovery empties the area: 60 abandoned nodes, then a full 100-node statement.
    EXPECT_EQ(CompileMessages(engine, "z = " + ExpressionOfNodes(60) + " 1;\n" + hundred),
              "[syntax error]1;\r\n");
}

}  // namespace
}  // namespace velmor::test
