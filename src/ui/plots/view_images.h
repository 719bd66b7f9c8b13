// The four 2D views, each drawn into an image of its plot area's size, and the cursor
// read-out. They read the plot state and take their surface samples through the Sampler: each
// view first collects the samples of all its curves in the order it draws them, takes them in
// one pass (one request to a library in the helper process), then draws from the answers.
// Each view is defined in a file of its own (plan_view.cpp, profile_view.cpp,
// index_view.cpp, ray_view.cpp), the sample rules and the read-out in cursor_readout.cpp.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <cstddef>
#include <vector>

#include "core/surface/sampler.h"
#include "ui/plots/plot_state.h"

namespace velmor {

class PlotCanvas;
class PlotMapping;

// The samples of one view's pass, numbered in the order they are added.
class ViewSamples {
public:
    explicit ViewSamples(const PlotState& state) : m_interpreterMode(state.interpreterMode) {}

    // Sag rule: a sag sample at (x, y). Returns its number.
    std::size_t AddSag(double x, double y);
    // Index rule: an index sample at (x, y, z). Every index sample fails in interpreter mode (a
    // script defines no index): it is then never asked for. Returns its number.
    std::size_t AddIndex(double x, double y, double z);
    // Whether sample i goes to the sampler (false for a sample that fails by its rule).
    bool Asked(std::size_t i) const { return m_slots[i] != kNotAsked; }
    std::size_t Count() const { return m_slots.size(); }

    // Takes every sample asked for in one pass of the sampler, in the order added.
    void Take(Sampler& sampler);
    // Sample i's answer after Take (not ok for a sample never asked for).
    const SampleAnswer& operator[](std::size_t i) const;
    // After Take: some sample was asked for and none answered (the view has nothing to draw).
    bool NoneAnswered() const;
    // An index sample was asked for.
    bool AskedIndex() const;

private:
    static constexpr std::size_t kNotAsked = static_cast<std::size_t>(-1);
    bool m_interpreterMode;
    std::vector<std::size_t> m_slots;  // per sample: its place in the pass, or kNotAsked
    std::vector<SampleRequest> m_requests;
    std::vector<SampleAnswer> m_answers;
    SampleAnswer m_failed;
};

// A curve of sag samples, one per position across the view: the positions, and the number of
// the first position's sample (the others follow it).
struct SagCurve {
    std::vector<double> across;
    std::size_t first = 0;
};

// Draws the curve (sag up) with the canvas's pen as a broken polyline: a failed sample breaks it.
void DrawSagCurve(PlotCanvas& canvas, const PlotMapping& mapping, const SagCurve& curve,
                  const ViewSamples& samples);

// What a view that asked for samples and got none draws in its area (and the main window's
// status shows): why, where that is known.
inline constexpr const char* kNoSampleAnsweredText = "no sample answered";
inline constexpr const char* kNoIndexAtWavelength0Text = "no finite index here: wavelength is 0";
// The note for a view whose pass is `samples`: empty when a sample answered or none was asked
// for; kNoIndexAtWavelength0Text when index samples failed with the records' wavelength 0 (a
// library's index depends on it), else kNoSampleAnsweredText.
QString NothingAnsweredNote(const PlotState& state, const ViewSamples& samples);
// The note's font: the help texts' face at the largest size that fits the view's width.
QFont ViewNoteFont(const QString& note, int viewWidth);
// Draws `note` (unless empty) in the middle of the view, on a box of the paper colour.
void DrawViewNote(PlotCanvas& canvas, const QString& note);
void DrawViewNote(QImage& image, const QString& note);

// Plan view (top left): x across, y up, drawn over the surface map when `map` is a built,
// non-empty map image (stretched onto the analysis rectangle), else over white.
QImage DrawPlanView(const PlotState& state, const QImage* map, int width, int height);

enum class ProfileAxis {
    kX,  // x-z profile view (bottom left): the sections run along x
    kY,  // y-z profile view (bottom right): the sections run along y
};
// `note` (optional) receives what the view says when no sample answered (NothingAnsweredNote).
QImage DrawProfileView(ProfileAxis axis, const PlotState& state, Sampler& sampler, int width,
                       int height, QString* note = nullptr);

// Index along z (top right for a gradient-index surface): z across, n up.
QImage DrawIndexView(const PlotState& state, Sampler& sampler, int width, int height,
                     QString* note = nullptr);

// Ray view (top right otherwise): r across, z up.
QImage DrawRayView(const PlotState& state, Sampler& sampler, int width, int height,
                   QString* note = nullptr);

// Text of the two-line cursor read-out below the views; empty when Cursor is off on a surface
// that is not gradient-index.
QString CursorReadout(const PlotState& state, Sampler& sampler);

}  // namespace velmor
