#include "surface/provider.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "interp/script_engine.h"
#include "surface/dynamic_library.h"
#include "surface/row_catalogue.h"

namespace velmor {
namespace {

std::string LibPath(const char* name) {
    return std::string(VELMOR_LIB_DIR) + "/" + name + ".so";
}

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

// The recording library's own view of what it received. Opening it again shares the
// instance the provider loaded.
class Recording {
public:
    Recording() {
        EXPECT_TRUE(m_library.Open(LibPath("recording_surface3")));
        m_requests = reinterpret_cast<int (*)(int)>(m_library.Symbol("RecordedRequests"));
        m_questions = reinterpret_cast<int (*)()>(m_library.Symbol("RecordedGradientQuestions"));
        m_field = reinterpret_cast<double (*)(int)>(m_library.Symbol("RecordedSafeDataField"));
        m_records = reinterpret_cast<const void* (*)(int)>(m_library.Symbol("RecordedLastRecords"));
        m_reset = reinterpret_cast<void (*)()>(m_library.Symbol("ResetRecording"));
    }
    int Requests(int type) { return m_requests(type); }
    int GradientQuestions() { return m_questions(); }
    double SafeDataField(int i) { return m_field(i); }
    const void* LastRecords(int i) { return m_records(i); }
    void Reset() { m_reset(); }

private:
    DynamicLibrary m_library;
    int (*m_requests)(int) = nullptr;
    int (*m_questions)() = nullptr;
    double (*m_field)(int) = nullptr;
    const void* (*m_records)(int) = nullptr;
    void (*m_reset)() = nullptr;
};

TEST_F(ProviderTest, StartsWithTheBuiltInSurfaceAndDefaultRecords) {
    EXPECT_FALSE(provider.LibraryLoaded());
    EXPECT_EQ(provider.RecordVersion(), kRecordVersion0);
    const RecordPair& initial = provider.Initial();
    EXPECT_EQ(initial.ud.x, 1.0);
    EXPECT_EQ(initial.ud.y, -0.5);
    EXPECT_EQ(initial.ud.l, -0.25);
    EXPECT_EQ(initial.ud.m, 0.2);
    EXPECT_EQ(initial.ud.n, 0.947);
    EXPECT_EQ(initial.Fd0()->n1, 1.0);
    EXPECT_EQ(initial.Fd0()->n2, 1.5);
    EXPECT_EQ(initial.Fd0()->cv, 0.25);
    EXPECT_EQ(initial.Fd0()->surf, 3);
    EXPECT_EQ(initial.Fd0()->wave, 1);
    // The built-in surface's safe data: 5 by 5 cells of 0.5 / cv.
    EXPECT_EQ(initial.Fd0()->param[1], 5.0);
    EXPECT_EQ(initial.Fd0()->param[3], 2.0);
    EXPECT_EQ(NameOfSurface(), "Even Array");
    EXPECT_FALSE(provider.QueryGradientIndex());
}

// Each entry point brings its record version, its table rows and its FIXED_DATA layout: the
// defaults and the library's safe data land at that version's offsets.
TEST_F(ProviderTest, LoadingDetectsTheRecordVersionFromTheEntryPoint) {
    struct Case {
        const char* library;
        int version;
        size_t rows;
        int n1Offset;
    };
    const Case cases[] = {
        {"even_asphere", 0, 227, 32},     {"entry2_only", 1, 306, 40},
        {"xy_polynomial3", 2, 935, 1328}, {"entry4_only", 3, 5734, 1328},
        {"dual_entry", 0, 227, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library);
        const LoadOutcome outcome = provider.OpenSurfaceDll(LibPath(c.library));
        ASSERT_TRUE(outcome.loaded) << outcome.reason;
        EXPECT_TRUE(outcome.recordsChanged);
        EXPECT_EQ(outcome.recordVersion, c.version);
        EXPECT_EQ(provider.RecordVersion(), c.version);
        EXPECT_EQ(FixedDataRows(outcome.recordVersion).size(), c.rows);
        const RecordPair& initial = provider.Initial();
        EXPECT_EQ(DoubleAt(initial, c.n1Offset), 1.0);
        EXPECT_EQ(DoubleAt(initial, c.n1Offset + 8), 1.5);
        EXPECT_EQ(DoubleAt(initial, c.n1Offset + 16), 0.25);
        EXPECT_EQ(initial.Fd0()->numb, 0);
        EXPECT_EQ(initial.Fd0()->surf, 3);
        EXPECT_EQ(initial.Fd0()->wave, 1);
        EXPECT_EQ(initial.Fd0()->type, kRequestSafeData);
    }
}

TEST_F(ProviderTest, SafeDataLandsInTheLayoutOfTheVersion) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("entry2_only")).loaded);
    EXPECT_EQ(provider.Initial().Fd1()->param[50], 2.0);
    EXPECT_STREQ(provider.Initial().Fd1()->glass, "N-BK7");

    // The last double of FIXED_DATA4 is inside the pair.
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("entry4_only")).loaded);
    EXPECT_EQ(provider.Initial().Fd3()->datasurf_numvalues, 4801);
    EXPECT_EQ(provider.Initial().Fd3()->datasurf_values[4800], 4.0);

    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("xy_polynomial3")).loaded);
    EXPECT_EQ(provider.Initial().Fd2()->param[3], 0.01);
    EXPECT_EQ(provider.Initial().Fd2()->param[5], -0.01);
    // Nothing of the previous library's records is left: the new tables start empty.
    EXPECT_EQ(provider.Initial().Fd3()->datasurf_numvalues, 0);
    EXPECT_EQ(NameOfSurface(), "XY Polynomial");
}

