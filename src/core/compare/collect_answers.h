// One side's answers for a comparison, collected from a surface provider as the windows sample
// it: the sag grid through its sampler in passes of whole rows (batch requests to a library in
// its helper, script runs in interpreter mode), the ray set and the index slab as batch
// requests with whole records, the text questions and the safe-data request as single calls.
#pragma once

#include <string>
#include <vector>

#include "core/compare/surface_answers.h"
#include "core/surface/provider.h"
#include "core/surface/sampler.h"

namespace velmor {

// The progress of a comparison in steps (the rows of each sag grid sampled, and one step for
// each other part): ReportProgress(done, total), a cancel kept.
class CompareProgress {
public:
    CompareProgress(long long total, bool report) : m_total(total), m_report(report) {}
    // A pass of rows ending at `ends` that starts at the current step; Advance afterwards.
    SampleRows Rows(const std::size_t* ends, std::size_t count);
    void Advance(long long steps) { m_done += steps; }
    // Reports the current step and moves past it; true once a cancel was asked for.
    bool Step();
    bool Cancelled() const { return m_cancelled; }

private:
    long long m_done = 0;
    long long m_total;
    bool m_report;
    bool m_cancelled = false;
};

struct CollectRequest {
    SurfaceKind kind = SurfaceKind::kBuiltIn;
    std::string source;
    CompareRanges ranges;
    // The index slab's points to ask (a snapshot's, or the other side's); null: the slab over
    // this side's own sags.
    const std::vector<IndexPoint>* indexPoints = nullptr;
    // How a script traces the ray of the initial records (the main window's n1 and n2).
    ScriptTraceSettings trace;
    CompareProgress* progress = nullptr;  // may be null
};

// The steps CollectAnswers takes for these ranges (for CompareProgress's total).
long long CollectSteps(const CompareRanges& ranges);

enum class CollectOutcome {
    kDone,
    kCancelled,  // the progress or a library wait asked to stop: the answers are incomplete
    kFaulted,    // the provider's library faulted (provider.LastLibraryFault())
};

// Collects the answers of the surface `provider` answers with: its initial records (copied into
// the working pair before each pass), its interpreter mode, its gradient-index flag.
CollectOutcome CollectAnswers(CSurfaceProvider& provider, const CollectRequest& request,
                              SurfaceAnswers* answers);

}  // namespace velmor
