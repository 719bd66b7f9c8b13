#include "core/surface/surface_sampler.h"

#include <algorithm>
#include <vector>

#include "core/interp/script_engine.h"
#include "core/surface/provider.h"

namespace velmor {

namespace {

static_assert(kSamplePassPoints == kMaxBatchPoints, "a pass of kSamplePassPoints is one request");

// Script points handed to the engine at a time (many blocks; the answers are kept this long).
constexpr std::size_t kScriptChunk = 4096;

ScriptPoint PointOf(const PointRun& run) {
    ScriptPoint point;
    point.compiled = run.compiled;
    point.assigned = run.assigned;
    point.z = run.z;
    point.clean = run.runErrors == 0;
    return point;
}

// A sag sample as Sag answers it in interpreter mode: the value written when the run gave one
// (finite or not), success only for a valid point.
bool TakeScriptSag(const ScriptPoint& point, double* z) {
    const bool ran = point.compiled && point.assigned && point.clean;
    if (ran && z != nullptr) *z = point.z;
    return point.Valid();
}

// The request every point of a pass sends (a sag or an index pass), or none: each point sets
// its own (a view's mixed pass).
struct PassRequest {
    bool same = false;
    int type = 0;
    std::uint32_t fields = 0;
};

// Sends points [0, n), each one request setting some fields of the working pair, through the
// library in batch requests of at most kMaxBatchPoints points, cut at row ends where a row
// fits. fill(i, points, k) sets point i of the pass as point k of the request (with its request
// and fields unless `request` is the same for all); read(i, answers, k, hash) takes its answer
// and counts what it took into `hash` (the library confirms a request's answers by it: none
// of them counts when the library wrote over them); fail(i) marks a point the library never
// answered. Returns the points done, or -1 when the library has no entry point (nothing was
// sent).
template <class Fill, class Read, class Fail>
long long RunLibraryPasses(CSurfaceProvider& provider, SurfaceLibrary& library,
                           const PassRequest& request, std::size_t n, const SampleRows& rows,
                           Fill&& fill, Read&& read, Fail&& fail) {
    if (library.Busy()) {
        // Another request of the library is under way (this pass was asked for from its
        // progress report or wait): the points it reads must stay as they are.
        for (std::size_t i = 0; i < n; ++i) fail(i);
        return static_cast<long long>(n);
    }
    RecordPair& working = provider.Working();
    std::size_t done = 0;
    std::size_t row = 0;  // the row point `done` belongs to
    const std::size_t rowCount = RowCount(rows);
    while (done < n) {
        while (row < rowCount && RowEnd(rows, n, row) <= done) ++row;
        // Whole rows while they fit; a row longer than a request is cut.
        std::size_t end = done;
        for (std::size_t r = row; r < rowCount; ++r) {
            const std::size_t rowEnd = RowEnd(rows, n, r) < n ? RowEnd(rows, n, r) : n;
            if (rowEnd - done > kMaxBatchPoints) break;
            end = rowEnd;
        }
        if (end == done) end = n - done > kMaxBatchPoints ? done + kMaxBatchPoints : n;

        BatchPoints& points = library.Points();
        if (request.same) {
            points.type[0] = request.type;
            points.numb[0] = 0;
            points.fields[0] = request.fields;
        }
        std::size_t nextEnd = row < rowCount ? RowEnd(rows, n, row) : n;
        long long rowsOfRequest = 0;
        for (std::size_t i = done, r = row; i < end; ++i) {
            fill(i, points, i - done);
            points.flags[i - done] = 0;
            if (i + 1 == nextEnd) {
                points.flags[i - done] = kEndsRow;
                ++rowsOfRequest;
                ++r;
                nextEnd = r < rowCount ? RowEnd(rows, n, r) : n;
            }
        }
        if (!(points.flags[end - done - 1] & kEndsRow)) ++rowsOfRequest;  // a row cut here
        BatchProgress progress;
        progress.rows = rowsOfRequest;
        progress.report = rows.reportProgress;
        progress.firstRow = rows.firstRow + static_cast<long long>(row);
        progress.totalRows = rows.totalRows;
        progress.continuesRow = row < rowCount && done > (row > 0 ? RowEnd(rows, n, row - 1) : 0);
        bool cancelled = false;
        progress.cancelled = &cancelled;

        LibraryCall status = LibraryCall::kFailed;
        int version = provider.RecordVersion();
        const std::uint32_t options =
            kBatchReaderVerifies | (request.same ? std::uint32_t{kBatchSameRequest} : 0u);
        std::size_t got =
            library.RunBatch(working, end - done, options, progress, &status, &version);
        if (status == LibraryCall::kNoEntry) return done == 0 ? -1 : static_cast<long long>(done);
        const BatchAnswers& answers = library.Answers();
        AnswerHash hash;
        for (std::size_t i = 0; i < got; ++i) read(done + i, answers, i, hash);
        if (status == LibraryCall::kAnswered && !library.ConfirmAnswers(hash.Value())) {
            status = LibraryCall::kFailed;  // none of the request's answers stands
            got = 0;
        }
        provider.NoteLibraryBatch(status, version);
        if (status == LibraryCall::kFailed) {
            // A fault: the answers before it stand, every other point of the pass fails.
            for (std::size_t i = done + got; i < n; ++i) fail(i);
            return static_cast<long long>(n);
        }
        done += got;
        if (cancelled && rows.cancelled != nullptr) *rows.cancelled = true;
        if (done < end || cancelled) break;
    }
    return static_cast<long long>(done);
}

}  // namespace

ScriptPoint RunScriptPoint(CScriptEngine& engine, double x, double y) {
    engine.SetInputs(x, y);
    engine.Run(false);
    ScriptPoint point;
    point.compiled = engine.CompileErrorCount() == 0;
    double z = 0;
    point.assigned = engine.ZAssigned(&z);
    point.z = point.assigned ? z : 0.0;
    point.clean = engine.RunErrorCount() == 0;
    return point;
}

void RunScriptPoints(CScriptEngine& engine, std::size_t n, const double* x, const double* y,
                     ScriptPoint* points) {
    std::vector<PointRun> runs(std::min(n, kScriptChunk));
    for (std::size_t at = 0; at < n; at += kScriptChunk) {
        const std::size_t k = std::min(kScriptChunk, n - at);
        engine.RunPoints(k, x + at, y + at, runs.data());
        for (std::size_t i = 0; i < k; ++i) points[at + i] = PointOf(runs[i]);
    }
}

bool ProviderSampler::Sag(double x, double y, double* z) {
    if (m_provider.InterpreterMode()) {
        return TakeScriptSag(RunScriptPoint(m_provider.Engine(), x, y), z);
    }
    RecordPair& working = m_provider.Working();
    working.ud.x = x;
    working.ud.y = y;
    working.Type() = kRequestSag;
    if (m_provider.CallSurface(working) != 0) return false;
    if (z != nullptr) *z = working.ud.sag1;
    return FiniteSag(working.ud.sag1);
}

bool ProviderSampler::Index(double x, double y, double z, IndexSample* out) {
    if (m_provider.InterpreterMode()) return false;
    RecordPair& working = m_provider.Working();
    working.ud.x = x;
    working.ud.y = y;
    working.ud.z = z;
    working.Type() = kRequestIndex;
    if (m_provider.CallSurface(working) != 0) return false;
    const IndexSample sample{working.ud.index, working.ud.dndx, working.ud.dndy, working.ud.dndz};
    if (out != nullptr) *out = sample;
    return FiniteIndex(sample);
}

}  // namespace velmor

