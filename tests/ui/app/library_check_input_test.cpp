// What "Check Library ..." checks: the script in interpreter mode, else the loaded library,
// else the built-in surface, over the analysis ranges, with the records the windows hold.
#include "ui/app/library_check_input.h"

#include <gtest/gtest.h>

#include "core/interp/script_engine.h"

namespace velmor {
namespace {

TEST(LibraryCheckInputTest, TheScriptComesBeforeALoadedLibraryAndTheLibraryBeforeTheBuiltIn) {
    CScriptEngine engine;
    CSurfaceProvider provider(engine);
    PlotSettings settings;
    settings.analysisX = {-2.5, 4};
    settings.analysisY = {-1, 0.125};
    CheckRequest request = MakeCheckRequest(settings, provider, nullptr, nullptr);
    EXPECT_EQ(request.input.source, CheckSource::kBuiltIn);
    EXPECT_EQ(request.subject,
              "The built-in surface \"Even Array\" over x -2.5 .. 4, y -1 .. 0.125");
    const CheckInput& input = request.input;
    EXPECT_TRUE(input.xmin == -2.5 && input.xmax == 4 && input.ymin == -1 && input.ymax == 0.125);
    EXPECT_EQ(input.initial, &provider.Initial());
    EXPECT_EQ(input.engine, &engine);

    const std::string path = VELMOR_LIB_DIR "/even_asphere.so";
    ASSERT_TRUE(provider.OpenSurfaceDll(path).loaded);
    request = MakeCheckRequest(settings, provider, nullptr, nullptr);
    EXPECT_EQ(request.input.source, CheckSource::kLibrary);
    EXPECT_EQ(request.input.libraryPath, path);
    EXPECT_EQ(request.input.recordVersion, provider.RecordVersion());
    EXPECT_TRUE(request.subject.startsWith("even_asphere.so over x -2.5 .. 4"));

    settings.interpreterMode = true;
    request = MakeCheckRequest(settings, provider, nullptr, nullptr);
    EXPECT_EQ(request.input.source, CheckSource::kScript);
    EXPECT_TRUE(request.subject.startsWith("The script (interpreter mode) over"));
    provider.ReleaseSurfaceDll();
}

}  // namespace
}  // namespace velmor
