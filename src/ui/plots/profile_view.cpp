// The x-z and y-z profile views: one drawing with the roles of x and y exchanged. Sag
// sections through the cursor and through the ray, the ray's projection, the indices on
// either side, and for a gradient-index surface the index and its derivative.
#include <algorithm>

#include "core/app/number_text.h"
#include "core/app/sample_loop.h"
#include "ui/plots/compare_views.h"
#include "ui/plots/medium_drawing.h"
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

// The fixed coordinate of the red section: after a failed trace that section runs through the
// ray's start point, not through the point the failed trace left behind.
double RayFixed(const ProfileRoles& roles, const PlotState& state) {
    if (state.rayTraceOk) return roles.alongX ? state.rayResult[1] : state.rayResult[0];
    return roles.alongX ? state.startY : state.startX;
}

// The sag section at the fixed coordinate: one sag sample per position of the analysis range.
SagCurve AddSagSection(ViewSamples& samples, const ProfileRoles& roles, double fixed) {
    SagCurve curve;
    curve.first = samples.Count();
    ForEachSample(roles.analysis.min, roles.analysis.max, roles.step, [&](double u) {
        curve.across.push_back(u);
        samples.AddSag(roles.X(u, fixed), roles.Y(u, fixed));
    });
    return curve;
}

// A gradient-index curve along the section at the cursor: an index sample and a sag sample per
// position (no sag sample where the index fails by its rule), the point kept only when both
// succeed.
struct IndexCurve {
    std::vector<double> across;
    std::vector<std::size_t> index, sag;  // sample numbers; sag: none when not asked for
};

constexpr std::size_t kNoSample = static_cast<std::size_t>(-1);

IndexCurve AddIndexSection(ViewSamples& samples, const ProfileRoles& roles,
                           const PlotState& state) {
    IndexCurve curve;
    const double fixed = roles.cursorFixed;
    ForEachSample(roles.analysis.min, roles.analysis.max, roles.step, [&](double u) {
        const double x = roles.X(u, fixed), y = roles.Y(u, fixed);
        const std::size_t index = samples.AddIndex(x, y, state.cursorZ);
        curve.across.push_back(u);
        curve.index.push_back(index);
        curve.sag.push_back(samples.Asked(index) ? samples.AddSag(x, y) : kNoSample);
    });
    return curve;
}

template <class Value>
void DrawIndexSection(PlotCanvas& canvas, const PlotMapping& nScale, const IndexCurve& curve,
                      const ViewSamples& samples, Value value) {
    BrokenPolyline line(canvas, nScale);
    for (std::size_t k = 0; k < curve.across.size(); ++k) {
        const SampleAnswer& index = samples[curve.index[k]];
        const bool ok = index.ok && curve.sag[k] != kNoSample && samples[curve.sag[k]].ok;
        line.Add(ok, curve.across[k], ok ? value(index.index) : 0.0);
    }
}

// The curves of a profile view in the order it draws them, which is the order of its pass.
struct ProfileCurves {
    SagCurve cursor;               // at the cursor (Cursor on), or the gradient-index surface's sag
    SagCurve ray;                  // through the ray (Ray Trace on, not gradient-index)
    IndexCurve index, derivative;  // gradient-index: n and its derivative across
};

ProfileCurves AddProfileCurves(ViewSamples& samples, const ProfileRoles& roles,
                               const PlotState& state) {
    ProfileCurves curves;
    if (state.gradientIndex) {
        curves.cursor = AddSagSection(samples, roles, roles.cursorFixed);
        curves.index = AddIndexSection(samples, roles, state);
        curves.derivative = AddIndexSection(samples, roles, state);
        return curves;
    }
    if (state.cursor) curves.cursor = AddSagSection(samples, roles, roles.cursorFixed);
    if (state.rayTrace) curves.ray = AddSagSection(samples, roles, RayFixed(roles, state));
    return curves;
}

void DrawRaySection(PlotCanvas& canvas, const PlotMapping& zScale, const ProfileRoles& roles,
                    const PlotState& state, const SagCurve& section, const ViewSamples& samples) {
    const double reachAcross = 10 * (roles.across.max - roles.across.min);
    const double reachZ = 10 * (state.displayZ.max - state.displayZ.min);
    const double n = state.startN;
    if (state.rayTraceOk) {
        const double resultAcross = roles.alongX ? state.rayResult[0] : state.rayResult[1];
        const double zr = state.rayResult[2], nr = state.rayResult[5];
        canvas.SetPen(PlotPen::kRed);
        DrawSagCurve(canvas, zScale, section, samples);
        canvas.SetPen(PlotPen::kThickRed);
        canvas.Line(zScale.Map(resultAcross, zr),
                    zScale.Map(resultAcross - reachAcross * roles.dirIn, zr - reachZ * n));
        canvas.SetPen(PlotPen::kThickBlue);
        canvas.Line(zScale.Map(resultAcross, zr),
                    zScale.Map(resultAcross + reachAcross * roles.dirOut, zr + reachZ * nr));
    } else {
        const double startAcross = roles.alongX ? state.startX : state.startY;
        canvas.SetPen(PlotPen::kRed);
        DrawSagCurve(canvas, zScale, section, samples);
        canvas.SetPen(PlotPen::kThickRed);
        canvas.Line(zScale.Map(startAcross, 0),
                    zScale.Map(startAcross - reachAcross * roles.dirIn, 0 - reachZ * n));
        canvas.Cross(zScale.Map(startAcross, 0));
    }
    DrawIndexLabels(canvas, zScale, state, roles.across.max, 1);
}

}  // namespace

