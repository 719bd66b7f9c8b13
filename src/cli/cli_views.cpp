#include "cli_commands.h"

namespace velmor::cli {

int RunViews(CliHost&, const Arguments&, Output&) {
    throw CliError("views: not built yet");
}

}  // namespace velmor::cli
