#include "view3d/mesh_builder.h"

#include <gtest/gtest.h>

#include <set>

#include "interp/script_engine.h"
#include "surface/provider.h"
#include "view3d_test_support.h"

namespace velmor {
namespace {

using testing::Bowl;
using testing::ExpectConsistent;
using testing::FormulaSampler;
using testing::RecordingReporter;
using testing::ScopedReporter;

MeshParams Square(double step, int pattern = kRightTriangle1) {
    MeshParams p;
    p.dx = p.dy = step;
    p.pattern = pattern;
    return p;
}

// Every triangle of a built mesh has its own vertices, face record, normal and group entry.
void ExpectMeshLayout(const CModel& model, int count) {
    ASSERT_EQ(model.groups.size(), 1u);
    EXPECT_TRUE(model.groups[0]->name.empty());
    EXPECT_FLOAT_EQ(model.groups[0]->material.diffuse[1], 0.829f);  // the surface material
    ASSERT_EQ(model.vertices.size(), 3u * count);
    ASSERT_EQ(model.faceNormals.size(), static_cast<size_t>(count));
    ASSERT_EQ(model.faces.size(), static_cast<size_t>(count));
    ASSERT_EQ(model.groups[0]->faces.size(), static_cast<size_t>(count));
    EXPECT_TRUE(model.vertexNormals.empty());
    for (int k = 0; k < count; ++k) {
        const modelFace& f = model.faces[k];
        ASSERT_EQ(f.vertex[0], 3 * k);
        ASSERT_EQ(f.vertex[1], 3 * k + 1);
        ASSERT_EQ(f.vertex[2], 3 * k + 2);
        ASSERT_EQ(f.vertexNormal[0], -1);
        ASSERT_EQ(f.vertexNormal[2], -1);
        ASSERT_EQ(f.faceNormal, k);
        ASSERT_EQ(model.groups[0]->faces[k], k);
    }
}

void ExpectUpwardUnitNormals(const CModel& model) {
    for (const Vec3f& n : model.faceNormals) {
        ASSERT_GT(n.z, 0.0f);
        ASSERT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-5f);
    }
}

TEST(MeshBuilderTest, QuarterStepGridOfPattern0) {
    FormulaSampler sampler(Bowl);
    RecordingReporter reporter;
    ScopedReporter scope(&reporter);
    MeshParams p = Square(0.25);
    EXPECT_EQ(PlannedMeshTriangles(p), 13122.0);
    CModel model;
    std::string message = "stale";
    int count = -1;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, &message, &count), 0);
    EXPECT_EQ(count, 12800);
    EXPECT_EQ(message, "");
    EXPECT_EQ(p.dx, 0.25);
    EXPECT_EQ(sampler.calls, 81 * 81);
    ExpectMeshLayout(model, 12800);
    ExpectUpwardUnitNormals(model);

    // The first triangle is C, L, B of row 1, column 1.
    const Vec3f& c = model.vertices[0];
    const Vec3f& l = model.vertices[1];
    const Vec3f& b = model.vertices[2];
    EXPECT_FLOAT_EQ(c.x, -9.75f);
    EXPECT_FLOAT_EQ(c.y, -9.75f);
    EXPECT_FLOAT_EQ(c.z, static_cast<float>(Bowl(-9.75, -9.75)));
    EXPECT_FLOAT_EQ(l.x, -10.0f);
    EXPECT_FLOAT_EQ(l.y, -9.75f);
    EXPECT_FLOAT_EQ(b.x, -9.75f);
    EXPECT_FLOAT_EQ(b.y, -10.0f);
    EXPECT_FLOAT_EQ(b.z, static_cast<float>(Bowl(-9.75, -10.0)));
    // The second is B, L, BL.
    EXPECT_FLOAT_EQ(model.vertices[3].y, -10.0f);
    EXPECT_FLOAT_EQ(model.vertices[5].x, -10.0f);
    EXPECT_FLOAT_EQ(model.vertices[5].y, -10.0f);

    // Progress at the start of every row with the number of row steps.
    ASSERT_EQ(reporter.calls.size(), 81u);
    EXPECT_EQ(reporter.calls.front(), std::make_pair(0LL, 80LL));
    EXPECT_EQ(reporter.calls.back(), std::make_pair(80LL, 80LL));
}

