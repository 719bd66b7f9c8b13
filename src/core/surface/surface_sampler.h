// The sampler behind every view, the cursor read-out, the surface map and the mesh builder.
// Outside interpreter mode a sample is one request through the provider's working record
// pair (3 sag, 6 index), a pass of samples a few batch requests; in interpreter mode a sample
// is one run of the compiled script.
#pragma once

#include "core/surface/sampler.h"

namespace velmor {

class CScriptEngine;
class CSurfaceProvider;

// What one run of the compiled script tells about the point (x, y).
struct ScriptPoint {
    bool compiled = false;  // the code passed its compile-level check (no compile errors)
    bool assigned = false;  // z was assigned during the run
    bool clean = false;     // the run counted no run error
    double z = 0;           // the value of z when assigned, else 0
    // A point has a value only when all three hold and z is finite (the executor counts no
    // fault for an infinite z).
    bool Valid() const { return compiled && assigned && clean && FiniteSag(z); }
};

// Sets the inputs x and y, runs the script once (not verbose) and reads z.
ScriptPoint RunScriptPoint(CScriptEngine& engine, double x, double y);

// The script at the n points (x[i], y[i]) in this order, in blocks (CScriptEngine::RunPoints):
// points[i] is what RunScriptPoint would give at point i.
void RunScriptPoints(CScriptEngine& engine, std::size_t n, const double* x, const double* y,
                     ScriptPoint* points);

class ProviderSampler final : public Sampler {
public:
    explicit ProviderSampler(CSurfaceProvider& provider) : m_provider(provider) {}

    // Sag rule: in interpreter mode one script run (the sag is z); otherwise x and y go into
    // the working USER_DATA, request 3 is sent and the sag is the answer in sag1. A value that
    // is not finite fails the sample (single and batch alike).
    bool Sag(double x, double y, double* z) override;
    // Index rule: fails in interpreter mode (a script defines no index); otherwise x, y and z
    // go into the working USER_DATA and request 6 is sent.
    bool Index(double x, double y, double z, IndexSample* out) override;

    // Passes: through a loaded library as batch requests of at most kMaxBatchPoints points
    // (whole rows where they fit), which set the same fields of the working pair as the single
    // samples do and give the same numbers; in interpreter mode each row's script runs in
    // blocks by the block executor, with the answers the single samples give; point by point
    // for the built-in surface. After a library fault the points not yet answered fail.
    std::size_t SagBatch(std::size_t n, const double* x, const double* y, double* z, bool* ok,
                         const SampleRows& rows = {}) override;
    std::size_t IndexBatch(std::size_t n, const double* x, const double* y, const double* z,
                           IndexSample* out, bool* ok, const SampleRows& rows = {}) override;
    // A view's pass through a loaded library: one batch request per kMaxBatchPoints samples,
    // each point its own request (3 or 6) in the pass's order. In interpreter mode the sag
    // samples run in blocks, in the pass's order (the index samples fail, as single ones do).
    void SampleBatch(std::size_t n, const SampleRequest* requests, SampleAnswer* answers) override;

private:
    // Interpreter mode: the sags at [0, n) row by row, each row's script runs in blocks.
    std::size_t ScriptSagBatch(std::size_t n, const double* x, const double* y, double* z, bool* ok,
                               const SampleRows& rows);

    CSurfaceProvider& m_provider;
};

}  // namespace velmor
