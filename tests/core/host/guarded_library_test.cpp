// The guarded library host with real helper processes and real fault libraries: every kind of
// fault is survived and described, later calls fail at once until "Reload DLL" loads the mended
// file, faults while loading fail the load, the library's output reaches the sink, the time
// limit and the wait hook, and batches that give the numbers of the program's own process.
#include "core/host/guarded_library.h"

#include <gtest/gtest.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app/progress.h"
#include "core/app/settings_file.h"
#include "core/host/library_host_settings.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "hang_guard.h"
#include "library_gate.h"
#include "temp_dir.h"
#include "test_paths.h"

namespace velmor {
namespace {

using Clock = std::chrono::steady_clock;

using test::LibPath;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

bool SamePair(const RecordPair& a, const RecordPair& b) {
    return std::memcmp(&a.ud, &b.ud, sizeof a.ud) == 0 && std::memcmp(a.fd, b.fd, sizeof a.fd) == 0;
}

// The fault libraries' surface: sag = (x^2 + y^2) / 4.
double Paraboloid(double x, double y) {
    return 0.25 * (x * x + y * y);
}

// The library file an author rebuilds: replaced in one step, as a linker's output is.
void ReplaceLibrary(const std::string& path, const std::string& library) {
    std::filesystem::copy_file(LibPath(library), path + ".new",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(path + ".new", path);
}

// Records each tick; answers with what `decide` says.
struct WaitLog : LibraryWaitHook {
    LibraryWaitAction OnLibraryWait(const LibraryWaitInfo& info) override {
        ticks.push_back(info);
        busyWhileTold = busyWhileTold && (provider == nullptr || provider->LibraryBusy());
        return decide ? decide(info) : LibraryWaitAction::kContinue;
    }
    void OnLibraryWaitEnded() override {
        ++ended;
        idleWhenEnded = idleWhenEnded && (provider == nullptr || !provider->LibraryBusy());
    }
    const CSurfaceProvider* provider = nullptr;
    int ended = 0;
    bool busyWhileTold = true, idleWhenEnded = true;
    std::vector<LibraryWaitInfo> ticks;
    std::function<LibraryWaitAction(const LibraryWaitInfo&)> decide;
};

class HostTest : public ::testing::Test {
protected:
    HostTest() { Limits(2.0, 256); }

    void Limits(double timeoutSeconds, long long memoryMb, int waitMs = 2000) {
        LibraryHostSettings settings;
        settings.limits.timeoutSeconds = timeoutSeconds;
        settings.limits.memoryMb = memoryMb;
        settings.limits.waitMs = waitMs;
        provider.SetLibraryHost(settings);
    }

    std::string NameOfSurface() {
        RecordPair& pair = provider.Final();
        CopyRecordPair(pair, provider.Initial());
        pair.Type() = kRequestName;
        pair.Numb() = 0;
        return provider.CallSurface(pair) == 0 ? pair.ud.string : "(failed)";
    }

    CScriptEngine engine;
    CSurfaceProvider provider{engine};
};

TEST_F(HostTest, EveryFaultIsSurvivedDescribedAndMendedByAReload) {
    const struct {
        const char* library;
        LibraryFaultKind kind;
        const char* signal;
        int code;
    } cases[] = {
        {"fault_segv", LibraryFaultKind::kSignal, "SIGSEGV", 0},
        {"fault_bus", LibraryFaultKind::kSignal, "SIGBUS", 0},
        {"fault_fpe", LibraryFaultKind::kSignal, "SIGFPE", 0},
        {"fault_ill", LibraryFaultKind::kSignal, "SIGILL", 0},
        {"fault_assert", LibraryFaultKind::kSignal, "SIGABRT", 0},
        {"fault_heap", LibraryFaultKind::kSignal, "SIGABRT", 0},
        {"fault_stack", LibraryFaultKind::kSignal, "SIGSEGV", 0},
        {"fault_orphan", LibraryFaultKind::kSignal, "SIGSEGV", 0},  // its child keeps the pipes
        {"fault_memory", LibraryFaultKind::kSignal, "SIGSEGV", 0},  // beyond the 256 MiB limit
        {"fault_exit", LibraryFaultKind::kExit, "", 3},
        {"fault_exit_now", LibraryFaultKind::kExit, "", 5},
        {"fault_hang", LibraryFaultKind::kTimeout, "", 0},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        // Only the hang meets the time limit; every other fault must end the call by itself,
        // however long a loaded machine takes to fill the memory limit.
        Limits(c.kind == LibraryFaultKind::kTimeout ? 1.0 : 120.0, 256);
        const std::string path = dir.File(std::string(c.library) + ".so");
        ReplaceLibrary(path, c.library);
        ASSERT_TRUE(provider.OpenSurfaceDll(path).loaded);
        EXPECT_GT(provider.LibraryHelperPid(), 0);

        // The user's edits of the initial records, then "Call DLL" with the sag request.
        RecordPair& initial = provider.Initial();
        initial.ud.x = 1.5;
        initial.ud.y = -2.0;
        initial.ud.z = 0.125;
        initial.Fd0()->param[2] = 7.0;
        const RecordPair edited = initial;
        RecordPair& final = provider.Final();
        CopyRecordPair(final, initial);
        final.Type() = kRequestSag;
        const RecordPair sent = final;
        EXPECT_EQ(provider.CallSurface(final), -1);

        ASSERT_TRUE(provider.LibraryFaulted());
        const LibraryFault& fault = *provider.LastLibraryFault();
        const std::string described = fault.Describe();
        EXPECT_EQ(fault.kind, c.kind) << fault.Describe();
        EXPECT_EQ(fault.signalName, c.signal);
        if (c.kind == LibraryFaultKind::kExit) {
            EXPECT_EQ(fault.code, c.code);
        }
        EXPECT_TRUE(fault.type == kRequestSag && fault.numb == 0 && fault.requestName == "sag");
        EXPECT_TRUE(fault.x == 1.5 && fault.y == -2.0 && fault.z == 0.125);
        EXPECT_TRUE(fault.l == -0.25 && fault.m == 0.2 && fault.n == 0.947);
        EXPECT_NE(
            fault.Describe().find(" in sag (type 3, numb 0) at x 1.5, y -2, z 0.125, l -0.25"),
            std::string::npos)
            << fault.Describe();
        EXPECT_TRUE(SamePair(final, sent));  // the faulting call's records are not taken back

        // Every later request answers -1 at once, the built-in surface included: none goes to a
        // helper (none waits a tick for an answer) and the fault stays the one described.
        WaitLog later;
        provider.SetLibraryWaitHook(&later);
        EXPECT_EQ(NameOfSurface(), "(failed)");
        provider.RefreshWorkingPair();
        double sag = 0;
        EXPECT_FALSE(provider.SurfaceSampler().Sag(0.5, 0.5, &sag));
        provider.SetLibraryWaitHook(nullptr);
        EXPECT_TRUE(later.ticks.empty());
        EXPECT_EQ(provider.LastLibraryFault()->Describe(), described);
        EXPECT_TRUE(provider.LibraryLoaded());
        EXPECT_EQ(provider.LibraryHelperPid(), 0);

        // The author mends the library; "Reload DLL" runs the new file in a fresh helper and
        // keeps the edited records (same record version, no safe-data request).
        ReplaceLibrary(path, "fault_fixed");
        const LoadOutcome reload = provider.ReloadSurfaceDll();
        ASSERT_TRUE(reload.loaded) << reload.reason;
        EXPECT_TRUE(reload.recordsKept && !reload.recordsChanged);
        EXPECT_FALSE(provider.LibraryFaulted());
        EXPECT_EQ(provider.LastLibraryFault(), nullptr);
        EXPECT_TRUE(SamePair(provider.Initial(), edited));
        EXPECT_EQ(NameOfSurface(), "Fault FIXED");
        provider.RefreshWorkingPair();
        ASSERT_TRUE(provider.SurfaceSampler().Sag(1.5, -2.0, &sag));
        EXPECT_NEAR(sag, 2 * Paraboloid(1.5, -2.0), 1e-12);
    }
}

// A reload that finds another record version goes as "Open DLL ..." goes.
TEST_F(HostTest, ReloadWithAnotherRecordVersionRebuildsTheRecords) {
    test::TempDir dir;
    const std::string path = dir.File("surface.so");
    ReplaceLibrary(path, "fault_exit");
    ASSERT_TRUE(provider.OpenSurfaceDll(path).loaded);
    provider.Initial().Fd0()->param[2] = 7.0;
    RecordPair pair = provider.Initial();
    pair.Type() = kRequestSag;
    EXPECT_EQ(provider.CallSurface(pair), -1);
    ReplaceLibrary(path, "entry2_only");
    const LoadOutcome reload = provider.ReloadSurfaceDll();
    ASSERT_TRUE(reload.loaded);
    EXPECT_TRUE(reload.recordsChanged && !reload.recordsKept);
    EXPECT_EQ(provider.RecordVersion(), kRecordVersion1);
    EXPECT_EQ(provider.Initial().Fd1()->param[50], 2.0);  // entry2_only's safe data
}

TEST_F(HostTest, ABatchKeepsTheAnswersBeforeItsFault) {
    // Both fault where x > 1: a crash, and an answer the helper cannot have sent.
    const struct {
        const char* library;
        LibraryFaultKind kind;
    } cases[] = {{"fault_segv", LibraryFaultKind::kSignal},
                 {"fault_answer", LibraryFaultKind::kConnection}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath(c.library)).loaded);
        provider.RefreshWorkingPair();
        const RecordPair working = provider.Working();
        const double x[] = {0.0, 0.5, 1.0, 1.5, 2.0}, y[] = {1.0, 1.0, 1.0, 1.0, 1.0};
        double z[5] = {};
        bool ok[5] = {};
        EXPECT_EQ(provider.SurfaceSampler().SagBatch(5, x, y, z, ok), 5u);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(ok[i] && z[i] == Paraboloid(x[i], y[i])) << i;
        EXPECT_TRUE(!ok[3] && !ok[4]);
        ASSERT_TRUE(provider.LibraryFaulted());
        EXPECT_EQ(provider.LastLibraryFault()->kind, c.kind);
        EXPECT_EQ(provider.LastLibraryFault()->x, 1.5);
        EXPECT_TRUE(SamePair(provider.Working(), working));
    }
}

// A library that writes into the helper's answer channel: bytes that are no frame, or a frame
// without the answer's fields. Either ends the helper at once: it lost its connection.
TEST_F(HostTest, ABrokenAnswerEndsTheHelperAsALostConnection) {
    for (const double x : {1.5, -1.5}) {  // no frame; a frame without fields
        SCOPED_TRACE(x);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("fault_answer")).loaded);
        RecordPair pair = provider.Initial();
        pair.Type() = kRequestSag;
        pair.ud.x = x;
        EXPECT_EQ(provider.CallSurface(pair), -1);
        ASSERT_TRUE(provider.LibraryFaulted());
        const LibraryFault& fault = *provider.LastLibraryFault();
        EXPECT_EQ(fault.kind, LibraryFaultKind::kConnection) << fault.Describe();
        EXPECT_EQ(fault.Describe().rfind("lost its connection to Velmor in sag (type 3", 0), 0u)
            << fault.Describe();
        EXPECT_TRUE(fault.requestName == "sag" && fault.x == x) << fault.Describe();
        EXPECT_EQ(provider.LibraryHelperPid(), 0);
        EXPECT_EQ(NameOfSurface(), "(failed)");
    }
}

