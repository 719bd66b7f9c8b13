// The four views on real surfaces (the built-in surface, example libraries), checked pixel by
// pixel against the mapping.
#include "plots/views.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/number_text.h"
#include "plot_test_support.h"
#include "plots/sample_loop.h"

namespace velmor::test {
namespace {

constexpr int kSide = 201;

PlotState Quiet(PlotState state) {
    state.cursor = false;
    state.rayTrace = false;
    state.verbose = false;
    return state;
}

TEST(ProfileViews, AxesLieWhereTheMappingPutsThem) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    state.displayX = {-3, 7};
    state.displayY = {-6, 4};
    state.displayZ = {-2, 8};
    const PlotMapping xz(kSide, kSide, state.displayX, state.displayZ);
    const PlotMapping plan(kSide, kSide, state.displayX, state.displayY);
    Sampler& sampler = program.provider.SurfaceSampler();

    const QImage image = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    const int axisRow = static_cast<int>(xz.Y(0)), axisColumn = static_cast<int>(xz.X(0));
    ASSERT_EQ(axisRow, 160);
    ASSERT_EQ(axisColumn, 60);
    for (int x = 1; x < kSide - 1; ++x) ASSERT_TRUE(IsRgb(image, x, axisRow, kBlackRgb)) << x;
    // Drawn from zmin up to zmax, the last pixel left out as every line leaves it out.
    for (int y = 2; y < kSide - 1; ++y) ASSERT_TRUE(IsRgb(image, axisColumn, y, kBlackRgb)) << y;
    EXPECT_TRUE(IsRgb(image, 30, axisRow - 1, kPaperRgb));
    EXPECT_TRUE(IsRgb(image, 30, axisRow + 1, kPaperRgb));
    // The one-pixel black border.
    for (int i = 0; i < kSide; ++i) {
        ASSERT_TRUE(IsRgb(image, i, 0, kBlackRgb) && IsRgb(image, i, kSide - 1, kBlackRgb));
        ASSERT_TRUE(IsRgb(image, 0, i, kBlackRgb) && IsRgb(image, kSide - 1, i, kBlackRgb));
    }

    // The plan view draws its axes in red.
    const QImage top = DrawPlanView(state, nullptr, kSide, kSide);
    EXPECT_TRUE(IsRgb(top, 20, plan.Y(0), kRedRgb));
    EXPECT_TRUE(IsRgb(top, plan.X(0), 150, kRedRgb));
    EXPECT_EQ(CountRgb(top, QRect(0, static_cast<int>(plan.Y(0)), kSide, 1), kRedRgb), kSide - 2);
}

TEST(ProfileViews, EverySampleStepAndTheExchangesOfTheYzView) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    state.cursor = true;
    state.analysisX = {-2, 2};
    state.analysisY = {-1, 1};
    state.stepX = 0.1;
    state.stepY = 0.05;
    state.cursorX = 0.3;
    state.cursorY = -0.7;
    RecordingSampler recorder(program.provider.SurfaceSampler());

    DrawProfileView(ProfileAxis::kX, state, recorder, kSide, kSide);
    std::vector<double> xs;
    ForEachSample(-2, 2, 0.1, [&](double x) { xs.push_back(x); });
    ASSERT_EQ(recorder.requests.size(), xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) {
        EXPECT_EQ(recorder.requests[i].x, xs[i]);
        EXPECT_EQ(recorder.requests[i].y, -0.7);
    }

    recorder.requests.clear();
    DrawProfileView(ProfileAxis::kY, state, recorder, kSide, kSide);
    std::vector<double> ys;
    ForEachSample(-1, 1, 0.05, [&](double y) { ys.push_back(y); });
    ASSERT_EQ(recorder.requests.size(), ys.size());
    for (std::size_t i = 0; i < ys.size(); ++i) {
        EXPECT_EQ(recorder.requests[i].x, 0.3);
        EXPECT_EQ(recorder.requests[i].y, ys[i]);
    }

