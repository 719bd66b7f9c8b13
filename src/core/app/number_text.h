// Numbers to and from text, always with '.' as the decimal point whatever the process locale.
// The formats follow the C library's printf ("%d", "%.6f", "%.6g", "%016lX") and the reading
// follows strtod / strtol / strtoull on the leading part of a text, decimal only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmor {

// "%d".
std::string FormatInt(long long value);
// "%.*f": every integer digit (1e300 prints all 301), `decimals` digits after the point,
// rounded from the exact binary value; "inf", "-inf", "nan", "-nan" for the special values.
std::string FormatFixed(double value, int decimals);
// "%.*g": `significant` significant digits (1 to 60), without trailing zeros, in exponent form
// ("1e-07", "1.5e+20") where printf takes it; "inf", "-inf", "nan", "-nan" for the special
// values. 17 digits read back to the same double, 6 are printf's "%g".
std::string FormatGeneral(double value, int significant);
// The shortest text that reads back to the same double ("1.5", "-2", "1e-07").
std::string ShortestNumberText(double value);
// "%016lX": sixteen upper-case hexadecimal digits, no prefix.
std::string FormatHex16(std::uint64_t value);

enum class NumberScan {
    kNumber,      // a number was read
    kNoNumber,    // the text starts with no number; the value is 0
    kOutOfRange,  // the number does not fit the type (see each scan for the value)
};

// Each scan reads the longest leading part of `text` that forms a number and tells which of
// the three it found; each format decides once what an out-of-range number means to it.
// `used`, when given, receives the characters the number takes (leading white space and sign
// included; also for a number out of range), 0 when there is none.

// A decimal floating-point number: leading white space, an optional sign, digits with an
// optional decimal point, an optional exponent. "inf", "infinity" and "nan" (any letter
// case, optional sign) read as the special values, as the C library reads them, so that
// every text FormatFixed writes reads back. Hexadecimal floating point is not read ("0x1p3"
// reads as 0, the leading zero). Out of range, the value is the C library's: infinity when
// too large, zero when too small, each with the number's sign.
NumberScan ScanLeadingDouble(std::string_view text, double* value, std::size_t* used = nullptr);

// A decimal integer: leading white space, an optional sign, digits. Out of range, the value
// is 0.
NumberScan ScanLeadingInt(std::string_view text, int* value, std::size_t* used = nullptr);

// A hexadecimal number of at most 64 bits: leading white space, an optional "0x" or "0X"
// prefix, hexadecimal digits. No sign. Out of range, the value is 0.
NumberScan ScanLeadingHex(std::string_view text, std::uint64_t* value);

}  // namespace velmor
