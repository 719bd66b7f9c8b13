// What a command prints: NAME<TAB>VALUE lines, or one JSON object per command.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/host/library_fault.h"

namespace velmor::cli {

// Standard output could not take what was printed: the program ends with status 2 and this
// one-line message.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every byte the program prints goes through here. Throws OutputError when a write fails.
void PrintOut(std::string_view text);
// Flushes and closes standard output once everything is printed, so that output still in the
// buffer, or lost by any earlier write, is noticed. Throws OutputError.
void CloseStandardOutput();

using Json = nlohmann::ordered_json;

// The numbers the program prints: "%.17g" ('.' whatever the locale), so that each reads back
// to the same double.
std::string FormatDouble(double value);

// The "fault" object of a library fault: kind, signal (name or null), code (the signal number,
// the exit status, or null), request, numb, request_name, x y z l m n, message.
Json FaultJson(const LibraryFault& fault);

// Text for one line: tab, line feed, carriage return and the other control characters as
// \t, \n, \r and \xHH, so a value never breaks its line.
std::string EscapeControls(std::string_view text);

class Output {
public:
    Output(bool json, const std::string& command);

    bool IsJson() const { return m_json; }

    void Number(const std::string& name, double value);
    void Integer(const std::string& name, long long value);
    void Flag(const std::string& name, bool value);  // 0 / 1 in lines, a boolean in JSON
    void Text(const std::string& name, std::string_view value);

    // The JSON object being built (for nested parts); only in JSON mode.
    Json& Object() { return m_object; }
    // Raw text printed as it stands (lines mode only).
    void Raw(std::string_view text);

    // Prints the JSON object (JSON mode).
    void Finish();

private:
    bool m_json;
    Json m_object;
};

}  // namespace velmor::cli
