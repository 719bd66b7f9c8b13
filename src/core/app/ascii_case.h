// Letter case of ASCII text, whatever the process locale: the settings file's sections and
// keys, the model files' keywords, group and material names, and file extensions match
// without regard to it. Bytes outside A-Z and a-z are compared as they are.
#pragma once

#include <string>
#include <string_view>

namespace velmor {

// True when `a` and `b` are equal once A-Z are taken as a-z.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// `text` with A-Z turned into a-z: the key under which EqualsIgnoringCase finds it.
std::string AsciiLowerCase(std::string_view text);

}  // namespace velmor
