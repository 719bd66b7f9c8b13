// The checks of state kept between calls and shared between threads, and of the time a call
// takes: repeat, threads, speed; and the script surface's sag, repeat and speed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>

#include "core/check/check_internal.h"
#include "core/surface/surface_sampler.h"

namespace velmor::check {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kRayFields = kSetType | kSetX | kSetY | kSetZ | kSetL | kSetM | kSetN;

// The requests the state checks send: the sag grid, the rays of the trace check, and for a
// gradient-index surface the index grid's points between z = 0 and thic (or 1). Point k goes
// to slot at(k). Returns the number of points.
template <class At>
std::size_t FillRequests(Context& c, BatchPoints& points, bool withIndex, At&& at) {
    std::size_t k = 0;
    for (const GridPoint& p : c.grid) {
        SetPoint(points, at(k++), kRequestSag, 0, kSagPointFields, p.x, p.y, 0, 0, 0, 0);
    }
    const double d0[3] = {c.l0, c.m0, c.n0};
    const double tilts[4][3] = {{0, 0, 0}, {0.1, 0, 0}, {0, 0.1, 0}, {-0.1, -0.1, 0}};
    for (const auto& tilt : tilts) {
        double d[3] = {d0[0] + tilt[0], d0[1] + tilt[1], d0[2] + tilt[2]};
        const double norm = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        for (double& v : d) v /= norm;
        for (const GridPoint& p : c.grid) {
            SetPoint(points, at(k++), kRequestRealTrace, 0, kRayFields, p.x, p.y, 0, d[0], d[1],
                     d[2]);
        }
    }
    if (!withIndex) return k;
    const double top = CheckIndexTop(*c.start, c.version);
    const CheckInput& in = c.input;
    const int size = kIndexGridPoints;
    for (int level = 1; level <= kIndexGridLevels; ++level) {
        for (int j = 0; j < size; ++j) {
            for (int i = 0; i < size; ++i) {
                SetPoint(points, at(k++), kRequestIndex, 0, kIndexPointFields,
                         in.xmin + (in.xmax - in.xmin) * i / (size - 1),
                         in.ymin + (in.ymax - in.ymin) * j / (size - 1),
                         top * level / (kIndexGridLevels + 1), 0, 0, 0);
            }
        }
    }
    return k;
}

// What differs between two answers of point i: the first USER_DATA field, or the result.
CheckExample Difference(const Context& c, const BatchPoints& points, std::size_t i,
                        int expectedResult, const USER_DATA& expected, int gotResult,
                        const USER_DATA& got, std::string* field) {
    CheckExample example = ExampleOf(c, points, i);
    if (expectedResult != gotResult) {
        *field = "the result";
        example.expected = {static_cast<double>(expectedResult)};
        example.got = {static_cast<double>(gotResult)};
        return example;
    }
    const auto* a = reinterpret_cast<const unsigned char*>(&expected);
    const auto* b = reinterpret_cast<const unsigned char*>(&got);
    std::size_t at = 0;
    while (at < sizeof(USER_DATA) && a[at] == b[at]) ++at;
    const RecordRow* row = RowAt(UserDataRows(), at);
    *field = row != nullptr ? row->name : "padding at byte " + std::to_string(at);
    if (row != nullptr && row->kind == RowKind::kDouble) {
        double x = 0, y = 0;
        std::memcpy(&x, a + row->offset, sizeof x);
        std::memcpy(&y, b + row->offset, sizeof y);
        example.expected = {x};
        example.got = {y};
    }
    return example;
}

std::string RequestText(const BatchPoints& points, std::size_t i) {
    const char* name = SurfaceRequestName(points.type[i], points.numb[i]);
    return std::string(name) + " at " + PointText(points.x[i], points.y[i]);
}

}  // namespace

std::string TimingText(std::vector<std::uint64_t> ns) {
    if (ns.empty()) return "no calls";
    std::sort(ns.begin(), ns.end());
    const double median = ns[ns.size() / 2] * 1e-3, slowest = ns.back() * 1e-3;
    return "median " + Num(median) + " us, slowest " + Num(slowest) + " us (" +
           std::to_string(ns.size()) + " calls)";
}

