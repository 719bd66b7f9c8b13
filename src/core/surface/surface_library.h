// What the surface provider needs of a loaded surface library, and the library run in the
// program's own process. The other implementation, GuardedLibrary (core/host), runs the library
// in the helper process `velmor-surface-host`, so that a library that crashes, hangs or exits
// takes only the helper down.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "core/host/host_protocol.h"
#include "core/host/library_fault.h"
#include "core/surface/dynamic_library.h"
#include "core/surface/records.h"

namespace velmor {

enum class LibraryCall {
    kAnswered,  // the entry point answered; result and record version are set
    kNoEntry,   // the library has no entry point (the built-in surface answers instead)
    kFailed,    // nothing was answered: the library faulted (now or before), or another
                // request of this library is still waiting (a request from inside a wait hook)
};

// Progress of a batch in rows (points with kEndsRow end a row; `rows` of them, counted by the
// library when 0). When `report` is set,
// ReportProgress(firstRow + r, totalRows - 1) is called as row r of the batch starts (in the
// program's process: at the start of every row; through the helper: before the batch and
// whenever rows finished while it waits), and a cancel stops the batch after whole rows.
struct BatchProgress {
    long long rows = 0;
    bool report = false;
    long long firstRow = 0;
    long long totalRows = 0;
    // The batch's first point continues a row an earlier batch began: its start is not reported.
    bool continuesRow = false;
    // When set, becomes true once a cancel was asked for during the batch (also one that came
    // too late to stop it short).
    bool* cancelled = nullptr;
};

class SurfaceLibrary {
public:
    virtual ~SurfaceLibrary() = default;

    // Loads the library at `path` (its constructors run) and finds its entry point. True with
    // *recordVersion set when there is one; otherwise false with *reason, and no library stays
    // loaded. A fault while loading leaves Fault() set.
    virtual bool Open(const std::string& path, int* recordVersion, std::string* reason) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Sends the request in the pair's FIXED_DATA `type` (and `numb`) to the entry point, looked
    // up again for this call. On kAnswered the pair holds what the library left in it; on
    // kFailed the pair is as it was.
    virtual LibraryCall Call(RecordPair& pair, int* result, int* recordVersion) = 0;

    // Room for kMaxBatchPoints points and their answers (for the helper: the points in the
    // shared area, the answers of the last batch as checked: a copy of the program's own, or
    // the shared area for a batch whose reader checks them, kBatchReaderVerifies).
    virtual BatchPoints& Points() = 0;
    virtual const BatchAnswers& Answers() const = 0;
    // Sends points [0, n) one after another with `working` as the working pair: each point's
    // fields go into the pair, the rest stays as the previous call left it, exactly as the
    // program's own sampling loops do; at the end `working` holds the pair as the last call left
    // it. `options` are BatchOption bits (whole records, the same request for every point).
    // Returns the
    // points done: n, fewer after a cancel (whole rows) or a fault (Fault() set; the answers
    // before the faulting point are kept, `working` is as it was). *status is kNoEntry (nothing
    // done) when the library has no entry point, kFailed after a fault or while another request
    // waits.
    virtual std::size_t RunBatch(RecordPair& working, std::size_t n, std::uint32_t options,
                                 const BatchProgress& progress, LibraryCall* status,
                                 int* recordVersion) = 0;

    // After a batch run with kBatchReaderVerifies: `hash` is the AnswerHash of the answers as the
    // caller read them. False when they are not the answers the library gave (the library
    // wrote over them meanwhile): the library has then faulted and none of them may be used.
    virtual bool ConfirmAnswers(std::uint64_t /*hash*/) { return true; }

    // The fault that stopped the library, or nullptr. Once set, every call fails until the
    // library is opened again.
    virtual const LibraryFault* Fault() const { return nullptr; }
    // True while a request waits for its answer (the library must not be closed meanwhile).
    virtual bool Busy() const { return false; }
};

// The library loaded into the program's own process (the "Run library in-process" mode): a
// fault of the library is a fault of the program.
class InProcessLibrary final : public SurfaceLibrary {
public:
    bool Open(const std::string& path, int* recordVersion, std::string* reason) override;
    void Close() override;
    bool IsOpen() const override { return m_library.IsOpen(); }
    LibraryCall Call(RecordPair& pair, int* result, int* recordVersion) override;
    BatchPoints& Points() override;
    const BatchAnswers& Answers() const override;
    std::size_t RunBatch(RecordPair& working, std::size_t n, std::uint32_t options,
                         const BatchProgress& progress, LibraryCall* status,
                         int* recordVersion) override;
    // True while a batch runs: its progress reports may run other code, and a batch started
    // there would overwrite the points and answers of this one, so it fails instead.
    bool Busy() const override { return m_busy; }

    const DynamicLibrary& Library() const { return m_library; }

private:
    void MakeBatchRoom() const;

    DynamicLibrary m_library;
    bool m_busy = false;
    // Made on first use and left uninitialised: pages no batch touches cost nothing.
    mutable std::unique_ptr<BatchPoints> m_points;
    mutable std::unique_ptr<BatchAnswers> m_answers;
};

}  // namespace velmor
