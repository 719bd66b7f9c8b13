#include "core/app/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace velmor {

namespace {

// White space as the C library's "C" locale knows it.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t SkipSpace(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    return i;
}

// The index after the leading white space and one sign; *negative tells which sign it was.
std::size_t SkipSpaceAndSign(std::string_view text, bool* negative) {
    std::size_t i = SkipSpace(text);
    *negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) *negative = text[i++] == '-';
    return i;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value the C library gives an unsigned decimal number in [first, last) that is too large
// or too small for a double: infinity or 0. The decimal exponent of its first significant
// digit decides: the count of integer digits from that digit on, or minus the zeros between
// the point and that digit, plus the exponent part.
double OutOfRangeValue(const char* first, const char* last) {
    const char* p = first;
    long long magnitude = 0;
    while (p < last && *p == '0') ++p;
    if (p < last && IsDigit(*p)) {
        while (p < last && IsDigit(*p)) ++p, ++magnitude;
        if (p < last && *p == '.') ++p;
        while (p < last && IsDigit(*p)) ++p;
    } else {
        if (p < last && *p == '.') ++p;
        while (p < last && *p == '0') ++p, --magnitude;
        while (p < last && IsDigit(*p)) ++p;
    }
    if (p < last && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = false;
        if (p < last && (*p == '+' || *p == '-')) negative = *p++ == '-';
        long long exponent = 0;
        for (; p < last && IsDigit(*p); ++p) {
            if (exponent < 1000000000LL) exponent = exponent * 10 + (*p - '0');
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0 ? HUGE_VAL : 0.0;
}

}  // namespace

std::string FormatInt(long long value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatFixed(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 60);
    // Sign, 309 integer digits, point and decimals at most.
    char buffer[400];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

std::string FormatGeneral(double value, int significant) {
    significant = std::clamp(significant, 1, 60);
    // Sign, 60 digits, point and a four-digit exponent at most.
    char buffer[80];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                                significant);
    return std::string(buffer, result.ptr);
}

std::string ShortestNumberText(double value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatHex16(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
    return text;
}

NumberScan ScanLeadingDouble(std::string_view text, double* value, std::size_t* used) {
    *value = 0;
    if (used) *used = 0;
    bool negative = false;
    const std::size_t i = SkipSpaceAndSign(text, &negative);
    // One sign only: "+-1" and "--1" are no numbers.
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) return NumberScan::kNoNumber;
    const char* first = text.data() + i;
    double parsed = 0;
    const auto [end, error] =
        std::from_chars(first, text.data() + text.size(), parsed, std::chars_format::general);
    if (error == std::errc::invalid_argument) return NumberScan::kNoNumber;
    if (used) *used = std::size_t(end - text.data());
    NumberScan scan = NumberScan::kNumber;
    if (error == std::errc::result_out_of_range) {
        parsed = OutOfRangeValue(first, end);
        scan = NumberScan::kOutOfRange;
    }
    *value = negative ? -parsed : parsed;
    return scan;
}

NumberScan ScanLeadingInt(std::string_view text, int* value, std::size_t* used) {
    *value = 0;
    if (used) *used = 0;
    bool minus = false;
    const std::size_t i = SkipSpaceAndSign(text, &minus);
    if (i >= text.size() || !IsDigit(text[i])) return NumberScan::kNoNumber;
    // Read the magnitude wide enough for INT_MIN, then apply the sign.
    unsigned long long magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data() + i, text.data() + text.size(), magnitude);
    if (used) *used = std::size_t(end - text.data());
    const unsigned long long limit = minus ? 2147483648ULL : 2147483647ULL;
    if (error != std::errc() || magnitude > limit) return NumberScan::kOutOfRange;
    *value = minus ? int(-static_cast<long long>(magnitude)) : int(magnitude);
    return NumberScan::kNumber;
}

NumberScan ScanLeadingHex(std::string_view text, std::uint64_t* value) {
    *value = 0;
    std::size_t i = SkipSpace(text);
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        IsHexDigit(text[i + 2]))
        i += 2;
    if (i >= text.size() || !IsHexDigit(text[i])) return NumberScan::kNoNumber;
    std::uint64_t parsed = 0;
    auto result = std::from_chars(text.data() + i, text.data() + text.size(), parsed, 16);
    if (result.ec != std::errc()) return NumberScan::kOutOfRange;
    *value = parsed;
    return NumberScan::kNumber;
}

}  // namespace velmor
