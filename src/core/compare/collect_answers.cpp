#include "core/compare/collect_answers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/app/cp932.h"
#include "core/app/progress.h"
#include "core/check/library_check.h"
#include "core/interp/script_engine.h"

namespace velmor {

SampleRows CompareProgress::Rows(const std::size_t* ends, std::size_t count) {
    SampleRows rows;
    rows.ends = ends;
    rows.count = count;
    rows.reportProgress = m_report;
    rows.firstRow = m_done;
    rows.totalRows = m_total + 1;  // rows report (firstRow + r, totalRows - 1)
    rows.cancelled = &m_cancelled;
    return rows;
}

bool CompareProgress::Step() {
    if (m_report && ReportProgress(m_done, m_total)) m_cancelled = true;
    ++m_done;
    return m_cancelled;
}

long long CollectSteps(const CompareRanges& ranges) {
    return static_cast<long long>(SagGridAxis(ranges.ymin, ranges.ymax, ranges.dy).size()) + 4;
}

namespace {

constexpr std::uint32_t kRayFields = kSetType | kSetX | kSetY | kSetZ | kSetL | kSetM | kSetN;

// The USER_DATA `string` of an answer as UTF-8 text.
std::string AnswerText(const USER_DATA& ud) {
    std::string utf8;
    Cp932ToUtf8(FieldText(ud.string, sizeof ud.string), &utf8);
    return utf8;
}

// A text question (request `type`, element `numb`) on a fresh copy of the initial pair, asked
// with an empty string as the program asks. The result; the text in *text when it is 0.
int AskText(CSurfaceProvider& provider, RecordPair& pair, int type, int numb, std::string* text) {
    CopyRecordPair(pair, provider.Initial());
    pair.Type() = type;
    pair.Numb() = numb;
    std::memset(pair.ud.string, 0, sizeof pair.ud.string);
    const int result = provider.CallSurface(pair);
    *text = result == 0 ? AnswerText(pair.ud) : std::string();
    return result;
}

// Name, element names, safe data, the rows changed since the load and the record version.
void CollectRecords(CSurfaceProvider& provider, SurfaceAnswers& a) {
    a.hasRecords = true;
    a.recordVersion = provider.RecordVersion();
    a.gradientIndex = provider.GradientIndex();
    auto pair = std::make_unique<RecordPair>();
    a.nameResult = AskText(provider, *pair, kRequestName, 0, &a.name);
    // The element names: every param and xdata row's request 1 or 2, as one batch through a
    // library, else one call each.
    struct Element {
        const std::string* name;
        int type, numb;
    };
    std::vector<Element> elements;
    for (const RecordRow& row : FixedDataRows(a.recordVersion)) {
        for (const auto& [open, type] : {std::pair<const char*, int>{"param[", kRequestParamName},
                                         {"xdata[", kRequestXdataName}}) {
            if (row.name.compare(0, 6, open) == 0) {
                elements.push_back({&row.name, type, std::atoi(row.name.c_str() + 6)});
            }
        }
    }
    SurfaceLibrary* library = provider.BatchLibrary();
    bool asked = false;
    if (library != nullptr && !library->Busy() && !elements.empty() &&
        elements.size() <= kMaxBatchPoints) {
        BatchPoints& points = library->Points();
        for (std::size_t i = 0; i < elements.size(); ++i) {
            points.type[i] = elements[i].type;
            points.numb[i] = elements[i].numb;
            points.fields[i] = kSetType | kSetNumb;
            points.flags[i] = i + 1 == elements.size() ? std::uint32_t{kEndsRow} : 0u;
        }
        CopyRecordPair(*pair, provider.Initial());
        std::memset(pair->ud.string, 0, sizeof pair->ud.string);  // asked as the program asks
        LibraryCall status = LibraryCall::kFailed;
        int version = provider.RecordVersion();
        const std::size_t done =
            library->RunBatch(*pair, elements.size(), kBatchWholeRecords | kBatchFreshUserData,
                              BatchProgress(), &status, &version);
        if (status != LibraryCall::kNoEntry) {
            provider.NoteLibraryBatch(status, version);
            asked = true;
            const BatchAnswers& answers = library->Answers();
            for (std::size_t i = 0; i < done && i < elements.size(); ++i) {
                if (answers.result[i] != 0) continue;
                const std::string text = AnswerText(answers.record[i]);
                if (!text.empty()) a.elementNames.emplace_back(*elements[i].name, text);
            }
        }
    }
    for (std::size_t i = 0; !asked && i < elements.size(); ++i) {
        std::string text;
        if (AskText(provider, *pair, elements[i].type, elements[i].numb, &text) == 0 &&
            !text.empty()) {
            a.elementNames.emplace_back(*elements[i].name, text);
        }
    }
    auto defaults = std::make_unique<RecordPair>();
    provider.RecordsAsLoaded(*pair, defaults.get());
    a.safeData = ChangedRows(*pair, *defaults, a.recordVersion);
    a.changedRows = ChangedRows(provider.Initial(), *pair, a.recordVersion);
}

CollectOutcome Outcome(CSurfaceProvider& provider, const CompareProgress* progress) {
    if (provider.LibraryFaulted()) return CollectOutcome::kFaulted;
    if (progress != nullptr && progress->Cancelled()) return CollectOutcome::kCancelled;
    return CollectOutcome::kDone;
}

// The sag grid in passes of whole rows (a pass of at most kSamplePassPoints points goes to a
// library as one batch request), the rows reported as the progress's steps.
CollectOutcome CollectSags(CSurfaceProvider& provider, const CollectRequest& request,
                           SurfaceAnswers& a) {
    const std::size_t nx = a.xs.size(), ny = a.ys.size(), n = nx * ny;
    a.sag.assign(n, 0.0);
    a.sagOk.assign(n, 0);
    if (n == 0) return Outcome(provider, request.progress);
    const std::size_t rowsPerPass = std::max<std::size_t>(1, kSamplePassPoints / nx);
    const std::size_t passPoints = std::min(ny, rowsPerPass) * nx;
    std::vector<double> x(passPoints), y(passPoints);
    std::vector<std::size_t> ends;
    auto ok = std::make_unique<bool[]>(passPoints);
    CompareProgress idle(0, false);
    CompareProgress& progress = request.progress != nullptr ? *request.progress : idle;
    Sampler& sampler = provider.SurfaceSampler();
    provider.RefreshWorkingPair();
    for (std::size_t row = 0; row < ny; row += rowsPerPass) {
        const std::size_t rows = std::min(rowsPerPass, ny - row);
        const std::size_t count = rows * nx;
        ends.clear();
        for (std::size_t r = 0; r < rows; ++r) {
            for (std::size_t i = 0; i < nx; ++i) {
                x[r * nx + i] = a.xs[i];
                y[r * nx + i] = a.ys[row + r];
            }
            ends.push_back((r + 1) * nx);
        }
        double* sag = a.sag.data() + row * nx;
        std::fill(ok.get(), ok.get() + count, false);
        const std::size_t done = sampler.SagBatch(count, x.data(), y.data(), sag, ok.get(),
                                                  progress.Rows(ends.data(), ends.size()));
        progress.Advance(static_cast<long long>(rows));
        for (std::size_t k = 0; k < count; ++k) {
            const bool answered = k < done && ok[k];
            a.sagOk[row * nx + k] = answered ? 1 : 0;
            // A failed point keeps only a value that is no number: the answer that failed it.
            if (!answered && std::isfinite(sag[k])) sag[k] = 0;
        }
        const CollectOutcome outcome = Outcome(provider, request.progress);
        if (outcome != CollectOutcome::kDone) return outcome;
        if (done < count || progress.Cancelled()) return CollectOutcome::kCancelled;
    }
    return CollectOutcome::kDone;
}

RayAnswer RayOf(int result, const USER_DATA& ud) {
    return {result, ud.x, ud.y, ud.z, ud.l, ud.m, ud.n, ud.ln, ud.mn, ud.nn, ud.path};
}

// The ray set: one batch with whole records through a library, else one call per ray.
CollectOutcome CollectRays(CSurfaceProvider& provider, const CollectRequest& request,
                           SurfaceAnswers& a) {
    CheckInitialDirection(provider.Initial().ud, a.direction);
    const std::vector<RayStart> starts = CompareRaySet(request.ranges, a.direction);
    const std::size_t n = starts.size();
    a.rays.assign(n, RayAnswer{});
    a.traced = true;
    SurfaceLibrary* library = provider.BatchLibrary();
    if (library != nullptr && !library->Busy() && n <= kMaxBatchPoints) {
        BatchPoints& points = library->Points();
        for (std::size_t i = 0; i < n; ++i) {
            const RayStart& s = starts[i];
            points.type[i] = kRequestRealTrace;
            points.numb[i] = 0;
            points.fields[i] = kRayFields;
            points.flags[i] = i + 1 == n ? std::uint32_t{kEndsRow} : 0u;
            points.x[i] = s.x;
            points.y[i] = s.y;
            points.z[i] = s.z;
            points.l[i] = s.l;
            points.m[i] = s.m;
            points.n[i] = s.n;
        }
        auto working = std::make_unique<RecordPair>();
        CopyRecordPair(*working, provider.Initial());
        bool cancelled = false;
        BatchProgress progress;
        progress.cancelled = &cancelled;
        LibraryCall status = LibraryCall::kFailed;
        int version = provider.RecordVersion();
        const std::size_t done = library->RunBatch(
            *working, n, kBatchWholeRecords | kBatchFreshUserData, progress, &status, &version);
        if (status != LibraryCall::kNoEntry) {
            provider.NoteLibraryBatch(status, version);
            const BatchAnswers& answers = library->Answers();
            for (std::size_t i = 0; i < done && i < n; ++i) {
                a.rays[i] = RayOf(answers.result[i], answers.record[i]);
            }
            const CollectOutcome outcome = Outcome(provider, request.progress);
            if (outcome != CollectOutcome::kDone) return outcome;
            return done < n || cancelled || status != LibraryCall::kAnswered
                       ? CollectOutcome::kCancelled
                       : CollectOutcome::kDone;
        }
    }
    // The built-in surface (or a library without an entry, which it answers for).
    auto pair = std::make_unique<RecordPair>();
    CopyRecordPair(*pair, provider.Initial());
    for (std::size_t i = 0; i < n; ++i) {
        const RayStart& s = starts[i];
        pair->ud = provider.Initial().ud;
        pair->ud.x = s.x;
        pair->ud.y = s.y;
        pair->ud.z = s.z;
        pair->ud.l = s.l;
        pair->ud.m = s.m;
        pair->ud.n = s.n;
        pair->Type() = kRequestRealTrace;
        const int result = provider.CallSurface(*pair);
        a.rays[i] = RayOf(result, pair->ud);
        if (provider.LibraryFaulted()) return CollectOutcome::kFaulted;
    }
    return Outcome(provider, request.progress);
}

// The index slab: the points given, or kIndexGridLevels levels above the sag at each point of
// the check's index grid where the sag answers.
CollectOutcome CollectIndex(CSurfaceProvider& provider, const CollectRequest& request,
                            SurfaceAnswers& a) {
    const CompareRanges& r = request.ranges;
    Sampler& sampler = provider.SurfaceSampler();
    provider.RefreshWorkingPair();
    if (request.indexPoints != nullptr) {
        a.indexPoints = *request.indexPoints;
    } else {
        const std::vector<CheckGridPoint> grid = CheckIndexGrid(r.xmin, r.xmax, r.ymin, r.ymax);
        const std::size_t g = grid.size();
        std::vector<double> x(g), y(g), floor(g, 0.0);
        for (std::size_t i = 0; i < g; ++i) {
            x[i] = grid[i].x;
            y[i] = grid[i].y;
        }
        auto ok = std::make_unique<bool[]>(g);
        sampler.SagBatch(g, x.data(), y.data(), floor.data(), ok.get());
        if (provider.LibraryFaulted()) return CollectOutcome::kFaulted;
        const double top = CheckIndexTop(provider.Initial(), provider.RecordVersion());
        for (std::size_t i = 0; i < g; ++i) {
            if (!ok[i]) continue;
            for (int level = 1; level <= kIndexGridLevels; ++level) {
                a.indexPoints.push_back({x[i], y[i], CheckIndexLevel(floor[i], top, level)});
            }
        }
    }
    const std::size_t n = a.indexPoints.size();
    std::vector<double> x(n), y(n), z(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = a.indexPoints[i].x;
        y[i] = a.indexPoints[i].y;
        z[i] = a.indexPoints[i].z;
    }
    std::vector<IndexSample> samples(n);
    auto ok = std::make_unique<bool[]>(n > 0 ? n : 1);
    provider.RefreshWorkingPair();
    const std::size_t done =
        n > 0 ? sampler.IndexBatch(n, x.data(), y.data(), z.data(), samples.data(), ok.get()) : 0;
    a.index.assign(n, IndexAnswer{});
    for (std::size_t i = 0; i < done && i < n; ++i) {
        const IndexSample& s = samples[i];
        IndexAnswer& answer = a.index[i];
        answer.ok = ok[i];
        // A failed point keeps only values that are no numbers: the answer that failed it.
        if (ok[i] || !FiniteIndex(s)) answer = {ok[i], s.index, s.dndx, s.dndy, s.dndz};
    }
    const CollectOutcome outcome = Outcome(provider, request.progress);
    if (outcome == CollectOutcome::kDone && done < n) return CollectOutcome::kCancelled;
    return outcome;
}

}  // namespace

CollectOutcome CollectAnswers(CSurfaceProvider& provider, const CollectRequest& request,
                              SurfaceAnswers* answers) {
    SurfaceAnswers& a = *answers;
    a = SurfaceAnswers();
    a.kind = request.kind;
    a.source = request.source;
    a.ranges = request.ranges;
    a.xs = SagGridAxis(request.ranges.xmin, request.ranges.xmax, request.ranges.dx);
    a.ys = SagGridAxis(request.ranges.ymin, request.ranges.ymax, request.ranges.dy);
    CompareProgress* progress = request.progress;
    const bool script = provider.InterpreterMode();
    auto step = [&] { return progress != nullptr && progress->Step(); };
    provider.Engine().BeginEscapePass();  // an Escape from before does not stop these runs

    if (step()) return CollectOutcome::kCancelled;
    if (!script) CollectRecords(provider, a);
    CollectOutcome outcome = Outcome(provider, progress);
    if (outcome != CollectOutcome::kDone) return outcome;

    outcome = CollectSags(provider, request, a);
    if (outcome != CollectOutcome::kDone) return outcome;

    if (step()) return CollectOutcome::kCancelled;
    if (!script) {
        outcome = CollectRays(provider, request, a);
        if (outcome != CollectOutcome::kDone) return outcome;
    }

    if (step()) return CollectOutcome::kCancelled;
    if (!script && a.gradientIndex) {
        outcome = CollectIndex(provider, request, a);
        if (outcome != CollectOutcome::kDone) return outcome;
    }

    if (step()) return CollectOutcome::kCancelled;
    const USER_DATA& start = provider.Initial().ud;
    const double rayStart[6] = {start.x, start.y, start.z, start.l, start.m, start.n};
    std::memcpy(a.rayStart, rayStart, sizeof rayStart);
    if (!a.gradientIndex) {
        const TraceOutcome trace = provider.TraceRay(request.trace);
        a.rayKnown = true;
        a.ray =
            RayOf(trace.traced ? 0 : (trace.result != 0 ? trace.result : -1), provider.Final().ud);
    }
    return Outcome(provider, progress);
}

}  // namespace velmor
