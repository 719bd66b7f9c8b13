// Compile operation: the intermediate code, its labels, its limits and its listing.
#include <gtest/gtest.h>

#include <string>

#include "script_test_util.h"

namespace velmor::test {
namespace {

constexpr const char* kHeader = "LINE  OP_CODE    SUB_CODE   REF\r\n";

TEST(ListingTest, EveryOperandForm) {
    EXPECT_EQ(Listing("//program ex.\r\na = pi; b = PI * y - -a;\t// note\r\n"
                      "z = 0.25 + 1e15 + 1e-5 + 123456789 + 100000 + 1e6 + 1e400;"),
              std::string(kHeader) +
                  "   0  PUSH_NUM   3.14 ...\r\n   1  POP        a\r\n"
                  "   2  PUSH_NUM   3.14 ...\r\n   3  PUSH_IDNT  y\r\n"
                  "   4  CAL        *\r\n   5  PUSH_IDNT  a\r\n"
                  "   6  CAL        - (minus sign)\r\n   7  CAL        - (subtraction)\r\n"
                  "   8  POP        b\r\n   9  PUSH_NUM   0.25\r\n"
                  "  10  PUSH_NUM   1E+15\r\n  11  CAL        +\r\n"
                  "  12  PUSH_NUM   1E-05\r\n  13  CAL        +\r\n"
                  "  14  PUSH_NUM   1.23457E+08\r\n  15  CAL        +\r\n"
                  "  16  PUSH_NUM   100000\r\n  17  CAL        +\r\n"
                  "  18  PUSH_NUM   1E+06\r\n  19  CAL        +\r\n"
                  "  20  PUSH_NUM   INF\r\n  21  CAL        +\r\n"
                  "  22  POP        z\r\n");
}

TEST(ListingTest, NestedIfElseJumpsNameTheirOwnLabelRows) {
    const char* source =
        "a = x; b = y;\n"
        "if (a) { if (b) z = 1; else z = 2; } else z = 3;";
    EXPECT_EQ(Listing(source), std::string(kHeader) +
                                   "   0  PUSH_IDNT  x\r\n   1  POP        a\r\n"
                                   "   2  PUSH_IDNT  y\r\n   3  POP        b\r\n"
                                   "   4  PUSH_IDNT  a\r\n   5  JPF        16\r\n"
                                   "   6  PUSH_IDNT  b\r\n   7  JPF        11\r\n"
                                   "   8  PUSH_NUM   1\r\n   9  POP        z\r\n"
                                   "  10  JMP        14\r\n  11  LBL        1\r\n"
                                   "  12  PUSH_NUM   2\r\n  13  POP        z\r\n"
                                   "  14  LBL        2\r\n  15  JMP        19\r\n"
                                   "  16  LBL        0\r\n  17  PUSH_NUM   3\r\n"
                                   "  18  POP        z\r\n  19  LBL        3\r\n");
    CScriptEngine engine;
    engine.Compile(source);
    EXPECT_EQ(RunZ(engine, 1, 1) + 10 * RunZ(engine, 1, 0) + 100 * RunZ(engine, 0, 1), 321);
}

TEST(CompilerTest, CodeAreaHolds1000Instructions) {
    CScriptEngine engine;
    EXPECT_EQ(CompileMessages(engine, Repeat("z = 1;", 500)), "");
    EXPECT_EQ(engine.InstructionCount(), 1000);
    EXPECT_EQ(CompileMessages(engine, Repeat("z = 1;", 499) + "z = -1;"),
              "[codearea overflow]\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 1);
    EXPECT_EQ(engine.InstructionCount(), 0);  // a failed compile keeps nothing to run
    double z = 0.0;
    engine.Run(false);
    EXPECT_FALSE(engine.ResultOfPoint(&z));
    // Far past the end: every refused instruction counts; the text is cut at 2047 bytes.
    std::string messages = CompileMessages(engine, Repeat("z = 1;", 2000));
    EXPECT_EQ(engine.CompileErrorCount(), 3000);
    EXPECT_EQ(messages, Repeat("[codearea overflow]\r\n", 98).substr(0, 2047));
    engine.Compile("b = 2; z = b;");  // a later good compile starts afresh
    EXPECT_EQ(RunZ(engine), 2.0);
}

TEST(CompilerTest, LabelTableHolds100Labels) {
    CScriptEngine engine;
    EXPECT_EQ(CompileMessages(engine, Repeat("if (1) ;", 100)), "");
    EXPECT_EQ(engine.InstructionCount(), 300);
    EXPECT_EQ(CompileMessages(engine, Repeat("if (1) ;", 101)), "[lbltable overflow]\r\n");
    EXPECT_EQ(engine.InstructionCount(), 0);
    EXPECT_EQ(CompileMessages(engine, Repeat("if (1) ; else ;", 51)),
              "[lbltable overflow]\r\n[lbltable overflow]\r\n");
}

}  // namespace
}  // namespace velmor::test
