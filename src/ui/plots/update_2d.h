// The plot client as the main window shows it and velmor-cli views draws it: four plot areas
// in a sunken frame, each view drawn off-screen into an image of its area's size and then
// copied whole (a view is never seen half drawn), what the views draw from, and "Update 2D",
// the sequence both run.
#pragma once

#include <QImage>
#include <QPalette>
#include <QRect>
#include <QString>
#include <optional>
#include <string>

#include "core/surface/provider.h"
#include "core/surface/sampler.h"
#include "ui/plots/plot_state.h"
#include "ui/plots/surface_map.h"

class QPainter;

namespace velmor {

struct CompareOverlay;

// What the views and the surface map need from the surface besides the plot state: the
// sampler, the refresh of the working record pair, and the script engine's per-kind run-error
// counters around a repaint.
class PlotSurface {
public:
    virtual ~PlotSurface() = default;
    virtual Sampler& PointSampler() = 0;
    // Copies the initial record pair into the working pair before a batch of samples.
    virtual void RefreshWorkingPair() = 0;
    // Before a repaint: the per-kind run-error counters go to 0.
    virtual void ClearRunErrorCounters() = 0;
    // After a repaint: the error summary when any per-kind counter is above 0, else empty.
    // 8-bit text with CR LF, as the engine writes it.
    virtual std::string RunErrorSummary() = 0;
    // A sampling pass begins (a repaint, the map): an Escape press from before it no longer
    // aborts the script's runs.
    virtual void BeginPass() {}
};

// The program's surface: the provider's sampler and working pair, and its script engine.
class ProviderPlotSurface final : public PlotSurface {
public:
    explicit ProviderPlotSurface(CSurfaceProvider& provider) : m_provider(provider) {}