TEST(MeshBuilderTest, Pattern1SplitsCellsAlongTheOtherDiagonal) {
    FormulaSampler sampler(Bowl);
    MeshParams p = Square(0.25, kRightTriangle2);
    p.xmin = p.ymin = 0;
    p.xmax = p.ymax = 1;
    CModel model;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_EQ(count, 2 * 4 * 4);
    ExpectMeshLayout(model, count);
    // C, L, BL then C, BL, B.
    EXPECT_FLOAT_EQ(model.vertices[2].x, 0.0f);
    EXPECT_FLOAT_EQ(model.vertices[2].y, 0.0f);
    EXPECT_FLOAT_EQ(model.vertices[3].x, 0.25f);
    EXPECT_FLOAT_EQ(model.vertices[5].x, 0.25f);
    EXPECT_FLOAT_EQ(model.vertices[5].y, 0.0f);
}

TEST(MeshBuilderTest, TooFineStepsAreEnlargedOnce) {
    FormulaSampler sampler(Bowl);
    MeshParams p = Square(0.01);
    EXPECT_EQ(PlannedMeshTriangles(p), 8008002.0);
    CModel model;
    std::string message;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, &message, &count), 0);
    EXPECT_EQ(message, "too many triangles ... changed \"delta 3D\"        ");
    EXPECT_DOUBLE_EQ(p.dx, 0.029);
    EXPECT_DOUBLE_EQ(p.dy, 0.029);
    EXPECT_EQ(PlannedMeshTriangles(p), 952200.0);
    EXPECT_EQ(count, 2 * 689 * 689);
    EXPECT_EQ(model.faces.size(), static_cast<size_t>(count));
    ExpectConsistent(model);

    // With the enlarged steps the budget holds: no message the second time.
    CModel again;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, again, &message, &count), 0);
    EXPECT_EQ(message, "");
    EXPECT_EQ(count, 2 * 689 * 689);
}

TEST(MeshBuilderTest, EnlargementCoversEveryPatternAndBothSteps) {
    FormulaSampler sampler([](double, double) { return 0.0; });
    MeshParams p = Square(0.005, kEquilateralTriangle1);
    p.dy = 0.7;  // not used by pattern 2, still enlarged
    CModel model;
    std::string message;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, &message), 0);
    EXPECT_FALSE(message.empty());
    EXPECT_GT(p.dx, 0.005);
    EXPECT_GT(p.dy, 0.7);
    EXPECT_DOUBLE_EQ(p.dx * 1000, std::round(p.dx * 1000));  // a multiple of 0.001
    EXPECT_LE(model.faces.size(), 1000000u);
    ExpectUpwardUnitNormals(model);
}

