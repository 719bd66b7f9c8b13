// store-session: the session of what the command line built, in the file the window's
// "Load INI ..." reads.
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/cli_commands.h"
#include "core/app/number_text.h"
#include "core/app/session_file.h"
#include "core/surface/session_records.h"

namespace velmor::cli {

int RunStoreSession(CliHost& host, const Arguments& args, Output& out) {
    if (args.size() != 1) throw CliError("usage: store-session OUT.ini");
    const std::string& path = args[0];
    CheckOutputFile(path);

    Session session;
    CSurfaceProvider& provider = host.provider;
    if (provider.LibraryLoaded()) session.libraryPath = AbsoluteFilePath(provider.LibraryPath());
    if (!host.scriptPath.empty()) session.scriptPath = AbsoluteFilePath(host.scriptPath);
    if (provider.InterpreterMode())
        session.source = SessionSource::kScript;
    else if (provider.LibraryLoaded())
        session.source = SessionSource::kLibrary;
    const int version = provider.RecordVersion();
    session.recordVersion = version;
    session.rows = ChangedRecordRows(provider.Initial(), provider.FreshInitial(), version);
    // The tables' text form keeps six decimals: a --set value finer than that is said to change.
    auto copy = std::make_unique<RecordPair>();
    CopyRecordPair(*copy, provider.Initial());
    std::vector<std::string> ignored;
    ApplyRecordRows(*copy, version, session.rows, &ignored);
    for (const SessionEntry& row : session.rows) {
        bool inUserData = false;
        const RecordRow* found = FindRecordRow(row.key, version, &inUserData);
        const auto* now = inUserData
                              ? reinterpret_cast<const unsigned char*>(&provider.Initial().ud)
                              : provider.Initial().fd;
        const auto* kept =
            inUserData ? reinterpret_cast<const unsigned char*>(&copy->ud) : copy->fd;
        if (found != nullptr && std::memcmp(now + found->offset, kept + found->offset,
                                            static_cast<std::size_t>(found->size)) != 0)
            std::fprintf(stderr,
                         "velmor-cli: store-session: %s is kept as \"%s\", the tables' "
                         "text form of its value\n",
                         row.key.c_str(), row.value.c_str());
    }
    // The fields of --session, with n1 / n2 and "Use Interpreter" as they now are.
    for (const SessionEntry& entry : host.analysis) {
        if (entry.key != kKeyN1 && entry.key != kKeyN2 && entry.key != kKeyUseInterpreter)
            session.analysis.push_back(entry);
    }
    session.analysis.push_back({kKeyN1, AnalysisNumberText(host.settings.n1)});
    session.analysis.push_back({kKeyN2, AnalysisNumberText(host.settings.n2)});
    session.analysis.push_back(
        {kKeyUseInterpreter, session.source == SessionSource::kScript ? "1" : "0"});

    std::string reason;
    if (!WriteSessionFile(path, session, &reason)) throw CliError(path + ": " + reason);
    out.Text("file", path);
    out.Text("source", SessionSourceName(session.source));
    out.Integer("record_version", version);
    out.Integer("rows", static_cast<long long>(session.rows.size()));
    return 0;
}

}  // namespace velmor::cli
