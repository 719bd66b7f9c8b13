#include "view3d/model.h"

#include <gtest/gtest.h>

#include <climits>

#include "view3d_test_support.h"

namespace velmor {
namespace {

using testing::RecordingReporter;
using testing::ScopedReporter;

TEST(ModelTest, PresetsAndNewFaces) {
    const modelMaterial d = modelMaterial::Default();
    EXPECT_FLOAT_EQ(d.ambient[0], 0.2f);
    EXPECT_FLOAT_EQ(d.diffuse[2], 0.8f);
    EXPECT_FLOAT_EQ(d.specular[0], 0.0f);
    EXPECT_FLOAT_EQ(d.specular[3], 1.0f);
    EXPECT_FLOAT_EQ(d.shininess, 0.0f);
    const modelMaterial s = modelMaterial::Surface();
    EXPECT_FLOAT_EQ(s.ambient[0], 0.25f);
    EXPECT_FLOAT_EQ(s.ambient[1], 0.20725f);
    EXPECT_FLOAT_EQ(s.diffuse[0], 1.0f);
    EXPECT_FLOAT_EQ(s.diffuse[1], 0.829f);
    EXPECT_FLOAT_EQ(s.specular[2], 0.296648f);
    EXPECT_FLOAT_EQ(s.specular[3], 1.0f);
    EXPECT_FLOAT_EQ(s.shininess, 0.088f);

    const modelFace face;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(face.vertex[i], -1);
        EXPECT_EQ(face.vertexNormal[i], -1);
    }
    EXPECT_EQ(face.faceNormal, -1);
    EXPECT_EQ(sizeof(modelFace), 7 * sizeof(int));
}

TEST(ModelTest, GroupsAreFoundWithoutRegardToCase) {
    CModel model;
    EXPECT_EQ(model.FindGroup("Lens"), nullptr);
    modelGroup* lens = model.FindOrAddGroup("Lens");
    ASSERT_NE(lens, nullptr);
    EXPECT_EQ(lens->name, "Lens");
    EXPECT_TRUE(lens->faces.empty());
    EXPECT_FLOAT_EQ(lens->material.diffuse[0], 0.8f);  // the default material
    EXPECT_EQ(model.FindOrAddGroup("LENS"), lens);
    EXPECT_EQ(model.FindGroup("lens"), lens);
    EXPECT_EQ(model.groups.size(), 1u);
    model.FindOrAddGroup("Mount");
    EXPECT_EQ(model.groups.size(), 2u);
    EXPECT_EQ(model.FindGroup("mount")->name, "Mount");
    EXPECT_EQ(model.FindGroup("Lens "), nullptr);  // blanks count
}

TEST(ModelTest, CopyIsDeepAndClearEmptiesEverything) {
    CModel a;
    a.vertices = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    a.vertexNormals = {{0, 0, 1}};
    a.faceNormals = {{0, 1, 0}};
    modelFace face;
    face.vertex[0] = 0;
    face.vertex[1] = 1;
    face.vertex[2] = 2;
    face.faceNormal = 0;
    a.faces = {face};
    a.FindOrAddGroup("g")->faces = {0};

    CModel b;
    b.FindOrAddGroup("old");
    b.CopyFrom(a);
    ASSERT_EQ(b.groups.size(), 1u);
    EXPECT_NE(b.groups[0].get(), a.groups[0].get());
    EXPECT_EQ(b.groups[0]->name, "g");
    EXPECT_EQ(b.vertices.size(), 3u);
    EXPECT_EQ(b.faces[0].vertex[2], 2);
    b.groups[0]->faces.push_back(7);
    b.groups[0]->material.shininess = 9;
    b.vertices[0].x = -1;
    EXPECT_EQ(a.groups[0]->faces.size(), 1u);
    EXPECT_FLOAT_EQ(a.groups[0]->material.shininess, 0.0f);
    EXPECT_FLOAT_EQ(a.vertices[0].x, 1.0f);

    b.CopyFrom(b);  // copying onto itself keeps the model
    EXPECT_EQ(b.vertices.size(), 3u);

    a.Clear();
    EXPECT_TRUE(a.vertices.empty() && a.vertexNormals.empty() && a.faceNormals.empty() &&
                a.faces.empty() && a.groups.empty());
    EXPECT_EQ(b.groups.size(), 1u);
}

TEST(ModelTest, TriangleNormalIsUnitByTheRightHandRule) {
    const Vec3f n = TriangleNormal({0, 0, 0}, {2, 0, 0}, {0, 3, 0});
    EXPECT_FLOAT_EQ(n.x, 0.0f);
    EXPECT_FLOAT_EQ(n.y, 0.0f);
    EXPECT_FLOAT_EQ(n.z, 1.0f);
    const Vec3f flipped = TriangleNormal({0, 0, 0}, {0, 3, 0}, {2, 0, 0});
    EXPECT_FLOAT_EQ(flipped.z, -1.0f);

    const double a[3] = {1, 1, 1}, b[3] = {2, 2, 2}, c[3] = {3, 3, 3};
    double out[3] = {9, 9, 9};
    EXPECT_EQ(TriangleNormal(a, b, c, out), -1);  // collinear
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 0.0);
    EXPECT_EQ(out[2], 0.0);
    const double nan[3] = {NAN, 0, 0};
    EXPECT_EQ(TriangleNormal(nan, b, c, out), -1);
    EXPECT_EQ(out[2], 0.0);