TEST_F(ProviderTest, LibraryWithTwoEntriesIsUsedThroughTheFirst) {
    const LoadOutcome outcome = provider.OpenSurfaceDll(LibPath("dual_entry"));
    ASSERT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.recordVersion, kRecordVersion0);
    EXPECT_EQ(provider.Initial().Fd0()->param[1], 3.0);
    EXPECT_EQ(provider.Initial().Fd3()->param[1], 0.0);
    EXPECT_EQ(provider.Initial().Fd0()->cv, 0.25);
}

TEST_F(ProviderTest, LoadSendsSafeDataTwiceWithTheDefaultsInPlace) {
    Recording recording;
    recording.Reset();
    const LoadOutcome outcome = provider.OpenSurfaceDll(LibPath("recording_surface3"));
    ASSERT_TRUE(outcome.loaded);
    EXPECT_EQ(outcome.recordVersion, kRecordVersion2);
    EXPECT_EQ(FixedDataRows(outcome.recordVersion).size(), 935u);
    EXPECT_EQ(recording.Requests(kRequestSafeData), 2);
    EXPECT_EQ(recording.GradientQuestions(), 1);
    EXPECT_EQ(recording.Requests(kRequestName), 1);
    for (int type : {1, 2, 3, 4, 5, 6, 8}) EXPECT_EQ(recording.Requests(type), 0) << type;
    // The library saw the defaults of version 2 at the first request.
    EXPECT_EQ(recording.SafeDataField(0), 1.0);
    EXPECT_EQ(recording.SafeDataField(1), 1.5);
    EXPECT_EQ(recording.SafeDataField(2), 0.25);
    EXPECT_EQ(recording.SafeDataField(3), 0.0);
    // ... and they stay at 1328, 1336, 1344.
    EXPECT_EQ(DoubleAt(provider.Initial(), 1328), 1.0);
    EXPECT_EQ(DoubleAt(provider.Initial(), 1336), 1.5);
    EXPECT_EQ(DoubleAt(provider.Initial(), 1344), 0.25);
    // The built-in surface's safe data (param[1] = 5 at offset 88) did not survive the load.
    EXPECT_EQ(DoubleAt(provider.Initial(), 88), 0.0);
    EXPECT_FALSE(outcome.gradientIndex);
}

TEST_F(ProviderTest, LibraryReceivesThePairsOwnRecords) {
    Recording recording;
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("recording_surface3")).loaded);
    provider.RefreshWorkingPair();
    double sag = 0;
    ASSERT_TRUE(provider.SurfaceSampler().Sag(2.0, 3.0, &sag));
    EXPECT_EQ(sag, 6.0);
    EXPECT_EQ(recording.LastRecords(0), &provider.Working().ud);
    EXPECT_EQ(recording.LastRecords(1), provider.Working().fd);
}

TEST_F(ProviderTest, EveryCallWithoutALibraryAnswersWithTheBuiltInSurfaceAsVersion0) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("xy_polynomial3")).loaded);
    ASSERT_EQ(provider.RecordVersion(), kRecordVersion2);
    provider.ReleaseSurfaceDll();
    EXPECT_FALSE(provider.LibraryLoaded());

    RecordPair pair;
    pair.Fd0()->cv = 0.25;
    pair.Fd0()->param[3] = 2.0;
    pair.Fd0()->param[4] = 2.0;
    pair.ud.x = 5.5;  // outside the built-in array: sag 0, result 0
    pair.ud.sag1 = 9.0;
    EXPECT_EQ(Ask(pair, kRequestSag), 0);
    EXPECT_EQ(provider.RecordVersion(), kRecordVersion0);
    EXPECT_EQ(pair.ud.sag1, 0.0);

    pair.Fd0()->param[3] = 0.0;  // no cell width: the built-in surface fails
    EXPECT_EQ(Ask(pair, kRequestSag), -1);
    EXPECT_EQ(Ask(pair, kRequestName), 0);
    EXPECT_STREQ(pair.ud.string, "Even Array");
}

