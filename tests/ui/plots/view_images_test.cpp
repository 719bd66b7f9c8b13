// The four views on real surfaces (the built-in surface, example libraries), checked pixel by
// pixel against the mapping.
#include "ui/plots/view_images.h"

#include <gtest/gtest.h>

#include <tuple>

#include "core/app/number_text.h"
#include "core/app/sample_loop.h"
#include "plot_test_support.h"

namespace velmor::test {
namespace {

constexpr int kSide = 201;

// The program's surface traced, with cursor, rays and help texts off unless a test wants them.
class ViewsTest : public ::testing::Test {
protected:
    void SetUp() override { Use(nullptr); }
    void Use(const char* library) {
        ASSERT_TRUE(library == nullptr || program.Open(library));
        state = program.Traced();
        state.cursor = state.rayTrace = state.verbose = false;
    }
    QImage Profile(ProfileAxis axis = ProfileAxis::kX, int width = kSide) {
        return DrawProfileView(axis, state, sampler, width, kSide);
    }

    ProgramSurface program;
    Sampler& sampler = program.provider.SurfaceSampler();
    PlotState state;
};

TEST_F(ViewsTest, AxesLieWhereTheMappingPutsThem) {
    state.displayX = {-3, 7};
    state.displayZ = {-2, 8};
    const PlotMapping xz(kSide, kSide, state.displayX, state.displayZ);
    const QImage image = Profile();
    const int axisRow = int(xz.Y(0)), axisColumn = int(xz.X(0));
    for (int x = 1; x < kSide - 1; ++x) ASSERT_TRUE(IsRgb(image, x, axisRow, kBlackRgb)) << x;
    // Drawn from zmin up to zmax, the last pixel left out as every line leaves it out.
    for (int y = 2; y < kSide - 1; ++y) ASSERT_TRUE(IsRgb(image, axisColumn, y, kBlackRgb)) << y;
}

TEST_F(ViewsTest, EverySampleStepAndTheExchangesOfTheYzView) {
    state.cursor = true;
    state.analysisX = {-2, 2};
    state.analysisY = {-1, 1};
    std::tie(state.stepX, state.stepY, state.cursorX, state.cursorY) =
        std::tuple(0.1, 0.05, 0.3, -0.7);
    RecordingSampler recorder(sampler);
    DrawProfileView(ProfileAxis::kX, state, recorder, kSide, kSide);
    ASSERT_EQ(recorder.requests.size(), std::size_t(ForEachSample(-2, 2, 0.1, [](double) {})));
    EXPECT_EQ(recorder.requests[2], QPointF(-2 + 0.1 + 0.1, -0.7));
    // The y-z view exchanges the roles: y along the step of y, x at the cursor.
    recorder.requests.clear();
    DrawProfileView(ProfileAxis::kY, state, recorder, kSide, kSide);
    ASSERT_EQ(recorder.requests.size(), std::size_t(ForEachSample(-1, 1, 0.05, [](double) {})));
    EXPECT_EQ(recorder.requests[1], QPointF(0.3, -1 + 0.05));
}

TEST_F(ViewsTest, BuiltInSurfaceSectionAtTheMappedSag) {
    state.displayZ = {-0.2, 0.3};
    state.cursor = true;
    state.cursorY = 0.3;
    const PlotMapping m(kSide, kSide, state.displayX, state.displayZ);
    std::vector<double> xs;
    ForEachSample(state.analysisX.min, state.analysisX.max, state.stepX,
                  [&](double x) { xs.push_back(x); });
    const QImage image = Profile();
    int lensletPoints = 0;
    for (std::size_t k = 10; k + 10 < xs.size(); k += 37) {
        double sag = 0;
        ASSERT_TRUE(sampler.Sag(xs[k], 0.3, &sag));
        lensletPoints += sag > 0.01;
        EXPECT_TRUE(IsRgb(image, m.X(xs[k]), m.Y(sag), kBlackRgb)) << xs[k] << " " << sag;
    }
    EXPECT_GT(lensletPoints, 5);  // the samples did land on the lenslets
}

TEST_F(ViewsTest, SurfaceFailingOutsideItsApertureLeavesAGap) {
    Use("apertured_sphere");  // semi-aperture 2, curvature 0.25
    state.cursor = true;
    state.cursorY = 0;
    state.displayZ = {-1, 1};
    const PlotMapping m(kSide, kSide, state.displayX, state.displayZ);
    const QImage image = Profile();
    double sag = 0;
    ASSERT_TRUE(sampler.Sag(1.5, 0, &sag));
    EXPECT_TRUE(IsRgb(image, m.X(1.5), m.Y(sag), kBlackRgb));
    // Outside it nothing is drawn above the axis (the sphere would reach z = 0.5 at 2.1).
    const int top = int(m.Y(0.9)), bottom = int(m.Y(0)) - 1;
    for (double x : {-6.0, -2.2, 2.2, 6.0})
        EXPECT_EQ(CountRgb(image, QRect(int(m.X(x)), top, 1, bottom - top), kBlackRgb), 0) << x;
}

// Each of the Cursor, Verbose and Ray Trace boxes takes its own drawing away.
TEST_F(ViewsTest, CursorVerboseAndRayTraceOffRemoveTheirDrawing) {
    const PlotMapping m(kSide, kSide, state.displayX, state.displayY);
    state.cursor = true;
    QImage plan = DrawPlanView(state, nullptr, kSide, kSide);
    EXPECT_GT(CountRgb(plan, QRect(0, int(m.Y(0.1)), kSide, 1), kGreyRgb), 50);
    state.cursor = false;
    EXPECT_EQ(CountRgb(DrawPlanView(state, nullptr, kSide, kSide), kGreyRgb), 0);
    EXPECT_EQ(CountRgb(Profile(), kGreyRgb), 0);
    EXPECT_EQ(CursorReadout(state, sampler), QString());

    state.rayTrace = state.verbose = true;
    const QString through = "Shift L-Click:ThroughPoint", direction = "Shift R-Click:Direction";
    const QFont help = HelpFont({through, direction}, HelpTextWidth(420));
    EXPECT_EQ(help.pixelSize(), 13);
    const int cy = TextStamp(direction, kBlackRgb, kWhiteRgb, help).height(), bottom = kSide - 1;
    plan = DrawPlanView(state, nullptr, 420, kSide);
    EXPECT_TRUE(HasTextAt(plan, direction, 3, bottom - cy - 2, kBlackRgb, kWhiteRgb, help));
    EXPECT_TRUE(HasTextAt(plan, through, 3, bottom - 2 * cy - 4, kBlackRgb, kWhiteRgb, help));
    state.verbose = false;
    plan = DrawPlanView(state, nullptr, 420, kSide);
    EXPECT_EQ(CountRgb(plan, QRect(1, bottom - 2 * cy - 4, 300, 2 * cy + 4), kBlackRgb), 0);

    ASSERT_TRUE(state.rayTraceOk);
    EXPECT_GT(CountRgb(DrawPlanView(state, nullptr, kSide, kSide), kBlueRgb), 50);
    state.rayTrace = false;
    plan = DrawPlanView(state, nullptr, kSide, kSide);
    EXPECT_EQ(CountRgb(plan, kBlueRgb), 0);
    EXPECT_EQ(CountRgb(plan, kRedRgb), 2 * (kSide - 2) - 1);  // only the two axes
    for (const QImage& image : {Profile(ProfileAxis::kX), Profile(ProfileAxis::kY),
                                DrawRayView(state, sampler, kSide, kSide)})
        EXPECT_EQ(CountRgb(image, kBlueRgb) + CountRgb(image, kRedRgb), 0);
}

// The help texts take the largest face from 13 down to 10 pixels that fits the view: at 4
// pixels from the right edge in the ray view, and in a view too small even at 10 pixels from
// the left edge, so that the text's start stays readable.
TEST_F(ViewsTest, HelpTextsShrinkToFitTheViewAndKeepTheirStart) {
    state.rayTrace = state.verbose = true;
    state.startL = state.startM = 0;  // the ray's lines along the axis, clear of the text
    state.rayTraceOk = false;
    const QString help = "Shift L-Click:IncidentElevation";
    for (const int side : {217, 156, 90}) {
        SCOPED_TRACE(side);
        const QFont font = HelpFont({help}, HelpTextWidth(side));
        const QSize e = TextStamp(help, kBlackRgb, kPaperRgb, font).size();
        EXPECT_EQ(font.pixelSize(), side == 217 ? 13 : 10);
        const QImage ray = DrawRayView(state, sampler, side, side);
        const int y = side - 1 - e.height() - 2;
        if (side > 90) {
            EXPECT_LE(e.width(), side - 6);
            EXPECT_TRUE(
                HasTextAt(ray, help, side - 1 - e.width() - 4, y, kBlackRgb, kPaperRgb, font));
        } else {
            EXPECT_TRUE(HasTextAt(ray, "Shift", 1, y, kBlackRgb, kPaperRgb, font));
        }
    }
}

TEST_F(ViewsTest, FailedTraceDrawsTheCrossAtTheStartPoint) {
    ASSERT_TRUE(program.Open("apertured_sphere"));
    USER_DATA& start = program.provider.Initial().ud;
    std::tie(start.x, start.y) = std::tuple(5.0, -2.0);  // outside the aperture: the trace fails
    Use(nullptr);
    ASSERT_FALSE(state.rayTraceOk);
    state.rayTrace = true;
    state.rayResult[1] = 7.5;  // whatever y the failed trace left, the label names the start y
    const PlotMapping m(kSide, kSide, state.displayX, state.displayZ);
    const QImage image = Profile();
    for (int d : {-1, 1}) EXPECT_TRUE(IsRgb(image, m.X(5) + d, m.Y(0) + d, kRedRgb)) << d;
    EXPECT_EQ(CountRgb(image, kBlueRgb), 0);
    const int cy = TextStamp("z", kBlackRgb, kPaperRgb).height();
    EXPECT_TRUE(HasTextAt(image, "sag(y=-2.000)", 3, kSide - 1 - cy - 2, kRedRgb, kPaperRgb));
}

TEST_F(ViewsTest, IndexLabelsSwapWithTheRayDirection) {
    state.rayTrace = true;
    const int wide = 401;  // wide enough that the red sag label at the left stays clear
    const PlotMapping m(wide, kSide, state.displayX, state.displayZ);
    const QSize e = TextStamp("n1=1.000", kBlackRgb, kPaperRgb).size();
    const int x = int(m.X(10)) - e.width() - 2;
    const int upper = int(m.Y(0)) + 2, lower = int(m.Y(-10)) - e.height() - 2;
    state.startN = -0.947;
    QImage image = Profile(ProfileAxis::kX, wide);
    EXPECT_TRUE(HasTextAt(image, "n1=1.000", x, upper, kBlackRgb, kPaperRgb));
    EXPECT_TRUE(HasTextAt(image, "n2=1.500", x, lower, kBlackRgb, kPaperRgb));
    state.startN = 0.947;
    image = Profile(ProfileAxis::kX, wide);
    EXPECT_TRUE(HasTextAt(image, "n2=1.500", x, upper, kBlackRgb, kPaperRgb));
    EXPECT_TRUE(HasTextAt(image, "n1=1.000", x, lower, kBlackRgb, kPaperRgb));
}

TEST_F(ViewsTest, IndexAboveAThousandIsDrawnAtAThousand) {
    ASSERT_TRUE(program.Open("grin_medium"));
    program.provider.Initial().Fd0()->param[2] = 2000.0;  // n = 2000 + nr (x^2 + y^2) + nz z
    Use(nullptr);
    ASSERT_TRUE(state.gradientIndex);
    state.displayN = {-500, 1500};
    const PlotMapping zn(kSide, kSide, state.displayZ, state.displayN);
    const QImage index = DrawIndexView(state, sampler, kSide, kSide);
    EXPECT_GT(CountRgb(index, QRect(0, int(zn.Y(1000)), kSide, 1), kBlueRgb), 150);
}

TEST_F(ViewsTest, CursorReadoutBothFormsAndTheGradientIndexForm) {
    state.cursor = true;
    std::tie(state.cursorX, state.cursorY, state.cursorZ) = std::tuple(0.4, -0.3, 2.0);
    double sag = 0;
    ASSERT_TRUE(sampler.Sag(0.4, -0.3, &sag));
    EXPECT_EQ(CursorReadout(state, sampler).toStdString(),
              "Cursor: x=0.400 , y=-0.300 , z=2.000, sag=" + FormatFixed(sag, 3));
    ProgramSurface aperture;  // no sag outside the aperture: the short form
    ASSERT_TRUE(aperture.Open("apertured_sphere"));
    state.cursorX = 5;
    EXPECT_EQ(CursorReadout(state, aperture.provider.SurfaceSampler()).toStdString(),
              "Cursor: x=5.000 , y=-0.300 , z=2.000");
    ProgramSurface nonfinite;  // a sag answered 0 but NaN fails as well
    ASSERT_TRUE(nonfinite.Open("nonfinite_surface"));
    state.cursorX = 6;
    EXPECT_EQ(CursorReadout(state, nonfinite.provider.SurfaceSampler()).toStdString(),
              "Cursor: x=6.000 , y=-0.300 , z=2.000");

    Use("grin_medium");  // its read-out does not depend on the Cursor box
    std::tie(state.cursorX, state.cursorY, state.cursorZ) = std::tuple(3.0, 2.0, 1.0);
    // n = 1.6 - 0.002 * 13 + 0.001 * 1
    EXPECT_EQ(CursorReadout(state, sampler).toStdString(),
              "Cursor: x=3.000 , y=2.000 , z=1.000\n"
              " n=1.575 , dn/dx=-0.012 , dn/dy=-0.008 , dn/dz=0.001");
}

// Counts the passes and samples of the views and answers them through the inner sampler.
class PassCounter final : public Sampler {
public:
    explicit PassCounter(Sampler& inner) : m_inner(inner) {}
    bool Sag(double x, double y, double* z) override {
        ++single;
        return m_inner.Sag(x, y, z);
    }
    bool Index(double x, double y, double z, IndexSample* out) override {
        ++single;
        return m_inner.Index(x, y, z, out);
    }
    void SampleBatch(std::size_t n, const SampleRequest* requests, SampleAnswer* answers) override {
        passes.push_back(n);
        m_inner.SampleBatch(n, requests, answers);
    }
    std::size_t IndexBatch(std::size_t n, const double* x, const double* y, const double* z,
                           IndexSample* out, bool* ok, const SampleRows& rows) override {
        indexPasses.push_back(n);
        return m_inner.IndexBatch(n, x, y, z, out, ok, rows);
    }
    std::vector<std::size_t> passes, indexPasses;
    int single = 0;

private:
    Sampler& m_inner;
};

// Each view and the read-out take all their samples in one pass; a gradient-index profile's
// pass mixes sags and indices in the order it draws them, and its index field is one pass of
// index samples, one per pixel of the inner rectangle.
TEST_F(ViewsTest, EveryViewSamplesInOnePass) {
    state.cursor = state.rayTrace = true;
    state.stepX = state.stepY = 0.1;  // 201 positions along a section
    PassCounter counter(sampler);
    DrawProfileView(ProfileAxis::kX, state, counter, kSide, kSide);  // cursor and ray sections
    DrawRayView(state, counter, kSide, kSide);
    CursorReadout(state, counter);
    ASSERT_EQ(counter.passes.size(), 3u);
    EXPECT_EQ(counter.passes[0], 2u * 201);
    EXPECT_GT(counter.passes[1], 400u);
    EXPECT_EQ(counter.passes[2], 1u);

    Use("grin_medium");
    state.stepX = state.stepY = 0.1;
    counter.passes.clear();
    DrawProfileView(ProfileAxis::kY, state, counter, kSide, kSide);
    DrawIndexView(state, counter, kSide, kSide);
    ASSERT_EQ(counter.passes.size(), 2u);
    EXPECT_EQ(counter.passes[0], 201u + 2 * 2 * 201);  // sag; then index and sag, twice
    EXPECT_EQ(counter.passes[1], 2u * std::size_t(ForEachSample(-10, 10, 0.025, [](double) {})));
    EXPECT_EQ(counter.indexPasses, std::vector<std::size_t>{std::size_t(kSide - 2) * (kSide - 2)});
    EXPECT_EQ(counter.single, 0);
}

// A library that faults in the middle of a view's pass: the curve keeps the points sampled
// before the fault, the rest of the pass fails.
TEST_F(ViewsTest, APassThatFaultsKeepsItsSamplesBeforeTheFault) {
    ASSERT_TRUE(program.Open("fault_segv"));  // sag faults where x > 1
    Use(nullptr);
    state.cursor = true;
    state.cursorY = 0;
    const PlotMapping m(kSide, kSide, state.displayX, state.displayZ);
    const QImage image = Profile();
    ASSERT_TRUE(program.provider.LibraryFaulted());
    // The black sag section (x^2 / 4) above the axis left of x = 1, nothing right of it.
    const int above = int(m.Y(0.5));
    EXPECT_GT(CountRgb(image, QRect(int(m.X(-9)), 1, int(m.X(-2) - m.X(-9)), above), kBlackRgb),
              20);
    EXPECT_EQ(CountRgb(image, QRect(int(m.X(2)), 1, int(m.X(9) - m.X(2)), above), kBlackRgb), 0);
}

TEST_F(ViewsTest, DegenerateDisplayRangesDrawWithoutFault) {
    for (ValueRange range : {ValueRange{1, 1}, ValueRange{1e-9, 2e-9}, ValueRange{-1e300, 1e300}}) {
        state.displayX = state.displayY = state.displayZ = state.displayR = range;
        EXPECT_FALSE(DrawPlanView(state, nullptr, kSide, kSide).isNull());
        EXPECT_FALSE(Profile().isNull());
        EXPECT_FALSE(DrawRayView(state, sampler, kSide, kSide).isNull());
    }
    EXPECT_TRUE(DrawPlanView(state, nullptr, 0, 0).isNull());
}

}  // namespace
}  // namespace velmor::test