    // Reversed analysis range: no curve at all.
    state.analysisX = {2, -2};
    recorder.requests.clear();
    DrawProfileView(ProfileAxis::kX, state, recorder, kSide, kSide);
    EXPECT_TRUE(recorder.requests.empty());
}

TEST(ProfileViews, BuiltInSurfaceSectionsAtTheMappedSag) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    state.displayZ = {-0.2, 0.3};
    state.cursor = true;
    state.cursorY = 0.3;
    Sampler& sampler = program.provider.SurfaceSampler();
    const PlotMapping m(kSide, kSide, state.displayX, state.displayZ);

    std::vector<double> xs;
    ForEachSample(state.analysisX.min, state.analysisX.max, state.stepX,
                  [&](double x) { xs.push_back(x); });
    const QImage cursorView = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    int lensletPoints = 0;
    for (std::size_t k = 10; k + 10 < xs.size(); k += 37) {
        double sag = 0;
        ASSERT_TRUE(sampler.Sag(xs[k], 0.3, &sag));
        if (sag > 0.01) ++lensletPoints;
        EXPECT_TRUE(IsRgb(cursorView, m.X(xs[k]), m.Y(sag), kBlackRgb)) << xs[k] << " " << sag;
    }
    EXPECT_GT(lensletPoints, 5);  // the samples did land on the lenslets

    // The ray's section in red, here with a ray straight down at x = 8 so its lines stay there.
    state.cursor = false;
    state.rayTrace = true;
    state.rayTraceOk = true;
    const double yr = -1.2;
    const double ray[6] = {8, yr, 0, 0, 0, -1};
    std::copy(ray, ray + 6, state.rayResult);
    state.startL = state.startM = 0;
    state.startN = -1;
    const QImage rayView = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    for (std::size_t k = 10; xs[k] < 6; k += 37) {
        double sag = 0;
        ASSERT_TRUE(sampler.Sag(xs[k], yr, &sag));
        EXPECT_TRUE(IsRgb(rayView, m.X(xs[k]), m.Y(sag), kRedRgb)) << xs[k] << " " << sag;
    }
    EXPECT_EQ(CountRgb(rayView, QRect(0, 0, static_cast<int>(m.X(7)), kSide), kBlueRgb), 0);
    EXPECT_GT(CountRgb(rayView, QRect(static_cast<int>(m.X(7)), 0, kSide, kSide), kBlueRgb), 50);
}

TEST(ProfileViews, RayProjectionsUseTheComponentsOfTheirPlane) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    state.rayTrace = true;
    state.rayTraceOk = true;
    const double ray[6] = {1, -2, 0.5, 0.3, 0.5, 0.812};  // hit point and outgoing direction
    std::copy(ray, ray + 6, state.rayResult);
    state.startL = 0.6;
    state.startM = -0.3;
    state.startN = -0.742;
    Sampler& sampler = program.provider.SurfaceSampler();
    const PlotMapping xz(kSide, kSide, state.displayX, state.displayZ);
    const PlotMapping yz(kSide, kSide, state.displayY, state.displayZ);
    const auto near = [](const QImage& image, const PlotMapping& m, double u, double v, QRgb rgb) {
        return CountRgb(image,
                        QRect(static_cast<int>(m.X(u)) - 1, static_cast<int>(m.Y(v)) - 1, 3, 3),
                        rgb) > 0;
    };
    // The reach is ten display widths; 3 % of it is 6 world units here.
    const QImage x = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    EXPECT_TRUE(near(x, xz, 1 - 6 * 0.6, 0.5 + 6 * 0.742, kRedRgb));
    EXPECT_TRUE(near(x, xz, 1 + 6 * 0.3, 0.5 + 6 * 0.812, kBlueRgb));
    const QImage y = DrawProfileView(ProfileAxis::kY, state, sampler, kSide, kSide);
    EXPECT_TRUE(near(y, yz, -2 + 6 * 0.3, 0.5 + 6 * 0.742, kRedRgb));
    EXPECT_TRUE(near(y, yz, -2 + 6 * 0.5, 0.5 + 6 * 0.812, kBlueRgb));
    EXPECT_FALSE(near(y, yz, -2 - 6 * 0.6, 0.5 + 6 * 0.742, kRedRgb));
}

