// Progress of long loops (surface map, mesh build, STL writers, model readers). The core only
// calls ReportProgress; the program installs the progress window behind it.
#pragma once

namespace velmor {

// Answers true when the user asked to cancel. Called with i in 0..n-1 of a loop of n steps.
// Without an installed reporter it never cancels.
bool ReportProgress(long long i, long long n);

class ProgressReporter {
public:
    virtual ~ProgressReporter() = default;
    virtual bool Report(long long i, long long n) = 0;  // true: cancel
};

// Installs (or with nullptr removes) the reporter behind ReportProgress; returns the previous.
ProgressReporter* SetProgressReporter(ProgressReporter* reporter);

}  // namespace velmor
