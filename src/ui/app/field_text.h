// Numbers in the main window's fields: written with "%.3f" or "%f", read like the C library's
// text-to-double conversion, always with '.' as the decimal point whatever the locale.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace velmor {

// The value with `decimals` digits after the point, as printf's "%.*f" under the C locale.
QString FormatFixed(double value, int decimals);
inline QString FormatField(double value) { return FormatFixed(value, 3); }   // "%.3f"
inline QString FormatDefault(double value) { return FormatFixed(value, 6); } // "%f"

// The leading decimal number of `text`: blanks skipped, an optional sign, digits with an
// optional point and exponent; the number ends at the first character that does not fit.
// A text that starts with no number gives 0. False when the number does not fit a finite
// double (overflow, underflow to nothing, "inf", "nan").
bool LeadingNumber(std::string_view text, double* value);

// The field text in the 8-bit code page 932 form, when it converts and fits in `capacity`
// bytes with its terminator; nothing otherwise.
bool FieldTextToCp932(const QString& text, std::size_t capacity, std::string* bytes);

// What "read a field" means: the number in the text, or false when the text does not convert,
// is longer than 31 bytes in code page 932, or holds no finite number; the caller then uses
// the field's default.
bool ReadFieldNumber(const QString& text, double* value);

}  // namespace velmor