TEST(ProfileViews, SurfaceFailingOutsideItsApertureLeavesAGap) {
    ProgramSurface program;
    ASSERT_TRUE(program.Open("apertured_sphere.so"));  // semi-aperture 2, curvature 0.25
    PlotState state = Quiet(program.Traced());
    state.cursor = true;
    state.cursorY = 0;
    state.displayZ = {-1, 1};
    Sampler& sampler = program.provider.SurfaceSampler();
    const PlotMapping m(kSide, kSide, state.displayX, state.displayZ);
    const QImage image = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);

    // Inside the aperture the curve is there...
    double sag = 0;
    ASSERT_TRUE(sampler.Sag(1.5, 0, &sag));
    EXPECT_TRUE(IsRgb(image, m.X(1.5), m.Y(sag), kBlackRgb));
    // ...outside it nothing is drawn above the axis (the sphere would reach z = 0.5 at 2.1).
    const int top = static_cast<int>(m.Y(0.9)), bottom = static_cast<int>(m.Y(0)) - 1;
    for (double x : {-9.0, -6.0, -3.0, -2.2, 2.2, 3.0, 6.0}) {
        EXPECT_EQ(CountRgb(image, QRect(static_cast<int>(m.X(x)), top, 1, bottom - top), kBlackRgb),
                  0)
            << x;
    }
}

TEST(PlanView, CursorOffRemovesCrossHairAndReadout) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    Sampler& sampler = program.provider.SurfaceSampler();
    const PlotMapping m(kSide, kSide, state.displayX, state.displayY);

    state.cursor = true;
    QImage image = DrawPlanView(state, nullptr, kSide, kSide);
    EXPECT_GT(CountRgb(image, QRect(0, static_cast<int>(m.Y(0.1)), kSide, 1), kGreyRgb), 50);
    EXPECT_GT(CountRgb(image, QRect(static_cast<int>(m.X(0.1)), 0, 1, kSide), kGreyRgb), 50);
    EXPECT_TRUE(
        CursorReadout(state, sampler).startsWith("Cursor: x=0.100 , y=0.100 , z=0.100, sag="));
    EXPECT_GT(CountRgb(DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide), kGreyRgb),
              50);

    state.cursor = false;
    image = DrawPlanView(state, nullptr, kSide, kSide);
    EXPECT_EQ(CountRgb(image, kGreyRgb), 0);
    EXPECT_EQ(CursorReadout(state, sampler), QString());
    EXPECT_EQ(CountRgb(DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide), kGreyRgb),
              0);
    EXPECT_EQ(CountRgb(DrawRayView(state, sampler, kSide, kSide), kGreyRgb), 0);
}

