// The main window's plot client: the widget the four views are painted on, whose mouse and
// wheel go to the main window. The main window's part of the views (computing their images,
// the surface map's build, zoom, pan and clicks) is in plot_client.cpp.
#pragma once

#include <QWidget>

namespace velmor {

class CVelmorDlg;

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
