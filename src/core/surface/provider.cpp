#include "core/surface/provider.h"

#include <cmath>
#include <cstring>

#include "core/app/number_text.h"
#include "core/host/guarded_library.h"
#include "core/interp/script_engine.h"
#include "core/surface/even_array.h"
#include "core/surface/pe_file.h"
#include "core/surface/surface_sampler.h"

namespace velmor {

namespace {

void WriteUserDataDefaults(USER_DATA& ud) {
    ud = USER_DATA{};
    ud.x = 1.0;
    ud.y = -0.5;
    ud.z = 0.0;
    ud.l = -0.25;
    ud.m = 0.2;
    ud.n = 0.947;
}

}  // namespace

void WriteRecordDefaults(RecordPair& pair, int version) {
    WriteUserDataDefaults(pair.ud);
    if (version < kRecordVersion0 || version > kLastRecordVersion) return;
    WriteN1(pair, version, 1.0);
    WriteN2(pair, version, 1.5);
    WriteCv(pair, version, 0.25);
    WriteK(pair, version, 0.0);
    pair.Numb() = 0;
    pair.Surf() = 3;
    pair.Wave() = 1;
    pair.Type() = kRequestSafeData;
}

struct CSurfaceProvider::State {
    State(CSurfaceProvider& owner, CScriptEngine& scriptEngine)
        : engine(scriptEngine), sampler(owner) {}

