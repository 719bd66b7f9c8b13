// Numbers in the main window's fields: written with "%.3f" or "%f", read like the C library's
// text-to-double conversion, always with '.' as the decimal point whatever the locale.
#pragma once

#include <QString>

namespace velmor {

QString FormatField(double value);    // "%.3f"
QString FormatDefault(double value);  // "%f"

// What reading a field means: the text in code page 932 must fit in 31 bytes (32 with the
// terminator); then its leading decimal number is the value (0 when it starts with none).
// False when the text does not convert or fit, or when the number is not a finite double
// ("inf", "nan", 1e999): the caller then uses the field's default.
bool ReadFieldNumber(const QString& text, double* value);

}  // namespace velmor
