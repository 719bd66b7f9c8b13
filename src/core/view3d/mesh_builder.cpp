#include "core/view3d/mesh_builder.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "core/view3d/large_buffers.h"

namespace velmor {

namespace {

// Step across a row (sx) and row step (sy) of a pattern's lattice.
bool LatticeSteps(const MeshParams& p, double* sx, double* sy) {
    const double root3 = std::sqrt(3.0);
    switch (p.pattern) {
        case kRightTriangle1:
        case kRightTriangle2:
            *sx = p.dx;
            *sy = p.dy;
            return true;
        case kEquilateralTriangle1:
            *sx = p.dx;
            *sy = root3 * p.dx * 0.5;
            return true;
        case kEquilateralTriangle2:
            *sx = root3 * p.dy * 0.5;
            *sy = p.dy;
            return true;
        default:
            return false;
    }
}

// Whole steps that fit into a range, and the planned triangle count 2 (nx + 1) (ny + 1). Kept
// in double so that no range and step can wrap the count around.
struct Plan {
    double stepsX = 0, stepsY = 0;
    double planned = 0;
};

Plan MakePlan(const MeshParams& p, double sx, double sy) {
    Plan plan;
    plan.stepsX = std::trunc((p.xmax - p.xmin) / sx);
    plan.stepsY = std::trunc((p.ymax - p.ymin) / sy);
    plan.planned = 2.0 * (plan.stepsX + 1.0) * (plan.stepsY + 1.0);
    return plan;
}

bool Usable(double sx, double sy, const MeshParams& p) {
    const double rangeX = p.xmax - p.xmin, rangeY = p.ymax - p.ymin;
    return std::isfinite(sx) && std::isfinite(sy) && sx > 0.0 && sy > 0.0 &&
           std::isfinite(rangeX) && std::isfinite(rangeY) && rangeX >= 0.0 && rangeY >= 0.0;
}

// Writes triangle after triangle into the presized lists of the model.
class TriangleSink {
public:
    TriangleSink(CModel& model, modelGroup& group, int capacity)
        : m_model(model), m_group(group), m_capacity(capacity) {}

    bool Full() const { return m_count >= m_capacity; }
    int Count() const { return m_count; }

    // A corner without a height (a failed sample) leaves the triangle out.
    void Add(const double a[3], const double b[3], const double c[3]) {
        if (Full() || std::isnan(a[2]) || std::isnan(b[2]) || std::isnan(c[2])) return;
        const int k = m_count++;
        Vec3f* v = &m_model.vertices[3 * static_cast<size_t>(k)];
        v[0] = ToFloat(a);
        v[1] = ToFloat(b);
        v[2] = ToFloat(c);
        double n[3];
        TriangleNormal(a, b, c, n);
        m_model.faceNormals[k] =
            Vec3f{static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])};
        modelFace& face = m_model.faces[k];
        face.vertex[0] = 3 * k;
        face.vertex[1] = 3 * k + 1;
        face.vertex[2] = 3 * k + 2;
        face.faceNormal = k;
        m_group.faces[k] = k;
    }

private:
    static Vec3f ToFloat(const double p[3]) {
        return Vec3f{static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
    }

    CModel& m_model;
    modelGroup& m_group;
    int m_capacity;
    int m_count = 0;
};

// The heights of the lattice's rows, sampled ahead of the triangle loops as passes of whole
// rows (at most kSamplePassPoints points each, unless a row is longer), so that a library in the
// helper process is asked once per pass rather than once per point. Progress is reported at the
// start of every row as ReportProgress(row, rows - 1); a cancel ends the rows there. A failed
// sample, and one whose sag lies beyond the range of a float, has no height (NaN), or lies at
// z = 0 when `failedAtZero`; `samples` counts them.
class RowHeights {
public:
    // points(r, v, xs, ys) appends the points of row r at the row coordinate v; the rows run
    // v = vMin, vMin + step, ... while v <= vMax and r <= lastRow.
    using RowPoints = std::function<void(long long r, double v, std::vector<double>& xs,
                                         std::vector<double>& ys)>;
    RowHeights(Sampler& sampler, long long rows, int width, double vMin, double vMax, double step,
               bool failedAtZero, MeshSamples& samples, RowPoints points)
        : m_sampler(sampler),
          m_failedHeight(failedAtZero ? 0.0 : std::numeric_limits<double>::quiet_NaN()),
          m_samples(samples),
          m_rows(rows),
          m_width(static_cast<std::size_t>(width)),
          m_v(vMin),
          m_vMax(vMax),
          m_step(step),
          m_points(std::move(points)) {}

