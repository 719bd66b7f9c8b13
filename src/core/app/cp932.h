// Text in code page 932 (Shift_JIS with the Windows extensions), the 8-bit encoding of the
// record text fields and script files, converted to and from the UTF-8 the core speaks.
// Conversion goes through iconv ("CP932") on Linux and through the system's code page 932 on
// Windows, with the same answers; ASCII passes through unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

// Converts UTF-8 text into code page 932 bytes followed by a terminating zero, inside
// out[0 .. capacity). Fails when the text is not valid UTF-8, holds a character code page 932
// lacks, or the bytes and their terminator do not fit (truncation counts as failure). On
// failure out[0] is 0 (when capacity > 0). Never writes at or past out + capacity.
// `length`, when given, receives the number of bytes before the terminator (0 on failure).
bool Utf8ToCp932(std::string_view utf8, char* out, std::size_t capacity,
                 std::size_t* length = nullptr);

// Converts UTF-8 text into code page 932 bytes, without a size limit. On failure `cp932` is
// left empty.
bool Utf8ToCp932(std::string_view utf8, std::string* cp932);

// Converts code page 932 bytes into UTF-8, stopping after `maxChars` characters. Bytes that
// form no code page 932 character become U+FFFD and make the result false; the rest of the
// text is still converted.
bool Cp932ToUtf8(std::string_view cp932, std::string* utf8,
                 std::size_t maxChars = std::string_view::npos);

// The text in a fixed char field: the bytes before the first zero, or all `size` bytes when
// the field holds no zero.
std::string_view FieldText(const char* field, std::size_t size);

// The length of the longest start of `cp932` that is at most `maxBytes` long and ends on a
// whole character (a double-byte character is never split).
std::size_t Cp932FitLength(std::string_view cp932, std::size_t maxBytes);

}  // namespace velmor
