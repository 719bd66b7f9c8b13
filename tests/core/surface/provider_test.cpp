#include "core/surface/provider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <tuple>

#include "core/interp/script_engine.h"
#include "core/surface/dynamic_library.h"
#include "core/surface/row_catalogue.h"
#include "core/surface/surface_sampler.h"
#include "temp_dir.h"
#include "test_paths.h"

namespace velmor {
namespace {

using test::LibPath;

double DoubleAt(const RecordPair& pair, int offset) {
    double value = 0;
    std::memcpy(&value, pair.fd + offset, sizeof value);
    return value;
}

class ProviderTest : public ::testing::Test {
protected:
    int Ask(RecordPair& pair, int type, int numb = 0) {
        pair.Type() = type;
        pair.Numb() = numb;
        return provider.CallSurface(pair);
    }
    std::string NameOfSurface() {
        RecordPair& pair = provider.Final();
        CopyRecordPair(pair, provider.Initial());
        EXPECT_EQ(Ask(pair, kRequestName, 0), 0);
        return pair.ud.string;
    }

    CScriptEngine engine;
    CSurfaceProvider provider{engine};
};

// What the recording library received; opening it again shares the provider's instance.
struct Recording {
    Recording() { EXPECT_TRUE(library.Open(LibPath("recording_surface3"))); }
    template <typename F>
    F* Get(const char* name) {
        return reinterpret_cast<F*>(library.Symbol(name));
    }
    DynamicLibrary library;
};

// Each entry point brings its record version, its table rows and its FIXED_DATA layout: the
// defaults and the library's safe data land at that version's offsets.
TEST_F(ProviderTest, LoadingDetectsTheRecordVersionFromTheEntryPoint) {
    const struct {
        const char* library;
        int version;
        size_t rows;
        int n1Offset, safeOffset;
        double safeValue;
    } cases[] = {
        {"even_asphere", 0, 227, 32, 88, 0.0},
        {"dual_entry", 0, 227, 32, 88, 3.0},
        {"entry2_only", 1, 306, 40, 728, 2.0},
        {"entry4_only", 3, 5734, 1328, 45800, 4.0},
        {"entry5_only", 4, 5288, 1328, 42232, 5.0},                   // datasurf_values[4800]
        {"entry4_and_5", 3, 5734, 1328, 45800, 4.0},                  // the first entry found wins
        {"microlens_array5", 4, 5288, 1328, 3416, 0.2 + 0.005 * 63},  // param[255]
        {"xy_polynomial3", 2, 935, 1328, 1400, 0.01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        const LoadOutcome outcome = provider.OpenSurfaceDll(LibPath(c.library));
        ASSERT_TRUE(outcome.loaded) << outcome.reason;
        EXPECT_EQ(provider.RecordVersion(), c.version);
        EXPECT_EQ(FixedDataRows(outcome.recordVersion).size(), c.rows);
        const RecordPair& initial = provider.Initial();
        EXPECT_EQ(DoubleAt(initial, c.n1Offset), 1.0);
        EXPECT_EQ(DoubleAt(initial, c.n1Offset + 8), 1.5);
        EXPECT_EQ(DoubleAt(initial, c.n1Offset + 16), 0.25);
        EXPECT_EQ(DoubleAt(initial, c.safeOffset), c.safeValue);
    }
    // Nothing of the previous library's records is left.
    EXPECT_EQ(provider.Initial().Fd3()->datasurf_numvalues, 0);
    EXPECT_EQ(NameOfSurface(), "XY Polynomial");
}

// The whole FIXED_DATA5 record crosses to the library and back, in the helper as in-process: the
// library echoes param[255] (its record's widest element) and its safe data reached param[201].
TEST_F(ProviderTest, AVersion4LibraryGetsAndAnswersItsWholeRecord) {
    for (const bool inProcess : {false, true}) {
        SCOPED_TRACE(inProcess);
        LibraryHostSettings host;
        host.inProcess = inProcess;
        provider.SetLibraryHost(host);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("entry5_only")).loaded);
        ASSERT_EQ(provider.RecordVersion(), kRecordVersion4);
        FIXED_DATA5& initial = *provider.Initial().Fd4();
        EXPECT_EQ(initial.param[201], 5.0);
        EXPECT_EQ(initial.datasurf_numvalues, 4801);
        EXPECT_EQ(initial.n1, 1.0);
        initial.param[255] = 2.0;
        RecordPair& pair = provider.Final();
        CopyRecordPair(pair, provider.Initial());
        EXPECT_EQ(Ask(pair, kRequestSag), 0);
        EXPECT_EQ(pair.ud.sag1, 5.0);
        EXPECT_EQ(pair.ud.udreserved4, 2.0);
        EXPECT_EQ(pair.Fd4()->datasurf_values[4800], 5.0);
        // The tables' "Update 2D" path: the sampler's batch carries the record too.
        provider.RefreshWorkingPair();
        double sag = 0;
        ASSERT_TRUE(provider.SurfaceSampler().Sag(0.5, 0.5, &sag));
        EXPECT_EQ(sag, 5.0);
        EXPECT_EQ(provider.Working().ud.udreserved4, 2.0);
    }
}

// The recording library's statics are read from this process: it runs in-process here.
TEST_F(ProviderTest, LoadSendsSafeDataTwiceAndTheLibraryGetsThePairsOwnRecords) {
    LibraryHostSettings host;
    host.inProcess = true;
    provider.SetLibraryHost(host);
    Recording recording;
    recording.Get<void()>("ResetRecording")();
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("recording_surface3")).loaded);
    auto requests = recording.Get<int(int)>("RecordedRequests");
    EXPECT_EQ(requests(kRequestSafeData), 2);
    EXPECT_EQ(recording.Get<int()>("RecordedGradientQuestions")(), 1);
    // The library saw the defaults at the first request; the built-in surface's param[1] = 5
    // at offset 88 did not survive.
    EXPECT_EQ(recording.Get<double(int)>("RecordedSafeDataField")(0), 1.0);
    EXPECT_EQ(DoubleAt(provider.Initial(), 88), 0.0);

    provider.RefreshWorkingPair();
    double sag = 0;
    ASSERT_TRUE(provider.SurfaceSampler().Sag(2.0, 3.0, &sag));
    auto records = recording.Get<const void*(int)>("RecordedLastRecords");
    EXPECT_EQ(records(0), &provider.Working().ud);
    EXPECT_EQ(records(1), provider.Working().fd);
}

