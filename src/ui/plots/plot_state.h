// The state the 2D views read. The main window's fields, check boxes and clicks set the
// PlotSettings part (velmor-cli views starts from the defaults, which are the main window's
// initial values, and takes the fields it is given); the surface provider gives the rest. The
// views never change it.
#pragma once

#include <memory>
#include <string>

#include "core/surface/records.h"
#include "core/surface/script_ray_trace.h"

namespace velmor {

class CSurfaceProvider;
struct MediumPath;

// An interval of one axis.
struct ValueRange {
    double min = -10.0;
    double max = 10.0;
    double Width() const { return max - min; }
    double Centre() const { return (min + max) / 2; }
};

struct PlotSettings {
    // Intervals the profiles, the index view, the surface map and the ray trace sample
    // (fields "min" / "max"; z has no field).
    ValueRange analysisX, analysisY, analysisZ;
    // Sample spacings ("delta 2D" x and y; z has no field).
    double stepX = 0.025, stepY = 0.025, stepZ = 0.025;
    // Extents of the view axes (pan and zoom change x, y, z and r; the fields change n).
    ValueRange displayX, displayY, displayZ, displayR;
    ValueRange displayN{-2.0, 2.0};
    // The cursor point, set by left clicks in the views.
    double cursorX = 0.1, cursorY = 0.1, cursorZ = 0.1;
    // Fields "n1" / "n2": the indices of a script surface.
    double fieldN1 = 1.0, fieldN2 = 1.5;
    // Check boxes "Verbose", "Cursor", "Ray Trace".
    bool verbose = true, cursor = true, rayTrace = true;
    // "Use Interpreter": samples are script runs.
    bool interpreterMode = false;
    // The surface is a gradient-index medium: the fourth view shows the index along z.
    bool gradientIndex = false;
};

struct PlotState : PlotSettings {
    // The last ray trace returned 0.
    bool rayTraceOk = false;
    // x, y, z, l, m, n of the final USER_DATA after the last ray trace, whatever its result.
    double rayResult[6] = {0, 0, 0, 0, 0, 0};
    // n1 / n2 of the initial FIXED_DATA, read at the offsets of the record version.
    double recordN1 = 1.0, recordN2 = 1.5;
    // The wavelength of the initial FIXED_DATA (an index surface may answer nothing at 0).
    double recordWavelength = 0.0;
    // The ray of the initial USER_DATA: start point and direction cosines.
    double startX = 1.0, startY = -0.5, startZ = 0.0;
    double startL = -0.25, startM = 0.2, startN = 0.947;

    // A gradient-index surface: the ray's path through the medium after the last trace (the
    // provider's, or null when there is none) and its status line ("GRIN : ...").
    std::shared_ptr<const MediumPath> mediumPath;
    std::string mediumStatus;

    // The indices the views label: the fields in interpreter mode, else the records.
    double LabelN1() const { return interpreterMode ? fieldN1 : recordN1; }
    double LabelN2() const { return interpreterMode ? fieldN2 : recordN2; }
};

// The settings with the provider's part: the ray and n1 / n2 of the initial records and the
// last trace's outcome and ray.
PlotState MakePlotState(const PlotSettings& settings, CSurfaceProvider& provider);

// Takes the ray start and direction and the record's n1 / n2 from the initial record pair.
void SetPlotRecords(PlotState& state, const RecordPair& initial, int recordVersion);

// "Reset Zoom": the display x, y and z ranges become [lo, hi], from the least of the analysis
// x, y and z minima to the greatest of their maxima (z's fixed [-10, 10] included), and the
// display r range [-|hi - lo| / 2, |hi - lo| / 2].
void ResetZoomRanges(PlotSettings& settings);

// A value as a field that shows it with three decimals ("%.3f") reads it back.
double ThreeDecimalField(double value);

// The script ray trace's inputs from the settings: analysis ranges, 2D steps, "n1" / "n2".
ScriptTraceSettings TraceSettingsOf(const PlotSettings& settings);

}  // namespace velmor
