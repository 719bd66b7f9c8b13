// The views command in a build without the windows' 2D views (the Windows build, which has no
// QtGui): it says so instead of drawing.
#include "cli/cli_commands.h"
#include "cli/cli_options.h"

namespace velmor::cli {

int RunViews(CliHost& /*host*/, const Arguments& /*args*/, Output& /*out*/) {
    throw CliError("views is not part of this build of velmor-cli (it draws with Qt's QtGui)");
}

}  // namespace velmor::cli
