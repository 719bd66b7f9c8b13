// The checks of the surface's geometry and optics: sag, trace, paraxial, index.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "core/check/check_internal.h"

namespace velmor::check {

namespace {

using Vec = std::array<double, 3>;

Vec Sub(const Vec& a, const Vec& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec Add(const Vec& a, const Vec& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
Vec Scale(const Vec& a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}
double Dot(const Vec& a, const Vec& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Length(const Vec& a) {
    return std::sqrt(Dot(a, a));
}
Vec Unit(const Vec& a) {
    const double length = Length(a);
    return length > 0 ? Scale(a, 1 / length) : a;
}
bool Finite(const Vec& a) {
    return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}
std::vector<double> Values(const Vec& a) {
    return {a[0], a[1], a[2]};
}

// The slope of the sag may change by this much between the two sides of a central difference
// before the surface counts as not smooth there (a lenslet's edge, a step): its normal is then
// not compared.
constexpr double kKinkSlopeChange = 1e-2;

// A failed sub-check: how often, the largest error, and the first ray that broke it.
struct Breach {
    explicit Breach(const char* text) : what(text) {}
    const char* what;
    long count = 0;
    double worst = 0;
    CheckExample first;
    double firstError = 0;

    void Note(const CheckExample& example, double error) {
        if (count++ == 0) {
            first = example;
            firstError = error;
        }
        if (!(error <= worst)) worst = error;  // a NaN error is the worst
    }
};

std::string RayText(const CheckExample& e) {
    return "ray from " + PointText(e.x, e.y) + " along " + VectorText(e.l, e.m, e.n);
}

}  // namespace

CheckResult JudgeSags(Context& c, const std::vector<bool>& ok, const std::vector<double>& sag) {
    const int size = kCheckGridPoints;
    const std::size_t n = ok.size();
    long answered = 0, nonFinite = 0;
    std::size_t firstNonFinite = 0;
    double low = 0, high = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!ok[i]) continue;
        if (!std::isfinite(sag[i])) {
            if (nonFinite++ == 0) firstNonFinite = i;
            continue;
        }
        if (answered++ == 0) low = high = sag[i];
        low = std::min(low, sag[i]);
        high = std::max(high, sag[i]);
    }
    const GridPoint& first = c.grid[firstNonFinite];
    if (nonFinite > 0) {
        CheckResult result =
            Result("sag", CheckOutcome::kFail,
                   std::to_string(nonFinite) + " points answer success with a sag that is no " +
                       "finite number, the first at " + PointText(first.x, first.y));
        result.example =
            ExampleAt(first.x, first.y, c.start->ud.z, c.start->ud.l, c.start->ud.m, c.start->ud.n);
        result.example->expected = {};
        result.example->got = {sag[firstNonFinite]};
        return result;
    }
    const std::string counts = std::to_string(n) + " points, " + std::to_string(answered) +
                               " answered, " + std::to_string(n - answered) + " failed";
    if (answered == 0) {
        return Result("sag", CheckOutcome::kWarn, counts + ": nothing to look at in this range");
    }
    // Neighbours along rows and columns: jumps against the median of the differences.
    struct Step {
        std::size_t from, to;
        double size;
    };
    std::vector<Step> steps;
    for (int j = 0; j < size; ++j) {
        for (int i = 0; i < size; ++i) {
            const std::size_t at = static_cast<std::size_t>(j * size + i);
            const std::size_t neighbours[2] = {at + 1, at + static_cast<std::size_t>(size)};
            for (int k = 0; k < 2; ++k) {
                if ((k == 0 && i + 1 >= size) || (k == 1 && j + 1 >= size)) continue;
                const std::size_t to = neighbours[k];
                if (ok[at] && ok[to]) steps.push_back({at, to, std::fabs(sag[to] - sag[at])});
            }
        }
    }
    std::vector<double> sizes;
    for (const Step& step : steps) {
        if (step.size > 0) sizes.push_back(step.size);
    }
    const std::string range = "; sag from " + Num(low) + " to " + Num(high);
    if (sizes.empty()) return Result("sag", CheckOutcome::kPass, counts + range);
    std::nth_element(sizes.begin(), sizes.begin() + sizes.size() / 2, sizes.end());
    const double median = sizes[sizes.size() / 2];
    long jumps = 0;
    const Step* largest = nullptr;
    for (const Step& step : steps) {
        if (step.size > kJumpFactor * median) {
            ++jumps;
            if (largest == nullptr || step.size > largest->size) largest = &step;
        }
    }
    if (largest == nullptr) return Result("sag", CheckOutcome::kPass, counts + range);
    const GridPoint& from = c.grid[largest->from];
    const GridPoint& to = c.grid[largest->to];
    CheckResult result =
        Result("sag", CheckOutcome::kWarn,
               std::to_string(jumps) + " jumps above " + Num(kJumpFactor) +
                   " times the median neighbour difference " + Num(median) + ", the largest " +
                   Num(largest->size) + " between " + PointText(from.x, from.y) + " and " +
                   PointText(to.x, to.y) + "; " + counts);
    result.example =
        ExampleAt(to.x, to.y, c.start->ud.z, c.start->ud.l, c.start->ud.m, c.start->ud.n);
    result.example->expected = {sag[largest->from]};
    result.example->got = {sag[largest->to]};
    return result;
}

CheckResult CheckSag(Context& c) {
    BatchPoints& points = c.target->Points();
    const std::size_t n = c.grid.size();
    for (std::size_t i = 0; i < n; ++i) {
        SetPoint(points, i, kRequestSag, 0, kSagPointFields, c.grid[i].x, c.grid[i].y, 0, 0, 0, 0);
    }
    if (!c.target->Batch(*c.start, n, kBatchFreshUserData | kBatchSameRequest)) {
        return Result("sag", CheckOutcome::kFail, "");
    }
    const BatchAnswers& answers = c.target->Answers();
    std::vector<bool> ok(n);
    std::vector<double> sag(n);
    for (std::size_t i = 0; i < n; ++i) {
        ok[i] = answers.result[i] == 0;
        sag[i] = answers.value[0][i];
    }
    return JudgeSags(c, ok, sag);
}

CheckResult CheckTrace(Context& c) {
    // The rays: from every grid point at z = 0 along the initial direction and three tilted
    // ones.
    const double initial[3] = {c.l0, c.m0, c.n0};
    double directions[4][3];
    CheckRayDirections(initial, directions);
    const std::size_t gridSize = c.grid.size();
    const std::size_t n = gridSize * 4;
    constexpr std::uint32_t kRayFields = kSetType | kSetX | kSetY | kSetZ | kSetL | kSetM | kSetN;
    BatchPoints& points = c.target->Points();
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t i = 0; i < gridSize; ++i) {
            const double* d = directions[k];
            SetPoint(points, k * gridSize + i, kRequestRealTrace, 0, kRayFields, c.grid[i].x,
                     c.grid[i].y, 0, d[0], d[1], d[2]);
        }
    }
    if (!c.target->Batch(*c.start, n, kBatchWholeRecords | kBatchFreshUserData)) {
        return Result("trace", CheckOutcome::kFail, "");
    }
    // The rays that answered success with something written.
    struct Ray {
        CheckExample input;
        USER_DATA answer;
    };
    std::vector<Ray> rays;
    long failed = 0, unanswered = 0;
    {
        const BatchAnswers& answers = c.target->Answers();
        for (std::size_t i = 0; i < n; ++i) {
            if (answers.result[i] != 0) {
                ++failed;
                continue;
            }
            const USER_DATA input = PointInput(c, points, i);
            if (std::memcmp(&input, &answers.record[i], sizeof input) == 0) {
                ++unanswered;
                continue;
            }
            rays.push_back({ExampleOf(c, points, i), answers.record[i]});
        }
    }
    const std::string counts =
        std::to_string(n) + " rays, " + std::to_string(rays.size()) + " traced, " +
        std::to_string(failed) + " failed" +
        (unanswered > 0 ? ", " + std::to_string(unanswered) + " answered 0 without writing anything"
                        : std::string());
    if (rays.empty()) {
        return Result("trace", unanswered > 0 ? CheckOutcome::kSkip : CheckOutcome::kWarn,
                      counts + (unanswered > 0 ? ": the library does not trace"
                                               : ": nothing to look at in this range"));
    }

