// The snapshot file: every number back bit for bit (values that are no numbers, negative zero,
// the extremes, also under a decimal-comma locale), texts of any kind, and damaged files
// refused naming the part that is wrong.
#include "core/compare/snapshot_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "comma_locale.h"
#include "core/app/regular_file.h"
#include "temp_dir.h"

namespace velmor {
namespace {

double Bits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool Same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Answers that hold every kind of number somewhere, over a small grid.
SurfaceAnswers Sample() {
    SurfaceAnswers a;
    a.kind = SurfaceKind::kLibrary;
    a.source = "/tmp/lens \"v2\"\\build.so";
    a.ranges = {-0.1, 0.1, 0, 0.35, 0.1, 0.1};
    a.xs = SagGridAxis(-0.1, 0.1, 0.1);
    a.ys = SagGridAxis(0, 0.35, 0.1);
    a.hasRecords = true;
    a.recordVersion = 2;
    a.gradientIndex = true;
    a.nameResult = 0;
    a.name = "レンズ\ttab";
    a.elementNames = {{"param[1]", "Coeff on r 2"}, {"xdata[3]", ""}};
    a.safeData = {{"param[1]", "0.1"}, {"glass[200]", "N-BK7"}};
    a.changedRows = {{"cv", "-0"}};
    const double values[] = {0.1,
                             -0.0,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::max(),
                             Bits(0x7ff8000000000123),  // a NaN with a payload
                             -std::numeric_limits<double>::infinity(),
                             1.0 / 3,
                             -1e-300,
                             0,
                             Bits(0xfff0000000000001),  // a signalling NaN, negative
                             123456789.125,
                             2.5};
    const std::size_t n = a.GridPoints();
    EXPECT_EQ(n, 12u);
    for (std::size_t i = 0; i < n; ++i) {
        a.sag.push_back(values[i]);
        a.sagOk.push_back(std::isfinite(values[i]) && i != 8 ? 1 : 0);  // point 8 failed: 0
    }
    a.traced = true;
    a.direction[0] = -0.25;
    a.direction[1] = 0.2;
    a.direction[2] = std::sqrt(1 - 0.25 * 0.25 - 0.2 * 0.2);
    a.rays.resize(CompareRaySet(a.ranges, a.direction).size());
    for (std::size_t i = 0; i < a.rays.size(); ++i) {
        RayAnswer& r = a.rays[i];
        r.result = i % 7 == 0 ? -3 : 0;
        r.x = i * 0.001;
        r.y = -1.0 / (i + 1);
        r.z = i % 11 == 0 ? Bits(0x7ff0000000000000) : std::sqrt(i);
        r.l = r.m = r.n = 1e-5 * i;
        r.ln = r.mn = -0.0;
        r.nn = 1;
        r.path = i % 13 == 0 ? Bits(0x7ff8dead00000000) : 1e200 * i;
    }
    a.indexPoints = {{0, 0, 0.5}, {0.1, 0.2, 1.0 / 7}};
    a.index = {{true, 1.5, 0, -0.0, 1e-17}, {false, Bits(0x7ff8000000000000), 0, 0, 0}};
    a.rayKnown = true;
    const double start[6] = {1, -0.5, 0, -0.25, 0.2, 0.947};
    std::memcpy(a.rayStart, start, sizeof start);
    a.ray = {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
    return a;
}

void ExpectSameRay(const RayAnswer& a, const RayAnswer& b) {
    EXPECT_EQ(a.result, b.result);
    const double x[10] = {a.x, a.y, a.z, a.l, a.m, a.n, a.ln, a.mn, a.nn, a.path};
    const double y[10] = {b.x, b.y, b.z, b.l, b.m, b.n, b.ln, b.mn, b.nn, b.path};
    EXPECT_EQ(std::memcmp(x, y, sizeof x), 0);
}

void ExpectSameAnswers(const SurfaceAnswers& a, const SurfaceAnswers& b) {
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.source, b.source);
    EXPECT_TRUE(a.ranges == b.ranges);
    EXPECT_EQ(a.hasRecords, b.hasRecords);
    EXPECT_EQ(a.recordVersion, b.recordVersion);
    EXPECT_EQ(a.gradientIndex, b.gradientIndex);
    EXPECT_EQ(a.nameResult, b.nameResult);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.elementNames, b.elementNames);
    EXPECT_EQ(a.safeData, b.safeData);
    EXPECT_EQ(a.changedRows, b.changedRows);
    EXPECT_EQ(a.sagOk, b.sagOk);
    ASSERT_EQ(a.sag.size(), b.sag.size());
    for (std::size_t i = 0; i < a.sag.size(); ++i) {
        // A failed point keeps only a value that is no number.
        const double expected = !a.sagOk[i] && std::isfinite(a.sag[i]) ? 0.0 : a.sag[i];
        EXPECT_TRUE(Same(expected, b.sag[i])) << i << ": " << a.sag[i] << " " << b.sag[i];
    }
    EXPECT_EQ(a.traced, b.traced);
    EXPECT_EQ(std::memcmp(a.direction, b.direction, sizeof a.direction), 0);
    ASSERT_EQ(a.rays.size(), b.rays.size());
    for (std::size_t i = 0; i < a.rays.size(); ++i) ExpectSameRay(a.rays[i], b.rays[i]);
    ASSERT_EQ(a.indexPoints.size(), b.indexPoints.size());
    EXPECT_EQ(std::memcmp(a.indexPoints.data(), b.indexPoints.data(),
                          a.indexPoints.size() * sizeof(IndexPoint)),
              0);
    ASSERT_EQ(a.index.size(), b.index.size());
    for (std::size_t i = 0; i < a.index.size(); ++i) {
        EXPECT_EQ(a.index[i].ok, b.index[i].ok);
        EXPECT_TRUE(Same(a.index[i].index, b.index[i].index));
        EXPECT_TRUE(Same(a.index[i].dndx, b.index[i].dndx));
        EXPECT_TRUE(Same(a.index[i].dndy, b.index[i].dndy));
        EXPECT_TRUE(Same(a.index[i].dndz, b.index[i].dndz));
    }
    EXPECT_EQ(a.rayKnown, b.rayKnown);
    EXPECT_EQ(std::memcmp(a.rayStart, b.rayStart, sizeof a.rayStart), 0);
    ExpectSameRay(a.ray, b.ray);
}

TEST(SnapshotFileTest, EveryNumberAndTextReadsBackBitForBit) {
    const SurfaceAnswers answers = Sample();
    const std::string text = SnapshotText(answers);
    // A value that is no number is null in the JSON, its bits kept under "nonfinite".
    EXPECT_NE(text.find("\"/sag/values/4\": \"7FF8000000000123\""), std::string::npos);
    EXPECT_NE(text.find("\"/rays/answers/0/3\": \"7FF0000000000000\""), std::string::npos);
    EXPECT_EQ(text.find("nan"), std::string::npos);
    SurfaceAnswers read;
    std::string reason;
    ASSERT_TRUE(ReadSnapshotText(text, &read, &reason)) << reason;
    ExpectSameAnswers(answers, read);

    // Written and read under a locale with a decimal comma: the same bytes, the same numbers.
    test::CommaLocale comma;
    if (comma.Active()) {
        EXPECT_EQ(SnapshotText(answers), text);
        SurfaceAnswers again;
        ASSERT_TRUE(ReadSnapshotText(text, &again, &reason)) << reason;
        ExpectSameAnswers(answers, again);
    }

    // Through a file, replaced whole.
    test::TempDir dir;
    ASSERT_TRUE(WriteSnapshotFile(dir.File("a.json"), answers, &reason)) << reason;
    SurfaceAnswers fromFile;
    ASSERT_TRUE(ReadSnapshotFile(dir.File("a.json"), &fromFile, &reason)) << reason;
    ExpectSameAnswers(answers, fromFile);
    // A script's answers: no records, no rays, no slab, no ray.
    SurfaceAnswers script = Sample();
    script.kind = SurfaceKind::kScript;
    script.hasRecords = false;
    script.gradientIndex = false;
    script.elementNames.clear();
    script.safeData.clear();
    script.changedRows.clear();
    script.name.clear();
    script.recordVersion = 0;
    script.traced = false;
    script.rays.clear();
    const double none[3] = {0, 0, 1};
    std::memcpy(script.direction, none, sizeof none);
    script.indexPoints.clear();
    script.index.clear();
    script.rayKnown = false;
    std::memset(script.rayStart, 0, sizeof script.rayStart);
    script.ray = RayAnswer();
    SurfaceAnswers readScript;
    ASSERT_TRUE(ReadSnapshotText(SnapshotText(script), &readScript, &reason)) << reason;
    ExpectSameAnswers(script, readScript);
}

// The text with `from` replaced by `to` (once; the test fails when it is not there).
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(SnapshotFileTest, DamagedFilesAreRefusedNamingWhatIsWrong) {
    const std::string good = SnapshotText(Sample());
    const struct {
        std::string text;
        std::string says;
    } cases[] = {
        {"", "not JSON: "},
        {good.substr(0, good.size() / 2), "not JSON: "},
        {"[1, 2]", "not a snapshot: its \"format\" is not \"velmor-snapshot\""},
        {Replaced(good, "velmor-snapshot", "other"), "not a snapshot"},
        {Replaced(good, "\"version\": 1", "\"version\": 2"), "a snapshot of another version"},
        {Replaced(good, "\"sag\": {", "\"sags\": {"), "a damaged snapshot: \"sag\": missing"},
        {Replaced(good, "\"ok\": \"", "\"ok\": \"1"), "\"sag/ok\": not one digit 0 or 1"},
        {Replaced(good, "\"values\": [0.1,", "\"values\": [null,"),
         "\"sag/values/0\": a point that answered has no sag"},
        {Replaced(good, "\"start\": [1.0,", "\"start\": [null,"),
         "\"/ray/start/0\": null without its value in \"nonfinite\""},
        {Replaced(good, "\"7FF8000000000123\"", "\"3FF0000000000000\""),
         "\"nonfinite/sag/values/4\": not the 16 hexadecimal digits"},
        {Replaced(good, "\"values\": [0.1,", "\"values\": [\"0.1\","),
         "\"/sag/values/0\": not a number"},
        {Replaced(good, "\"values\": [0.1,", "\"values\": [1e999,"), "number overflow"},
        {Replaced(good, "\"x\": [-0.1,", "\"x\": [-0.2,"), "\"sag/x\": not the grid of the ranges"},
        {Replaced(good, "\"xmin\": -0.1", "\"xmin\": 1"),
         "\"ranges\": a range's minimum is above its maximum"},
        {Replaced(good, "\"answers\": [\n   [-3,", "\"answers\": [\n   ["),
         "\"/rays/answers/0\": not a ray answer of 11 entries"},
        {Replaced(good, "\"answers\": [\n   [-3,",
                  "\"answers\": [\n   [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0], [-3,"),
         "\"rays/answers\": holds 6725 entries, not 6724"},
        {Replaced(good, "\"record_version\": 2", "\"record_version\": 9"),
         "\"records/record_version\": no record version of this program"},
        {Replaced(good,
                  "\"source\": ", "\"source\": [[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]], \"x\": "),
         "nested deeper than a snapshot is"},
    };
    for (const auto& c : cases) {
        SurfaceAnswers answers;
        std::string reason;
        EXPECT_FALSE(ReadSnapshotText(c.text, &answers, &reason)) << c.says;
        EXPECT_NE(reason.find(c.says), std::string::npos)
            << "expected: " << c.says << "\ngot: " << reason;
    }
    // A file that is not there, or is no regular file.
    SurfaceAnswers answers;
    std::string reason;
    test::TempDir dir;
    EXPECT_FALSE(ReadSnapshotFile(dir.File("none.json"), &answers, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(ReadSnapshotFile(dir.Path(), &answers, &reason));
    EXPECT_EQ(reason, kNotRegularFile);
    // Only a JSON object that names its format early looks like a snapshot.
    EXPECT_TRUE(LooksLikeSnapshot(good.substr(0, 100)));
    EXPECT_TRUE(LooksLikeSnapshot(" \r\n{\"format\": 1"));
    EXPECT_FALSE(LooksLikeSnapshot("{ z = x; }"));
    EXPECT_FALSE(LooksLikeSnapshot("z = 1; // {\"format\""));
}

}  // namespace
}  // namespace velmor
