// The surface provider: decides who answers a surface request (the loaded library, the
// built-in Even Array surface, or the compiled script in interpreter mode), owns the record
// pairs, loads and releases the library, and traces the single real ray.
//
// The windows show what these operations return: the provider itself never talks to a window.
//
// A loaded library runs in the helper process velmor-surface-host (core/host/guarded_library.h)
// unless the library host settings say in-process. For the windows: SetLibraryWaitHook installs
// what runs while a library request waits (pump events, "Waiting for the surface library ..."
// with Cancel), SetLibraryOutputSink where the library's output goes (the "Library Output"
// window), LastLibraryFault / LibraryFaulted what to show after a fault ("Library faulted:
// SIGSEGV in sag"), ReloadSurfaceDll is "Reload DLL"; a pass of samples goes to the helper
// through Sampler::SagBatch / IndexBatch.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/host/library_fault.h"
#include "core/host/library_host_settings.h"
#include "core/surface/medium_ray.h"
#include "core/surface/records.h"
#include "core/surface/sampler.h"
#include "core/surface/script_ray_trace.h"  // ScriptTraceSettings
#include "core/surface/surface_library.h"

namespace velmor {

class CScriptEngine;

// Message shown when "Open DLL ..." cannot use the chosen file.
inline constexpr const char* kSurfaceDllErrorText = "User_Defined_Surface DLL ? or PATH ?";

struct TraceOutcome {
    int result = 0;  // the surface's return code, 0 success
    // The ray was traced: return code 0 and every output (x y z, l m n, ln mn nn, path) a
    // finite number. A trace answered 0 with an output that is no number failed.
    bool traced = false;
    float ray3d[9] = {};     // incident l m n, outgoing l m n, hit x y z (for the 3D window)
    int rayState3d = 0;      // 1 failed, 2 traced
    std::string statusText;  // "RayTrace : return code = 0", or "... = %d (error)" when failed
    // A gradient-index surface (outside interpreter mode): the ray went on through the medium
    // (CSurfaceProvider::LastMediumPath), or could not. `mediumStatus` is its status line,
    // "GRIN : 412 steps, end (x, y, z), OPL 15.062" (MediumStatusText), or "GRIN : no path: "
    // and statusText after a failed trace.
    bool medium = false;
    std::string mediumStatus;
};

// How TraceRay goes on through a gradient-index medium: the step is param[1] of the initial
// records, the end plane z = thic when thic > 0, else the display z maximum given here.
struct MediumTraceOptions {
    double displayZMax = 10;
    long long stepLimit = kMediumStepLimit;
    MediumProgressWindow* window = nullptr;  // shown while a long path is traced (may be null)
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
    // A file the loader did not try: a Windows DLL for another machine than x64, a damaged one,
    // or one that needs wine where wine is missing. Shown instead of kSurfaceDllErrorText;
    // `reason` holds the same text.
    std::string message;
    // The library faulted while loading (its constructors, the two safe-data requests or the
    // gradient-index question): show fault->Describe() instead of kSurfaceDllErrorText.
    // `reason` holds the same text.
    std::optional<LibraryFault> fault;
    // ReloadSurfaceDll found the same record version and kept the initial pair as it was (no
    // safe-data request was sent).
    bool recordsKept = false;
};

// The records a load starts from before the surface's safe-data request: the USER_DATA
// defaults, n1 n2 cv k at the version's offsets, numb 0, surf 3, wave 1 and the safe-data
// request in type. Nothing of FIXED_DATA is written for a version outside 0..4.
void WriteRecordDefaults(RecordPair& pair, int recordVersion);

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
    // The initial records as loading the current surface made them, in `pair`: FIXED_DATA
    // emptied, WriteRecordDefaults, then the safe-data request twice (also in interpreter mode,
    // whose records still belong to the library or the built-in surface). The measure of the
    // rows the user changed since. `defaults`, when given, receives the pair before the
    // safe-data requests. Nothing else of the provider changes.
    void RecordsAsLoaded(RecordPair& pair, RecordPair* defaults = nullptr);
    // The loading half of "Open DLL ...", everything after the file dialog. The library runs
    // in a fresh helper process unless the library host settings say in-process; a Windows DLL
    // always runs in the Windows helper (under wine on Linux).
    LoadOutcome OpenSurfaceDll(const std::string& path);
    // "Reload DLL": a fresh helper (in-process: the library closed first) loads the library of
    // the last OpenSurfaceDll again (the file may have been rebuilt). When a library was loaded
    // (faulted or not) and the record version is unchanged, the initial pair stays as it is and no
    // safe-data request is sent; only the gradient-index question is asked again. Otherwise it goes
    // as OpenSurfaceDll goes. Both are refused while a request of the loaded library waits (asked
    // from a wait hook): nothing changes and `reason` says why.
    LoadOutcome ReloadSurfaceDll();
    void ReleaseSurfaceDll();
    // Back to the built-in surface as the program starts with it: the library (if any) released
    // and forgotten ("Reload DLL" has nothing to load), the records rebuilt for version 0 with
    // its safe data. The outcome is that of a successful load of the built-in surface.
    LoadOutcome UseBuiltInSurface();
    // The initial pair as the last load (or the start, or UseBuiltInSurface) left it: records
    // reset and the safe data written, before any edit. A session stores the rows that differ.
    const RecordPair& FreshInitial() const;
    // True while a library is loaded, also after it faulted (until a reload or another load).
    bool LibraryLoaded() const;
    const std::string& LibraryPath() const;  // the path of the last OpenSurfaceDll

