#include "core/surface/sampler.h"

#include "core/app/progress.h"

namespace velmor {

bool ReportRowStart(const SampleRows& rows, std::size_t r) {
    const bool cancel =
        rows.reportProgress &&
        ReportProgress(rows.firstRow + static_cast<long long>(r), rows.totalRows - 1);
    if (cancel && rows.cancelled != nullptr) *rows.cancelled = true;
    return cancel;
}

std::size_t Sampler::SagBatch(std::size_t n, const double* x, const double* y, double* z, bool* ok,
                              const SampleRows& rows) {
    return SampleRowByRow(n, rows, [&](std::size_t i) { ok[i] = Sag(x[i], y[i], &z[i]); });
}

std::size_t Sampler::IndexBatch(std::size_t n, const double* x, const double* y, const double* z,
                                IndexSample* out, bool* ok, const SampleRows& rows) {
    return SampleRowByRow(n, rows,
                          [&](std::size_t i) { ok[i] = Index(x[i], y[i], z[i], &out[i]); });
}

void Sampler::SampleBatch(std::size_t n, const SampleRequest* requests, SampleAnswer* answers) {
    for (std::size_t i = 0; i < n; ++i) {
        const SampleRequest& request = requests[i];
        SampleAnswer& answer = answers[i];
        answer.ok = request.kind == SampleRequest::kSag
                        ? Sag(request.x, request.y, &answer.sag)
                        : Index(request.x, request.y, request.z, &answer.index);
    }
}

}  // namespace velmor
