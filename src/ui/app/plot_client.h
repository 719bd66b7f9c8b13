// The main window's plot client: the widget the four views are painted on, whose mouse and
// wheel go to the main window. The main window's part of the views (computing their images,
// the surface map's build, zoom, pan and clicks) is in plot_client.cpp.
#pragma once

#include <QWidget>
#include <memory>

#include "ui/plots/update_2d.h"

namespace velmor {

class CLibraryWaitWindow;
class CVelmorDlg;

// The surface the main window's views sample: the provider's, except that once the waiting
// window's Cancel has ended the pass under way, the pass takes no more samples (they fail
// untaken), so the views show what was sampled before and the map's rest stays black.
class CViewsSurface final : public PlotSurface {
public:
    CViewsSurface(CSurfaceProvider& provider, const CLibraryWaitWindow& wait);
    ~CViewsSurface() override;

    Sampler& PointSampler() override;
    void RefreshWorkingPair() override { m_surface.RefreshWorkingPair(); }
    void ClearRunErrorCounters() override { m_surface.ClearRunErrorCounters(); }
    std::string RunErrorSummary() override { return m_surface.RunErrorSummary(); }
    void BeginPass() override { m_surface.BeginPass(); }

private:
    class PassSampler;
    ProviderPlotSurface m_surface;
    std::unique_ptr<PassSampler> m_sampler;
};

// How long a missing map's build waits before looking again whether another loop's progress
// window has closed (a timer of 0 would fire again inside that loop's event processing); the
// views' images and a changed library's reload wait as long for a sampling pass to end.
inline constexpr int kMapBuildRetryMs = 50;

// The client area: background, the plot frame and the four views; the mouse and the wheel go to
// the main window.
class CVelmorClient : public QWidget {
public:
    explicit CVelmorClient(CVelmorDlg& dlg);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    CVelmorDlg& m_dlg;
    int m_wheel = 0;  // wheel steps not yet a whole notch
};

}  // namespace velmor
