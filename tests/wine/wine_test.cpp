// Windows DLLs loaded through the Windows helper under wine, against the Linux build of the same
// source in the same run: the program's provider and velmor-cli give the same numbers (every
// source here uses only correctly rounded operations: exactly the same), the DLL exported by
// ordinal only loads, a crash is a fault that names the exception and the program reloads, and
// the library check runs the Windows helper. Each test starts wine a few times: they are few and
// grouped.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/check/library_check.h"
#include "core/host/guarded_library.h"
#include "core/host/library_host_settings.h"
#include "core/host/process_guard.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "temp_dir.h"
#include "test_paths.h"
#include "wine_test_prefix.h"

namespace velmor {
namespace {

using test::LibPath;
using test::WinLibPath;

// One library loaded in a provider of its own, in the helper (the Windows one for a .dll).
struct Loaded {
    explicit Loaded(const std::string& path) {
        LibraryHostSettings settings;
        settings.limits.timeoutSeconds = 20;
        provider.SetLibraryHost(settings);
        outcome = provider.OpenSurfaceDll(path);
    }
    int Call(int type, int numb, double x, double y, double z, USER_DATA* out) {
        RecordPair& pair = provider.Final();
        CopyRecordPair(pair, provider.Initial());
        pair.Type() = type;
        pair.Numb() = numb;
        pair.ud.x = x;
        pair.ud.y = y;
        pair.ud.z = z;
        const int result = provider.CallSurface(pair);
        *out = pair.ud;
        return result;
    }
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    LoadOutcome outcome;
};

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(WineTest, EveryDllGivesTheNumbersOfItsLinuxBuild) {
    // Record versions 0 to 4: the examples and the tests' one-entry libraries.
    for (const char* name :
         {"even_asphere", "apertured_sphere", "dual_entry", "grin_medium", "entry2_only",
          "xy_polynomial3", "entry4_only", "microlens_array5", "entry5_only"}) {
        SCOPED_TRACE(name);
        Loaded linux(LibPath(name)), windows(WinLibPath(name));
        ASSERT_TRUE(linux.outcome.loaded) << linux.outcome.reason;
        ASSERT_TRUE(windows.outcome.loaded) << windows.outcome.reason;
        CSurfaceProvider& a = linux.provider;
        CSurfaceProvider& b = windows.provider;
        EXPECT_EQ(a.RecordVersion(), b.RecordVersion());
        EXPECT_EQ(a.GradientIndex(), b.GradientIndex());
        // The records after the load: what the two safe-data requests wrote.
        EXPECT_EQ(std::memcmp(a.Initial().fd, b.Initial().fd, sizeof a.Initial().fd), 0);
        USER_DATA ua{}, ub{};
        EXPECT_EQ(linux.Call(kRequestName, 0, 0, 0, 0, &ua),
                  windows.Call(kRequestName, 0, 0, 0, 0, &ub));
        EXPECT_STREQ(ua.string, ub.string);
        // A sag grid and an index grid, call by call and as the views' batches.
        std::vector<double> xs, ys, zs;
        for (double y = -3; y <= 3; y += 0.75) {
            for (double x = -3; x <= 3; x += 0.75) {
                xs.push_back(x);
                ys.push_back(y);
                zs.push_back(0.125 * x);
            }
        }
        for (std::size_t i = 0; i < xs.size(); ++i) {
            const int ra = linux.Call(kRequestSag, 0, xs[i], ys[i], 0, &ua);
            EXPECT_EQ(ra, windows.Call(kRequestSag, 0, xs[i], ys[i], 0, &ub));
            EXPECT_TRUE(SameBits(ua.sag1, ub.sag1) && SameBits(ua.sag2, ub.sag2))
                << xs[i] << " " << ys[i] << ": " << ua.sag1 << " " << ub.sag1;
            linux.Call(kRequestIndex, 0, xs[i], ys[i], zs[i], &ua);
            windows.Call(kRequestIndex, 0, xs[i], ys[i], zs[i], &ub);
            EXPECT_TRUE(SameBits(ua.index, ub.index) && SameBits(ua.dndx, ub.dndx) &&
                        SameBits(ua.dndy, ub.dndy) && SameBits(ua.dndz, ub.dndz));
        }
        const std::size_t n = xs.size();
        std::vector<double> za(n), zb(n);
        std::unique_ptr<bool[]> oka(new bool[n]), okb(new bool[n]);
        a.RefreshWorkingPair();
        b.RefreshWorkingPair();
        EXPECT_EQ(a.SurfaceSampler().SagBatch(n, xs.data(), ys.data(), za.data(), oka.get()),
                  b.SurfaceSampler().SagBatch(n, xs.data(), ys.data(), zb.data(), okb.get()));
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_TRUE(oka[i] == okb[i] && (!oka[i] || SameBits(za[i], zb[i]))) << i;
        }
        // The single real ray.
        const TraceOutcome ta = a.TraceRay({}), tb = b.TraceRay({});
        EXPECT_EQ(ta.result, tb.result);
        EXPECT_EQ(ta.statusText, tb.statusText);
        const USER_DATA& fa = a.Final().ud;
        const USER_DATA& fb = b.Final().ud;
        for (auto field :
             {&USER_DATA::x, &USER_DATA::y, &USER_DATA::z, &USER_DATA::l, &USER_DATA::m,
              &USER_DATA::n, &USER_DATA::ln, &USER_DATA::mn, &USER_DATA::nn, &USER_DATA::path}) {
            EXPECT_TRUE(SameBits(fa.*field, fb.*field)) << fa.*field << " " << fb.*field;
        }
        EXPECT_GT(b.LibraryHelperPid(), 0);
        EXPECT_FALSE(b.LibraryFaulted());
    }
}

class OutputLines final : public LibraryOutputSink {
public:
    void OnLibraryOutput(std::string_view bytes, const LibraryRequestTag&) override {
        text.append(bytes);
    }
    std::string text;
};

TEST(WineTest, OrdinalEntryOutputFaultAndReload) {
    {
        Loaded ordinal(WinLibPath("ordinal_only"));
        ASSERT_TRUE(ordinal.outcome.loaded) << ordinal.outcome.reason;
        USER_DATA ud{};
        EXPECT_EQ(ordinal.Call(kRequestName, 0, 0, 0, 0, &ud), 0);
        EXPECT_STREQ(ud.string, "Ordinal Only");
        EXPECT_EQ(ordinal.Call(kRequestSag, 0, 1.5, -0.25, 0, &ud), 0);
        EXPECT_EQ(ud.sag1, 2.75);
    }
    {
        // What the library prints reaches the output window as the Linux build's does.
        OutputLines linuxOut, windowsOut;
        Loaded linux(LibPath("output_surface")), windows(WinLibPath("output_surface"));
        linux.provider.SetLibraryOutputSink(&linuxOut);
        windows.provider.SetLibraryOutputSink(&windowsOut);
        USER_DATA ud{};
        linux.Call(kRequestSag, 0, 1, 2, 0, &ud);
        windows.Call(kRequestSag, 0, 1, 2, 0, &ud);
        linux.provider.ReleaseSurfaceDll();
        windows.provider.ReleaseSurfaceDll();
        EXPECT_FALSE(linuxOut.text.empty());
        std::string windowsText = windowsOut.text;
        for (std::size_t at; (at = windowsText.find("\r\n")) != std::string::npos;)
            windowsText.erase(at, 1);
        EXPECT_EQ(windowsText, linuxOut.text);
    }

    // A crash in sag: the fault names the exception, the program goes on, a reload (of the
    // file as it was rebuilt meanwhile) loads the library again.
    test::TempDir dir;
    const std::string path = dir.File("surface.dll");
    std::filesystem::copy_file(WinLibPath("fault_segv"), path);
    Loaded crash(path);
    ASSERT_TRUE(crash.outcome.loaded) << crash.outcome.reason;
    const int pid = crash.provider.LibraryHelperPid();
    ASSERT_GT(pid, 0);
    // The pid shown is the Linux process wine runs the helper in.
    const std::string exe =
        std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe").string();
    EXPECT_NE(exe.find("wine"), std::string::npos) << exe;
    USER_DATA ud{};
    EXPECT_EQ(crash.Call(kRequestSag, 0, 1.5, -2, 0, &ud), -1);
    ASSERT_TRUE(crash.provider.LibraryFaulted());
    const LibraryFault& fault = *crash.provider.LastLibraryFault();
    EXPECT_EQ(fault.kind, LibraryFaultKind::kException);
    EXPECT_EQ(fault.exceptionCode, 0xC0000005u);
    EXPECT_EQ(fault.Short(), "EXCEPTION_ACCESS_VIOLATION in sag");
    EXPECT_EQ(fault.Describe(),
              "EXCEPTION_ACCESS_VIOLATION (access violation: invalid memory access) in sag "
              "(type 3, numb 0) at x 1.5, y -2, z 0, l -0.25, m 0.2, n 0.947");
    EXPECT_EQ(crash.Call(kRequestName, 0, 0, 0, 0, &ud), -1);  // at once, until a reload

    std::filesystem::copy_file(WinLibPath("even_asphere"), path + ".new");
    std::filesystem::rename(path + ".new", path);
    const LoadOutcome reloaded = crash.provider.ReloadSurfaceDll();
    ASSERT_TRUE(reloaded.loaded) << reloaded.reason;
    EXPECT_FALSE(crash.provider.LibraryFaulted());
    EXPECT_EQ(crash.Call(kRequestName, 0, 0, 0, 0, &ud), 0);
    Loaded asphere(LibPath("even_asphere"));
    USER_DATA expected{};
    asphere.Call(kRequestName, 0, 0, 0, 0, &expected);
    EXPECT_STREQ(ud.string, expected.string);
}

// The Windows helper fences a DLL's records as the Linux helper does (the access violation's
// address and kind), finds the shared area overwritten, and refuses a process the DLL starts
// (the job object; under wine the new process is ended as it begins).
TEST(WineTest, FencesOverwrittenMemoryAndProcessesAsUnderLinux) {
    const struct {
        const char* library;
        double y;
        FaultRecord record;
        long long offset;
        FaultAccess access;
    } overruns[] = {
        {"fence_overrun", 0, FaultRecord::kUserData, 192, FaultAccess::kWrite},
        {"fence_overrun", 7, FaultRecord::kFixedData, 1816, FaultAccess::kRead},
        {"fence_overrun5", 6, FaultRecord::kUserData, -8, FaultAccess::kWrite},
    };
    for (const auto& c : overruns) {
        SCOPED_TRACE(std::string(c.library) + " y " + std::to_string(c.y));
        Loaded windows(WinLibPath(c.library));
        ASSERT_TRUE(windows.outcome.loaded) << windows.outcome.reason;
        USER_DATA ud{};
        EXPECT_EQ(windows.Call(kRequestSag, 0, 0.25, c.y, 0, &ud), 0);
        EXPECT_EQ(windows.Call(kRequestSag, 0, 1, c.y, 0, &ud), -1);
        ASSERT_TRUE(windows.provider.LibraryFaulted());
        const LibraryFault& fault = *windows.provider.LastLibraryFault();
        EXPECT_EQ(fault.kind, LibraryFaultKind::kRecordOverrun) << fault.Describe();
        EXPECT_EQ(fault.record, c.record);
        EXPECT_EQ(fault.offset, c.offset);
        EXPECT_EQ(fault.access, c.access);
        EXPECT_TRUE(fault.x == 1 && fault.y == c.y);
    }
    {
        Loaded windows(WinLibPath("scribble_shared"));
        ASSERT_TRUE(windows.outcome.loaded) << windows.outcome.reason;
        const double x[] = {0, 0.5, 1}, y[] = {1, 1, 1};
        double z[3];
        bool ok[3];
        windows.provider.RefreshWorkingPair();
        windows.provider.SurfaceSampler().SagBatch(3, x, y, z, ok);
        EXPECT_TRUE(!ok[0] && !ok[1] && !ok[2]);
        ASSERT_TRUE(windows.provider.LibraryFaulted());
        EXPECT_EQ(windows.provider.LastLibraryFault()->kind, LibraryFaultKind::kSharedMemory);
    }
    for (const bool allowed : {false, true}) {
        SCOPED_TRACE(allowed ? "processes allowed" : "processes refused");
        OutputLines output;
        LibraryHostSettings settings;
        settings.limits.timeoutSeconds = 20;
        settings.limits.allowProcesses = allowed;
        CScriptEngine engine;
        CSurfaceProvider provider{engine};
        provider.SetLibraryHost(settings);
        provider.SetLibraryOutputSink(&output);
        ASSERT_TRUE(provider.OpenSurfaceDll(WinLibPath("process_surface")).loaded);
        double sag = 0;
        provider.RefreshWorkingPair();
        EXPECT_TRUE(provider.SurfaceSampler().Sag(1, 2, &sag))  // the DLL's own answer
            << (provider.LibraryFaulted() ? provider.LastLibraryFault()->Describe() : "")
            << output.text;
        EXPECT_EQ(sag, 1.25);
        if (!allowed) {
            // A process that would run on is ended by the helper soon after it began.
            Loaded sleeper(WinLibPath("process_surface"));
            ASSERT_TRUE(sleeper.outcome.loaded);
            USER_DATA ud{};
            ASSERT_EQ(sleeper.Call(kRequestSag, 0, -1, 0, 0, &ud), 0);
            ASSERT_EQ(ud.sag2, 0) << "the process did not start";
            for (int wait = 0; wait < 100 && ud.sag2 == 0; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                ASSERT_EQ(sleeper.Call(kRequestSag, 0, -2, 0, 0, &ud), 0);
            }
            EXPECT_EQ(ud.sag2, 1) << "the process runs after 10 s";
        }
        provider.ReleaseSurfaceDll();
        const bool said = output.text.find(kProcessRefusedText) != std::string::npos;
        EXPECT_EQ(said, !allowed) << output.text;
    }
}

TEST(WineTest, LibraryCheckRunsTheWindowsHelper) {
    auto run = [](const std::string& path) {
        CheckInput input;
        input.source = CheckSource::kLibrary;
        input.libraryPath = path;
        input.limits.timeoutSeconds = 20;
        RecordPair initial;
        Loaded loaded(path);  // the records as the program has them after "Open DLL ..."
        CopyRecordPair(initial, loaded.provider.Initial());
        input.initial = &initial;
        input.recordVersion = loaded.provider.RecordVersion();
        input.xmin = input.ymin = -5;
        input.xmax = input.ymax = 5;
        return RunLibraryCheck(input);
    };
    const CheckReport linux = run(LibPath("check_sound"));
    const CheckReport windows = run(WinLibPath("check_sound"));
    ASSERT_TRUE(windows.loaded) << windows.loadError;
    ASSERT_EQ(linux.checks.size(), windows.checks.size());
    for (std::size_t i = 0; i < linux.checks.size(); ++i) {
        // Speed differs by nature; every other check comes out the same.
        if (linux.checks[i].name == "speed") continue;
        EXPECT_EQ(linux.checks[i].outcome, windows.checks[i].outcome)
            << linux.checks[i].name << ": " << windows.checks[i].detail;
    }
    EXPECT_TRUE(windows.Passed());
    // A faulting library is a failed check, not a failed run.
    const CheckReport crash = run(WinLibPath("check_nan_sag"));
    EXPECT_TRUE(crash.loaded) << crash.loadError;
    EXPECT_GT(crash.fail, 0);
}

// Tells whether a request was ever reported as waiting.
class WaitSeen final : public LibraryWaitHook {
public:
    LibraryWaitAction OnLibraryWait(const LibraryWaitInfo& info) override {
        waiting = waiting || info.waiting;
        return LibraryWaitAction::kContinue;
    }
    bool waiting = false;
};

TEST(WineTest, ASlowWineStartIsWaitedForWithoutTheTimeLimitOrTheDataLimit) {
    // Wine taking longer to start than the time limit allows a library call, as in a fresh
    // prefix, with a data limit far below what wine needs to start.
    test::TempDir dir;
    const std::string wine = dir.File("slow-wine");
    test::WriteFile(
        wine, "#!/bin/sh\nsleep 1.5\nexec " + FindWine(DefaultWineCandidates()) + " \"$@\"\n");
    std::filesystem::permissions(wine, std::filesystem::perms::owner_all);
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    LibraryHostSettings settings;
    settings.limits.timeoutSeconds = 1;
    settings.limits.waitMs = 100;
    settings.limits.memoryMb = 1;
    settings.wine.wineCandidates = {wine};
    provider.SetLibraryHost(settings);
    WaitSeen hook;
    provider.SetLibraryWaitHook(&hook);
    const LoadOutcome outcome = provider.OpenSurfaceDll(WinLibPath("even_asphere"));
    EXPECT_TRUE(outcome.loaded) << outcome.reason;
    EXPECT_TRUE(hook.waiting);  // the program shows "Waiting for the surface library ..."
}

// True once process `pid` is gone (or a zombie about to be reaped).
bool ProcessGone(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

TEST(WineTest, TheWineHelperEndsWithTheProgramEvenInAHangingCall) {
    // A program killed while its library hangs in a call: wine runs none of the helper's code
    // that could notice, so the system must end it.
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t program = ::fork();
    if (program == 0) {
        GuardedLibrary library;
        LibraryLimits limits;
        limits.timeoutSeconds = 100;
        library.SetLimits(limits);
        int version = 0;
        std::string reason;
        const int pid =
            library.Open(WinLibPath("fault_hang"), &version, &reason) ? library.HelperPid() : 0;
        if (::write(channel[1], &pid, sizeof pid) != sizeof pid || pid == 0) ::_exit(1);
        RecordPair pair;
        pair.Type() = kRequestSag;
        pair.ud.x = 2;
        int result = 0;
        library.Call(pair, &result, &version);  // never answers
        ::_exit(0);
    }
    ::close(channel[1]);
    int helper = 0;
    ASSERT_EQ(::read(channel[0], &helper, sizeof helper), static_cast<ssize_t>(sizeof helper));
    ::close(channel[0]);
    ASSERT_GT(helper, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the call is under way
    EXPECT_FALSE(ProcessGone(helper));
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ProcessGone(helper) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(ProcessGone(helper));
    if (!ProcessGone(helper)) ::kill(helper, SIGKILL);
}

struct CliRun {
    int status = -1;
    std::string out, err;
};

// Runs velmor-cli; the library's path in what it prints is written LIB.
CliRun RunCli(const std::string& library, const std::string& arguments) {
    test::TempDir dir;
    const std::string command = std::string(VELMOR_CLI_PATH) + " --lib " + library + " " +
                                arguments + " 2>" + dir.File("err");
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, got);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = test::ReadFile(dir.File("err"));
    for (std::string* text : {&run.out, &run.err}) {
        for (std::size_t at; (at = text->find(library)) != std::string::npos;)
            text->replace(at, library.size(), "LIB");
    }
    return run;
}

TEST(WineTest, CliGivesTheAnswersOfTheLinuxBuild) {
    // One library per record version 0 to 4.
    for (const char* name :
         {"even_asphere", "entry2_only", "xy_polynomial3", "entry4_only", "microlens_array5"}) {
        for (const char* command : {"--json info", "--json call", "sag-grid -2 2 -2 2 0.5 0.5"}) {
            SCOPED_TRACE(std::string(name) + ": " + command);
            const CliRun linux = RunCli(LibPath(name), command);
            const CliRun windows = RunCli(WinLibPath(name), command);
            EXPECT_EQ(linux.status, 0) << linux.err;
            EXPECT_EQ(windows.status, linux.status) << windows.err;
            EXPECT_FALSE(windows.out.empty());
            EXPECT_EQ(windows.out, linux.out);
        }
    }
    // A 32-bit DLL (its headers are enough): one line saying so, no helper.
    test::TempDir dir;
    std::string headers(0x200, '\0');
    headers[0] = 'M';
    headers[1] = 'Z';
    headers[0x3C] = static_cast<char>(0x80);
    headers[0x80] = 'P';
    headers[0x81] = 'E';
    headers[0x84] = 0x4C;
    headers[0x85] = 0x01;
    test::WriteFile(dir.File("x86.dll"), headers);
    const CliRun x86 = RunCli(dir.File("x86.dll"), "info");
    EXPECT_EQ(x86.status, 2);
    EXPECT_EQ(x86.err,
              "velmor-cli: LIB: A 32-bit Windows DLL cannot be loaded: rebuild it for x64\n");
    // A crash: status 3 and the exception's name.
    const CliRun crash = RunCli(WinLibPath("fault_segv"), "sag 2 1");
    EXPECT_EQ(crash.status, 3);
    EXPECT_NE(crash.err.find("EXCEPTION_ACCESS_VIOLATION"), std::string::npos) << crash.err;
}

// A DLL compared with its Linux build, each in its own helper (the Windows one under wine), the
// user's rows given to the reference: the same everywhere, one way and the other, over enough
// points to take several batches.
TEST(WineTest, ADllComparedWithItsLinuxBuildIsTheSameEverywhere) {
    const struct {
        const char* name;
        std::string rows;
        std::string grid;
    } cases[] = {
        {"conic_surface", "", "--step 0.02 0.02"},
        {"even_asphere", "--set cv=0.1 --set k=-0.5 --set param[1]=0.001 --set param[2]=-2e-5 ",
         "--range -5 5 -5 5 --step 0.1 0.1"},
    };
    for (const auto& c : cases) {
        for (bool windowsReference : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (windowsReference ? ": DLL reference" : ": DLL"));
            const std::string surface = windowsReference ? LibPath(c.name) : WinLibPath(c.name);
            const std::string reference = windowsReference ? WinLibPath(c.name) : LibPath(c.name);
            const CliRun run = RunCli(surface, c.rows + "compare " + reference + " " + c.grid);
            EXPECT_EQ(run.status, 0) << run.err << run.out;
            int lines = 0;
            std::size_t at = 0;
            for (std::size_t end; (end = run.out.find('\n', at)) != std::string::npos;
                 at = end + 1, ++lines) {
                const std::string line = run.out.substr(at, end - at);
                const std::size_t tab = line.find('\t');
                const std::string result = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
                EXPECT_TRUE(result == "same" || result == "skip") << line;
                if (line.rfind("sag\t", 0) == 0 || line.rfind("trace-hit\t", 0) == 0) {
                    EXPECT_NE(line.find("largest 0"), std::string::npos) << line;
                }
            }
            EXPECT_EQ(lines, 13) << run.out;
        }
    }
}

}  // namespace
}  // namespace velmor