TEST_F(HostTest, AFaultWhileLoadingFailsTheLoadAndTheBuiltInSurfaceAnswers) {
    const struct {
        const char* library;
        const char* signal;
        const char* request;
        int type;
    } cases[] = {
        {"fault_load_constructor", "SIGSEGV", "library load", kLoadRequestType},
        {"fault_load_safe_data", "SIGSEGV", "safe data", kRequestSafeData},
        {"fault_load_gradient", "SIGABRT", "gradient-index question", kRequestName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("xy_polynomial3")).loaded);
        const LoadOutcome outcome = provider.OpenSurfaceDll(LibPath(c.library));
        EXPECT_FALSE(outcome.loaded);
        ASSERT_TRUE(outcome.fault.has_value());
        EXPECT_EQ(outcome.fault->signalName, c.signal);
        EXPECT_EQ(outcome.fault->requestName, c.request);
        EXPECT_EQ(outcome.fault->type, c.type);
        EXPECT_EQ(outcome.reason, outcome.fault->Describe());
        EXPECT_TRUE(outcome.recordsChanged);
        EXPECT_FALSE(provider.LibraryLoaded());
        EXPECT_FALSE(provider.LibraryFaulted());
        ASSERT_NE(provider.LastLibraryFault(), nullptr);
        EXPECT_EQ(provider.RecordVersion(), kRecordVersion0);
        EXPECT_EQ(NameOfSurface(), "Even Array");
    }
}

