// Records behind fences, answers checked against what the helper wrote, and the helper's
// channels: real libraries that write past and before their records, over the shared area and
// into the pipes, each ending as a fault that says what happened, with no number of the
// request shown as valid and the good answers before it kept; a reload mends.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/host/guarded_library.h"
#include "core/host/library_host_settings.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "test_paths.h"

namespace velmor {
namespace {

using test::LibPath;

double Paraboloid(double x, double y) {
    return 0.25 * (x * x + y * y);
}

class FenceTest : public ::testing::Test {
protected:
    FenceTest() { Settings(true); }

    void Settings(bool fences) {
        LibraryHostSettings settings;
        settings.limits.timeoutSeconds = 60;
        settings.limits.memoryMb = 512;
        settings.limits.fences = fences;
        provider.SetLibraryHost(settings);
    }

    // The sag at x = 0, 0.25, ... (n points) on the line y: what each sample gave.
    struct Line {
        std::vector<double> z;
        std::vector<char> ok;  // the samples' flags as bytes
    };
    Line SampleLine(double y, std::size_t n) {
        std::vector<double> x(n), ys(n, y);
        for (std::size_t i = 0; i < n; ++i) x[i] = 0.25 * static_cast<double>(i);
        Line line;
        line.z.assign(n, 0);
        auto ok = std::make_unique<bool[]>(n);
        provider.RefreshWorkingPair();
        EXPECT_EQ(
            provider.SurfaceSampler().SagBatch(n, x.data(), ys.data(), line.z.data(), ok.get()), n);
        for (std::size_t i = 0; i < n; ++i) line.ok.push_back(ok[i] ? 1 : 0);
        return line;
    }

    CScriptEngine engine;
    CSurfaceProvider provider{engine};
};

// Each way the fence library misbehaves in its sag for x > 0.5 (the point's y chooses it), for
// the records of version 0 and 4: the fault names the record, the byte and the access, the three
// answers before it stand, none after it, and a reload mends.
TEST_F(FenceTest, EveryOverrunIsANamedFaultThatKeepsTheAnswersBeforeIt) {
    const struct {
        int y;
        FaultRecord record;
        long long offset0, offset4;  // FIXED_DATA (1816 bytes), FIXED_DATA5 (42240 bytes)
        FaultAccess access;
    } cases[] = {
        {0, FaultRecord::kUserData, 192, 192, FaultAccess::kWrite},  // 1 byte past
        {1, FaultRecord::kUserData, 192, 192, FaultAccess::kWrite},  // 8 bytes past
        {2, FaultRecord::kUserData, 192, 192, FaultAccess::kWrite},  // 65536 bytes past
        {3, FaultRecord::kFixedData, 1816, 42240, FaultAccess::kWrite},
        {4, FaultRecord::kFixedData, 1816, 42240, FaultAccess::kWrite},
        {5, FaultRecord::kFixedData, 1816, 42240, FaultAccess::kWrite},
        {6, FaultRecord::kUserData, -8, -8, FaultAccess::kWrite},  // into the pattern before it
        {7, FaultRecord::kFixedData, 1816, 42240, FaultAccess::kRead},
        {8, FaultRecord::kFixedData, -4096, -4096, FaultAccess::kWrite},
        {9, FaultRecord::kUserData, -4096, -4096, FaultAccess::kRead},
    };
    for (const char* library : {"fence_overrun", "fence_overrun5"}) {
        const bool v4 = std::string(library) == "fence_overrun5";
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(library) + " y " + std::to_string(c.y));
            ASSERT_TRUE(provider.OpenSurfaceDll(LibPath(library)).loaded);
            const Line line = SampleLine(c.y, 6);
            for (int i = 0; i < 3; ++i) {
                EXPECT_TRUE(line.ok[i] && line.z[i] == Paraboloid(0.25 * i, c.y)) << i;
            }
            for (int i = 3; i < 6; ++i) EXPECT_FALSE(line.ok[i]) << i;
            ASSERT_TRUE(provider.LibraryFaulted());
            const LibraryFault& fault = *provider.LastLibraryFault();
            EXPECT_EQ(fault.kind, LibraryFaultKind::kRecordOverrun) << fault.Describe();
            EXPECT_EQ(fault.record, c.record);
            EXPECT_EQ(fault.offset, v4 ? c.offset4 : c.offset0);
            EXPECT_EQ(fault.recordBytes, c.record == FaultRecord::kUserData ? 192u
                                         : v4                               ? 42240u
                                                                            : 1816u);
            EXPECT_EQ(fault.access, c.access);
            EXPECT_TRUE(fault.x == 0.75 && fault.y == c.y && fault.requestName == "sag");
            EXPECT_EQ(fault.Short(), "record overrun in sag");
            // Reload mends: the same library answers where it behaves.
            ASSERT_TRUE(provider.ReloadSurfaceDll().loaded);
            EXPECT_FALSE(provider.LibraryFaulted());
            double sag = 0;
            provider.RefreshWorkingPair();
            EXPECT_TRUE(provider.SurfaceSampler().Sag(0.25, c.y, &sag));
            EXPECT_EQ(sag, Paraboloid(0.25, c.y));
        }
    }
    // The message as the window and the command line show it.
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("fence_overrun")).loaded);
    SampleLine(0, 4);
    EXPECT_EQ(provider.LastLibraryFault()->Describe(),
              "wrote past the end of USER_DATA (byte 192 of a 192-byte record) in sag (type 3, "
              "numb 0) at x 0.75, y 0, z 0, l -0.25, m 0.2, n 0.947");
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("fence_overrun")).loaded);
    SampleLine(7, 4);
    EXPECT_EQ(provider.LastLibraryFault()->What(),
              "read past the end of FIXED_DATA (byte 1816 of a 1816-byte record)");
}

