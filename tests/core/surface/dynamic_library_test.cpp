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

TEST(DynamicLibraryTest, FindsExportsByNameOnlyWhileOpen) {
    DynamicLibrary library;
    ASSERT_TRUE(library.Open(LibPath("dual_entry"))) << library.Error();
    EXPECT_TRUE(library.Error().empty());
    EXPECT_NE(library.Symbol("UserDefinedSurface"), nullptr);
    EXPECT_NE(library.Symbol("UserDefinedSurface4"), nullptr);
    EXPECT_EQ(library.Symbol("UserDefinedSurface2"), nullptr);
    EXPECT_EQ(library.Symbol("Sphere"), nullptr);  // file-local functions are not exported

    library.Close();
    EXPECT_FALSE(library.IsOpen());
    EXPECT_EQ(library.Symbol("UserDefinedSurface"), nullptr);
}

TEST(DynamicLibraryTest, OrdinalLookupFindsNothingInSharedObjects) {
    DynamicLibrary library;
    ASSERT_TRUE(library.Open(LibPath("even_asphere")));
    EXPECT_EQ(library.SymbolByOrdinal(1), nullptr);
    EXPECT_EQ(library.SymbolByOrdinal(0), nullptr);
}

TEST(DynamicLibraryTest, RefusesFilesThatAreNoLibraryWithTheLoadersReason) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("velmor_dynlib_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto text = dir / "not_a_library.so";
    std::ofstream(text) << "int UserDefinedSurface;\n";

    DynamicLibrary library;
    EXPECT_FALSE(library.Open(text.string()));
    EXPECT_FALSE(library.IsOpen());
    EXPECT_FALSE(library.Error().empty());

    EXPECT_FALSE(library.Open((dir / "missing.so").string()));
    EXPECT_FALSE(library.Error().empty());
    EXPECT_FALSE(library.Open(""));

    // A bare file name is a file in the working directory, never a system library.
    EXPECT_FALSE(library.Open("libm.so.6"));
    std::filesystem::remove_all(dir);
}

TEST(DynamicLibraryTest, OpeningAnotherLibraryReleasesTheFirst) {
    DynamicLibrary library;
    ASSERT_TRUE(library.Open(LibPath("entry2_only")));
    ASSERT_TRUE(library.Open(LibPath("entry4_only")));
    EXPECT_EQ(library.Symbol("UserDefinedSurface2"), nullptr);
    EXPECT_NE(library.Symbol("UserDefinedSurface4"), nullptr);

    DynamicLibrary moved(std::move(library));
    EXPECT_FALSE(library.IsOpen());
    EXPECT_NE(moved.Symbol("UserDefinedSurface4"), nullptr);
}

}  // namespace
}  // namespace velmor