    CScriptEngine& engine;
    std::unique_ptr<SurfaceLibrary> library;  // set while a library is loaded
    GuardedLibrary* guarded = nullptr;        // the library, when it runs in the helper
    std::string libraryPath;
    LibraryHostSettings host;
    LibraryWaitHook* waitHook = nullptr;
    LibraryOutputSink* outputSink = nullptr;
    bool faulted = false;  // the loaded library faulted: every call answers -1
    std::optional<LibraryFault> lastFault;
    int recordVersion = kRecordVersion0;
    RecordPair initial;
    RecordPair finalPair;
    RecordPair working;
    RecordPair fresh;  // the initial pair as the last load left it
    bool interpreterMode = false;
    bool gradientIndex = false;
    bool lastTraceOk = false;
    double lastRay[6] = {};
    std::shared_ptr<const MediumPath> mediumPath;
    std::string mediumStatus;
    ProviderSampler sampler;
};

CSurfaceProvider::CSurfaceProvider(CScriptEngine& engine)
    : m_state(std::make_unique<State>(*this, engine)) {
    // Start as the program starts: built-in surface, records at their defaults.
    ResetSurfaceRecords();
    CopyRecordPair(m_state->finalPair, m_state->initial);
    CopyRecordPair(m_state->working, m_state->initial);
}

CSurfaceProvider::~CSurfaceProvider() {
    ReleaseSurfaceDll();
}

RecordPair& CSurfaceProvider::Initial() {
    return m_state->initial;
}
RecordPair& CSurfaceProvider::Final() {
    return m_state->finalPair;
}
RecordPair& CSurfaceProvider::Working() {
    return m_state->working;
}
int CSurfaceProvider::RecordVersion() const {
    return m_state->recordVersion;
}

bool CSurfaceProvider::InterpreterMode() const {
    return m_state->interpreterMode;
}
void CSurfaceProvider::SetInterpreterMode(bool on) {
    m_state->interpreterMode = on;
}
bool CSurfaceProvider::GradientIndex() const {
    return m_state->gradientIndex;
}
void CSurfaceProvider::SetGradientIndex(bool flag) {
    m_state->gradientIndex = flag;
}

bool CSurfaceProvider::LibraryLoaded() const {
    return m_state->library != nullptr;
}
const std::string& CSurfaceProvider::LibraryPath() const {
    return m_state->libraryPath;
}

void CSurfaceProvider::SetLibraryHost(const LibraryHostSettings& settings) {
    m_state->host = settings;
}
const LibraryHostSettings& CSurfaceProvider::LibraryHost() const {
    return m_state->host;
}
void CSurfaceProvider::SetLibraryWaitHook(LibraryWaitHook* hook) {
    m_state->waitHook = hook;
    if (m_state->guarded != nullptr) m_state->guarded->SetWaitHook(hook);
}
void CSurfaceProvider::SetLibraryOutputSink(LibraryOutputSink* sink) {
    m_state->outputSink = sink;
    if (m_state->guarded != nullptr) m_state->guarded->SetOutputSink(sink);
}
bool CSurfaceProvider::LibraryFaulted() const {
    return m_state->faulted;
}
const LibraryFault* CSurfaceProvider::LastLibraryFault() const {
    return m_state->lastFault ? &*m_state->lastFault : nullptr;
}
int CSurfaceProvider::LibraryHelperPid() const {
    return m_state->guarded != nullptr ? m_state->guarded->HelperPid() : 0;
}

bool CSurfaceProvider::LibraryBusy() const {
    return m_state->library != nullptr && m_state->library->Busy();
}

SurfaceLibrary* CSurfaceProvider::BatchLibrary() {
    State& s = *m_state;
    return !s.interpreterMode && !s.faulted ? s.library.get() : nullptr;
}

void CSurfaceProvider::NoteLibraryBatch(LibraryCall status, int recordVersion) {
    if (status == LibraryCall::kAnswered) m_state->recordVersion = recordVersion;
    if (status == LibraryCall::kFailed) NoteFault();
}

void CSurfaceProvider::NoteFault() {
    State& s = *m_state;
    const LibraryFault* fault = s.library != nullptr ? s.library->Fault() : nullptr;
    if (fault == nullptr) return;  // a request made while another waited: no fault
    s.faulted = true;
    s.lastFault = *fault;
}

void CSurfaceProvider::MakeLibrary(bool inHelper) {
    State& s = *m_state;
    s.guarded = nullptr;
    if (!inHelper) {
        s.library = std::make_unique<InProcessLibrary>();
        return;
    }
    auto guarded = std::make_unique<GuardedLibrary>(s.host.helperPath.empty() ? DefaultHelperPath()
                                                                              : s.host.helperPath);
    guarded->SetLimits(s.host.limits);
    guarded->SetWine(s.host.wine);
    guarded->SetWaitHook(s.waitHook);
    guarded->SetOutputSink(s.outputSink);
    s.guarded = guarded.get();
    s.library = std::move(guarded);
}
bool CSurfaceProvider::LastTraceSucceeded() const {
    return m_state->lastTraceOk;
}
const double* CSurfaceProvider::LastRay() const {
    return m_state->lastRay;
}
const MediumPath* CSurfaceProvider::LastMediumPath() const {
    return m_state->mediumPath.get();
}
std::shared_ptr<const MediumPath> CSurfaceProvider::SharedMediumPath() const {
    return m_state->mediumPath;
}
const std::string& CSurfaceProvider::LastMediumStatus() const {
    return m_state->mediumStatus;
}
CScriptEngine& CSurfaceProvider::Engine() {
    return m_state->engine;
}
Sampler& CSurfaceProvider::SurfaceSampler() {
    return m_state->sampler;
}

void CSurfaceProvider::RefreshWorkingPair() {
    CopyRecordPair(m_state->working, m_state->initial);
}

int CSurfaceProvider::CallSurface(RecordPair& pair) {
    State& s = *m_state;
    if (s.interpreterMode) return -1;
    if (s.library != nullptr) {
        if (s.faulted) return -1;
        int result = -1, version = s.recordVersion;
        switch (s.library->Call(pair, &result, &version)) {
            case LibraryCall::kAnswered:
                s.recordVersion = version;
                return result;
            case LibraryCall::kFailed:
                NoteFault();
                return -1;
            case LibraryCall::kNoEntry:
                break;
        }
    }
    s.recordVersion = kRecordVersion0;
    return EvenArraySurface(&pair.ud, pair.Fd0());
}

bool CSurfaceProvider::QueryGradientIndex() {
    State& s = *m_state;
    bool gradient = false;
    if (!s.interpreterMode) {
        RecordPair& pair = s.finalPair;
        pair.Type() = kRequestName;
        pair.Numb() = 2;
        // The answer is read from `string`: a surface that does not answer the question must
        // not be taken for a gradient-index medium because of an older answer left there.
        std::memset(pair.ud.string, 0, sizeof pair.ud.string);
        gradient = CallSurface(pair) == 0 && pair.ud.string[0] != '\0';
    }
    s.gradientIndex = gradient;
    return gradient;
}

void CSurfaceProvider::ResetSurfaceRecords() {
    State& s = *m_state;
    RecordPair& pair = s.initial;
    const int version = s.recordVersion;
    WriteRecordDefaults(pair, version);
    if (version < kRecordVersion0 || version > kLastRecordVersion) return;
    CallSurface(pair);  // the surface writes its safe data; the result is not looked at
    CopyRecordPair(s.fresh, pair);
}

void CSurfaceProvider::RecordsAsLoaded(RecordPair& pair, RecordPair* defaults) {
    State& s = *m_state;
    std::memset(pair.fd, 0, sizeof pair.fd);
    const int version = s.recordVersion;
    WriteRecordDefaults(pair, version);
    if (defaults != nullptr) CopyRecordPair(*defaults, pair);
    if (version < kRecordVersion0 || version > kLastRecordVersion) return;
    const bool interpreterMode = s.interpreterMode;
    s.interpreterMode = false;
    CallSurface(pair);
    pair.Type() = kRequestSafeData;
    CallSurface(pair);
    s.interpreterMode = interpreterMode;
}

void CSurfaceProvider::RebuildInitialRecords() {
    State& s = *m_state;
    // The tables of the new version start with empty cells: every FIXED_DATA field is 0.
    std::memset(s.initial.fd, 0, sizeof s.initial.fd);
    ResetSurfaceRecords();
    // The safe-data request once more, so the surface receives it twice.
    s.initial.Type() = kRequestSafeData;
    CallSurface(s.initial);
    CopyRecordPair(s.fresh, s.initial);
    // The question goes through the final pair, which still holds the records of the surface
    // before, in its layout and with pointers into a library that may be gone: the surface is
    // asked with its own initial records instead.
    CopyRecordPair(s.finalPair, s.initial);
    QueryGradientIndex();
}

LoadOutcome CSurfaceProvider::OpenSurfaceDll(const std::string& path) {
    return LoadLibrary(path, false);
}

LoadOutcome CSurfaceProvider::ReloadSurfaceDll() {
    if (m_state->libraryPath.empty()) {
        LoadOutcome outcome;
        outcome.loaded = LibraryLoaded();
        outcome.recordVersion = m_state->recordVersion;
        outcome.gradientIndex = m_state->gradientIndex;
        outcome.reason = "no library was opened";
        return outcome;
    }
    const std::string path = m_state->libraryPath;
    return LoadLibrary(path, true);
}

// While a request of the loaded library still waits, the library stays as it is: the outcome
// says it is loaded, with the reason nothing changed.
LoadOutcome CSurfaceProvider::KeepWaitingLibrary() const {
    LoadOutcome outcome;
    outcome.loaded = true;
    outcome.recordVersion = m_state->recordVersion;
    outcome.gradientIndex = m_state->gradientIndex;
    outcome.reason = "a request of the loaded library is still waiting";
    return outcome;
}

LoadOutcome CSurfaceProvider::LoadLibrary(const std::string& path, bool keepRecords) {
    State& s = *m_state;
    if (LibraryBusy()) return KeepWaitingLibrary();
    LoadOutcome outcome;
    // Records laid out for another surface than the built-in one must not outlive a failed
    // load: the built-in surface would read them through its own layout.
    const bool hadLibrary = s.library != nullptr;
    const bool recordsOfLibrary = hadLibrary || s.recordVersion != kRecordVersion0;
    const int versionBefore = s.recordVersion;
    ReleaseSurfaceDll();
    s.lastFault.reset();
    s.libraryPath = path;

    // A Windows DLL is known by its content: one that cannot be loaded is refused before any
    // helper starts, and one that can runs in the Windows helper even in-process.
    const PeCheck pe = CheckPeFile(path);
    if (pe.kind == PeKind::kRefused) outcome.message = pe.message;
#ifndef _WIN32
    const WineLaunch& wine = s.host.wine;
    if (pe.kind == PeKind::kX64 &&
        FindWine(wine.wineCandidates.empty() ? DefaultWineCandidates() : wine.wineCandidates)
            .empty()) {
        outcome.message = kWineMissingText;
    }
#endif
    int version = kRecordVersion0;
    if (!outcome.message.empty()) {
        outcome.loaded = false;
        outcome.reason = outcome.message;
    } else {
        MakeLibrary(!s.host.inProcess || pe.kind == PeKind::kX64);
        outcome.loaded = s.library->Open(path, &version, &outcome.reason);
    }
    if (!outcome.loaded) {
        if (s.library != nullptr) {
            if (const LibraryFault* fault = s.library->Fault()) s.lastFault = *fault;
        }
        ReleaseSurfaceDll();
    } else {
        s.recordVersion = version;
        if (keepRecords && hadLibrary && version == versionBefore) {
            // The user's initial pair stays; only the question whose answer may have changed.
            QueryGradientIndex();
            outcome.recordsKept = true;
        } else {
            RebuildInitialRecords();
            outcome.recordsChanged = true;
        }
        if (s.faulted) {
            // A fault during the load (safe data, the gradient question) fails the load.
            outcome.loaded = false;
            outcome.reason = s.lastFault->Describe();
            ReleaseSurfaceDll();
        }
    }
    if (s.lastFault) outcome.fault = s.lastFault;
    if (!outcome.loaded && (recordsOfLibrary || outcome.recordsChanged || outcome.recordsKept)) {
        s.recordVersion = kRecordVersion0;
        RebuildInitialRecords();
        outcome.recordsChanged = true;
        outcome.recordsKept = false;
    }
    outcome.recordVersion = s.recordVersion;
    outcome.gradientIndex = s.gradientIndex;
    return outcome;
}

LoadOutcome CSurfaceProvider::UseBuiltInSurface() {
    State& s = *m_state;
    if (LibraryBusy()) return KeepWaitingLibrary();
    LoadOutcome outcome;
    ReleaseSurfaceDll();
    s.lastFault.reset();
    s.libraryPath.clear();
    s.recordVersion = kRecordVersion0;
    RebuildInitialRecords();
    outcome.loaded = true;
    outcome.recordsChanged = true;
    outcome.recordVersion = s.recordVersion;
    outcome.gradientIndex = s.gradientIndex;
    return outcome;
}

const RecordPair& CSurfaceProvider::FreshInitial() const {
    return m_state->fresh;
}

void CSurfaceProvider::ReleaseSurfaceDll() {
    State& s = *m_state;
    s.guarded = nullptr;
    s.library.reset();
    s.faulted = false;
}

TraceOutcome CSurfaceProvider::TraceRay(const ScriptTraceSettings& settings,
                                        const MediumTraceOptions& medium) {
    State& s = *m_state;
    RecordPair& pair = s.finalPair;
    CopyRecordPair(pair, s.initial);

    int result = 0;
    if (s.interpreterMode) {
        s.engine.BeginEscapePass();  // the trace is a pass of script runs of its own
        ScriptRay ray;
        result = TraceScriptRay(s.engine, settings, pair.ud.x, pair.ud.y, pair.ud.l, pair.ud.m,
                                pair.ud.n, settings.n1, settings.n2, &ray);
        pair.ud.x = ray.x;
        pair.ud.y = ray.y;
        pair.ud.z = ray.z;
        pair.ud.l = ray.l;
        pair.ud.m = ray.m;
        pair.ud.n = ray.n;
        pair.ud.ln = ray.ln;
        pair.ud.mn = ray.mn;
        pair.ud.nn = ray.nn;
        pair.ud.path = ray.path;
    } else {
        pair.Type() = kRequestRealTrace;
        result = CallSurface(pair);
    }

    const USER_DATA& out = pair.ud;
    const double ray[6] = {out.x, out.y, out.z, out.l, out.m, out.n};
    std::memcpy(s.lastRay, ray, sizeof ray);
    // A ray answered 0 with an output that is no number is drawn and reported as failed.
    bool finite = true;
    for (double value :
         {out.x, out.y, out.z, out.l, out.m, out.n, out.ln, out.mn, out.nn, out.path}) {
        finite = finite && std::isfinite(value);
    }

    TraceOutcome outcome;
    outcome.result = result;
    outcome.traced = result == 0 && finite;
    s.lastTraceOk = outcome.traced;
    const USER_DATA& in = s.initial.ud;
    double ray3d[9] = {in.l, in.m, in.n, out.l, out.m, out.n, out.x, out.y, out.z};
    if (!(std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z))) {
        // A failed ray is drawn from its point on the surface: without one, from its start.
        ray3d[6] = in.x;
        ray3d[7] = in.y;
        ray3d[8] = in.z;
    }
    for (int i = 0; i < 9; ++i) outcome.ray3d[i] = static_cast<float>(ray3d[i]);
    outcome.rayState3d = outcome.traced ? 2 : 1;
    outcome.statusText = "RayTrace : return code = " + FormatInt(result);
    if (!outcome.traced) outcome.statusText += " (error)";
    TraceMedium(settings, medium, outcome);
    return outcome;
}