CheckResult CheckRepeat(Context& c) {
    BatchPoints& points = c.target->Points();
    const bool withIndex = c.gradientIndex;
    const std::size_t n = FillRequests(c, points, withIndex, [](std::size_t k) { return k; });
    const std::uint32_t options = kBatchWholeRecords | kBatchFreshUserData;
    if (!c.target->Batch(*c.start, n, options)) return Result("repeat", CheckOutcome::kFail, "");
    std::vector<int> results(c.target->Answers().result, c.target->Answers().result + n);
    std::vector<USER_DATA> records(c.target->Answers().record, c.target->Answers().record + n);

    // The same requests once more, the last first.
    FillRequests(c, points, withIndex, [n](std::size_t k) { return n - 1 - k; });
    if (!c.target->Batch(*c.start, n, options)) return Result("repeat", CheckOutcome::kFail, "");
    const BatchAnswers& again = c.target->Answers();
    long differing = 0;
    std::optional<CheckExample> first;
    std::string firstText;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j = n - 1 - i;  // where point i went the second time
        if (again.result[j] == results[i] &&
            std::memcmp(&again.record[j], &records[i], sizeof(USER_DATA)) == 0) {
            continue;
        }
        if (differing++ == 0) {
            std::string field;
            first = Difference(c, points, j, results[i], records[i], again.result[j],
                               again.record[j], &field);
            firstText = RequestText(points, j) + " differs in " + field;
        }
    }
    const std::string counts = std::to_string(n) + " requests";
    if (differing > 0) {
        CheckResult result = Result(
            "repeat", CheckOutcome::kFail,
            "the same requests in another order give other answers: " + std::to_string(differing) +
                " of " + counts + ", the first " + firstText +
                " (the library keeps state between calls)");
        result.example = first;
        return result;
    }
    return Result("repeat", CheckOutcome::kPass,
                  counts + " sent again in reverse order give the same answers bit for bit");
}

CheckResult CheckThreads(Context& c) {
    BatchPoints& points = c.target->Points();
    const std::size_t n = FillRequests(c, points, false, [](std::size_t k) { return k; });
    ThreadsOutcome outcome;
    if (!c.target->Threads(*c.start, n, kCheckThreads, kCheckThreadRepeats, &outcome)) {
        return Result("threads", CheckOutcome::kFail, "");
    }
    const std::string runs = std::to_string(kCheckThreads) + " threads x " +
                             std::to_string(kCheckThreadRepeats) + " runs of " + std::to_string(n) +
                             " sag and trace requests";
    if (outcome.kind == kThreadsSame) {
        return Result("threads", CheckOutcome::kPass,
                      runs + " give the single-threaded answers bit for bit");
    }
    const BatchAnswers& reference = c.target->Answers();
    std::string field;
    CheckExample example =
        Difference(c, points, outcome.point, reference.result[outcome.point],
                   reference.record[outcome.point], outcome.result, outcome.record, &field);
    if (outcome.kind == kThreadsNotRepeatable) {
        CheckResult result = Result("threads", CheckOutcome::kSkip,
                                    "the answers change from call to call on one thread (" +
                                        RequestText(points, outcome.point) + " differs in " +
                                        field + "): threads cannot be compared (see repeat)");
        result.example = example;
        return result;
    }
    CheckResult result = Result(
        "threads", CheckOutcome::kFail,
        std::to_string(outcome.differing) + " answers differ from the single-threaded " + "ones (" +
            runs + "), the first " + RequestText(points, outcome.point) + " in " + field +
            " on thread " + std::to_string(outcome.thread) + " (the library is not reentrant)");
    result.example = example;
    return result;
}

