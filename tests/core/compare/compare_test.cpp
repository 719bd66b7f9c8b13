// A surface compared with a reference through real libraries in their helpers, a real script
// and real snapshot files: the conic against the same conic as a script and a planted
// difference found at its cell, a library against itself and its snapshot, a snapshot of other
// ranges refused, a reference that crashes, a reference of another record version, and the
// gradient-index slab.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "core/compare/compare_run.h"
#include "core/compare/snapshot_file.h"
#include "core/surface/record_text.h"
#include "temp_dir.h"
#include "test_paths.h"

namespace velmor {
namespace {

using test::LibPath;

// The conic of conic_surface.c (cv 0.25, k 0) as a script that fails where the root has no value.
constexpr const char* kConicScript =
    "c = 0.25;\r\n"
    "k = 0.0;\r\n"
    "rr = x*x + y*y;\r\n"
    "A = 1.0 - (1.0+k)*c*c*rr;\r\n"
    "if (A >= 0.0) z = c*rr / (1.0 + sqrt(A));\r\n";

// A surface as velmor-cli has one: a provider with a library loaded, rows set as the tables
// would set them.
struct Surface {
    explicit Surface(const std::string& library = std::string()) {
        if (!library.empty()) {
            const LoadOutcome outcome = provider.OpenSurfaceDll(library);
            EXPECT_TRUE(outcome.loaded) << outcome.reason;
            kind = SurfaceKind::kLibrary;
        }
    }
    void Set(const std::string& name, const std::string& text) {
        const std::vector<RecordRow>& rows = FixedDataRows(provider.RecordVersion());
        for (const RecordRow& row : rows) {
            if (row.name == name) {
                std::string rewrite;
                ASSERT_TRUE(TextToField(row, provider.Initial().fd, text, &rewrite)) << name;
                return;
            }
        }
        FAIL() << "no row " << name;
    }
    CScriptEngine engine;
    CSurfaceProvider provider{engine};
    SurfaceKind kind = SurfaceKind::kBuiltIn;
};

struct Reference {
    explicit Reference(const std::string& path) {
        opened = reference.Open(path, ReferenceSetup(), &message);
    }
    CCompareReference reference;
    bool opened = false;
    std::string message;
};

// Ranges whose grid points are exact binary numbers, inside the conic's aperture (|r| < 4).
CompareRanges SmallRanges() {
    CompareRanges r;
    r.xmin = r.ymin = -2;
    r.xmax = r.ymax = 2;
    r.dx = r.dy = 0.25;
    return r;
}

CompareRun Compare(Surface& surface, CCompareReference& reference, const CompareRanges& ranges) {
    CompareRequest request;
    request.ranges = ranges;
    request.surfaceKind = surface.kind;
    return RunComparison(surface.provider, reference, request);
}

// Every quantity same or skip (none differs, information included).
void ExpectNothingDiffers(const CompareReport& report) {
    EXPECT_FALSE(report.Differs());
    for (const QuantityResult& q : report.quantities) {
        EXPECT_NE(q.outcome, CompareOutcome::kDiffers) << q.name << ": " << q.detail;
    }
}

TEST(CompareTest, ConicLibraryAgainstTheConicAsAScriptAndAPlantedDifference) {
    test::TempDir dir;
    test::WriteFile(dir.File("conic.txt"), kConicScript);
    {
        Surface surface(LibPath("conic_surface"));
        Reference script(dir.File("conic.txt"));
        ASSERT_TRUE(script.opened) << script.message;
        EXPECT_EQ(script.reference.Kind(), ReferenceKind::kScript);
        const CompareRun run = Compare(surface, script.reference, SmallRanges());
        ASSERT_EQ(run.end, CompareEnd::kCompared) << run.message;
        const QuantityResult* sag = run.report.Find("sag");
        ASSERT_NE(sag, nullptr);
        EXPECT_EQ(sag->compared, 17 * 17);
        EXPECT_LE(std::fabs(sag->largest), 1e-12);
        EXPECT_EQ(sag->outcome, CompareOutcome::kSame);
        // A script has no records and its trace no normal: those are skipped, not failed.
        EXPECT_EQ(run.report.Find("trace-normal")->outcome, CompareOutcome::kSkip);
        EXPECT_EQ(run.report.Find("name")->outcome, CompareOutcome::kSkip);
        ExpectNothingDiffers(run.report);
    }
    // 1e-6 added to the library's sag at (1.25, -0.5) alone.
    Surface planted(LibPath("conic_surface"));
    planted.Set("param[1]", "0.000001");
    planted.Set("param[2]", "1.25");
    planted.Set("param[3]", "-0.5");
    Reference script(dir.File("conic.txt"));
    const CompareRun run = Compare(planted, script.reference, SmallRanges());
    ASSERT_EQ(run.end, CompareEnd::kCompared);
    EXPECT_TRUE(run.report.Differs());
    const QuantityResult& sag = *run.report.Find("sag");
    EXPECT_EQ(sag.outcome, CompareOutcome::kDiffers);
    EXPECT_EQ(sag.beyond, 1);
    EXPECT_NEAR(sag.largest, 1e-6, 1e-15);
    ASSERT_TRUE(sag.where.has_value());
    EXPECT_EQ(sag.where->x, 1.25);
    EXPECT_EQ(sag.where->y, -0.5);
    // One point's difference over 289: the RMS follows from it.
    EXPECT_NEAR(sag.rms, 1e-6 / 17, 1e-15);
    EXPECT_NE(sag.detail.find("largest 1e-06 at (1.25, -0.5)"), std::string::npos) << sag.detail;
    // The difference map's cell: column (1.25 + 2) / 0.25, row (-0.5 + 2) / 0.25.
    ASSERT_EQ(run.report.nx, 17u);
    const std::size_t cell = 6 * 17 + 13;
    EXPECT_EQ(run.report.sagState[cell], kSagCompared);
    EXPECT_NEAR(run.report.sagDifference[cell], 1e-6, 1e-15);
    EXPECT_EQ(run.report.sagDifference[cell - 1], 0.0);
    EXPECT_EQ(
        CompareStatusLine(run.report).rfind("compare: sag max 1e-06 at (1.25, -0.5), rms ", 0), 0u)
        << CompareStatusLine(run.report);
}

TEST(CompareTest, ALibraryWithItselfAndWithItsSnapshotIsTheSame) {
    test::TempDir dir;
    // Over the default ranges, where most of the grid lies outside the conic: points that fail
    // on both sides are no difference.
    Surface surface(LibPath("conic_surface"));
    surface.Set("cv", "0.1");
    Reference itself(LibPath("conic_surface"));
    ASSERT_TRUE(itself.opened) << itself.message;
    const CompareRun run = Compare(surface, itself.reference, CompareRanges());
    ASSERT_EQ(run.end, CompareEnd::kCompared);
    ExpectNothingDiffers(run.report);
    long long bothAnswered = 0;
    for (std::uint8_t state : run.report.sagState) bothAnswered += state == kSagCompared;
    EXPECT_EQ(run.report.Find("sag")->compared, bothAnswered);
    EXPECT_GT(bothAnswered, 100000);
    EXPECT_GT(run.report.Find("trace-hit")->compared, 1000);
    // The reference took the row the user changed; without it the sags would differ.
    ASSERT_EQ(itself.reference.Rows().taken.size(), 1u);
    EXPECT_EQ(itself.reference.Rows().taken[0], NamedValue("cv", "0.1"));

    // Its snapshot, written and read back: the same answers bit for bit, and the same.
    std::string reason;
    ASSERT_TRUE(WriteSnapshotFile(dir.File("snap.json"), run.surface, &reason)) << reason;
    Reference snapshot(dir.File("snap.json"));
    ASSERT_TRUE(snapshot.opened) << snapshot.message;
    EXPECT_EQ(snapshot.reference.Kind(), ReferenceKind::kSnapshot);
    const SurfaceAnswers& read = *snapshot.reference.Snapshot();
    ASSERT_EQ(read.sag.size(), run.surface.sag.size());
    EXPECT_EQ(
        std::memcmp(read.sag.data(), run.surface.sag.data(), read.sag.size() * sizeof(double)), 0);
    EXPECT_EQ(read.sagOk, run.surface.sagOk);
    EXPECT_EQ(read.changedRows, run.surface.changedRows);
    const CompareRun again = Compare(surface, snapshot.reference, CompareRanges());
    ASSERT_EQ(again.end, CompareEnd::kCompared) << again.message;
    ExpectNothingDiffers(again.report);

    // A snapshot of other ranges is refused, saying which.
    CompareRanges other = CompareRanges();
    other.dx = 0.05;
    const CompareRun refused = Compare(surface, snapshot.reference, other);
    EXPECT_EQ(refused.end, CompareEnd::kRefused);
    EXPECT_EQ(refused.message,
              "the snapshot covers x -10 .. 10 step 0.025, y -10 .. 10 step 0.025, not the "
              "comparison's x -10 .. 10 step 0.05, y -10 .. 10 step 0.025: compare over the "
              "snapshot's ranges and steps, or take it again");
}

TEST(CompareTest, AReferenceThatCrashesEndsTheComparisonAndNamesItself) {
    Surface surface(LibPath("conic_surface"));
    Reference crashing(LibPath("fault_segv"));  // SIGSEGV in sag where x > 1
    ASSERT_TRUE(crashing.opened) << crashing.message;
    const CompareRun run = Compare(surface, crashing.reference, SmallRanges());
    EXPECT_EQ(run.end, CompareEnd::kReferenceFaulted);
    ASSERT_NE(crashing.reference.Fault(), nullptr);
    EXPECT_EQ(crashing.reference.Fault()->signalName, "SIGSEGV");
    EXPECT_GT(crashing.reference.Fault()->x, 1.0);
    // The surface's own library goes on answering.
    EXPECT_FALSE(surface.provider.LibraryFaulted());
    double sag = 0;
    surface.provider.RefreshWorkingPair();
    EXPECT_TRUE(surface.provider.SurfaceSampler().Sag(1, 1, &sag));
    // Asked again, the faulted reference refuses at once.
    EXPECT_EQ(Compare(surface, crashing.reference, SmallRanges()).end,
              CompareEnd::kReferenceFaulted);
}

TEST(CompareTest, AReferenceOfAnotherRecordVersionTakesTheRowsItHasAndListsTheOthers) {
    Surface surface(LibPath("conic_surface3"));  // record version 2
    ASSERT_EQ(surface.provider.RecordVersion(), 2);
    surface.Set("cv", "0.2");
    surface.Set("comment[200]", "a row version 0 lacks");
    surface.Set("ireserved[3]", "7");
    surface.provider.Initial().ud.l = -0.3;     // a ray chosen in the views
    Reference older(LibPath("conic_surface"));  // record version 0
    ASSERT_TRUE(older.opened) << older.message;
    const CompareRun run = Compare(surface, older.reference, SmallRanges());
    ASSERT_EQ(run.end, CompareEnd::kCompared);
    const RowsTaken& rows = older.reference.Rows();
    EXPECT_EQ(rows.recordVersion, 0);
    ASSERT_EQ(rows.taken.size(), 2u);
    EXPECT_EQ(rows.taken[0], NamedValue("l", "-0.3"));
    EXPECT_EQ(rows.taken[1], NamedValue("cv", "0.2"));
    EXPECT_EQ(rows.lacking, (std::vector<std::string>{"ireserved[3]", "comment[200]"}));
    // The sags and the rays agree (cv and the ray were taken); what differs is information.
    EXPECT_FALSE(run.report.Differs());
    EXPECT_EQ(run.report.Find("sag")->outcome, CompareOutcome::kSame);
    EXPECT_EQ(run.report.Find("trace-direction")->outcome, CompareOutcome::kSame);
    const QuantityResult& version = *run.report.Find("record-version");
    EXPECT_EQ(version.outcome, CompareOutcome::kDiffers);
    EXPECT_TRUE(version.information);
    EXPECT_EQ(version.detail, "2 against 0");
    const QuantityResult& listed = *run.report.Find("rows");
    EXPECT_EQ(listed.outcome, CompareOutcome::kDiffers);
    EXPECT_EQ(listed.detail,
              "the reference's record version 0 lacks 2 of the 4 rows changed since the load: "
              "ireserved[3], comment[200]");
}

TEST(CompareTest, AGradientIndexSurfaceComparesItsIndexSlab) {
    Surface surface(LibPath("grin_medium"));
    ASSERT_TRUE(surface.provider.GradientIndex());
    CompareRanges ranges = SmallRanges();
    {
        Reference itself(LibPath("grin_medium"));
        const CompareRun run = Compare(surface, itself.reference, ranges);
        ASSERT_EQ(run.end, CompareEnd::kCompared);
        const QuantityResult& index = *run.report.Find("index");
        EXPECT_EQ(index.outcome, CompareOutcome::kSame);
        EXPECT_EQ(index.compared, 21 * 21 * 5);  // the sag answers under every grid point
        EXPECT_EQ(run.report.Find("gradient")->outcome, CompareOutcome::kSame);
        ExpectNothingDiffers(run.report);
        // Its snapshot: the surface is asked at the snapshot's slab, and answers the same.
        test::TempDir dir;
        std::string reason;
        ASSERT_TRUE(WriteSnapshotFile(dir.File("grin.json"), run.surface, &reason)) << reason;
        Reference snapshot(dir.File("grin.json"));
        ASSERT_TRUE(snapshot.opened) << snapshot.message;
        ASSERT_EQ(snapshot.reference.Snapshot()->indexPoints.size(), 21u * 21 * 5);
        const CompareRun again = Compare(surface, snapshot.reference, ranges);
        ASSERT_EQ(again.end, CompareEnd::kCompared);
        EXPECT_EQ(again.report.Find("index")->outcome, CompareOutcome::kSame);
        EXPECT_EQ(again.report.Find("index")->compared, 21 * 21 * 5);
        ExpectNothingDiffers(again.report);
    }
    // Against a surface that is no gradient-index medium the slab differs.
    Reference conic(LibPath("conic_surface"));
    const CompareRun run = Compare(surface, conic.reference, ranges);
    ASSERT_EQ(run.end, CompareEnd::kCompared);
    EXPECT_EQ(run.report.Find("index")->outcome, CompareOutcome::kDiffers);
    EXPECT_EQ(run.report.Find("index")->detail, "only the surface is a gradient-index medium");
    EXPECT_TRUE(run.report.Differs());
}

TEST(CompareTest, TheReferenceIsToldApartByItsContent) {
    test::TempDir dir;
    // A script may start with a brace; a file named .so that holds text is a script too.
    test::WriteFile(dir.File("braces.so"), "{ z = 0.5*x; }\r\n");
    Reference braces(dir.File("braces.so"));
    ASSERT_TRUE(braces.opened) << braces.message;
    EXPECT_EQ(braces.reference.Kind(), ReferenceKind::kScript);
    // Bytes that are neither: the script's compiler says why.
    test::WriteFile(dir.File("noise.bin"), std::string("\x01\x02\x03 ))) ;", 10));
    Reference noise(dir.File("noise.bin"));
    EXPECT_FALSE(noise.opened);
    EXPECT_EQ(noise.message.rfind("neither a library nor a snapshot, and as a script no "
                                  "intermediate code: -- PARSER : error --",
                                  0),
              0u)
        << noise.message;
    // A damaged snapshot is reported as one, not compiled as a script.
    test::WriteFile(dir.File("cut.json"), "{\"format\": \"velmor-snapshot\", \"version\": 1, ");
    Reference cut(dir.File("cut.json"));
    EXPECT_FALSE(cut.opened);
    EXPECT_EQ(cut.message.rfind("not JSON: ", 0), 0u) << cut.message;
    // A library that cannot be loaded, and a file that is not there.
    test::WriteFile(dir.File("broken.so"), std::string("\x7f"
                                                       "ELF and nothing more"));
    Reference broken(dir.File("broken.so"));
    EXPECT_FALSE(broken.opened);
    EXPECT_EQ(broken.message.rfind(kSurfaceDllErrorText, 0), 0u) << broken.message;
    Reference missing(dir.File("missing"));
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.message.empty());

    // The built-in surface (no library: its rays are traced call by call) against a library.
    Surface builtIn;
    Reference conic(LibPath("conic_surface"));
    const CompareRun run = Compare(builtIn, conic.reference, SmallRanges());
    ASSERT_EQ(run.end, CompareEnd::kCompared);
    EXPECT_EQ(run.surface.kind, SurfaceKind::kBuiltIn);
    EXPECT_EQ(run.report.Find("name")->detail, "\"Even Array\" against \"Conic\"");
    EXPECT_NE(run.report.Find("trace-hit")->outcome, CompareOutcome::kSkip);
    EXPECT_GT(run.report.Find("trace-hit")->compared, 0);
}

}  // namespace
}  // namespace velmor
