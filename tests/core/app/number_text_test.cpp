#include "app/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace velmor {
namespace {

// The process runs in the "C" locale here, so printf is the reference.
std::string Printf(const char* format, double value) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

TEST(NumberTextTest, FixedMatchesPrintfAcrossMagnitudes) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {0.0, -0.0, 0.5, 2.5, 0.0000005, 0.0000015, 1.0 / 3, -123456789.125, 1e15,
                     1e300, -1.7976931348623157e308, 4.9e-324, inf, -inf}) {
        EXPECT_EQ(FormatFixed(v, 6), Printf("%f", v)) << v;
        EXPECT_EQ(FormatFixed(v, 3), Printf("%.3f", v)) << v;
    }
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-12, 40);
    for (int i = 0; i < 2000; ++i) {
        double v = std::ldexp(mantissa(random), exponent(random));
        ASSERT_EQ(FormatFixed(v, 6), Printf("%f", v)) << v;
    }
    EXPECT_EQ(FormatFixed(std::nan(""), 6), Printf("%f", std::nan("")));
}

TEST(NumberTextTest, IntegersAndHex) {
    EXPECT_EQ(FormatInt(-2147483648LL), "-2147483648");
    EXPECT_EQ(FormatInt(0), "0");
    EXPECT_EQ(FormatHex16(0), "0000000000000000");
    EXPECT_EQ(FormatHex16(0xFEDCBA9876543210ull), "FEDCBA9876543210");
}

// Cell reading is tested with the record text; here what the scans tell apart.
TEST(NumberTextTest, ScansTellNoNumberFromOutOfRange) {
    double d = 7;
    EXPECT_EQ(ScanLeadingDouble(".", &d), NumberScan::kNoNumber);
    EXPECT_EQ(ScanLeadingDouble("-1e999", &d), NumberScan::kOutOfRange);
    EXPECT_EQ(d, 0);
    EXPECT_EQ(ScanLeadingDouble("+Infinity", &d), NumberScan::kNumber);
    EXPECT_TRUE(std::isinf(d) && d > 0);

    int i = 7;
    EXPECT_EQ(ScanLeadingInt("+ 1", &i), NumberScan::kNoNumber);
    EXPECT_EQ(ScanLeadingInt("99999999999999999999999", &i), NumberScan::kOutOfRange);
    EXPECT_EQ(i, 0);

    std::uint64_t h = 7;
    EXPECT_EQ(ScanLeadingHex("000000000000000000001Fg", &h), NumberScan::kNumber);
    EXPECT_EQ(h, 0x1Fu);
    EXPECT_EQ(ScanLeadingHex("+1", &h), NumberScan::kNoNumber);
}

}  // namespace
}  // namespace velmor
