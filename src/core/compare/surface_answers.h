// What a comparison of a surface with a reference sets side by side: one side's answers over
// the analysis ranges and 2D steps (the sag grid), the library check's ray set and index slab,
// and what its records say (name, element names, safe data, record version, the rows changed
// since the load). A comparison collects them from both sides (collect_answers.h); a snapshot
// file (snapshot_file.h) keeps one side's answers for a later comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/surface/records.h"
#include "core/surface/row_catalogue.h"

namespace velmor {

// The analysis ranges and the 2D steps a comparison covers.
struct CompareRanges {
    double xmin = -10, xmax = 10, ymin = -10, ymax = 10;
    double dx = 0.025, dy = 0.025;
    bool operator==(const CompareRanges&) const = default;
};

// No comparison samples a sag grid of more points than this (2048 x 2048).
inline constexpr std::size_t kMaxCompareGridPoints = std::size_t{1} << 22;

// The coordinates of one axis of the sag grid, as the views' sampling loops take them: min,
// min + step, ... while not beyond max.
std::vector<double> SagGridAxis(double min, double max, double step);
// Empty when the ranges can be compared, else why not: a bound or step that is no finite
// number, a reversed range, a step that is not positive, or a grid above
// kMaxCompareGridPoints.
std::string CompareRangesProblem(const CompareRanges& ranges);
// "x -10 .. 10 step 0.025, y -10 .. 10 step 0.025".
std::string CompareRangesText(const CompareRanges& ranges);

// A ray of the ray set: its start (z = 0) and direction.
struct RayStart {
    double x = 0, y = 0, z = 0, l = 0, m = 0, n = 0;
};
// The library check's ray set for the ranges and the initial direction (unit length): every
// point of its grid along each of its four directions.
std::vector<RayStart> CompareRaySet(const CompareRanges& ranges, const double direction[3]);

// What request 5 answered for one ray: the result and the USER_DATA it left.
struct RayAnswer {
    std::int32_t result = 0;
    double x = 0, y = 0, z = 0, l = 0, m = 0, n = 0, ln = 0, mn = 0, nn = 0, path = 0;
};

struct IndexPoint {
    double x = 0, y = 0, z = 0;
};
struct IndexAnswer {
    bool ok = false;  // the sample succeeded (request 6 answered 0 with finite numbers)
    double index = 0, dndx = 0, dndy = 0, dndz = 0;
};

enum class SurfaceKind { kBuiltIn, kLibrary, kScript };
// "built-in", "library", "script".
const char* SurfaceKindText(SurfaceKind kind);

// A row of the records by name, with its value as text.
using NamedValue = std::pair<std::string, std::string>;

struct SurfaceAnswers {
    SurfaceKind kind = SurfaceKind::kBuiltIn;
    std::string source;  // the library's or the script's path; empty for the built-in surface
    CompareRanges ranges;

    // What the records say; not for a script (hasRecords false), which has none.
    bool hasRecords = false;
    int recordVersion = kRecordVersion0;
    bool gradientIndex = false;
    int nameResult = 0;  // the name request's result
    std::string name;    // its answer, UTF-8
    // The element names requests 1 and 2 answer, by element ("param[1]", "xdata[3]"): the
    // named ones only, in record order.
    std::vector<NamedValue> elementNames;
    // The rows the safe-data request sets (their bytes differ from the load's defaults), and
    // the rows changed since the load (the user's edits), each with its value (RowValueText).
    std::vector<NamedValue> safeData;
    std::vector<NamedValue> changedRows;

    // The sag grid: point (i, j) at j * xs.size() + i, x across, y rising. A failed point
    // holds 0, or what the surface gave when that was no finite number.
    std::vector<double> xs, ys;
    std::vector<std::uint8_t> sagOk;
    std::vector<double> sag;

    // The ray set (not for a script: its ray trace leaves the normal at 0 by design).
    bool traced = false;
    double direction[3] = {0, 0, 1};  // the initial direction the set was built from
    std::vector<RayAnswer> rays;

    // The index slab of a gradient-index surface (not for a script).
    std::vector<IndexPoint> indexPoints;
    std::vector<IndexAnswer> index;

    // The ray of the initial records, traced as "Update 2D" traces it (for the views): its
    // start and direction, and what came back (result 0 only when it traced).
    bool rayKnown = false;
    double rayStart[6] = {};
    RayAnswer ray;

    std::size_t GridPoints() const { return xs.size() * ys.size(); }
};

// A row's value as a comparison and a snapshot keep it: a double as the shortest text that
// reads back to it, an int in decimal, a pointer in hexadecimal, a text field as UTF-8.
std::string RowValueText(const RecordRow& row, const void* record);

// The rows of USER_DATA and of the version's FIXED_DATA whose bytes differ between the two
// pairs, each with its value in `pair` (USER_DATA rows first, record order).
std::vector<NamedValue> ChangedRows(const RecordPair& pair, const RecordPair& before,
                                    int recordVersion);

}  // namespace velmor
