#include "core/compare/compare_report.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "core/app/number_text.h"
#include "core/check/library_check.h"

namespace velmor {

CompareTolerances CompareTolerancesFor(const CompareRanges& r, double position) {
    CompareTolerances t;
    const double defaultPosition =
        kPositionTolerance * CheckLengthScale(r.xmin, r.xmax, r.ymin, r.ymax);
    const double factor = position > 0 ? position / defaultPosition : 1.0;
    t.position = position > 0 ? position : defaultPosition;
    t.angle = kCompareAngleTolerance * factor;
    t.relative = kCompareRelativeTolerance * factor;
    return t;
}

const char* CompareOutcomeText(CompareOutcome outcome) {
    switch (outcome) {
        case CompareOutcome::kSame:
            return "same";
        case CompareOutcome::kDiffers:
            return "differs";
        default:
            return "skip";
    }
}

namespace {

std::string Num(double value) {
    return FormatGeneral(value, 6);
}

std::string Short(double value) {
    return FormatGeneral(value, 2);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

std::string ComparePlaceText(const ComparePlace& p) {
    switch (p.kind) {
        case ComparePlace::kSlabPoint:
            return "(" + Num(p.x) + ", " + Num(p.y) + ", " + Num(p.z) + ")";
        case ComparePlace::kRay:
            return "ray from (" + Num(p.x) + ", " + Num(p.y) + ") along (" + Num(p.l) + ", " +
                   Num(p.m) + ", " + Num(p.n) + ")";
        default:
            return "(" + Num(p.x) + ", " + Num(p.y) + ")";
    }
}

bool CompareReport::Differs() const {
    return std::any_of(quantities.begin(), quantities.end(), [](const QuantityResult& q) {
        return !q.information && q.outcome == CompareOutcome::kDiffers;
    });
}

const QuantityResult* CompareReport::Find(const std::string& name) const {
    for (const QuantityResult& q : quantities) {
        if (q.name == name) return &q;
    }
    return nullptr;
}

namespace {

// The difference of two answers: 0 when they are the same bits (two equal NaNs included).
double Difference(double a, double b) {
    std::uint64_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y ? 0.0 : a - b;
}

// The angle between two directions; 0 for the same bits, no number when either has no
// direction or is no number.
double Angle(const double a[3], const double b[3]) {
    if (std::memcmp(a, b, 3 * sizeof(double)) == 0) return 0;
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(a[k]) || !std::isfinite(b[k])) return std::nan("");
    }
    const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    if (la == 0 && lb == 0) return 0;
    if (la == 0 || lb == 0) return std::nan("");
    const double cx = a[1] * b[2] - a[2] * b[1];
    const double cy = a[2] * b[0] - a[0] * b[2];
    const double cz = a[0] * b[1] - a[1] * b[0];
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz),
                      a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
}

// The place with what the two sides gave there.
ComparePlace Valued(ComparePlace place, std::vector<double> reference,
                    std::vector<double> surface) {
    place.reference = std::move(reference);
    place.surface = std::move(surface);
    return place;
}

double Distance(const double a[3], const double b[3]) {
    const double d[3] = {Difference(a[0], b[0]), Difference(a[1], b[1]), Difference(a[2], b[2])};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// The statistics of one sampled quantity.
class Statistics {
public:
    Statistics(const char* name, double tolerance) {
        m_result.name = name;
        m_result.numeric = true;
        m_result.tolerance = tolerance;
    }

    // A difference where both sides answered (signed for the sag; no number counts beyond).
    // `place()` gives where, asked for only when it is the largest so far.
    template <class Place>
    void NoteAt(double difference, Place&& place) {
        ++m_result.compared;
        const double size = std::fabs(difference);
        if (!(size <= m_result.tolerance)) ++m_result.beyond;
        if (std::isnan(size)) {
            ++m_noNumber;
            return;
        }
        m_sumSquares += size * size;
        if (!m_result.where || size > m_largestSize) {
            m_largestSize = size;
            m_result.largest = difference;
            m_result.where = place();
        }
    }
    void OneSided(const ComparePlace& place, bool surfaceAnswered) {
        if (m_result.oneSided++ == 0) {
            m_result.firstOneSided = place;
            m_result.firstAnsweredBySurface = surfaceAnswered;
        }
    }

    // The result; `what` names the points ("points", "rays").
    QuantityResult Finish(const std::string& counts) {
        QuantityResult& q = m_result;
        const long long numbers = q.compared - m_noNumber;
        q.rms = numbers > 0 ? std::sqrt(m_sumSquares / static_cast<double>(numbers)) : 0.0;
        std::string detail = counts;
        if (q.where && q.largest != 0) {
            detail += ", largest " + Num(q.largest) + " at " + ComparePlaceText(*q.where);
        } else if (q.where) {
            detail += ", largest 0";
        }
        if (q.where) detail += ", rms " + Num(q.rms);
        detail += ", " + std::to_string(q.beyond) + " beyond " + Num(q.tolerance);
        if (m_noNumber > 0) detail += " (" + std::to_string(m_noNumber) + " no number)";
        if (q.oneSided > 0) {
            detail += "; " + std::to_string(q.oneSided) + " answered by one side only, the first " +
                      ComparePlaceText(*q.firstOneSided) + " (by the " +
                      (q.firstAnsweredBySurface ? "surface" : "reference") + ")";
        }
        q.detail = detail;
        q.outcome =
            q.beyond > 0 || q.oneSided > 0 ? CompareOutcome::kDiffers : CompareOutcome::kSame;
        return q;
    }

private:
    QuantityResult m_result;
    long long m_noNumber = 0;
    double m_sumSquares = 0;
    double m_largestSize = 0;
};

QuantityResult Skipped(const char* name, const std::string& why, bool information = false) {
    QuantityResult q;
    q.name = name;
    q.outcome = CompareOutcome::kSkip;
    q.information = information;
    q.detail = why;
    return q;
}

QuantityResult Listed(const char* name, bool same, std::string detail) {
    QuantityResult q;
    q.name = name;
    q.information = true;
    q.outcome = same ? CompareOutcome::kSame : CompareOutcome::kDiffers;
    q.detail = std::move(detail);
    return q;
}

// Why a side has no records, or empty when both have them.
std::string NoRecords(const SurfaceAnswers& s, const SurfaceAnswers& r) {
    if (!s.hasRecords) return "the surface is a script: it has no records";
    if (!r.hasRecords) return "the reference is a script: it has no records";
    return {};
}

// Two lists of named values set side by side: "same 3: a, b, c" or what differs.
QuantityResult CompareLists(const char* name, const std::vector<NamedValue>& surface,
                            const std::vector<NamedValue>& reference, const char* what) {
    std::map<std::string, std::string> ref(reference.begin(), reference.end());
    std::vector<std::string> differences;
    for (const auto& [row, value] : surface) {
        const auto it = ref.find(row);
        if (it == ref.end()) {
            differences.push_back(row + " " + Quoted(value) + " only on the surface");
        } else {
            if (it->second != value) {
                differences.push_back(row + " " + Quoted(value) + " against " + Quoted(it->second));
            }
            ref.erase(it);
        }
    }
    for (const auto& [row, value] : reference) {
        if (ref.count(row) != 0) {
            differences.push_back(row + " " + Quoted(value) + " only on the reference");
        }
    }
    constexpr std::size_t kShown = 8;
    if (differences.empty()) {
        std::string detail = std::to_string(surface.size()) + " " + what;
        for (std::size_t i = 0; i < surface.size() && i < kShown; ++i) {
            detail += (i == 0 ? ": " : ", ") + surface[i].first;
        }
        if (surface.size() > kShown) detail += ", ...";
        return Listed(name, true, detail);
    }
    std::string detail = std::to_string(differences.size()) + " differ: ";
    for (std::size_t i = 0; i < differences.size() && i < kShown; ++i) {
        detail += (i > 0 ? "; " : "") + differences[i];
    }
    if (differences.size() > kShown) detail += "; ...";
    return Listed(name, false, detail);
}

void CompareRecords(const SurfaceAnswers& s, const SurfaceAnswers& r,
                    std::vector<QuantityResult>& out) {
    const std::string why = NoRecords(s, r);
    if (!why.empty()) {
        for (const char* name : {"record-version", "name", "names", "safe-data", "rows"}) {
            out.push_back(Skipped(name, why, true));
        }
        return;
    }
    out.push_back(Listed(
        "record-version", s.recordVersion == r.recordVersion,
        s.recordVersion == r.recordVersion
            ? std::to_string(s.recordVersion)
            : std::to_string(s.recordVersion) + " against " + std::to_string(r.recordVersion)));
    auto nameText = [](const SurfaceAnswers& a) {
        return a.nameResult == 0 ? Quoted(a.name)
                                 : "no name (result " + FormatInt(a.nameResult) + ")";
    };
    const bool sameName = s.nameResult == r.nameResult && s.name == r.name;
    out.push_back(
        Listed("name", sameName, sameName ? nameText(s) : nameText(s) + " against " + nameText(r)));
    out.push_back(CompareLists("names", s.elementNames, r.elementNames, "elements named"));
    out.push_back(CompareLists("safe-data", s.safeData, r.safeData, "rows set"));
    out.push_back(
        CompareLists("rows", s.changedRows, r.changedRows, "rows changed since the load"));
}

QuantityResult CompareSags(const SurfaceAnswers& s, const SurfaceAnswers& r, double tolerance,
                           CompareReport& report) {
    if (s.xs != r.xs || s.ys != r.ys) {
        QuantityResult q = Skipped("sag", "the sag grids differ: " + CompareRangesText(s.ranges) +
                                              " against " + CompareRangesText(r.ranges));
        q.outcome = CompareOutcome::kDiffers;
        return q;
    }
    const std::size_t nx = s.xs.size(), ny = s.ys.size(), n = nx * ny;
    report.nx = nx;
    report.ny = ny;
    report.sagState.assign(n, kSagBothFailed);
    report.sagDifference.assign(n, 0.0);
    Statistics stats("sag", tolerance);
    long long failedBoth = 0, compared = 0;
    for (std::size_t j = 0; j < ny; ++j) {
        for (std::size_t i = 0; i < nx; ++i) {
            const std::size_t k = j * nx + i;
            const bool a = s.sagOk[k] != 0, b = r.sagOk[k] != 0;
            const auto place = [&] {
                ComparePlace p;
                p.x = s.xs[i];
                p.y = s.ys[j];
                return p;
            };
            if (a && b) {
                const double d = Difference(s.sag[k], r.sag[k]);
                report.sagState[k] = kSagCompared;
                report.sagDifference[k] = d;
                stats.NoteAt(d, [&] { return Valued(place(), {r.sag[k]}, {s.sag[k]}); });
                ++compared;
            } else if (a || b) {
                report.sagState[k] = kSagOneSided;
                stats.OneSided(place(), a);
            } else {
                ++failedBoth;
            }
        }
    }
    return stats.Finish(std::to_string(n) + " points, " + std::to_string(compared) +
                        " answered by both, " + std::to_string(failedBoth) + " by neither");
}

void CompareTraces(const SurfaceAnswers& s, const SurfaceAnswers& r, const CompareTolerances& t,
                   std::vector<QuantityResult>& out) {
    const char* names[] = {"trace-result", "trace-hit", "trace-normal", "trace-direction",
                           "trace-path"};
    std::string why;
    if (s.kind == SurfaceKind::kScript || r.kind == SurfaceKind::kScript) {
        why = "not compared for a script: its ray trace leaves the normal at 0 by design";
    } else if (!s.traced || !r.traced) {
        why = "the ray set was not traced on both sides";
    } else if (std::memcmp(s.direction, r.direction, sizeof s.direction) != 0) {
        why = "the rays start along (" + Num(s.direction[0]) + ", " + Num(s.direction[1]) + ", " +
              Num(s.direction[2]) + ") on the surface and along (" + Num(r.direction[0]) + ", " +
              Num(r.direction[1]) + ", " + Num(r.direction[2]) + ") on the reference";
    } else if (s.rays.size() != r.rays.size()) {
        why = "the ray sets differ in size";
    }
    if (!why.empty()) {
        for (const char* name : names) out.push_back(Skipped(name, why));
        return;
    }
    const std::vector<RayStart> starts = CompareRaySet(s.ranges, s.direction);
    Statistics result("trace-result", 0), hit("trace-hit", t.position);
    Statistics normal("trace-normal", t.angle), direction("trace-direction", t.angle);
    Statistics path("trace-path", t.position);
    long long traced = 0, failedBoth = 0, otherCodes = 0;
    std::optional<ComparePlace> firstOtherCode;
    for (std::size_t i = 0; i < s.rays.size() && i < starts.size(); ++i) {
        const RayAnswer& a = s.rays[i];
        const RayAnswer& b = r.rays[i];
        ComparePlace place;
        place.kind = ComparePlace::kRay;
        place.x = starts[i].x;
        place.y = starts[i].y;
        place.l = starts[i].l;
        place.m = starts[i].m;
        place.n = starts[i].n;
        if ((a.result == 0) != (b.result == 0)) {
            result.OneSided(place, a.result == 0);
            continue;
        }
        if (a.result != 0) {
            ++failedBoth;
            if (a.result != b.result && otherCodes++ == 0) firstOtherCode = place;
            continue;
        }
        ++traced;
        const double ha[3] = {a.x, a.y, a.z}, hb[3] = {b.x, b.y, b.z};
        const double na[3] = {a.ln, a.mn, a.nn}, nb[3] = {b.ln, b.mn, b.nn};
        const double da[3] = {a.l, a.m, a.n}, db[3] = {b.l, b.m, b.n};
        auto vector = [](const double* v) { return std::vector<double>(v, v + 3); };
        hit.NoteAt(Distance(ha, hb), [&] { return Valued(place, vector(hb), vector(ha)); });
        normal.NoteAt(Angle(na, nb), [&] { return Valued(place, vector(nb), vector(na)); });
        direction.NoteAt(Angle(da, db), [&] { return Valued(place, vector(db), vector(da)); });
        path.NoteAt(std::fabs(Difference(a.path, b.path)),
                    [&] { return Valued(place, {b.path}, {a.path}); });
    }
    const std::string rays = std::to_string(s.rays.size()) + " rays, ";
    QuantityResult codes = result.Finish(rays + std::to_string(traced) + " traced by both, " +
                                         std::to_string(failedBoth) + " failed by both");
    codes.numeric = false;
    codes.detail = rays + std::to_string(traced) + " traced by both, " +
                   std::to_string(failedBoth) + " failed by both";
    if (codes.oneSided > 0) {
        codes.detail += "; " + std::to_string(codes.oneSided) +
                        " traced by one side only, the first " +
                        ComparePlaceText(*codes.firstOneSided) + " (by the " +
                        (codes.firstAnsweredBySurface ? "surface" : "reference") + ")";
    }
    if (otherCodes > 0) {
        codes.beyond = otherCodes;
        codes.where = firstOtherCode;
        codes.detail += "; " + std::to_string(otherCodes) + " failed with other codes, the first " +
                        ComparePlaceText(*firstOtherCode);
        codes.outcome = CompareOutcome::kDiffers;
    }
    codes.compared = traced;
    out.push_back(codes);
    const std::string counts = std::to_string(traced) + " rays traced by both";
    out.push_back(hit.Finish(counts));
    out.push_back(normal.Finish(counts));
    out.push_back(direction.Finish(counts));
    out.push_back(path.Finish(counts));
}

void CompareIndex(const SurfaceAnswers& s, const SurfaceAnswers& r, double tolerance,
                  std::vector<QuantityResult>& out) {
    std::string why;
    bool differs = false;
    if (!s.hasRecords || !r.hasRecords) {
        why = "not compared for a script: it defines no index";
    } else if (!s.gradientIndex && !r.gradientIndex) {
        why = "not a gradient-index surface";
    } else if (s.gradientIndex != r.gradientIndex) {
        why = s.gradientIndex ? "only the surface is a gradient-index medium"
                              : "only the reference is a gradient-index medium";
        differs = true;
    } else if (s.indexPoints.size() != r.indexPoints.size() ||
               (!s.indexPoints.empty() &&
                std::memcmp(s.indexPoints.data(), r.indexPoints.data(),
                            s.indexPoints.size() * sizeof(IndexPoint)) != 0)) {
        why = "the index slabs differ: " + std::to_string(s.indexPoints.size()) + " against " +
              std::to_string(r.indexPoints.size()) + " points";
        differs = true;
    }
    if (!why.empty()) {
        for (const char* name : {"index", "gradient"}) {
            QuantityResult q = Skipped(name, why);
            if (differs) q.outcome = CompareOutcome::kDiffers;
            out.push_back(q);
        }
        return;
    }
    Statistics index("index", tolerance), gradient("gradient", tolerance);
    long long failedBoth = 0;
    for (std::size_t i = 0; i < s.index.size() && i < r.index.size(); ++i) {
        const IndexAnswer& a = s.index[i];
        const IndexAnswer& b = r.index[i];
        ComparePlace place;
        place.kind = ComparePlace::kSlabPoint;
        place.x = s.indexPoints[i].x;
        place.y = s.indexPoints[i].y;
        place.z = s.indexPoints[i].z;
        if (a.ok != b.ok) {
            index.OneSided(place, a.ok);
            gradient.OneSided(place, a.ok);
            continue;
        }
        if (!a.ok) {
            ++failedBoth;
            continue;
        }
        index.NoteAt(std::fabs(Difference(a.index, b.index)) / std::max(1.0, std::fabs(b.index)),
                     [&] { return Valued(place, {b.index}, {a.index}); });
        const double ga[3] = {a.dndx, a.dndy, a.dndz}, gb[3] = {b.dndx, b.dndy, b.dndz};
        const double size = std::sqrt(gb[0] * gb[0] + gb[1] * gb[1] + gb[2] * gb[2]);
        gradient.NoteAt(Distance(ga, gb) / std::max(1.0, size), [&] {
            return Valued(place, {gb[0], gb[1], gb[2]}, {ga[0], ga[1], ga[2]});
        });
    }
    const std::string counts = std::to_string(s.index.size()) + " points, " +
                               std::to_string(failedBoth) + " failed by both";
    out.push_back(index.Finish(counts));
    out.push_back(gradient.Finish(counts));
}

}  // namespace

CompareReport CompareSurfaceAnswers(const SurfaceAnswers& s, const SurfaceAnswers& r,
                                    const CompareTolerances& tolerances) {
    CompareReport report;
    report.tolerances = tolerances;
    CompareRecords(s, r, report.quantities);
    report.quantities.push_back(CompareSags(s, r, tolerances.position, report));
    CompareTraces(s, r, tolerances, report.quantities);
    CompareIndex(s, r, tolerances.relative, report.quantities);
    for (const QuantityResult& q : report.quantities) {
        switch (q.outcome) {
            case CompareOutcome::kSame:
                ++report.same;
                break;
            case CompareOutcome::kDiffers:
                ++report.differs;
                break;
            case CompareOutcome::kSkip:
                ++report.skip;
                break;
        }
    }
    return report;
}

std::string CompareStatusLine(const CompareReport& report) {
    std::string line = "compare: ";
    const QuantityResult* sag = report.Find("sag");
    if (sag != nullptr && sag->numeric) {
        line += "sag max " + Short(std::fabs(sag->largest));
        if (sag->where && sag->largest != 0) line += " at " + ComparePlaceText(*sag->where);
        line += ", rms " + Short(sag->rms);
        if (sag->oneSided > 0) line += ", " + std::to_string(sag->oneSided) + " on one side only";
    } else {
        line += "sag " + std::string(sag != nullptr ? CompareOutcomeText(sag->outcome) : "skip");
    }
    const QuantityResult* hit = report.Find("trace-hit");
    const QuantityResult* path = report.Find("trace-path");
    if (hit != nullptr && hit->numeric && path != nullptr) {
        const QuantityResult& worst =
            std::fabs(path->largest) > std::fabs(hit->largest) ? *path : *hit;
        line += "; trace max " + Short(std::fabs(worst.largest));
        if (worst.where && worst.largest != 0) {
            line += " at (" + Num(worst.where->x) + ", " + Num(worst.where->y) + ")";
        }
        double angle = 0;
        for (const char* name : {"trace-normal", "trace-direction"}) {
            if (const QuantityResult* q = report.Find(name)) {
                angle = std::max(angle, std::fabs(q->largest));
            }
        }
        line += ", angle " + Short(angle) + " rad";
        const QuantityResult* codes = report.Find("trace-result");
        if (codes != nullptr && codes->oneSided + codes->beyond > 0) {
            line += ", " + std::to_string(codes->oneSided + codes->beyond) + " results differ";
        }
    } else {
        line += "; trace skip";
    }
    const QuantityResult* index = report.Find("index");
    if (index != nullptr && index->outcome != CompareOutcome::kSkip) {
        line += index->numeric ? "; index max " + Short(std::fabs(index->largest))
                               : "; index " + std::string(CompareOutcomeText(index->outcome));
    }
    return line;
}

}  // namespace velmor
