// "Check Library ...": what the library check runs on when the main window starts it, and the
// subject line its results window names.
#pragma once

#include <QString>

#include "core/check/library_check.h"
#include "core/surface/provider.h"
#include "ui/plots/plot_state.h"

namespace velmor {

struct CheckRequest {
    CheckInput input;
    // "check_hit_off.so over x -10 .. 10, y -10 .. 10": the surface checked (the library's file
    // name, the script or the built-in surface) and the analysis ranges.
    QString subject;
};

// The surface as the windows have it: the script in interpreter mode, else the loaded library
// (in a helper of the check's own, run as the library host settings say), else the built-in
// surface; the initial records of `provider` and the analysis ranges of `settings`; progress
// through ReportProgress. The check reports its waits to `waitHook` and the library's output to
// `outputSink` (neither owned; both may be null).
CheckRequest MakeCheckRequest(const PlotSettings& settings, CSurfaceProvider& provider,
                              LibraryWaitHook* waitHook, LibraryOutputSink* outputSink);

}  // namespace velmor
