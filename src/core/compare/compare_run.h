// A comparison from start to end, as the main window's "Compare With ..." and velmor-cli compare
// run it: the reference given the user's records, both sides' answers collected (the surface's
// first, whose index slab the reference is asked at), and the report.
#pragma once

#include <string>

#include "core/compare/collect_answers.h"
#include "core/compare/compare_reference.h"
#include "core/compare/compare_report.h"

namespace velmor {

struct CompareRequest {
    CompareRanges ranges;
    double positionTolerance = 0;  // 0: the default for the ranges
    // The surface's kind and file, for the answers.
    SurfaceKind surfaceKind = SurfaceKind::kBuiltIn;
    std::string surfaceSource;
    // How a script traces the ray of the initial records (the main window's n1 and n2).
    ScriptTraceSettings trace;
    // ReportProgress over both sides' collections, which a cancel stops.
    bool reportProgress = false;
};

enum class CompareEnd {
    kCompared,
    kCancelled,
    kRefused,           // `message` says why (the ranges, a snapshot of other ranges)
    kSurfaceFaulted,    // the surface's library faulted (its provider's LastLibraryFault)
    kReferenceFaulted,  // the reference's library faulted (the reference's Fault)
};

struct CompareRun {
    CompareEnd end = CompareEnd::kCompared;
    std::string message;
    SurfaceAnswers surface, reference;
    CompareReport report;
};

CompareRun RunComparison(CSurfaceProvider& surface, CCompareReference& reference,
                         const CompareRequest& request);

}  // namespace velmor
