#include "core/view3d/mesh_builder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <vector>

#include "view3d_test_support.h"

namespace velmor::test {
namespace {

MeshParams Square(double step, int pattern = kRightTriangle1) {
    MeshParams p;
    p.dx = p.dy = step;
    p.pattern = pattern;
    return p;
}

// Every triangle has its own three vertices, face record, normal and entry in the one group;
// every normal is a unit vector towards +z.
void ExpectMeshLayout(const CModel& model, int count) {
    ASSERT_EQ(model.groups.size(), 1u);
    EXPECT_FLOAT_EQ(model.groups[0]->material.diffuse[1], 0.829f);  // the surface material
    ASSERT_EQ(model.vertices.size(), 3u * count);
    ASSERT_TRUE(model.faceNormals.size() == size_t(count) && model.faces.size() == size_t(count));
    ASSERT_EQ(model.groups[0]->faces.size(), static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        const modelFace& f = model.faces[k];
        ASSERT_TRUE(f.vertex[0] == 3 * k && f.vertex[1] == 3 * k + 1 && f.vertex[2] == 3 * k + 2);
        ASSERT_TRUE(f.faceNormal == k && model.groups[0]->faces[k] == k);
        const Vec3f& n = model.faceNormals[k];
        ASSERT_GT(n.z, 0.0f);
        ASSERT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-5f);
    }
}

TEST(MeshBuilderTest, QuarterStepGridOfPattern0) {
    FormulaSampler sampler(Bowl);
    RecordingReporter reporter;
    MeshParams p = Square(0.25);
    CModel model;
    std::string message = "stale";
    int count = -1;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, &message, &count), 0);
    EXPECT_EQ(count, 12800);
    EXPECT_EQ(message, "");
    EXPECT_EQ(sampler.calls, 81 * 81);
    ExpectMeshLayout(model, 12800);
    // The first triangle is C, L, B of row 1, column 1; the second B, L, BL.
    const Vec3f* v = model.vertices.data();
    EXPECT_TRUE(v[0].x == -9.75f && v[0].y == -9.75f && v[0].z == float(Bowl(-9.75, -9.75)));
    EXPECT_TRUE(v[1].x == -10.0f && v[1].y == -9.75f && v[2].x == -9.75f && v[2].y == -10.0f);
    EXPECT_TRUE(v[5].x == -10.0f && v[5].y == -10.0f);
    // Progress at the start of every row with the number of row steps.
    ASSERT_EQ(reporter.calls.size(), 81u);
    EXPECT_EQ(reporter.calls.back(), std::make_pair(80LL, 80LL));

    // Cancelled when row 2 starts: the triangles of row 1 against row 0 are kept.
    RecordingReporter cancel(3);
    sampler.calls = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_EQ(count, 2 * 80);
    ExpectMeshLayout(model, count);
    EXPECT_EQ(sampler.calls, 2 * 81);
}

// The rows go to the sampler as passes of whole rows of at most kSamplePassPoints points, so a
// library in the helper process is asked once per pass, with the rows numbered on across passes.
TEST(MeshBuilderTest, RowsAreSampledInPassesOfWholeRows) {
    struct PassSampler : FormulaSampler {
        using FormulaSampler::FormulaSampler;
        std::size_t SagBatch(std::size_t n, const double* x, const double* y, double* z, bool* ok,
                             const SampleRows& rows) override {
            EXPECT_TRUE(rows.count > 0 && rows.ends[rows.count - 1] == n && rows.reportProgress);
            EXPECT_EQ(rows.firstRow, nextRow);
            EXPECT_LE(n, kSamplePassPoints);
            nextRow += static_cast<long long>(rows.count);
            ++passes;
            return Sampler::SagBatch(n, x, y, z, ok, rows);
        }
        long long nextRow = 0;
        int passes = 0;
    };
    for (int pattern : {kRightTriangle1, kEquilateralTriangle2}) {
        SCOPED_TRACE(pattern);
        PassSampler sampler(Bowl);
        MeshParams p = Square(0.04, pattern);  // about 500 points a row
        CModel model;
        int count = 0;
        ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
        EXPECT_GE(sampler.passes, 3);
        EXPECT_GT(count, 400000);
        ExpectMeshLayout(model, count);
        for (std::size_t k = 0; k < model.vertices.size(); k += 997) {
            const Vec3f& v = model.vertices[k];
            ASSERT_NEAR(v.z, Bowl(v.x, v.y), 1e-5);
        }
    }
}

