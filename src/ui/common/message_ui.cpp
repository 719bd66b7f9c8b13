#include "ui/common/message_ui.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "core/app/app_paths.h"

namespace velmor {

namespace {

CQtMessageUi& QtMessages() {
    static CQtMessageUi ui;
    return ui;
}

MessageUi*& CurrentMessages() {
    static MessageUi* current = nullptr;
    return current;
}

QMessageBox::Icon QtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Stop:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons QtButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return QMessageBox::Ok;
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

void PrepareDialog(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(request.title);
    dialog.setNameFilter(QtFileFilter(request.filter));
    if (!request.defaultExtension.isEmpty()) dialog.setDefaultSuffix(request.defaultExtension);
    const QString directory = DialogStartDirectory();
    dialog.setDirectory(directory);
    if (!request.defaultName.isEmpty())
        dialog.selectFile(QDir(directory).filePath(request.defaultName));
}

}  // namespace

MessageUi& Messages() {
    MessageUi* current = CurrentMessages();
    return current ? *current : QtMessages();
}

MessageUi* SetMessageUi(MessageUi* ui) {
    MessageUi* previous = CurrentMessages();
    CurrentMessages() = ui;
    return previous;
}

std::optional<QString> SaveFileNameAskingToCreate(QWidget* parent, FileDialogRequest request) {
    for (;;) {
        const std::optional<QString> path = Messages().SaveFileName(parent, request);
        if (!path || path->isEmpty() || QFileInfo::exists(*path)) return path;
        const QString question =
            *path + QStringLiteral("\nThis file does not exist.\nCreate the file?");
        if (ShowMessage(parent, question, MessageIcon::Question, MessageButtons::YesNo) ==
            MessageAnswer::Yes)
            return path;
        request.defaultName = *path;  // back to the dialog, the name kept
    }
}

QString DialogStartDirectory() {
    return QFile::decodeName(QByteArray::fromStdString(ApplicationPaths().executableDirectory));
}

QString QtFileFilter(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed();
        if (name.isEmpty() && patterns.isEmpty()) break;  // the closing "||"
        // Qt reads the patterns from the parentheses, so put the real ones there.
        const int open = name.lastIndexOf('(');
        if (open > 0 && name.endsWith(')')) name = name.left(open).trimmed();
        QStringList list;
        for (const QString& pattern : patterns.split(';', Qt::SkipEmptyParts)) {
            const QString p = pattern.trimmed();
            list << (p == "*.*" ? QStringLiteral("*") : p);
        }
        if (list.isEmpty()) list << QStringLiteral("*");
        entries << QStringLiteral("%1 (%2)").arg(name, list.join(' '));
    }
    return entries.join(QStringLiteral(";;"));
}

MessageAnswer CQtMessageUi::Message(QWidget* parent, const QString& text, MessageIcon icon,
                                    MessageButtons buttons) {
    QMessageBox box(QtIcon(icon), QString::fromLatin1(kMessageTitle), text, QtButtons(buttons),
                    parent);
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        default:
            break;
    }
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
}

std::optional<QString> CQtMessageUi::OpenFileName(QWidget* parent,
                                                  const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, true);
    PrepareDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

std::optional<QString> CQtMessageUi::SaveFileName(QWidget* parent,
                                                  const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    PrepareDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

}  // namespace velmor
