// The 2D views as the main window's PlotViews: each paint draws the four views from the main
// window's state and the provider, and writes the cursor read-out, the ray-trace status of a
// gradient-index surface and the script error summary into the main window's texts.
#pragma once

#include "ui/app/plot_views.h"
#include "ui/app/velmor_state.h"
#include "ui/plots/plot_state.h"
#include "ui/plots/plot_surface.h"
#include "ui/plots/surface_map.h"

namespace velmor {

class CVelmorDlg;
class CSurfaceProvider;

// The plot state from the main window's state and the provider's records and last ray.
PlotState MakePlotState(const VelmorState& state, CSurfaceProvider& provider);

// The progress window of the map build: the program's one progress window, titled as asked,
// over the parent the last caller left.
class CMapProgressWindow final : public MapProgressWindow {
public:
    void Open(const char* title) override;
    void Close() override;
};

class CVelmorPlotViews final : public PlotViews {
public:
    explicit CVelmorPlotViews(CVelmorDlg& dlg);

    void Paint(QPainter& painter, const PlotAreas& areas) override;
    void DiscardMap() override;
    // Discards the map and builds it again at once (the wait cursor and the progress window
    // "Progress Bitmap" shown meanwhile).
    void RebuildMap() override;
    void ChooseThroughPoint(double x, double y) override;
    void ChooseDirection(double x, double y) override;
    void ChooseIncidentElevation(double r, double z) override;

    const CSurfaceMap& Map() const { return m_map; }

private:
    void BuildMissingMap();

    CVelmorDlg& m_dlg;
    ProviderPlotSurface m_surface;
    CSurfaceMap m_map;
    CMapProgressWindow m_progress;
    bool m_buildQueued = false;
};

}  // namespace velmor
