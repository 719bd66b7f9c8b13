// The example program the Interpreter window starts with: an even asphere in sixteen lines.
// The benchmarks evaluate the same program, so it is written out only here.
#pragma once

namespace velmor {

// Zero-terminated, CR LF line ends (the form the compiler reads and source files hold).
extern const char kDefaultScript[];

}  // namespace velmor