namespace velmor::test {
namespace {

// A surface that answers no sample and no index.
class NothingAnswers final : public Sampler {
public:
    bool Sag(double, double, double*) override { return false; }
    bool Index(double, double, double, IndexSample*) override { return false; }
};

// True when `note` stands in the middle of a view of kSide pixels, as DrawViewNote puts it.
bool NoteInMiddle(const QImage& image, const QString& note) {
    const QFont font = ViewNoteFont(note, kSide);
    const QSize extent = TextStamp(note, kBlackRgb, kPaperRgb, font).size();
    return HasTextAt(image, note, std::max(3, (kSide - extent.width()) / 2),
                     (kSide - extent.height()) / 2, kBlackRgb, kPaperRgb, font);
}

// A view that asked for samples and got none says so in its middle; a gradient-index view whose
// indices all failed at the records' wavelength 0 says that; a view with an answer says nothing.
TEST_F(ViewsTest, AViewWithoutAnAnsweredSampleSaysWhyInItsMiddle) {
    NothingAnswers never;
    state.rayTrace = true;
    for (const ProfileAxis axis : {ProfileAxis::kX, ProfileAxis::kY}) {
        QString note = QStringLiteral("stale");
        const QImage image = DrawProfileView(axis, state, never, kSide, kSide, &note);
        EXPECT_EQ(note, kNoSampleAnsweredText);
        EXPECT_TRUE(NoteInMiddle(image, note));
    }
    QString rayNote;
    EXPECT_TRUE(NoteInMiddle(DrawRayView(state, never, kSide, kSide, &rayNote), rayNote));
    EXPECT_EQ(rayNote, kNoSampleAnsweredText);

    state.gradientIndex = true;
    state.recordWavelength = 0.0;
    QString indexNote;
    QImage index = DrawIndexView(state, never, kSide, kSide, &indexNote);
    EXPECT_EQ(indexNote, kNoIndexAtWavelength0Text);
    EXPECT_TRUE(NoteInMiddle(index, indexNote));
    state.recordWavelength = 0.5876;
    DrawIndexView(state, never, kSide, kSide, &indexNote);
    EXPECT_EQ(indexNote, kNoSampleAnsweredText);

    // The built-in surface answers: nothing to say, nothing drawn in the middle.
    state.gradientIndex = false;
    QString note = QStringLiteral("stale");
    const QImage answered = DrawProfileView(ProfileAxis::kX, state, sampler, kSide, kSide, &note);
    EXPECT_TRUE(note.isEmpty());
    EXPECT_FALSE(NoteInMiddle(answered, kNoSampleAnsweredText));
}

}  // namespace
}  // namespace velmor::test
