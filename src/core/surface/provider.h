// The surface provider: decides who answers a surface request (the loaded library, the
// built-in Even Array surface, or the compiled script in interpreter mode), owns the record
// pairs, loads and releases the library, and traces the single real ray.
//
// The windows show what these operations return: the provider itself never talks to a window.
#pragma once

#include <memory>
#include <string>

#include "core/surface/records.h"
#include "core/surface/sampler.h"
#include "core/surface/script_ray_trace.h"  // ScriptTraceSettings

namespace velmor {

class CScriptEngine;

// Message shown when "Open DLL ..." cannot use the chosen file.
inline constexpr const char* kSurfaceDllErrorText = "User_Defined_Surface DLL ? or PATH ?";

struct TraceOutcome {
    int result = 0;          // 0 success
    float ray3d[9] = {};     // incident l m n, outgoing l m n, hit x y z (for the 3D window)
    int rayState3d = 0;      // 1 failed, 2 traced
    std::string statusText;  // "RayTrace : return code = 0" or "... = %d (error)"
};

struct LoadOutcome {
    bool loaded = false;         // false: show kSurfaceDllErrorText; no library stays loaded
    int recordVersion = 0;       // the version now in use
    bool gradientIndex = false;  // the gradient-index flag now in force
    // The initial records were rebuilt for `recordVersion`: retitle the tables, rebuild their
    // rows, show the initial pair, rebuild the map and the 3D model, repaint. Always true
    // after a successful load. After a failed load it is true when a library had been loaded
    // before: that library is gone, so the records fall back to the built-in surface.
    bool recordsChanged = false;
    std::string reason;  // the loader's reason for a failed load (for diagnostics)
};

class CSurfaceProvider {
public:
    explicit CSurfaceProvider(CScriptEngine& engine);
    ~CSurfaceProvider();  // releases the library
    CSurfaceProvider(const CSurfaceProvider&) = delete;
    CSurfaceProvider& operator=(const CSurfaceProvider&) = delete;

    RecordPair& Initial();
    RecordPair& Final();
    RecordPair& Working();
    int RecordVersion() const;

    bool InterpreterMode() const;
    void SetInterpreterMode(bool on);
    bool GradientIndex() const;  // the flag as last computed or set
    void SetGradientIndex(bool flag);

    // Sends the request in pair's FIXED_DATA `type` (and `numb`) to the library's entry point,
    // found again by name on every call, or to the built-in surface when there is none; the
    // record version follows whoever answered. -1 in interpreter mode (nothing is called).
    int CallSurface(RecordPair& pair);
    // Asks the surface (through the final pair) whether it is a gradient-index medium and
    // keeps the answer as the gradient-index flag. False in interpreter mode.
    bool QueryGradientIndex();
    // USER_DATA defaults, n1 n2 cv k at the version's offsets, then the safe-data request.
    void ResetSurfaceRecords();
    // The loading half of "Open DLL ...", everything after the file dialog.
    LoadOutcome OpenSurfaceDll(const std::string& path);
    void ReleaseSurfaceDll();
    bool LibraryLoaded() const;

    // The computing half of the single real ray: initial pair -> final pair, request 5 (or the
    // script ray trace in interpreter mode, with n1 and n2 from `settings`), last ray kept.
    TraceOutcome TraceRay(const ScriptTraceSettings& settings);
    bool LastTraceSucceeded() const;
    const double* LastRay() const;  // x y z l m n of the final USER_DATA after the last trace

    // Copies the initial pair into the working pair (before a batch of samples).
    void RefreshWorkingPair();
    // The sampler every view, the map and the mesh builder use.
    Sampler& SurfaceSampler();

    CScriptEngine& Engine();

private:
    // FIXED_DATA area emptied, records reset, safe data asked once more, flag recomputed.
    void RebuildInitialRecords();

    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace velmor