TEST(MeshBuilderTest, TooFineStepsAreEnlargedOnce) {
    FormulaSampler sampler(Bowl);
    MeshParams p = Square(0.01);
    CModel model;
    std::string message;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, &message, &count), 0);
    EXPECT_EQ(message, "too many triangles ... changed \"delta 3D\"        ");
    EXPECT_TRUE(p.dx == 0.029 && p.dy == 0.029);
    EXPECT_EQ(count, 2 * 689 * 689);
    // With the enlarged steps the budget holds: no message the second time.
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, &message, &count), 0);
    EXPECT_EQ(message, "");

    // The window fits the steps first, tells the user, then builds: steps it did not fit are
    // refused unsampled rather than sized far beyond the budget.
    MeshParams fine = Square(0.01);
    EXPECT_TRUE(FitMeshStepsToBudget(fine));
    EXPECT_TRUE(fine.dx == 0.029 && fine.dy == 0.029);
    EXPECT_FALSE(FitMeshStepsToBudget(fine));
    const int callsBefore = sampler.calls;
    EXPECT_EQ(BuildMeshWithSteps(Square(0.005), sampler, model, &count), -1);
    EXPECT_EQ(sampler.calls, callsBefore);
}

TEST(MeshBuilderTest, EveryPatternWindsTowardsPlusZAndLeavesOutTrianglesOfFailedSamples) {
    auto z = [](double x, double y) { return 0.3 * std::sin(x) * std::cos(y); };
    for (int pattern = 0; pattern < 4; ++pattern) {
        long long failedCalls = 0;
        FormulaSampler sampler(z, [&](double x, double) { return x > 5.01 && ++failedCalls; });
        MeshParams p = Square(0.4, pattern);
        CModel model;
        int count = 0;
        MeshSamples samples;
        ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count, &samples), 0);
        EXPECT_GT(count, 1000) << pattern;
        ExpectMeshLayout(model, count);
        // No corner of a triangle is a failed sample: nothing lies beyond x = 5.01.
        for (const Vec3f& v : model.vertices) {
            ASSERT_LE(v.x, 5.01f) << pattern;
            ASSERT_NEAR(v.z, z(v.x, v.y), 1e-5) << pattern;
        }
        EXPECT_EQ(samples.taken, sampler.calls) << pattern;
        EXPECT_EQ(samples.failed, failedCalls) << pattern;
        EXPECT_EQ(MeshSamplesText(samples, false),
                  std::to_string(failedCalls) + " of " + std::to_string(sampler.calls) +
                      " samples failed: their triangles are left out");

        // The full grid on request: the failed samples lie at z = 0 and every triangle stays.
        FormulaSampler again(z, [](double x, double) { return x > 5.01; });
        p.failedAtZero = true;
        CModel full;
        int fullCount = 0;
        MeshSamples fullSamples;
        ASSERT_EQ(BuildSurfaceMesh(p, again, full, nullptr, &fullCount, &fullSamples), 0);
        EXPECT_GT(fullCount, count) << pattern;
        ExpectMeshLayout(full, fullCount);
        for (const Vec3f& v : full.vertices) {
            ASSERT_NEAR(v.z, v.x > 5.01f ? 0.0 : z(v.x, v.y), 1e-5) << pattern;
        }
        EXPECT_EQ(fullSamples.failed, samples.failed);
        EXPECT_EQ(MeshSamplesText(fullSamples, true), std::to_string(failedCalls) + " of " +
                                                          std::to_string(sampler.calls) +
                                                          " samples failed: they lie at z = 0");
    }
    // A sag beyond the range of the model's floats has no vertex: it fails like a failed sample
    // (it became an infinite vertex and a normal that is no number).
    for (bool atZero : {false, true}) {
        FormulaSampler huge([](double x, double) { return x > 5.01 ? 1e300 * x : -3e37 * x; });
        MeshParams p = Square(0.4, 0);
        p.failedAtZero = atZero;
        CModel model;
        MeshSamples samples;
        ASSERT_EQ(BuildSurfaceMesh(p, huge, model, nullptr, nullptr, &samples), 0);
        EXPECT_GT(samples.failed, 0);
        for (const Vec3f& v : model.vertices) {
            if (v.x > 5.01f)
                ASSERT_TRUE(atZero && v.z == 0.0f) << v.x;
            else
                ASSERT_FLOAT_EQ(v.z, static_cast<float>(-3e37 * v.x)) << v.x;
        }
        for (const Vec3f& n : model.faceNormals) ASSERT_TRUE(std::isfinite(n.x + n.y + n.z));
    }
}

