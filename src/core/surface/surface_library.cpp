#include "core/surface/surface_library.h"

#include "core/app/progress.h"
#include "core/surface/batch_loop.h"
#include "core/surface/surface_entry.h"

namespace velmor {

namespace {

// Progress and cancel of an in-process batch: ReportProgress at the start of every row.
struct ReportingHooks : BatchHooks {
    explicit ReportingHooks(const BatchProgress& p) : progress(p) {}
    const BatchProgress& progress;
    bool RowStarts(std::size_t row) {
        if (!progress.report || (row == 0 && progress.continuesRow)) return true;
        const bool cancel =
            ReportProgress(progress.firstRow + static_cast<long long>(row), progress.totalRows - 1);
        if (cancel && progress.cancelled != nullptr) *progress.cancelled = true;
        return !cancel;
    }
    bool RowEnded(std::size_t) { return true; }
};

}  // namespace

bool InProcessLibrary::Open(const std::string& path, int* recordVersion, std::string* reason) {
    if (!m_library.Open(path)) {
        *reason = m_library.Error();
        return false;
    }
    const SurfaceEntry entry = FindSurfaceEntry(m_library);
    if (entry.address == nullptr) {
        *reason = kNoSurfaceEntryText;
        m_library.Close();
        return false;
    }
    *recordVersion = entry.recordVersion;
    return true;
}

void InProcessLibrary::Close() {
    m_library.Close();
}

LibraryCall InProcessLibrary::Call(RecordPair& pair, int* result, int* recordVersion) {
    const SurfaceEntry entry = FindSurfaceEntry(m_library);
    if (entry.address == nullptr) return LibraryCall::kNoEntry;
    *recordVersion = entry.recordVersion;
    *result = CallSurfaceEntry(entry, &pair.ud, pair.fd);
    return LibraryCall::kAnswered;
}

void InProcessLibrary::MakeBatchRoom() const {
    if (m_points == nullptr) m_points.reset(new BatchPoints);
    if (m_answers == nullptr) m_answers.reset(new BatchAnswers);
}

BatchPoints& InProcessLibrary::Points() {
    MakeBatchRoom();
    return *m_points;
}

const BatchAnswers& InProcessLibrary::Answers() const {
    MakeBatchRoom();
    return *m_answers;
}

std::size_t InProcessLibrary::RunBatch(RecordPair& working, std::size_t n, std::uint32_t options,
                                       const BatchProgress& progress, LibraryCall* status,
                                       int* recordVersion) {
    if (m_busy) {
        *status = LibraryCall::kFailed;
        return 0;
    }
    const SurfaceEntry entry = FindSurfaceEntry(m_library);
    if (entry.address == nullptr) {
        *status = LibraryCall::kNoEntry;
        return 0;
    }
    MakeBatchRoom();
    if (n > kMaxBatchPoints) n = kMaxBatchPoints;
    *status = LibraryCall::kAnswered;
    *recordVersion = entry.recordVersion;
    ReportingHooks hooks{progress};
    m_busy = true;
    const std::size_t done =
        RunBatchLoop(entry, working.ud, working.fd, *m_points, *m_answers, n, options, hooks);
    m_busy = false;
    return done;
}

}  // namespace velmor
