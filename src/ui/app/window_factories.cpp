#include "app/window_factories.h"

#include "app/placeholder_windows.h"
#include "app/velmor_dlg.h"
#include "interp/dialog_interpreter.h"

namespace velmor {

std::unique_ptr<PlotViews> MakePlotViews(CVelmorDlg&) {
    return std::make_unique<CPlaceholderPlotViews>();
}

std::unique_ptr<RecordTableWindow> MakeUdFdFinalWindow(CVelmorDlg&) {
    return std::make_unique<CPlaceholderRecordWindow>(false);
}

std::unique_ptr<RecordTableWindow> MakeUdFdInitialWindow(CVelmorDlg&) {
    return std::make_unique<CPlaceholderRecordWindow>(true);
}

std::unique_ptr<View3DWindow> MakeShading3DWindow(CVelmorDlg&) {
    return std::make_unique<CPlaceholder3DWindow>();
}

std::unique_ptr<InterpreterWindow> MakeInterpreterWindow(CVelmorDlg& dlg) {
    return std::make_unique<CDialogInerpreter>(dlg.Engine());
}

void BuildSurfaceModel(CVelmorDlg&) {}

void SaveSurfaceStl(CVelmorDlg&, bool) {}

}  // namespace velmor
