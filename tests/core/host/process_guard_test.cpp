// The helper's guard against processes: real libraries that start processes, signal other
// processes and reach into them. By default no process starts and no signal leaves the helper,
// threads still run, and each request that met a refusal says so once in the library's output;
// with ALLOW_PROCESSES=1 at most 64 processes exist at once and none outlives the helper. And
// a fault says who ended the helper: Velmor's Cancel, the time limit, or another process.
#include "core/host/process_guard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/host/guarded_library.h"
#include "core/host/library_host_settings.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "library_gate.h"
#include "test_paths.h"

namespace velmor {
namespace {

using test::LibPath;

// The library's output, line by line, with the request each line came in.
struct OutputLines : LibraryOutputSink {
    void OnLibraryOutput(std::string_view bytes, const LibraryRequestTag& tag) override {
        for (const char c : bytes) {
            if (c != '\n') {
                line += c;
                continue;
            }
            lines.push_back({tag.serial, line});
            line.clear();
        }
    }
    int Count(const std::string& text) const {
        int count = 0;
        for (const auto& l : lines) count += l.second == text ? 1 : 0;
        return count;
    }
    std::vector<std::pair<std::uint64_t, std::string>> lines;
    std::string line;
};

// True once the process is gone or a zombie nobody will wait for long (its parent is init or
// the test, which reaps nothing of the library's).
bool Ended(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

bool AllEnded(const std::vector<int>& pids) {
    // Generous: a loaded machine may take a while to end 64 processes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        bool all = true;
        for (const int pid : pids) all = all && Ended(pid);
        if (all) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// A GuardedLibrary running `library`, with its output collected.
struct Guarded {
    explicit Guarded(const char* library, bool allowProcesses = false) {
        LibraryLimits limits;
        limits.timeoutSeconds = 60;
        limits.allowProcesses = allowProcesses;
        guarded.SetLimits(limits);
        guarded.SetOutputSink(&output);
        int version = 0;
        std::string reason;
        opened = guarded.Open(LibPath(library), &version, &reason);
        EXPECT_TRUE(opened) << reason;
    }
    // A batch of sag requests at (x, 0) for each x; the answers taken out.
    std::size_t Sags(const std::vector<double>& xs) {
        BatchPoints& points = guarded.Points();
        points.type[0] = kRequestSag;
        points.fields[0] = kSagPointFields;
        for (std::size_t i = 0; i < xs.size(); ++i) {
            points.x[i] = xs[i];
            points.y[i] = 0;
            points.flags[i] = 0;
        }
        RecordPair working;
        LibraryCall status = LibraryCall::kFailed;
        int version = 0;
        const std::size_t done =
            guarded.RunBatch(working, xs.size(), kBatchSameRequest, {}, &status, &version);
        EXPECT_EQ(status, LibraryCall::kAnswered);
        return done;
    }
    double Sag2(std::size_t i) const { return guarded.Answers().value[1][i]; }

    OutputLines output;
    GuardedLibrary guarded;
    bool opened = false;
};

TEST(ProcessGuardTest, ByDefaultNoProcessStartsAndEachRequestSaysSoOnce) {
    Guarded library("process_surface");
    ASSERT_EQ(library.Sags(std::vector<double>(20, 1.0)), 20u);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(library.guarded.Answers().value[0][i], 0.25) << i;  // the library's answer
        EXPECT_EQ(library.Sag2(i), EPERM) << i;                       // fork() failed so
    }
    EXPECT_TRUE(ProcessDescendants(library.guarded.HelperPid()).empty());
    ASSERT_EQ(library.Sags(std::vector<double>(5, 2.0)), 5u);
    ASSERT_EQ(library.output.Count(kProcessRefusedText), 2);  // once in each batch
    EXPECT_NE(library.output.lines[0].first, library.output.lines[1].first);
}

// kill, tgkill, ptrace, process_vm_readv and pidfd_send_signal aimed at the helper's program,
// kill(0) and kill(-1) all fail with EPERM; the helper signals itself and its own thread.
TEST(ProcessGuardTest, SignalsToOtherProcessesAndReachingIntoThemFail) {
    Guarded library("signal_surface");
    RecordPair pair;
    pair.Type() = kRequestSag;
    pair.ud.x = 1;
    int result = -1, version = 0;
    ASSERT_EQ(library.guarded.Call(pair, &result, &version), LibraryCall::kAnswered);
    const USER_DATA& ud = pair.ud;
    for (const double outcome : {ud.index, ud.dndx, ud.dndy, ud.dndz, ud.path, ud.ln, ud.sag2}) {
        EXPECT_EQ(outcome, EPERM);
    }
    EXPECT_EQ(ud.mn, 0);  // kill(itself)
    EXPECT_EQ(ud.nn, 0);  // tgkill(itself, its thread)
    EXPECT_EQ(library.output.Count(kSignalRefusedText), 1);
}

// Threads start as before (glibc falls back from clone3 to clone, whose flags the filter reads):
// the library check's threads run in the helper.
TEST(ProcessGuardTest, ThreadsStillRunInTheHelper) {
    Guarded library("even_asphere");
    BatchPoints& points = library.guarded.Points();
    for (int i = 0; i < 64; ++i) {
        points.type[i] = kRequestSag;
        points.fields[i] = kSagPointFields;
        points.flags[i] = 0;
        points.x[i] = 0.1 * i;
        points.y[i] = -0.05 * i;
    }
    RecordPair start;
    start.Fd0()->cv = 0.1;
    std::size_t done = 0;
    ThreadsOutcome outcome;
    ASSERT_EQ(library.guarded.RunThreads(start, 64, 8, 2, &done, &outcome), LibraryCall::kAnswered);
    EXPECT_EQ(done, 64u);
    EXPECT_EQ(outcome.kind, kThreadsSame);
}

// ALLOW_PROCESSES=1: the library's processes run, 64 at a time at most (a start beyond fails
// with EAGAIN), and none is left once the helper ends, whether it was closed or killed.
TEST(ProcessGuardTest, AllowedProcessesAreCountedAndEndWithTheHelper) {
    std::vector<int> started;
    {
        Guarded library("process_keeper", true);
        ASSERT_EQ(library.Sags(std::vector<double>(70, 1.0)), 70u);
        for (std::size_t i = 0; i < 70; ++i) {
            const double pid = library.Sag2(i);
            if (i < 64) {
                EXPECT_GT(pid, 0) << i;
                started.push_back(static_cast<int>(pid));
            } else {
                EXPECT_EQ(pid, -EAGAIN) << i;
            }
        }
        EXPECT_EQ(ProcessDescendants(library.guarded.HelperPid()).size(), 64u);
        EXPECT_EQ(library.output.Count(kProcessLimitText), 1);
        library.guarded.Close();
        EXPECT_TRUE(AllEnded(started));
    }
    // Killed from outside: the helper's own end ends them as well, and the fault says who.
    started.clear();
    Guarded library("process_keeper", true);
    ASSERT_EQ(library.Sags(std::vector<double>(3, 1.0)), 3u);
    for (int i = 0; i < 3; ++i) started.push_back(static_cast<int>(library.Sag2(i)));
    ASSERT_EQ(::kill(library.guarded.HelperPid(), SIGKILL), 0);
    BatchPoints& points = library.guarded.Points();
    points.type[0] = kRequestSag;
    points.fields[0] = kSagPointFields;
    points.x[0] = 0;
    RecordPair working;
    LibraryCall status = LibraryCall::kAnswered;
    int version = 0;
    library.guarded.RunBatch(working, 1, kBatchSameRequest, {}, &status, &version);
    EXPECT_EQ(status, LibraryCall::kFailed);
    ASSERT_NE(library.guarded.Fault(), nullptr);
    EXPECT_EQ(library.guarded.Fault()->What(), "SIGKILL (killed by another process)");
    EXPECT_TRUE(AllEnded(started));
}

// The map of a library that runs system("true") and fork() in every sag: a 1024 x 1024 pass as
// the surface map samples it (rows in requests of 64 rows) finishes with the library's own
// answers, and no process is left below this one.
TEST(ProcessGuardTest, AMapOfALibraryStartingProcessesFinishesWithoutOne) {
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    OutputLines output;
    provider.SetLibraryOutputSink(&output);
    const std::size_t before = ProcessDescendants(::getpid()).size();
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("process_surface")).loaded);
    constexpr int kSide = 1024;
    constexpr int kRowsPerPass = 64;
    std::vector<double> x, y, z(kSide * kRowsPerPass);
    auto ok = std::make_unique<bool[]>(kSide * kRowsPerPass);
    long long valid = 0;
    provider.RefreshWorkingPair();
    for (int pass = 0; pass < kSide / kRowsPerPass; ++pass) {
        x.clear();
        y.clear();
        std::vector<std::size_t> ends;
        for (int r = 0; r < kRowsPerPass; ++r) {
            for (int c = 0; c < kSide; ++c) {
                x.push_back(-10.0 + 20.0 * c / kSide);
                y.push_back(10.0 - 20.0 * (pass * kRowsPerPass + r) / kSide);
            }
            ends.push_back(x.size());
        }
        ASSERT_EQ(provider.SurfaceSampler().SagBatch(x.size(), x.data(), y.data(), z.data(),
                                                     ok.get(), {ends.data(), ends.size()}),
                  x.size());
        for (std::size_t i = 0; i < x.size(); ++i) valid += ok[i] ? 1 : 0;
        EXPECT_EQ(ProcessDescendants(provider.LibraryHelperPid()).size(), 0u);
    }
    EXPECT_EQ(valid, static_cast<long long>(kSide) * kSide);
    EXPECT_FALSE(provider.LibraryFaulted());
    EXPECT_EQ(output.Count(kProcessRefusedText), kSide / kRowsPerPass);
    provider.ReleaseSurfaceDll();
    EXPECT_EQ(ProcessDescendants(::getpid()).size(), before);
}

// Who ended the helper: Velmor's Cancel (the waiting window's Stop), the time limit, or another
// process; each said in the fault.
TEST(ProcessGuardTest, TheFaultSaysWhoEndedTheHelper) {
    struct Hook : LibraryWaitHook {
        LibraryWaitAction OnLibraryWait(const LibraryWaitInfo& info) override {
            if (action == 2 && !killed) {
                killed = ::kill(info.helperPid, SIGKILL) == 0;
                return LibraryWaitAction::kContinue;
            }
            return action == 1 ? LibraryWaitAction::kStop : LibraryWaitAction::kContinue;
        }
        int action = 0;  // 1 stop, 2 kill from here (another process, as far as Velmor knows)
        bool killed = false;
    };
    const struct {
        int action;
        double limit;
        const char* what;
        const char* shortText;
    } cases[] = {
        {1, 60, "stopped by the user", "stopped in sag"},
        {0, 1, "did not answer within 1 s", "timeout in sag"},
        {2, 60, "SIGKILL (killed by another process)", "SIGKILL in sag"},
    };
    test::LibraryGate gate;  // never opened: every sag waits
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        GuardedLibrary library;
        LibraryLimits limits;
        limits.timeoutSeconds = c.limit;
        library.SetLimits(limits);
        int version = 0;
        std::string reason;
        ASSERT_TRUE(library.Open(LibPath("gated_surface"), &version, &reason)) << reason;
        Hook hook;
        hook.action = c.action;
        library.SetWaitHook(&hook);
        RecordPair pair;
        pair.Type() = kRequestSag;
        int result = 0;
        EXPECT_EQ(library.Call(pair, &result, &version), LibraryCall::kFailed);
        ASSERT_NE(library.Fault(), nullptr);
        EXPECT_EQ(library.Fault()->What(), c.what);
        EXPECT_EQ(library.Fault()->Short(), c.shortText);
    }
}

}  // namespace
}  // namespace velmor