// Collects the library's output by request.
struct OutputLog : LibraryOutputSink {
    struct Piece {
        std::uint64_t serial;
        std::string request;
        std::size_t points;
        std::string text;
    };
    void OnLibraryOutput(std::string_view bytes, const LibraryRequestTag& tag) override {
        if (pieces.empty() || pieces.back().serial != tag.serial) {
            pieces.push_back({tag.serial, tag.name, tag.points, {}});
        }
        pieces.back().text += bytes;
    }
    std::vector<Piece> pieces;
};

TEST_F(HostTest, TheLibrarysOutputReachesTheSinkUnderItsRequest) {
    OutputLog log;
    provider.SetLibraryOutputSink(&log);
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("output_surface")).loaded);
    EXPECT_EQ(NameOfSurface(), "Talking Surface");
    provider.RefreshWorkingPair();
    const double x[] = {1.0, 3.0}, y[] = {2.0, 4.0};
    double z[2];
    bool ok[2];
    ASSERT_EQ(provider.SurfaceSampler().SagBatch(2, x, y, z, ok), 2u);
    provider.ReleaseSurfaceDll();
    provider.SetLibraryOutputSink(nullptr);

    ASSERT_EQ(log.pieces.size(), 4u);
    EXPECT_EQ(log.pieces[0].request, "library load");
    EXPECT_EQ(log.pieces[0].text, "loaded\n");
    EXPECT_EQ(log.pieces[1].request, "gradient-index question");
    EXPECT_EQ(log.pieces[1].text, "asked for name 2\n");
    EXPECT_EQ(log.pieces[2].request, "surface name");
    EXPECT_EQ(log.pieces[2].text, "asked for name 0\n");
    // Standard error and standard output in the order the library wrote them.
    EXPECT_TRUE(log.pieces[3].request == "sag" && log.pieces[3].points == 2);
    EXPECT_EQ(log.pieces[3].text, "sag at x=1 y=2 (stdout)\nsag at x=3 y=4 (stdout)\n");
}