// A single call is fenced as a batch's are; a write into USER_DATA's own padding is no fault.
TEST_F(FenceTest, SingleCallsAreFencedAndThePaddingIsTheRecordsOwn) {
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("fence_overrun")).loaded);
    const Line padding = SampleLine(10, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(padding.ok[i] && padding.z[i] == Paraboloid(0.25 * i, 10));
    EXPECT_FALSE(provider.LibraryFaulted());
    RecordPair& pair = provider.Final();
    CopyRecordPair(pair, provider.Initial());
    pair.Type() = kRequestSag;
    pair.ud.x = 1;
    pair.ud.y = 3;
    EXPECT_EQ(provider.CallSurface(pair), -1);
    ASSERT_TRUE(provider.LibraryFaulted());
    EXPECT_EQ(provider.LastLibraryFault()->kind, LibraryFaultKind::kRecordOverrun);
    EXPECT_EQ(provider.LastLibraryFault()->record, FaultRecord::kFixedData);
}

// The library check's threads get fenced records of their own.
TEST_F(FenceTest, TheCheckThreadsRecordsAreFencedToo) {
    GuardedLibrary library;
    int version = 0;
    std::string reason;
    ASSERT_TRUE(library.Open(LibPath("fence_overrun"), &version, &reason)) << reason;
    RecordPair start;
    BatchPoints& points = library.Points();
    for (int i = 0; i < 8; ++i) {
        points.type[i] = kRequestSag;
        points.fields[i] = kSagPointFields;
        points.flags[i] = 0;
        points.x[i] = 1.0 + i;
        points.y[i] = 11;
    }
    std::size_t done = 0;
    ThreadsOutcome outcome;
    EXPECT_EQ(library.RunThreads(start, 8, 4, 2, &done, &outcome), LibraryCall::kFailed);
    ASSERT_NE(library.Fault(), nullptr);
    EXPECT_EQ(library.Fault()->kind, LibraryFaultKind::kRecordOverrun)
        << library.Fault()->Describe();
    EXPECT_EQ(library.Fault()->offset, 192);
}

// FENCES=0: the records lie in ordinary memory of the helper's, where a library that writes or
// reads a little past them runs as it would in its host.
TEST_F(FenceTest, WithoutFencesTheRecordsLieInOrdinaryMemory) {
    Settings(false);
    for (const int y : {0, 1, 3, 4, 6, 7}) {
        SCOPED_TRACE(y);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("fence_overrun")).loaded);
        const Line line = SampleLine(y, 6);
        for (int i = 0; i < 6; ++i) EXPECT_TRUE(line.ok[i] && line.z[i] == Paraboloid(0.25 * i, y));
        EXPECT_FALSE(provider.LibraryFaulted());
    }
}

// A library that writes zeros, 0xFF or random bytes over the shared area during a batch: no
// number of that batch is used, not even those written before, and the fault says so; a single
// call, whose records the helper writes back after the library returned, answers right.
TEST_F(FenceTest, AScribbledBatchIsAFaultAndNoneOfItsAnswersIsUsed) {
    for (const int y : {0, 1, 2}) {
        SCOPED_TRACE(y);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("scribble_shared")).loaded);
        const Line line = SampleLine(y, 9);
        for (int i = 0; i < 9; ++i) EXPECT_FALSE(line.ok[i]) << i;
        ASSERT_TRUE(provider.LibraryFaulted());
        const LibraryFault& fault = *provider.LastLibraryFault();
        EXPECT_EQ(fault.kind, LibraryFaultKind::kSharedMemory);
        EXPECT_EQ(fault.Describe(),
                  "the library overwrote Velmor's shared memory in sag (type 3, numb 0), a "
                  "batch of 9 points");
        EXPECT_EQ(provider.LibraryHelperPid(), 0);

        ASSERT_TRUE(provider.ReloadSurfaceDll().loaded);
        RecordPair& pair = provider.Final();
        CopyRecordPair(pair, provider.Initial());
        pair.Type() = kRequestSag;
        pair.ud.x = 2;
        pair.ud.y = y;
        EXPECT_EQ(provider.CallSurface(pair), 0);
        EXPECT_EQ(pair.ud.sag1, Paraboloid(2, y));
        EXPECT_FALSE(provider.LibraryFaulted());
    }
}

// Bytes that are no answer in the answer channel, or the channels closed: the helper lost its
// connection to Velmor, whatever it did next.
TEST_F(FenceTest, ABrokenChannelIsALostConnection) {
    for (const int y : {0, 1}) {  // garbage into every pipe; every descriptor closed
        SCOPED_TRACE(y);
        ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("fault_pipes")).loaded);
        SampleLine(y, 6);
        ASSERT_TRUE(provider.LibraryFaulted());
        const LibraryFault& fault = *provider.LastLibraryFault();
        EXPECT_EQ(fault.kind, LibraryFaultKind::kConnection) << fault.Describe();
        EXPECT_EQ(
            fault.Describe().rfind("lost its connection to Velmor in sag (type 3, numb 0)", 0), 0u)
            << fault.Describe();
        ASSERT_TRUE(provider.ReloadSurfaceDll().loaded);
        double sag = 0;
        provider.RefreshWorkingPair();
        EXPECT_TRUE(provider.SurfaceSampler().Sag(0.5, y, &sag));
    }
}

}  // namespace
}  // namespace velmor