TEST_F(ProviderTest, InterpreterModeCallsNothing) {
    Recording recording;
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("recording_surface3")).loaded);
    recording.Reset();
    provider.SetInterpreterMode(true);
    RecordPair pair;
    EXPECT_EQ(Ask(pair, kRequestSag), -1);
    EXPECT_EQ(Ask(pair, kRequestName, 2), -1);
    EXPECT_FALSE(provider.QueryGradientIndex());
    EXPECT_EQ(recording.Requests(kRequestSag) + recording.Requests(kRequestName), 0);
    EXPECT_EQ(provider.RecordVersion(), kRecordVersion2);

    provider.ReleaseSurfaceDll();
    EXPECT_EQ(Ask(pair, kRequestSag), -1);
    EXPECT_EQ(provider.RecordVersion(), kRecordVersion2);  // untouched in interpreter mode
}

TEST_F(ProviderTest, GradientIndexFlagFollowsTheSurfacesAnswer) {
    LoadOutcome outcome = provider.OpenSurfaceDll(LibPath("grin_medium"));
    ASSERT_TRUE(outcome.loaded);
    EXPECT_TRUE(outcome.gradientIndex);
    EXPECT_TRUE(provider.GradientIndex());
    EXPECT_TRUE(provider.QueryGradientIndex());
    EXPECT_EQ(provider.Final().Type(), kRequestName);
    EXPECT_EQ(provider.Final().Numb(), 2);

    outcome = provider.OpenSurfaceDll(LibPath("even_asphere"));
    ASSERT_TRUE(outcome.loaded);
    EXPECT_FALSE(outcome.gradientIndex);
    EXPECT_FALSE(provider.GradientIndex());

    provider.SetGradientIndex(true);
    provider.SetInterpreterMode(true);
    EXPECT_FALSE(provider.QueryGradientIndex());
    EXPECT_FALSE(provider.GradientIndex());
}

TEST_F(ProviderTest, SurfaceThatLeavesTheQuestionUnansweredIsNoGradientIndexMedium) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("recording_surface3")).loaded);
    // An earlier answer ("Call DLL" with a name request, say) is still in the final pair.
    std::strcpy(provider.Final().ud.string, "XY Polynomial");
    EXPECT_FALSE(provider.QueryGradientIndex());
}

class FailedLoadTest : public ProviderTest {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("velmor_provider_" + std::to_string(getpid()));
        std::filesystem::create_directories(m_dir);
        std::ofstream(m_dir / "notes.so") << "not a library\n";
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::vector<std::string> BadFiles() const {
        return {LibPath("no_entry"), (m_dir / "notes.so").string(), (m_dir / "absent.so").string()};
    }
    std::filesystem::path m_dir;
};

TEST_F(FailedLoadTest, BuiltInSurfaceKeepsAnsweringAndItsRecordsStay) {
    for (const std::string& path : BadFiles()) {
        SCOPED_TRACE(path);
        provider.Initial().Fd0()->param[1] = 3.0;  // an edit the user made
        RecordPair before;
        CopyRecordPair(before, provider.Initial());

        const LoadOutcome outcome = provider.OpenSurfaceDll(path);
        EXPECT_FALSE(outcome.loaded);
        EXPECT_FALSE(outcome.recordsChanged);
        EXPECT_FALSE(outcome.reason.empty());
        EXPECT_FALSE(provider.LibraryLoaded());
        EXPECT_EQ(provider.LibraryPath(), path);
        EXPECT_EQ(std::memcmp(&before.ud, &provider.Initial().ud, sizeof before.ud), 0);
        EXPECT_EQ(std::memcmp(before.fd, provider.Initial().fd, sizeof before.fd), 0);
        EXPECT_EQ(NameOfSurface(), "Even Array");
        EXPECT_EQ(provider.RecordVersion(), kRecordVersion0);
    }
}

// The library loaded before is released first; its records would be read by the built-in
// surface through another layout, so they fall back to the built-in surface's.
TEST_F(FailedLoadTest, ReleasesThePreviousLibraryAndFallsBackToTheBuiltInSurface) {
    for (const std::string& path : BadFiles()) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("grin_medium")).loaded);
        ASSERT_TRUE(provider.GradientIndex());
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("xy_polynomial3")).loaded);
        provider.SetGradientIndex(true);

        const LoadOutcome outcome = provider.OpenSurfaceDll(path);
        EXPECT_FALSE(outcome.loaded);
        EXPECT_TRUE(outcome.recordsChanged);
        EXPECT_EQ(outcome.recordVersion, kRecordVersion0);
        EXPECT_FALSE(outcome.gradientIndex);
        EXPECT_FALSE(provider.GradientIndex());
        EXPECT_FALSE(provider.LibraryLoaded());
        EXPECT_EQ(provider.RecordVersion(), kRecordVersion0);
        const FIXED_DATA& fd = *provider.Initial().Fd0();
        EXPECT_EQ(fd.cv, 0.25);
        EXPECT_EQ(fd.param[1], 5.0);
        EXPECT_EQ(fd.param[3], 2.0);
        EXPECT_EQ(DoubleAt(provider.Initial(), 1376 + 3 * 8), 0.0);  // old param[3]
        EXPECT_EQ(NameOfSurface(), "Even Array");
    }
}

