// The check of a gradient-index medium along its rays: rays brought into the medium by request 5
// go on by the ray equation (core/surface/medium_ray.h) with the step param[1] and with half of
// it. The end points of the two must agree (else the step is too long for the gradient), and
// along every path |T| must stay equal to n(R): the ray equation keeps |T|^2 - n^2 constant only
// when the gradient request 6 answers is the gradient of the index it answers.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/app/number_text.h"
#include "core/check/check_internal.h"
#include "core/surface/medium_ray.h"

namespace velmor::check {

namespace {

// Request 6 through the check's surface: the points of a stage in one batch, each from the
// initial records.
class TargetIndex final : public MediumIndex {
public:
    explicit TargetIndex(Context& c) : m_c(c) {}
    bool Sample(std::size_t n, const double* x, const double* y, const double* z, IndexSample* out,
                bool* ok) override {
        BatchPoints& points = m_c.target->Points();
        for (std::size_t i = 0; i < n; ++i) {
            SetPoint(points, i, kRequestIndex, 0, kIndexPointFields, x[i], y[i], z[i], 0, 0, 0);
        }
        if (!m_c.target->Batch(*m_c.start, n, kBatchFreshUserData | kBatchSameRequest)) {
            return false;
        }
        const BatchAnswers& answers = m_c.target->Answers();
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = {answers.value[0][i], answers.value[1][i], answers.value[2][i],
                      answers.value[3][i]};
            ok[i] = answers.result[i] == 0 && FiniteIndex(out[i]);
        }
        return true;
    }

private:
    Context& m_c;
};

// A ray into the medium and where it came from.
struct EnteredRay {
    MediumRay ray;
    double x0, y0;  // its start at z = 0
};

// |T| and n with the digits that tell them apart at the tolerance.
std::string Precise(double value) {
    return FormatGeneral(value, 10);
}

std::string FromText(const EnteredRay& r) {
    return "the ray from " + PointText(r.x0, r.y0);
}

}  // namespace