QImage DrawProfileView(ProfileAxis axis, const PlotState& state, Sampler& sampler, int width,
                       int height, QString* note) {
    QImage image = MakeViewImage(width, height, kPaperRgb);
    if (image.isNull()) return image;
    PlotCanvas canvas(image, kPaperRgb);
    const ProfileRoles roles = RolesOf(axis, state);
    const PlotMapping zScale(width, height, roles.across, state.displayZ);
    const PlotMapping nScale(width, height, roles.across, state.displayN);
    const ValueRange& dz = state.displayZ;

    ViewSamples samples(state);
    const ProfileCurves curves = AddProfileCurves(samples, roles, state);
    samples.Take(sampler);
    if (state.gradientIndex) PaintIndexField(canvas, axis, state, sampler);  // behind everything

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
            DrawSagCurve(canvas, zScale, curves.cursor, samples);
        }
        if (state.rayTrace) DrawRaySection(canvas, zScale, roles, state, curves.ray, samples);

        canvas.SetTextColour(kBlackRgb);
        PixelPoint p = zScale.Map(0, dz.max);
        canvas.Text(p.x + 4, p.y + 2, QStringLiteral("z"));
        p = zScale.Map(roles.across.max, 0);
        const QSize acrossExtent = canvas.TextExtent(acrossName);
        canvas.Text(p.x - acrossExtent.width() - 2, p.y - acrossExtent.height() - 2, acrossName);

        // The red label names the red section.
        const QString s1 = Text("sag(" + fixedName + "=" + F3(roles.cursorFixed) + ")");
        const QString s2 = Text("sag(" + fixedName + "=" + F3(RayFixed(roles, state)) + ")");
        const int cy1 = canvas.TextExtent(s1).height(), cy2 = canvas.TextExtent(s2).height();
        if (state.cursor) canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy2 - cy1 - 4, s1);
        canvas.SetTextColour(kRedRgb);
        if (state.rayTrace) canvas.Text(canvas.Left() + 2, canvas.Bottom() - cy2 - 2, s2);
        canvas.SetTextColour(kBlackRgb);
    } else {
        canvas.SetPen(PlotPen::kBlack);
        DrawSagCurve(canvas, zScale, curves.cursor, samples);
        canvas.SetPen(PlotPen::kBlue);
        DrawIndexSection(canvas, nScale, curves.index, samples,
                         [](const IndexSample& s) { return std::clamp(s.index, 0.0, 1000.0); });
        canvas.SetPen(PlotPen::kRed);
        const bool alongX = roles.alongX;
        DrawIndexSection(canvas, nScale, curves.derivative, samples,
                         [alongX](const IndexSample& s) { return alongX ? s.dndx : s.dndy; });
        if (state.rayTrace && state.mediumPath != nullptr) {
            DrawMediumPath(canvas, zScale, *state.mediumPath, alongX ? kMediumX : kMediumY,
                           kMediumZ);
        }

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
    const QString nothing = NothingAnsweredNote(state, samples);
    if (note != nullptr) *note = nothing;
    DrawViewNote(canvas, nothing);
    return image;
}

void DrawReferenceProfile(QImage& image, ProfileAxis axis, const PlotState& state,
                          Sampler& reference) {
    if (image.isNull()) return;
    PlotCanvas canvas(image, kPaperRgb);
    const ProfileRoles roles = RolesOf(axis, state);
    const PlotMapping zScale(image.width(), image.height(), roles.across, state.displayZ);
    // The sections the surface's are drawn through: at the cursor (always for a gradient-index
    // surface) and through the ray.
    ViewSamples samples(state);
    SagCurve cursor, ray;
    const bool atCursor = state.gradientIndex || state.cursor;
    const bool throughRay = !state.gradientIndex && state.rayTrace;
    if (atCursor) cursor = AddSagSection(samples, roles, roles.cursorFixed);
    if (throughRay) ray = AddSagSection(samples, roles, RayFixed(roles, state));
    if (!atCursor && !throughRay) return;
    samples.Take(reference);
    // Dashed, so that the surface's own curves show where the two agree.
    canvas.SetPen(PlotPen::kReferenceDashed);
    if (atCursor) DrawSagCurve(canvas, zScale, cursor, samples);
    if (throughRay) DrawSagCurve(canvas, zScale, ray, samples);
    const QString label = QStringLiteral("reference");
    canvas.SetTextColour(kReferenceRgb);
    canvas.Text(canvas.Right() - canvas.TextExtent(label).width() - 4, canvas.Top() + 2, label);
    canvas.FrameBlack();
}

}  // namespace velmor