// The gated library's sag requests answer when the test lets them go (test::LibraryGate): what
// the hook hears of a waiting request comes in the order the test chooses.
TEST_F(HostTest, TheTimeLimitCountsFromTheLastFinishedCallAndTheHookCanStop) {
    Limits(2.0, 256, 100);
    test::LibraryGate gate;
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("gated_surface")).loaded);
    provider.RefreshWorkingPair();
    Sampler& sampler = provider.SurfaceSampler();
    WaitLog hook;  // told of the batches only, not of the load (which may wait a tick)
    hook.provider = &provider;
    provider.SetLibraryWaitHook(&hook);

    // Five rows, each let go half a second after the row before it finished: longer than the
    // limit in all, never without a finished call for long.
    int opened = 0;
    hook.decide = [&](const LibraryWaitInfo& info) {
        if (info.rowsDone == opened && info.secondsWaiting >= 0.5) {
            gate.Open();
            ++opened;
        }
        return LibraryWaitAction::kContinue;
    };
    const double x[] = {0, 1, 2, 3, 4}, y[] = {0, 0, 0, 0, 0};
    const std::size_t ends[] = {1, 2, 3, 4, 5};
    double z[5];
    bool ok[5];
    const auto start = Clock::now();
    ASSERT_EQ(sampler.SagBatch(5, x, y, z, ok, {ends, 5}), 5u);
    EXPECT_GT(Seconds(start), 2.0);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(ok[i] && z[i] == Paraboloid(x[i], 0)) << i;
    EXPECT_FALSE(provider.LibraryFaulted());
    // The clock restarted as each of the first four rows finished (the fifth's answer may come
    // with it); "waiting" from waitMs on; the rows as they finished, in order.
    ASSERT_FALSE(hook.ticks.empty());
    int restarts = 0;
    long long rowsSeen = 0;
    for (const LibraryWaitInfo& tick : hook.ticks) {
        if (tick.secondsWaiting == 0) ++restarts;
        EXPECT_TRUE(tick.waiting ? tick.secondsWaiting >= 0.0999 : tick.secondsWaiting < 0.1001)
            << tick.secondsWaiting;
        EXPECT_GE(tick.rowsDone, rowsSeen);
        rowsSeen = tick.rowsDone;
        EXPECT_TRUE(tick.rows == 5 && std::string(tick.requestName) == "sag");
        EXPECT_EQ(tick.helperPid, provider.LibraryHelperPid());
    }
    EXPECT_GE(restarts, 4);
    EXPECT_EQ(rowsSeen, 4);
    // The hook hears once that the request it waited for has ended, with the library idle.
    EXPECT_EQ(hook.ended, 1);
    EXPECT_TRUE(hook.busyWhileTold && hook.idleWhenEnded);

    // Cancel once a row is done, one row let go at a time (the next one only after the cancel
    // went out): the row in progress is finished (row 1, or row 0 when the helper had not gone
    // on yet), no more.
    opened = 0;
    bool cancelling = false;
    hook.decide = [&](const LibraryWaitInfo& info) {
        if (info.rowsDone >= 1 && !cancelling) {
            cancelling = true;
            return LibraryWaitAction::kCancelBatch;
        }
        if (info.rowsDone == opened) {
            gate.Open();
            ++opened;
        }
        return cancelling ? LibraryWaitAction::kCancelBatch : LibraryWaitAction::kContinue;
    };
    const std::size_t cancelled = sampler.SagBatch(5, x, y, z, ok, {ends, 5});
    EXPECT_TRUE(cancelled == 1 || cancelled == 2) << cancelled;
    EXPECT_FALSE(provider.LibraryFaulted());
    gate.Drain();  // a row let go after the helper had stopped

    // A request made from inside the hook fails at once without harm, and the library is not
    // reloaded under the waiting request; the waiting one answers.
    int nested = 0;
    LoadOutcome reload;
    hook.decide = [&](const LibraryWaitInfo&) {
        RecordPair pair = provider.Initial();
        pair.Type() = kRequestName;
        nested = provider.CallSurface(pair);
        reload = provider.ReloadSurfaceDll();
        if (gate.Opened() == opened) gate.Open();
        return LibraryWaitAction::kContinue;
    };
    double sag = 0;
    const int helper = provider.LibraryHelperPid();
    opened = gate.Opened();
    EXPECT_TRUE(sampler.Sag(2, 2, &sag));
    EXPECT_EQ(nested, -1);
    EXPECT_FALSE(reload.recordsChanged || reload.recordsKept || reload.reason.empty());
    EXPECT_EQ(provider.LibraryHelperPid(), helper);
    EXPECT_FALSE(provider.LibraryFaulted());

    // Cancel in the waiting window stops the helper: a request never let go ends so.
    hook.decide = [](const LibraryWaitInfo& info) {
        return info.waiting ? LibraryWaitAction::kStop : LibraryWaitAction::kContinue;
    };
    EXPECT_FALSE(sampler.Sag(2, 2, &sag));
    ASSERT_TRUE(provider.LibraryFaulted());
    EXPECT_EQ(provider.LastLibraryFault()->kind, LibraryFaultKind::kStopped);
    EXPECT_EQ(provider.LastLibraryFault()->Short(), "stopped in sag");
    provider.SetLibraryWaitHook(nullptr);
}

