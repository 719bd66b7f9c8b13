// Every count, index, flag and hash the program reads from the helper's answers and from the
// status block, fed a bad value one at a time by a stand-in helper (fake_surface_host.cpp): each
// is refused as a lost connection, overwritten shared memory, or simply not believed, and no
// answer that came with it is used.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/host/guarded_library.h"

namespace velmor {
namespace {

constexpr const char* kFakeHelper = VELMOR_BIN_DIR "/fake_surface_host";

// A GuardedLibrary whose helper is the stand-in, answering as `mode` says.
struct Fake {
    explicit Fake(const std::string& mode, double timeoutSeconds = 30) : library(kFakeHelper) {
        LibraryLimits limits;
        limits.timeoutSeconds = timeoutSeconds;
        library.SetLimits(limits);
        opened = library.Open(mode, &version, &reason);
    }
    // A batch of `n` sag points at x = 0, 1, ..., y = 0, its answers read back as the samplers
    // read them (checked as read, or checked by the library first).
    std::size_t Batch(std::size_t n, bool readerChecks, LibraryCall* status) {
        BatchPoints& points = library.Points();
        points.type[0] = kRequestSag;
        points.fields[0] = kSagPointFields;
        for (std::size_t i = 0; i < n; ++i) {
            points.x[i] = static_cast<double>(i);
            points.y[i] = 0;
            points.flags[i] = 0;
        }
        RecordPair working;
        int got = 0;
        const std::uint32_t options =
            kBatchSameRequest | (readerChecks ? kBatchReaderVerifies : 0u);
        std::size_t done = library.RunBatch(working, n, options, {}, status, &got);
        if (readerChecks && *status == LibraryCall::kAnswered) {
            AnswerHash hash;
            const BatchAnswers& answers = library.Answers();
            for (std::size_t i = 0; i < done; ++i)
                hash.AddSag(answers.result[i], answers.value[0][i]);
            if (!library.ConfirmAnswers(hash.Value())) {
                *status = LibraryCall::kFailed;
                done = 0;
            }
        }
        return done;
    }
    LibraryCall Call(int* result) {
        RecordPair pair;
        pair.Type() = kRequestSag;
        pair.ud.x = 1.5;
        pair.ud.y = 2;
        int got = 0;
        return library.Call(pair, result, &got);
    }
    LibraryFaultKind Kind() const {
        return library.Fault() != nullptr ? library.Fault()->kind : LibraryFaultKind::kNone;
    }