    // Heights of row r, asked for r = 0, 1, 2, ... in order; nullptr when the build was
    // cancelled before row r.
    const double* Row(long long r) {
        if (r >= m_first + static_cast<long long>(m_ends.size())) SampleNextRows();
        const long long k = r - m_first;
        if (k < 0 || k >= static_cast<long long>(m_ends.size())) return nullptr;
        return m_z.data() + (k == 0 ? 0 : m_ends[k - 1]);
    }

private:
    void SampleNextRows() {
        m_first += static_cast<long long>(m_ends.size());
        m_x.clear();
        m_y.clear();
        m_ends.clear();
        if (m_cancelled) return;
        // Accumulated rounding may add one row beyond the planned ones; never more.
        while (m_v <= m_vMax && m_next <= m_rows) {
            if (!m_x.empty() && m_x.size() + m_width > kSamplePassPoints) break;
            m_points(m_next, m_v, m_x, m_y);
            m_ends.push_back(m_x.size());
            m_v += m_step;
            ++m_next;
        }
        const std::size_t n = m_x.size();
        m_z.assign(n, 0.0);
        m_ok.reset(new bool[n > 0 ? n : 1]);
        bool cancelled = false;
        SampleRows rows{m_ends.data(), m_ends.size(), true, m_first, m_rows, &cancelled};
        const std::size_t done =
            m_sampler.SagBatch(n, m_x.data(), m_y.data(), m_z.data(), m_ok.get(), rows);
        m_samples.taken += static_cast<long long>(done);
        for (std::size_t i = 0; i < done; ++i) {
            // The model keeps floats: a sag beyond their range would be an infinite vertex.
            if (!m_ok[i] || !(std::fabs(m_z[i]) <= std::numeric_limits<float>::max())) {
                m_z[i] = m_failedHeight;
                ++m_samples.failed;
            }
        }
        if (done < n || cancelled) {
            m_cancelled = true;
            while (!m_ends.empty() && m_ends.back() > done) m_ends.pop_back();
        }
    }