TEST(PlanView, VerboseOffRemovesHelpTexts) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    state.rayTrace = true;
    Sampler& sampler = program.provider.SurfaceSampler();
    const int left = 1, bottom = kSide - 1;
    const QString through = "Shift L-Click:ThroughPoint", direction = "Shift R-Click:Direction";
    const QString elevation = "Shift L-Click:IncidentElevation";
    const int cy = TextStamp(direction, kBlackRgb, kWhiteRgb).height();
    const int cx = TextStamp(elevation, kBlackRgb, kPaperRgb).width();

    state.verbose = true;
    QImage plan = DrawPlanView(state, nullptr, 420, kSide);
    EXPECT_TRUE(HasTextAt(plan, direction, left + 2, bottom - cy - 2, kBlackRgb, kWhiteRgb));
    EXPECT_TRUE(HasTextAt(plan, through, left + 2, bottom - 2 * cy - 4, kBlackRgb, kWhiteRgb));
    QImage ray = DrawRayView(state, sampler, 420, kSide);
    EXPECT_TRUE(HasTextAt(ray, elevation, 420 - 1 - cx - 4, bottom - cy - 2, kBlackRgb, kPaperRgb));
    const PlotMapping rm(420, kSide, state.displayR, state.displayZ);
    const int incidentWidth = TextStamp("Incident", kBlackRgb, kPaperRgb).width();
    EXPECT_TRUE(HasTextAt(ray, "Incident", static_cast<int>(rm.X(10)) - incidentWidth - 4,
                          static_cast<int>(rm.Y(0)) - cy - 2, kBlackRgb, kPaperRgb));
    EXPECT_TRUE(HasTextAt(ray, "Outgoing", static_cast<int>(rm.X(-10)) + 4,
                          static_cast<int>(rm.Y(0)) - cy - 2, kBlackRgb, kPaperRgb));

    state.verbose = false;
    plan = DrawPlanView(state, nullptr, 420, kSide);
    EXPECT_EQ(CountRgb(plan, QRect(left, bottom - 2 * cy - 4, 300, 2 * cy + 4), kBlackRgb), 0);
    ray = DrawRayView(state, sampler, 420, kSide);
    EXPECT_FALSE(
        HasTextAt(ray, elevation, 420 - 1 - cx - 4, bottom - cy - 2, kBlackRgb, kPaperRgb));
    EXPECT_FALSE(HasTextAt(ray, "Outgoing", static_cast<int>(rm.X(-10)) + 4,
                           static_cast<int>(rm.Y(0)) - cy - 2, kBlackRgb, kPaperRgb));

    // With Ray Trace off the ray help texts go even with Verbose on.
    state.verbose = true;
    state.rayTrace = false;
    plan = DrawPlanView(state, nullptr, 420, kSide);
    EXPECT_FALSE(HasTextAt(plan, direction, left + 2, bottom - cy - 2, kBlackRgb, kWhiteRgb));
}

TEST(Views, RayTraceOffRemovesTheRays) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    ASSERT_TRUE(state.rayTraceOk);
    Sampler& sampler = program.provider.SurfaceSampler();
    const PlotMapping m(kSide, kSide, state.displayX, state.displayY);

    state.rayTrace = true;
    EXPECT_GT(CountRgb(DrawPlanView(state, nullptr, kSide, kSide), kBlueRgb), 50);
    EXPECT_GT(CountRgb(DrawProfileView(ProfileAxis::kY, state, sampler, kSide, kSide), kBlueRgb),
              50);
    EXPECT_GT(CountRgb(DrawRayView(state, sampler, kSide, kSide), kRedRgb), 50);

    state.rayTrace = false;
    const QImage plan = DrawPlanView(state, nullptr, kSide, kSide);
    EXPECT_EQ(CountRgb(plan, kBlueRgb), 0);
    // Red only on the two axes.
    EXPECT_EQ(CountRgb(plan, kRedRgb), 2 * (kSide - 2) - 1);
    for (ProfileAxis axis : {ProfileAxis::kX, ProfileAxis::kY}) {
        const QImage profile = DrawProfileView(axis, state, sampler, kSide, kSide);
        EXPECT_EQ(CountRgb(profile, kBlueRgb) + CountRgb(profile, kRedRgb), 0);
    }
    const QImage ray = DrawRayView(state, sampler, kSide, kSide);
    EXPECT_EQ(CountRgb(ray, kBlueRgb) + CountRgb(ray, kRedRgb), 0);
}

