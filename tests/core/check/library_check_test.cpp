// The library check on real libraries in real helper processes: every example library passes,
// each planted fault fails exactly the check meant for it (the whole result vector is asserted),
// the built-in surface and a script, a library that faults during the checks or while loading,
// the records of every version, the choice of checks and a cancel.
#include "core/check/library_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/check/check_internal.h"
#include "core/interp/script_engine.h"
#include "core/surface/provider.h"
#include "test_paths.h"

namespace velmor {
namespace {

using test::LibPath;

// The results as letters in check order: p pass, w warn, f fail, s skip.
std::string Letters(const CheckReport& report) {
    std::string letters;
    for (const CheckResult& check : report.checks) letters += CheckOutcomeText(check.outcome)[0];
    return letters;
}

const CheckResult* Find(const CheckReport& report, const std::string& name) {
    for (const CheckResult& check : report.checks) {
        if (check.name == name) return &check;
    }
    return nullptr;
}

std::string Details(const CheckReport& report) {
    std::string text;
    for (const CheckResult& check : report.checks) {
        text += check.name + " " + CheckOutcomeText(check.outcome) + ": " + check.detail + "\n";
    }
    return text;
}

class LibraryCheckTest : public ::testing::Test {
protected:
    LibraryCheckTest() {
        LibraryHostSettings settings;
        settings.limits.timeoutSeconds = 10;
        settings.limits.memoryMb = 512;
        provider.SetLibraryHost(settings);
    }

    // The library loaded as "Open DLL ..." loads it, then checked with the records it left.
    // A library that writes past its records while it loads is loaded without fences
    // (LIBRARY_HOST FENCES=0); the check runs with them.
    CheckReport CheckLibrary(const std::string& name, std::vector<std::string> only = {},
                             bool loadFenced = true) {
        LibraryHostSettings settings = provider.LibraryHost();
        settings.limits.fences = loadFenced;
        provider.SetLibraryHost(settings);
        const LoadOutcome load = provider.OpenSurfaceDll(LibPath(name));
        EXPECT_TRUE(load.loaded) << name << ": " << load.reason;
        CheckInput input = Input();
        input.limits.fences = true;
        input.source = CheckSource::kLibrary;
        input.libraryPath = LibPath(name);
        input.only = std::move(only);
        return RunLibraryCheck(input);
    }

    CheckInput Input() {
        CheckInput input;
        input.limits = provider.LibraryHost().limits;
        input.initial = &provider.Initial();
        input.recordVersion = provider.RecordVersion();
        input.engine = &engine;
        return input;
    }

