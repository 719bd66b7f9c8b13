#include "core/compare/surface_answers.h"

#include <cmath>
#include <cstring>

#include "core/app/cp932.h"
#include "core/app/number_text.h"
#include "core/app/sample_loop.h"
#include "core/check/library_check.h"
#include "core/surface/record_text.h"

namespace velmor {

std::vector<double> SagGridAxis(double min, double max, double step) {
    std::vector<double> axis;
    ForEachSample(min, max, step, [&](double v) { axis.push_back(v); });
    return axis;
}

std::string CompareRangesProblem(const CompareRanges& r) {
    for (double value : {r.xmin, r.xmax, r.ymin, r.ymax, r.dx, r.dy}) {
        if (!std::isfinite(value)) return "a bound or step is no finite number";
    }
    if (r.xmin > r.xmax || r.ymin > r.ymax) return "a range's minimum is above its maximum";
    if (!(r.dx > 0) || !(r.dy > 0)) return "a step is not positive";
    // Counted without building the axes: a step far too small must not allocate first.
    const double nx = std::floor((r.xmax - r.xmin) / r.dx) + 1;
    const double ny = std::floor((r.ymax - r.ymin) / r.dy) + 1;
    if (nx * ny > 1.01 * static_cast<double>(kMaxCompareGridPoints)) {
        return "the sag grid of about " + FormatGeneral(nx, 6) + " x " + FormatGeneral(ny, 6) +
               " points is larger than " + std::to_string(kMaxCompareGridPoints) +
               ": choose larger steps";
    }
    const std::size_t points =
        SagGridAxis(r.xmin, r.xmax, r.dx).size() * SagGridAxis(r.ymin, r.ymax, r.dy).size();
    if (points > kMaxCompareGridPoints) {
        return "the sag grid of " + std::to_string(points) + " points is larger than " +
               std::to_string(kMaxCompareGridPoints) + ": choose larger steps";
    }
    return {};
}

std::string CompareRangesText(const CompareRanges& r) {
    auto text = [](double v) { return ShortestNumberText(v); };
    return "x " + text(r.xmin) + " .. " + text(r.xmax) + " step " + text(r.dx) + ", y " +
           text(r.ymin) + " .. " + text(r.ymax) + " step " + text(r.dy);
}

std::vector<RayStart> CompareRaySet(const CompareRanges& ranges, const double direction[3]) {
    const std::vector<CheckGridPoint> grid =
        CheckSagGrid(ranges.xmin, ranges.xmax, ranges.ymin, ranges.ymax);
    double directions[4][3];
    CheckRayDirections(direction, directions);
    std::vector<RayStart> rays;
    rays.reserve(grid.size() * 4);
    for (const double* d : directions) {
        for (const CheckGridPoint& p : grid) rays.push_back({p.x, p.y, 0, d[0], d[1], d[2]});
    }
    return rays;
}

const char* SurfaceKindText(SurfaceKind kind) {
    switch (kind) {
        case SurfaceKind::kLibrary:
            return "library";
        case SurfaceKind::kScript:
            return "script";
        default:
            return "built-in";
    }
}

std::string RowValueText(const RecordRow& row, const void* record) {
    const char* bytes = static_cast<const char*>(record) + row.offset;
    switch (row.kind) {
        case RowKind::kDouble: {
            double value;
            std::memcpy(&value, bytes, sizeof value);
            return ShortestNumberText(value);
        }
        case RowKind::kInt: {
            int value;
            std::memcpy(&value, bytes, sizeof value);
            return FormatInt(value);
        }
        default:
            return FieldToText(row, record);
    }
}

std::vector<NamedValue> ChangedRows(const RecordPair& pair, const RecordPair& before,
                                    int recordVersion) {
    std::vector<NamedValue> rows;
    auto collect = [&](const std::vector<RecordRow>& catalogue, const void* now, const void* then) {
        for (const RecordRow& row : catalogue) {
            const char* a = static_cast<const char*>(now) + row.offset;
            const char* b = static_cast<const char*>(then) + row.offset;
            const std::size_t size = static_cast<std::size_t>(row.size);
            // A text field changes with its text; bytes behind its terminator do not count.
            const bool changed = row.kind == RowKind::kChars
                                     ? FieldText(a, size) != FieldText(b, size)
                                     : std::memcmp(a, b, size) != 0;
            if (changed) {
                rows.emplace_back(row.name, RowValueText(row, now));
            }
        }
    };
    collect(UserDataRows(), &pair.ud, &before.ud);
    collect(FixedDataRows(recordVersion), pair.fd, before.fd);
    return rows;
}

}  // namespace velmor
