// Choosing the single real ray with Shift-clicks. Each function changes only the initial
// USER_DATA; the main window acts on a click only with "Ray Trace" on and Shift held, then
// writes the initial records into "UD FD Initial", traces the ray and repaints.
#pragma once

#include "core/surface/records.h"

namespace velmor {

// "Shift L-Click:ThroughPoint" in the plan view (surfaces that are not gradient-index): the
// start point's x and y become the clicked world point; z and the direction stay.
void ChooseThroughPoint(USER_DATA& ud, double x, double y);

// "Shift R-Click:Direction" in the plan view: the ray travels horizontally from the clicked
// side towards the start point, keeping n: l = -(dx / d) s, m = -(dy / d) s, s = sqrt(1 - n^2).
// A click on the start point itself (d = 0), or an n outside [-1, 1], leaves the direction.
void ChooseDirection(USER_DATA& ud, double clickX, double clickY);

// "Shift L-Click:IncidentElevation" in the ray view at (r, z): for r > 0 the ray points from
// the clicked point towards the hit point (0, hitZ), or towards (0, 0) when the last trace
// failed; the horizontal part keeps its azimuth (+x when the ray had no horizontal part).
// In every case the direction is then normalised; a zero direction stays as it is.
void ChooseIncidentElevation(USER_DATA& ud, double r, double z, bool traceOk, double hitZ);

}  // namespace velmor