TEST_F(ProviderTest, ResetWritesTheDefaultsAtTheVersionsOffsets) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("entry2_only")).loaded);
    RecordPair& initial = provider.Initial();
    initial.ud.x = 7.0;
    initial.ud.index = 3.0;
    std::strcpy(initial.ud.string, "old");
    initial.Fd1()->n1 = 9.0;
    initial.Fd1()->k = -1.0;
    initial.Fd1()->param[0] = 4.0;  // the library's safe data does not touch it
    initial.Fd1()->surf = 8;

    provider.ResetSurfaceRecords();
    EXPECT_EQ(initial.ud.x, 1.0);
    EXPECT_EQ(initial.ud.index, 0.0);
    EXPECT_EQ(initial.ud.string[0], '\0');
    EXPECT_EQ(DoubleAt(initial, 40), 1.0);
    EXPECT_EQ(DoubleAt(initial, 48), 1.5);
    EXPECT_EQ(DoubleAt(initial, 56), 0.25);
    EXPECT_EQ(DoubleAt(initial, 80), 0.0);
    EXPECT_EQ(initial.Fd1()->surf, 3);
    EXPECT_EQ(initial.Fd1()->param[0], 4.0);
    EXPECT_EQ(initial.Fd1()->param[50], 2.0);
}

TEST_F(ProviderTest, TraceRayRunsRequest5OnACopyOfTheInitialPair) {
    std::memset(provider.Final().fd, 0x7f, sizeof provider.Final().fd);
    const TraceOutcome outcome = provider.TraceRay(ScriptTraceSettings{});
    const RecordPair& initial = provider.Initial();
    const RecordPair& final = provider.Final();
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.statusText, "RayTrace : return code = 0");
    EXPECT_EQ(outcome.rayState3d, 2);
    EXPECT_TRUE(provider.LastTraceSucceeded());
    EXPECT_EQ(initial.Type(), kRequestSafeData);  // the initial pair is not touched
    EXPECT_EQ(final.Type(), kRequestRealTrace);
    EXPECT_EQ(std::memcmp(initial.fd + 4, final.fd + 4, sizeof final.fd - 4), 0);

    // The built-in surface refracted the default ray at the lenslet around the origin.
    EXPECT_NE(final.ud.l, initial.ud.l);
    EXPECT_NE(final.ud.z, 0.0);
    const double* ray = provider.LastRay();
    const double expected[6] = {final.ud.x, final.ud.y, final.ud.z,
                                final.ud.l, final.ud.m, final.ud.n};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ray[i], expected[i]) << i;
    const double ray3d[9] = {initial.ud.l, initial.ud.m, initial.ud.n, final.ud.l, final.ud.m,
                             final.ud.n,   final.ud.x,   final.ud.y,   final.ud.z};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(outcome.ray3d[i], static_cast<float>(ray3d[i])) << i;
}

TEST_F(ProviderTest, FailedTraceReportsTheLibrarysCode) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("apertured_sphere")).loaded);
    TraceOutcome outcome = provider.TraceRay(ScriptTraceSettings{});
    ASSERT_EQ(outcome.result, 0);  // (1, -0.5) lies inside the safe aperture of 2

    provider.Initial().ud.x = 3.0;
    outcome = provider.TraceRay(ScriptTraceSettings{});
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.statusText, "RayTrace : return code = -1 (error)");
    EXPECT_EQ(outcome.rayState3d, 1);
    EXPECT_FALSE(provider.LastTraceSucceeded());
    EXPECT_EQ(provider.LastRay()[0], 3.0);  // whatever the library left

    // Total internal reflection in the built-in surface answers minus the surface number.
    provider.ReleaseSurfaceDll();
    provider.ResetSurfaceRecords();
    WriteN1(provider.Initial(), kRecordVersion0, 1.5);
    WriteN2(provider.Initial(), kRecordVersion0, 1.0);
    provider.Initial().ud.l = -0.9;  // 64 degrees off the axis: beyond the critical angle
    provider.Initial().ud.m = 0.0;
    provider.Initial().ud.n = std::sqrt(1 - 0.9 * 0.9);
    outcome = provider.TraceRay(ScriptTraceSettings{});
    EXPECT_EQ(outcome.result, -3);
    EXPECT_EQ(outcome.statusText, "RayTrace : return code = -3 (error)");
}

}  // namespace
}  // namespace velmor
