// The statistics of a comparison on answers made by hand: the largest difference with its sign
// and place, the RMS, the count beyond the tolerance, what one side alone answered, angles
// between directions, return codes, the tolerances, and information that fails nothing.
#include "core/compare/compare_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velmor {
namespace {

// Two sides over x -1 .. 1, y 0 .. 1 at 1: a 3 x 2 grid, every point answering 1.
SurfaceAnswers Side() {
    SurfaceAnswers a;
    a.kind = SurfaceKind::kLibrary;
    a.ranges = {-1, 1, 0, 1, 1, 1};
    a.xs = SagGridAxis(-1, 1, 1);
    a.ys = SagGridAxis(0, 1, 1);
    a.hasRecords = true;
    a.sag.assign(6, 1.0);
    a.sagOk.assign(6, 1);
    return a;
}

TEST(CompareReportTest, SagStatisticsAndWhatOneSideAloneAnswered) {
    SurfaceAnswers s = Side(), r = Side();
    s.sag[1] = 1 + 3e-9;          // (0, 0)
    s.sag[4] = 1 - 4e-9;          // (0, 1): the largest, negative
    r.sagOk[2] = 0;               // (1, 0): the surface alone
    s.sagOk[5] = 0;               // (1, 1): the reference alone
    s.sagOk[3] = r.sagOk[3] = 0;  // (-1, 1): neither
    CompareTolerances t;
    t.position = 3.5e-9;
    const CompareReport report = CompareSurfaceAnswers(s, r, t);
    const QuantityResult& sag = *report.Find("sag");
    EXPECT_EQ(sag.compared, 3);
    EXPECT_NEAR(sag.largest, -4e-9, 1e-15);
    EXPECT_EQ(sag.where->x, 0);
    EXPECT_EQ(sag.where->y, 1);
    const double d1 = (1 + 3e-9) - 1, d4 = (1 - 4e-9) - 1;  // as the doubles give them
    EXPECT_DOUBLE_EQ(sag.rms, std::sqrt((d1 * d1 + d4 * d4) / 3));
    EXPECT_EQ(sag.beyond, 1);  // only 4e-9 is above 3.5e-9
    EXPECT_EQ(sag.oneSided, 2);
    EXPECT_EQ(sag.firstOneSided->x, 1);
    EXPECT_EQ(sag.firstOneSided->y, 0);
    EXPECT_TRUE(sag.firstAnsweredBySurface);
    EXPECT_EQ(sag.outcome, CompareOutcome::kDiffers);
    EXPECT_EQ(report.sagState,
              (std::vector<std::uint8_t>{kSagCompared, kSagCompared, kSagOneSided, kSagBothFailed,
                                         kSagCompared, kSagOneSided}));
    EXPECT_EQ(report.sagDifference[1], d1);
    EXPECT_TRUE(report.Differs());
    EXPECT_EQ(CompareStatusLine(report),
              "compare: sag max 4e-09 at (0, 1), rms 2.9e-09, 2 on one side only; trace skip");

    // Within the tolerance and answered alike: the same.
    s = Side();
    r = Side();
    s.sag[0] = 1 + 1e-9;
    const CompareReport close = CompareSurfaceAnswers(s, r, t);
    EXPECT_EQ(close.Find("sag")->outcome, CompareOutcome::kSame);
    EXPECT_FALSE(close.Differs());
}

TEST(CompareReportTest, RaysCompareHitNormalDirectionPathAndResult) {
    SurfaceAnswers s = Side(), r = Side();
    s.traced = r.traced = true;
    const std::size_t n = CompareRaySet(s.ranges, s.direction).size();
    RayAnswer ray;
    ray.z = 0.5;
    ray.nn = 1;
    ray.n = 1;
    ray.path = 0.5;
    s.rays.assign(n, ray);
    r.rays.assign(n, ray);
    // Ray 10: the normal turned by 1e-7 rad, the hit moved by 3e-9 along x and y each.
    const double angle = 1e-7;
    s.rays[10].ln = std::sin(angle);
    s.rays[10].nn = std::cos(angle);
    s.rays[10].x = 3e-9;
    s.rays[10].y = 4e-9;
    // Ray 11: the outgoing direction twice as long (no angle), path off by 1e-6.
    s.rays[11].n = 2;
    s.rays[11].path = 0.5 + 1e-6;
    // Ray 12: traced by the reference alone; ray 13: other failure codes; ray 14 both -1.
    s.rays[12].result = -1;
    s.rays[13].result = -2;
    r.rays[13].result = -3;
    s.rays[14].result = r.rays[14].result = -1;
    // Ray 15: a normal of no length on one side is no number, counted beyond.
    s.rays[15].nn = 0;
    CompareTolerances t;
    t.position = 1e-8;
    t.angle = 1e-9;
    const CompareReport report = CompareSurfaceAnswers(s, r, t);
    const QuantityResult& normal = *report.Find("trace-normal");
    EXPECT_NEAR(normal.largest, angle, 1e-15);
    EXPECT_EQ(normal.where->kind, ComparePlace::kRay);
    EXPECT_EQ(normal.beyond, 2);  // ray 10 and the normal of no length
    const long long traced = static_cast<long long>(n) - 3;
    EXPECT_EQ(normal.compared, traced);
    EXPECT_NEAR(report.Find("trace-hit")->largest, 5e-9, 1e-20);
    EXPECT_EQ(report.Find("trace-hit")->outcome, CompareOutcome::kSame);
    EXPECT_EQ(report.Find("trace-direction")->largest, 0.0);
    EXPECT_EQ(report.Find("trace-direction")->outcome, CompareOutcome::kSame);
    EXPECT_NEAR(report.Find("trace-path")->largest, 1e-6, 1e-15);
    EXPECT_EQ(report.Find("trace-path")->beyond, 1);
    const QuantityResult& codes = *report.Find("trace-result");
    EXPECT_EQ(codes.oneSided, 1);
    EXPECT_FALSE(codes.firstAnsweredBySurface);
    EXPECT_EQ(codes.beyond, 1);
    EXPECT_EQ(codes.outcome, CompareOutcome::kDiffers);
    EXPECT_NE(codes.detail.find("2 failed by both; 1 traced by one side only"), std::string::npos)
        << codes.detail;
    EXPECT_NE(codes.detail.find("1 failed with other codes"), std::string::npos) << codes.detail;

    // A script's rays are never compared; neither are rays that start along other directions.
    SurfaceAnswers script = r;
    script.kind = SurfaceKind::kScript;
    EXPECT_EQ(CompareSurfaceAnswers(s, script, t).Find("trace-hit")->outcome,
              CompareOutcome::kSkip);
    SurfaceAnswers turned = r;
    turned.direction[0] = 0.1;
    const CompareReport other = CompareSurfaceAnswers(s, turned, t);
    const QuantityResult& skipped = *other.Find("trace-path");
    EXPECT_EQ(skipped.outcome, CompareOutcome::kSkip);
    EXPECT_EQ(skipped.detail,
              "the rays start along (0, 0, 1) on the surface and along (0.1, 0, 1) on the "
              "reference");
}

TEST(CompareReportTest, WhatTheRecordsSayIsInformationAndTheTolerancesScale) {
    SurfaceAnswers s = Side(), r = Side();
    s.name = "Lens";
    r.name = "Lens 2";
    s.recordVersion = 2;
    s.elementNames = {{"param[1]", "a"}, {"param[2]", "b"}};
    r.elementNames = {{"param[1]", "a"}, {"param[3]", "c"}};
    s.safeData = {{"cv", "0.5"}};
    r.safeData = {{"cv", "0.25"}};
    const CompareReport report = CompareSurfaceAnswers(s, r, CompareTolerancesFor(s.ranges));
    EXPECT_FALSE(report.Differs());
    EXPECT_EQ(report.Find("name")->detail, "\"Lens\" against \"Lens 2\"");
    EXPECT_EQ(report.Find("record-version")->detail, "2 against 0");
    EXPECT_EQ(report.Find("names")->detail,
              "2 differ: param[2] \"b\" only on the surface; param[3] \"c\" only on the "
              "reference");
    EXPECT_EQ(report.Find("safe-data")->detail, "1 differ: cv \"0.5\" against \"0.25\"");
    for (const char* name : {"name", "record-version", "names", "safe-data"}) {
        EXPECT_TRUE(report.Find(name)->information) << name;
        EXPECT_EQ(report.Find(name)->outcome, CompareOutcome::kDiffers) << name;
    }
    EXPECT_EQ(report.differs, 4);
    EXPECT_EQ(report.quantities.size(), kCompareQuantityCount);
    for (std::size_t i = 0; i < kCompareQuantityCount; ++i) {
        EXPECT_EQ(report.quantities[i].name, kCompareQuantities[i]);
    }

    // Positions scale with half the diagonal of the ranges (at least 1); a position tolerance
    // given scales the others by the same factor.
    CompareRanges wide;
    const CompareTolerances defaults = CompareTolerancesFor(wide);
    EXPECT_DOUBLE_EQ(defaults.position, 1e-9 * std::sqrt(200.0));
    EXPECT_DOUBLE_EQ(defaults.angle, 1e-9);
    EXPECT_DOUBLE_EQ(defaults.relative, 1e-9);
    EXPECT_DOUBLE_EQ(CompareTolerancesFor(s.ranges).position, 1e-9 * 0.5 * std::sqrt(5.0));
    CompareRanges small;
    small.xmin = small.ymin = 0;
    small.xmax = small.ymax = 1;
    EXPECT_DOUBLE_EQ(CompareTolerancesFor(small).position, 1e-9);  // at least 1
    const CompareTolerances given = CompareTolerancesFor(wide, 2e-9 * std::sqrt(200.0));
    EXPECT_DOUBLE_EQ(given.position, 2e-9 * std::sqrt(200.0));
    EXPECT_DOUBLE_EQ(given.angle, 2e-9);
    EXPECT_DOUBLE_EQ(given.relative, 2e-9);
    // Ranges no comparison takes.
    EXPECT_EQ(CompareRangesProblem(wide), "");
    CompareRanges fine = wide;
    fine.dx = fine.dy = 0.001;
    EXPECT_NE(CompareRangesProblem(fine).find("is larger than 4194304: choose larger steps"),
              std::string::npos);
    CompareRanges reversed = wide;
    reversed.xmin = 11;
    EXPECT_EQ(CompareRangesProblem(reversed), "a range's minimum is above its maximum");
    CompareRanges nan = wide;
    nan.dy = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(CompareRangesProblem(nan), "a bound or step is no finite number");
}

}  // namespace
}  // namespace velmor
