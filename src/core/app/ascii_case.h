// Letter case of ASCII text, whatever the process locale: the settings file's sections and
// keys, the model files' keywords, group and material names, file extensions and the record
// tables' search by first letters match without regard to it. Bytes (or UTF-16 code units)
// outside A-Z and a-z are compared as they are.
#pragma once

#include <string>
#include <string_view>

namespace velmor {

// True when `a` and `b` are equal once A-Z are taken as a-z.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// True when `text` begins with `prefix` once A-Z are taken as a-z; for UTF-16 text (a window's).
bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);

// `text` with A-Z turned into a-z: the key under which EqualsIgnoringCase finds it.
std::string AsciiLowerCase(std::string_view text);

}  // namespace velmor