// A library loaded after one of another layout is asked the gradient-index question with its
// own initial records: the final pair no longer holds the previous library's FIXED_DATA, whose
// int_data, db_data and c_data pointed into the library just unloaded. The same for a reload
// that finds another record version. In-process, so the copies the recording library kept are
// read from this process.
TEST_F(ProviderTest, TheGradientQuestionAfterALoadSeesOnlyTheNewLibrarysInitialRecords) {
    LibraryHostSettings host;
    host.inProcess = true;
    provider.SetLibraryHost(host);
    test::TempDir dir;
    const std::string rebuilt = dir.File("surface.so");
    std::filesystem::copy_file(LibPath("pointer_surface3"), rebuilt);
    for (const bool reload : {false, true}) {
        SCOPED_TRACE(reload ? "Reload DLL" : "Open DLL");
        // The previous library's records in the final pair, as after its "Update 2D".
        ASSERT_TRUE(provider.OpenSurfaceDll(reload ? rebuilt : LibPath("pointer_surface3")).loaded);
        ASSERT_NE(provider.Initial().Fd2()->int_data, nullptr);
        ASSERT_EQ(provider.TraceRay(ScriptTraceSettings{}).result, 0);
        ASSERT_NE(provider.Final().Fd2()->db_data, nullptr);

        std::string path = LibPath("recording_surface4");
        if (reload) {
            std::filesystem::copy_file(path, rebuilt + ".new");
            std::filesystem::rename(rebuilt + ".new", rebuilt);
            path = rebuilt;
        }
        DynamicLibrary recording;
        const LoadOutcome outcome =
            reload ? provider.ReloadSurfaceDll() : provider.OpenSurfaceDll(path);
        ASSERT_TRUE(outcome.loaded && outcome.recordsChanged) << outcome.reason;
        ASSERT_EQ(outcome.recordVersion, kRecordVersion3);
        ASSERT_TRUE(recording.Open(path));  // the provider's instance
        EXPECT_EQ(reinterpret_cast<int (*)()>(recording.Symbol("RecordedQuestions"))(), 1);
        auto records =
            reinterpret_cast<const void* (*)(int)>(recording.Symbol("RecordedQuestionRecords"));
        const auto* ud = static_cast<const USER_DATA*>(records(0));
        const auto* fd = static_cast<const FIXED_DATA4*>(records(1));
        const RecordPair& initial = provider.Initial();
        EXPECT_EQ(fd->type, kRequestName);
        EXPECT_EQ(fd->numb, 2);
        // Where the previous layout kept its three pointers the new one has its datasurf values.
        EXPECT_EQ(fd->datasurf_numvalues, 0);
        EXPECT_EQ(fd->datasurf_values[0], 0.0);
        EXPECT_EQ(fd->datasurf_values[1], 0.0);
        const std::size_t skip = 2 * sizeof(int);  // type and numb
        EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(fd) + skip, initial.fd + skip,
                              sizeof(FIXED_DATA4) - skip),
                  0);
        EXPECT_EQ(std::memcmp(ud, &initial.ud, offsetof(USER_DATA, string)), 0);
        EXPECT_EQ(ud->string[0], '\0');
        reinterpret_cast<void (*)()>(recording.Symbol("ResetRecording"))();
        if (!reload) {
            // The rebuilt file starts as the pointer surface again for the reload round.
            provider.ReleaseSurfaceDll();
        }
    }
}

