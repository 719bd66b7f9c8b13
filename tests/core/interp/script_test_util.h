// Helpers shared by the script engine tests.
#pragma once

#include <limits>
#include <string>

#include "core/interp/script_engine.h"

namespace velmor::test {

// Compiles `source` on `engine` and returns the compile message text.
inline std::string CompileMessages(CScriptEngine& engine, const std::string& source) {
    engine.Compile(source.c_str());
    return engine.CompileMessageText();
}

// The listing of `source`, or "" when it does not compile.
inline std::string Listing(const std::string& source) {
    CScriptEngine engine;
    engine.Compile(source.c_str());
    if (engine.CompileErrorCount() != 0) return "";
    engine.MakeListing();
    return engine.ListingText();
}

// The value z holds after one run at (x, y), valid or not; NaN when z was not assigned.
inline double RunZ(CScriptEngine& engine, double x = 0.0, double y = 0.0) {
    engine.SetInputs(x, y);
    engine.Run(false);
    double z = 0.0;
    return engine.ZAssigned(&z) ? z : std::numeric_limits<double>::quiet_NaN();
}

inline double EvalZ(const std::string& source, double x = 0.0, double y = 0.0) {
    CScriptEngine engine;
    engine.Compile(source.c_str());
    return RunZ(engine, x, y);
}

inline int CountOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

inline std::string Repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

}  // namespace velmor::test
