#include "core/check/library_check.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/app/number_text.h"
#include "core/check/check_internal.h"
#include "core/surface/row_catalogue.h"

namespace velmor {

bool IsCheckName(std::string_view name) {
    return std::any_of(std::begin(kCheckNames), std::end(kCheckNames),
                       [name](const char* known) { return name == known; });
}

const char* CheckOutcomeText(CheckOutcome outcome) {
    switch (outcome) {
        case CheckOutcome::kPass:
            return "pass";
        case CheckOutcome::kWarn:
            return "warn";
        case CheckOutcome::kFail:
            return "fail";
        default:
            return "skip";
    }
}

double CheckLengthScale(double xmin, double xmax, double ymin, double ymax) {
    return std::max(1.0, 0.5 * std::hypot(xmax - xmin, ymax - ymin));
}

std::vector<CheckGridPoint> CheckSagGrid(double xmin, double xmax, double ymin, double ymax) {
    if (xmin > xmax) std::swap(xmin, xmax);
    if (ymin > ymax) std::swap(ymin, ymax);
    std::vector<CheckGridPoint> grid;
    const int last = kCheckGridPoints - 1;
    for (int j = 0; j <= last; ++j) {
        const double y = ymin + (ymax - ymin) * j / last;
        for (int i = 0; i <= last; ++i) grid.push_back({xmin + (xmax - xmin) * i / last, y});
    }
    return grid;
}

void CheckInitialDirection(const USER_DATA& ud, double direction[3]) {
    direction[0] = 0;
    direction[1] = 0;
    direction[2] = 1;
    const double norm = std::sqrt(ud.l * ud.l + ud.m * ud.m + ud.n * ud.n);
    if (std::isfinite(norm) && norm > 0) {
        direction[0] = ud.l / norm;
        direction[1] = ud.m / norm;
        direction[2] = ud.n / norm;
    }
}

void CheckRayDirections(const double initial[3], double directions[4][3]) {
    const double tilts[4][3] = {{0, 0, 0}, {0.1, 0, 0}, {0, 0.1, 0}, {-0.1, -0.1, 0}};
    for (int k = 0; k < 4; ++k) {
        double d[3];
        for (int c = 0; c < 3; ++c) d[c] = initial[c] + tilts[k][c];
        // The initial direction is kept as it is; the tilted ones are brought to unit length.
        const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        const double scale = k == 0 || !(length > 0) ? 1.0 : 1 / length;
        for (int c = 0; c < 3; ++c) directions[k][c] = d[c] * scale;
    }
}

std::vector<CheckGridPoint> CheckIndexGrid(double xmin, double xmax, double ymin, double ymax) {
    const int size = kIndexGridPoints;
    std::vector<CheckGridPoint> grid;
    for (int j = 0; j < size; ++j) {
        for (int i = 0; i < size; ++i) {
            grid.push_back(
                {xmin + (xmax - xmin) * i / (size - 1), ymin + (ymax - ymin) * j / (size - 1)});
        }
    }
    return grid;
}

double CheckIndexLevel(double floor, double top, int level) {
    return floor + (top - floor) * level / (kIndexGridLevels + 1);
}

double CheckIndexTop(const RecordPair& records, int recordVersion) {
    double top = 0;
    if (const RecordRow* thic = check::RowNamed(FixedDataRows(recordVersion), "thic")) {
        std::memcpy(&top, records.fd + thic->offset, sizeof top);
    }
    return top == 0 || !std::isfinite(top) ? 1.0 : top;
}

namespace check {

std::size_t FixedDataRecordBytes(int recordVersion) {
    std::size_t end = 0;
    for (const RecordRow& row : FixedDataRows(recordVersion)) {
        end = std::max(end, static_cast<std::size_t>(row.offset + row.size));
    }
    // The records hold doubles: their size is a whole number of 8-byte words.
    return (end + 7) / 8 * 8;
}

const RecordRow* RowAt(const std::vector<RecordRow>& rows, std::size_t offset) {
    for (const RecordRow& row : rows) {
        if (offset >= static_cast<std::size_t>(row.offset) &&
            offset < static_cast<std::size_t>(row.offset + row.size)) {
            return &row;
        }
    }
    return nullptr;
}

std::string FieldAt(const std::vector<RecordRow>& rows, std::size_t offset) {
    const RecordRow* row = RowAt(rows, offset);
    return row != nullptr ? row->name : "padding at byte " + std::to_string(offset);
}

const RecordRow* RowNamed(const std::vector<RecordRow>& rows, const std::string& name) {
    for (const RecordRow& row : rows) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

void SetPoint(BatchPoints& points, std::size_t i, int type, int numb, std::uint32_t fields,
              double x, double y, double z, double l, double m, double n) {
    points.type[i] = type;
    points.numb[i] = numb;
    points.fields[i] = fields;
    points.flags[i] = 0;
    points.x[i] = x;
    points.y[i] = y;
    points.z[i] = z;
    points.l[i] = l;
    points.m[i] = m;
    points.n[i] = n;
}

USER_DATA PointInput(const Context& c, const BatchPoints& points, std::size_t i) {
    USER_DATA ud = c.start->ud;
    unsigned char fd[8] = {};
    ApplyBatchPoint(points, i, false, ud, fd);
    return ud;
}

CheckExample ExampleAt(double x, double y, double z, double l, double m, double n) {
    CheckExample example;
    example.x = x;
    example.y = y;
    example.z = z;
    example.l = l;
    example.m = m;
    example.n = n;
    return example;
}

CheckExample ExampleOf(const Context& c, const BatchPoints& points, std::size_t i) {
    const USER_DATA ud = PointInput(c, points, i);
    return ExampleAt(ud.x, ud.y, ud.z, ud.l, ud.m, ud.n);
}

std::string Num(double value) {
    return FormatGeneral(value, 6);
}

std::string PointText(double x, double y) {
    std::string text = "(";
    text += Num(x);
    text += ", ";
    text += Num(y);
    text += ")";
    return text;
}

std::string VectorText(double x, double y, double z) {
    std::string text = "(";
    text += Num(x);
    text += ", ";
    text += Num(y);
    text += ", ";
    text += Num(z);
    text += ")";
    return text;
}

CheckResult Result(const char* name, CheckOutcome outcome, std::string detail) {
    CheckResult result;
    result.name = name;
    result.outcome = outcome;
    result.detail = std::move(detail);
    return result;
}

namespace {

using CheckFunction = CheckResult (*)(Context&);

struct CheckEntry {
    const char* name;
    CheckFunction records;  // a library or the built-in surface
    CheckFunction script;   // a script, or null: skipped
    const char* scriptSkip;
};

constexpr const char* kScriptHasNoRecords =
    "not checked for a script: it has no records and answers only the sag";

const CheckEntry kChecks[] = {
    {"name", CheckName, nullptr, kScriptHasNoRecords},
    {"names", CheckNames, nullptr, kScriptHasNoRecords},
    {"safe-data", CheckSafeData, nullptr, kScriptHasNoRecords},
    {"records", CheckRecords, nullptr, kScriptHasNoRecords},
    {"sag", CheckSag, ScriptSag, nullptr},
    {"trace", CheckTrace, nullptr,
     "not checked for a script: its ray trace leaves the normal at 0 and locates the hit to "
     "1e-6 by design"},
    {"paraxial", CheckParaxial, nullptr, kScriptHasNoRecords},
    {"index", CheckIndex, nullptr, kScriptHasNoRecords},
    {"medium", CheckMedium, nullptr, kScriptHasNoRecords},
    {"repeat", CheckRepeat, ScriptRepeat, nullptr},
    {"threads", CheckThreads, nullptr, "not checked for a script: there is one script engine"},
    {"speed", CheckSpeed, ScriptSpeed, nullptr},
};
static_assert(sizeof kChecks / sizeof kChecks[0] == kCheckCount);

// The context's records, grid and tolerances from the input.
void Prepare(Context& c) {
    const CheckInput& in = c.input;
    c.start = std::make_unique<RecordPair>();
    if (in.initial != nullptr) CopyRecordPair(*c.start, *in.initial);
    c.halfDiagonal = 0.5 * std::hypot(in.xmax - in.xmin, in.ymax - in.ymin);
    const double scale = CheckLengthScale(in.xmin, in.xmax, in.ymin, in.ymax);
    c.positionTolerance = kPositionTolerance * scale;
    c.step = kDifferenceStep * scale;
    c.grid = CheckSagGrid(in.xmin, in.xmax, in.ymin, in.ymax);
    double direction[3];
    CheckInitialDirection(c.start->ud, direction);
    c.l0 = direction[0];
    c.m0 = direction[1];
    c.n0 = direction[2];
    c.n1 = ReadN1(*c.start, c.version);
    c.n2 = ReadN2(*c.start, c.version);
}

// Asks the gradient-index question (type 0, numb 2) as the program does. False when the
// surface faulted.
bool AskGradientIndex(Context& c) {
    auto pair = std::make_unique<SharedRecordPair>();
    std::memcpy(&pair->ud, &c.start->ud, sizeof pair->ud);
    std::memcpy(pair->fd, c.start->fd, sizeof pair->fd);
    std::memset(pair->ud.string, 0, sizeof pair->ud.string);
    int type = kRequestName, numb = 2;
    std::memcpy(pair->fd + offsetof(FIXED_DATA, type), &type, sizeof type);
    std::memcpy(pair->fd + offsetof(FIXED_DATA, numb), &numb, sizeof numb);
    int result = 0;
    if (!c.target->Call(*pair, &result)) return false;
    c.gradientIndex = result == 0 && pair->ud.string[0] != '\0';
    return true;
}

void Count(CheckReport& report) {
    report.pass = report.warn = report.fail = report.skip = 0;
    for (const CheckResult& result : report.checks) {
        switch (result.outcome) {
            case CheckOutcome::kPass:
                ++report.pass;
                break;
            case CheckOutcome::kWarn:
                ++report.warn;
                break;
            case CheckOutcome::kFail:
                ++report.fail;
                break;
            case CheckOutcome::kSkip:
                ++report.skip;
                break;
        }
    }
}

// The checks asked for, in the battery's order.
std::vector<const CheckEntry*> Selected(const CheckInput& input) {
    std::vector<const CheckEntry*> selected;
    for (const CheckEntry& entry : kChecks) {
        if (input.only.empty() ||
            std::find(input.only.begin(), input.only.end(), entry.name) != input.only.end()) {
            selected.push_back(&entry);
        }
    }
    return selected;
}

void SkipAll(CheckReport& report, const std::vector<const CheckEntry*>& checks, std::size_t from,
             const std::string& why) {
    for (std::size_t i = from; i < checks.size(); ++i) {
        report.checks.push_back(Result(checks[i]->name, CheckOutcome::kSkip, why));
    }
}

}  // namespace

}  // namespace check

CheckReport RunLibraryCheck(const CheckInput& input) {
    using namespace check;
    CheckReport report;
    const std::vector<const CheckEntry*> checks = Selected(input);
    const int total = static_cast<int>(checks.size());
    Context c(input);

    std::unique_ptr<Target> target;
    if (input.source == CheckSource::kLibrary) {
        target = MakeLibraryTarget(input);
    } else if (input.source == CheckSource::kBuiltIn) {
        target = MakeBuiltInTarget();
    }
    c.target = target.get();
    if (input.source == CheckSource::kScript && input.engine == nullptr) {
        report.loaded = false;
        report.loadError = "no script engine";
    }
    for (double bound : {input.xmin, input.xmax, input.ymin, input.ymax}) {
        if (!std::isfinite(bound)) {
            // Tolerances scaled by an infinite range would let every answer pass.
            report.loaded = false;
            report.loadError = "the analysis ranges are not all finite numbers";
            target.reset();
            c.target = nullptr;
        }
    }
    if (target != nullptr) {
        std::string why;
        bool started = target->Start(&why);
        if (started) {
            c.version = target->RecordVersion();
            Prepare(c);
            started = AskGradientIndex(c);
            if (!started) why = "the gradient-index question failed";
        }
        if (!started) {
            report.loaded = false;
            if (target->Fault() != nullptr) {
                report.loadFault = *target->Fault();
                why = "the library faulted while loading: " + target->Fault()->Describe();
            }
            report.loadError = why;
        } else if (c.version != input.recordVersion) {
            report.loaded = false;
            report.loadError = "the library's record version " + std::to_string(c.version) +
                               " is not the records' " + std::to_string(input.recordVersion) +
                               ": reload it first";
        }
    } else {
        Prepare(c);
    }
    if (!report.loaded) {
        SkipAll(report, checks, 0, report.loadError);
        Count(report);
        return report;
    }

    for (int i = 0; i < total; ++i) {
        const CheckEntry& entry = *checks[i];
        if (input.progress && input.progress(i, total, entry.name)) {
            report.cancelled = true;
            SkipAll(report, checks, i, "cancelled");
            break;
        }
        if (input.source == CheckSource::kScript) {
            report.checks.push_back(
                entry.script != nullptr
                    ? entry.script(c)
                    : Result(entry.name, CheckOutcome::kSkip, entry.scriptSkip));
            continue;
        }
        CheckResult result = entry.records(c);
        if (const LibraryFault* fault = target->Fault()) {
            // The check found the library faulting: that is its finding. The others go on
            // with the library loaded afresh.
            result = Result(entry.name, CheckOutcome::kFail,
                            "the library faulted: " + fault->Describe());
            result.example = ExampleAt(fault->x, fault->y, fault->z, fault->l, fault->m, fault->n);
            const bool stopped = fault->kind == LibraryFaultKind::kStopped;
            report.checks.push_back(std::move(result));
            if (stopped) {
                // The user stopped the library: the run ends as a cancel does.
                report.cancelled = true;
                SkipAll(report, checks, i + 1, "cancelled");
                break;
            }
            std::string why;
            if (!target->Restart(&why)) {
                SkipAll(report, checks, i + 1, "the library could not be loaded again: " + why);
                break;
            }
            continue;
        }
        if (target->Cancelled()) {
            report.cancelled = true;
            SkipAll(report, checks, i, "cancelled");
            break;
        }
        if (result.outcome == CheckOutcome::kFail && result.detail.empty()) {
            result.detail = "the library did not answer the check's requests";
        }
        report.checks.push_back(std::move(result));
    }
    if (input.progress && !report.cancelled) input.progress(total, total, std::string());
    Count(report);
    return report;
}

}  // namespace velmor