    Sampler& m_sampler;
    double m_failedHeight;
    MeshSamples& m_samples;
    long long m_rows;
    std::size_t m_width;
    double m_v, m_vMax, m_step;
    RowPoints m_points;
    long long m_next = 0;   // the next row to sample
    long long m_first = 0;  // the first row of the pass held
    std::vector<double> m_x, m_y, m_z;
    std::unique_ptr<bool[]> m_ok;
    std::vector<std::size_t> m_ends;  // the pass's row ends
    bool m_cancelled = false;
};

// Patterns 0 and 1: rows along x, two right triangles per grid cell.
void RightTriangleRows(const MeshParams& p, int width, long long rows, Sampler& sampler,
                       MeshSamples& samples, double* store, TriangleSink& sink) {
    double* slot[2] = {store, store + width};
    const double dx = p.dx, dy = p.dy;
    RowHeights heights(sampler, rows, width, p.ymin, p.ymax, dy, p.failedAtZero, samples,
                       [&](long long, double y, std::vector<double>& xs, std::vector<double>& ys) {
                           int c = 0;
                           for (double x = p.xmin; x <= p.xmax && c < width; x += dx, ++c) {
                               xs.push_back(x);
                               ys.push_back(y);
                           }
                       });
    long long r = 0;
    // Accumulated rounding may add one row beyond the planned ones; never more.
    for (double y = p.ymin; y <= p.ymax && r <= rows; y += dy, ++r) {
        const double* z = heights.Row(r);
        if (z == nullptr) return;
        double* cur = slot[r & 1];
        const double* prev = slot[(r + 1) & 1];
        int c = 0;
        for (double x = p.xmin; x <= p.xmax && c < width; x += dx, ++c) {
            cur[c] = z[c];
            if (c == 0 || r == 0) continue;
            const double C[3] = {x, y, cur[c]};
            const double L[3] = {x - dx, y, cur[c - 1]};
            const double B[3] = {x, y - dy, prev[c]};
            const double BL[3] = {x - dx, y - dy, prev[c - 1]};
            if (p.pattern == kRightTriangle1) {
                sink.Add(C, L, B);
                sink.Add(B, L, BL);
            } else {
                sink.Add(C, L, BL);
                sink.Add(C, BL, B);
            }
            if (sink.Full()) return;
        }
    }
}

// Patterns 2 and 3: equilateral triangles of side du. Points stand du apart along a line, the
// lines stand h apart and every odd line is shifted by half a step. Pattern 2 runs the lines
// along x (u = x, v = y); pattern 3 is the same lattice turned by a right angle (u = y, v = x),
// its triangles wound the other way round so that they face the same side as pattern 2's.
void EquilateralLines(const MeshParams& p, bool alongY, int width, long long lines,
                      Sampler& sampler, MeshSamples& samples, double* store, TriangleSink& sink) {
    double* slot[2] = {store, store + width};
    const double uMin = alongY ? p.ymin : p.xmin, uMax = alongY ? p.ymax : p.xmax;
    const double vMin = alongY ? p.xmin : p.ymin, vMax = alongY ? p.xmax : p.ymax;
    const double du = alongY ? p.dy : p.dx, h = std::sqrt(3.0) * du * 0.5;
    // The point at (u, v) with height z in model coordinates.
    auto at = [alongY](double u, double v, double z, double* point) {
        point[0] = alongY ? v : u;
        point[1] = alongY ? u : v;
        point[2] = z;
    };
    RowHeights heights(
        sampler, lines, width, vMin, vMax, h, p.failedAtZero, samples,
        [&](long long r, double v, std::vector<double>& xs, std::vector<double>& ys) {
            int c = 0;
            for (double u = (r & 1) ? uMin + du / 2 : uMin; u <= uMax && c < width; u += du, ++c) {
                xs.push_back(alongY ? v : u);
                ys.push_back(alongY ? u : v);
            }
        });
    int q = 0;  // points of line 0
    long long r = 0;
    for (double v = vMin; v <= vMax && r <= lines; v += h, ++r) {
        const double* z = heights.Row(r);
        if (z == nullptr) return;
        const bool odd = (r & 1) != 0;
        double* cur = slot[r & 1];
        const double* prev = slot[(r + 1) & 1];
        int c = 0;
        for (double u = odd ? uMin + du / 2 : uMin; u <= uMax && c < width; u += du, ++c) {
            cur[c] = z[c];
            if (r == 0 || c == 0 || c >= q - 1) continue;
            double A[3], before[3], D[3], E[3];
            at(u, v, cur[c], A);
            at(u - du, v, cur[c - 1], before);
            at(u - du / 2, v - h, odd ? prev[c] : prev[c - 1], D);
            at(u + du / 2, v - h, odd ? prev[c + 1] : prev[c], E);
            if (alongY) {
                sink.Add(A, D, before);
                sink.Add(A, E, D);
            } else {
                sink.Add(A, before, D);
                sink.Add(A, D, E);
            }
            if (sink.Full()) return;
        }
        if (r == 0) q = c;
    }
}

}  // namespace

bool FitMeshStepsToBudget(MeshParams& params) {
    double sx = 0, sy = 0;
    if (!LatticeSteps(params, &sx, &sy) || !Usable(sx, sy, params)) return false;
    const Plan plan = MakePlan(params, sx, sy);
    if (!(plan.planned > kMeshTriangleBudget)) return false;
    const double s = std::sqrt(plan.planned / kMeshTriangleBudget);
    params.dx = std::ceil(s * params.dx * 1000) / 1000;
    params.dy = std::ceil(s * params.dy * 1000) / 1000;
    return true;
}

