// velmor-cli compare and snapshot: the surface the source options chose set against a
// reference (a library, a script or a snapshot file), and its answers kept in a snapshot file.
#include <cmath>

#include "cli/cli_commands.h"
#include "core/compare/compare_run.h"
#include "core/compare/snapshot_file.h"

namespace velmor::cli {

namespace {

constexpr const char* kCompareUsage =
    "compare REF [--range XMIN XMAX YMIN YMAX] [--step DX DY] [--tolerance T]";
constexpr const char* kSnapshotUsage =
    "snapshot OUT.json [--range XMIN XMAX YMIN YMAX] [--step DX DY]";

// The file argument and the grid options of compare and snapshot.
struct GridArguments {
    std::string path;
    CompareRanges ranges;
    bool rangeGiven = false, stepGiven = false;
    double tolerance = 0;  // 0: the default
};

GridArguments ParseGridArguments(const CliHost& host, const Arguments& args, const char* usage,
                                 bool takesTolerance) {
    GridArguments grid;
    const ScriptTraceSettings& s = host.settings;
    grid.ranges = {s.xmin, s.xmax, s.ymin, s.ymax, s.dx, s.dy};
    auto value = [&](std::size_t i, const char* what) -> const std::string& {
        if (i >= args.size()) throw CliError(std::string(what) + " needs a value; usage: " + usage);
        return args[i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--range") {
            CompareRanges& r = grid.ranges;
            r.xmin = ParseNumber(value(++i, "--range"), "--range XMIN");
            r.xmax = ParseNumber(value(++i, "--range"), "--range XMAX");
            r.ymin = ParseNumber(value(++i, "--range"), "--range YMIN");
            r.ymax = ParseNumber(value(++i, "--range"), "--range YMAX");
            CheckRange(r.xmin, r.xmax, "--range XMIN XMAX", true);
            CheckRange(r.ymin, r.ymax, "--range YMIN YMAX", true);
            grid.rangeGiven = true;
        } else if (word == "--step") {
            grid.ranges.dx = ParseStep(value(++i, "--step"), "--step DX");
            grid.ranges.dy = ParseStep(value(++i, "--step"), "--step DY");
            grid.stepGiven = true;
        } else if (word == "--tolerance" && takesTolerance) {
            grid.tolerance = ParseNumber(value(++i, "--tolerance"), "--tolerance");
            if (!(grid.tolerance > 0)) {
                throw CliError("--tolerance: a tolerance must be above 0, got \"" + args[i] + "\"");
            }
        } else if (grid.path.empty() && !(word.size() > 1 && word[0] == '-' && word[1] == '-')) {
            grid.path = word;
        } else {
            throw CliError("unexpected argument \"" + word + "\"; usage: " + usage);
        }
    }
    if (grid.path.empty()) throw CliError(std::string("no file given; usage: ") + usage);
    return grid;
}

SurfaceKind KindOf(SurfaceSource source) {
    switch (source) {
        case SurfaceSource::kLibrary:
            return SurfaceKind::kLibrary;
        case SurfaceSource::kScript:
            return SurfaceKind::kScript;
        default:
            return SurfaceKind::kBuiltIn;
    }
}

// A place as the library check's example: the inputs x y z l m n (0 where the place has none),
// and what the reference gave there as "expected", the surface's as "got" (a number, an array
// for a vector, null when nothing was compared there).
Json PlaceJson(const std::optional<ComparePlace>& place) {
    if (!place) return nullptr;
    auto number = [](double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); };
    auto values = [&](const std::vector<double>& v) {
        if (v.empty()) return Json(nullptr);
        if (v.size() == 1) return number(v[0]);
        Json array = Json::array();
        for (double value : v) array.push_back(number(value));
        return array;
    };
    Json object = Json::object();
    const std::pair<const char*, double> inputs[] = {{"x", place->x}, {"y", place->y},
                                                     {"z", place->z}, {"l", place->l},
                                                     {"m", place->m}, {"n", place->n}};
    for (const auto& [name, value] : inputs) object[name] = number(value);
    object["expected"] = values(place->reference);
    object["got"] = values(place->surface);
    return object;
}

Json QuantityJson(const QuantityResult& q) {
    // The library check's shape (name, result, detail, example), and the numbers.
    Json object = {{"name", q.name},
                   {"result", CompareOutcomeText(q.outcome)},
                   {"detail", q.detail},
                   {"example", q.numeric && q.largest != 0 ? PlaceJson(q.where) : Json(nullptr)},
                   {"information", q.information}};
    if (q.numeric) {
        auto number = [](double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); };
        object["compared"] = q.compared;
        object["largest"] = number(q.largest);
        object["rms"] = number(q.rms);
        object["tolerance"] = number(q.tolerance);
        object["beyond"] = q.beyond;
        object["one_sided"] = q.oneSided;
        object["first_one_sided"] = PlaceJson(q.firstOneSided);
        object["first_one_sided_by"] =
            q.firstOneSided ? Json(q.firstAnsweredBySurface ? "surface" : "reference")
                            : Json(nullptr);
    }
    return object;
}

}  // namespace

