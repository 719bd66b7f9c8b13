#include "view3d/user_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace velmor {

void CQtUserDialogs::Message(QWidget* owner, const QString& text) {
    QMessageBox::information(owner, QStringLiteral("Velmor"), text, QMessageBox::Ok);
}

QString CQtUserDialogs::OpenFileName(QWidget* owner, const QString& title, const QString& filter,
                                     const QString& defaultSuffix, const QString& directory) {
    QFileDialog dialog(owner, title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace velmor