void CSurfaceProvider::TraceMedium(const ScriptTraceSettings& settings,
                                   const MediumTraceOptions& medium, TraceOutcome& outcome) {
    State& s = *m_state;
    s.mediumPath.reset();
    s.mediumStatus.clear();
    if (!s.gradientIndex || s.interpreterMode) return;
    outcome.medium = true;
    if (!outcome.traced) {
        s.mediumStatus = "GRIN : no path: " + outcome.statusText;
        outcome.mediumStatus = s.mediumStatus;
        return;
    }
    // From the hit point along the direction request 5 gave into the medium.
    const USER_DATA& out = s.finalPair.ud;
    const MediumRecords records = ReadMediumRecords(s.initial, s.recordVersion);
    MediumRay ray;
    ray.x = out.x;
    ray.y = out.y;
    ray.z = out.z;
    ray.l = out.l;
    ray.m = out.m;
    ray.n = out.n;
    ray.step = records.step;
    MediumBounds bounds;
    bounds.endZ = MediumEndZ(records, medium.displayZMax);
    bounds.xmin = settings.xmin;
    bounds.xmax = settings.xmax;
    bounds.ymin = settings.ymin;
    bounds.ymax = settings.ymax;
    bounds.stepLimit = medium.stepLimit;
    MediumOptions options;
    options.reportProgress = true;
    options.window = medium.window;
    // Request 6 as the index samples ask it: on the working pair, fresh from the initial pair.
    RefreshWorkingPair();
    SamplerMediumIndex index(s.sampler);
    s.mediumPath = std::make_shared<const MediumPath>(TraceMediumPath(ray, bounds, index, options));
    s.mediumStatus = MediumStatusText(*s.mediumPath, records.wavelength == 0);
    outcome.mediumStatus = s.mediumStatus;
}

}  // namespace velmor
