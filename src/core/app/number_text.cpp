#include "core/app/number_text.h"

#include <algorithm>
#include <charconv>

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

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
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

std::string FormatHex16(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
    return text;
}

NumberScan ScanLeadingDouble(std::string_view text, double* value) {
    *value = 0;
    std::size_t i = SkipSpace(text);
    bool plus = i < text.size() && text[i] == '+';
    if (plus) ++i;
    // from_chars reads a minus sign itself but no plus, and no second sign after a plus.
    if (plus && i < text.size() && text[i] == '-') return NumberScan::kNoNumber;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    double parsed = 0;
    auto result = std::from_chars(first, last, parsed, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return NumberScan::kNoNumber;
    if (result.ec == std::errc::result_out_of_range) return NumberScan::kOutOfRange;
    *value = parsed;
    return NumberScan::kNumber;
}

NumberScan ScanLeadingInt(std::string_view text, int* value) {
    *value = 0;
    std::size_t i = SkipSpace(text);
    bool minus = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return NumberScan::kNoNumber;
    // Read the magnitude wide enough for INT_MIN, then apply the sign.
    unsigned long long magnitude = 0;
    auto result = std::from_chars(text.data() + i, text.data() + text.size(), magnitude);
    const unsigned long long limit = minus ? 2147483648ULL : 2147483647ULL;
    if (result.ec != std::errc() || magnitude > limit) return NumberScan::kOutOfRange;
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
