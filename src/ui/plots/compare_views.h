// What the 2D views draw of a comparison with a reference: the sag difference in place of the
// plan view's map, the reference's profiles and ray in the second colour (kReferenceRgb), and a
// line of the cursor read-out with both sags and their difference. Drawn over the views'
// images after they are drawn, so a view without a comparison stays as it was, to the pixel.
#pragma once

#include <QImage>
#include <QString>
#include <functional>

#include "core/compare/compare_report.h"
#include "core/surface/sampler.h"
#include "ui/plots/plot_state.h"
#include "ui/plots/view_images.h"

namespace velmor {

struct CompareOverlay {
    // The difference map (DifferenceMapImage), stretched into the plan view as the map is.
    QImage differenceMap;
    double largestDifference = 0;  // the |difference| black and white stand for
    // Where the largest sag difference lies (marked in the plan view), when there is one.
    bool markLargest = false;
    double largestX = 0, largestY = 0;
    // The reference's sags for the profiles and the read-out; `refreshReference` (may be empty)
    // is called before each repaint samples it.
    Sampler* reference = nullptr;
    std::function<void()> refreshReference;
    // The reference's trace of the ray of the initial records: its hit x y z and outgoing
    // l m n when it traced.
    bool rayTraced = false;
    double ray[6] = {};
};

// The sag difference (surface minus reference) of the report's grid as grey levels, one pixel per
// point, row 0 the grid's top row: 128 + trunc(128 d / largest) within 0 .. 255, so 128 is no
// difference, black and white the largest either way; a point a side failed is black, the map's
// failed colour. *largest receives the largest |difference| (0: every point 128).
QImage DifferenceMapImage(const CompareReport& report, double* largest);

// The legend in the plan view's top left (its second text line) ("sag-ref ±3.2e-07": white for +,
// black for -) and a circle round the largest difference (a single cell of a fine grid would not
// show once the map is shrunk).
void DrawDifferenceLegend(QImage& plan, const PlotState& state, const CompareOverlay& overlay);

// The reference's sag sections in the profile view `image` (ProfileAxis: defined with the
// profiles), through the same points as the surface's: at the cursor and through the ray.
void DrawReferenceProfile(QImage& image, ProfileAxis axis, const PlotState& state,
                          Sampler& reference);

// The reference's outgoing ray in the ray view `image`, from its own hit point.
void DrawReferenceRay(QImage& image, const PlotState& state, const CompareOverlay& overlay);

// The read-out's line for the cursor point: " sag=... , ref=... , diff=..." (the surface's sag,
// the reference's and surface minus reference).
QString CompareCursorLine(const PlotState& state, Sampler& surface, Sampler& reference);

// All of the above for one repaint's images: the plan view over the difference map (drawn by
// the caller), its legend, the profiles, the ray and the read-out's line.
struct RepaintResult;
void DrawCompareOverlay(RepaintResult& result, const PlotState& state, Sampler& surface,
                        const CompareOverlay& overlay);

}  // namespace velmor
