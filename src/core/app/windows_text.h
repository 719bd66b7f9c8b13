// Windows only: the program's strings are UTF-8, the system's wide functions take UTF-16. Also
// the system's own description of an error code, for messages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// UTF-16 for the system's wide functions. Bytes that are not UTF-8 become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
// UTF-8 from the system's UTF-16 (an unpaired surrogate becomes U+FFFD).
std::string Utf8FromWide(std::wstring_view text);

// A path as the system takes it: an absolute POSIX path ("/home/...", as a program on Linux
// passes it to a helper under wine) becomes "Z:\home\..." (wine's drive for the root); every
// '/' becomes '\'.
std::wstring WindowsPath(std::string_view path);

// The program's command line as UTF-8 words (the C run-time's argv is in the system's code page,
// which may not hold every character of a path).
std::vector<std::string> CommandLineArguments();

// The system's text for an error code (GetLastError()), without the trailing line break,
// followed by the code: "The system cannot find the file specified. (error 2)".
std::string SystemErrorText(unsigned long code);

}  // namespace velmor
