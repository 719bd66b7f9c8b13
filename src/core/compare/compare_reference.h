// The reference a surface is compared with, told apart by its content: a surface library (an
// ELF shared object or a Windows DLL), loaded as "Open DLL ..." loads one into a surface
// provider of its own whose library always runs in a helper process of its own; a snapshot
// file (snapshot_file.h); or else a script, compiled as the Compile command compiles it and
// sampled as interpreter mode samples.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/compare/surface_answers.h"
#include "core/host/library_host_settings.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "core/surface/sampler.h"

namespace velmor {

enum class ReferenceKind { kLibrary, kScript, kSnapshot };
// "library", "script", "snapshot".
const char* ReferenceKindText(ReferenceKind kind);

struct ReferenceSetup {
    // How the reference library's helper runs (its path, wine, the limits); it runs in a helper
    // whatever `inProcess` says. The hook and the sink are not owned (either may be null).
    LibraryHostSettings host;
    LibraryWaitHook* waitHook = nullptr;
    LibraryOutputSink* outputSink = nullptr;
};

// The rows of the user's records a reference library took over.
struct RowsTaken {
    std::vector<NamedValue> taken;     // by name, with the value now in the reference's records
    std::vector<std::string> lacking;  // rows its record version has not (or cannot hold)
    int recordVersion = kRecordVersion0;
};

class CCompareReference {
public:
    CCompareReference();
    ~CCompareReference();
    CCompareReference(const CCompareReference&) = delete;
    CCompareReference& operator=(const CCompareReference&) = delete;

    // Opens the reference at `path`. False with a one-line *message saying why (a file that
    // cannot be read, a library that cannot be loaded, a damaged snapshot, a script without
    // intermediate code); a library that faulted while loading also leaves LoadFault() set.
    bool Open(const std::string& path, const ReferenceSetup& setup, std::string* message);

    ReferenceKind Kind() const { return m_kind; }
    const std::string& Path() const { return m_path; }

    // A library or a script: the provider that answers for it (records, sampler, trace); null
    // for a snapshot.
    CSurfaceProvider* Provider() { return m_provider.get(); }
    // A snapshot: its answers; null otherwise.
    const SurfaceAnswers* Snapshot() const { return m_snapshot ? &*m_snapshot : nullptr; }

    // Gives the reference the user's records: a library's initial records take the rows the
    // user changed since the load (those of `initial` that differ from `loaded`, the surface's
    // records as its load made them, in record version `version`), mapped by name where its own
    // record version has them (USER_DATA always); a script's take the USER_DATA (its ray).
    void TakeRecords(const RecordPair& initial, const RecordPair& loaded, int version);
    const RowsTaken& Rows() const { return m_rows; }

    // The reference library's fault, while loading or since; null when there is none.
    const LibraryFault* Fault() const;

    // What the views sample the reference with: the provider's sampler, or for a snapshot one
    // over its sag grid (bilinear between its points, exact on them; failing outside the grid,
    // where a neighbouring point failed, and for every index). Refreshes a provider's working
    // pair first.
    Sampler& ViewSampler();

private:
    bool OpenLibrary(const std::string& path, const ReferenceSetup& setup, std::string* message);
    bool OpenScript(const std::string& path, const std::string& bytes, std::string* message);

    ReferenceKind m_kind = ReferenceKind::kLibrary;
    std::string m_path;
    std::unique_ptr<CScriptEngine> m_engine;
    std::unique_ptr<CSurfaceProvider> m_provider;
    std::optional<SurfaceAnswers> m_snapshot;
    std::optional<LibraryFault> m_loadFault;
    std::unique_ptr<Sampler> m_snapshotSampler;
    RowsTaken m_rows;
};

}  // namespace velmor
