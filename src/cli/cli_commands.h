// The commands of velmor-cli. Each prints through `out` and returns the exit status (0, or 1
// when the surface, the trace, a sample or a compile failed); bad arguments and files throw
// CliError (status 2).
#pragma once

#include <string>
#include <vector>

#include "cli/cli_host.h"
#include "cli/cli_output.h"

namespace velmor::cli {

using Arguments = std::vector<std::string>;

int RunInfo(CliHost& host, const Arguments& args, Output& out);
int RunCall(CliHost& host, const Arguments& args, Output& out);
int RunTrace(CliHost& host, const Arguments& args, Output& out);
int RunSag(CliHost& host, const Arguments& args, Output& out);
int RunIndex(CliHost& host, const Arguments& args, Output& out);
int RunSagGrid(CliHost& host, const Arguments& args, Output& out);
int RunCompile(CliHost& host, const Arguments& args, Output& out);
int RunListing(CliHost& host, const Arguments& args, Output& out);
int RunStl(CliHost& host, const Arguments& args, Output& out);
int RunLoad(CliHost& host, const Arguments& args, Output& out);
// The library check (cli_check.cpp): 1 when a check failed; a library that faults while loading
// throws CliFault.
int RunCheck(CliHost& host, const Arguments& args, Output& out);
// The comparison with a reference (cli_compare.cpp): 1 when a quantity differs beyond its
// tolerance; a fault of either library throws CliFault. snapshot writes the answers compare uses.
int RunCompare(CliHost& host, const Arguments& args, Output& out);
int RunSnapshot(CliHost& host, const Arguments& args, Output& out);
// Writes the session of what the command line built (session_file.h).
int RunStoreSession(CliHost& host, const Arguments& args, Output& out);
// Needs Qt; creates its application on the offscreen platform.
int RunViews(CliHost& host, const Arguments& args, Output& out);

// Refuses an output file that cannot be replaced (no regular file, no permission) before the
// command does any work. Throws CliError naming the file and the reason.
void CheckOutputFile(const std::string& path);

// The command of that name, or nullptr.
using CommandFunction = int (*)(CliHost&, const Arguments&, Output&);
CommandFunction FindCommand(const std::string& name);

}  // namespace velmor::cli