    GuardedLibrary library;
    bool opened = false;
    int version = 0;
    std::string reason;
};

TEST(AnswerChecksTest, ABadFieldInAnAnswerIsALostConnection) {
    for (const char* mode : {"load-loaded-2", "load-version-9"}) {
        Fake fake(mode);
        EXPECT_FALSE(fake.opened) << mode;
        EXPECT_EQ(fake.reason.rfind("lost its connection to Velmor in library load", 0), 0u)
            << mode << ": " << fake.reason;
    }
    for (const char* mode : {"call-answered-2", "call-version-9", "frame-magic", "frame-op",
                             "frame-huge", "frame-extra"}) {
        Fake fake(mode);
        ASSERT_TRUE(fake.opened) << mode;
        int result = 0;
        EXPECT_EQ(fake.Call(&result), LibraryCall::kFailed) << mode;
        EXPECT_EQ(fake.Kind(), LibraryFaultKind::kConnection) << mode;
    }
    for (const char* mode : {"batch-done-over", "batch-answered-2", "batch-version-9",
                             "batch-stopped-2", "batch-stopped-wrong"}) {
        Fake fake(mode);
        ASSERT_TRUE(fake.opened) << mode;
        LibraryCall status = LibraryCall::kAnswered;
        // The answers the helper wrote and sealed before the broken answer stand.
        EXPECT_EQ(fake.Batch(4, true, &status), 4u) << mode;
        EXPECT_EQ(status, LibraryCall::kFailed) << mode;
        EXPECT_EQ(fake.Kind(), LibraryFaultKind::kConnection) << mode;
    }
    for (const char* mode : {"threads-point", "threads-kind", "threads-thread", "threads-repeat"}) {
        Fake fake(mode);
        ASSERT_TRUE(fake.opened) << mode;
        BatchPoints& points = fake.library.Points();
        for (int i = 0; i < 4; ++i) {
            points.type[i] = kRequestSag;
            points.fields[i] = kSagPointFields;
            points.x[i] = i;
            points.y[i] = 0;
        }
        std::size_t done = 0;
        ThreadsOutcome outcome;
        EXPECT_EQ(fake.library.RunThreads(RecordPair{}, 4, 2, 2, &done, &outcome),
                  LibraryCall::kFailed)
            << mode;
        EXPECT_EQ(fake.Kind(), LibraryFaultKind::kConnection) << mode;
    }
}

// Answers that are not what the helper wrote (its hash says otherwise), a batch stopped short
// that the program did not stop: the shared memory was overwritten, and nothing of the request
// is used, whether the answers are checked as they are read or before.
TEST(AnswerChecksTest, AnswersUnlikeTheHelpersAreNeverUsed) {
    {
        Fake sound("sound");
        LibraryCall status = LibraryCall::kFailed;
        EXPECT_EQ(sound.Batch(4, true, &status), 4u);
        EXPECT_EQ(status, LibraryCall::kAnswered);
        EXPECT_EQ(sound.Batch(4, false, &status), 4u);
        EXPECT_EQ(sound.library.Answers().value[0][3], 0.25 * 9);
        int result = -1;
        EXPECT_EQ(sound.Call(&result), LibraryCall::kAnswered);
        EXPECT_EQ(sound.Kind(), LibraryFaultKind::kNone);
    }
    for (const bool readerChecks : {true, false}) {
        for (const char* mode :
             {"batch-answers-hash", "batch-pair-hash", "batch-stopped-unasked"}) {
            SCOPED_TRACE(std::string(mode) + (readerChecks ? " read" : " copied"));
            Fake fake(mode);
            LibraryCall status = LibraryCall::kAnswered;
            EXPECT_EQ(fake.Batch(4, readerChecks, &status), 0u);
            EXPECT_EQ(status, LibraryCall::kFailed);
            EXPECT_EQ(fake.Kind(), LibraryFaultKind::kSharedMemory);
            ASSERT_NE(fake.library.Fault(), nullptr);
            EXPECT_EQ(fake.library.Fault()->Describe(),
                      "the library overwrote Velmor's shared memory in sag (type 3, numb 0), a "
                      "batch of 4 points");
        }
    }
    Fake call("call-hash");
    int result = 0;
    EXPECT_EQ(call.Call(&result), LibraryCall::kFailed);
    EXPECT_EQ(call.Kind(), LibraryFaultKind::kSharedMemory);
}

// The status block's fields count only with their seals: a heartbeat without one keeps no call
// from its time limit, a request's inputs or a report without one are not believed, and the
// answers kept after a crash are those the sealed count and hash stand for.
TEST(AnswerChecksTest, TheStatusBlockCountsOnlyWhereItsSealsAgree) {
    {
        Fake unsealed("status-finished", 1.0);
        LibraryCall status = LibraryCall::kAnswered;
        unsealed.Batch(2, true, &status);
        EXPECT_EQ(unsealed.Kind(), LibraryFaultKind::kTimeout);
        Fake sealed("status-finished-sealed", 1.0);
        EXPECT_EQ(sealed.Batch(2, true, &status), 2u);
        EXPECT_EQ(sealed.Kind(), LibraryFaultKind::kNone);
    }
    {
        // Rows done beyond the batch's rows are none.
        struct Rows : LibraryWaitHook {
            LibraryWaitAction OnLibraryWait(const LibraryWaitInfo& info) override {
                seen.push_back(info.rowsDone);
                return LibraryWaitAction::kContinue;
            }
            std::vector<long long> seen;
        } hook;
        Fake rows("status-rows");
        rows.library.SetWaitHook(&hook);
        LibraryCall status = LibraryCall::kFailed;
        EXPECT_EQ(rows.Batch(3, true, &status), 3u);
        ASSERT_FALSE(hook.seen.empty());
        for (const long long r : hook.seen) EXPECT_TRUE(r >= 0 && r <= 1) << r;
    }
    {
        Fake unsealed("status-request"), sealed("status-request-sealed");
        int result = 0;
        unsealed.Call(&result);
        sealed.Call(&result);
        ASSERT_TRUE(unsealed.library.Fault() != nullptr && sealed.library.Fault() != nullptr);
        EXPECT_FALSE(unsealed.library.Fault()->inputsKnown);
        EXPECT_EQ(unsealed.library.Fault()->requestName, "sag");  // the request sent
        EXPECT_EQ(unsealed.library.Fault()->Describe().find(" at x"), std::string::npos);
        EXPECT_TRUE(sealed.library.Fault()->inputsKnown);
        EXPECT_EQ(sealed.library.Fault()->x, 1.5);
    }
    {
        const struct {
            const char* mode;
            LibraryFaultKind kind;
        } reports[] = {{"status-report", LibraryFaultKind::kSignal},  // record 7: no record
                       {"status-report-unsealed", LibraryFaultKind::kSignal},
                       {"status-report-sealed", LibraryFaultKind::kRecordOverrun},
                       {"status-exception", LibraryFaultKind::kExit}};
        for (const auto& r : reports) {
            Fake fake(r.mode);
            int result = 0;
            fake.Call(&result);
            EXPECT_EQ(fake.Kind(), r.kind) << r.mode;
        }
    }
    {
        Fake unsealed("status-answers"), sealed("status-answers-sealed");
        LibraryCall status = LibraryCall::kAnswered;
        EXPECT_EQ(unsealed.Batch(5, true, &status), 0u);
        EXPECT_EQ(sealed.Batch(5, true, &status), 2u);
        EXPECT_EQ(status, LibraryCall::kFailed);
        EXPECT_EQ(sealed.library.Answers().value[0][1], 0.25);
    }
}

}  // namespace
}  // namespace velmor
