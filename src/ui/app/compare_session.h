// "Compare With ..." and "Stop Comparing": the reference the main window compares its surface
// with (core/compare), the last comparison's report, and what the views draw of it
// (ui/plots/compare_views.h). The main window's part of the flow (the file dialog, the progress
// window, the messages, the status pane) is in compare_session.cpp as well.
#pragma once

#include <QString>

#include "core/compare/compare_run.h"
#include "ui/plots/compare_views.h"

namespace velmor {

// The message after the reference library faulted; comparing then ends.
inline constexpr const char* kTextReferenceFaulted = "The reference library faulted: ";

class CCompareSession {
public:
    CCompareReference reference;
    CompareReport report;
    CompareOverlay overlay;
    QString statusLine;  // "compare: sag max ..."

    // Takes a finished comparison: the difference map, the reference's sampler for the views,
    // the status line.
    void Show(const CompareRun& run);
    // The reference's trace of the ray of `initial` (x y z l m n) for the ray view: a library or
    // a script traces it now (a script with the settings' n1 and n2); a snapshot gives its own
    // when that started from the same ray.
    void TraceRay(const RecordPair& initial, const ScriptTraceSettings& settings);
};

}  // namespace velmor
