// The main window's mesh commands: "Make 3D Model" and the STL exports, both sampling the
// surface mesh with the fields' ranges, steps and pattern.
#include <QFile>
#include <QLineEdit>
#include <QStatusBar>
#include <memory>

#include "core/view3d/mesh_builder.h"
#include "core/view3d/model.h"
#include "core/view3d/stl_writer.h"
#include "ui/app/field_text.h"
#include "ui/app/velmor_dlg.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/surface/record_tables_dialog.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

namespace {
constexpr int kSavedMessageMs = 15000;  // how long "Saved N triangles to <file>" stands
}  // namespace

void CVelmorDlg::Make3DModel() {
    if (RefusedWithoutCode()) return;
    ReadFields();
    m_udFdInitial->ReadTablesBack(*m_provider);
    auto model = std::make_unique<CModel>();
    MeshSamples samples;
    if (BuildMesh(*model, &samples) != 0) return;  // the 3D window keeps its model
    // A surface that answered nowhere shows no model, and the 3D window says why.
    m_shading3d->SetModel(*model, true);
    m_shading3d->SetModelStatus(
        QString::fromStdString(MeshSamplesText(samples, m_shading3d->FailedAtZero())));
}

int CVelmorDlg::BuildMesh(CModel& model, MeshSamples* samples) {
    const VelmorState& s = m_state;
    MeshParams params{s.analysisX.min, s.analysisX.max, s.analysisY.min, s.analysisY.max,
                      s.step3dX,       s.step3dY,       s.meshPattern};
    params.failedAtZero = m_shading3d->FailedAtZero();
    // Too many planned triangles: the enlarged steps go into their boxes and the user is told
    // before the build, which then uses them.
    if (FitMeshStepsToBudget(params)) {
        m_state.step3dX = params.dx;
        m_state.step3dY = params.dy;
        Field(kIdStep3DX)->setText(FormatField(params.dx));
        Field(kIdStep3DY)->setText(FormatField(params.dy));
        ShowMessage(this, QString::fromLatin1(kMeshStepsEnlargedMessage), MessageIcon::Information);
    }
    SamplingScope sampling(*this);
    ProgressWindowScope progress(this, QStringLiteral("Shading Model ..."));
    m_engine->BeginEscapePass();
    return BuildMeshWithSteps(params, m_provider->SurfaceSampler(), model, nullptr, samples);
}

void CVelmorDlg::SaveStl(bool binary) {
    // Without code in interpreter mode every sample fails: the file would hold a plane of failed
    // samples at z = 0, not the surface. The tables are not read back: like "Make 3D Model", the
    // mesh samples the records as the last repaint left them (what the views show), so reading
    // them here would only change the records behind the views' back.
    if (RefusedWithoutCode()) return;
    ReadFields();
    auto model = std::make_unique<CModel>();
    MeshSamples samples;
    if (BuildMesh(*model, &samples) != 0) return;
    // A file of a surface that answered nowhere would hold nothing of it: no file, the reason.
    const bool atZero = m_shading3d->FailedAtZero();
    if (MeshHasNoSample(samples, atZero)) {
        ShowMessage(this, QString::fromLatin1(kMeshNoSampleText), MessageIcon::Warning);
        return;
    }

    FileDialogRequest request;
    request.title = binary ? QStringLiteral("Save User Defined Surface STL (BIN)")
                           : QStringLiteral("Save User Defined Surface STL (ASCII)");
    request.filter = binary ? QStringLiteral("STL Files (*.stl)|*.stl||")
                            : QStringLiteral("STL Files (*.stl)|*.stl|TEXT Files (*.txt)|*.txt||");
    request.defaultExtension = QStringLiteral("stl");
    request.defaultName = QStringLiteral("Kestrum.stl");
    const std::optional<QString> path = SaveFileNameAskingToCreate(this, request);
    if (!path || path->isEmpty()) return;

    const std::string localPath = QFile::encodeName(*path).toStdString();
    std::string message;
    int result = kStlWritten;
    {
        ProgressWindowScope progress(this, QStringLiteral("Save STL ..."));
        result = binary ? WriteStlBinary(localPath, *model, &message)
                        : WriteStlAscii(localPath, *model, &message);
    }
    // A file that could not be created or written: the system's reason, nothing else changes.
    if (result == kStlWriteFailed)
        ShowMessage(this, QString::fromLocal8Bit(message.c_str()), MessageIcon::Warning);
    if (result == kStlWritten) ShowSavedStl(*path, model->faces.size(), samples, atZero);
}

void CVelmorDlg::ShowSavedStl(const QString& path, std::size_t triangles,
                              const MeshSamples& samples, bool failedAtZero) {
    QString text = QStringLiteral("Saved %1 triangles to %2").arg(triangles).arg(path);
    const std::string failed = MeshSamplesText(samples, failedAtZero);
    if (!failed.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(failed));
    // In place of the position under the mouse for a while (a message that stayed would keep
    // the position hidden).
    statusBar()->showMessage(text, kSavedMessageMs);
}

}  // namespace velmor
