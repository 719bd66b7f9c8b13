// What the views draw of a gradient-index medium besides the curves: the ray's path through it
// (core/surface/medium_ray.h) and the index field behind the profiles.
#pragma once

#include "core/surface/medium_ray.h"
#include "core/surface/sampler.h"
#include "ui/plots/plot_frame.h"
#include "ui/plots/view_images.h"

namespace velmor {

// The path's coordinates by number: 0 x, 1 y, 2 z.
enum MediumAxis : int { kMediumX = 0, kMediumY = 1, kMediumZ = 2 };

// The path as a polyline with the thick blue pen (the colour of the ray after the surface), its
// points mapped by `mapping` with coordinate `across` across and `up` up: projected in the plan
// view (x, y), in its real shape in the profile views (x, z and y, z). Points that fall on the
// pixel before them are passed over.
void DrawMediumPath(PlotCanvas& canvas, const PlotMapping& mapping, const MediumPath& path,
                    MediumAxis across, MediumAxis up);

// Paints the index field into the inner rectangle of a profile view: n(x, cursor y, z) in the
// x-z view, n(cursor x, y, z) in the y-z view, sampled at the centre of each pixel column and row
// (the view's display range across and its display z range up), in the surface map's grey levels
// over the display n range, a failed sample black. The samples go through the sampler's index
// pass in whole rows, at most kSamplePassPoints at a time (one pass for a view of up to 256 x 256
// pixels).
void PaintIndexField(PlotCanvas& canvas, ProfileAxis axis, const PlotState& state,
                     Sampler& sampler);

}  // namespace velmor
