// Replays the inputs kept under tests/data/script_crashes/ (inputs that once broke the engine
// under the fuzzer, and hand-made hostile programs): each must compile, list and run with
// every table and text within its limits, on a fresh engine and on one reused for all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "core/interp/script_engine.h"

namespace velmor {
namespace {

TEST(ScriptCrashesTest, KeptInputsCompileAndRunSafely) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inputs[][2] = {{0, 0}, {1e308, -1e308}, {nan, HUGE_VAL}};
    int files = 0;
    CScriptEngine longLived;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(VELMOR_TEST_DATA_DIR) / "script_crashes")) {
        ++files;
        std::ostringstream source;
        source << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        SCOPED_TRACE(entry.path().filename().string());
        CScriptEngine fresh;
        for (CScriptEngine* engine : {&longLived, &fresh}) {
            engine->Compile(source.str().c_str());
            EXPECT_LT(std::strlen(engine->CompileMessageText()), 2048u);
            EXPECT_LE(engine->InstructionCount(), engine->CompileErrorCount() > 0 ? 0 : 1000);
            if (engine->InstructionCount() > 0) engine->MakeListing();
            for (const auto& xy : inputs) {
                engine->SetInputs(xy[0], xy[1]);
                engine->Run(xy[0] == 0);
                double z = 0.0;
                engine->ResultOfPoint(&z);
                engine->ZAssigned(&z);
                EXPECT_LT(std::strlen(engine->RunMessageText()), 2048u);
            }
            engine->AppendErrorSummary();
            EXPECT_LT(std::strlen(engine->RunMessageText()), 2048u);
        }
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace velmor
