// The script text handed to the compiler from a file, and the Compile output text, as the
// Interpreter window and velmor-cli share them.
#include <gtest/gtest.h>

#include <string>

#include "core/interp/compile_report.h"
#include "core/interp/script_engine.h"

namespace velmor {
namespace {

TEST(CompileInputTest, LineEndsBecomeCrLfAndNoCharacterIsSplit) {
    EXPECT_EQ(CompilerInputFromFile("a=1;\nb=2;\r\nc=3;\rz=4;"), "a=1;\r\nb=2;\r\nc=3;\r\nz=4;");
    // A lone trail byte and a lead byte at the very end form no character; a double-byte
    // character (U+3042 in code page 932) passes unchanged.
    EXPECT_EQ(CompilerInputFromFile("z=1;\x80//\x82"), "z=1;?//?");
    EXPECT_EQ(CompilerInputFromFile("//\x82\xA0\nz=1;"), "//\x82\xA0\r\nz=1;");
    // Cut to a limit: eight bytes fit "//" and three characters, the fourth would end past it;
    // a line end counts with both of its bytes.
    bool cut = false;
    EXPECT_EQ(CompilerInputFromFile("//\x82\xA0\x82\xA0\x82\xA0\x82\xA0", 9, &cut),
              "//\x82\xA0\x82\xA0\x82\xA0");
    EXPECT_TRUE(cut);
    EXPECT_EQ(CompilerInputFromFile("z=1;\n", 5, &cut), "z=1;\r");
}

TEST(CompileInputTest, ReportOfAnEmptySourceKeepsTheCodeCompiledBefore) {
    CScriptEngine engine;
    EXPECT_EQ(CompileReport(engine, "z = x;\r\n"), "-- PARSER : no error --\r\n");
    const int instructions = engine.InstructionCount();
    ASSERT_GT(instructions, 0);
    EXPECT_EQ(CompileReport(engine, ""), "-- source : empty --\r\n");
    EXPECT_EQ(engine.InstructionCount(), instructions);
}

}  // namespace
}  // namespace velmor