TEST_F(ProviderTest, EveryCallWithoutALibraryAnswersWithTheBuiltInSurfaceAsVersion0) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("xy_polynomial3")).loaded);
    provider.ReleaseSurfaceDll();
    EXPECT_EQ(provider.RecordVersion(), kRecordVersion2);

    RecordPair pair;
    pair.Fd0()->param[3] = pair.Fd0()->param[4] = 2.0;
    EXPECT_EQ(Ask(pair, kRequestName), 0);
    EXPECT_EQ(provider.RecordVersion(), kRecordVersion0);
    EXPECT_STREQ(pair.ud.string, "Even Array");
    pair.Fd0()->param[3] = 0.0;  // no cell width: the built-in surface fails
    EXPECT_EQ(Ask(pair, kRequestSag), -1);
}

TEST_F(ProviderTest, GradientIndexFlagFollowsTheSurfacesAnswer) {
    LoadOutcome outcome = provider.OpenSurfaceDll(LibPath("grin_medium"));
    ASSERT_TRUE(outcome.loaded);
    EXPECT_TRUE(outcome.gradientIndex);
    EXPECT_TRUE(provider.QueryGradientIndex());

    // An earlier answer left in the final pair is no answer to the question.
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("recording_surface3")).loaded);
    EXPECT_FALSE(provider.GradientIndex());
    std::strcpy(provider.Final().ud.string, "XY Polynomial");
    EXPECT_FALSE(provider.QueryGradientIndex());

    // In interpreter mode no surface is called: every call answers -1.
    provider.SetGradientIndex(true);
    provider.SetInterpreterMode(true);
    EXPECT_FALSE(provider.QueryGradientIndex());
    RecordPair pair;
    provider.ReleaseSurfaceDll();
    EXPECT_EQ(Ask(pair, kRequestName), -1);
    EXPECT_EQ(provider.RecordVersion(), kRecordVersion2);  // untouched in interpreter mode
}

// A failed load keeps no library. Without one before, the built-in surface's records (with
// the user's edits) stay; a library loaded before is released and its records, which the
// built-in surface would read through another layout, fall back to the built-in surface's.
TEST_F(ProviderTest, FailedLoadKeepsNoLibraryAndTheBuiltInSurfaceAnswers) {
    for (const std::string& path : {LibPath("no_entry"), LibPath("absent")}) {
        SCOPED_TRACE(path);
        provider.ReleaseSurfaceDll();
        provider.ResetSurfaceRecords();
        provider.Initial().Fd0()->param[1] = 3.0;  // an edit the user made
        RecordPair before;
        CopyRecordPair(before, provider.Initial());
        LoadOutcome outcome = provider.OpenSurfaceDll(path);
        EXPECT_FALSE(outcome.loaded || outcome.recordsChanged || provider.LibraryLoaded());
        EXPECT_EQ(std::memcmp(before.fd, provider.Initial().fd, sizeof before.fd), 0);
        EXPECT_EQ(NameOfSurface(), "Even Array");

        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("xy_polynomial3")).loaded);
        provider.SetGradientIndex(true);
        outcome = provider.OpenSurfaceDll(path);
        EXPECT_TRUE(outcome.recordsChanged);
        EXPECT_FALSE(outcome.loaded || provider.LibraryLoaded() || provider.GradientIndex());
        EXPECT_EQ(provider.RecordVersion(), kRecordVersion0);
        EXPECT_EQ(provider.Initial().Fd0()->param[3], 2.0);
        EXPECT_EQ(DoubleAt(provider.Initial(), 1376 + 3 * 8), 0.0);  // old param[3]
        EXPECT_EQ(NameOfSurface(), "Even Array");
    }
}