namespace velmor {

std::size_t ProviderSampler::ScriptSagBatch(std::size_t n, const double* x, const double* y,
                                            double* z, bool* ok, const SampleRows& rows) {
    CScriptEngine& engine = m_provider.Engine();
    std::vector<PointRun> runs(std::min(n, kScriptChunk));
    std::size_t i = 0;
    for (std::size_t r = 0; r < RowCount(rows) && i < n; ++r) {
        if (ReportRowStart(rows, r)) return i;
        const std::size_t end = std::min(RowEnd(rows, n, r), n);
        while (i < end) {
            const std::size_t k = std::min(kScriptChunk, end - i);
            engine.RunPoints(k, x + i, y + i, runs.data());
            for (std::size_t j = 0; j < k; ++j)
                ok[i + j] = TakeScriptSag(PointOf(runs[j]), &z[i + j]);
            i += k;
        }
    }
    return i;
}

std::size_t ProviderSampler::SagBatch(std::size_t n, const double* x, const double* y, double* z,
                                      bool* ok, const SampleRows& rows) {
    if (m_provider.InterpreterMode()) return ScriptSagBatch(n, x, y, z, ok, rows);
    SurfaceLibrary* library = m_provider.BatchLibrary();
    if (library != nullptr && n > 0) {
        const long long done = RunLibraryPasses(
            m_provider, *library, {true, kRequestSag, kSagPointFields}, n, rows,
            [&](std::size_t i, BatchPoints& points, std::size_t k) {
                points.x[k] = x[i];
                points.y[k] = y[i];
            },
            [&](std::size_t i, const BatchAnswers& answers, std::size_t k, AnswerHash& hash) {
                const int result = answers.result[k];
                z[i] = answers.value[0][k];  // sag1
                hash.AddSag(result, z[i]);
                ok[i] = result == 0 && FiniteSag(z[i]);
            },
            [&](std::size_t i) { ok[i] = false; });
        if (done >= 0) return static_cast<std::size_t>(done);
    }
    return Sampler::SagBatch(n, x, y, z, ok, rows);
}

std::size_t ProviderSampler::IndexBatch(std::size_t n, const double* x, const double* y,
                                        const double* z, IndexSample* out, bool* ok,
                                        const SampleRows& rows) {
    SurfaceLibrary* library = m_provider.BatchLibrary();
    if (library != nullptr && n > 0) {
        const long long done = RunLibraryPasses(
            m_provider, *library, {true, kRequestIndex, kIndexPointFields}, n, rows,
            [&](std::size_t i, BatchPoints& points, std::size_t k) {
                points.x[k] = x[i];
                points.y[k] = y[i];
                points.z[k] = z[i];
            },
            [&](std::size_t i, const BatchAnswers& answers, std::size_t k, AnswerHash& hash) {
                const int result = answers.result[k];
                out[i] = {answers.value[0][k], answers.value[1][k], answers.value[2][k],
                          answers.value[3][k]};
                hash.AddIndex(result, out[i].index, out[i].dndx, out[i].dndy, out[i].dndz);
                ok[i] = result == 0 && FiniteIndex(out[i]);
            },
            [&](std::size_t i) { ok[i] = false; });
        if (done >= 0) return static_cast<std::size_t>(done);
    }
    return Sampler::IndexBatch(n, x, y, z, out, ok, rows);
}

void ProviderSampler::SampleBatch(std::size_t n, const SampleRequest* requests,
                                  SampleAnswer* answers) {
    if (m_provider.InterpreterMode()) {
        // The sag samples' points in the pass's order; an index sample fails without a run.
        std::vector<double> xs, ys;
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < n; ++i) {
            if (requests[i].kind != SampleRequest::kSag) {
                answers[i].ok = false;
                continue;
            }
            xs.push_back(requests[i].x);
            ys.push_back(requests[i].y);
            at.push_back(i);
        }
        std::vector<ScriptPoint> points(xs.size());
        RunScriptPoints(m_provider.Engine(), xs.size(), xs.data(), ys.data(), points.data());
        for (std::size_t k = 0; k < at.size(); ++k) {
            answers[at[k]].ok = TakeScriptSag(points[k], &answers[at[k]].sag);
        }
        return;
    }
    SurfaceLibrary* library = m_provider.BatchLibrary();
    if (library != nullptr && n > 0) {
        const long long done = RunLibraryPasses(
            m_provider, *library, {}, n, {},
            [&](std::size_t i, BatchPoints& points, std::size_t k) {
                const SampleRequest& request = requests[i];
                const bool sag = request.kind == SampleRequest::kSag;
                points.type[k] = sag ? kRequestSag : kRequestIndex;
                points.fields[k] = sag ? kSagPointFields : kIndexPointFields;
                points.x[k] = request.x;
                points.y[k] = request.y;
                points.z[k] = request.z;
            },
            [&](std::size_t i, const BatchAnswers& replies, std::size_t k, AnswerHash& hash) {
                SampleAnswer& answer = answers[i];
                const int result = replies.result[k];
                if (requests[i].kind == SampleRequest::kSag) {
                    answer.sag = replies.value[0][k];  // sag1
                    hash.AddSag(result, answer.sag);
                    answer.ok = result == 0 && FiniteSag(answer.sag);
                } else {
                    answer.index = {replies.value[0][k], replies.value[1][k], replies.value[2][k],
                                    replies.value[3][k]};
                    const IndexSample& s = answer.index;
                    hash.AddIndex(result, s.index, s.dndx, s.dndy, s.dndz);
                    answer.ok = result == 0 && FiniteIndex(answer.index);
                }
            },
            [&](std::size_t i) { answers[i].ok = false; });
        if (done >= 0) return;
    }
    Sampler::SampleBatch(n, requests, answers);
}

}  // namespace velmor