// Progress of a pass through the helper goes through ReportProgress, and its cancel stops the
// pass after the row in progress.
TEST_F(HostTest, ProgressAndCancelOfAPassGoThroughReportProgress) {
    struct Reporter : ProgressReporter {
        bool Report(long long i, long long n) override {
            calls.emplace_back(i, n);
            return calls.size() == 2;
        }
        std::vector<std::pair<long long, long long>> calls;
    } reporter;
    ProgressReporter* previous = SetProgressReporter(&reporter);
    // The gated library's rows go one at a time, each once the one before is done (and so
    // reported).
    test::LibraryGate gate;
    int opened = 0;
    WaitLog hook;
    hook.decide = [&](const LibraryWaitInfo& info) {
        if (info.rowsDone == opened) {
            gate.Open();
            ++opened;
        }
        return LibraryWaitAction::kContinue;
    };
    provider.SetLibraryWaitHook(&hook);
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("gated_surface")).loaded);
    provider.RefreshWorkingPair();
    const double x[] = {0, 1, 2, 3}, y[] = {0, 0, 0, 0};
    const std::size_t ends[] = {1, 2, 3, 4};
    double z[4];
    bool ok[4];
    bool cancelled = false;
    const std::size_t done =
        provider.SurfaceSampler().SagBatch(4, x, y, z, ok, {ends, 4, true, 10, 20, &cancelled});
    // Row 1's start is reported once row 0 is done; the helper stops after the row it is in
    // when it sees the cancel (row 1, or row 0 when it had not gone on yet). Row 2's start may
    // be reported before the answer of a batch that went on into row 1.
    using Reports = std::vector<std::pair<long long, long long>>;
    EXPECT_TRUE(done == 1 || done == 2) << done;
    EXPECT_TRUE(cancelled);
    const Reports twoRows = {{10, 19}, {11, 19}}, threeRows = {{10, 19}, {11, 19}, {12, 19}};
    EXPECT_TRUE(reporter.calls == twoRows || (done == 2 && reporter.calls == threeRows))
        << reporter.calls.size();

    // A cancel that comes once the batch's last row may run cannot stop it short (the row let
    // go after the report is finished, unless the helper saw the cancel before it went on): the
    // pass still says it was cancelled, so its caller stops (a map or a mesh of several passes).
    gate.Drain();
    opened = 0;
    reporter.calls.clear();
    cancelled = false;
    const std::size_t last =
        provider.SurfaceSampler().SagBatch(2, x, y, z, ok, {ends, 2, true, 0, 2, &cancelled});
    SetProgressReporter(previous);
    provider.SetLibraryWaitHook(nullptr);
    EXPECT_TRUE(last == 1 || last == 2) << last;
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(reporter.calls, (Reports{{0, 1}, {1, 1}}));
}