    const double p[3] = {0, 0, 0}, q[3] = {1, 0, 1}, r[3] = {0, 1, 0};
    ASSERT_EQ(TriangleNormal(p, q, r, out), 0);
    EXPECT_NEAR(out[0] * out[0] + out[1] * out[1] + out[2] * out[2], 1.0, 1e-15);
    EXPECT_NEAR(out[0], -1 / std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(out[2], 1 / std::sqrt(2.0), 1e-15);

    // The readers' face normal: (p1 - p0) x (p2 - p1), not scaled.
    const Vec3f f = FaceNormal({0, 0, 0}, {2, 0, 0}, {2, 3, 0});
    EXPECT_FLOAT_EQ(f.z, 6.0f);
}

TEST(ProgressTest, ReporterIsOptionalAndReplaceable) {
    EXPECT_FALSE(ReportProgress(0, 10));  // nothing installed: never cancels
    RecordingReporter first(2), second;
    {
        ScopedReporter scope(&first);
        EXPECT_FALSE(ReportProgress(0, 10));
        EXPECT_TRUE(ReportProgress(1, 10));
        EXPECT_EQ(SetProgressReporter(&second), &first);
        EXPECT_FALSE(ReportProgress(2, 10));
        EXPECT_EQ(SetProgressReporter(&first), &second);
    }
    EXPECT_FALSE(ReportProgress(3, 10));
    ASSERT_EQ(first.calls.size(), 2u);
    EXPECT_EQ(first.calls[1], std::make_pair(1LL, 10LL));
    ASSERT_EQ(second.calls.size(), 1u);
    EXPECT_EQ(SetProgressReporter(nullptr), nullptr);
}

TEST(ProgressTest, PercentOfStep) {
    EXPECT_EQ(ProgressPercent(50, 200), 25);
    EXPECT_EQ(ProgressPercent(199, 200), 100);
    EXPECT_EQ(ProgressPercent(0, 0), 0);
    EXPECT_EQ(ProgressPercent(5, -3), 0);
    EXPECT_EQ(ProgressPercent(0, 1), 100);
    EXPECT_EQ(ProgressPercent(500, 200), 100);
    EXPECT_EQ(ProgressPercent(-7, 200), 0);
    EXPECT_EQ(ProgressPercent(LLONG_MAX - 1, LLONG_MAX), 100);  // no overflow
    EXPECT_EQ(ProgressPercent(LLONG_MAX / 2, LLONG_MAX), 50);
}

}  // namespace
}  // namespace velmor
