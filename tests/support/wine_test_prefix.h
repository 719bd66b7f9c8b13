// For the test programs that run wine: before anything starts, the wine prefix is the one the
// ctest fixture `wine` made (unless VELMOR_WINE_PREFIX names another), there is no display
// (wine's programs get none either way), and windows use Qt's offscreen platform.
#pragma once

#include <cstdlib>

namespace velmor::test {

inline const bool kWineTestEnvironment = [] {
    ::setenv("VELMOR_WINE_PREFIX", VELMOR_TEST_WINE_PREFIX, 0);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::unsetenv("DISPLAY");
    return true;
}();

}  // namespace velmor::test
