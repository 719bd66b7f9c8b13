#include "ui/common/library_wait.h"

#include <QCoreApplication>

#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"

namespace velmor {

void CLibraryWaitWindow::ShowWaiting(CProgressDialog* window) {
    window->ShowLibraryWaiting(true);
    m_window = window;
}

LibraryWaitAction CLibraryWaitWindow::OnLibraryWait(const LibraryWaitInfo& info) {
    CProgressDialog* window = CurrentProgressWindow();
    if (info.waiting && m_window == nullptr) {
        if (window == nullptr) {
            window = OpenProgressWindow(QString::fromLatin1(kMessageTitle));
            m_opened = window != nullptr;
        }
        if (window != nullptr) ShowWaiting(window);
    }
    // With a progress window open (its owner disabled) every event is handled, so its Cancel
    // works; otherwise the windows are only kept painted, and nothing the user does starts
    // another request meanwhile.
    if (window != nullptr) {
        window->PumpMessages();
    } else {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    window = CurrentProgressWindow();
    if (window == nullptr || !window->Cancelled()) return LibraryWaitAction::kContinue;
    if (window == m_window) {
        window->ClearCancelled();
        return LibraryWaitAction::kStop;
    }
    if (info.rows > 0) {
        window->ClearCancelled();
        ShowWaiting(window);
        return LibraryWaitAction::kCancelBatch;
    }
    // A single call under a loop's progress window: the loop sees its cancel at its next report.
    return LibraryWaitAction::kContinue;
}

void CLibraryWaitWindow::OnLibraryWaitEnded() {
    if (m_window != nullptr) {
        if (!m_opened) {
            m_window->ShowLibraryWaiting(false);
        } else if (CurrentProgressWindow() == m_window) {
            CloseProgressWindow();
        }
    }
    m_window = nullptr;
    m_opened = false;
}

}  // namespace velmor