TEST_F(ProviderTest, TraceRayRunsRequest5OnACopyOfTheInitialPair) {
    std::memset(provider.Final().fd, 0x7f, sizeof provider.Final().fd);
    TraceOutcome outcome = provider.TraceRay(ScriptTraceSettings{});
    RecordPair& initial = provider.Initial();
    RecordPair& final = provider.Final();
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.statusText, "RayTrace : return code = 0");
    EXPECT_EQ(initial.Type(), kRequestSafeData);  // the initial pair is not touched
    EXPECT_EQ(final.Type(), kRequestRealTrace);
    EXPECT_EQ(std::memcmp(initial.fd + 4, final.fd + 4, sizeof final.fd - 4), 0);
    const double ray3d[9] = {initial.ud.l, initial.ud.m, initial.ud.n, final.ud.l, final.ud.m,
                             final.ud.n,   final.ud.x,   final.ud.y,   final.ud.z};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(outcome.ray3d[i], static_cast<float>(ray3d[i])) << i;
}

// The example sphere (curvature 0.25) meets a ray at the cap near the vertex whichever way
// the ray runs along z, never at the far side of the sphere.
TEST_F(ProviderTest, ExampleSphereTracesRaysEitherWayToTheNearCrossing) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("apertured_sphere")).loaded);
    const double sag = 0.25 * 0.25 / (1 + std::sqrt(1 - 0.0625 * 0.25));
    for (double n : {1.0, -1.0}) {
        USER_DATA& ray = provider.Initial().ud;
        std::tie(ray.x, ray.y, ray.l, ray.m, ray.n) = std::tuple(0.5, 0.0, 0.0, 0.0, n);
        ASSERT_EQ(provider.TraceRay(ScriptTraceSettings{}).result, 0) << n;
        EXPECT_NEAR(provider.Final().ud.z, sag, 1e-12) << n;
        EXPECT_NEAR(provider.Final().ud.path, n * sag, 1e-12) << n;
    }
}

