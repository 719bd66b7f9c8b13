#include "surface/dynamic_library.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace velmor {
namespace {

std::string LibPath(const char* name) {
    return std::string(VELMOR_LIB_DIR) + "/" + name + ".so";
}

TEST(DynamicLibraryTest, FindsExportsByNameOnlyWhileOpenAndNothingByOrdinal) {
    DynamicLibrary library;
    ASSERT_TRUE(library.Open(LibPath("dual_entry"))) << library.Error();
    EXPECT_NE(library.Symbol("UserDefinedSurface4"), nullptr);
    EXPECT_EQ(library.Symbol("UserDefinedSurface2"), nullptr);
    EXPECT_EQ(library.Symbol("Sphere"), nullptr);  // file-local functions are not exported
    EXPECT_EQ(library.SymbolByOrdinal(1), nullptr);

    ASSERT_TRUE(library.Open(LibPath("entry2_only")));  // releases the first
    EXPECT_EQ(library.Symbol("UserDefinedSurface4"), nullptr);
    library.Close();
    EXPECT_FALSE(library.IsOpen());
    EXPECT_EQ(library.Symbol("UserDefinedSurface2"), nullptr);
}

TEST(DynamicLibraryTest, RefusesFilesThatAreNoLibraryWithTheLoadersReason) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("velmor_dynlib_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "not_a_library.so") << "int UserDefinedSurface;\n";

    DynamicLibrary library;
    for (const auto& path : {dir / "not_a_library.so", dir / "missing.so"}) {
        EXPECT_FALSE(library.Open(path.string()));
        EXPECT_FALSE(library.IsOpen());
        EXPECT_FALSE(library.Error().empty());
    }
    // A bare file name is a file in the working directory, never a system library.
    EXPECT_FALSE(library.Open("libm.so.6"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmor
