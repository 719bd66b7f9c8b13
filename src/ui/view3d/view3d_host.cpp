#include "ui/view3d/view3d_host.h"

#include <QFileDialog>
#include <QMessageBox>

namespace velmor {

void CQtView3DHost::Message(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Velmor"), text, QMessageBox::Ok);
}

std::optional<QString> CQtView3DHost::OpenFileName(QWidget* parent, const QString& title,
                                                   const QString& filter,
                                                   const QString& defaultExtension,
                                                   const QString& initialDir) {
    QFileDialog dialog(parent, title, initialDir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace velmor
