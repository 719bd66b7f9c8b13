// Two sides' answers set side by side: for each quantity the largest difference and where, the
// RMS, the count beyond the tolerance, and the points only one side answered; what the records
// say (record version, name, element names, safe data, changed rows) listed where it differs,
// as information that fails nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/compare/surface_answers.h"

namespace velmor {

// The quantities, in the order a report lists them.
inline constexpr const char* kCompareQuantities[] = {
    "record-version", "name",      "names",        "safe-data",       "rows",       "sag",
    "trace-result",   "trace-hit", "trace-normal", "trace-direction", "trace-path", "index",
    "gradient",
};
inline constexpr std::size_t kCompareQuantityCount =
    sizeof kCompareQuantities / sizeof kCompareQuantities[0];

// The default tolerances: positions (sag, hit point, path) kPositionTolerance (the library
// check's) times max(1, half the diagonal of the ranges); directions (normal, outgoing
// direction) this many radians; index and gradient this much relative (the difference over
// max(1, |the reference's value|)).
inline constexpr double kCompareAngleTolerance = 1e-9;
inline constexpr double kCompareRelativeTolerance = 1e-9;

struct CompareTolerances {
    double position = 0, angle = 0, relative = 0;
};
// The defaults for the ranges; with `position` > 0 that position tolerance, the others scaled
// by the same factor against their defaults.
CompareTolerances CompareTolerancesFor(const CompareRanges& ranges, double position = 0);

enum class CompareOutcome { kSame, kDiffers, kSkip };
// "same", "differs", "skip".
const char* CompareOutcomeText(CompareOutcome outcome);

// Where a difference lies: a grid point (x, y), a point of the index slab (x, y, z), or a ray
// (its start x, y, z and direction l, m, n).
struct ComparePlace {
    double x = 0, y = 0, z = 0, l = 0, m = 0, n = 0;
    enum Kind { kPoint, kSlabPoint, kRay } kind = kPoint;
    // What the two sides gave there (one value, or a vector's components), for the largest
    // difference; empty elsewhere.
    std::vector<double> reference, surface;
};
// "(1.25, -0.5)", "(1, 2, 0.5)" or "ray from (1.25, -0.5) along (0, 0, 1)".
std::string ComparePlaceText(const ComparePlace& place);

struct QuantityResult {
    std::string name;
    CompareOutcome outcome = CompareOutcome::kSkip;
    bool information = false;  // listed where it differs; never a failure
    std::string detail;
    // The numbers of a sampled quantity (sag, trace-*, index, gradient).
    bool numeric = false;
    long long compared = 0;  // points (rays) both sides answered
    double largest = 0;      // the largest difference (signed for the sag: surface - reference)
    std::optional<ComparePlace> where;
    double rms = 0;
    double tolerance = 0;
    long long beyond = 0;    // differences above the tolerance (or no number)
    long long oneSided = 0;  // points only one side answered
    std::optional<ComparePlace> firstOneSided;
    bool firstAnsweredBySurface = false;  // which side answered there
};

// The sag grid's difference points.
enum SagDifferenceState : std::uint8_t {
    kSagBothFailed = 0,
    kSagCompared = 1,  // both answered: the difference is surface - reference
    kSagOneSided = 2,
};

struct CompareReport {
    std::vector<QuantityResult> quantities;  // in the order of kCompareQuantities
    int same = 0, differs = 0, skip = 0;     // counts of the outcomes
    CompareTolerances tolerances;
    // The sag grid, point (i, j) at j * nx + i (y rising): the state and the difference.
    std::size_t nx = 0, ny = 0;
    std::vector<std::uint8_t> sagState;
    std::vector<double> sagDifference;

    // A quantity that is no information differs: the comparison fails.
    bool Differs() const;
    const QuantityResult* Find(const std::string& name) const;
};

// Sets `reference`'s answers against `surface`'s over the same ranges (the caller has made sure
// they are; a sag grid of another size compares nothing and says so).
CompareReport CompareSurfaceAnswers(const SurfaceAnswers& surface, const SurfaceAnswers& reference,
                                    const CompareTolerances& tolerances);

// The main window's status line: "compare: sag max 3.2e-07 at (1.25, -0.5), rms 4.1e-08; trace
// max 2e-10 at ray from (1, 2) along (0, 0, 1)", with what only one side answered and the index
// where there is one.
std::string CompareStatusLine(const CompareReport& report);

}  // namespace velmor
