// The x-z and y-z profile views: one drawing with the roles of x and y exchanged. Sag
// sections through the cursor and through the ray, the ray's projection, the indices on
// either side, and for a gradient-index surface the index and its derivative.
#include <algorithm>

#include "core/app/number_text.h"
#include "core/app/sample_loop.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/view_images.h"

namespace velmor {

namespace {

QString Text(const std::string& text) {
    return QString::fromLatin1(text.data(), text.size());
}
std::string F3(double v) {
    return FormatFixed(v, 3);
}

// Everything the y-z view exchanges against the x-z view.
struct ProfileRoles {
    bool alongX;
    ValueRange across;       // display range across
    ValueRange analysis;     // sampled interval
    double step;             // 2D step of the sampled coordinate
    double cursorFixed;      // fixed coordinate of the cursor and gradient-index curves
    double cursorAcross;     // where the vertical cursor line stands
    double dirIn, dirOut;    // across components of the start and the outgoing direction
    const char* acrossName;  // "x" or "y"
    const char* fixedName;   // the fixed coordinate's name in the labels: "y" or "x"
    const char* derivative;  // "dn/dx" or "dn/dy"
    QRgb nAxisLabelRgb;      // colour of the across label on the line n = 0

    // The sample point for a position u along the section and the fixed coordinate.
    double X(double u, double fixed) const { return alongX ? u : fixed; }
    double Y(double u, double fixed) const { return alongX ? fixed : u; }
};

ProfileRoles RolesOf(ProfileAxis axis, const PlotState& s) {
    if (axis == ProfileAxis::kX) {
        return {true,     s.displayX,     s.analysisX, s.stepX, s.cursorY, s.cursorX,
                s.startL, s.rayResult[3], "x",         "y",     "dn/dx",   qRgb(9, 0, 255)};
    }
    return {false,    s.displayY,     s.analysisY, s.stepY, s.cursorX, s.cursorY,
            s.startM, s.rayResult[4], "y",         "x",     "dn/dy",   qRgb(0, 0, 255)};
}

// The sag section at the fixed coordinate, as a broken polyline with the current pen.
void SagSection(PlotCanvas& canvas, const PlotMapping& zScale, const ProfileRoles& roles,
                Sampler& sampler, double fixed) {
    BrokenPolyline curve(canvas, zScale);
    ForEachSample(roles.analysis.min, roles.analysis.max, roles.step, [&](double u) {
        double sag = 0;
        const bool ok = SampleSag(sampler, roles.X(u, fixed), roles.Y(u, fixed), &sag);
        curve.Add(ok, u, sag);
    });
}

// A gradient-index curve along the section at the cursor: an index sample and a sag sample
// per point, the point kept only when both succeed.
template <class Value>
void IndexSection(PlotCanvas& canvas, const PlotMapping& nScale, const ProfileRoles& roles,
                  const PlotState& state, Sampler& sampler, Value value) {
    BrokenPolyline curve(canvas, nScale);
    const double fixed = roles.cursorFixed;
    ForEachSample(roles.analysis.min, roles.analysis.max, roles.step, [&](double u) {
        const double x = roles.X(u, fixed), y = roles.Y(u, fixed);
        IndexSample sample;
        double sag = 0;
        bool ok = SampleIndex(state, sampler, x, y, state.cursorZ, &sample);
        ok = ok && SampleSag(sampler, x, y, &sag);
        curve.Add(ok, u, ok ? value(sample) : 0.0);
    });
}

void DrawRaySection(PlotCanvas& canvas, const PlotMapping& zScale, const ProfileRoles& roles,
                    const PlotState& state, Sampler& sampler) {
    const double reachAcross = 10 * (roles.across.max - roles.across.min);
    const double reachZ = 10 * (state.displayZ.max - state.displayZ.min);
    const double n = state.startN;
    if (state.rayTraceOk) {
        const double resultAcross = roles.alongX ? state.rayResult[0] : state.rayResult[1];
        const double resultFixed = roles.alongX ? state.rayResult[1] : state.rayResult[0];
        const double zr = state.rayResult[2], nr = state.rayResult[5];
        canvas.SetPen(PlotPen::kRed);
        SagSection(canvas, zScale, roles, sampler, resultFixed);
        canvas.SetPen(PlotPen::kThickRed);
        canvas.Line(zScale.Map(resultAcross, zr),
                    zScale.Map(resultAcross - reachAcross * roles.dirIn, zr - reachZ * n));
        canvas.SetPen(PlotPen::kThickBlue);
        canvas.Line(zScale.Map(resultAcross, zr),
                    zScale.Map(resultAcross + reachAcross * roles.dirOut, zr + reachZ * nr));
    } else {
        const double startAcross = roles.alongX ? state.startX : state.startY;
        const double startFixed = roles.alongX ? state.startY : state.startX;
        canvas.SetPen(PlotPen::kRed);
        SagSection(canvas, zScale, roles, sampler, startFixed);
        canvas.SetPen(PlotPen::kThickRed);
        canvas.Line(zScale.Map(startAcross, 0),
                    zScale.Map(startAcross - reachAcross * roles.dirIn, 0 - reachZ * n));
        canvas.Cross(zScale.Map(startAcross, 0));
    }
    DrawIndexLabels(canvas, zScale, state, roles.across.max, 1);
}

}  // namespace

QImage DrawProfileView(ProfileAxis axis, const PlotState& state, Sampler& sampler, int width,
                       int height) {
    QImage image = MakeViewImage(width, height, kPaperRgb);
    if (image.isNull()) return image;
    PlotCanvas canvas(image, kPaperRgb);
    const ProfileRoles roles = RolesOf(axis, state);
    const PlotMapping zScale(width, height, roles.across, state.displayZ);
    const PlotMapping nScale(width, height, roles.across, state.displayN);
    const ValueRange& dz = state.displayZ;

    canvas.SetTextColour(kBlackRgb);

    if (state.gradientIndex) {
        canvas.SetPen(PlotPen::kBlue);
        canvas.Line(nScale.Map(roles.across.min, 0), nScale.Map(roles.across.max, 0));
    }
    canvas.SetPen(PlotPen::kBlack);
    canvas.Line(zScale.Map(roles.across.min, 0), zScale.Map(roles.across.max, 0));
    canvas.Line(zScale.Map(0, dz.min), zScale.Map(0, dz.max));

    if (state.cursor || state.gradientIndex) {
        canvas.SetPen(PlotPen::kGreyDotted);
        canvas.Line(zScale.Map(roles.across.min, state.cursorZ),
                    zScale.Map(roles.across.max, state.cursorZ));
        canvas.Line(zScale.Map(roles.cursorAcross, dz.min), zScale.Map(roles.cursorAcross, dz.max));
        canvas.SetPen(PlotPen::kBlack);
    }

    const QString acrossName = QString::fromLatin1(roles.acrossName);
    const std::string fixedName = roles.fixedName;
    if (!state.gradientIndex) {
        if (state.cursor) {
            canvas.SetPen(PlotPen::kBlack);
            SagSection(canvas, zScale, roles, sampler, roles.cursorFixed);
        }
        if (state.rayTrace) DrawRaySection(canvas, zScale, roles, state, sampler);

        canvas.SetTextColour(kBlackRgb);
        PixelPoint p = zScale.Map(0, dz.max);
        canvas.Text(p.x + 4, p.y + 2, QStringLiteral("z"));
        p = zScale.Map(roles.across.max, 0);
        const QSize acrossExtent = canvas.TextExtent(acrossName);
        canvas.Text(p.x - acrossExtent.width() - 2, p.y - acrossExtent.height() - 2, acrossName);

        // The red label names the red section: after a failed trace that section runs through
        // the ray's start point, not through the point the failed trace left behind.
        const double rayFixed = state.rayTraceOk
                                    ? (roles.alongX ? state.rayResult[1] : state.rayResult[0])
                                    : (roles.alongX ? state.startY : state.startX);
        const QString s1 = Text("sag(" + fixedName + "=" + F3(roles.cursorFixed) + ")");
        const QString s2 = Text("sag(" + fixedName + "=" + F3(rayFixed) + ")");
        const int cy1 = canvas.TextExtent(s1).height(), cy2 = canvas.TextExtent(s2).height();
        if (state.cursor) canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy2 - cy1 - 4, s1);
        canvas.SetTextColour(kRedRgb);
        if (state.rayTrace) canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy2 - 2, s2);
        canvas.SetTextColour(kBlackRgb);
    } else {
        canvas.SetPen(PlotPen::kBlack);
        SagSection(canvas, zScale, roles, sampler, roles.cursorFixed);
        canvas.SetPen(PlotPen::kBlue);
        IndexSection(canvas, nScale, roles, state, sampler,
                     [](const IndexSample& s) { return std::clamp(s.index, 0.0, 1000.0); });
        canvas.SetPen(PlotPen::kRed);
        const bool alongX = roles.alongX;
        IndexSection(canvas, nScale, roles, state, sampler,
                     [alongX](const IndexSample& s) { return alongX ? s.dndx : s.dndy; });

        canvas.SetTextColour(kBlackRgb);
        PixelPoint p = zScale.Map(0, dz.max);
        canvas.Text(p.x + 4, p.y + 2, Text(std::string("z, n, ") + roles.derivative));
        const QSize acrossExtent = canvas.TextExtent(acrossName);
        p = zScale.Map(roles.across.max, 0);
        canvas.Text(p.x - acrossExtent.width() - 2, p.y - acrossExtent.height() - 2, acrossName);
        canvas.SetTextColour(roles.nAxisLabelRgb);
        p = nScale.Map(roles.across.max, 0);
        canvas.Text(p.x - acrossExtent.width() - 2, p.y - acrossExtent.height() - 2, acrossName);

        const std::string at =
            "(" + fixedName + "=" + F3(roles.cursorFixed) + ",z=" + F3(state.cursorZ) + ")";
        const QString s1 = Text(roles.derivative + at);
        const QString s2 = Text("index" + at);
        const QString s3 = Text("sag  (" + fixedName + "=" + F3(roles.cursorFixed) + ")");
        const int cy1 = canvas.TextExtent(s1).height();
        const int cy2 = canvas.TextExtent(s2).height();
        const int cy3 = canvas.TextExtent(s3).height();
        canvas.SetTextColour(kRedRgb);
        canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy3 - cy2 - cy1 - 6, s1);
        canvas.SetTextColour(kBlueRgb);
        canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy3 - cy2 - 4, s2);
        canvas.SetTextColour(kBlackRgb);
        canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy3 - 2, s3);
    }

    canvas.FrameBlack();
    return image;
}

}  // namespace velmor