// The same library in the program's process and in the helper: the same numbers bit for bit,
// for a pass longer than one batch request, and the same working pair afterwards.
TEST_F(HostTest, PassesThroughTheHelperGiveTheNumbersOfTheProgramsProcess) {
    CSurfaceProvider inProcess{engine};
    LibraryHostSettings inProcessSettings;
    inProcessSettings.inProcess = true;
    inProcess.SetLibraryHost(inProcessSettings);
    const int side = 301;  // 90601 points: two batch requests
    std::vector<double> x, y;
    std::vector<std::size_t> ends;
    for (int j = 0; j < side; ++j) {
        for (int i = 0; i < side; ++i) {
            x.push_back(-12.0 + 0.08 * i);
            y.push_back(-12.0 + 0.08 * j);
        }
        ends.push_back(x.size());
    }
    const std::size_t n = x.size();
    for (const char* library : {"even_asphere", "xy_polynomial3"}) {
        SCOPED_TRACE(library);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath(library)).loaded);
        ASSERT_TRUE(inProcess.OpenSurfaceDll(LibPath(library)).loaded);
        provider.Initial().Fd0()->k = inProcess.Initial().Fd0()->k = -0.5;  // v0 k / v2 ireserved
        provider.RefreshWorkingPair();
        inProcess.RefreshWorkingPair();
        std::vector<double> zGuarded(n), zDirect(n);
        auto okGuarded = std::make_unique<bool[]>(n), okDirect = std::make_unique<bool[]>(n);
        ASSERT_EQ(provider.SurfaceSampler().SagBatch(n, x.data(), y.data(), zGuarded.data(),
                                                     okGuarded.get(), {ends.data(), ends.size()}),
                  n);
        // The program's own path, one point at a time.
        for (std::size_t i = 0; i < n; ++i) {
            okDirect[i] = inProcess.SurfaceSampler().Sag(x[i], y[i], &zDirect[i]);
        }
        std::size_t valid = 0;
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(okGuarded[i], okDirect[i]) << i;
            if (okDirect[i]) {
                ++valid;
                ASSERT_EQ(std::memcmp(&zGuarded[i], &zDirect[i], sizeof(double)), 0) << i;
            }
        }
        EXPECT_GT(valid, 5000u);  // and the failed points fail alike
        EXPECT_TRUE(SamePair(provider.Working(), inProcess.Working()));
        EXPECT_EQ(provider.RecordVersion(), inProcess.RecordVersion());
        // A single request through the helper, too.
        const std::size_t centre = n / 2 + 3;
        double one = 0;
        ASSERT_TRUE(provider.SurfaceSampler().Sag(x[centre], y[centre], &one));
        EXPECT_EQ(std::memcmp(&one, &zDirect[centre], sizeof one), 0);
    }

    // Index passes of a gradient-index medium.
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("grin_medium")).loaded);
    ASSERT_TRUE(inProcess.OpenSurfaceDll(LibPath("grin_medium")).loaded);
    provider.RefreshWorkingPair();
    inProcess.RefreshWorkingPair();
    std::vector<double> z(50);
    for (int i = 0; i < 50; ++i) z[i] = 0.1 * i;
    std::vector<IndexSample> guarded(50), direct(50);
    bool okGuarded[50], okDirect[50];
    ASSERT_EQ(provider.SurfaceSampler().IndexBatch(50, x.data(), y.data(), z.data(), guarded.data(),
                                                   okGuarded),
              50u);
    ASSERT_EQ(inProcess.SurfaceSampler().IndexBatch(50, x.data(), y.data(), z.data(), direct.data(),
                                                    okDirect),
              50u);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(okGuarded[i], okDirect[i]);
        EXPECT_EQ(std::memcmp(&guarded[i], &direct[i], sizeof direct[i]), 0) << i;
    }
    EXPECT_TRUE(SamePair(provider.Working(), inProcess.Working()));

    // A view's pass, sags and indices mixed in its order, as one request: what the samples one
    // by one give.
    std::vector<SampleRequest> mixed;
    for (int i = 0; i < 60; ++i) {
        const auto kind = i % 3 == 1 ? SampleRequest::kSag : SampleRequest::kIndex;
        mixed.push_back({kind, x[i], y[i], 0.05 * i});
    }
    std::vector<SampleAnswer> answers(mixed.size());
    provider.RefreshWorkingPair();
    inProcess.RefreshWorkingPair();
    provider.SurfaceSampler().SampleBatch(mixed.size(), mixed.data(), answers.data());
    for (std::size_t i = 0; i < mixed.size(); ++i) {
        const SampleRequest& r = mixed[i];
        SampleAnswer one;
        Sampler& direct = inProcess.SurfaceSampler();
        one.ok = r.kind == SampleRequest::kSag ? direct.Sag(r.x, r.y, &one.sag)
                                               : direct.Index(r.x, r.y, r.z, &one.index);
        ASSERT_EQ(answers[i].ok, one.ok) << i;
        EXPECT_EQ(std::memcmp(&answers[i].sag, &one.sag, sizeof one.sag), 0) << i;
        EXPECT_EQ(std::memcmp(&answers[i].index, &one.index, sizeof one.index), 0) << i;
    }
    EXPECT_TRUE(SamePair(provider.Working(), inProcess.Working()));
}