// A surface that answers 0 with a value that is no number fails the sample, as a non-zero
// answer does, one point at a time and in passes, in-process and through the helper; the
// failed value is still handed back to the single samples. At (0, 0) every value is fine, at
// (6, 0) the sag and the index are NaN, at (0, 6) the sag is infinite and dn/dz is -infinite,
// at (-6, 0) the library answers 1.
TEST_F(ProviderTest, ValuesThatAreNoNumbersFailTheSampleAndTheRay) {
    const double inf = std::numeric_limits<double>::infinity();
    const double xs[] = {0, 6, 0, -6}, ys[] = {0, 0, 6, 0}, zs[] = {0, 0, 0, 0};
    const bool fine[] = {true, false, false, false};
    for (const bool inProcess : {true, false}) {
        SCOPED_TRACE(inProcess ? "in-process" : "helper");
        LibraryHostSettings host;
        host.inProcess = inProcess;
        provider.SetLibraryHost(host);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("nonfinite_surface")).loaded);
        provider.RefreshWorkingPair();
        Sampler& sampler = provider.SurfaceSampler();

        double sag[4] = {7, 7, 7, 7};
        IndexSample index[4];
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(sampler.Sag(xs[i], ys[i], &sag[i]), fine[i]) << i;
            EXPECT_EQ(sampler.Index(xs[i], ys[i], zs[i], &index[i]), fine[i]) << i;
        }
        EXPECT_EQ(sag[0], 0.25);
        EXPECT_TRUE(std::isnan(sag[1]));
        EXPECT_EQ(sag[2], inf);
        EXPECT_EQ(sag[3], 7.0);  // an ordinary failure writes nothing
        EXPECT_TRUE(std::isnan(index[1].index));
        EXPECT_EQ(index[2].index, 1.5);
        EXPECT_EQ(index[2].dndz, -inf);

        bool ok[4] = {};
        sampler.SagBatch(4, xs, ys, sag, ok);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(ok[i], fine[i]) << "sag pass " << i;
        sampler.IndexBatch(4, xs, ys, zs, index, ok);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(ok[i], fine[i]) << "index pass " << i;
        SampleRequest requests[8];
        SampleAnswer answers[8];
        for (int i = 0; i < 4; ++i) {
            requests[2 * i] = {SampleRequest::kSag, xs[i], ys[i], 0};
            requests[2 * i + 1] = {SampleRequest::kIndex, xs[i], ys[i], zs[i]};
        }
        sampler.SampleBatch(8, requests, answers);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(answers[i].ok, fine[i / 2]) << "view pass " << i;

        // The ray from x = 6 comes back answered 0 with z NaN: a failed ray with the library's
        // code, drawn in the 3D window from its start point.
        EXPECT_TRUE(provider.TraceRay(ScriptTraceSettings{}).traced);
        provider.Initial().ud.x = 6;
        const TraceOutcome outcome = provider.TraceRay(ScriptTraceSettings{});
        EXPECT_EQ(outcome.result, 0);
        EXPECT_FALSE(outcome.traced || provider.LastTraceSucceeded());
        EXPECT_EQ(outcome.statusText, "RayTrace : return code = 0 (error)");
        EXPECT_EQ(outcome.rayState3d, 1);
        EXPECT_EQ(outcome.ray3d[6], 6.0f);
        EXPECT_EQ(outcome.ray3d[8], static_cast<float>(provider.Initial().ud.z));
        provider.Initial().ud.x = 1;
    }

    // A script whose z is infinite or NaN, which the executor counts as no fault: (0, 0) gives
    // 0, (1, 0) infinity, (0, 1) infinity times 0.
    engine.Compile("z = x * 1e308 * 10.0 + exp(y * 1000.0) * 0.0;");
    provider.SetInterpreterMode(true);
    Sampler& sampler = provider.SurfaceSampler();
    double z[3] = {7, 7, 7};
    EXPECT_TRUE(sampler.Sag(0, 0, &z[0]));
    EXPECT_FALSE(sampler.Sag(1, 0, &z[1]));
    EXPECT_FALSE(sampler.Sag(0, 1, &z[2]));
    EXPECT_EQ(z[1], inf);
    EXPECT_TRUE(std::isnan(z[2]));
    const double sx[] = {0, 1, 0}, sy[] = {0, 0, 1};
    bool ok[3] = {};
    sampler.SagBatch(3, sx, sy, z, ok);
    EXPECT_TRUE(ok[0] && !ok[1] && !ok[2]);
}

TEST(DynamicLibraryTest, FindsNothingByOrdinalAndNoSystemLibraryByBareName) {
    DynamicLibrary library;
    ASSERT_TRUE(library.Open(LibPath("dual_entry"))) << library.Error();
    EXPECT_EQ(library.SymbolByOrdinal(1), nullptr);
    // A bare file name is a file in the working directory, never a system library.
    EXPECT_FALSE(library.Open("libm.so.6"));
    EXPECT_FALSE(library.Error().empty());
}

// The loader's search also finds names exported by the libraries a library depends on: the
// surface's entry point (and its DllMain) is taken from the library itself only, in-process and
// in the helper. The dependency's DllMain would refuse the load.
TEST_F(ProviderTest, TheEntryPointComesFromTheLibraryItselfNotFromItsDependencies) {
    DynamicLibrary library;
    ASSERT_TRUE(library.Open(LibPath("entry4_over_dependency"))) << library.Error();
    EXPECT_NE(library.Symbol("UserDefinedSurface"), nullptr);
    EXPECT_EQ(library.OwnSymbol("UserDefinedSurface"), nullptr);
    EXPECT_NE(library.OwnSymbol("UserDefinedSurface4"), nullptr);
    EXPECT_NE(library.Symbol("DllMain"), nullptr);
    for (const bool inProcess : {true, false}) {
        SCOPED_TRACE(inProcess);
        LibraryHostSettings host;
        host.inProcess = inProcess;
        provider.SetLibraryHost(host);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("entry4_over_dependency")).loaded);
        EXPECT_EQ(provider.RecordVersion(), kRecordVersion3);
        provider.RefreshWorkingPair();
        double sag = 0;
        ASSERT_TRUE(provider.SurfaceSampler().Sag(0.0, 0.0, &sag));
        EXPECT_EQ(sag, 0.5);  // from the dependency's DependencyValue, through the right entry
    }
}

