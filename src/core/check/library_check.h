// The library check: one run of a battery of checks that finds the faults surface libraries
// commonly have (answers that contradict each other, answers that are no numbers, strings
// without a terminator, writes into the records or past them, state kept between calls or
// shared between threads) and reports each check as pass, warn, fail or skip with the first
// point that failed.
//
// A library is checked in a helper process of its own (a second GuardedLibrary loading the same
// file), so the library the windows use is not disturbed; a fault of the library during a check
// fails that check with the fault's description, the helper is started again and the remaining
// checks go on. The built-in surface is checked in the program's process; a script only by the
// checks that need no more than its sag (sag, repeat, speed).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/host/guarded_library.h"
#include "core/host/library_fault.h"
#include "core/surface/records.h"

namespace velmor {

class CScriptEngine;

// The checks, by name, in the order they run.
inline constexpr const char* kCheckNames[] = {
    "name",     "names", "safe-data", "records", "sag",     "trace",
    "paraxial", "index", "medium",    "repeat",  "threads", "speed",
};
inline constexpr std::size_t kCheckCount = sizeof kCheckNames / sizeof kCheckNames[0];
bool IsCheckName(std::string_view name);

// Sample grids and tolerances.
inline constexpr int kCheckGridPoints = 41;  // 41 x 41 points over the analysis ranges
inline constexpr int kIndexGridPoints = 21;  // index: 21 x 21 points ...
inline constexpr int kIndexGridLevels = 5;   // ... at 5 levels between the surface and thic
// Positions and `path`: this times max(1, half the diagonal of the ranges).
inline constexpr double kPositionTolerance = 1e-9;
// Unit length of the normal and the outgoing direction; Snell's law (n sin), the plane of
// incidence and the law of reflection.
inline constexpr double kUnitTolerance = 1e-9;
// The normal against the sag surface's normal, parallel or antiparallel (radians).
inline constexpr double kNormalTolerance = 1e-6;
// The index gradient against central differences of the index (relative).
inline constexpr double kGradientTolerance = 1e-4;
// Request 4 against request 5 near the axis: the outgoing directions.
inline constexpr double kParaxialTolerance = 1e-6;
// The paraxial rays' distance from the axis, as a part of each range's width.
inline constexpr double kParaxialHeight = 1e-4;
// A sag jump warns above this many times the median of the neighbour differences.
inline constexpr double kJumpFactor = 100;
// Central differences step this times max(1, half the diagonal of the ranges).
inline constexpr double kDifferenceStep = 1e-5;
// medium: rays across x (through the middle of the y range) and as many across y ...
inline constexpr int kMediumRays = 41;
// ... whose end points at Delta t and at Delta t / 2 agree to this times the medium's depth ...
inline constexpr double kMediumEndTolerance = 1e-6;
// ... and along whose paths |T| stays equal to n(R) to this (relative).
inline constexpr double kMediumSpeedTolerance = 1e-6;
// medium: a path that has not ended after this many steps is left out (a warning).
inline constexpr long long kMediumCheckSteps = 50000;
inline constexpr int kCheckThreads = 8;
inline constexpr int kCheckThreadRepeats = 5;

// The check's sample sets, which the comparison of a surface with a reference samples too.
struct CheckGridPoint {
    double x, y;
};
// max(1, half the diagonal of the ranges): what the position tolerance and the step of the
// central differences scale with.
double CheckLengthScale(double xmin, double xmax, double ymin, double ymax);
// The sag grid and the rays' starts: kCheckGridPoints squared points over the ranges (bounds
// taken in either order), x inner, y outer.
std::vector<CheckGridPoint> CheckSagGrid(double xmin, double xmax, double ymin, double ymax);
// The direction of the ray in `ud` at unit length; (0, 0, 1) when it has none.
void CheckInitialDirection(const USER_DATA& ud, double direction[3]);
// The ray set's four directions: the initial one and three tilted ones. Each grid point at
// z = 0 sends a ray along each (direction k's rays after direction k - 1's).
void CheckRayDirections(const double initial[3], double directions[4][3]);
// The index slab: kIndexGridPoints squared points over the ranges as given (x inner), and at
// each point whose sag (the floor) answers, kIndexGridLevels levels between the floor and the
// top (level 1 .. kIndexGridLevels).
std::vector<CheckGridPoint> CheckIndexGrid(double xmin, double xmax, double ymin, double ymax);
double CheckIndexLevel(double floor, double top, int level);
// The slab's top: `thic` of the version's FIXED_DATA, or 1 where that is 0 or no number.
double CheckIndexTop(const RecordPair& records, int recordVersion);

enum class CheckOutcome { kPass, kWarn, kFail, kSkip };
// "pass", "warn", "fail", "skip".
const char* CheckOutcomeText(CheckOutcome outcome);

// Where a check failed: the inputs of the request (a point's x, y, z with the ray's direction,
// or a ray's start and direction) and what was expected against what came back (one value, or
// the three components of a vector; empty when there is nothing to compare, as for a fault).
struct CheckExample {
    double x = 0, y = 0, z = 0, l = 0, m = 0, n = 0;
    std::vector<double> expected, got;
};

struct CheckResult {
    std::string name;
    CheckOutcome outcome = CheckOutcome::kSkip;
    std::string detail;
    std::optional<CheckExample> example;
};

struct CheckReport {
    std::vector<CheckResult> checks;  // the checks asked for, in the order of kCheckNames
    int pass = 0, warn = 0, fail = 0, skip = 0;
    // False when the library could not be loaded, so no check ran (every one is skipped):
    // `loadFault` when it faulted while loading, else `loadError` says why.
    bool loaded = true;
    std::optional<LibraryFault> loadFault;
    std::string loadError;
    bool cancelled = false;  // the progress hook asked to stop: the checks not run are skipped
    // Nothing failed (warnings allowed).
    bool Passed() const { return loaded && fail == 0; }
};

enum class CheckSource { kBuiltIn, kLibrary, kScript };

struct CheckInput {
    CheckSource source = CheckSource::kBuiltIn;
    // kLibrary: the file, and how its helper runs (the hook and the sink are not owned).
    std::string libraryPath;
    std::string helperPath;  // empty: DefaultHelperPath()
    WineLaunch wine;         // a Windows DLL's helper (defaults when empty)
    LibraryLimits limits;
    LibraryWaitHook* waitHook = nullptr;
    LibraryOutputSink* outputSink = nullptr;
    // kScript: the engine holding the compiled script.
    CScriptEngine* engine = nullptr;
    // The records as the user has set them (the initial pair) and their record version.
    const RecordPair* initial = nullptr;
    int recordVersion = kRecordVersion0;
    // The analysis ranges the grids cover.
    double xmin = -10, xmax = 10, ymin = -10, ymax = 10;
    // The display z maximum: where the rays through a gradient-index medium end when thic is
    // not above 0.
    double displayZMax = 10;
    // The checks to run (names of kCheckNames); empty: all.
    std::vector<std::string> only;
    // Called before each check with the checks done, the checks to run and the next check's
    // name (empty after the last): true stops the run.
    std::function<bool(int done, int total, const std::string& next)> progress;
};

CheckReport RunLibraryCheck(const CheckInput& input);

}  // namespace velmor