    // The sag at every hit point and around it for its slopes: 5 sag requests per ray.
    const double h = c.step;
    const std::size_t hits = rays.size();
    constexpr double kAround[5][2] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (std::size_t r = 0; r < hits; ++r) {
        for (int k = 0; k < 5; ++k) {
            SetPoint(points, r * 5 + k, kRequestSag, 0, kSagPointFields,
                     rays[r].answer.x + kAround[k][0] * h, rays[r].answer.y + kAround[k][1] * h, 0,
                     0, 0, 0);
        }
    }
    // A batch holds at most kMaxBatchPoints points: 5 per ray for 4 * 41 * 41 rays fits.
    static_assert(5 * 4 * kCheckGridPoints * kCheckGridPoints <= kMaxBatchPoints);
    if (!c.target->Batch(*c.start, hits * 5, kBatchFreshUserData | kBatchSameRequest)) {
        return Result("trace", CheckOutcome::kFail, "");
    }
    const BatchAnswers& sags = c.target->Answers();

    Breach onLine{"(a) the hit point is not on the incoming ray"};
    Breach path{"(b) path is not the distance from the start to the hit point"};
    Breach onSag{"(c) the hit point is not on the sag surface"};
    Breach normalLength{"(d) the normal is not of unit length"};
    Breach normalDirection{"(d) the normal is not parallel to the sag surface's normal"};
    Breach outLength{"(e) the outgoing direction is not of unit length"};
    Breach plane{"(e) the outgoing direction is not in the plane of incidence"};
    Breach snell{"(e) the outgoing direction breaks Snell's law"};
    Breach reflection{"(e) the outgoing direction breaks the law of reflection"};
    const bool mirror = c.n2 < 0;
    const double tol = c.positionTolerance;
    long sagCompared = 0, normalsCompared = 0;