int RunCompare(CliHost& host, const Arguments& args, Output& out) {
    GridArguments grid = ParseGridArguments(host, args, kCompareUsage, true);
    ReferenceSetup setup;
    setup.host = host.provider.LibraryHost();
    setup.outputSink = &host.libraryOutput;
    CCompareReference reference;
    std::string message;
    if (!reference.Open(grid.path, setup, &message)) {
        if (const LibraryFault* fault = reference.Fault()) {
            throw CliFault(*fault, "the reference library");
        }
        throw CliError(grid.path + ": " + message);
    }
    // A snapshot is compared over its own ranges and steps unless others are given.
    if (const SurfaceAnswers* snapshot = reference.Snapshot()) {
        if (!grid.rangeGiven) {
            grid.ranges.xmin = snapshot->ranges.xmin;
            grid.ranges.xmax = snapshot->ranges.xmax;
            grid.ranges.ymin = snapshot->ranges.ymin;
            grid.ranges.ymax = snapshot->ranges.ymax;
        }
        if (!grid.stepGiven) {
            grid.ranges.dx = snapshot->ranges.dx;
            grid.ranges.dy = snapshot->ranges.dy;
        }
    }
    CompareRequest request;
    request.ranges = grid.ranges;
    request.positionTolerance = grid.tolerance;
    request.surfaceKind = KindOf(host.source);
    request.surfaceSource = host.sourcePath;
    request.trace = host.settings;
    const CompareRun run = RunComparison(host.provider, reference, request);
    switch (run.end) {
        case CompareEnd::kRefused:
            throw CliError("compare: " + run.message);
        case CompareEnd::kReferenceFaulted:
            throw CliFault(*reference.Fault(), "the reference library");
        case CompareEnd::kSurfaceFaulted:
            ThrowIfFaulted(host);
            throw CliError("compare: the surface's library faulted");
        case CompareEnd::kCancelled:
            throw CliError("compare: a library request was cancelled");
        default:
            break;
    }
    ThrowIfFaulted(host);
    const CompareReport& report = run.report;
    if (out.IsJson()) {
        const CompareRanges& r = grid.ranges;
        out.Object()["reference"] = {{"path", reference.Path()},
                                     {"kind", ReferenceKindText(reference.Kind())}};
        out.Object()["ranges"] = {{"xmin", r.xmin}, {"xmax", r.xmax}, {"ymin", r.ymin},
                                  {"ymax", r.ymax}, {"dx", r.dx},     {"dy", r.dy}};
        out.Object()["tolerances"] = {{"position", report.tolerances.position},
                                      {"angle", report.tolerances.angle},
                                      {"relative", report.tolerances.relative}};
        Json quantities = Json::array();
        for (const QuantityResult& q : report.quantities) quantities.push_back(QuantityJson(q));
        out.Object()["checks"] = std::move(quantities);
        out.Object()["summary"] = {
            {"same", report.same}, {"differs", report.differs}, {"skip", report.skip}};
        out.Object()["differs"] = report.Differs();
    } else {
        for (const QuantityResult& q : report.quantities) {
            std::string detail = q.detail;
            if (q.information && q.outcome == CompareOutcome::kDiffers) {
                detail += " (information, not a failure)";
            }
            out.Raw(q.name + "\t" + CompareOutcomeText(q.outcome) + "\t" + EscapeControls(detail) +
                    "\n");
        }
    }
    return report.Differs() ? 1 : 0;
}

int RunSnapshot(CliHost& host, const Arguments& args, Output& out) {
    const GridArguments grid = ParseGridArguments(host, args, kSnapshotUsage, false);
    const std::string problem = CompareRangesProblem(grid.ranges);
    if (!problem.empty()) throw CliError("snapshot: " + problem);
    CheckOutputFile(grid.path);
    CollectRequest request;
    request.kind = KindOf(host.source);
    request.source = host.sourcePath;
    request.ranges = grid.ranges;
    request.trace = host.settings;
    SurfaceAnswers answers;
    const CollectOutcome outcome = CollectAnswers(host.provider, request, &answers);
    ThrowIfFaulted(host);  // no file from answers the library stopped giving
    if (outcome != CollectOutcome::kDone) {
        throw CliError("snapshot: a library request was cancelled");
    }
    std::string reason;
    if (!WriteSnapshotFile(grid.path, answers, &reason)) throw CliError(grid.path + ": " + reason);
    long long answered = 0;
    for (std::uint8_t ok : answers.sagOk) answered += ok;
    out.Text("file", grid.path);
    out.Integer("points", static_cast<long long>(answers.GridPoints()));
    out.Integer("answered", answered);
    out.Integer("rays", static_cast<long long>(answers.rays.size()));
    out.Integer("index_points", static_cast<long long>(answers.indexPoints.size()));
    return 0;
}

}  // namespace velmor::cli
