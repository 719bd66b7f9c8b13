#include "core/app/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace velmor {
namespace {

// The process runs in the "C" locale here, so printf is the reference.
TEST(NumberTextTest, FormatsMatchPrintfAcrossMagnitudes) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {0.0, -0.0, 0.5, 2.5, 0.0000005, 0.0000015, 1.0 / 3, -123456789.125, 1e15,
                     1e300, -1.7976931348623157e308, 4.9e-324, inf, -inf, std::nan("")}) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%f", v);
        EXPECT_EQ(FormatFixed(v, 6), expected) << v;
        std::snprintf(expected, sizeof expected, "%.3f", v);
        EXPECT_EQ(FormatFixed(v, 3), expected) << v;
        std::snprintf(expected, sizeof expected, "%g", v);
        EXPECT_EQ(FormatGeneral(v, 6), expected) << v;
        std::snprintf(expected, sizeof expected, "%.17g", v);
        EXPECT_EQ(FormatGeneral(v, 17), expected) << v;
        if (std::isfinite(v)) {
            EXPECT_EQ(std::strtod(ShortestNumberText(v).c_str(), nullptr), v);
        }
    }
    EXPECT_EQ(ShortestNumberText(1.5), "1.5");
    EXPECT_EQ(ShortestNumberText(-2), "-2");
    EXPECT_EQ(ShortestNumberText(1e-7), "1e-07");
    EXPECT_EQ(FormatInt(-2147483648LL), "-2147483648");
    EXPECT_EQ(FormatHex16(0xFEDCBA9876543210ull), "FEDCBA9876543210");
    EXPECT_EQ(FormatHex16(0), "0000000000000000");
}

// Cell reading is tested with the record text; here what the scans tell apart.
TEST(NumberTextTest, ScansTellNoNumberFromOutOfRange) {
    double d = 7;
    std::size_t used = 7;
    EXPECT_EQ(ScanLeadingDouble(".", &d, &used), NumberScan::kNoNumber);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(ScanLeadingDouble("+-1", &d), NumberScan::kNoNumber);
    // Out of range the value is the C library's: infinity or zero, with the sign.
    EXPECT_EQ(ScanLeadingDouble(" -1e999,", &d, &used), NumberScan::kOutOfRange);
    EXPECT_EQ(d, -HUGE_VAL);
    EXPECT_EQ(used, 7u);
    EXPECT_EQ(ScanLeadingDouble("-0.0001e-999", &d), NumberScan::kOutOfRange);
    EXPECT_TRUE(d == 0 && std::signbit(d));
    EXPECT_EQ(ScanLeadingDouble("0.000012e-330", &d), NumberScan::kOutOfRange);
    EXPECT_EQ(d, 0);
    EXPECT_EQ(ScanLeadingDouble("123456789e305", &d), NumberScan::kOutOfRange);
    EXPECT_EQ(d, HUGE_VAL);
    int i = 7;
    EXPECT_EQ(ScanLeadingInt("+ 1", &i), NumberScan::kNoNumber);
    EXPECT_EQ(ScanLeadingInt(" -2147483648/", &i, &used), NumberScan::kNumber);
    EXPECT_EQ(i, -2147483647 - 1);
    EXPECT_EQ(used, 12u);
    EXPECT_EQ(ScanLeadingInt("99999999999999999999999/", &i, &used), NumberScan::kOutOfRange);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(used, 23u);
    std::uint64_t h = 7;
    EXPECT_EQ(ScanLeadingHex("000000000000000000001Fg", &h), NumberScan::kNumber);
    EXPECT_EQ(h, 0x1Fu);
    EXPECT_EQ(ScanLeadingHex("+1", &h), NumberScan::kNoNumber);
}

}  // namespace
}  // namespace velmor