    for (std::size_t r = 0; r < hits; ++r) {
        const Ray& ray = rays[r];
        const USER_DATA& a = ray.answer;
        const Vec start = {ray.input.x, ray.input.y, ray.input.z};
        const Vec d = {ray.input.l, ray.input.m, ray.input.n};
        const Vec hit = {a.x, a.y, a.z};
        const Vec normal = {a.ln, a.mn, a.nn};
        const Vec out = {a.l, a.m, a.n};
        auto example = [&](std::vector<double> expected, std::vector<double> got) {
            CheckExample e = ray.input;
            e.expected = std::move(expected);
            e.got = std::move(got);
            return e;
        };

        // (a) and (b): the hit on the ray line, path along it.
        const Vec v = Sub(hit, start);
        const double along = Dot(v, d);
        const double offLine = Length(Cross(v, d));
        if (!(offLine <= tol)) {
            onLine.Note(example(Values(Add(start, Scale(d, along))), Values(hit)), offLine);
        }
        if (!(std::fabs(along - a.path) <= tol)) {
            path.Note(example({along}, {a.path}), std::fabs(along - a.path));
        }

        // (c) and (d): against the sag at the hit and around it.
        double s[5];
        bool sagOk[5];
        for (int k = 0; k < 5; ++k) {
            s[k] = sags.value[0][r * 5 + k];
            sagOk[k] = sags.result[r * 5 + k] == 0 && std::isfinite(s[k]);
        }
        if (sagOk[0]) {
            ++sagCompared;
            const double error = std::fabs(a.z - s[0]);
            if (!(error <= tol)) onSag.Note(example({s[0]}, {a.z}), error);
        }
        const double normalNorm = Length(normal);
        if (!(std::fabs(normalNorm - 1) <= kUnitTolerance)) {
            normalLength.Note(example({1}, {normalNorm}), std::fabs(normalNorm - 1));
        }
        const bool around = sagOk[0] && sagOk[1] && sagOk[2] && sagOk[3] && sagOk[4];
        const bool smooth = around && std::fabs(s[1] - 2 * s[0] + s[2]) <= kKinkSlopeChange * h &&
                            std::fabs(s[3] - 2 * s[0] + s[4]) <= kKinkSlopeChange * h;
        if (smooth && normalNorm > 0 && Finite(normal)) {
            ++normalsCompared;
            const double fx = (s[1] - s[2]) / (2 * h), fy = (s[3] - s[4]) / (2 * h);
            Vec expected = Unit(Vec{-fx, -fy, 1});
            const Vec got = Unit(normal);
            if (Dot(expected, got) < 0) expected = Scale(expected, -1);  // antiparallel is fine
            const double angle = std::atan2(Length(Cross(expected, got)), Dot(expected, got));
            if (!(angle <= kNormalTolerance)) {
                normalDirection.Note(example(Values(expected), Values(got)), angle);
            }
        }

        // (e): the outgoing direction.
        const double outNorm = Length(out);
        if (!(std::fabs(outNorm - 1) <= kUnitTolerance)) {
            outLength.Note(example({1}, {outNorm}), std::fabs(outNorm - 1));
        }
        if (c.gradientIndex || !(normalNorm > 0) || !Finite(normal)) continue;
        Vec nu = Unit(normal);
        double cosIn = Dot(d, nu);
        if (cosIn < 0) {  // the normal along the ray
            nu = Scale(nu, -1);
            cosIn = -cosIn;
        }
        const Vec reflected = Sub(d, Scale(nu, 2 * cosIn));
        if (mirror) {
            const double error = Length(Sub(out, reflected));
            if (!(error <= kUnitTolerance)) {
                reflection.Note(example(Values(reflected), Values(out)), error);
            }
            continue;
        }
        const double mu = c.n1 / c.n2;
        const double k = 1 - mu * mu * (1 - cosIn * cosIn);
        // Past the critical angle no ray goes through: a library answering success there may
        // only have reflected it.
        const Vec expected =
            k >= 0 ? Add(Scale(d, mu), Scale(nu, std::sqrt(k) - mu * cosIn)) : reflected;
        const Vec across = Cross(d, nu);
        const double acrossLength = Length(across);
        if (acrossLength > 1e-12) {
            const double error = std::fabs(Dot(out, across)) / acrossLength;
            if (!(error <= kUnitTolerance))
                plane.Note(example(Values(expected), Values(out)), error);
        }
        double error;
        if (k < 0) {
            error = Length(Sub(out, reflected));
        } else if (Dot(out, nu) < 0) {
            error = Length(Sub(out, expected));  // turned back instead of going through
        } else {
            error = std::fabs(c.n1 * acrossLength - c.n2 * Length(Cross(out, nu)));
        }
        if (!(error <= kUnitTolerance)) snell.Note(example(Values(expected), Values(out)), error);
    }

