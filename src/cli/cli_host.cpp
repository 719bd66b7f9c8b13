#include "cli/cli_host.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/app/cp932.h"
#include "core/app/regular_file.h"
#include "core/interp/compile_report.h"
#include "core/surface/record_text.h"
#include "core/surface/row_catalogue.h"
#include "core/surface/session_records.h"

namespace velmor::cli {

namespace {

// A script file is text of a few kilobytes; anything beyond this is no script.
constexpr long long kScriptFileLimit = 1 << 20;

const RecordRow* FindRow(const std::vector<RecordRow>& rows, const std::string& name) {
    for (const RecordRow& row : rows) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

// The first line of an 8-bit message text, as UTF-8.
std::string FirstLine(const std::string& cp932) {
    std::string utf8;
    Cp932ToUtf8(cp932.substr(0, cp932.find_first_of("\r\n")), &utf8);
    return utf8;
}

void LoadLibrary(CliHost& host, const std::string& path) {
    const LoadOutcome outcome = host.provider.OpenSurfaceDll(path);
    if (outcome.fault) throw CliFault(*outcome.fault);
    if (!outcome.message.empty()) throw CliError(path + ": " + outcome.message);
    if (!outcome.loaded) {
        throw CliError(path + ": " + kSurfaceDllErrorText +
                       (outcome.reason.empty() ? std::string() : " (" + outcome.reason + ")"));
    }
    host.source = SurfaceSource::kLibrary;
    host.sourcePath = path;
}

void LoadScript(CliHost& host, const std::string& path) {
    const std::string source = ReadScriptSource(path);
    const std::string report = CompileReport(host.engine, source.c_str());
    if (host.engine.InstructionCount() <= 0) {
        // Interpreter mode is refused without code, as the "Use Interpreter" switch refuses it.
        std::string why = FirstLine(report);
        const char* messages = host.engine.CompileMessageText();
        if (host.engine.CompileErrorCount() > 0 && messages[0] != '\0') {
            why += " " + FirstLine(messages);
        }
        throw CliError(path + ": no intermediate code: " + why);
    }
    host.provider.SetInterpreterMode(true);
    host.provider.SetGradientIndex(false);
    host.source = SurfaceSource::kScript;
    host.sourcePath = path;
    host.scriptPath = path;
}

// --session: the source as the window's "Load INI ..." opens it, then the rows and n1 / n2.
// Whatever the window would name in its warning is refused here.
void ApplySession(CliHost& host, const std::string& path) {
    Session session;
    std::string refusal;
    if (!ReadSessionFile(path, &session, &refusal)) throw CliError(path + ": " + refusal);
    std::vector<std::string> problems = session.problems;
    auto refuse = [&path](const std::string& what) { throw CliError(path + ": " + what); };
    if (session.source != SessionSource::kBuiltIn && !session.libraryPath.empty()) {
        const std::string library = ResolveSessionPath(session.libraryPath, path);
        if (library.empty())
            refuse("LIBRARY=" + session.libraryPath +
                   ": the library is missing (also beside the session)");
        LoadLibrary(host, library);
    } else {
        if (session.source == SessionSource::kLibrary) refuse("SOURCE=library names no LIBRARY");
        if (!session.libraryPath.empty())
            refuse("LIBRARY=" + session.libraryPath + ": the session's SOURCE is builtin");
        host.provider.QueryGradientIndex();  // the program's start asks the built-in surface
    }
    const int version = host.provider.RecordVersion();
    if (session.recordVersion && *session.recordVersion != version)
        problems.push_back("RECORD_VERSION=" + std::to_string(*session.recordVersion) +
                           ": the surface has record version " + std::to_string(version));
    ApplyRecordRows(host.provider.Initial(), version, session.rows, &problems);
    if (session.source == SessionSource::kScript) {
        if (session.scriptPath.empty()) refuse("SOURCE=script names no SCRIPT");
        const std::string script = ResolveSessionPath(session.scriptPath, path);
        if (script.empty())
            refuse("SCRIPT=" + session.scriptPath +
                   ": the file is missing (also beside the session)");
        LoadScript(host, script);
    }
    for (const SessionEntry& entry : session.analysis) {
        if (entry.key == kKeyUseInterpreter &&
            (entry.value == "1") != (session.source == SessionSource::kScript))
            problems.push_back(entry.key + "=" + entry.value +
                               ": disagrees with SOURCE=" + SessionSourceName(session.source));
        double number = 0;
        if (entry.key == kKeyN1 && ReadAnalysisNumber(entry.value, &number))
            host.settings.n1 = number;
        if (entry.key == kKeyN2 && ReadAnalysisNumber(entry.value, &number))
            host.settings.n2 = number;
    }
    if (!problems.empty()) {
        std::string line = problems.front();
        if (problems.size() > 1)
            line += " (and " + std::to_string(problems.size() - 1) + " more problems)";
        refuse(line);
    }
    host.analysis = session.analysis;
}

void SetRow(CliHost& host, const std::string& name, const std::string& text) {
    RecordPair& initial = host.provider.Initial();
    const int version = host.provider.RecordVersion();
    void* record = nullptr;
    const RecordRow* row = FindRow(UserDataRows(), name);
    if (row != nullptr) {
        record = &initial.ud;
    } else if ((row = FindRow(FixedDataRows(version), name)) != nullptr) {
        record = initial.fd;
    } else {
        throw CliError("--set " + name + "=" + text + ": no row \"" + name +
                       "\" in USER_DATA or in the FIXED_DATA of record version " +
                       std::to_string(version));
    }
    std::string rewrite;
    if (!TextToField(*row, record, text, &rewrite)) {
        // The table would mend the cell quietly; a command line is better told.
        throw CliError(
            "--set " + name + "=" + text + ": the " + row->typeText +
            " field cannot hold this text" +
            (rewrite.empty() ? std::string() : " (the table would keep \"" + rewrite + "\")"));
    }
}

}  // namespace

std::string ReadFileBytes(const std::string& path, long long limit) {
    std::string bytes;
    std::string reason;
    const int error = ReadWholeFile(path, limit, &bytes, &reason);
    if (error == EFBIG) {
        throw CliError(path + ": larger than " + std::to_string(limit) + " bytes");
    }
    if (error != 0) throw CliError(path + ": " + reason);
    return bytes;
}

std::string ReadScriptSource(const std::string& path) {
    bool cut = false;
    std::string source =
        CompilerInputFromFile(ReadFileBytes(path, kScriptFileLimit), kCompileSourceByteLimit, &cut);
    if (cut) {
        std::fprintf(stderr,
                     "velmor-cli: %s: only the first %zu bytes of the source were compiled\n",
                     path.c_str(), kCompileSourceByteLimit);
    }
    return source;
}

namespace {

void WriteLibraryLine(const std::string& line) {
    std::string text = "library: " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void LibraryOutputLines::OnLibraryOutput(std::string_view bytes, const LibraryRequestTag&) {
    for (const char c : bytes) {
        if (c != '\n') {
            m_line += c;
            continue;
        }
        WriteLibraryLine(m_line);
        m_line.clear();
    }
}

void LibraryOutputLines::Finish() {
    if (!m_line.empty()) WriteLibraryLine(m_line);
    m_line.clear();
}

void ThrowIfFaulted(const CliHost& host) {
    if (host.provider.LibraryFaulted()) throw CliFault(*host.provider.LastLibraryFault());
}

void PrepareSurface(CliHost& host, const CliOptions& options) {
    LibraryHostSettings library;
    library.inProcess = options.inProcess;
    library.limits.timeoutSeconds = options.timeoutSeconds;
    library.limits.memoryMb = options.memoryMb;
    library.limits.fences = options.fences;
    library.limits.allowProcesses = options.allowProcesses;
    host.provider.SetLibraryHost(library);
    host.provider.SetLibraryOutputSink(&host.libraryOutput);
    if (!options.sessionPath.empty()) ApplySession(host, options.sessionPath);
    if (!options.libraryPath.empty()) {
        host.provider.SetInterpreterMode(false);  // the library answers, not a session's script
        LoadLibrary(host, options.libraryPath);
    } else if (options.sessionPath.empty()) {
        // The program's start asks the built-in surface once.
        host.provider.QueryGradientIndex();
    }
    if (!options.scriptPath.empty()) LoadScript(host, options.scriptPath);
    for (const auto& [name, text] : options.sets) SetRow(host, name, text);
    if (options.sessionPath.empty() || options.hasN1) host.settings.n1 = options.n1;
    if (options.sessionPath.empty() || options.hasN2) host.settings.n2 = options.n2;
}

}  // namespace velmor::cli