CheckResult CheckMedium(Context& c) {
    if (!c.gradientIndex) {
        return Result("medium", CheckOutcome::kSkip, "not a gradient-index surface");
    }
    const MediumRecords records = ReadMediumRecords(*c.start, c.version);
    const double step = records.step;
    if (!(step > 0) || !std::isfinite(step)) {
        return Result("medium", CheckOutcome::kWarn,
                      std::string(kMediumStepLengthText) + ": no ray to follow");
    }
    const CheckInput& in = c.input;
    const double xmin = std::min(in.xmin, in.xmax), xmax = std::max(in.xmin, in.xmax);
    const double ymin = std::min(in.ymin, in.ymax), ymax = std::max(in.ymin, in.ymax);
    const double endZ = MediumEndZ(records, in.displayZMax);

    // Request 5 for the rays across x and across y, from z = 0 along the initial direction.
    const int count = kMediumRays;
    const std::size_t n = 2 * static_cast<std::size_t>(count);
    constexpr std::uint32_t kRayFields = kSetType | kSetX | kSetY | kSetZ | kSetL | kSetM | kSetN;
    BatchPoints& points = c.target->Points();
    for (int i = 0; i < count; ++i) {
        const double u = static_cast<double>(i) / (count - 1);
        SetPoint(points, static_cast<std::size_t>(i), kRequestRealTrace, 0, kRayFields,
                 xmin + (xmax - xmin) * u, (ymin + ymax) / 2, 0, c.l0, c.m0, c.n0);
        SetPoint(points, static_cast<std::size_t>(count + i), kRequestRealTrace, 0, kRayFields,
                 (xmin + xmax) / 2, ymin + (ymax - ymin) * u, 0, c.l0, c.m0, c.n0);
    }
    if (!c.target->Batch(*c.start, n, kBatchWholeRecords | kBatchFreshUserData)) {
        return Result("medium", CheckOutcome::kFail, "");
    }
    std::vector<EnteredRay> entered;
    {
        const BatchAnswers& answers = c.target->Answers();
        for (std::size_t i = 0; i < n; ++i) {
            const USER_DATA& out = answers.record[i];
            bool finite = true;
            for (double v : {out.x, out.y, out.z, out.l, out.m, out.n}) {
                finite = finite && std::isfinite(v);
            }
            if (answers.result[i] != 0 || !finite) continue;
            EnteredRay r;
            r.ray = {out.x, out.y, out.z, out.l, out.m, out.n, step};
            r.x0 = points.x[i];
            r.y0 = points.y[i];
            entered.push_back(r);
        }
    }
    const std::string traced =
        std::to_string(n) + " rays, " + std::to_string(entered.size()) + " traced by request 5";
    if (entered.empty()) {
        return Result("medium", CheckOutcome::kWarn, traced + ": nothing to follow");
    }

    // Every ray with the step and with half of it, all together.
    const std::size_t m = entered.size();
    std::vector<MediumRay> rays;
    for (const EnteredRay& r : entered) rays.push_back(r.ray);
    for (const EnteredRay& r : entered) {
        rays.push_back(r.ray);
        rays.back().step = step / 2;
    }
    MediumBounds bounds;
    bounds.endZ = endZ;
    bounds.xmin = xmin;
    bounds.xmax = xmax;
    bounds.ymin = ymin;
    bounds.ymax = ymax;
    bounds.stepLimit = kMediumCheckSteps;
    MediumOptions options;
    options.keepPoints = false;
    options.speedTolerance = kMediumSpeedTolerance;
    TargetIndex index(c);
    const std::vector<MediumPath> paths = TraceMediumPaths(rays, bounds, index, options);
    for (const MediumPath& path : paths) {
        // The sampling stopped: a fault or a cancel, which the driver reports.
        if (path.end == MediumEnd::kCancelled) return Result("medium", CheckOutcome::kFail, "");
    }

    // Request 6 failing along a path: the first one.
    for (std::size_t k = 0; k < paths.size(); ++k) {
        const MediumPath& path = paths[k];
        if (path.end != MediumEnd::kIndexFailed) continue;
        const EnteredRay& r = entered[k % m];
        CheckResult result = Result(
            "medium", CheckOutcome::kFail,
            "request 6 " + std::string(path.failAnswered ? "answers no finite number" : "fails") +
                " along " + FromText(r) + " at " + VectorText(path.failX, path.failY, path.failZ) +
                " (Delta t " + Num(rays[k].step) + ", step " + std::to_string(path.steps + 1) +
                "; " + traced + ")");
        result.example = ExampleAt(path.failX, path.failY, path.failZ, r.ray.l, r.ray.m, r.ray.n);
        if (path.failAnswered) {
            const IndexSample& a = path.failAnswer;
            result.example->got = {a.index, a.dndx, a.dndy, a.dndz};
        }
        return result;
    }

    // |T| against n(R). The method's own error moves |T| away from n too, less by about 2^4 with
    // half the step; a gradient that is not the index's moves it alike whatever the step. So a
    // ray fails where |T| drifts beyond the tolerance with half the step and the drift has not
    // fallen to a quarter of the one with the step.
    double worstSpeed[2] = {0, 0};  // with the step, with half of it
    for (std::size_t k = 0; k < paths.size(); ++k) {
        double& worst = worstSpeed[k < m ? 0 : 1];
        if (!(paths[k].worstSpeed <= worst)) worst = paths[k].worstSpeed;
    }
    long drifting = 0;  // rays whose drift falls with the step: the step is too long
    std::size_t firstDrifting = 0;
    for (std::size_t k = 0; k < m; ++k) {
        const MediumPath& whole = paths[k];
        const MediumPath& half = paths[k + m];
        if (half.speedStep < 0) continue;
        if (4 * half.worstSpeed < whole.worstSpeed) {
            if (drifting++ == 0) firstDrifting = k;
            continue;
        }
        const EnteredRay& r = entered[k];
        const MediumPoint& p = half.speedPoint;
        CheckResult result =
            Result("medium", CheckOutcome::kFail,
                   "|T| = " + Precise(half.speedT) + " is not n(R) = " + Precise(p.n) + " along " +
                       FromText(r) + " at step " + std::to_string(half.speedStep) + " " +
                       VectorText(p.x, p.y, p.z) + " (Delta t " + Num(step / 2) +
                       "; with Delta t " + Num(step) + " it is " + Num(whole.worstSpeed) +
                       " off, with Delta t / 2 " + Num(half.worstSpeed) +
                       " relative): the gradient does not belong to the index along the path (" +
                       traced + ")");
        result.example = ExampleAt(p.x, p.y, p.z, r.ray.l, r.ray.m, r.ray.n);
        result.example->expected = {p.n};
        result.example->got = {half.speedT};
        return result;
    }

    // End points at Delta t and Delta t / 2, for the rays that reach the plane with both.
    long plane = 0, leftRange = 0, turnedBack = 0, limit = 0, compared = 0, apart = 0;
    double worstEnd = 0;
    std::size_t firstApart = 0;
    double firstApartRelative = 0;
    for (std::size_t k = 0; k < m; ++k) {
        for (const MediumPath* path : {&paths[k], &paths[k + m]}) {
            switch (path->end) {
                case MediumEnd::kPlane:
                    ++plane;
                    break;
                case MediumEnd::kLeftRange:
                    ++leftRange;
                    break;
                case MediumEnd::kTurnedBack:
                    ++turnedBack;
                    break;
                case MediumEnd::kStepLimit:
                    ++limit;
                    break;
                default:
                    break;
            }
        }
        const MediumPath& a = paths[k];
        const MediumPath& b = paths[k + m];
        const double depth = endZ - entered[k].ray.z;
        if (a.end != MediumEnd::kPlane || b.end != MediumEnd::kPlane || !(depth > 0)) continue;
        ++compared;
        const double relative = std::hypot(a.x - b.x, a.y - b.y, a.z - b.z) / depth;
        if (!(relative <= worstEnd)) worstEnd = relative;
        if (!(relative <= kMediumEndTolerance) && apart++ == 0) {
            firstApart = k;
            firstApartRelative = relative;
        }
    }
    const std::string counts = traced + "; at Delta t " + Num(step) + " and " + Num(step / 2) +
                               ": " + std::to_string(plane) +
                               " paths reach the plane z = " + Num(endZ) + ", " +
                               std::to_string(leftRange) + " leave the range, " +
                               std::to_string(turnedBack) + " turn back";
    if (apart == 0 && drifting > 0) {
        const EnteredRay& r = entered[firstDrifting];
        const MediumPath& half = paths[firstDrifting + m];
        CheckResult result = Result("medium", CheckOutcome::kWarn,
                                    "the step param[1] is too long for this gradient: along " +
                                        FromText(r) + " |T| is " + Num(half.worstSpeed) +
                                        " off n(R) (relative) with Delta t / 2, " +
                                        Num(paths[firstDrifting].worstSpeed) + " with Delta t (" +
                                        std::to_string(drifting) + " rays above " +
                                        Num(kMediumSpeedTolerance) + "; " + counts + ")");
        const MediumPoint& p = half.speedPoint;
        result.example = ExampleAt(p.x, p.y, p.z, r.ray.l, r.ray.m, r.ray.n);
        result.example->expected = {p.n};
        result.example->got = {half.speedT};
        return result;
    }
    if (apart > 0) {
        const MediumPath& a = paths[firstApart];
        const MediumPath& b = paths[firstApart + m];
        const EnteredRay& r = entered[firstApart];
        CheckResult result =
            Result("medium", CheckOutcome::kWarn,
                   "the step param[1] is too long for this gradient: the end points of " +
                       FromText(r) + " with Delta t and with Delta t / 2 differ by " +
                       Num(firstApartRelative) + " x the depth (" + std::to_string(apart) + " of " +
                       std::to_string(compared) + " rays above " + Num(kMediumEndTolerance) +
                       ", the largest " + Num(worstEnd) + "; " + counts + ")");
        result.example = ExampleAt(r.ray.x, r.ray.y, r.ray.z, r.ray.l, r.ray.m, r.ray.n);
        result.example->expected = {b.x, b.y, b.z};
        result.example->got = {a.x, a.y, a.z};
        return result;
    }
    if (limit > 0) {
        return Result("medium", CheckOutcome::kWarn,
                      std::to_string(limit) + " paths take more than " +
                          std::to_string(kMediumCheckSteps) +
                          " steps without an end: not compared (" + counts + ")");
    }
    if (compared == 0) {
        return Result(
            "medium", CheckOutcome::kWarn,
            "no ray reaches the plane with both steps: nothing to compare (" + counts + ")");
    }
    return Result("medium", CheckOutcome::kPass,
                  counts + "; end points agree to " + Num(worstEnd) +
                      " x the depth, |T| = n(R) to " + Num(worstSpeed[0]) + " and " +
                      Num(worstSpeed[1]));
}

}  // namespace velmor::check
