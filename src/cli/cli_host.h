// The program's surface state without its windows: one script engine, one surface provider
// with its record pairs, and the main-window values the commands read.
#pragma once

#include <string>

#include "cli/cli_options.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "core/surface/script_ray_trace.h"

namespace velmor::cli {

enum class SurfaceSource { kBuiltIn, kLibrary, kScript };

struct CliHost {
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    SurfaceSource source = SurfaceSource::kBuiltIn;
    std::string sourcePath;
    // The main window's initial analysis ranges, 2D steps and "n1" / "n2" fields.
    ScriptTraceSettings settings;
};

// Brings the records to where the program has them: the built-in surface after start-up, a
// library after "Open DLL ...", or a compiled script in interpreter mode; then writes each
// --set row into the initial pair and takes --n1 / --n2. Throws CliError.
void PrepareSurface(CliHost& host, const CliOptions& options);

// The whole bytes of a regular file of at most `limit` bytes. Throws CliError naming the
// file and the system's reason.
std::string ReadFileBytes(const std::string& path, long long limit);

// A script file as the Compile command hands it to the compiler (code page 932, CR LF, cut to
// the compiler's limit with a note on stderr). Throws CliError when it cannot be read.
std::string ReadScriptSource(const std::string& path);

}  // namespace velmor::cli
