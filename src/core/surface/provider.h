// The surface provider: decides who answers a surface request (the loaded library, the
// built-in Even Array surface, or the compiled script in interpreter mode), owns the record
// pairs, loads and releases the library, and traces the single real ray.
//
// Draft contract: the provider's author may add to it; the names below stay.
#pragma once

#include <memory>
#include <string>

#include "surface/records.h"
#include "surface/sampler.h"

namespace velmor {

class CScriptEngine;

// What the script ray trace and the script sampler need from the main window's state.
struct ScriptTraceSettings {
    double xmin = -10, xmax = 10, ymin = -10, ymax = 10;  // analysis ranges
    double dx = 0.025, dy = 0.025;                         // 2D steps
    double n1 = 1.0, n2 = 1.5;                             // the "n1" / "n2" fields
};

struct TraceOutcome {
    int result = 0;           // 0 success
    float ray3d[9] = {};      // incident l m n, outgoing l m n, hit x y z (for the 3D window)
    int rayState3d = 0;       // 1 failed, 2 traced
    std::string statusText;   // "RayTrace : return code = 0" or "... = %d (error)"
};

struct LoadOutcome {
    bool loaded = false;      // false: "User_Defined_Surface DLL ? or PATH ?" and no library
    int recordVersion = 0;
    bool gradientIndex = false;
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
    bool GradientIndex() const;            // the flag as last computed
    void SetGradientIndex(bool flag);

    int CallSurface(RecordPair& pair);
    bool QueryGradientIndex();
    void ResetSurfaceRecords();
    LoadOutcome OpenSurfaceDll(const std::string& path);  // the loading half, steps after the dialog
    void ReleaseSurfaceDll();
    bool LibraryLoaded() const;
    const std::string& LibraryPath() const;

    TraceOutcome TraceRay(const ScriptTraceSettings& settings);
    bool LastTraceSucceeded() const;
    const double* LastRay() const;  // x y z l m n of the final USER_DATA after the last trace

    // Copies the initial pair into the working pair (before a batch of samples).
    void RefreshWorkingPair();
    // The sampler every view, the map and the mesh builder use.
    Sampler& SurfaceSampler();

    CScriptEngine& Engine();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace velmor
