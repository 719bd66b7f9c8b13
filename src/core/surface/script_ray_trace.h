// The single real ray traced against a script surface z = f(x, y): a march along the ray to
// bracket the crossing, a bisection to locate it, a finite-difference normal and the vector
// refraction shared with the built-in surface.
#pragma once

namespace velmor {

class CScriptEngine;

// What the script ray trace and the script sampler need from the main window's state.
struct ScriptTraceSettings {
    double xmin = -10, xmax = 10, ymin = -10, ymax = 10;  // analysis ranges
    double dx = 0.025, dy = 0.025;                        // 2D steps
    double n1 = 1.0, n2 = 1.5;                            // the "n1" / "n2" fields
};

// Outputs of the trace; they land in the final USER_DATA fields of the same names.
struct ScriptRay {
    double x = 0, y = 0, z = 0;     // hit point
    double l = 0, m = 0, n = 0;     // outgoing direction
    double ln = 0, mn = 0, nn = 0;  // always 0: the normal is not reported
    double path = 0;                // ray parameter of the hit
};

// Status of a trace whose script does not pass its compile-level check at the second normal
// sample.
constexpr int kScriptTraceCompileFailure = -1;

// Traces the ray through (x0, y0, 0) with direction (l, m, n) from index n1 into n2. The
// search range comes from the analysis ranges, the normal's differences from the 2D steps
// of `settings` (its n1 and n2 are not read here). 0 success; -1 no crossing within the
// range, a bisection that does not settle, total internal reflection or a direction that is
// not a number; 1 when the second normal sample has no value.
int TraceScriptRay(CScriptEngine& engine, const ScriptTraceSettings& settings, double x0, double y0,
                   double l, double m, double n, double n1, double n2, ScriptRay* out);

}  // namespace velmor