// In the program's process a batch's progress report may run other code (a window repaint): a
// batch started there fails at once instead of overwriting the points the running one reads.
TEST_F(HostTest, InProcessABatchAskedForWhileOneReportsFailsAndSparesIt) {
    LibraryHostSettings settings;
    settings.inProcess = true;
    provider.SetLibraryHost(settings);
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("fault_fixed")).loaded);  // sag (x^2 + y^2) / 2
    provider.RefreshWorkingPair();
    struct Nested : ProgressReporter {
        bool Report(long long, long long) override {
            busy = busy && provider->LibraryBusy();
            const double x[] = {5, 6}, y[] = {5, 6};
            double z[2] = {-1, -1};
            bool ok[2] = {true, true};
            provider->SurfaceSampler().SagBatch(2, x, y, z, ok);
            nestedFailed = nestedFailed && !ok[0] && !ok[1];
            return false;
        }
        CSurfaceProvider* provider = nullptr;
        bool busy = true, nestedFailed = true;
    } nested;
    nested.provider = &provider;
    ProgressReporter* previous = SetProgressReporter(&nested);
    const double x[] = {1, 2, 3}, y[] = {0, 0, 0};
    const std::size_t ends[] = {1, 2, 3};
    double z[3];
    bool ok[3];
    const std::size_t done =
        provider.SurfaceSampler().SagBatch(3, x, y, z, ok, {ends, 3, true, 0, 3});
    SetProgressReporter(previous);
    EXPECT_EQ(done, 3u);
    EXPECT_TRUE(nested.busy && nested.nestedFailed);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(ok[i]) << i;
        EXPECT_NEAR(z[i], 2 * Paraboloid(x[i], 0), 1e-12) << i;
    }
    EXPECT_FALSE(provider.LibraryBusy() || provider.LibraryFaulted());
}