TEST(Views, FailedTraceDrawsTheCrossAtTheStartPoint) {
    ProgramSurface program;
    ASSERT_TRUE(program.Open("apertured_sphere.so"));
    program.provider.Initial().ud.x = 5;  // outside the aperture: the trace fails
    program.provider.Initial().ud.y = -2;
    PlotState state = Quiet(program.Traced());
    ASSERT_FALSE(state.rayTraceOk);
    state.rayTrace = true;
    Sampler& sampler = program.provider.SurfaceSampler();
    const PlotMapping m(kSide, kSide, state.displayX, state.displayZ);

    const QImage image = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    const double px = m.X(5), py = m.Y(0);
    for (int dx : {-1, 1}) {
        for (int dy : {-1, 1}) EXPECT_TRUE(IsRgb(image, px + dx, py + dy, kRedRgb)) << dx << dy;
    }
    EXPECT_EQ(CountRgb(image, kBlueRgb), 0);
    // The label of the red section names the start y, whatever y the failed trace left.
    state.rayResult[1] = 7.5;
    const QImage relabelled = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    const int cy = TextStamp("z", kBlackRgb, kPaperRgb).height();
    EXPECT_TRUE(HasTextAt(relabelled, "sag(y=-2.000)", 3, kSide - 1 - cy - 2, kRedRgb, kPaperRgb));

    // The ray view centres on the start point and dots the straight continuation.
    const QImage ray = DrawRayView(state, sampler, kSide, kSide);
    EXPECT_EQ(CountRgb(ray, kBlueRgb), 0);
    const PlotMapping rm(kSide, kSide, state.displayR, state.displayZ);
    const double h = std::hypot(state.startL, state.startM);
    // Rows of the continuation between z = 4 and z = 8, up and to the left of the centre:
    // some carry a red dot near the line, some do not.
    int dotted = 0, rows = 0;
    for (int y = static_cast<int>(rm.Y(8)); y <= static_cast<int>(rm.Y(4)); ++y, ++rows) {
        const double z = 10 - (y - 1) * 20.0 / (kSide - 2);
        const int x = static_cast<int>(rm.X(-z / state.startN * h));
        if (CountRgb(ray, QRect(x - 2, y, 5, 1), kRedRgb) > 0) ++dotted;
    }
    EXPECT_GT(dotted, rows / 4);
    EXPECT_LT(dotted, rows * 3 / 4);
}

TEST(Views, IndexLabelsSwapWithTheRayDirection) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    state.rayTrace = true;
    Sampler& sampler = program.provider.SurfaceSampler();
    const int kWide = 401;  // wide enough that the red sag label at the left stays clear
    const PlotMapping m(kWide, kSide, state.displayX, state.displayZ);
    const QSize e = TextStamp("n1=1.000", kBlackRgb, kPaperRgb).size();
    const int x = static_cast<int>(m.X(10)) - e.width() - 2;
    const int upper = static_cast<int>(m.Y(0)) + 2;
    const int lower = static_cast<int>(m.Y(-10)) - e.height() - 2;

    state.startN = -0.947;
    QImage image = DrawProfileView(ProfileAxis::kX, state, sampler, kWide, kSide);
    EXPECT_TRUE(HasTextAt(image, "n1=1.000", x, upper, kBlackRgb, kPaperRgb));
    EXPECT_TRUE(HasTextAt(image, "n2=1.500", x, lower, kBlackRgb, kPaperRgb));
    state.startN = 0.947;
    image = DrawProfileView(ProfileAxis::kX, state, sampler, kWide, kSide);
    EXPECT_TRUE(HasTextAt(image, "n2=1.500", x, upper, kBlackRgb, kPaperRgb));
    EXPECT_TRUE(HasTextAt(image, "n1=1.000", x, lower, kBlackRgb, kPaperRgb));

    // The ray view raises the lower one by a text height when Verbose is on; in interpreter
    // mode the labels show the "n1" / "n2" fields.
    state.verbose = true;
    state.interpreterMode = true;
    state.fieldN1 = 1.25;
    state.fieldN2 = 1.75;
    const QImage ray = DrawRayView(state, sampler, kWide, kSide);
    EXPECT_TRUE(HasTextAt(ray, "n2=1.750", x, upper, kBlackRgb, kPaperRgb));
    EXPECT_TRUE(HasTextAt(ray, "n1=1.250", x, lower - e.height(), kBlackRgb, kPaperRgb));
}

