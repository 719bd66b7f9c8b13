#include "ui/app/window_factories.h"

#include "ui/app/record_table_windows.h"
#include "ui/app/shading3d_window.h"
#include "ui/app/velmor_dlg.h"
#include "ui/interp/dialog_interpreter.h"
#include "ui/plots/velmor_plot_views.h"

namespace velmor {

std::unique_ptr<PlotViews> MakePlotViews(CVelmorDlg& dlg) {
    return std::make_unique<CVelmorPlotViews>(dlg);
}

std::unique_ptr<RecordTableWindow> MakeUdFdFinalWindow(CVelmorDlg& dlg) {
    return std::make_unique<CUdFdFinalWindow>(dlg);
}

std::unique_ptr<RecordTableWindow> MakeUdFdInitialWindow(CVelmorDlg& dlg) {
    return std::make_unique<CUdFdInitialWindow>(dlg);
}

std::unique_ptr<View3DWindow> MakeShading3DWindow(CVelmorDlg& dlg) {
    return std::make_unique<CShading3DWindow>(dlg.ExecutableDir());
}

std::unique_ptr<InterpreterWindow> MakeInterpreterWindow(CVelmorDlg& dlg) {
    return std::make_unique<CDialogInerpreter>(dlg.Engine());
}

}  // namespace velmor
