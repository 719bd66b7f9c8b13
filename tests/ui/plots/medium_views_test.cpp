// A gradient-index surface's views on pixels: the ray's path through the medium in its real,
// curved shape in the profile views and projected in the plan view, and the index field in grey
// behind the profiles with the labels on their paper boxes over it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/surface/row_catalogue.h"
#include "plot_test_support.h"
#include "ui/plots/medium_drawing.h"
#include "ui/plots/surface_map.h"
#include "ui/plots/view_images.h"

namespace velmor::test {
namespace {

constexpr int kSide = 201;

// Whether a pixel of the colour lies within `radius` of (x, y).
bool AnyRgbNear(const QImage& image, double x, double y, int radius, QRgb rgb) {
    const QRect box(int(x) - radius, int(y) - radius, 2 * radius + 1, 2 * radius + 1);
    return CountRgb(image, box, rgb) > 0;
}

// grin_exact with a strong gradient (n^2 = 1.6^2 (1 - 0.09^2 r^2)): the ray from (8, 3, 0)
// along the axis bends towards it on its way to the plane z = 10.
class MediumViewsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.Open("grin_exact"));
        RecordPair& records = program.provider.Initial();
        const double step = 0.05, g = 0.09;
        std::memcpy(records.fd + offsetof(FIXED_DATA, param) + sizeof(double), &step, 8);
        std::memcpy(records.fd + offsetof(FIXED_DATA, param) + 3 * sizeof(double), &g, 8);
        records.ud.x = 8;
        records.ud.y = 3;
        records.ud.l = records.ud.m = 0;
        records.ud.n = 1;
        state = program.Traced();
        ASSERT_TRUE(state.gradientIndex);
        ASSERT_NE(state.mediumPath, nullptr);
        ASSERT_EQ(state.mediumPath->end, MediumEnd::kPlane);
        state.cursor = state.verbose = false;
        state.rayTrace = true;
        state.displayN = {1.0, 1.7};
    }

    ProgramSurface program;
    Sampler& sampler = program.provider.SurfaceSampler();
    PlotState state;
};

TEST_F(MediumViewsTest, PathIsDrawnInItsRealShapeInEveryView) {
    const MediumPath& path = *state.mediumPath;
    ASSERT_GT(path.points.size(), 50u);
    const MediumPoint& first = path.points.front();
    const MediumPoint& last = path.points.back();
    const MediumPoint& middle = path.points[path.points.size() / 2];
    ASSERT_LT(last.x, first.x - 4);  // it did bend: x from 8 to about 2.3

    const QImage xz = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    const QImage yz = DrawProfileView(ProfileAxis::kY, state, sampler, kSide, kSide);
    const QImage plan = DrawPlanView(state, nullptr, kSide, kSide);
    const PlotMapping mxz(kSide, kSide, state.displayX, state.displayZ);
    const PlotMapping myz(kSide, kSide, state.displayY, state.displayZ);
    const PlotMapping mxy(kSide, kSide, state.displayX, state.displayY);
    for (std::size_t k = 0; k < path.points.size(); k += path.points.size() / 10) {
        const MediumPoint& p = path.points[k];
        if (p.z > 8) continue;  // under the label "z, n, dn/dx" and the view's border
        EXPECT_TRUE(AnyRgbNear(xz, mxz.X(p.x), mxz.Y(p.z), 1, kBlueRgb)) << k;
        EXPECT_TRUE(AnyRgbNear(yz, myz.X(p.y), myz.Y(p.z), 1, kBlueRgb)) << k;
        EXPECT_TRUE(AnyRgbNear(plan, mxy.X(p.x), mxy.Y(p.y), 1, kBlueRgb)) << k;
    }
    // A curve, not the chord between its ends: the path's middle lies well off the chord's.
    const double chordX = mxz.X((first.x + last.x) / 2), chordZ = mxz.Y((first.z + last.z) / 2);
    EXPECT_GT(std::fabs(mxz.X(middle.x) - chordX), 8);
    EXPECT_FALSE(AnyRgbNear(xz, chordX, chordZ, 2, kBlueRgb));

    // Ray Trace off hides the path.
    state.rayTrace = false;
    const QImage hidden = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    EXPECT_FALSE(AnyRgbNear(hidden, mxz.X(middle.x), mxz.Y(middle.z), 1, kBlueRgb));
    EXPECT_FALSE(AnyRgbNear(DrawPlanView(state, nullptr, kSide, kSide), mxy.X(middle.x),
                            mxy.Y(middle.y), 1, kBlueRgb));
}

// The field behind the x-z view is n(x, cursor y, z) at each pixel's centre in the map's grey
// levels over the display n range; where request 6 fails (n^2 <= 0 beyond r = 11.1) it is black.
TEST_F(MediumViewsTest, IndexFieldFillsTheProfilesInGreyLevels) {
    state.displayX = {-15, 15};
    state.cursorY = 0.5;
    const QImage image = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    const PlotMapping m(kSide, kSide, state.displayX, state.displayZ);
    const int row = int(m.Y(4));
    const double z = state.displayZ.max - (row - 1 + 0.5) * state.displayZ.Width() / (kSide - 2);
    int matched = 0, failed = 0, failedBlack = 0, asked = 0;
    for (int column = 1; column < kSide - 1; ++column) {
        const double x =
            state.displayX.min + (column - 1 + 0.5) * state.displayX.Width() / (kSide - 2);
        ASSERT_EQ(int(m.X(x)), column);
        IndexSample s;
        if (!sampler.Index(x, state.cursorY, z, &s)) {
            ++failed;
            failedBlack += IsRgb(image, column, row, kBlackRgb);
            continue;
        }
        ++asked;
        matched += IsRgb(image, column, row, MapGreyLevel(s.index, 1.0, 1.7));
    }
    EXPECT_GT(failed, 30);
    EXPECT_EQ(failedBlack, failed);
    // The index curve, the path, the cursor line and the axis cross the row.
    EXPECT_GE(matched, asked - 8);
    // Greys that change across: darker towards the rim where n falls.
    const QRgb centre = image.pixel(int(m.X(0.5)), row), rim = image.pixel(int(m.X(10.5)), row);
    EXPECT_GT(qGray(centre), qGray(rim) + 40);

    // The labels keep their paper boxes over the field.
    const PixelPoint top = m.Map(0, state.displayZ.max);
    EXPECT_TRUE(
        HasTextAt(image, "z, n, dn/dx", int(top.x) + 4, int(top.y) + 2, kBlackRgb, kPaperRgb));
    const QString sag = QStringLiteral("sag  (y=0.500)");
    const int cy = TextStamp(sag, kBlackRgb, kPaperRgb).height();
    EXPECT_TRUE(HasTextAt(image, sag, 3, kSide - 1 - cy - 2, kBlackRgb, kPaperRgb));

    // The y-z view: n(cursor x, y, z), the same picture with x and y exchanged (the medium is
    // round), the paths aside.
    state.rayTrace = false;
    state.displayY = {-15, 15};
    state.cursorX = 0.5;
    const QImage xz = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    const QImage yz = DrawProfileView(ProfileAxis::kY, state, sampler, kSide, kSide);
    for (int column = 0; column < kSide; ++column) {
        ASSERT_EQ(xz.pixel(column, row), yz.pixel(column, row)) << column;
    }
}

}  // namespace
}  // namespace velmor::test
