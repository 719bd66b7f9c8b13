// The program's surface state without its windows: one script engine, one surface provider
// with its record pairs, and the main-window values the commands read.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "core/app/session_file.h"
#include "core/host/guarded_library.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "core/surface/script_ray_trace.h"

namespace velmor::cli {

enum class SurfaceSource { kBuiltIn, kLibrary, kScript };

// The library's output on stderr, line by line, each line prefixed "library: ". A line the
// library has not ended yet waits for its end (or for Finish).
class LibraryOutputLines final : public LibraryOutputSink {
public:
    ~LibraryOutputLines() override { Finish(); }
    void OnLibraryOutput(std::string_view bytes, const LibraryRequestTag& request) override;
    // Writes the unfinished line, if any, with a line end.
    void Finish();

private:
    std::string m_line;
};

// The surface library faulted: the command ends with status 3 (see ReportFault).
class CliFault : public std::runtime_error {
public:
    explicit CliFault(const LibraryFault& fault)
        : std::runtime_error(fault.Describe()), m_fault(fault) {}
    // A fault of another library than the surface's ("the reference library"), named first.
    CliFault(const LibraryFault& fault, const std::string& which)
        : std::runtime_error(which + ": " + fault.Describe()), m_fault(fault), m_which(which) {}
    const LibraryFault& Fault() const { return m_fault; }
    const std::string& Which() const { return m_which; }

private:
    LibraryFault m_fault;
    std::string m_which;
};

struct CliHost {
    LibraryOutputLines libraryOutput;  // outlives the provider: a closing library may print
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    SurfaceSource source = SurfaceSource::kBuiltIn;
    std::string sourcePath;
    std::string scriptPath;  // the script compiled, under any source
    // The [ANALYSIS] values of --session: the main window's fields, views' defaults.
    std::vector<SessionEntry> analysis;
    // The main window's initial analysis ranges, 2D steps and "n1" / "n2" fields.
    ScriptTraceSettings settings;
};

// Brings the records to where the program has them: the built-in surface after start-up, a
// library after "Open DLL ..." (run as the library host options say), or a compiled script in
// interpreter mode; then writes each --set row into the initial pair and takes --n1 / --n2.
// Throws CliError, or CliFault when the library faulted while loading.
void PrepareSurface(CliHost& host, const CliOptions& options);

// Throws CliFault when the loaded library has faulted: a command calls it after its surface
// requests, before it prints or writes what they gave.
void ThrowIfFaulted(const CliHost& host);

// The whole bytes of a regular file of at most `limit` bytes. Throws CliError naming the
// file and the system's reason.
std::string ReadFileBytes(const std::string& path, long long limit);

// A script file as the Compile command hands it to the compiler (code page 932, CR LF, cut to
// the compiler's limit with a note on stderr). Throws CliError when it cannot be read.
std::string ReadScriptSource(const std::string& path);

}  // namespace velmor::cli
