// Compile operation: the intermediate code, its labels, its limits and its listing.
#include "interp/compiler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "script_test_util.h"

namespace velmor {
namespace {

using testing::CompileMessages;
using testing::CountOf;
using testing::Listing;
using testing::Repeat;
using testing::RunZ;

constexpr const char* kHeader = "LINE  OP_CODE    SUB_CODE   REF\r\n";

TEST(ListingTest, SimpleAssignment) {
    EXPECT_EQ(Listing("z = x + 1;"), std::string(kHeader) +
                                         "   0  PUSH_IDNT  x\r\n"
                                         "   1  PUSH_NUM   1\r\n"
                                         "   2  CAL        +\r\n"
                                         "   3  POP        z\r\n");
}

TEST(ListingTest, EveryOperandForm) {
    EXPECT_EQ(Listing("a = pi; b = PI * y - -a; z = 0.25 + 1e15 + 1e-5 + 123456789 + 100000 + "
                      "1e6 + 1e400;"),
              std::string(kHeader) +
                  "   0  PUSH_NUM   3.14 ...\r\n"
                  "   1  POP        a\r\n"
                  "   2  PUSH_NUM   3.14 ...\r\n"
                  "   3  PUSH_IDNT  y\r\n"
                  "   4  CAL        *\r\n"
                  "   5  PUSH_IDNT  a\r\n"
                  "   6  CAL        - (minus sign)\r\n"
                  "   7  CAL        - (subtraction)\r\n"
                  "   8  POP        b\r\n"
                  "   9  PUSH_NUM   0.25\r\n"
                  "  10  PUSH_NUM   1E+15\r\n"
                  "  11  CAL        +\r\n"
                  "  12  PUSH_NUM   1E-05\r\n"
                  "  13  CAL        +\r\n"
                  "  14  PUSH_NUM   1.23457E+08\r\n"
                  "  15  CAL        +\r\n"
                  "  16  PUSH_NUM   100000\r\n"
                  "  17  CAL        +\r\n"
                  "  18  PUSH_NUM   1E+06\r\n"
                  "  19  CAL        +\r\n"
                  "  20  PUSH_NUM   INF\r\n"
                  "  21  CAL        +\r\n"
                  "  22  POP        z\r\n");
}

TEST(ListingTest, SubCodeNames) {
    std::string listing = Listing(
        "z = 1 == 2 != 3 > 4 >= 5 < 6 <= 7 && 8 / 9 || !1;"
        "z = sin(cos(tan(asin(acos(atan(sinh(cosh(tanh(exp(ln(log(log10(1)))))))))))));"
        "z = pow(sqrt(abs(1)), max(1, min(2, 3)));");
    std::vector<std::string> names;
    std::istringstream rows(listing);
    for (std::string row; std::getline(rows, row);) {
        if (row.compare(6, 3, "CAL") == 0) names.push_back(row.substr(17, row.size() - 18));
    }
    EXPECT_EQ(names,
              std::vector<std::string>({"==",   "!=",   ">",    ">=",    "<",    "<=",   "&&",
                                        "/",    "!",    "||",   "LOG10", "LOG",  "LN",   "EXP",
                                        "TANH", "COSH", "SINH", "ATAN",  "ACOS", "ASIN", "TAN",
                                        "COS",  "SIN",  "ABS",  "SQRT",  "MIN",  "MAX",  "POW"}));
}

TEST(ListingTest, DefaultExampleStartsWithCurvature) {
    std::string listing = Listing("//program ex. <Even Asphere>\r\nc = 0.25;\t//curvature\r\n");
    EXPECT_EQ(listing, std::string(kHeader) +
                           "   0  PUSH_NUM   0.25\r\n"
                           "   1  POP        c\r\n");
}

TEST(ListingTest, NestedIfElseJumpsNameTheirOwnLabelRows) {
    const char* source =
        "a = x; b = y;\n"
        "if (a) { if (b) z = 1; else z = 2; } else z = 3;";
    EXPECT_EQ(Listing(source), std::string(kHeader) +
                                   "   0  PUSH_IDNT  x\r\n"
                                   "   1  POP        a\r\n"
                                   "   2  PUSH_IDNT  y\r\n"
                                   "   3  POP        b\r\n"
                                   "   4  PUSH_IDNT  a\r\n"
                                   "   5  JPF        16\r\n"
                                   "   6  PUSH_IDNT  b\r\n"
                                   "   7  JPF        11\r\n"
                                   "   8  PUSH_NUM   1\r\n"
                                   "   9  POP        z\r\n"
                                   "  10  JMP        14\r\n"
                                   "  11  LBL        1\r\n"
                                   "  12  PUSH_NUM   2\r\n"
                                   "  13  POP        z\r\n"
                                   "  14  LBL        2\r\n"
                                   "  15  JMP        19\r\n"
                                   "  16  LBL        0\r\n"
                                   "  17  PUSH_NUM   3\r\n"
                                   "  18  POP        z\r\n"
                                   "  19  LBL        3\r\n");
    CScriptEngine engine;
    engine.Compile(source);
    EXPECT_EQ(RunZ(engine, 1, 1), 1.0);
    EXPECT_EQ(RunZ(engine, 1, 0), 2.0);
    EXPECT_EQ(RunZ(engine, 0, 1), 3.0);
}

// A nest of ifs of the given depth selecting z = floor(x) for x in [lo, lo + 2^depth); every
// other level leaves out the else and tests the opposite side instead.
std::string FloorNest(int lo, int depth) {
    if (depth == 0) return "z = " + std::to_string(lo) + ";";
    int mid = lo + (1 << (depth - 1));
    std::string low = FloorNest(lo, depth - 1);
    std::string high = FloorNest(mid, depth - 1);
    if (depth % 2 == 0) {
        return "if (x < " + std::to_string(mid) + ") {" + low + "} else {" + high + "}";
    }
    return "{ if (x < " + std::to_string(mid) + ") {" + low + "} if (x >= " + std::to_string(mid) +
           ") {" + high + "} }";
}

TEST(CompilerTest, EveryJumpTargetsTheLabelRowOfItsLabel) {
    std::string source = FloorNest(0, 5);
    CScriptEngine engine;
    engine.Compile(source.c_str());
    ASSERT_EQ(engine.CompileErrorCount(), 0) << engine.CompileMessageText();
    engine.MakeListing();
    std::vector<std::string> ops;
    std::vector<int> refs;
    std::istringstream rows(engine.ListingText());
    std::string row;
    std::getline(rows, row);  // header
    while (std::getline(rows, row)) {
        ops.push_back(row.substr(6, row.find(' ', 6) - 6));
        refs.push_back(std::atoi(row.c_str() + 17));
    }
    ASSERT_EQ(static_cast<int>(ops.size()), engine.InstructionCount());
    std::vector<int> labelUses(100, 0);
    int jumps = 0;
    for (size_t i = 0; i < ops.size(); ++i) {
        if (ops[i] == "LBL") ++labelUses[refs[i]];
        if (ops[i] != "JMP" && ops[i] != "JPF") continue;
        ++jumps;
        ASSERT_GT(refs[i], static_cast<int>(i));
        ASSERT_LT(refs[i], static_cast<int>(ops.size()));
        EXPECT_EQ(ops[refs[i]], "LBL") << "row " << i;
    }
    EXPECT_EQ(jumps, 2 * 31);  // two jumps in each of the 31 inner nests
    for (int uses : labelUses) EXPECT_LE(uses, 1);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(RunZ(engine, i + 0.5), i) << i;
}

TEST(CompilerTest, CodeAreaHolds1000Instructions) {
    CScriptEngine engine;
    EXPECT_EQ(CompileMessages(engine, Repeat("z = 1;", 500)), "");
    EXPECT_EQ(engine.InstructionCount(), 1000);
    EXPECT_EQ(CompileMessages(engine, Repeat("z = 1;", 499) + "z = -1;"),
              "[codearea overflow]\r\n");
    EXPECT_EQ(engine.CompileErrorCount(), 1);
    EXPECT_EQ(engine.InstructionCount(), 0);
    // Far past the end: every refused instruction counts; the text stops at its limit.
    std::string messages = CompileMessages(engine, Repeat("z = 1;", 2000));
    EXPECT_EQ(engine.CompileErrorCount(), 3000);
    EXPECT_EQ(messages.size(), 2047u);
    EXPECT_EQ(messages.substr(0, 21), "[codearea overflow]\r\n");
}

TEST(CompilerTest, LabelTableHolds100Labels) {
    CScriptEngine engine;
    EXPECT_EQ(CompileMessages(engine, Repeat("if (1) ;", 100)), "");
    EXPECT_EQ(engine.InstructionCount(), 300);
    EXPECT_EQ(CompileMessages(engine, Repeat("if (1) ; else ;", 50)), "");
    EXPECT_EQ(CompileMessages(engine, Repeat("if (1) ;", 101)), "[lbltable overflow]\r\n");
    EXPECT_EQ(engine.InstructionCount(), 0);
    EXPECT_EQ(CompileMessages(engine, Repeat("if (1) ; else ;", 51)),
              "[lbltable overflow]\r\n[lbltable overflow]\r\n");
}

TEST(CompilerTest, FailedCompileKeepsNothing) {
    CScriptEngine engine;
    engine.Compile("z = 1;");
    EXPECT_EQ(engine.InstructionCount(), 2);
    engine.Compile((Repeat("z = 1;", 20) + "z = ;").c_str());
    EXPECT_EQ(engine.CompileErrorCount(), 1);
    EXPECT_EQ(engine.InstructionCount(), 0);
    double z = 0.0;
    engine.Run(false);
    EXPECT_FALSE(engine.ResultOfPoint(&z));
    // A later good compile starts afresh: its names are numbered from 0 again.
    engine.Compile("b = 2; z = b;");
    EXPECT_EQ(engine.CompileErrorCount(), 0);
    EXPECT_STREQ(engine.CompileMessageText(), "");
    engine.MakeListing();
    EXPECT_EQ(std::string(engine.ListingText()), std::string(kHeader) +
                                                     "   0  PUSH_NUM   2\r\n"
                                                     "   1  POP        b\r\n"
                                                     "   2  PUSH_IDNT  b\r\n"
                                                     "   3  POP        z\r\n");
}

TEST(CompilerTest, DiscardInstructionsDropsTheCode) {
    CScriptEngine engine;
    engine.Compile("z = 1;");
    engine.DiscardInstructions();
    EXPECT_EQ(engine.InstructionCount(), 0);
    engine.Run(false);
    double z = 0.0;
    EXPECT_FALSE(engine.ResultOfPoint(&z));
}

TEST(CompilerTest, CompileMessagesAreCutAt2047Bytes) {
    CScriptEngine engine;
    // Each "x = 1;" line is one syntax error quoting its line, cut to 79 bytes.
    std::string line = "x = 1; // " + std::string(100, 'c') + "\n";
    std::string messages = CompileMessages(engine, Repeat(line, 200));
    EXPECT_EQ(engine.CompileErrorCount(), 200);
    EXPECT_EQ(messages.size(), 2047u);
    std::string one = "[syntax error]x = 1; // " + std::string(69, 'c') + "\r\n";
    EXPECT_EQ(messages.substr(0, one.size()), one);
    EXPECT_EQ(messages, Repeat(one, 200).substr(0, 2047));
}

TEST(FormatGTest, MatchesPrintfInTheCLocale) {
    for (double value : {0.0, 0.25, 1.0, 1e15, 1e-5, 123456789.0, 100000.0, 1e6, 0.0001, 3.14159265,
                         1e300, 4.9e-324, 1234567.0, 999999.5}) {
        char expected[64];
        std::snprintf(expected, sizeof(expected), "%G", value);
        EXPECT_EQ(FormatG(value), expected) << value;
    }
}

}  // namespace
}  // namespace velmor