CheckResult CheckSpeed(Context& c) {
    BatchPoints& points = c.target->Points();
    struct Part {
        const char* name;
        std::size_t from, to;
    };
    const std::size_t n = FillRequests(c, points, c.gradientIndex, [](std::size_t k) { return k; });
    const std::size_t grid = c.grid.size();
    std::vector<Part> parts = {{"sag", 0, grid}, {"trace", grid, grid * 5}};
    if (c.gradientIndex) parts.push_back({"index", grid * 5, n});
    if (!c.target->Batch(*c.start, n, kBatchFreshUserData | kBatchTimed)) {
        return Result("speed", CheckOutcome::kFail, "");
    }
    const std::uint64_t* ns = c.target->CallNs();
    std::string detail;
    for (const Part& part : parts) {
        if (!detail.empty()) detail += "; ";
        detail += std::string(part.name) + " " +
                  TimingText(std::vector<std::uint64_t>(ns + part.from, ns + part.to));
    }
    return Result("speed", CheckOutcome::kPass, detail);
}

// --- A script surface: one script run per sag.

namespace {

struct ScriptSags {
    std::vector<bool> ok;
    std::vector<double> sag;
};

// The grid's sags in grid order (reversed: last point first), the runs in blocks; with `ns`,
// one run at a time, each timed.
ScriptSags RunScriptGrid(Context& c, bool reversed, std::vector<std::uint64_t>* ns = nullptr) {
    const std::size_t n = c.grid.size();
    ScriptSags sags{std::vector<bool>(n), std::vector<double>(n)};
    // Answered, whatever the value: a sag that is no finite number is the sag check's to find.
    const auto take = [&sags](std::size_t i, const ScriptPoint& point) {
        sags.ok[i] = point.compiled && point.assigned && point.clean;
        sags.sag[i] = point.z;
    };
    if (ns == nullptr) {
        std::vector<double> xs(n), ys(n);
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = reversed ? n - 1 - k : k;
            xs[k] = c.grid[i].x;
            ys[k] = c.grid[i].y;
        }
        std::vector<ScriptPoint> points(n);
        RunScriptPoints(*c.input.engine, n, xs.data(), ys.data(), points.data());
        for (std::size_t k = 0; k < n; ++k) take(reversed ? n - 1 - k : k, points[k]);
        return sags;
    }
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = reversed ? n - 1 - k : k;
        const Clock::time_point started = Clock::now();
        const ScriptPoint point = RunScriptPoint(*c.input.engine, c.grid[i].x, c.grid[i].y);
        if (ns != nullptr) {
            ns->push_back(static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started)
                    .count()));
        }
        take(i, point);
    }
    return sags;
}

}  // namespace

CheckResult ScriptSag(Context& c) {
    const ScriptSags sags = RunScriptGrid(c, false);
    return JudgeSags(c, sags.ok, sags.sag);
}

CheckResult ScriptRepeat(Context& c) {
    const ScriptSags first = RunScriptGrid(c, false);
    const ScriptSags again = RunScriptGrid(c, true);
    const std::size_t n = c.grid.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (first.ok[i] == again.ok[i] &&
            std::memcmp(&first.sag[i], &again.sag[i], sizeof(double)) == 0) {
            continue;
        }
        CheckResult result =
            Result("repeat", CheckOutcome::kFail,
                   "the script answers the sag at " + PointText(c.grid[i].x, c.grid[i].y) +
                       " differently when run again in another order");
        result.example = ExampleAt(c.grid[i].x, c.grid[i].y, c.start->ud.z, c.start->ud.l,
                                   c.start->ud.m, c.start->ud.n);
        result.example->expected = {first.sag[i]};
        result.example->got = {again.sag[i]};
        return result;
    }
    return Result(
        "repeat", CheckOutcome::kPass,
        std::to_string(n) + " sag runs again in reverse order give the same answers bit for bit");
}

CheckResult ScriptSpeed(Context& c) {
    std::vector<std::uint64_t> ns;
    RunScriptGrid(c, false, &ns);
    return Result("speed", CheckOutcome::kPass, "sag " + TimingText(std::move(ns)));
}

}  // namespace velmor::check
