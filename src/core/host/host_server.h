// The helper's request loop: loads the surface library, runs single calls and batches on the
// records in the shared area, answers each request with one frame. Portable except for the
// system calls behind host_platform.h.
#pragma once

#include "core/host/host_platform.h"
#include "core/host/host_protocol.h"

namespace velmor {

// Serves requests until kOpQuit or the end of the request stream. Returns the helper's exit
// status: 0 after kOpQuit or the end of the stream, 2 after a broken frame.
int RunHostServer(HostHandle requests, HostHandle answers, SharedArea& area);

}  // namespace velmor
