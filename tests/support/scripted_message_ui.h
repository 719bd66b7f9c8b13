// A message interface whose answers are given in advance and which keeps every text it was
// shown. Constructing one installs it; destroying it puts back the one installed before.
// Window tests use it so that no real dialog ever blocks.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "ui/common/message_ui.h"

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
    CScriptedMessageUi() : m_previous(SetMessageUi(this)) {}
    ~CScriptedMessageUi() override { SetMessageUi(m_previous); }

    // Answers for the next message boxes, in order. Without one queued a box answers its
    // first button (Ok or Yes).
    void QueueAnswer(MessageAnswer answer) { m_answers.push_back(answer); }
    // Paths for the next file dialogs, in order; nothing cancels. Without one queued a
    // dialog is cancelled.
    void QueuePath(const std::optional<QString>& path) { m_paths.push_back(path); }

    // Runs `step` while the next message box is open (before it is answered), as what happens
    // meanwhile would.
    void WhileNextShown(std::function<void()> step) { m_whileShown = std::move(step); }

    const std::vector<ShownMessage>& Shown() const { return m_shown; }
    const std::vector<ShownFileDialog>& FileDialogs() const { return m_dialogs; }
    // Text of the last message box, empty when none was shown.
    QString LastText() const { return m_shown.empty() ? QString() : m_shown.back().text; }
    void Clear() {
        m_answers.clear();
        m_paths.clear();
        m_shown.clear();
        m_dialogs.clear();
    }

    MessageAnswer Message(QWidget*, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override {
        m_shown.push_back({text, icon, buttons});
        if (m_whileShown) std::exchange(m_whileShown, nullptr)();
        if (!m_answers.empty()) {
            const MessageAnswer answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        }
        return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
                   ? MessageAnswer::Yes
                   : MessageAnswer::Ok;
    }
    std::optional<QString> OpenFileName(QWidget*, const FileDialogRequest& request) override {
        m_dialogs.push_back({false, request});
        return NextPath();
    }
    std::optional<QString> SaveFileName(QWidget*, const FileDialogRequest& request) override {
        m_dialogs.push_back({true, request});
        return NextPath();
    }

private:
    std::optional<QString> NextPath() {
        if (m_paths.empty()) return std::nullopt;
        const std::optional<QString> next = m_paths.front();
        m_paths.pop_front();
        return next;
    }

    MessageUi* m_previous = nullptr;
    std::deque<MessageAnswer> m_answers;
    std::deque<std::optional<QString>> m_paths;
    std::vector<ShownMessage> m_shown;
    std::vector<ShownFileDialog> m_dialogs;
    std::function<void()> m_whileShown;
};

}  // namespace velmor
