// Whether a library gives the same answers from several threads at once: a batch run on one
// thread gives the answers to compare with; then the batch runs once more on one thread (a
// library whose answers change from call to call cannot be judged for threads), then on several
// threads at once, each with its own records and starting at a point of its own. The helper
// process runs it for kOpThreads; the library check runs it in the program's process for the
// built-in surface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/host/host_protocol.h"
#include "core/surface/surface_entry.h"

namespace velmor {

enum ThreadsOutcomeKind : std::uint32_t {
    kThreadsSame = 0,           // every answer equal bit for bit to the single-threaded one
    kThreadsDiffer = 1,         // an answer from the threads differed
    kThreadsNotRepeatable = 2,  // the second run on one thread already differed
};

struct ThreadsOutcome {
    std::uint32_t kind = kThreadsSame;
    // The first answer that differed: its point, thread (0 for the second single-threaded run)
    // and repeat, its result and USER_DATA.
    std::uint32_t point = 0;
    std::uint32_t thread = 0;
    std::uint32_t repeat = 0;
    std::uint32_t differing = 0;  // answers that differed, all runs counted
    std::int32_t result = 0;
    USER_DATA record{};
};

// Where the calls of the runs are counted: the helper's status block (the heartbeat and its
// seal), or nowhere (all null).
struct CallCounter {
    std::uint64_t* finished = nullptr;  // counted atomically, in steps of a few calls
    std::uint64_t* seal = nullptr;      // SealFinished of the count
    std::uint64_t key = 0;
};

// How each run keeps its records: the FIXED_DATA record of `recordVersion`, behind fences in
// the helper (record_fences.h) or in ordinary memory.
struct RunRecords {
    int recordVersion = kRecordVersion0;
    bool fenced = false;
};

// Runs points [0, n) and compares every answer (result and the whole USER_DATA) with
// `reference`, the answers of a batch run with kBatchWholeRecords | kBatchFreshUserData from the
// same start. Every run starts from its own copy of startUd and of the FIXED_DATA area startFd
// (its version's record is copied); each point's fields (points.fields[i], the type among them)
// go on a fresh copy of startUd. First one run on this thread, then, when that one agreed,
// `threads` threads at once, each running the batch `repeats` times.
ThreadsOutcome RunThreadedBatch(const SurfaceEntry& entry, const USER_DATA& startUd,
                                const unsigned char* startFd, const BatchPoints& points,
                                const BatchAnswers& reference, std::size_t n, int threads,
                                int repeats, const RunRecords& records, const CallCounter& counter);

}  // namespace velmor