TEST(MeshBuilderTest, OneRowMakesNoTriangles) {
    FormulaSampler sampler(Bowl);
    MeshParams p = Square(0.25);
    p.ymin = 0;
    p.ymax = 0.2;
    CModel model;
    model.FindOrAddGroup("left over");
    int count = -1;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_EQ(count, 0);
    ExpectMeshLayout(model, 0);  // one empty group, nothing else
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
    ExpectUpwardUnitNormals(model);
    const double h = std::sqrt(3.0) / 2;
    // Triangles come in pairs whose first corner is point c = 1 .. 19 of row r = 1 .. 4.
    for (int r = 1; r <= 4; ++r) {
        std::set<int> columns;
        for (int k = 0; k < count; k += 2) {
            const Vec3f& a = model.vertices[3 * k];
            if (std::abs(a.y - r * h) > 1e-4) continue;
            const double shift = (r % 2) ? 0.5 : 0.0;
            columns.insert(static_cast<int>(std::lround(a.x - (p.xmin + shift))));
            // The second corner is the left neighbour, the third half a step back a row down.
            EXPECT_NEAR(model.vertices[3 * k + 1].x, a.x - 1.0, 1e-5);
            EXPECT_NEAR(model.vertices[3 * k + 2].x, a.x - 0.5, 1e-5);
            EXPECT_NEAR(model.vertices[3 * k + 2].y, a.y - h, 1e-5);
            EXPECT_NEAR(model.vertices[3 * k + 5].x, a.x + 0.5, 1e-5);
            // Every corner carries the sag of its own point.
            for (int i = 0; i < 6; ++i) {
                const Vec3f& v = model.vertices[3 * k + i];
                EXPECT_NEAR(v.z, Bowl(v.x, v.y), 1e-4);
            }
        }
        EXPECT_EQ(columns.size(), 19u) << "row " << r;
        EXPECT_EQ(*columns.begin(), 1);
        EXPECT_EQ(*columns.rbegin(), 19);
    }
}

TEST(MeshBuilderTest, EquilateralColumnsRunAlongY) {
    FormulaSampler sampler(Bowl);
    MeshParams p = Square(1.0, kEquilateralTriangle2);
    p.dx = 0.0001;  // pattern 3 uses only dy
    p.xmin = 0;
    p.xmax = 3.5;
    CModel model;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_EQ(count, 4 * 2 * 19);
    ExpectMeshLayout(model, count);
    ExpectUpwardUnitNormals(model);
    for (const Vec3f& v : model.vertices) EXPECT_NEAR(v.z, Bowl(v.x, v.y), 1e-4);
}

TEST(MeshBuilderTest, EveryPatternWindsTowardsPlusZ) {
    for (int pattern = 0; pattern < 4; ++pattern) {
        FormulaSampler sampler([](double x, double y) { return 0.3 * std::sin(x) * std::cos(y); });
        MeshParams p = Square(0.4, pattern);
        CModel model;
        int count = 0;
        ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
        EXPECT_GT(count, 1000) << pattern;
        ExpectMeshLayout(model, count);
        ExpectUpwardUnitNormals(model);
    }
}

TEST(MeshBuilderTest, FailedSamplesLieAtZero) {
    FormulaSampler sampler([](double, double) { return 2.0; },
                           [](double x, double) { return x > 0.01; });
    MeshParams p = Square(0.5);
    CModel model;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_EQ(count, 2 * 40 * 40);
    for (const Vec3f& v : model.vertices) ASSERT_EQ(v.z, v.x > 0.01f ? 0.0f : 2.0f);
    ExpectConsistent(model);
}

TEST(MeshBuilderTest, BuiltInSurfaceThroughTheProvider) {
    CScriptEngine engine;
    CSurfaceProvider provider(engine);
    provider.RefreshWorkingPair();
    MeshParams p = Square(0.25);
    p.xmin = p.ymin = -5;
    p.xmax = p.ymax = 5;
    CModel model;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, provider.SurfaceSampler(), model, nullptr, &count), 0);
    EXPECT_EQ(count, 2 * 40 * 40);
    ExpectUpwardUnitNormals(model);
    double z = 0;
    int lensPoints = 0;
    for (size_t i = 0; i < model.vertices.size(); i += 97) {
        const Vec3f& v = model.vertices[i];
        ASSERT_TRUE(provider.SurfaceSampler().Sag(v.x, v.y, &z));
        EXPECT_FLOAT_EQ(v.z, static_cast<float>(z));
        if (z != 0) ++lensPoints;
    }
    EXPECT_GT(lensPoints, 0);

    // A surface that fails everywhere gives a flat mesh at z = 0.
    provider.Working().Fd0()->param[3] = 0.0;
    CModel flat;
    ASSERT_EQ(BuildSurfaceMesh(p, provider.SurfaceSampler(), flat, nullptr, &count), 0);
    EXPECT_EQ(count, 2 * 40 * 40);
    for (const Vec3f& v : flat.vertices) ASSERT_EQ(v.z, 0.0f);
}