    const Breach* breaches[] = {&onLine,    &path,  &onSag, &normalLength, &normalDirection,
                                &outLength, &plane, &snell, &reflection};
    std::string detail;
    const Breach* firstBreach = nullptr;
    for (const Breach* b : breaches) {
        if (b->count == 0) continue;
        if (firstBreach == nullptr) firstBreach = b;
        if (!detail.empty()) detail += "; ";
        detail += std::string(b->what) + ": " + std::to_string(b->count) + " of " +
                  std::to_string(hits) + " rays, the first " + RayText(b->first) + " by " +
                  Num(b->firstError) + ", the largest error " + Num(b->worst);
    }
    if (firstBreach != nullptr) {
        CheckResult result = Result("trace", CheckOutcome::kFail, detail + " (" + counts + ")");
        result.example = firstBreach->first;
        return result;
    }
    std::string notes = counts + "; " + std::to_string(sagCompared) + " hits on the sag, " +
                        std::to_string(normalsCompared) + " normals compared";
    if (c.gradientIndex) {
        notes += "; refraction not checked (gradient-index medium)";
    } else if (mirror) {
        notes += "; law of reflection (n2 < 0)";
    }
    return Result("trace", unanswered > 0 ? CheckOutcome::kWarn : CheckOutcome::kPass, notes);
}

