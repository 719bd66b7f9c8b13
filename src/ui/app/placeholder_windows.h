// Stand-ins for the secondary windows and the views until the real ones are wired in
// (window_factories.cpp): plain top-level windows with their titles and sizes, so placement,
// visibility and the "Window" menu work, and plain white plot areas.
#pragma once

#include <QWidget>

#include "app/plot_views.h"
#include "app/secondary_windows.h"

namespace velmor {

class CPlaceholderRecordWindow : public QWidget, public RecordTableWindow {
public:
    // `initial`: "UD FD Initial" (titled by record version), else "UD FD Final".
    explicit CPlaceholderRecordWindow(bool initial);
    QWidget* Widget() override { return this; }
    void SetRecordVersion(int recordVersion) override;
    void ShowRecords(const RecordPair&, int) override {}
    bool ReadRecords(RecordPair*, int) override { return false; }
    void SetInterpreterMode(bool on) override { m_interpreterMode = on; }
    bool InterpreterMode() const { return m_interpreterMode; }

private:
    bool m_initial;
    bool m_interpreterMode = false;
};

class CPlaceholder3DWindow : public QWidget, public View3DWindow {
public:
    CPlaceholder3DWindow();
    QWidget* Widget() override { return this; }
    void SetRay(const float*, int rayState) override { m_rayState = rayState; }
    void SetNoRay() override { m_rayState = 0; }
    void ReplaceModel(const CModel&) override {}
    void ResetForNewSurface() override {}
    void Repaint() override { update(); }
    int RayState() const { return m_rayState; }

private:
    int m_rayState = 0;
};

class CPlaceholderInterpreterWindow : public QWidget, public InterpreterWindow {
public:
    CPlaceholderInterpreterWindow();
    QWidget* Widget() override { return this; }
    void SetOutputText(const QString& text) override { m_output = text; }
    const QString& OutputText() const { return m_output; }

private:
    QString m_output;
};

// White areas with a black border; no drawing of the surface.
class CPlaceholderPlotViews : public PlotViews {
public:
    void Paint(QPainter& painter, const PlotAreas& areas) override;
};

}  // namespace velmor