// Batches of mixed requests with whole records (as a check of traces will send them): the helper
// and the program's process give the same records byte for byte, and the working pair ends alike.
TEST(HostBatchTest, MixedRequestsWithWholeRecordsAnswerAsInProcess) {
    GuardedLibrary guarded;
    InProcessLibrary direct;
    SurfaceLibrary* libraries[] = {&guarded, &direct};
    RecordPair working[2];
    std::vector<USER_DATA> records[2];
    std::vector<int> results[2];
    for (int k = 0; k < 2; ++k) {
        SurfaceLibrary& library = *libraries[k];
        int version = -1;
        std::string reason;
        ASSERT_TRUE(library.Open(LibPath("even_asphere"), &version, &reason)) << reason;
        working[k].Fd0()->cv = 0.1;
        working[k].Fd0()->n1 = 1.0;
        working[k].Fd0()->n2 = 1.5;
        BatchPoints& points = library.Points();
        const int n = 40;
        for (int i = 0; i < n; ++i) {
            const bool sag = i % 5 == 0;
            points.type[i] = sag ? kRequestSag : kRequestRealTrace;
            points.fields[i] =
                sag ? kSagPointFields : kSetType | kSetX | kSetY | kSetL | kSetM | kSetN;
            points.flags[i] = i % 8 == 7 ? std::uint32_t{kEndsRow} : 0u;
            points.x[i] = -2.0 + 0.1 * i;
            points.y[i] = 1.0 - 0.05 * i;
            points.l[i] = 0.01 * i;
            points.m[i] = -0.02;
            points.n[i] = std::sqrt(1.0 - points.l[i] * points.l[i] - 0.0004);
        }
        LibraryCall status = LibraryCall::kFailed;
        ASSERT_EQ(library.RunBatch(working[k], n, kBatchWholeRecords, {}, &status, &version), 40u);
        ASSERT_EQ(status, LibraryCall::kAnswered);
        const BatchAnswers& answers = library.Answers();
        records[k].assign(answers.record, answers.record + n);
        results[k].assign(answers.result, answers.result + n);
        EXPECT_EQ(answers.value[0][5], answers.record[5].sag1);  // a sag's value
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(std::count(results[0].begin(), results[0].end(), 0), 40);
    EXPECT_EQ(std::memcmp(records[0].data(), records[1].data(), 40 * sizeof(USER_DATA)), 0);
    EXPECT_TRUE(SamePair(working[0], working[1]));
    EXPECT_EQ(working[0].Type(), kRequestRealTrace);  // the last point's request
}

TEST_F(HostTest, AMissingHelperFailsTheLoadWithItsReason) {
    LibraryHostSettings settings;
    settings.helperPath = "/nonexistent/velmor-surface-host";
    provider.SetLibraryHost(settings);
    const LoadOutcome outcome = provider.OpenSurfaceDll(LibPath("even_asphere"));
    EXPECT_FALSE(outcome.loaded);
    EXPECT_FALSE(outcome.fault.has_value());
    EXPECT_NE(outcome.reason.find("cannot run /nonexistent/velmor-surface-host"), std::string::npos)
        << outcome.reason;
    EXPECT_EQ(NameOfSurface(), "Even Array");
}

// A named pipe given as the library is refused in the helper before dlopen, which would wait
// for a writer for ever; the helper stays usable for the next load.
TEST_F(HostTest, ALibraryThatIsNoRegularFileIsRefusedWithoutWaiting) {
    test::TempDir dir;
    const std::string pipe = dir.File("surface.so");
    ASSERT_TRUE(test::MakeFifo(pipe));
    const test::HangGuard guard("loading a named pipe");
    const LoadOutcome outcome = provider.OpenSurfaceDll(pipe);
    EXPECT_FALSE(outcome.loaded);
    EXPECT_FALSE(outcome.fault.has_value());
    EXPECT_NE(outcome.reason.find("not a regular file"), std::string::npos) << outcome.reason;
    EXPECT_EQ(NameOfSurface(), "Even Array");
    EXPECT_TRUE(provider.OpenSurfaceDll(LibPath("even_asphere")).loaded);
}

// While a debugger is attached to the helper the time limit does not run.
TEST_F(HostTest, AnAttachedDebuggerPausesTheTimeLimit) {
    Limits(1.0, 256);
    WaitLog hook;
    int attached = -1;  // 1 attached, 0 the system refused
    pid_t debugger = 0;
    hook.decide = [&](const LibraryWaitInfo& info) {
        if (attached >= 0) return LibraryWaitAction::kContinue;
        int report[2];
        if (::pipe(report) != 0) return LibraryWaitAction::kContinue;
        debugger = ::fork();
        if (debugger == 0) {
            const char ok = ::ptrace(PTRACE_SEIZE, info.helperPid, nullptr, nullptr) == 0;
            if (::write(report[1], &ok, 1) != 1) ::_exit(1);
            ::usleep(1500 * 1000);
            ::_exit(0);  // detaches
        }
        char ok = 0;
        ::close(report[1]);
        attached = ::read(report[0], &ok, 1) == 1 && ok ? 1 : 0;
        ::close(report[0]);
        return LibraryWaitAction::kContinue;
    };
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("fault_hang")).loaded);
    provider.RefreshWorkingPair();
    provider.SetLibraryWaitHook(&hook);  // the debugger attaches in the sag, not in the load
    double sag = 0;
    EXPECT_FALSE(provider.SurfaceSampler().Sag(1, 1, &sag));
    // The debugger (attached for 1.5 s, longer than the limit) had left when the limit ran out.
    const bool debuggerGone = debugger > 0 && ::waitpid(debugger, nullptr, WNOHANG) == debugger;
    provider.SetLibraryWaitHook(nullptr);
    if (debugger > 0 && !debuggerGone) ::waitpid(debugger, nullptr, 0);
    if (attached != 1) GTEST_SKIP() << "this system does not let a test attach a debugger";
    EXPECT_EQ(provider.LastLibraryFault()->kind, LibraryFaultKind::kTimeout);
    EXPECT_TRUE(debuggerGone);
}

TEST(LibraryHostSettingsTest, TheSectionGivesTheLimitsWithTheirDefaultsAndFloors) {
    test::TempDir dir;
    const std::string path = dir.File("Velmor.ini");
    const SettingsFile file(path);
    LibraryHostSettings settings = ReadLibraryHostSettings(file);
    EXPECT_TRUE(settings.limits.waitMs == 2000 && settings.limits.timeoutSeconds == 60 &&
                settings.limits.memoryMb == 4096);
    EXPECT_TRUE(settings.reloadOnChange && !settings.inProcess);
    test::WriteFile(path,
                    "[LIBRARY_HOST]\nWAIT_MS=-5\nTIMEOUT_S=0\nMEMORY_MB=-1\n"
                    "RELOAD_ON_CHANGE=0\nIN_PROCESS=1\n");
    settings = ReadLibraryHostSettings(file);
    EXPECT_TRUE(settings.limits.waitMs == 0 && settings.limits.timeoutSeconds == 1 &&
                settings.limits.memoryMb == 0);
    EXPECT_TRUE(!settings.reloadOnChange && settings.inProcess);
}

}  // namespace
}  // namespace velmor
