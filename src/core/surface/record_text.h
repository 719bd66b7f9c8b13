// The text form of a record field, as the record tables show and read it:
//   int      "%d"
//   double   "%f" (six decimals)
//   pointer  "0x%016lX" (the full 64-bit value, upper-case digits)
//   char     the field's code page 932 text as UTF-8
// Reading a cell first converts its text to code page 932 into a buffer of 256 bytes for the
// 200-char text fields (glass and comment of versions 2, 3 and 4) and 32 bytes for every other
// cell; text that does not convert or does not fit counts as a failure. A char-array cell
// shows at most 510 characters of a 200-char field and 62 of any other.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/surface/row_catalogue.h"

namespace velmor {

// The text of the row's field in `record` (the USER_DATA record for UserDataRows, the
// FIXED_DATA area for FixedDataRows). A char field without a terminating zero shows all its
// bytes; bytes that form no code page 932 character show as U+FFFD.
std::string FieldToText(const RecordRow& row, const void* record);

// Writes the cell text `utf8` into the row's field in `record`. Returns true when the field
// now holds what the text says (a number text with no number at its start reads as 0 and
// counts as read). Returns false when:
//   - a number or pointer text does not convert into its 32-byte buffer, or its number does
//     not fit the field: the field becomes 0 and `rewriteText` receives the cell's new text
//     ("0.000000", "0" or "0000000000000000");
//   - a pointer text starts with no hexadecimal digit: the same, "0000000000000000";
//   - a char text does not convert into its buffer: the field is emptied, the cell kept;
//   - a char text converts but is longer than the field leaves room for with its terminator:
//     it is cut on a whole character to fit, and `rewriteText` receives the text kept.
// `rewriteText` is emptied first and is non-empty only when the cell must be rewritten.
// Nothing is ever written outside the field.
bool TextToField(const RecordRow& row, void* record, std::string_view utf8,
                 std::string* rewriteText);

}  // namespace velmor
