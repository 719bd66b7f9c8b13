// Where the main window gets the parts other subsystems provide: the 2D views, the four
// secondary windows, and the mesh and STL commands. Each window of another subsystem serves
// the main window through the interface of secondary_windows.h (adapters in this folder).
#pragma once

#include <memory>

#include "ui/app/plot_views.h"
#include "ui/app/secondary_windows.h"

namespace velmor {

class CVelmorDlg;

std::unique_ptr<PlotViews> MakePlotViews(CVelmorDlg& dlg);
std::unique_ptr<RecordTableWindow> MakeUdFdFinalWindow(CVelmorDlg& dlg);
std::unique_ptr<RecordTableWindow> MakeUdFdInitialWindow(CVelmorDlg& dlg);
std::unique_ptr<View3DWindow> MakeShading3DWindow(CVelmorDlg& dlg);
std::unique_ptr<InterpreterWindow> MakeInterpreterWindow(CVelmorDlg& dlg);

// Defined in mesh_commands.cpp.
// "Make 3D Model" after its checks and reads: builds the surface mesh into a new model and,
// when that succeeds, hands it to the "Shading 3D" window.
void BuildSurfaceModel(CVelmorDlg& dlg);
// "Save STL (ASCII) ..." and "Save STL (BIN) ...".
void SaveSurfaceStl(CVelmorDlg& dlg, bool binary);

}  // namespace velmor
