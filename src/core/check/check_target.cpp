// The two surfaces a check runs against: a library in a helper process of its own, and the
// built-in surface in the program's process (it is the program's own code).
#include <chrono>
#include <cstring>

#include "core/check/check_internal.h"
#include "core/surface/batch_loop.h"
#include "core/surface/even_array.h"

namespace velmor::check {

namespace {

class LibraryTarget final : public Target {
public:
    explicit LibraryTarget(const CheckInput& input)
        : m_input(input),
          m_library(input.helperPath.empty() ? DefaultHelperPath() : input.helperPath),
          m_working(std::make_unique<RecordPair>()) {
        m_library.SetLimits(input.limits);
        m_library.SetWine(input.wine);
        m_library.SetWaitHook(input.waitHook);
        m_library.SetOutputSink(input.outputSink);
    }

    bool Start(std::string* why) override {
        return m_library.Open(m_input.libraryPath, &m_version, why);
    }
    int RecordVersion() const override { return m_version; }

    bool Call(SharedRecordPair& pair, int* result) override {
        return m_library.CallWholePair(pair, result) == LibraryCall::kAnswered;
    }

    BatchPoints& Points() override { return m_library.Points(); }
    const BatchAnswers& Answers() const override { return m_library.Answers(); }
    const std::uint64_t* CallNs() const override { return m_library.CallNanoseconds(); }

    bool Batch(const RecordPair& start, std::size_t n, std::uint32_t options) override {
        CopyRecordPair(*m_working, start);
        BatchProgress progress;
        progress.cancelled = &m_cancelled;
        LibraryCall status = LibraryCall::kFailed;
        int version = 0;
        const std::size_t done =
            m_library.RunBatch(*m_working, n, options, progress, &status, &version);
        return status == LibraryCall::kAnswered && done == n && !m_cancelled;
    }

    bool Threads(const RecordPair& start, std::size_t n, int threads, int repeats,
                 ThreadsOutcome* outcome) override {
        std::size_t done = 0;
        const LibraryCall status = m_library.RunThreads(start, n, threads, repeats, &done, outcome);
        return status == LibraryCall::kAnswered && done == n;
    }

    const LibraryFault* Fault() const override { return m_library.Fault(); }
    bool Cancelled() const override { return m_cancelled; }

    bool Restart(std::string* why) override {
        int version = 0;
        if (!m_library.Open(m_input.libraryPath, &version, why)) return false;
        if (version != m_version) {
            *why = "the library's record version changed from " + std::to_string(m_version) +
                   " to " + std::to_string(version);
            m_library.Close();
            return false;
        }
        return true;
    }

private:
    const CheckInput& m_input;
    GuardedLibrary m_library;
    std::unique_ptr<RecordPair> m_working;
    int m_version = kRecordVersion0;
    bool m_cancelled = false;
};

// The built-in surface's entry, called as a library's would be.
SurfaceEntry BuiltInEntry() {
    return {reinterpret_cast<void*>(&EvenArraySurface), kRecordVersion0};
}

using NoHooks = BatchHooks;

struct TimingHooks : BatchHooks {
    std::uint64_t* callNs;
    std::size_t next = 0;
    std::chrono::steady_clock::time_point started{};
    void CallStarts(const USER_DATA&, const unsigned char*) {
        started = std::chrono::steady_clock::now();
    }
    void CallEnded(int, int, const USER_DATA&) {
        const auto ended = std::chrono::steady_clock::now();
        callNs[next++] = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(ended - started).count());
    }
};

class BuiltInTarget final : public Target {
public:
    BuiltInTarget()
        : m_points(new BatchPoints),
          m_answers(new BatchAnswers),
          m_callNs(new std::uint64_t[kMaxBatchPoints]),
          m_working(std::make_unique<RecordPair>()) {}

    bool Start(std::string*) override { return true; }
    int RecordVersion() const override { return kRecordVersion0; }

    bool Call(SharedRecordPair& pair, int* result) override {
        *result = CallSurfaceEntry(BuiltInEntry(), &pair.ud, pair.fd);
        return true;
    }

    BatchPoints& Points() override { return *m_points; }
    const BatchAnswers& Answers() const override { return *m_answers; }
    const std::uint64_t* CallNs() const override { return m_callNs.get(); }

    bool Batch(const RecordPair& start, std::size_t n, std::uint32_t options) override {
        CopyRecordPair(*m_working, start);
        if (options & kBatchTimed) {
            TimingHooks hooks;
            hooks.callNs = m_callNs.get();
            RunBatchLoop(BuiltInEntry(), m_working->ud, m_working->fd, *m_points, *m_answers, n,
                         options, hooks);
        } else {
            NoHooks hooks;
            RunBatchLoop(BuiltInEntry(), m_working->ud, m_working->fd, *m_points, *m_answers, n,
                         options, hooks);
        }
        return true;
    }

    bool Threads(const RecordPair& start, std::size_t n, int threads, int repeats,
                 ThreadsOutcome* outcome) override {
        CopyRecordPair(*m_working, start);
        NoHooks hooks;
        RunBatchLoop(BuiltInEntry(), m_working->ud, m_working->fd, *m_points, *m_answers, n,
                     kBatchWholeRecords | kBatchFreshUserData, hooks);
        *outcome = RunThreadedBatch(BuiltInEntry(), start.ud, start.fd, *m_points, *m_answers, n,
                                    threads, repeats, {kRecordVersion0, false}, {});
        return true;
    }

private:
    std::unique_ptr<BatchPoints> m_points;
    std::unique_ptr<BatchAnswers> m_answers;
    std::unique_ptr<std::uint64_t[]> m_callNs;
    std::unique_ptr<RecordPair> m_working;
};

}  // namespace

std::unique_ptr<Target> MakeLibraryTarget(const CheckInput& input) {
    return std::make_unique<LibraryTarget>(input);
}

std::unique_ptr<Target> MakeBuiltInTarget() {
    return std::make_unique<BuiltInTarget>();
}

}  // namespace velmor::check