    // How the next load runs the library (in-process or in the helper, its limits). The wait
    // hook and the output sink apply at once; neither is owned.
    void SetLibraryHost(const LibraryHostSettings& settings);
    const LibraryHostSettings& LibraryHost() const;
    void SetLibraryWaitHook(LibraryWaitHook* hook);
    void SetLibraryOutputSink(LibraryOutputSink* sink);
    // True when the loaded library faulted: every CallSurface answers -1 at once (nothing is
    // called, the records stay as they were) until the library is loaded again.
    bool LibraryFaulted() const;
    // The fault of the loaded library, or of the last load that failed with a fault; nullptr
    // when there is none. Cleared by the next load.
    const LibraryFault* LastLibraryFault() const;
    // The helper process running the library, 0 when none (in-process, or no library).
    int LibraryHelperPid() const;
    // True while a request of the loaded library is under way (through the helper: waiting for
    // its answer; in-process: a batch reporting its progress). Another request fails at once
    // meanwhile, so a window defers what it would sample until this is false.
    bool LibraryBusy() const;

    // The computing half of the single real ray: initial pair -> final pair, request 5 (or the
    // script ray trace in interpreter mode, with n1 and n2 from `settings`), last ray kept.
    // LastTraceSucceeded() is the outcome's `traced`. For a gradient-index surface the traced
    // ray then goes on through the medium (core/surface/medium_ray.h): request 6 on the working
    // pair, refreshed from the initial pair, within the analysis ranges of `settings`.
    TraceOutcome TraceRay(const ScriptTraceSettings& settings,
                          const MediumTraceOptions& medium = {});
    bool LastTraceSucceeded() const;
    const double* LastRay() const;  // x y z l m n of the final USER_DATA after the last trace
    // The path of the last TraceRay through the medium; nullptr when there is none (not a
    // gradient-index surface, or its trace failed). A step that is no number above 0 gives a
    // path of its start point alone that ends with MediumEnd::kStepLength.
    const MediumPath* LastMediumPath() const;
    // The same path, kept alive for whoever holds it (a view's state) after the next trace.
    std::shared_ptr<const MediumPath> SharedMediumPath() const;
    // The last TraceRay's medium status line (TraceOutcome::mediumStatus); empty when the surface
    // is not a gradient-index medium.
    const std::string& LastMediumStatus() const;

    // Copies the initial pair into the working pair (before a batch of samples).
    void RefreshWorkingPair();
    // The sampler every view, the map and the mesh builder use.
    Sampler& SurfaceSampler();

    // For the sampler's passes: the loaded library when it answers (loaded, not faulted, not in
    // interpreter mode), else nullptr (the pass is then sampled point by point). After each
    // RunBatch the sampler reports its outcome through NoteLibraryBatch, which keeps the record
    // version, or the fault.
    SurfaceLibrary* BatchLibrary();
    void NoteLibraryBatch(LibraryCall status, int recordVersion);

    CScriptEngine& Engine();

private:
    // FIXED_DATA area emptied, records reset, safe data asked once more, the initial pair copied
    // into the final pair, flag recomputed on it.
    void RebuildInitialRecords();
    // A fresh library object of the kind the settings ask for (the helper when `inHelper`), with
    // the hooks installed.
    void MakeLibrary(bool inHelper);
    // Keeps the loaded library's fault (once it has one) and marks it faulted.
    void NoteFault();
    // After a traced ray of a gradient-index surface: its path through the medium, kept with
    // its status line.
    void TraceMedium(const ScriptTraceSettings& settings, const MediumTraceOptions& medium,
                     TraceOutcome& outcome);
    // Loads `path` and sets the records for it; `keepRecords` keeps the initial pair when the
    // record version is the one before.
    LoadOutcome LoadLibrary(const std::string& path, bool keepRecords);
    // The outcome of a load refused while a request of the loaded library still waits.
    LoadOutcome KeepWaitingLibrary() const;

    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace velmor
