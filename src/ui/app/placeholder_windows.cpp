#include "app/placeholder_windows.h"

#include <QPainter>

#include "app/dialog_units.h"

namespace velmor {

namespace {

// Template sizes of the real windows, in dialog units.
constexpr int kUdFdInitialDlu[2] = {208, 236};
constexpr int kUdFdFinalDlu[2] = {208, 220};
constexpr int kShading3DDlu[2] = {240, 162};
constexpr int kInterpreterPixels[2] = {480, 400};

}  // namespace

CPlaceholderRecordWindow::CPlaceholderRecordWindow(bool initial)
    : QWidget(nullptr, Qt::Window), m_initial(initial) {
    const int* dlu = initial ? kUdFdInitialDlu : kUdFdFinalDlu;
    resize(DluX(dlu[0]), DluY(dlu[1]));
    SetRecordVersion(0);
}

void CPlaceholderRecordWindow::SetRecordVersion(int recordVersion) {
    setWindowTitle(m_initial ? UdFdInitialTitle(recordVersion)
                             : QString::fromLatin1(kTitleUdFdFinal));
}

CPlaceholder3DWindow::CPlaceholder3DWindow() : QWidget(nullptr, Qt::Window) {
    setWindowTitle(QString::fromLatin1(kTitleShading3D));
    resize(DluX(kShading3DDlu[0]), DluY(kShading3DDlu[1]));
}

CPlaceholderInterpreterWindow::CPlaceholderInterpreterWindow() : QWidget(nullptr, Qt::Window) {
    setWindowTitle(QString::fromLatin1(kTitleInterpreter));
    resize(kInterpreterPixels[0], kInterpreterPixels[1]);
}

void CPlaceholderPlotViews::Paint(QPainter& painter, const PlotAreas& areas) {
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    for (const QRect& area : {areas.plan, areas.xz, areas.yz, areas.fourth})
        painter.drawRect(area.adjusted(0, 0, -1, -1));
}

}  // namespace velmor
