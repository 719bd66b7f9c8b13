// Every message box and file dialog of the program goes through one small interface, so that
// tests can script the answers and read the texts. The program uses the Qt implementation;
// a test installs a CScriptedMessageUi for as long as it lives.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace velmor {

enum class MessageIcon { None, Information, Question, Warning, Stop };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    QString title;
    // Filter in the "Name (*.a)|*.a|Other (*.*)|*.*||" form the windows are written with.
    QString filter;
    QString defaultExtension;  // without the dot, added when the user types none
    QString defaultName;       // proposed file name (save dialogs)
};

class MessageUi {
public:
    virtual ~MessageUi() = default;
    // A modal message box; answers the button pressed (Cancel or No when closed otherwise).
    virtual MessageAnswer Message(QWidget* parent, const QString& text, MessageIcon icon,
                                  MessageButtons buttons) = 0;
    // Path of an existing file, or nothing when the user cancelled.
    virtual std::optional<QString> OpenFileName(QWidget* parent,
                                                const FileDialogRequest& request) = 0;
    // Path to write (overwriting confirmed by the user), or nothing when cancelled.
    virtual std::optional<QString> SaveFileName(QWidget* parent,
                                                const FileDialogRequest& request) = 0;
};

// The interface in use: the Qt one unless another was installed.
MessageUi& Messages();
// Installs `ui` (nullptr: the Qt one again) and returns the one installed before.
MessageUi* SetMessageUi(MessageUi* ui);

// The common case in one call.
inline MessageAnswer ShowMessage(QWidget* parent, const QString& text,
                                 MessageIcon icon = MessageIcon::None,
                                 MessageButtons buttons = MessageButtons::Ok) {
    return Messages().Message(parent, text, icon, buttons);
}

// The save dialog of a command that asks before creating a file: after the dialog, a path
// that does not exist gets the question "<path>\nThis file does not exist.\nCreate the file?"
// (question icon, Yes and No); No opens the dialog again with that path as its name. Answers
// the path to write, or nothing when a dialog was cancelled.
std::optional<QString> SaveFileNameAskingToCreate(QWidget* parent, FileDialogRequest request);

// The directory every file dialog starts in: the executable's.
QString DialogStartDirectory();

// "DLL Files (*.dll)|*.dll|All Files (*.*)|*.*||" -> "DLL Files (*.dll);;All Files (*)".
// The pattern after each '|' decides what is shown; ';'-separated patterns become a list.
QString QtFileFilter(const QString& filter);

// Title of every message box of the program.
inline constexpr const char* kMessageTitle = "Velmor";

// The real dialogs: QMessageBox and QFileDialog.
class CQtMessageUi : public MessageUi {
public:
    MessageAnswer Message(QWidget* parent, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override;
    std::optional<QString> OpenFileName(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QString> SaveFileName(QWidget* parent, const FileDialogRequest& request) override;
};

}  // namespace velmor