CheckResult CheckParaxial(Context& c) {
    const CheckInput& in = c.input;
    const double hx = kParaxialHeight * std::fabs(in.xmax - in.xmin);
    const double hy = kParaxialHeight * std::fabs(in.ymax - in.ymin);
    BatchPoints& points = c.target->Points();
    constexpr std::uint32_t kRayFields = kSetType | kSetX | kSetY | kSetZ | kSetL | kSetM | kSetN;
    // Two rays parallel to the axis, one above it in x and one in y: request 4, then 5.
    const double at[2][2] = {{hx, 0}, {0, hy}};
    for (int i = 0; i < 2; ++i) {
        SetPoint(points, i, kRequestParaxialTrace, 0, kRayFields, at[i][0], at[i][1], 0, 0, 0, 1);
        SetPoint(points, 2 + i, kRequestRealTrace, 0, kRayFields, at[i][0], at[i][1], 0, 0, 0, 1);
    }
    if (!c.target->Batch(*c.start, 4, kBatchWholeRecords | kBatchFreshUserData)) {
        return Result("paraxial", CheckOutcome::kFail, "");
    }
    const BatchAnswers& answers = c.target->Answers();
    double worst = 0;
    int worstRay = 0;
    Vec worstParaxial{}, worstReal{};
    for (int i = 0; i < 2; ++i) {
        const USER_DATA input4 = PointInput(c, points, i);
        const USER_DATA input5 = PointInput(c, points, 2 + i);
        const USER_DATA& a4 = answers.record[i];
        const USER_DATA& a5 = answers.record[2 + i];
        if (answers.result[i] != 0) {
            return Result("paraxial", CheckOutcome::kSkip,
                          "request 4 answers " + std::to_string(answers.result[i]) +
                              " near the axis: no paraxial trace");
        }
        if (std::memcmp(&input4, &a4, sizeof a4) == 0) {
            return Result("paraxial", CheckOutcome::kSkip,
                          "request 4 answers 0 without writing anything: no paraxial trace");
        }
        if (answers.result[2 + i] != 0 || std::memcmp(&input5, &a5, sizeof a5) == 0) {
            return Result("paraxial", CheckOutcome::kSkip,
                          "request 5 does not trace near the axis: nothing to compare with");
        }
        // Directions compared, not their lengths: the trace check judges those.
        const Vec paraxial = Unit({a4.l, a4.m, a4.n});
        const Vec real = Unit({a5.l, a5.m, a5.n});
        const double error = Length(Sub(paraxial, real));
        if (!(error <= worst)) {
            worst = error;
            worstRay = i;
            worstParaxial = paraxial;
            worstReal = real;
        }
    }
    const std::string where =
        "2 rays parallel to the axis " + Num(hx) + " and " + Num(hy) + " from it";
    if (!(worst <= kParaxialTolerance)) {
        CheckResult result =
            Result("paraxial", CheckOutcome::kWarn,
                   "request 4 leaves along " +
                       VectorText(worstParaxial[0], worstParaxial[1], worstParaxial[2]) +
                       ", request 5 along " + VectorText(worstReal[0], worstReal[1], worstReal[2]) +
                       ": they differ by " + Num(worst) + " (" + where + ")");
        result.example = ExampleAt(at[worstRay][0], at[worstRay][1], 0, 0, 0, 1);
        result.example->expected = Values(worstReal);
        result.example->got = Values(worstParaxial);
        return result;
    }
    return Result("paraxial", CheckOutcome::kPass,
                  "requests 4 and 5 agree to " + Num(worst) + " (" + where + ")");
}

