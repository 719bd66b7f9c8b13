// velmor-surface-host: runs the user's surface library for Velmor in a process of its own, so
// that a library that crashes, hangs or exits ends this process and never the program.
//
//   velmor-surface-host SHARED-AREA-FILE
//
// The program starts it with standard input and output as the request and answer channels and
// standard error as the channel for whatever the library prints. The Windows build (run under
// wine for a Windows DLL) also takes a POSIX path for the file, as drive Z: sees it.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include "core/app/windows_text.h"
#endif

#include "core/host/host_platform.h"
#include "core/host/host_protocol.h"
#include "core/host/host_server.h"
#include "core/host/shared_area.h"

namespace {

// The arguments as UTF-8. On Windows the C run-time's argv is in the system's code page, which
// may not hold every character of a path.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    std::vector<std::string> arguments = velmor::CommandLineArguments();
    if (!arguments.empty()) return arguments;
#endif
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velmor;
    const std::vector<std::string> arguments = Arguments(argc, argv);
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: velmor-surface-host SHARED-AREA-FILE (started by Velmor)\n");
        return 2;
    }
    std::string error;
    HostHandle requests = 0, answers = 0;
    if (!TakeProtocolStreams(&requests, &answers, &error)) {
        std::fprintf(stderr, "velmor-surface-host: %s\n", error.c_str());
        return 2;
    }
    PrepareHelperProcess();
    SharedAreaFile area;
    if (!area.Open(arguments[1], kSharedAreaBytes, &error)) {
        std::fprintf(stderr, "velmor-surface-host: %s\n", error.c_str());
        return 2;
    }
    auto& shared = *static_cast<SharedArea*>(area.Data());
    ReportUnhandledExceptions(&shared.status);
    return RunHostServer(requests, answers, shared);
}
