// The ray through a gradient-index medium. Request 5 brings the single real ray to the surface
// (its hit point and its direction into the medium); from there the ray goes on by the ray
// equation in the form of Sharma, Kumar and Ghatak (Applied Optics 21, 984, 1982):
//
//   T = n dR/ds,   dt = ds / n,   d^2R/dt^2 = n grad n = (1/2) grad(n^2)   (so dR/dt = T)
//
// integrated with their fourth-order Runge-Kutta step of length Delta t, n and grad n from
// request 6 at every stage. The path ends on the plane z = end (its last step shortened so that
// it ends there to 1e-12), or where request 6 fails or answers no finite number, where it leaves
// the analysis x or y range, turns back (T_z <= 0) or passes the step limit.
//
// Several rays can go through the medium together (the library check's): each stage of a step
// then asks the index of all rays still under way at once, one batch of request-6 points.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/surface/records.h"
#include "core/surface/sampler.h"

namespace velmor {

// A path that has not reached its end after this many steps ends there.
inline constexpr long long kMediumStepLimit = 1000000;
// The last step ends the path this close to the plane (or within a few units in the last place
// of the plane's z, where those are coarser).
inline constexpr double kMediumPlaneTolerance = 1e-12;
// A single path reports its progress (ReportProgress, which can cancel it) once it has gone this
// many steps: a short path shows no progress window.
inline constexpr long long kMediumProgressSteps = 20000;
// Where param[1] (the step by the convention of gradient-index libraries) is no number above 0.
inline constexpr const char* kMediumStepLengthText =
    "the step length param[1] (Delta T) must be above 0";
// The progress window's caption.
inline constexpr const char* kMediumProgressTitle = "Progress GRIN Path";

// Why a path ended.
enum class MediumEnd : int {
    kPlane,        // on the end plane
    kIndexFailed,  // request 6 failed or answered a value that is no finite number
    kLeftRange,    // left the analysis x or y range
    kTurnedBack,   // T_z <= 0
    kStepLimit,    // the step limit passed
    kStepLength,   // the step is no number above 0: no path
    kCancelled,    // cancelled from the progress window, or the library stopped answering
};
// "plane", "index failed", "left range", "turned back", "step limit", "step length",
// "cancelled".
const char* MediumEndName(MediumEnd end);

// n and grad n at points: request 6, as whoever answers it answers.
class MediumIndex {
public:
    virtual ~MediumIndex() = default;
    // The n points (x[i], y[i], z[i]): ok[i] when request 6 answered 0 with four finite numbers,
    // out[i] what it answered (when it answered). False when the sampling stopped altogether (the
    // library faulted or a cancel came): no answer of the call counts then.
    virtual bool Sample(std::size_t n, const double* x, const double* y, const double* z,
                        IndexSample* out, bool* ok) = 0;
};

// Request 6 through a Sampler (the views' rule: the working record pair, a batch through the
// library in the helper).
class SamplerMediumIndex final : public MediumIndex {
public:
    explicit SamplerMediumIndex(Sampler& sampler) : m_sampler(sampler) {}
    bool Sample(std::size_t n, const double* x, const double* y, const double* z, IndexSample* out,
                bool* ok) override;

private:
    Sampler& m_sampler;
};

// Shown while a long single path is traced: opened once it has gone kMediumProgressSteps steps
// (the progress window behind ReportProgress), closed when it ends.
class MediumProgressWindow {
public:
    virtual ~MediumProgressWindow() = default;
    virtual void Open() = 0;
    virtual void Close() = 0;
};

// A ray entering the medium: where request 5 left it, its direction (any length: it is made a
// unit vector) and its step Delta t.
struct MediumRay {
    double x = 0, y = 0, z = 0;
    double l = 0, m = 0, n = 1;
    double step = 0;
};

// Where paths end: the plane z = endZ, the analysis ranges, the step limit.
struct MediumBounds {
    double endZ = 10;
    double xmin = -10, xmax = 10, ymin = -10, ymax = 10;
    long long stepLimit = kMediumStepLimit;
};

struct MediumOptions {
    bool keepPoints = true;  // each path's points (the start and one per step)
    // A single path: ReportProgress once it is long, Cancel ends it; `window` (may be null)
    // opened meanwhile.
    bool reportProgress = false;
    MediumProgressWindow* window = nullptr;
    // Above 0: along each path, the first step where |T| differs from n(R) by more than this
    // times n(R) is noted (a gradient that does not belong to the index drifts |T| away).
    double speedTolerance = 0;
};

// A point of a path and the index there (NaN where it was not asked or did not answer).
struct MediumPoint {
    double x = 0, y = 0, z = 0, n = 0;
};

struct MediumPath {
    MediumEnd end = MediumEnd::kStepLength;
    long long steps = 0;
    double x = 0, y = 0, z = 0;  // the end point
    double l = 0, m = 0, n = 0;  // the unit direction there, T / |T|
    double opl = 0;              // the optical path length, the integral of n ds = of n^2 dt
    // kIndexFailed: the point whose request 6 failed and, when it answered 0 with a value that
    // is no finite number, what it answered.
    double failX = 0, failY = 0, failZ = 0;
    bool failAnswered = false;
    IndexSample failAnswer;
    // The largest | |T| - n(R) | / n(R) along the path, and the first step above the options'
    // speedTolerance (-1: none) with its point.
    double worstSpeed = 0;
    long long speedStep = -1;
    MediumPoint speedPoint;
    double speedT = 0;  // |T| there
    std::vector<MediumPoint> points;
};

// The rays through the medium together, each with its own step: every stage of a step is one
// Sample call for all rays still under way. A ray whose step is no number above 0 ends at once
// (kStepLength) without a request.
std::vector<MediumPath> TraceMediumPaths(const std::vector<MediumRay>& rays,
                                         const MediumBounds& bounds, MediumIndex& index,
                                         const MediumOptions& options);
// One ray: each stage is a single request.
MediumPath TraceMediumPath(const MediumRay& ray, const MediumBounds& bounds, MediumIndex& index,
                           const MediumOptions& options);

// The path's end in words for the status line and velmor-cli: "" for the plane; the point and
// what request 6 did there, with the hint to set `wavelength` when it is 0; the point where the
// ray left the range or turned back; the step limit; kMediumStepLengthText; "cancelled".
std::string MediumEndText(const MediumPath& path, bool wavelengthZero);

// The status line: "GRIN : 412 steps, end (x, y, z), OPL 15.062" (three decimals), the end in
// words after it when the path did not end on the plane; "GRIN : " and kMediumStepLengthText
// for no path.
std::string MediumStatusText(const MediumPath& path, bool wavelengthZero);

// What the records say about the path: param[1] (the step Delta t), thic and wavelength of the
// record version's FIXED_DATA (0 for a version without the field).
struct MediumRecords {
    double step = 0;
    double thic = 0;
    double wavelength = 0;
};
MediumRecords ReadMediumRecords(const RecordPair& pair, int recordVersion);
// The end plane: thic when it is above 0, else `displayZMax`.
double MediumEndZ(const MediumRecords& records, double displayZMax);

}  // namespace velmor
