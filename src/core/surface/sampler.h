// The one way views, the cursor read-out, the surface map, the mesh builder and the script ray
// trace sample the surface: "sag at (x, y)" and "index at (x, y, z)", each with success or
// failure, one point at a time or a whole pass of points at once. The provider supplies the
// implementation (library / built-in surface through the working record pair, or one script
// run in interpreter mode); a pass through a library in the helper process goes as a few batch
// requests instead of one request per point.
#pragma once

#include <cmath>
#include <cstddef>

namespace velmor {

struct IndexSample {
    double index = 0, dndx = 0, dndy = 0, dndz = 0;
};

// A sample has a value only when it is a finite number: a surface that answers 0 with a NaN or
// infinite sag, index or gradient (or a script whose z is infinite) fails the sample, as a
// non-zero answer does, so no view, map, mesh or file ever holds such a number.
inline bool FiniteSag(double sag) {
    return std::isfinite(sag);
}
inline bool FiniteIndex(const IndexSample& s) {
    return std::isfinite(s.index) && std::isfinite(s.dndx) && std::isfinite(s.dndy) &&
           std::isfinite(s.dndz);
}

// A pass of up to this many points goes to a library in the helper process as one request;
// callers that collect the points of a long pass (a mesh, a map) collect about this many at a
// time.
inline constexpr std::size_t kSamplePassPoints = 65536;

// One sample of a pass that mixes the two rules, as a view asks for them: a sag at (x, y) or an
// index at (x, y, z).
struct SampleRequest {
    enum Kind : unsigned char { kSag, kIndex } kind = kSag;
    double x = 0, y = 0, z = 0;  // z: index samples only
};

struct SampleAnswer {
    bool ok = false;    // the sample succeeded
    double sag = 0;     // a sag sample's sag
    IndexSample index;  // an index sample's index and gradient
};

// The rows of a pass, for progress and cancel.
struct SampleRows {
    // ends[r]: one past the last point of row r, rising, the last one the pass's point count.
    // nullptr: the whole pass is one row.
    const std::size_t* ends = nullptr;
    std::size_t count = 0;
    // ReportProgress(firstRow + r, totalRows - 1) as row r starts (through the helper process:
    // as the pass starts and whenever rows finished while it waits); a cancel ends the pass
    // after whole rows.
    bool reportProgress = false;
    long long firstRow = 0;
    long long totalRows = 0;
    // When set, becomes true once a cancel was asked for during the pass, also when it came as
    // the pass's last row ended (the pass then returns all its points, and the caller stops).
    bool* cancelled = nullptr;
};

class Sampler {
public:
    virtual ~Sampler() = default;
    // Sag at (x, y); false when the sample failed (non-zero result, script fault, z unset, a
    // value that is not finite). A sample that failed only for its value still writes it, so
    // a read-out can show what the surface gave; any other failure writes nothing.
    virtual bool Sag(double x, double y, double* z) = 0;
    // Index and gradient at (x, y, z); false when the sample failed (as Sag: the four values are
    // written when the surface answered 0, also when one of them is not finite).
    virtual bool Index(double x, double y, double z, IndexSample* out) = 0;

    // Sag at the n points (x[i], y[i]) in this order, with the same answers n calls of Sag
    // would give: ok[i] tells success, z[i] holds the sag where ok[i]. Returns the points
    // sampled: n, or fewer (whole rows) after a cancel. This default calls Sag point by point.
    virtual std::size_t SagBatch(std::size_t n, const double* x, const double* y, double* z,
                                 bool* ok, const SampleRows& rows = {});
    // Index at the n points (x[i], y[i], z[i]) in this order, as n calls of Index would answer.
    virtual std::size_t IndexBatch(std::size_t n, const double* x, const double* y, const double* z,
                                   IndexSample* out, bool* ok, const SampleRows& rows = {});
    // The n samples in this order, sags and indices mixed, with the answers n calls of Sag and
    // Index would give (a view's pass: no rows, no cancel). This default calls them one by one.
    virtual void SampleBatch(std::size_t n, const SampleRequest* requests, SampleAnswer* answers);
};

// Row r ends before RowEnd(rows, n, r).
inline std::size_t RowEnd(const SampleRows& rows, std::size_t n, std::size_t r) {
    return rows.ends != nullptr ? rows.ends[r] : n;
}
inline std::size_t RowCount(const SampleRows& rows) {
    return rows.ends != nullptr ? rows.count : 1;
}

// ReportProgress for the start of row r when `rows` asks for progress; true: cancel.
bool ReportRowStart(const SampleRows& rows, std::size_t r);

// Calls sample(i) for i = 0 .. n-1 row by row, reporting progress as `rows` asks. Returns the
// points done: n, or the points of the rows before the one whose start was cancelled.
template <class Sample>
std::size_t SampleRowByRow(std::size_t n, const SampleRows& rows, Sample&& sample) {
    std::size_t i = 0;
    for (std::size_t r = 0; r < RowCount(rows) && i < n; ++r) {
        if (ReportRowStart(rows, r)) return i;
        const std::size_t end = RowEnd(rows, n, r) < n ? RowEnd(rows, n, r) : n;
        for (; i < end; ++i) sample(i);
    }
    return i;
}

}  // namespace velmor