TEST(RayView, IncomingRayEndsAtTheReachAlongItsDirection) {
    ProgramSurface program;
    PlotState state = Quiet(program.Traced());
    state.rayTrace = true;
    state.rayTraceOk = true;
    const double ray[6] = {0, 0, 0, 0.1, -0.1, 0.99};
    std::copy(ray, ray + 6, state.rayResult);
    state.startL = -0.25;
    state.startM = 0.2;
    state.startN = 0.947;
    state.displayR = {-20, 20};
    state.displayZ = {-20, 20};
    const QImage image = DrawRayView(state, program.provider.SurfaceSampler(), kSide, kSide);
    const PlotMapping m(kSide, kSide, state.displayR, state.displayZ);
    // From the centre to the lower right, along (r, z) = (0.3202, -0.947) per unit of reach.
    const auto near = [&](double r, double z, QRgb rgb) {
        return CountRgb(image,
                        QRect(static_cast<int>(m.X(r)) - 1, static_cast<int>(m.Y(z)) - 1, 3, 3),
                        rgb) > 0;
    };
    for (double s : {4.0, 8.0, 12.0}) {
        EXPECT_TRUE(near(s * std::sqrt(0.1025), -s * 0.947, kRedRgb)) << s;
        EXPECT_FALSE(near(-s * std::sqrt(0.1025), -s * 0.947, kRedRgb)) << s;
    }
    // Outgoing to the left, up.
    EXPECT_TRUE(near(-10 * std::sqrt(0.02), 10 * 0.99, kBlueRgb));

    // The sections: from the hit point back along the start direction, then on along the
    // outgoing one, one sample per sqrt(sx^2 + sy^2) up to the reach.
    RecordingSampler recorder(program.provider.SurfaceSampler());
    DrawRayView(state, recorder, kSide, kSide);
    const double e = std::sqrt(2 * 0.025 * 0.025);
    const std::size_t perSide = recorder.requests.size() / 2;
    ASSERT_EQ(perSide * 2, recorder.requests.size());
    EXPECT_EQ(static_cast<double>(perSide - 1), std::floor(2 * std::sqrt(800.0) / e));
    EXPECT_DOUBLE_EQ(recorder.requests[1].x, 0.25 * e);
    EXPECT_DOUBLE_EQ(recorder.requests[1].y, -0.2 * e);
    EXPECT_DOUBLE_EQ(recorder.requests[perSide + 1].x, 0.1 * e);
    EXPECT_DOUBLE_EQ(recorder.requests[perSide + 1].y, -0.1 * e);
}

TEST(GradientIndexViews, IndexAboveAThousandIsDrawnAtAThousand) {
    ProgramSurface program;
    ASSERT_TRUE(program.Open("grin_medium.so"));
    FIXED_DATA* fd = program.provider.Initial().Fd0();
    fd->param[1] = 2000.0;  // n = 2000 + nr (x^2 + y^2) + nz z
    PlotState state = program.Traced();
    ASSERT_TRUE(state.gradientIndex);
    state.displayN = {-500, 1500};
    Sampler& sampler = program.provider.SurfaceSampler();
    const PlotMapping zn(kSide, kSide, state.displayZ, state.displayN);
    const PlotMapping xn(kSide, kSide, state.displayX, state.displayN);

    const QImage index = DrawIndexView(state, sampler, kSide, kSide);
    EXPECT_GT(CountRgb(index, QRect(0, static_cast<int>(zn.Y(1000)), kSide, 1), kBlueRgb), 150);
    const QImage profile = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide);
    EXPECT_GT(CountRgb(profile, QRect(0, static_cast<int>(xn.Y(1000)), kSide, 1), kBlueRgb), 150);

    // Below 0 it is drawn at 0 (over the black axis n = 0); the derivative is not limited.
    fd->param[1] = -5.0;
    fd->param[2] = 0.0;
    fd->param[3] = 0.5;  // n = -5 + 0.5 z < 0 all across, dn/dz = 0.5
    program.provider.RefreshWorkingPair();
    state.displayN = {-2, 2};
    const PlotMapping zn2(kSide, kSide, state.displayZ, state.displayN);
    const QImage low = DrawIndexView(state, sampler, kSide, kSide);
    EXPECT_TRUE(IsRgb(low, zn2.X(-5), zn2.Y(0), kBlueRgb));
    EXPECT_TRUE(IsRgb(low, zn2.X(-5), zn2.Y(0.5), kRedRgb));
    // The index view's cursor line stands whatever the Cursor box says.
    state.cursor = false;
    EXPECT_GT(CountRgb(DrawIndexView(state, sampler, kSide, kSide), kGreyRgb), 50);
}

