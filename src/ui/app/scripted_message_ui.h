// A message interface whose answers are given in advance and which keeps every text it was
// shown. Constructing one installs it; destroying it puts back the one installed before.
// Window tests use it so that no real dialog ever blocks.
#pragma once

#include <deque>
#include <optional>
#include <vector>

#include "ui/app/message_ui.h"

namespace velmor {

struct ShownMessage {
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

struct ShownFileDialog {
    bool save = false;
    FileDialogRequest request;
};

class CScriptedMessageUi : public MessageUi {
public:
    CScriptedMessageUi();
    ~CScriptedMessageUi() override;
    CScriptedMessageUi(const CScriptedMessageUi&) = delete;
    CScriptedMessageUi& operator=(const CScriptedMessageUi&) = delete;

    // Answers for the next message boxes, in order. Without one queued a box answers its
    // first button (Ok or Yes).
    void QueueAnswer(MessageAnswer answer) { m_answers.push_back(answer); }
    // Paths for the next file dialogs, in order; nothing cancels. Without one queued a
    // dialog is cancelled.
    void QueuePath(const std::optional<QString>& path) {
        m_paths.push_back({!path.has_value(), path.value_or(QString())});
    }

    const std::vector<ShownMessage>& Shown() const { return m_shown; }
    const std::vector<ShownFileDialog>& FileDialogs() const { return m_dialogs; }
    // Text of the last message box, empty when none was shown.
    QString LastText() const { return m_shown.empty() ? QString() : m_shown.back().text; }
    void Clear();

    MessageAnswer Message(QWidget* parent, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override;
    std::optional<QString> OpenFileName(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QString> SaveFileName(QWidget* parent, const FileDialogRequest& request) override;

private:
    std::optional<QString> NextPath();

    MessageUi* m_previous = nullptr;
    std::deque<MessageAnswer> m_answers;
    struct QueuedPath {
        bool cancel;
        QString path;
    };
    std::deque<QueuedPath> m_paths;
    std::vector<ShownMessage> m_shown;
    std::vector<ShownFileDialog> m_dialogs;
};

}  // namespace velmor