CheckResult CheckIndex(Context& c) {
    if (!c.gradientIndex) {
        return Result("index", CheckOutcome::kSkip, "not a gradient-index surface");
    }
    const CheckInput& in = c.input;
    BatchPoints& points = c.target->Points();
    // The sag under each point of the 21 x 21 grid: the slab's floor.
    const std::vector<GridPoint> grid = CheckIndexGrid(in.xmin, in.xmax, in.ymin, in.ymax);
    for (std::size_t i = 0; i < grid.size(); ++i) {
        SetPoint(points, i, kRequestSag, 0, kSagPointFields, grid[i].x, grid[i].y, 0, 0, 0, 0);
    }
    if (!c.target->Batch(*c.start, grid.size(), kBatchFreshUserData | kBatchSameRequest)) {
        return Result("index", CheckOutcome::kFail, "");
    }
    std::vector<double> floor(grid.size());
    std::vector<bool> floorOk(grid.size());
    for (std::size_t i = 0; i < grid.size(); ++i) {
        floor[i] = c.target->Answers().value[0][i];
        floorOk[i] = c.target->Answers().result[i] == 0 && std::isfinite(floor[i]);
    }
    const double top = CheckIndexTop(*c.start, c.version);

    // Each point and its six neighbours at +-h along x, y and z.
    const double h = c.step;
    constexpr double kAround[7][3] = {{0, 0, 0},  {1, 0, 0}, {-1, 0, 0}, {0, 1, 0},
                                      {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    std::size_t n = 0;
    for (std::size_t i = 0; i < grid.size(); ++i) {
        if (!floorOk[i]) continue;
        for (int level = 1; level <= kIndexGridLevels; ++level) {
            const double z = CheckIndexLevel(floor[i], top, level);
            for (int k = 0; k < 7; ++k) {
                SetPoint(points, n++, kRequestIndex, 0, kIndexPointFields,
                         grid[i].x + kAround[k][0] * h, grid[i].y + kAround[k][1] * h,
                         z + kAround[k][2] * h, 0, 0, 0);
            }
        }
    }
    if (n == 0) {
        return Result("index", CheckOutcome::kWarn,
                      "the sag fails at every point of the index grid: nothing to look at");
    }
    if (!c.target->Batch(*c.start, n, kBatchFreshUserData | kBatchSameRequest)) {
        return Result("index", CheckOutcome::kFail, "");
    }
    const BatchAnswers& answers = c.target->Answers();
    long failed = 0, nonFinite = 0, mismatched = 0, compared = 0;
    double worst = 0;
    std::optional<CheckExample> firstNonFinite, firstMismatch;
    double firstMismatchError = 0;
    for (std::size_t p = 0; p < n; p += 7) {
        auto value = [&](std::size_t k, int v) { return answers.value[v][p + k]; };
        if (answers.result[p] != 0) {
            ++failed;
            continue;
        }
        const Vec gradient = {value(0, 1), value(0, 2), value(0, 3)};
        if (!std::isfinite(value(0, 0)) || !Finite(gradient)) {
            if (nonFinite++ == 0) {
                firstNonFinite = ExampleOf(c, points, p);
                firstNonFinite->got = {value(0, 0), gradient[0], gradient[1], gradient[2]};
            }
            continue;
        }
        bool around = true;
        for (std::size_t k = 1; k < 7; ++k) {
            around = around && answers.result[p + k] == 0 && std::isfinite(value(k, 0));
        }
        if (!around) continue;
        ++compared;
        const Vec differences = {(value(1, 0) - value(2, 0)) / (2 * h),
                                 (value(3, 0) - value(4, 0)) / (2 * h),
                                 (value(5, 0) - value(6, 0)) / (2 * h)};
        // Relative to the gradient, with room for the rounding of the index values the
        // differences are taken from.
        const double rounding = 64 * 2.2e-16 * std::max(1.0, std::fabs(value(0, 0))) / h;
        const double error = Length(Sub(gradient, differences));
        const double allowed =
            kGradientTolerance * std::max(Length(differences), Length(gradient)) + rounding;
        if (!(error <= allowed)) {
            const double relative = error / std::max(Length(differences), 1e-300);
            if (mismatched++ == 0) {
                firstMismatch = ExampleOf(c, points, p);
                firstMismatch->expected = Values(differences);
                firstMismatch->got = Values(gradient);
                firstMismatchError = relative;
            }
            worst = std::max(worst, relative);
        }
    }
    const long total = static_cast<long>(n / 7);
    const std::string counts = std::to_string(total) + " points, " + std::to_string(failed) +
                               " failed, " + std::to_string(compared) + " gradients compared";
    if (nonFinite > 0) {
        CheckResult result =
            Result("index", CheckOutcome::kFail,
                   std::to_string(nonFinite) +
                       " points answer an index or gradient that is no finite number, the first " +
                       "at " + VectorText(firstNonFinite->x, firstNonFinite->y, firstNonFinite->z) +
                       " (" + counts + ")");
        result.example = firstNonFinite;
        return result;
    }
    if (mismatched > 0) {
        CheckResult result =
            Result("index", CheckOutcome::kFail,
                   "dndx dndy dndz differ from the central differences of index at " +
                       std::to_string(mismatched) + " points, the first at " +
                       VectorText(firstMismatch->x, firstMismatch->y, firstMismatch->z) + " by " +
                       Num(firstMismatchError) + " (relative), the largest " + Num(worst) + " (" +
                       counts + ")");
        result.example = firstMismatch;
        return result;
    }
    if (failed == total) {
        return Result(
            "index", CheckOutcome::kFail,
            "request 6 fails at every point of the gradient-index medium (" + counts + ")");
    }
    return Result("index", CheckOutcome::kPass, counts);
}

}  // namespace velmor::check
