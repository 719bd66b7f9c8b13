// The Compile command of the Interpreter window without the window: what goes into the
// compiler and the exact text the output box then shows. The window and the command-line
// host both use these, so the two can never tell a different story about one script.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

class CScriptEngine;

// The most bytes of source text handed to the compiler.
inline constexpr std::size_t kCompileSourceByteLimit = 8189;

// Output-box texts of the Compile and listing commands.
inline constexpr char kCompileSourceEmpty[] = "-- source : empty --\r\n";
inline constexpr char kCompileParserError[] = "-- PARSER : error --\r\n";
inline constexpr char kCompileParserNoError[] = "-- PARSER : no error --\r\n";
inline constexpr char kCompileExecuteError[] = "-- EXCUTE with(x=0.0, y=0.0) : error --\r\n";
inline constexpr char kListingNone[] = "-- intermediate code : none --\r\n";

// Compiles `source` (code page 932 bytes, CR LF line ends, zero-terminated, at most
// kCompileSourceByteLimit bytes) into `engine` and returns the output-box text, 8-bit with
// CR LF:
//   empty source        "-- source : empty --\r\n"; nothing is compiled and the code compiled
//                       before stays in force;
//   compile errors      "-- PARSER : error --\r\n", the compile message text, "\r\n";
//   otherwise           "-- PARSER : no error --\r\n";
// and when there are instructions, a verbose test run at x = 0, y = 0: when it leaves run
// messages (or z unassigned, which adds "z: uninitialized. (assume 0.0)\r\n" without
// counting an error) the text is "-- EXCUTE with(x=0.0, y=0.0) : error --\r\n", the run
// message text and "\r\n" instead.
// The listing is worth offering afterwards exactly when the compile error count is 0 and
// there are instructions.
std::string CompileReport(CScriptEngine& engine, const char* source);

// The output-box text of the listing command: the intermediate-code listing followed by
// "\r\n", or "-- intermediate code : none --\r\n" when there are no instructions.
std::string ListingReport(CScriptEngine& engine);

// The bytes of a script file as the window compiles them after opening it: the file is read
// as code page 932 text (bytes that form no character become '?'), its line ends (CR LF, LF
// or a lone CR) become CR LF, and the result is cut to `maxBytes` without splitting a
// double-byte character. `cut`, when given, tells whether anything was cut.
std::string CompilerInputFromFile(std::string_view fileBytes,
                                  std::size_t maxBytes = kCompileSourceByteLimit,
                                  bool* cut = nullptr);

}  // namespace velmor
