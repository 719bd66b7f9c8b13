// velmor-surface-host: runs the user's surface library for Velmor in a process of its own, so
// that a library that crashes, hangs or exits ends this process and never the program.
//
//   velmor-surface-host SHARED-AREA-FILE
//
// The program starts it with standard input and output as the request and answer channels and
// standard error as the channel for whatever the library prints.
#include <cstdio>
#include <string>

#include "core/host/host_platform.h"
#include "core/host/host_protocol.h"
#include "core/host/host_server.h"
#include "core/host/shared_area.h"

int main(int argc, char** argv) {
    using namespace velmor;
    if (argc != 2) {
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
    if (!area.Open(argv[1], kSharedAreaBytes, &error)) {
        std::fprintf(stderr, "velmor-surface-host: %s\n", error.c_str());
        return 2;
    }
    return RunHostServer(requests, answers, *static_cast<SharedArea*>(area.Data()));
}