// windows_style.so, built from a source written for Windows with the README's command: its
// DllMain makes the parameter names when it is attached and logs both calls; it runs where the
// library runs, in the helper or in this process.
TEST_F(ProviderTest, ALibraryWrittenForWindowsIsAttachedAndDetachedAsWindowsWould) {
    test::TempDir dir;
    const std::string log = dir.File("dllmain.log");
    ASSERT_EQ(::setenv("VELMOR_DLLMAIN_LOG", log.c_str(), 1), 0);
    for (const bool inProcess : {false, true}) {
        SCOPED_TRACE(inProcess);
        LibraryHostSettings host;
        host.inProcess = inProcess;
        provider.SetLibraryHost(host);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("windows_style")).loaded);
        EXPECT_EQ(provider.RecordVersion(), kRecordVersion4);
        EXPECT_EQ(test::ReadFile(log), "attach\n");
        EXPECT_EQ(NameOfSurface(), "Windows Style");
        const struct {
            int numb;
            const char* name;
        } names[] = {{0, ""}, {247, ""}, {248, "Coeff on r 2"}, {255, "Coeff on r 16"}};
        for (const auto& [numb, name] : names) {
            RecordPair& pair = provider.Final();
            CopyRecordPair(pair, provider.Initial());
            EXPECT_EQ(Ask(pair, kRequestParamName, numb), 0);
            EXPECT_STREQ(pair.ud.string, name) << numb;
        }
        RecordPair& pair = provider.Final();
        CopyRecordPair(pair, provider.Initial());
        pair.Fd4()->param[255] = 1e-6;
        pair.ud.x = 1.0;
        pair.ud.y = 2.0;
        ASSERT_EQ(Ask(pair, kRequestSag), 0);
        const double r2 = 5.0, c = 0.25;
        EXPECT_DOUBLE_EQ(pair.ud.sag1, c * r2 / (1 + std::sqrt(1 - c * c * r2)) + 0.01 * r2 +
                                           1e-6 * std::pow(r2, 8));
        EXPECT_EQ(Ask(pair, kRequestParamName, 256), -1);  // its message box answered
        provider.ReleaseSurfaceDll();
        EXPECT_EQ(test::ReadFile(log), "attach\ndetach\n");
        std::remove(log.c_str());
    }
    // Two openings of one file in a process are one load: attached once, detached at the last.
    {
        DynamicLibrary first, second;
        ASSERT_TRUE(first.Open(LibPath("windows_style")));
        ASSERT_TRUE(second.Open(LibPath("windows_style")));
        first.Close();
        EXPECT_EQ(test::ReadFile(log), "attach\n");
    }
    EXPECT_EQ(test::ReadFile(log), "attach\ndetach\n");
    ::unsetenv("VELMOR_DLLMAIN_LOG");
}

// FALSE from DllMain's attach call fails the load, in the helper as in-process: the library is
// told it goes and unloaded, and the built-in surface answers.
TEST_F(ProviderTest, ADllMainThatRefusesFailsTheLoad) {
    for (const bool inProcess : {false, true}) {
        SCOPED_TRACE(inProcess);
        LibraryHostSettings host;
        host.inProcess = inProcess;
        provider.SetLibraryHost(host);
        const LoadOutcome outcome = provider.OpenSurfaceDll(LibPath("dllmain_refuses"));
        EXPECT_FALSE(outcome.loaded || provider.LibraryLoaded());
        EXPECT_FALSE(outcome.fault.has_value());
        EXPECT_NE(outcome.reason.find("DllMain answered FALSE"), std::string::npos)
            << outcome.reason;
        EXPECT_EQ(NameOfSurface(), "Even Array");
    }
}

TEST_F(ProviderTest, SamplerSagThroughTheWorkingPair) {
    provider.RefreshWorkingPair();
    provider.Working().ud.z = 0.75;
    double sag = -1;
    // (1.2, 0) lies in the cell centred at (2, 0): a sphere of curvature 0.25 at r = 0.8.
    ASSERT_TRUE(provider.SurfaceSampler().Sag(1.2, 0.0, &sag));
    EXPECT_NEAR(sag, 0.25 * 0.64 / (1 + std::sqrt(1 - 0.0625 * 0.64)), 1e-15);
    EXPECT_EQ(provider.Working().ud.z, 0.75);  // a sag sample writes only x and y
    provider.Working().Fd0()->param[3] = 0.0;  // no cell width: every sample fails
    EXPECT_FALSE(provider.SurfaceSampler().Sag(0.0, 0.0, &sag));
}

}  // namespace
}  // namespace velmor