TEST(MeshBuilderTest, ASurfaceThatFailsEverywhereHasNoMesh) {
    FormulaSampler never(Bowl, [](double, double) { return true; });
    MeshParams p = Square(1.0, kRightTriangle2);
    CModel model;
    int count = -1;
    MeshSamples samples;
    ASSERT_EQ(BuildSurfaceMesh(p, never, model, nullptr, &count, &samples), 0);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(model.vertices.empty() && model.faces.empty());
    EXPECT_EQ(samples.taken, 21 * 21);
    EXPECT_EQ(samples.failed, samples.taken);
    EXPECT_TRUE(MeshHasNoSample(samples, false));
    EXPECT_EQ(MeshSamplesText(samples, false), kMeshNoSampleText);
    // The full grid still makes its flat plane on request.
    p.failedAtZero = true;
    ASSERT_EQ(BuildSurfaceMesh(p, never, model, nullptr, &count, &samples), 0);
    EXPECT_EQ(count, 2 * 20 * 20);
    EXPECT_FALSE(MeshHasNoSample(samples, true));
    // A surface without failures says nothing.
    FormulaSampler always(Bowl);
    p.failedAtZero = false;
    ASSERT_EQ(BuildSurfaceMesh(p, always, model, nullptr, &count, &samples), 0);
    EXPECT_EQ(samples.failed, 0);
    EXPECT_EQ(MeshSamplesText(samples, false), "");
}

TEST(MeshBuilderTest, EquilateralRowsLeaveASawToothBorder) {
    FormulaSampler sampler(Bowl);
    MeshParams p = Square(1.0, kEquilateralTriangle1);
    p.dy = -5;  // pattern 2 uses only dx
    p.ymin = 0;
    p.ymax = 3.5;  // rows 0 .. 4 at the height sqrt(3) / 2
    CModel model;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_EQ(count, 4 * 2 * 19);
    ExpectMeshLayout(model, count);
    // Triangles come in pairs whose first corner is point c = 1 .. 19 of row r = 1 .. 4.
    std::set<std::pair<long, long>> corners;
    for (int k = 0; k < count; k += 2) {
        const Vec3f& a = model.vertices[3 * k];
        const long r = std::lround(a.y / (std::sqrt(3.0) / 2));
        corners.insert({r, std::lround(a.x + 10 - (r % 2 ? 0.5 : 0.0))});
    }
    EXPECT_EQ(corners.size(), 4u * 19u);
    EXPECT_EQ(*corners.begin(), std::make_pair(1L, 1L));
    EXPECT_EQ(*corners.rbegin(), std::make_pair(4L, 19L));
}

TEST(MeshBuilderTest, UnusableStepsAndRangesMakeNoTriangles) {
    using Change = void (*)(MeshParams&);
    const std::pair<const char*, Change> cases[] = {
        {"one row only", [](MeshParams& p) { p.ymax = -9.8; }},
        {"negative dx", [](MeshParams& p) { p.dx = -0.25; }},
        {"not-a-number step", [](MeshParams& p) { p.dy = NAN; }},
        {"infinite step", [](MeshParams& p) { p.dx = INFINITY; }},
        {"negative dx, pattern 2", [](MeshParams& p) { p.dx = -1, p.pattern = 2; }},
        {"y reversed by many steps", [](MeshParams& p) { p.ymax = -15; }},
        {"infinite range", [](MeshParams& p) { p.xmax = INFINITY; }},
        {"unknown pattern", [](MeshParams& p) { p.pattern = 7; }},
    };
    for (const auto& [what, change] : cases) {
        MeshParams p = Square(0.25);
        change(p);
        FormulaSampler sampler(Bowl);
        CModel model;
        model.FindOrAddGroup("left over");
        std::string message;
        int count = -1;
        ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, &message, &count), 0) << what;
        EXPECT_EQ(count, 0) << what;
        EXPECT_EQ(message, "") << what;
        ExpectMeshLayout(model, 0);  // one empty group, nothing else
    }
}

TEST(MeshBuilderTest, LoopsEndWhereAdditionNoLongerMovesThePoint) {
    // At 1e17 a step of 1 is below the spacing of doubles: y += dy leaves y where it is.
    FormulaSampler sampler(Bowl);
    MeshParams p = Square(1.0);
    p.ymin = 1e17;
    p.ymax = 1e17 + 64;
    CModel model;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_LE(count, 2 * 21 * 65);  // the planned triangles
    ExpectConsistent(model);
}

}  // namespace
}  // namespace velmor::test