TEST(MeshBuilderTest, CancelAtARowStartKeepsTheRowsMade) {
    FormulaSampler sampler(Bowl);
    RecordingReporter reporter(3);  // cancel when row 2 starts
    ScopedReporter scope(&reporter);
    MeshParams p = Square(0.25);
    CModel model;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_EQ(count, 2 * 80);  // row 1 against row 0
    ExpectMeshLayout(model, count);
    EXPECT_EQ(reporter.calls.size(), 3u);
    EXPECT_EQ(sampler.calls, 2 * 81);
}

TEST(MeshBuilderTest, UnusableStepsAndRangesMakeNoTriangles) {
    struct Case {
        const char* what;
        MeshParams p;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto change) {
        MeshParams p = Square(0.25);
        change(p);
        cases.push_back({what, p});
    };
    add("negative dx", [](MeshParams& p) { p.dx = -0.25; });
    add("negative dy", [](MeshParams& p) { p.dy = -0.001; });
    add("zero step", [](MeshParams& p) { p.dx = 0; });
    add("not-a-number step", [](MeshParams& p) { p.dy = NAN; });
    add("infinite step", [](MeshParams& p) { p.dx = INFINITY; });
    add("negative dx, pattern 2", [](MeshParams& p) {
        p.dx = -1;
        p.pattern = 2;
    });
    add("negative dy, pattern 3", [](MeshParams& p) {
        p.dy = -1;
        p.pattern = 3;
    });
    add("x reversed by less than a step", [](MeshParams& p) {
        p.xmin = 0.1;
        p.xmax = 0;
    });
    add("x reversed by many steps", [](MeshParams& p) {
        p.xmin = 10;
        p.xmax = -10;
    });
    add("y reversed", [](MeshParams& p) {
        p.ymin = 10;
        p.ymax = -10;
    });
    add("infinite range", [](MeshParams& p) { p.xmax = INFINITY; });
    add("unknown pattern", [](MeshParams& p) { p.pattern = 7; });
    for (Case& c : cases) {
        FormulaSampler sampler(Bowl);
        CModel model;
        std::string message;
        int count = -1;
        const double dx = c.p.dx, dy = c.p.dy;
        ASSERT_EQ(BuildSurfaceMesh(c.p, sampler, model, &message, &count), 0) << c.what;
        EXPECT_EQ(count, 0) << c.what;
        EXPECT_EQ(message, "") << c.what;
        EXPECT_TRUE(c.p.dx == dx || std::isnan(dx)) << c.what;
        EXPECT_TRUE(c.p.dy == dy || std::isnan(dy)) << c.what;
        ExpectMeshLayout(model, 0);
    }
}

TEST(MeshBuilderTest, LoopsEndWhereAdditionNoLongerMovesThePoint) {
    // At 1e17 a step of 1 is below the spacing of doubles: y += dy leaves y unchanged.
    FormulaSampler sampler(Bowl);
    MeshParams p = Square(1.0);
    p.xmin = -2;
    p.xmax = 2;
    p.ymin = 1e17;
    p.ymax = 1e17 + 64;
    CModel model;
    int count = 0;
    ASSERT_EQ(BuildSurfaceMesh(p, sampler, model, nullptr, &count), 0);
    EXPECT_LE(count, PlannedMeshTriangles(p));
    ExpectConsistent(model);

    // A range far longer than wide: one enlargement leaves a single row, which is not sampled
    // and allocates nothing in proportion to its length.
    MeshParams thin = Square(1.0);
    thin.xmin = 0;
    thin.xmax = 1e12;
    thin.ymin = 0;
    thin.ymax = 0.5;
    std::string message;
    ASSERT_EQ(BuildSurfaceMesh(thin, sampler, model, &message, &count), 0);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace velmor
