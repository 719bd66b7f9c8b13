// Replays the inputs kept under tests/data/script_crashes/ (inputs that once broke the engine
// under the fuzzer, and hand-made hostile programs): each must compile, list and run with
// every table and text within its limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "interp/script_engine.h"

namespace velmor {
namespace {

TEST(ScriptCrashesTest, KeptInputsCompileAndRunSafely) {
    const std::filesystem::path dir =
        std::filesystem::path(VELMOR_TEST_DATA_DIR) / "script_crashes";
    int files = 0;
    CScriptEngine longLived;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().filename().string());
        for (CScriptEngine* engine : {&longLived, new CScriptEngine}) {
            engine->Compile(source.c_str());
            EXPECT_LT(std::strlen(engine->CompileMessageText()), 2048u);
            EXPECT_LE(engine->InstructionCount(), 1000);
            if (engine->CompileErrorCount() > 0) {
                EXPECT_EQ(engine->InstructionCount(), 0);
            }
            if (engine->InstructionCount() > 0) engine->MakeListing();
            const double inputs[][2] = {{0, 0},
                                        {1, -2},
                                        {1e308, -1e308},
                                        {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL}};
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
            if (engine != &longLived) delete engine;
        }
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace velmor
