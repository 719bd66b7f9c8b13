#include "core/host/threaded_batch.h"

#include <atomic>
#include <cstring>
#include <latch>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/host/record_fences.h"

namespace velmor {

namespace {

// Calls are counted into the heartbeat in steps of this many: one shared counter written by
// every thread on every call would make the threads wait for each other.
constexpr std::uint64_t kHeartbeatStep = 64;

class Comparison {
public:
    Comparison(const SurfaceEntry& entry, const USER_DATA& startUd, const unsigned char* startFd,
               const BatchPoints& points, const BatchAnswers& reference, std::size_t n,
               const RunRecords& records, const CallCounter& counter)
        : m_entry(entry),
          m_startUd(startUd),
          m_startFd(startFd),
          m_points(points),
          m_reference(reference),
          m_n(n),
          m_records(records),
          m_counter(counter) {}

    // One run of the batch from point `first` on, round to the point before it.
    void Run(std::size_t first, std::uint32_t thread, std::uint32_t repeat) {
        // Records of this run's own, fenced as the helper's others are (in ordinary memory when
        // the pages cannot be had).
        FencedPair pair;
        if (!pair.Make(m_records.recordVersion, false, m_records.fenced) &&
            !pair.Make(m_records.recordVersion, false, false)) {
            return;
        }
        unsigned char* fd = pair.Fd();
        std::memcpy(fd, m_startFd, pair.FdBytes());
        USER_DATA& ud = *pair.Ud();
        std::uint64_t uncounted = 0;
        for (std::size_t k = 0; k < m_n; ++k) {
            const std::size_t i = (first + k) % m_n;
            ud = m_startUd;
            ApplyBatchPoint(m_points, i, false, ud, fd);
            const int result = CallSurfaceEntry(m_entry, &ud, fd);
            if (!pair.Intact()) pair.EndWithDamage();
            if (result != m_reference.result[i] ||
                std::memcmp(&ud, &m_reference.record[i], sizeof ud) != 0) {
                Differed(i, thread, repeat, result, ud);
            }
            if (++uncounted == kHeartbeatStep) Count(&uncounted);
        }
        Count(&uncounted);
    }

    ThreadsOutcome Outcome() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_outcome;
    }
    bool Differs() const { return m_differing.load() > 0; }

private:
    void Differed(std::size_t point, std::uint32_t thread, std::uint32_t repeat, int result,
                  const USER_DATA& ud) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_outcome.differing++ == 0) {
            m_outcome.point = static_cast<std::uint32_t>(point);
            m_outcome.thread = thread;
            m_outcome.repeat = repeat;
            m_outcome.result = result;
            m_outcome.record = ud;
        }
        m_differing.store(m_outcome.differing);
    }

    // The seal follows the count; threads that count at once may leave an older count's seal
    // for a moment, which the program reads as no call finished until the next count.
    void Count(std::uint64_t* calls) {
        if (m_counter.finished != nullptr && *calls > 0) {
            const std::uint64_t now = std::atomic_ref<std::uint64_t>(*m_counter.finished)
                                          .fetch_add(*calls, std::memory_order_acq_rel) +
                                      *calls;
            if (m_counter.seal != nullptr) {
                std::atomic_ref<std::uint64_t>(*m_counter.seal)
                    .store(SealFinished(now, m_counter.key), std::memory_order_release);
            }
        }
        *calls = 0;
    }

    const SurfaceEntry& m_entry;
    const USER_DATA& m_startUd;
    const unsigned char* m_startFd;
    const BatchPoints& m_points;
    const BatchAnswers& m_reference;
    std::size_t m_n;
    const RunRecords& m_records;
    const CallCounter& m_counter;
    mutable std::mutex m_mutex;
    ThreadsOutcome m_outcome;
    std::atomic<std::uint32_t> m_differing{0};
};

}  // namespace

ThreadsOutcome RunThreadedBatch(const SurfaceEntry& entry, const USER_DATA& startUd,
                                const unsigned char* startFd, const BatchPoints& points,
                                const BatchAnswers& reference, std::size_t n, int threads,
                                int repeats, const RunRecords& records,
                                const CallCounter& counter) {
    if (n == 0) return {};
    Comparison once(entry, startUd, startFd, points, reference, n, records, counter);
    once.Run(0, 0, 0);
    if (once.Differs()) {
        ThreadsOutcome outcome = once.Outcome();
        outcome.kind = kThreadsNotRepeatable;
        return outcome;
    }

    threads = threads < 1 ? 1 : threads;
    repeats = repeats < 1 ? 1 : repeats;
    Comparison many(entry, startUd, startFd, points, reference, n, records, counter);
    // Every thread waits at the latch until all have started, so the calls overlap; each
    // starts its runs at points of its own, so threads have different points in hand at once.
    std::latch start(threads);
    auto work = [&](int t) {
        start.arrive_and_wait();
        for (int r = 0; r < repeats; ++r) {
            const std::size_t run = static_cast<std::size_t>(t * repeats + r);
            const std::size_t first = run * n / static_cast<std::size_t>(threads * repeats);
            many.Run(first, static_cast<std::uint32_t>(t + 1), static_cast<std::uint32_t>(r));
        }
    };
    std::vector<std::thread> started;
    int t = 0;
    try {
        for (; t < threads - 1; ++t) started.emplace_back(work, t);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones missing still count down the latch, and their
        // runs are made here after the others.
        for (int missing = t; missing < threads - 1; ++missing) start.count_down();
    }
    const int startedCount = t;
    work(threads - 1);
    for (std::thread& thread : started) thread.join();
    for (int missing = startedCount; missing < threads - 1; ++missing) {
        for (int r = 0; r < repeats; ++r) {
            const std::size_t run = static_cast<std::size_t>(missing * repeats + r);
            many.Run(run * n / static_cast<std::size_t>(threads * repeats),
                     static_cast<std::uint32_t>(missing + 1), static_cast<std::uint32_t>(r));
        }
    }
    ThreadsOutcome outcome = many.Outcome();
    outcome.kind = outcome.differing > 0 ? kThreadsDiffer : kThreadsSame;
    return outcome;
}

}  // namespace velmor