    CScriptEngine engine;
    CSurfaceProvider provider{engine};
};

// Checks, in order: name names safe-data records sag trace paraxial index medium repeat threads
// speed.
TEST_F(LibraryCheckTest, EveryExampleLibraryPasses) {
    const struct {
        const char* library;
        const char* letters;
    } cases[] = {
        {"even_asphere", "pppppppssppp"},
        // No paraxial request (it answers 0 and writes nothing): skipped.
        {"apertured_sphere", "ppppppsssppp"},
        // No ray trace at all: trace and paraxial skipped.
        {"dual_entry", "pppppssssppp"},
        // A gradient-index medium: index checked, refraction left out of trace.
        {"grin_medium", "ppppppsppppp"},
        // Record version 2: n1 and n2 read from FIXED_DATA3's offsets.
        {"xy_polynomial3", "ppppppsssppp"},
        // The tests' own sphere that answers every request.
        {"check_sound", "pppppppssppp"},
        {"check_grin", "pppppppppppp"},
    };
    for (const auto& c : cases) {
        const CheckReport report = CheckLibrary(c.library);
        EXPECT_EQ(Letters(report), c.letters) << c.library << "\n" << Details(report);
        EXPECT_TRUE(report.Passed()) << c.library;
    }
}

// Each library is the sound sphere with one fault planted: it fails the check meant for it and
// no other. A wrong normal refracts the ray the wrong way, so the paraxial comparison warns too;
// a wrong gradient bends the rays through the medium wrongly, so the medium check fails too.
TEST_F(LibraryCheckTest, EachPlantedFaultFailsExactlyItsCheck) {
    const struct {
        const char* library;
        const char* letters;
        const char* check;   // the check that finds it
        const char* detail;  // a piece of its detail
    } cases[] = {
        {"check_hit_off", "pppppfpssppp", "trace", "(c) the hit point is not on the sag surface"},
        {"check_normal_flipped", "pppppfwssppp", "trace",
         "(d) the normal is not parallel to the sag surface's normal"},
        {"check_not_normalised", "pppppfpssppp", "trace",
         "(e) the outgoing direction is not of unit length"},
        {"check_indices_swapped", "pppppfpssppp", "trace",
         "(e) the outgoing direction breaks Snell's law"},
        {"check_nan_sag", "ppppfppssppp", "sag", "a sag that is no finite number"},
        {"check_no_terminator", "fppppppssppp", "name", "no terminator"},
        {"check_sag_writes_param1", "pppfpppssppp", "records",
         "the sag (type 3, numb 0) request changes param[1] of FIXED_DATA"},
        // The answers change from call to call, so threads cannot be compared: skipped.
        {"check_counter", "pppppppssfsp", "repeat", "keeps state between calls"},
        {"check_shared_buffer", "pppppppsspfp", "threads", "not reentrant"},
        {"check_paraxial_sign", "ppppppwssppp", "paraxial", "they differ by"},
        {"check_gradient_wrong", "pppppppffppp", "index",
         "dndx dndy dndz differ from the central differences of index"},
        {"check_same_names", "pwpppppssppp", "names", "both named \"Radius\""},
        {"check_safe_data_varies", "ppfppppssppp", "safe-data", "different bytes (xdata[1])"},
        {"check_past_user_data", "pppfpppssppp", "records", "past the end of USER_DATA"},
        {"check_past_fixed_data", "pppfpppssppp", "records",
         "past the end of the 1816-byte FIXED_DATA record of version 0"},
        {"check_user_padding", "pppwpppssppp", "records", "padding bytes 188 to 191"},
        // Record version 2: the field is found in FIXED_DATA3's layout.
        {"check_v3_writes_param1", "pppfpppssppp", "records", "changes param[1] of FIXED_DATA"},
    };
    for (const auto& c : cases) {
        // The two that write past a record in the gradient-index question cannot be loaded
        // behind fences; the check's own calls keep guard bytes before its fences and find them.
        const bool pastRecord = std::string(c.library).rfind("check_past_", 0) == 0;
        const CheckReport report = CheckLibrary(c.library, {}, !pastRecord);
        EXPECT_EQ(Letters(report), c.letters) << c.library << "\n" << Details(report);
        const CheckResult* found = Find(report, c.check);
        ASSERT_NE(found, nullptr);
        EXPECT_NE(found->detail.find(c.detail), std::string::npos)
            << c.library << ": " << found->detail;
        if (pastRecord) {
            LibraryHostSettings settings = provider.LibraryHost();
            settings.limits.fences = true;
            provider.SetLibraryHost(settings);
            const LoadOutcome fenced = provider.OpenSurfaceDll(LibPath(c.library));
            ASSERT_TRUE(!fenced.loaded && fenced.fault.has_value()) << c.library;
            EXPECT_EQ(fenced.fault->kind, LibraryFaultKind::kRecordOverrun);
            EXPECT_EQ(fenced.fault->requestName, "gradient-index question");
        }
    }
}

// The medium check follows 41 + 41 rays through a gradient-index medium with the step param[1]
// and with half of it: the exactly solvable medium passes, a gradient 10 % longer than the
// index's drifts |T| away from n (fail, the index check fails it too), a step too long for the
// gradient moves the end points (warn), an index that is no number along the way fails, and a
// step of 0 leaves nothing to follow (warn).
TEST_F(LibraryCheckTest, TheMediumCheckFollowsRaysThroughTheMedium) {
    CheckReport report = CheckLibrary("grin_exact");
    EXPECT_EQ(Letters(report), "ppppppsppppp") << Details(report);
    const std::string& passed = Find(report, "medium")->detail;
    EXPECT_NE(passed.find("82 rays, 82 traced by request 5; at Delta t 0.01 and 0.005: "),
              std::string::npos)
        << passed;
    EXPECT_NE(passed.find("reach the plane z = 10"), std::string::npos) << passed;

    report = CheckLibrary("grin_gradient_off");
    EXPECT_EQ(Letters(report), "ppppppsffppp") << Details(report);
    const CheckResult& off = *Find(report, "medium");
    EXPECT_NE(off.detail.find("the gradient does not belong to the index along the path"),
              std::string::npos)
        << off.detail;
    EXPECT_EQ(off.detail.rfind("|T| = ", 0), 0u) << off.detail;
    EXPECT_NE(off.detail.find(" along the ray from (-10, 0) at step "), std::string::npos)
        << off.detail;
    ASSERT_TRUE(off.example);
    ASSERT_EQ(off.example->expected.size(), 1u);
    ASSERT_EQ(off.example->got.size(), 1u);
    EXPECT_GT(std::fabs(off.example->got[0] - off.example->expected[0]),
              kMediumSpeedTolerance * off.example->expected[0]);

    // The exact medium with a step too long for it, with no step, and an index that turns into
    // no number beyond z = 3.
    ASSERT_TRUE(provider.OpenSurfaceDll(LibPath("grin_exact")).loaded);
    auto checkMedium = [&](const char* library, double step) {
        CheckInput input = Input();
        input.source = CheckSource::kLibrary;
        input.libraryPath = LibPath(library);
        input.only = {"medium"};
        auto records = std::make_unique<RecordPair>();
        CopyRecordPair(*records, provider.Initial());
        std::memcpy(records->fd + offsetof(FIXED_DATA, param) + sizeof(double), &step, sizeof step);
        input.initial = records.get();
        return RunLibraryCheck(input).checks.at(0);
    };
    CheckResult result = checkMedium("grin_exact", 2.5);
    EXPECT_EQ(result.outcome, CheckOutcome::kWarn) << result.detail;
    EXPECT_EQ(result.detail.rfind("the step param[1] is too long for this gradient: the end "
                                  "points of the ray from (",
                                  0),
              0u)
        << result.detail;
    ASSERT_TRUE(result.example);
    EXPECT_EQ(result.example->expected.size(), 3u);
    EXPECT_NEAR(result.example->got[2], 10, 1e-12);
    for (double step : {0.0, -1.0}) {
        result = checkMedium("grin_exact", step);
        EXPECT_EQ(result.outcome, CheckOutcome::kWarn);
        EXPECT_EQ(result.detail,
                  "the step length param[1] (Delta T) must be above 0: no ray to "
                  "follow");
    }
    result = checkMedium("grin_index_nan", 0.1);
    EXPECT_EQ(result.outcome, CheckOutcome::kFail);
    EXPECT_EQ(result.detail.rfind("request 6 answers no finite number along the ray from (", 0), 0u)
        << result.detail;
    ASSERT_TRUE(result.example);
    EXPECT_GT(result.example->z, 3);
    ASSERT_EQ(result.example->got.size(), 4u);
    EXPECT_TRUE(std::isnan(result.example->got[0]));
}

// The public libraries' layout: record version 3, param[1] the step; at wavelength 0 the index
// is no number, which both the index and the medium checks report.
TEST_F(LibraryCheckTest, TheMediumCheckOfThePublicLayoutAsksForTheWavelength) {
    CheckReport report = CheckLibrary("grin_public_layout");
    EXPECT_EQ(Letters(report), "ppppppsffppp") << Details(report);
    EXPECT_NE(Find(report, "medium")->detail.find("answers no finite number"), std::string::npos);
    double wavelength = 0.5876;
    std::memcpy(provider.Initial().fd + offsetof(FIXED_DATA4, wavelength), &wavelength,
                sizeof wavelength);
    CheckInput input = Input();
    input.source = CheckSource::kLibrary;
    input.libraryPath = LibPath("grin_public_layout");
    input.only = {"index", "medium"};
    input.displayZMax = 6;
    report = RunLibraryCheck(input);
    EXPECT_EQ(Letters(report), "pp") << Details(report);
    EXPECT_NE(report.checks[1].detail.find("reach the plane z = 6,"), std::string::npos)
        << report.checks[1].detail;
}

// Where a check fails it names the first ray and shows what was expected against what came
// back: the sag under the hit against the hit's z, the hit 1e-3 along the ray past the sphere.
TEST_F(LibraryCheckTest, AFailureCarriesTheFirstRayAndTheValuesCompared) {
    const CheckReport report = CheckLibrary("check_hit_off", {"trace"});
    ASSERT_EQ(Letters(report), "f");
    const CheckExample& e = *report.checks[0].example;
    EXPECT_EQ(e.z, 0);
    ASSERT_EQ(e.expected.size(), 1u);
    ASSERT_EQ(e.got.size(), 1u);
    // The sphere of cv 0.25 met by the ray from (x, y, 0) along (l, m, n).
    const double c = 0.25;
    const double a = c, b = e.n - c * (e.x * e.l + e.y * e.m), q = c * (e.x * e.x + e.y * e.y);
    const double t = q / (b + std::sqrt(b * b - a * q)) + 1e-3;
    const double x = e.x + t * e.l, y = e.y + t * e.m, r2 = x * x + y * y;
    EXPECT_NEAR(e.expected[0], c * r2 / (1 + std::sqrt(1 - c * c * r2)), 1e-12);
    EXPECT_NEAR(e.got[0], t * e.n, 1e-12);
    EXPECT_NE(report.checks[0].detail.find("the first ray from (-0.5, -4.5)"), std::string::npos)
        << "the first ray of the grid that is traced: " << report.checks[0].detail;
}

// The built-in surface is checked in the program's process, threads included. Its ray trace
// answers success for a ray that leaves the array, with the point moved but not traced.
TEST_F(LibraryCheckTest, TheBuiltInSurfaceIsCheckedInTheProgramsProcess) {
    CheckInput input = Input();
    input.source = CheckSource::kBuiltIn;
    const CheckReport report = RunLibraryCheck(input);
    EXPECT_EQ(Letters(report), "pppppfpssppp") << Details(report);
    const std::string& trace = Find(report, "trace")->detail;
    EXPECT_EQ(trace.rfind("(a) the hit point is not on the incoming ray", 0), 0u) << trace;
    EXPECT_NE(Find(report, "name")->detail.find("Even Array"), std::string::npos);
    EXPECT_NE(Find(report, "threads")->detail.find("8 threads x 5 runs"), std::string::npos);
}

// A script answers the sag only: sag, repeat and speed run on it, the rest is skipped. A script
// whose sag is no number where it answers fails the sag check.
TEST_F(LibraryCheckTest, AScriptRunsOnlyTheSagChecks) {
    CheckInput input = Input();
    input.source = CheckSource::kScript;
    engine.Compile("z = 0.1*(x*x + y*y);\n");
    ASSERT_GT(engine.InstructionCount(), 0);
    CheckReport report = RunLibraryCheck(input);
    EXPECT_EQ(Letters(report), "sssspsssspsp") << Details(report);
    EXPECT_NE(Find(report, "threads")->detail.find("one script engine"), std::string::npos);
    engine.Compile("z = 1e308*1e308*(x - x);\n");  // infinity times 0: not a number
    report = RunLibraryCheck(input);
    EXPECT_EQ(Find(report, "sag")->outcome, CheckOutcome::kFail) << Details(report);
}

// A library that faults in the middle of the checks: each check that meets the fault fails with
// its description and its inputs as the example; the helper is started again and the other
// checks go on (the name still passes after the sag crashed).
TEST_F(LibraryCheckTest, AFaultFailsTheCheckThatMetItAndTheOthersGoOn) {
    const CheckReport report = CheckLibrary("fault_segv");
    EXPECT_TRUE(report.loaded);
    const CheckResult& sag = *Find(report, "sag");
    EXPECT_EQ(sag.outcome, CheckOutcome::kFail);
    EXPECT_EQ(sag.detail.rfind("the library faulted: SIGSEGV", 0), 0u) << sag.detail;
    ASSERT_TRUE(sag.example);
    for (const char* later : {"repeat", "threads", "speed"}) {
        EXPECT_EQ(Find(report, later)->outcome, CheckOutcome::kFail) << later;
    }
    EXPECT_EQ(Letters(report).substr(0, 4), "pppp") << Details(report);
    EXPECT_EQ(report.fail, 4);
}

// A library that faults while loading: no check runs, the fault is kept for the exit status.
TEST_F(LibraryCheckTest, AFaultWhileLoadingSkipsEveryCheck) {
    CheckInput input = Input();
    input.source = CheckSource::kLibrary;
    input.libraryPath = LibPath("fault_load_constructor");
    const CheckReport report = RunLibraryCheck(input);
    EXPECT_FALSE(report.loaded);
    ASSERT_TRUE(report.loadFault);
    EXPECT_EQ(report.loadFault->requestName, "library load");
    EXPECT_EQ(Letters(report), "ssssssssssss");
    EXPECT_NE(report.checks[4].detail.find("faulted while loading"), std::string::npos);
    EXPECT_FALSE(report.Passed());

    // Records of another version than the library's: nothing runs either.
    input.libraryPath = LibPath("even_asphere");
    input.recordVersion = kRecordVersion2;
    const CheckReport other = RunLibraryCheck(input);
    EXPECT_FALSE(other.loaded);
    EXPECT_FALSE(other.loadFault);
    EXPECT_NE(other.loadError.find("reload it first"), std::string::npos) << other.loadError;

    // Ranges that are no numbers would scale every tolerance away: nothing runs.
    input.recordVersion = kRecordVersion0;
    input.xmax = HUGE_VAL;
    const CheckReport infinite = RunLibraryCheck(input);
    EXPECT_FALSE(infinite.loaded);
    EXPECT_EQ(infinite.loadError, "the analysis ranges are not all finite numbers");
}

// --only runs the checks named, in the battery's order; the progress hook sees each and can
// stop the run, which skips the rest.
TEST_F(LibraryCheckTest, TheChecksAskedForRunInOrderAndACancelSkipsTheRest) {
    provider.OpenSurfaceDll(LibPath("even_asphere"));
    CheckInput input = Input();
    input.source = CheckSource::kLibrary;
    input.libraryPath = LibPath("even_asphere");
    input.only = {"speed", "name", "trace"};
    std::vector<std::string> seen;
    input.progress = [&](int done, int total, const std::string& next) {
        EXPECT_EQ(total, 3);
        seen.push_back(std::to_string(done) + next);
        return false;
    };
    CheckReport report = RunLibraryCheck(input);
    ASSERT_EQ(report.checks.size(), 3u);
    EXPECT_EQ(report.checks[0].name + report.checks[1].name + report.checks[2].name,
              "nametracespeed");
    EXPECT_EQ(seen, (std::vector<std::string>{"0name", "1trace", "2speed", "3"}));

    input.only.clear();
    input.progress = [](int done, int, const std::string&) { return done == 2; };
    report = RunLibraryCheck(input);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(Letters(report), "ppssssssssss");
    EXPECT_EQ(report.checks[5].detail, "cancelled");
}

// The records check finds each version's record size from its row catalogue: the sizes of the
// four layouts, so a layout the catalogue learns is checked by its own size.
TEST(LibraryCheckRecordsTest, RecordSizesComeFromTheRowCatalogue) {
    EXPECT_EQ(check::FixedDataRecordBytes(kRecordVersion0), sizeof(FIXED_DATA));
    EXPECT_EQ(check::FixedDataRecordBytes(kRecordVersion1), sizeof(FIXED_DATA2));
    EXPECT_EQ(check::FixedDataRecordBytes(kRecordVersion2), sizeof(FIXED_DATA3));
    EXPECT_EQ(check::FixedDataRecordBytes(kRecordVersion3), sizeof(FIXED_DATA4));
    EXPECT_EQ(check::FixedDataRecordBytes(-1), 0u);
    EXPECT_EQ(check::FieldAt(FixedDataRows(kRecordVersion1), 20), "padding at byte 20");
    EXPECT_EQ(check::FieldAt(FixedDataRows(kRecordVersion1), 336), "param[1]");
}

}  // namespace
}  // namespace velmor
