// The sampler's passes in interpreter mode run the script in blocks: every pass (sags in rows,
// a view's mixed pass) answers exactly as the single samples do, reports its rows and stops
// after a cancel, lets Escape abort the rest of the pass, and two engines sample side by side.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "core/app/progress.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "core/surface/surface_sampler.h"

namespace velmor {
namespace {

// Faults on some points (x = 0.5, y below 0), no z on others (y above 1), infinite z where
// x = 1 (no fault, yet no value), and a branch split.
constexpr const char* kScript =
    "if (y > 1) a = 1; else { z = 1 / (x - 0.5) + sqrt(y); if (x == 1) z = z * 1e308 * 10; }";

struct ScriptSurface {
    explicit ScriptSurface(const char* source = kScript, int lanes = kBlockLanesForTests) {
        engine.Compile(source);
        engine.SetBlockLanes(lanes);
        provider.SetInterpreterMode(true);
    }
    static constexpr int kBlockLanesForTests = 7;  // blocks end inside the rows

    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    Sampler& sampler = provider.SurfaceSampler();
};

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Rows of 9 points over x in [-1, 1] (0.5 and 1 among them) and y in [-1.5, 1.5].
struct Grid {
    Grid() {
        for (int j = 0; j < 7; ++j) {
            for (int i = 0; i < 9; ++i) {
                x.push_back(-1.0 + 0.25 * i);
                y.push_back(-1.5 + 0.5 * j);
            }
            ends.push_back(x.size());
        }
    }
    std::vector<double> x, y;
    std::vector<std::size_t> ends;
};

TEST(ScriptSamplerTest, PassesAnswerAsTheSingleSamples) {
    const Grid grid;
    const std::size_t n = grid.x.size();
    ScriptSurface single, pass, view;

    std::vector<double> expected(n, 7.0), got(n, 7.0);
    std::vector<char> expectedOk(n);
    for (std::size_t i = 0; i < n; ++i) {
        expectedOk[i] = single.sampler.Sag(grid.x[i], grid.y[i], &expected[i]);
    }
    std::unique_ptr<bool[]> ok(new bool[n]);
    SampleRows rows;
    rows.ends = grid.ends.data();
    rows.count = grid.ends.size();
    EXPECT_EQ(pass.sampler.SagBatch(n, grid.x.data(), grid.y.data(), got.data(), ok.get(), rows),
              n);

    // A view's pass: each sag sample followed by an index sample, which fails in interpreter
    // mode without a run.
    std::vector<SampleRequest> requests;
    for (std::size_t i = 0; i < n; ++i) {
        requests.push_back({SampleRequest::kSag, grid.x[i], grid.y[i], 0});
        requests.push_back({SampleRequest::kIndex, grid.x[i], grid.y[i], 0.5});
    }
    std::vector<SampleAnswer> answers(2 * n);
    for (SampleAnswer& answer : answers) answer.sag = 7.0;
    view.sampler.SampleBatch(answers.size(), requests.data(), answers.data());

    int valid = 0, written = 0;
    for (std::size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ok[i], expectedOk[i] != 0);
        EXPECT_TRUE(SameBits(got[i], expected[i])) << got[i] << " " << expected[i];
        EXPECT_EQ(answers[2 * i].ok, expectedOk[i] != 0);
        EXPECT_TRUE(SameBits(answers[2 * i].sag, expected[i]));
        EXPECT_FALSE(answers[2 * i + 1].ok);
        valid += expectedOk[i];
        written += expected[i] != 7.0;
    }
    // The grid covers every case: valid points, a failed value still written (infinite z), and
    // failures that write nothing.
    EXPECT_GT(valid, 20);
    EXPECT_GT(written, valid);
    EXPECT_LT(written, static_cast<int>(n));
    for (int kind = 0; kind < kRunErrorKindCount; ++kind) {
        EXPECT_EQ(pass.engine.RunErrorCounter(kind), single.engine.RunErrorCounter(kind));
        EXPECT_EQ(view.engine.RunErrorCounter(kind), single.engine.RunErrorCounter(kind));
    }
    EXPECT_GT(single.engine.RunErrorCounter(kRunErrorSqrt), 0);
    EXPECT_GT(single.engine.RunErrorCounter(kRunErrorDivideByZero), 0);
}

// Cancels as row `cancelAt` starts; optionally presses Escape on an engine as row `pressAt`
// starts (a key event arriving while the progress window pumps events).
class RowReporter : public ProgressReporter {
public:
    RowReporter(long long cancelAt, EscapeHook* escape = nullptr, long long pressAt = -1)
        : m_cancelAt(cancelAt),
          m_escape(escape),
          m_pressAt(pressAt),
          m_previous(SetProgressReporter(this)) {}
    ~RowReporter() override { SetProgressReporter(m_previous); }
    bool Report(long long i, long long n) override {
        reported.push_back(i);
        if (i == m_pressAt) m_escape->pressed = true;
        return i == m_cancelAt;
    }
    std::vector<long long> reported;

private:
    long long m_cancelAt;
    EscapeHook* m_escape;
    long long m_pressAt;
    ProgressReporter* m_previous;
};

TEST(ScriptSamplerTest, RowsReportProgressAndACancelStopsBeforeItsRow) {
    const Grid grid;
    const std::size_t n = grid.x.size();
    ScriptSurface surface("z = 1 / 0;");
    RowReporter reporter(3);
    std::vector<double> z(n, 7.0);
    std::unique_ptr<bool[]> ok(new bool[n]);
    bool cancelled = false;
    SampleRows rows;
    rows.ends = grid.ends.data();
    rows.count = grid.ends.size();
    rows.reportProgress = true;
    rows.firstRow = 10;
    rows.totalRows = 40;
    rows.cancelled = &cancelled;
    EXPECT_EQ(surface.sampler.SagBatch(n, grid.x.data(), grid.y.data(), z.data(), ok.get(), rows),
              n);
    EXPECT_FALSE(cancelled);  // rows are reported from the pass's first row on: 3 never comes
    EXPECT_EQ(reporter.reported, (std::vector<long long>{10, 11, 12, 13, 14, 15, 16}));

    // Counting from the pass's first row: the cancel comes as row 13 starts.
    RowReporter cancelling(13);
    cancelled = false;
    EXPECT_EQ(surface.sampler.SagBatch(n, grid.x.data(), grid.y.data(), z.data(), ok.get(), rows),
              3u * 9u);
    EXPECT_TRUE(cancelled);
    // Only the rows before it ran: one division fault per point of each pass's runs.
    EXPECT_EQ(surface.engine.RunErrorCounter(kRunErrorDivideByZero), static_cast<int>(n + 27));
}

// Escape pressed while a pass reports its rows aborts the runs of the remaining rows, and only
// those; the next pass forgets the press.
TEST(ScriptSamplerTest, EscapeDuringAPassAbortsItsRemainingRuns) {
    const Grid grid;
    const std::size_t n = grid.x.size();
    ScriptSurface surface("z = x + y;");
    RowReporter reporter(-1, &surface.engine.Escape(), 2);
    std::vector<double> z(n, 7.0);
    std::unique_ptr<bool[]> ok(new bool[n]);
    SampleRows rows;
    rows.ends = grid.ends.data();
    rows.count = grid.ends.size();
    rows.reportProgress = true;
    rows.totalRows = 7;
    surface.engine.BeginEscapePass();
    EXPECT_EQ(surface.sampler.SagBatch(n, grid.x.data(), grid.y.data(), z.data(), ok.get(), rows),
              n);
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(ok[i], i < 2 * 9) << i;
    EXPECT_EQ(surface.engine.RunErrorCounter(kRunErrorAbort), static_cast<int>(n - 18));
    surface.engine.BeginEscapePass();
    surface.engine.ClearRunErrorCounters();
    SampleRows quiet;
    quiet.ends = grid.ends.data();
    quiet.count = grid.ends.size();
    surface.sampler.SagBatch(n, grid.x.data(), grid.y.data(), z.data(), ok.get(), quiet);
    for (std::size_t i = 0; i < n; ++i) EXPECT_TRUE(ok[i]) << i;
}

// Two engines (each with its own sampler, as a comparison beside the program's own surface
// has) sample side by side, at different block sizes, each with its own script and counters.
TEST(ScriptSamplerTest, TwoEnginesSampleSideBySide) {
    const Grid grid;
    const std::size_t n = grid.x.size();
    ScriptSurface first("z = x * x;", 3), second("z = 1 / x + y;", 64);
    std::vector<double> a(n), b(n);
    std::unique_ptr<bool[]> okA(new bool[n]), okB(new bool[n]);
    for (int round = 0; round < 2; ++round) {
        first.sampler.SagBatch(n, grid.x.data(), grid.y.data(), a.data(), okA.get());
        second.sampler.SagBatch(n, grid.x.data(), grid.y.data(), b.data(), okB.get());
    }
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_TRUE(okA[i] && a[i] == grid.x[i] * grid.x[i]) << i;
        EXPECT_EQ(okB[i], grid.x[i] != 0.0) << i;
        if (okB[i]) {
            EXPECT_EQ(b[i], 1 / grid.x[i] + grid.y[i]) << i;
        }
    }
    EXPECT_EQ(first.engine.RunErrorCounter(kRunErrorDivideByZero), 0);
    EXPECT_EQ(second.engine.RunErrorCounter(kRunErrorDivideByZero), 2 * 7);
}

}  // namespace
}  // namespace velmor
