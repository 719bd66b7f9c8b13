#include "ui/app/shading3d_window.h"

#include <QStringList>

#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

void CMessageView3DHost::Message(QWidget* parent, const QString& text) {
    ShowMessage(parent, text);
}

std::optional<QString> CMessageView3DHost::OpenFileName(QWidget* parent, const QString& title,
                                                        const QString& filter,
                                                        const QString& defaultExtension,
                                                        const QString& initialDir) {
    FileDialogRequest request;
    request.title = title;
    request.filter = PipeFileFilter(filter);
    request.defaultExtension = defaultExtension;
    request.initialDir = m_initialDir.isEmpty() ? initialDir : m_initialDir;
    return Messages().OpenFileName(parent, request);
}

void CMessageView3DHost::OpenProgress(QWidget* parent, const QString& title) {
    m_previousParent = ProgressParent();
    OpenProgressWindow(parent, title);
}

void CMessageView3DHost::CloseProgress() {
    CloseProgressWindow();
    // The next long loop of the main window (a map build, say) must again disable the main
    // window, not the 3D window, while it pumps events.
    SetProgressParent(m_previousParent);
}

QString PipeFileFilter(const QString& qtFilter) {
    QString out;
    for (const QString& part : qtFilter.split(QStringLiteral(";;"), Qt::SkipEmptyParts)) {
        const QString entry = part.trimmed();
        QString patterns = QStringLiteral("*.*");
        const int open = entry.lastIndexOf('(');
        if (open >= 0 && entry.endsWith(')')) {
            const QString inside = entry.mid(open + 1, entry.size() - open - 2).trimmed();
            if (!inside.isEmpty()) patterns = inside.split(' ', Qt::SkipEmptyParts).join(';');
        }
        out += entry + '|' + patterns + '|';
    }
    return out + '|';
}

CShading3DWindow::CShading3DWindow(const QString& initialDir)
    : m_host(initialDir), m_dialog(std::make_unique<CDialog3D>()) {
    m_dialog->SetHost(&m_host);
}

CShading3DWindow::~CShading3DWindow() {
    m_dialog.reset();  // before the host it points to
}

QWidget* CShading3DWindow::Widget() {
    return m_dialog.get();
}

void CShading3DWindow::SetRay(const float ray[9], int rayState) {
    m_dialog->SetRay(ray, rayState);
}

void CShading3DWindow::SetNoRay() {
    // Every repaint of a gradient-index surface asks for this; only a change needs drawing.
    if (m_dialog->RayState() != 0) m_dialog->ClearRay();
}

void CShading3DWindow::ReplaceModel(const CModel& model) {
    m_dialog->SetModel(model, true);
}

void CShading3DWindow::ResetForNewSurface() {
    m_dialog->ClearModelAndResetView();
}

void CShading3DWindow::Repaint() {
    m_dialog->Repaint();
}

}  // namespace velmor
