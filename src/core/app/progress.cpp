#include "core/app/progress.h"

namespace velmor {

namespace {
// The one reporter of the process; the window thread is the only caller.
ProgressReporter* g_reporter = nullptr;
}  // namespace

bool ReportProgress(long long i, long long n) {
    return g_reporter != nullptr && g_reporter->Report(i, n);
}

ProgressReporter* SetProgressReporter(ProgressReporter* reporter) {
    ProgressReporter* previous = g_reporter;
    g_reporter = reporter;
    return previous;
}

}  // namespace velmor
