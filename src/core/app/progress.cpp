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

int ProgressPercent(long long i, long long n) {
    if (n <= 0) return 0;
    // Wide enough that (i + 1) * 100 cannot overflow for any i a caller passes.
    __int128 p = (static_cast<__int128>(i) + 1) * 100 / n;
    if (p < 0) return 0;
    if (p > 100) return 100;
    return static_cast<int>(p);
}

}  // namespace velmor