std::string MeshSamplesText(const MeshSamples& samples, bool failedAtZero) {
    if (samples.failed <= 0) return {};
    if (MeshHasNoSample(samples, failedAtZero)) return kMeshNoSampleText;
    return std::to_string(samples.failed) + " of " + std::to_string(samples.taken) +
           (failedAtZero ? " samples failed: they lie at z = 0"
                         : " samples failed: their triangles are left out");
}

int BuildMeshWithSteps(const MeshParams& params, Sampler& sampler, CModel& out, int* count,
                       MeshSamples* samples) {
    if (count) *count = 0;
    MeshSamples taken;
    if (samples) *samples = taken;
    out.Clear();

    try {
        modelGroup* group = nullptr;
        {
            auto made = std::make_unique<modelGroup>();
            made->material = modelMaterial::Surface();
            group = made.get();
            out.groups.push_back(std::move(made));
        }

        double sx = 0, sy = 0;
        if (!LatticeSteps(params, &sx, &sy) || !Usable(sx, sy, params)) return 0;
        const Plan plan = MakePlan(params, sx, sy);

        // Points per row of the sample store and rows of the outer loop.
        const bool alongY = params.pattern == kEquilateralTriangle2;
        const double width = (alongY ? plan.stepsY : plan.stepsX) + 1.0;
        const double rows = (alongY ? plan.stepsX : plan.stepsY) + 1.0;
        // Inner points that make triangles: all but the first (right triangles), all but the
        // first and last (equilateral ones).
        const double inner = width - (params.pattern <= kRightTriangle2 ? 1.0 : 2.0);
        // A lattice of one row or without inner points makes no triangles; it is not sampled.
        if (rows < 2.0 || inner < 1.0) return 0;
        const double capacity = std::min(plan.planned, 2.0 * inner * rows);
        // Even after one enlargement a lattice stays near the budget; steps that were not fitted
        // to it may ask for far more, which is refused rather than sized.
        if (capacity > 4.0 * kMeshTriangleBudget) return -1;

        std::vector<double> store(2 * static_cast<size_t>(width), 0.0);
        const int triangles = static_cast<int>(capacity);
        ReserveLarge(out.vertices, 3 * static_cast<size_t>(triangles));
        ReserveLarge(out.faceNormals, triangles);
        ReserveLarge(out.faces, triangles);
        ReserveLarge(group->faces, triangles);
        out.vertices.resize(3 * static_cast<size_t>(triangles));
        out.faceNormals.resize(triangles);
        out.faces.resize(triangles);
        group->faces.assign(triangles, 0);

        TriangleSink sink(out, *group, triangles);
        const int w = static_cast<int>(width);
        const long long n = static_cast<long long>(rows);
        switch (params.pattern) {
            case kRightTriangle1:
            case kRightTriangle2:
                RightTriangleRows(params, w, n, sampler, taken, store.data(), sink);
                break;
            case kEquilateralTriangle1:
                EquilateralLines(params, false, w, n, sampler, taken, store.data(), sink);
                break;
            case kEquilateralTriangle2:
                EquilateralLines(params, true, w, n, sampler, taken, store.data(), sink);
                break;
        }

        const int made = sink.Count();
        out.vertices.resize(3 * static_cast<size_t>(made));
        out.faceNormals.resize(made);
        out.faces.resize(made);
        group->faces.resize(made);
        if (count) *count = made;
        if (samples) *samples = taken;
        return 0;
    } catch (const std::bad_alloc&) {
        out.Clear();
        return -1;
    }
}

int BuildSurfaceMesh(MeshParams& params, Sampler& sampler, CModel& out, std::string* message,
                     int* count, MeshSamples* samples) {
    if (message) message->clear();
    if (FitMeshStepsToBudget(params) && message) *message = kMeshStepsEnlargedMessage;
    return BuildMeshWithSteps(params, sampler, out, count, samples);
}

}  // namespace velmor