    Sampler& PointSampler() override;
    void RefreshWorkingPair() override;
    void ClearRunErrorCounters() override;
    std::string RunErrorSummary() override;
    void BeginPass() override;

private:
    CSurfaceProvider& m_provider;
};

// Rectangles in the plot client's coordinates.
struct PlotAreas {
    QRect frame;   // the plot frame, the stretching area the views sit in
    QRect plan;    // the plan view, top left: x across, y up
    QRect xz;      // the x-z view, bottom left: x across, z up
    QRect yz;      // the y-z view, bottom right: y across, z up
    QRect fourth;  // top right: ray view (r, z) or index along z (z, n)
};

// Squares the frame at its top-left corner with the smaller side s and puts four squares of
// side s / 2 - 4 into its corners, 2 pixels in from the edges.
PlotAreas ComputePlotAreas(const QRect& frame);

// The plot client to paint: its rectangle and colours, and the plot areas in it.
struct PlotClientLayout {
    QRect rect;
    QPalette palette;
    PlotAreas areas;
};

// A sunken panel one pixel wide along the edges of `rect`: the palette's dark colour along the
// top and left edges, its light colour along the bottom and right ones (the bottom-left and
// top-right corners light). The inside is left as it is. On a device with a pixel ratio the
// panel is that many device pixels wide.
void DrawSunkenFrame(QPainter& painter, const QRect& rect, const QPalette& palette);

// Text of the main window's ray-trace status line while a gradient-index surface is shown.
inline constexpr const char* kRayStatusNoRay = "RayTrace :";

// What the repaint does when the surface map is missing.
enum class MissingMap {
    kBuild,  // build it during the repaint (its progress window pumps events meanwhile)
    kLeave,  // leave it to the caller, who builds it outside the paint and repaints again
};

struct RepaintResult {
    QImage plan, xz, yz, fourth;  // fourth: the ray view, or the index view (gradient index)
    QString cursorReadout;        // text of the main window's cursor read-out
    // Gradient-index surface: the status line of the ray's path through the medium ("GRIN :
    // ..."), shown in place of kRayStatusNoRay; empty when there is none.
    QString mediumStatus;
    // Gradient-index surface: the ray-trace status line becomes kRayStatusNoRay and the 3D window's
    // ray display goes to its no-ray state.
    bool showNoRay = false;
    // The map was missing and has been built during this pass, which drew the plan view
    // without it: request one more repaint.
    bool repaintAgain = false;
    // The map was missing and, as asked, left so: build it, then repaint.
    bool mapMissing = false;
    // Not empty when a script run failed during the repaint: the executor's error summary
    // (8-bit text, CR LF), for the interpreter window's output box.
    std::string errorSummary;
    // What the first view without an answered sample says in its area (the map, then the x-z,
    // the y-z and the fourth view), for the status; empty when every view has something.
    QString nothingAnswered;
};

// The repaint of the four views into images of their areas' sizes, in order: clear the
// per-kind run-error counters; refresh the working pair from the initial pair; build the
// surface map if it is missing; draw the plan view (over the map), the x-z and y-z profile
// views and the fourth view (index along z for a gradient-index surface, else the ray view);
// write the cursor read-out; collect the error summary. While comparing with a reference
// (`compare` not null) the plan view shows the difference map instead of the map, and the
// reference is drawn over the views (ui/plots/compare_views.h).
RepaintResult RepaintViews(const PlotState& state, PlotSurface& surface, CSurfaceMap& map,
                           const PlotAreas& areas, MapProgressWindow* progress,
                           MissingMap missingMap = MissingMap::kBuild,
                           const CompareOverlay* compare = nullptr);

// What the views draw from besides the settings: the records and the last ray of `provider`,
// the samples through `surface`, the surface map kept between repaints, and the progress
// window of its build (may be null).
struct PlotSources {
    CSurfaceProvider& provider;
    PlotSurface& surface;
    CSurfaceMap& map;
    MapProgressWindow* progress = nullptr;
    const CompareOverlay* compare = nullptr;  // a comparison the views show, or none
};

// Paints the plot client from the views' images: the window colour, the sunken frame and the
// images unscaled at the top-left corners of their areas. Nothing is sampled here, so a paint
// never waits for the surface.
void PaintPlotClient(QPainter& painter, const PlotClientLayout& client, const RepaintResult& views);

// The progress window of a long path through a gradient-index medium, opened through the map's
// progress window (the program's one progress window) with its own caption.
class MediumPathWindow final : public MediumProgressWindow {
public:
    explicit MediumPathWindow(MapProgressWindow* window) : m_window(window) {}
    void Open() override;
    void Close() override;

private:
    MapProgressWindow* m_window;
};

// The single real ray as the views' settings ask for it (TraceRay), and for a gradient-index
// surface its path through the medium, ending at the display z maximum unless thic is above 0;
// `window` (may be null) shows the progress of a long path.
TraceOutcome TraceRayAndPath(CSurfaceProvider& provider, const PlotSettings& settings,
                             MapProgressWindow* window);

struct Update2DResult {
    TraceOutcome trace;
    RepaintResult views;
};

// "Update 2D", once the caller has read the tables back into the initial records: traces the
// ray (analysis ranges, 2D steps and "n1" / "n2" of the settings), builds the surface map
// anew and repaints the four views into images of the areas' sizes.
Update2DResult RunUpdate2D(const PlotAreas& areas, const PlotSettings& settings,
                           const PlotSources& sources);
// RunUpdate2D, then the plot client painted with its images (what velmor-cli views draws).
Update2DResult Update2D(QPainter& painter, const PlotClientLayout& client,
                        const PlotSettings& settings, const PlotSources& sources);

// The main window's fields as velmor-cli views is given them. Display ranges left unset are
// what "Reset Zoom" shows for the analysis ranges.
struct ViewFields {
    ValueRange analysisX, analysisY;               // "min" / "max" x and y
    double stepX = 0.025, stepY = 0.025;           // "delta 2D" x and y, as the fields took them
    std::optional<ValueRange> displayX, displayY;  // "display min" / "display max" x and y
    std::optional<ValueRange> displayZ;            // the display z range
    std::optional<ValueRange> displayN;            // "display n min" / "display n max"
    std::optional<ValueRange> displayR;            // the ray view's r axis (no field)
    double n1 = 1.0, n2 = 1.5;                     // "n1" / "n2"
};

// What the main window draws from after the fields are typed, "Reset Zoom" is pressed, the
// display fields given are typed and "Update 2D" reads them all: `start` (the window's settings
// before) with the analysis ranges, steps and "n1" / "n2", the display ranges "Reset Zoom" gives
// (the x, y and n ranges as their three-decimal fields read them back), then the display ranges
// given. The window reads no display z field: its display z range only follows "Reset Zoom",
// zoom and pan.
PlotSettings SettingsFromFields(const ViewFields& fields, const PlotSettings& start);

// velmor-cli views: the "UD FD Initial" tables read back into the initial pair (every field
// through the text the tables show, so doubles keep six decimals), then "Update 2D" painting
// a plot client of side x side pixels in the application's palette, laid out as the main
// window lays out its plot frame.
struct ViewsImage {
    QImage image;
    Update2DResult update;
};
ViewsImage UpdateViewsImage(CSurfaceProvider& provider, const PlotSettings& settings, int side);

}  // namespace velmor
