#include "core/surface/medium_ray.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "core/app/number_text.h"
#include "core/app/progress.h"
#include "core/surface/row_catalogue.h"

namespace velmor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Trial steps of the last step at most; the bracket halves at least every other one, so the
// step is found long before (about 60 halvings reach the spacing of doubles).
constexpr int kMaxEndSteps = 200;

struct Vec3 {
    double x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator*(double s, Vec3 a) {
    return {s * a.x, s * a.y, s * a.z};
}
double Length(Vec3 a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

// Where a ray stands between the rounds of a trace.
enum class Phase {
    kIndex,  // n and grad n are wanted at its point (stage A): the start, a new point, the end
    kStep,   // a step of length Delta t is under way (stages B and C)
    kLast,   // the last step: trial steps of length `trial` until it ends on the plane
    kDone,
};

struct Walker {
    MediumPath* path = nullptr;
    Phase phase = Phase::kIndex;
    bool started = false;  // T has its length n at the start
    bool ending = false;   // the end is known; the index at the end point is still wanted
    MediumEnd end = MediumEnd::kPlane;
    Vec3 r, t, dir;
    double opl = 0;
    double step = 0;   // Delta t
    double trial = 0;  // the step under way
    double lo = 0, hi = 0;
    int trials = 0;
    double z0 = 0;
    // Stage A at r: n and D = n grad n. Stage B's point, n and D; stage C's.
    double nA = 0, nB = 0, nC = 0;
    Vec3 dA, dB, dC, rB, rC;
};

Vec3 Drive(const IndexSample& s) {
    // The right-hand side of the ray equation: n grad n.
    return {s.index * s.dndx, s.index * s.dndy, s.index * s.dndz};
}

class Tracer {
public:
    Tracer(const MediumBounds& bounds, MediumIndex& index, const MediumOptions& options)
        : m_bounds(bounds), m_index(index), m_options(options) {
        m_tolerance = std::max(kMediumPlaneTolerance,
                               8 * std::numeric_limits<double>::epsilon() * std::fabs(bounds.endZ));
    }

    std::vector<MediumPath> Run(const std::vector<MediumRay>& rays) {
        std::vector<MediumPath> paths(rays.size());
        m_walkers.assign(rays.size(), Walker());
        for (std::size_t i = 0; i < rays.size(); ++i) Start(m_walkers[i], rays[i], paths[i]);
        bool windowOpen = false;
        while (Live()) {
            if (!StageA() || !StageB() || !StageC()) {
                StopAll();
                break;
            }
            if (m_options.reportProgress && Cancelled(&windowOpen)) {
                StopAll();
                break;
            }
        }
        if (windowOpen && m_options.window != nullptr) m_options.window->Close();
        return paths;
    }

private:
    void Start(Walker& w, const MediumRay& ray, MediumPath& path) {
        w.path = &path;
        w.r = {ray.x, ray.y, ray.z};
        w.z0 = ray.z;
        w.step = ray.step;
        const double norm = std::sqrt(ray.l * ray.l + ray.m * ray.m + ray.n * ray.n);
        w.dir = norm > 0 && std::isfinite(norm) ? (1 / norm) * Vec3{ray.l, ray.m, ray.n} : Vec3{};
        PushPoint(w);
        if (!(ray.step > 0) || !std::isfinite(ray.step)) {
            w.end = MediumEnd::kStepLength;
            Finish(w);
        } else if (Outside(w.r)) {
            EndAt(w, MediumEnd::kLeftRange);
        }
    }

    // The end is known; the index at the end point is asked once more, then the ray is done.
    static void EndAt(Walker& w, MediumEnd end) {
        w.end = end;
        w.ending = true;
    }

    bool Live() const {
        for (const Walker& w : m_walkers) {
            if (w.phase != Phase::kDone) return true;
        }
        return false;
    }

    void PushPoint(Walker& w) {
        if (m_options.keepPoints) w.path->points.push_back({w.r.x, w.r.y, w.r.z, kNaN});
    }

    bool Outside(Vec3 r) const {
        return !(r.x >= m_bounds.xmin && r.x <= m_bounds.xmax && r.y >= m_bounds.ymin &&
                 r.y <= m_bounds.ymax);
    }

    // Asks request 6 at the points the walkers in `chosen` give; false when the sampling
    // stopped. After it m_out and m_ok hold the answers in the order of `chosen`.
    template <class PointOf>
    bool Sample(const std::vector<std::size_t>& chosen, PointOf pointOf) {
        const std::size_t n = chosen.size();
        m_x.resize(n);
        m_y.resize(n);
        m_z.resize(n);
        m_out.assign(n, IndexSample());
        if (n > m_okSize) {
            m_ok.reset(new bool[n]);
            m_okSize = n;
        }
        for (std::size_t k = 0; k < n; ++k) {
            const Vec3 p = pointOf(m_walkers[chosen[k]]);
            m_x[k] = p.x;
            m_y[k] = p.y;
            m_z[k] = p.z;
            m_ok[k] = false;
        }
        return n == 0 ||
               m_index.Sample(n, m_x.data(), m_y.data(), m_z.data(), m_out.data(), m_ok.get());
    }

    std::vector<std::size_t> InPhase(bool index) const {
        std::vector<std::size_t> chosen;
        for (std::size_t i = 0; i < m_walkers.size(); ++i) {
            const Phase p = m_walkers[i].phase;
            if (index ? p == Phase::kIndex : p == Phase::kStep || p == Phase::kLast)
                chosen.push_back(i);
        }
        return chosen;
    }

    // Request 6 failed (or answered no finite number) at point k of the last sample.
    void IndexFailed(Walker& w, std::size_t k) {
        MediumPath& path = *w.path;
        path.failX = m_x[k];
        path.failY = m_y[k];
        path.failZ = m_z[k];
        path.failAnswered = !FiniteIndex(m_out[k]);
        path.failAnswer = m_out[k];
        w.end = MediumEnd::kIndexFailed;
        Finish(w);
    }

    // Stage A: the index at each point that wants it. It gives T its length at the start and
    // tells how far |T| is from n along the path.
    bool StageA() {
        const std::vector<std::size_t> chosen = InPhase(true);
        if (!Sample(chosen, [](const Walker& w) { return w.r; })) return false;
        for (std::size_t k = 0; k < chosen.size(); ++k) {
            Walker& w = m_walkers[chosen[k]];
            if (!m_ok[k]) {
                // Outside the range the surface need not answer: the ray has left it.
                if (w.ending && w.end == MediumEnd::kLeftRange) {
                    Finish(w);
                } else {
                    IndexFailed(w, k);
                }
                continue;
            }
            w.nA = m_out[k].index;
            w.dA = Drive(m_out[k]);
            if (m_options.keepPoints) w.path->points.back().n = w.nA;
            if (!w.started) {
                w.started = true;
                w.t = w.nA * w.dir;
                // The ray may stand where it ends already.
                if (w.ending) {
                    // outside the range (Start)
                } else if (w.r.z >= m_bounds.endZ - m_tolerance) {
                    EndAt(w, MediumEnd::kPlane);
                } else if (!(w.t.z > 0)) {
                    EndAt(w, MediumEnd::kTurnedBack);
                } else if (m_bounds.stepLimit <= 0) {
                    EndAt(w, MediumEnd::kStepLimit);
                }
            }
            if (w.path->steps > 0) NoteSpeed(w);  // at the start |T| is n by its making
            if (w.ending) {
                Finish(w);
            } else {
                w.phase = Phase::kStep;
                w.trial = w.step;
            }
        }
        return true;
    }

    void NoteSpeed(Walker& w) {
        MediumPath& path = *w.path;
        const double speed = Length(w.t);
        const double error = std::fabs(speed - w.nA) / std::fabs(w.nA);
        if (!(error <= path.worstSpeed)) path.worstSpeed = error;  // a NaN is the worst
        if (m_options.speedTolerance > 0 && path.speedStep < 0 &&
            !(error <= m_options.speedTolerance)) {
            path.speedStep = path.steps;
            path.speedPoint = {w.r.x, w.r.y, w.r.z, w.nA};
            path.speedT = speed;
        }
    }

    // Stage B of Sharma, Kumar and Ghatak's step of length h from (R, T), with A = h D(R):
    //   B = h D(R + h/2 T + h/8 A)
    bool StageB() {
        const std::vector<std::size_t> chosen = InPhase(false);
        for (std::size_t i : chosen) {
            Walker& w = m_walkers[i];
            const double h = w.trial;
            w.rB = w.r + (h / 2) * w.t + (h * h / 8) * w.dA;
        }
        if (!Sample(chosen, [](const Walker& w) { return w.rB; })) return false;
        for (std::size_t k = 0; k < chosen.size(); ++k) {
            Walker& w = m_walkers[chosen[k]];
            if (!m_ok[k]) {
                IndexFailed(w, k);
                continue;
            }
            w.nB = m_out[k].index;
            w.dB = Drive(m_out[k]);
        }
        return true;
    }

    // Stage C, C = h D(R + h T + h/2 B), and the step:
    //   R' = R + h (T + (A + 2B) / 6),   T' = T + (A + 4B + C) / 6.
    // It is the fourth-order Runge-Kutta(-Nystrom) step for d^2R/dt^2 = D(R), that is for
    // R' = T, T' = D(R): the general step's second and third stages coincide for a right-hand
    // side that does not depend on T, so a step costs three requests instead of four. The optical
    // path, d(OPL)/dt = n^2, goes along with Simpson's weights on the same stages (1, 4, 1) / 6:
    // the errors of the stages' points cancel in it to the same fourth order.
    bool StageC() {
        const std::vector<std::size_t> chosen = InPhase(false);
        for (std::size_t i : chosen) {
            Walker& w = m_walkers[i];
            const double h = w.trial;
            w.rC = w.r + h * w.t + (h * h / 2) * w.dB;
        }
        if (!Sample(chosen, [](const Walker& w) { return w.rC; })) return false;
        for (std::size_t k = 0; k < chosen.size(); ++k) {
            Walker& w = m_walkers[chosen[k]];
            if (!m_ok[k]) {
                IndexFailed(w, k);
                continue;
            }
            w.nC = m_out[k].index;
            w.dC = Drive(m_out[k]);
            const double h = w.trial;
            const Vec3 r1 = w.r + h * w.t + (h * h / 6) * (w.dA + 2 * w.dB);
            const Vec3 t1 = w.t + (h / 6) * (w.dA + 4 * w.dB + w.dC);
            const double opl1 = w.opl + (h / 6) * (w.nA * w.nA + 4 * w.nB * w.nB + w.nC * w.nC);
            Advance(w, r1, t1, opl1);
        }
        return true;
    }

    // The last step. A step that passes the plane is taken again from the same point with the
    // length h that puts its z on the plane: z(h) - end = 0 is solved by Newton's iteration with
    // the trial step's own T_z as dz/dh (the step's T approaches dR/dt to the method's order, so
    // the iteration converges in two or three trial steps), kept by bisection inside the bracket
    // [lo, hi] where z crosses the plane. Each trial is a whole step of the method from the last
    // point, so the path ends on the integrated ray. (Interpolating between the last two points,
    // a cubic Hermite through R and T at both, would place the end on the plane only to the
    // interpolant's order, off the ray; one exact step after it would no longer end on the
    // plane.) Stage A of the last point serves every trial.
    void Advance(Walker& w, Vec3 r1, Vec3 t1, double opl1) {
        const double end = m_bounds.endZ;
        if (w.phase == Phase::kStep) {
            if (r1.z < end - m_tolerance) {
                Accept(w, r1, t1, opl1, false);
                return;
            }
            if (r1.z <= end + m_tolerance) {
                Accept(w, r1, t1, opl1, true);
                return;
            }
            w.phase = Phase::kLast;
            w.lo = 0;
            w.hi = w.trial;
            w.trials = 0;
            NextTrial(w, r1.z, t1.z);
            return;
        }
        ++w.trials;
        if (std::fabs(r1.z - end) <= m_tolerance || w.trials >= kMaxEndSteps ||
            !(w.hi - w.lo > 0)) {
            Accept(w, r1, t1, opl1, true);
            return;
        }
        if (r1.z < end) {
            w.lo = w.trial;
        } else {
            w.hi = w.trial;
        }
        NextTrial(w, r1.z, t1.z);
    }

    void NextTrial(Walker& w, double z, double tz) {
        const double newton = w.trial - (z - m_bounds.endZ) / tz;
        w.trial = newton > w.lo && newton < w.hi ? newton : w.lo + (w.hi - w.lo) / 2;
    }

    void Accept(Walker& w, Vec3 r1, Vec3 t1, double opl1, bool onPlane) {
        w.r = r1;
        w.t = t1;
        w.opl = opl1;
        ++w.path->steps;
        PushPoint(w);
        w.phase = Phase::kIndex;
        if (Outside(w.r)) {
            w.end = MediumEnd::kLeftRange;
        } else if (onPlane) {
            w.end = MediumEnd::kPlane;
        } else if (!(w.t.z > 0)) {
            w.end = MediumEnd::kTurnedBack;
        } else if (w.path->steps >= m_bounds.stepLimit) {
            w.end = MediumEnd::kStepLimit;
        } else {
            return;
        }
        w.ending = true;  // the index at the end point once more, then done
    }

    void Finish(Walker& w) {
        MediumPath& path = *w.path;
        path.end = w.end;
        path.x = w.r.x;
        path.y = w.r.y;
        path.z = w.r.z;
        const double speed = Length(w.t);
        if (speed > 0 && std::isfinite(speed)) {
            path.l = w.t.x / speed;
            path.m = w.t.y / speed;
            path.n = w.t.z / speed;
        } else {
            path.l = w.dir.x;
            path.m = w.dir.y;
            path.n = w.dir.z;
        }
        path.opl = w.opl;
        w.phase = Phase::kDone;
    }

    // Every ray still under way ends where it stands: the sampling stopped or a cancel came.
    void StopAll() {
        for (Walker& w : m_walkers) {
            if (w.phase == Phase::kDone) continue;
            w.end = MediumEnd::kCancelled;
            Finish(w);
        }
    }

    // Progress of a single path once it is long: the larger of the steps against the limit and
    // the depth gone against the depth to the plane, in thousandths.
    bool Cancelled(bool* windowOpen) {
        const Walker* live = nullptr;
        for (const Walker& w : m_walkers) {
            if (w.phase != Phase::kDone) live = &w;
        }
        if (live == nullptr || live->path->steps < kMediumProgressSteps) return false;
        if (!*windowOpen) {
            *windowOpen = true;
            if (m_options.window != nullptr) m_options.window->Open();
        }
        double done = static_cast<double>(live->path->steps) /
                      static_cast<double>(std::max<long long>(1, m_bounds.stepLimit));
        const double depth = m_bounds.endZ - live->z0;
        if (depth > 0) done = std::max(done, (live->r.z - live->z0) / depth);
        const long long i = static_cast<long long>(std::clamp(done, 0.0, 0.999) * 1000);
        return ReportProgress(i, 1000);
    }

    const MediumBounds& m_bounds;
    MediumIndex& m_index;
    const MediumOptions& m_options;
    double m_tolerance = kMediumPlaneTolerance;
    std::vector<Walker> m_walkers;
    std::vector<double> m_x, m_y, m_z;
    std::vector<IndexSample> m_out;
    std::unique_ptr<bool[]> m_ok;
    std::size_t m_okSize = 0;
};

std::string F3(double value) {
    return FormatFixed(value, 3);
}

std::string PointText(double x, double y, double z) {
    std::string text = "(";
    text += F3(x);
    text += ", ";
    text += F3(y);
    text += ", ";
    text += F3(z);
    text += ")";
    return text;
}

double FieldOf(const RecordPair& pair, int recordVersion, const char* name) {
    for (const RecordRow& row : FixedDataRows(recordVersion)) {
        if (row.name == name && row.kind == RowKind::kDouble) {
            double value = 0;
            std::memcpy(&value, pair.fd + row.offset, sizeof value);
            return value;
        }
    }
    return 0;
}

}  // namespace

const char* MediumEndName(MediumEnd end) {
    switch (end) {
        case MediumEnd::kPlane:
            return "plane";
        case MediumEnd::kIndexFailed:
            return "index failed";
        case MediumEnd::kLeftRange:
            return "left range";
        case MediumEnd::kTurnedBack:
            return "turned back";
        case MediumEnd::kStepLimit:
            return "step limit";
        case MediumEnd::kStepLength:
            return "step length";
        case MediumEnd::kCancelled:
            break;
    }
    return "cancelled";
}

bool SamplerMediumIndex::Sample(std::size_t n, const double* x, const double* y, const double* z,
                                IndexSample* out, bool* ok) {
    m_sampler.IndexBatch(n, x, y, z, out, ok);
    return true;
}

std::vector<MediumPath> TraceMediumPaths(const std::vector<MediumRay>& rays,
                                         const MediumBounds& bounds, MediumIndex& index,
                                         const MediumOptions& options) {
    Tracer tracer(bounds, index, options);
    return tracer.Run(rays);
}

MediumPath TraceMediumPath(const MediumRay& ray, const MediumBounds& bounds, MediumIndex& index,
                           const MediumOptions& options) {
    std::vector<MediumPath> paths = TraceMediumPaths({ray}, bounds, index, options);
    return std::move(paths.front());
}

std::string MediumEndText(const MediumPath& path, bool wavelengthZero) {
    switch (path.end) {
        case MediumEnd::kPlane:
            return {};
        case MediumEnd::kIndexFailed: {
            std::string text = path.failAnswered ? "request 6 answered no finite number at "
                                                 : "request 6 failed at ";
            text += PointText(path.failX, path.failY, path.failZ);
            if (wavelengthZero) text += " (wavelength is 0: set it in the table)";
            return text;
        }
        case MediumEnd::kLeftRange:
            return "left the analysis range at " + PointText(path.x, path.y, path.z);
        case MediumEnd::kTurnedBack:
            return "turned back (T_z <= 0) at " + PointText(path.x, path.y, path.z);
        case MediumEnd::kStepLimit:
            return "no end after " + FormatInt(path.steps) + " steps";
        case MediumEnd::kStepLength:
            return kMediumStepLengthText;
        case MediumEnd::kCancelled:
            break;
    }
    return "cancelled";
}

std::string MediumStatusText(const MediumPath& path, bool wavelengthZero) {
    if (path.end == MediumEnd::kStepLength) return std::string("GRIN : ") + kMediumStepLengthText;
    std::string text = "GRIN : " + FormatInt(path.steps) + " steps, end " +
                       PointText(path.x, path.y, path.z) + ", OPL " + F3(path.opl);
    if (path.end != MediumEnd::kPlane) text += ", " + MediumEndText(path, wavelengthZero);
    return text;
}

MediumRecords ReadMediumRecords(const RecordPair& pair, int recordVersion) {
    MediumRecords records;
    records.step = FieldOf(pair, recordVersion, "param[1]");
    records.thic = FieldOf(pair, recordVersion, "thic");
    records.wavelength = FieldOf(pair, recordVersion, "wavelength");
    return records;
}

double MediumEndZ(const MediumRecords& records, double displayZMax) {
    return records.thic > 0 && std::isfinite(records.thic) ? records.thic : displayZMax;
}

}  // namespace velmor
