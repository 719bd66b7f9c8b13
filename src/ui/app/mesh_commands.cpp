// The mesh commands of the main window: "Make 3D Model", "Save STL (ASCII) ..." and
// "Save STL (BIN) ...". Each builds the surface mesh afresh from the fields, the mesh pattern
// and the surface as the last repaint left the working records.
#include <QFile>
#include <memory>
#include <string>

#include "core/view3d/mesh_builder.h"
#include "core/view3d/model.h"
#include "core/view3d/stl_writer.h"
#include "ui/app/velmor_dlg.h"
#include "ui/app/window_factories.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"

namespace velmor {

namespace {

// Builds the mesh under the "Shading Model ..." progress window. When the planned triangle
// count was over the budget the enlarged "delta 3D" steps go back into the fields and the
// user is told. Answers the builder's result: 0, or -1 when the sample store could not be
// had (the model is then unusable).
int BuildMesh(CVelmorDlg& dlg, CModel& model) {
    const VelmorState& s = dlg.State();
    MeshParams params;
    params.xmin = s.analysisX.min;
    params.xmax = s.analysisX.max;
    params.ymin = s.analysisY.min;
    params.ymax = s.analysisY.max;
    params.dx = s.step3dX;
    params.dy = s.step3dY;
    params.pattern = s.meshPattern;
    std::string message;
    int result = 0;
    {
        ProgressWindowScope progress(&dlg, QStringLiteral("Shading Model ..."));
        result =
            BuildSurfaceMesh(params, dlg.Provider().SurfaceSampler(), model, &message, nullptr);
    }
    if (!message.empty()) {
        dlg.SetMeshSteps(params.dx, params.dy);
        ShowMessage(&dlg, QString::fromLatin1(message.c_str()), MessageIcon::Information);
    }
    return result;
}

}  // namespace

void BuildSurfaceModel(CVelmorDlg& dlg) {
    auto model = std::make_unique<CModel>();
    if (BuildMesh(dlg, *model) != 0) return;  // the 3D window keeps its model
    dlg.Shading3D().ReplaceModel(*model);
}

void SaveSurfaceStl(CVelmorDlg& dlg, bool binary) {
    SetProgressParent(&dlg);
    dlg.ReadFields();
    auto model = std::make_unique<CModel>();
    if (BuildMesh(dlg, *model) != 0) return;

    FileDialogRequest request;
    request.title = binary ? QStringLiteral("Save User Defined Surface STL (BIN)")
                           : QStringLiteral("Save User Defined Surface STL (ASCII)");
    request.filter = binary ? QStringLiteral("STL Files (*.stl)|*.stl||")
                            : QStringLiteral("STL Files (*.stl)|*.stl|TEXT Files (*.txt)|*.txt||");
    request.defaultExtension = QStringLiteral("stl");
    request.defaultName = QStringLiteral("Kestrum.stl");
    request.initialDir = dlg.ExecutableDir();
    const std::optional<QString> path = Messages().SaveFileName(&dlg, request);
    if (!path || path->isEmpty()) return;

    const std::string localPath = QFile::encodeName(*path).toStdString();
    std::string message;
    int result = kStlWritten;
    {
        ProgressWindowScope progress(&dlg, QStringLiteral("Save STL ..."));
        result = binary ? WriteStlBinary(localPath, *model, &message)
                        : WriteStlAscii(localPath, *model, &message);
    }
    // A file that could not be created or written: the system's reason, nothing else changes.
    if (result == kStlWriteFailed)
        ShowMessage(&dlg, QString::fromLocal8Bit(message.c_str()), MessageIcon::Warning);
}

}  // namespace velmor