TEST(GradientIndexViews, InterpreterModeSamplesNoIndex) {
    ProgramSurface program;
    ASSERT_TRUE(program.Open("grin_medium.so"));
    PlotState state = program.Traced();
    state.interpreterMode = true;  // the sampler would answer, the index rule does not ask it
    RecordingSampler recorder(program.provider.SurfaceSampler());
    const QImage image = DrawIndexView(state, recorder, kSide, kSide);
    EXPECT_TRUE(recorder.requests.empty());
    EXPECT_EQ(CountRgb(image, kBlueRgb) > 0, true);  // the blue "z" label is still drawn
    IndexSample s;
    EXPECT_FALSE(SampleIndex(state, recorder, 0, 0, 0, &s));
}

TEST(CursorReadout, BothFormsAndTheGradientIndexForm) {
    ProgramSurface program;
    PlotState state = program.Traced();
    Sampler& sampler = program.provider.SurfaceSampler();
    state.cursorX = 0.4;
    state.cursorY = -0.3;
    state.cursorZ = 2;
    double sag = 0;
    ASSERT_TRUE(sampler.Sag(0.4, -0.3, &sag));
    EXPECT_EQ(CursorReadout(state, sampler).toStdString(),
              "Cursor: x=0.400 , y=-0.300 , z=2.000, sag=" + FormatFixed(sag, 3));

    ProgramSurface aperture;
    ASSERT_TRUE(aperture.Open("apertured_sphere.so"));
    state.cursorX = 5;
    EXPECT_EQ(CursorReadout(state, aperture.provider.SurfaceSampler()).toStdString(),
              "Cursor: x=5.000 , y=-0.300 , z=2.000");

    ProgramSurface grin;
    ASSERT_TRUE(grin.Open("grin_medium.so"));
    PlotState g = grin.Traced();
    g.cursor = false;  // the read-out of a gradient-index surface does not depend on it
    g.cursorX = 3;
    g.cursorY = 2;
    g.cursorZ = 1;
    // n = 1.6 - 0.002 * 13 + 0.001 * 1
    EXPECT_EQ(CursorReadout(g, grin.provider.SurfaceSampler()).toStdString(),
              "Cursor: x=3.000 , y=2.000 , z=1.000\n"
              " n=1.575 , dn/dx=-0.012 , dn/dy=-0.008 , dn/dz=0.001");
}

TEST(Views, DegenerateDisplayRangesDrawWithoutFault) {
    ProgramSurface program;
    PlotState state = program.Traced();
    Sampler& sampler = program.provider.SurfaceSampler();
    for (PlotRange range : {PlotRange{1, 1}, PlotRange{1e-9, 2e-9}, PlotRange{-1e300, 1e300}}) {
        state.displayX = state.displayY = state.displayZ = state.displayR = range;
        EXPECT_FALSE(DrawPlanView(state, nullptr, kSide, kSide).isNull());
        EXPECT_FALSE(DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide).isNull());
        EXPECT_FALSE(DrawRayView(state, sampler, kSide, kSide).isNull());
    }
    EXPECT_TRUE(DrawPlanView(state, nullptr, 0, 0).isNull());
}

}  // namespace
}  // namespace velmor::test
