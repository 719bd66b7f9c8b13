#include "core/compare/compare_run.h"

#include <memory>

namespace velmor {

namespace {

CompareEnd EndOf(CollectOutcome outcome, CompareEnd faulted) {
    switch (outcome) {
        case CollectOutcome::kCancelled:
            return CompareEnd::kCancelled;
        case CollectOutcome::kFaulted:
            return faulted;
        default:
            return CompareEnd::kCompared;
    }
}

// The "rows" quantity of a library reference says which of the user's changed rows it took
// and which its record version lacks.
void NoteRowsTaken(const RowsTaken& rows, CompareReport& report) {
    for (QuantityResult& q : report.quantities) {
        if (q.name != "rows" || q.outcome == CompareOutcome::kSkip) continue;
        const std::size_t changed = rows.taken.size() + rows.lacking.size();
        if (rows.lacking.empty()) {
            q.outcome = CompareOutcome::kSame;
            q.detail = std::to_string(changed) +
                       " rows changed since the load, all taken by the "
                       "reference";
            for (std::size_t i = 0; i < rows.taken.size() && i < 8; ++i) {
                q.detail += (i == 0 ? ": " : ", ") + rows.taken[i].first;
            }
            if (rows.taken.size() > 8) q.detail += ", ...";
            return;
        }
        if (q.outcome == CompareOutcome::kSame) {
            report.same -= 1;
            report.differs += 1;
        }
        q.outcome = CompareOutcome::kDiffers;
        q.detail = "the reference's record version " + std::to_string(rows.recordVersion) +
                   " lacks " + std::to_string(rows.lacking.size()) + " of the " +
                   std::to_string(changed) + " rows changed since the load: ";
        for (std::size_t i = 0; i < rows.lacking.size(); ++i) {
            q.detail += (i > 0 ? ", " : "") + rows.lacking[i];
        }
        return;
    }
}

}  // namespace

CompareRun RunComparison(CSurfaceProvider& surface, CCompareReference& reference,
                         const CompareRequest& request) {
    CompareRun run;
    const CompareRanges& ranges = request.ranges;
    const std::string problem = CompareRangesProblem(ranges);
    if (!problem.empty()) {
        run.end = CompareEnd::kRefused;
        run.message = problem;
        return run;
    }
    const SurfaceAnswers* snapshot = reference.Snapshot();
    if (snapshot != nullptr && !(snapshot->ranges == ranges)) {
        run.end = CompareEnd::kRefused;
        run.message = "the snapshot covers " + CompareRangesText(snapshot->ranges) +
                      ", not the comparison's " + CompareRangesText(ranges) +
                      ": compare over the snapshot's ranges and steps, or take it again";
        return run;
    }
    if (reference.Fault() != nullptr) {
        run.end = CompareEnd::kReferenceFaulted;
        return run;
    }

    // The reference takes the rows the user changed since the surface was loaded.
    {
        auto loaded = std::make_unique<RecordPair>();
        surface.RecordsAsLoaded(*loaded);
        reference.TakeRecords(surface.Initial(), *loaded, surface.RecordVersion());
    }
    if (surface.LibraryFaulted()) {
        run.end = CompareEnd::kSurfaceFaulted;
        return run;
    }
    if (reference.Fault() != nullptr) {
        run.end = CompareEnd::kReferenceFaulted;
        return run;
    }

    CSurfaceProvider* live = reference.Provider();
    const long long steps = CollectSteps(ranges);
    CompareProgress progress(live != nullptr ? 2 * steps : steps, request.reportProgress);

    CollectRequest collect;
    collect.kind = request.surfaceKind;
    collect.source = request.surfaceSource;
    collect.ranges = ranges;
    collect.trace = request.trace;
    collect.progress = &progress;
    if (snapshot != nullptr && !snapshot->indexPoints.empty()) {
        collect.indexPoints = &snapshot->indexPoints;
    }
    run.end = EndOf(CollectAnswers(surface, collect, &run.surface), CompareEnd::kSurfaceFaulted);
    if (run.end != CompareEnd::kCompared) return run;

    if (live != nullptr) {
        CollectRequest other = collect;
        other.kind = reference.Kind() == ReferenceKind::kScript ? SurfaceKind::kScript
                                                                : SurfaceKind::kLibrary;
        other.source = reference.Path();
        other.indexPoints = run.surface.indexPoints.empty() ? nullptr : &run.surface.indexPoints;
        run.end =
            EndOf(CollectAnswers(*live, other, &run.reference), CompareEnd::kReferenceFaulted);
        if (run.end != CompareEnd::kCompared) return run;
        if (reference.Kind() == ReferenceKind::kLibrary) {
            run.reference.changedRows = reference.Rows().taken;
        }
    } else {
        run.reference = *snapshot;
    }
    run.report = CompareSurfaceAnswers(run.surface, run.reference,
                                       CompareTolerancesFor(ranges, request.positionTolerance));
    if (reference.Kind() == ReferenceKind::kLibrary) NoteRowsTaken(reference.Rows(), run.report);
    return run;
}

}  // namespace velmor
