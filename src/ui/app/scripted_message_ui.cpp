#include "ui/app/scripted_message_ui.h"

namespace velmor {

CScriptedMessageUi::CScriptedMessageUi() : m_previous(SetMessageUi(this)) {}

CScriptedMessageUi::~CScriptedMessageUi() {
    SetMessageUi(m_previous);
}

void CScriptedMessageUi::Clear() {
    m_answers.clear();
    m_paths.clear();
    m_shown.clear();
    m_dialogs.clear();
}

MessageAnswer CScriptedMessageUi::Message(QWidget*, const QString& text, MessageIcon icon,
                                          MessageButtons buttons) {
    m_shown.push_back({text, icon, buttons});
    if (!m_answers.empty()) {
        const MessageAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
               ? MessageAnswer::Yes
               : MessageAnswer::Ok;
}

std::optional<QString> CScriptedMessageUi::NextPath() {
    if (m_paths.empty()) return std::nullopt;
    const QueuedPath next = m_paths.front();
    m_paths.pop_front();
    if (next.cancel) return std::nullopt;
    return next.path;
}

std::optional<QString> CScriptedMessageUi::OpenFileName(QWidget*,
                                                        const FileDialogRequest& request) {
    m_dialogs.push_back({false, request});
    return NextPath();
}

std::optional<QString> CScriptedMessageUi::SaveFileName(QWidget*,
                                                        const FileDialogRequest& request) {
    m_dialogs.push_back({true, request});
    return NextPath();
}

}  // namespace velmor
