#include "ui/common/library_wait.h"

#include <QCoreApplication>

#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"

namespace velmor {

void CLibraryWaitWindow::ShowWaiting(CProgressDialog* window) {
    window->ShowLibraryWaiting(true);
    m_window = window;
}

bool CLibraryWaitWindow::PassIsLong() const {
    return m_passDepth > 0 &&
           std::chrono::steady_clock::now() - m_passStart >= std::chrono::milliseconds(m_waitMs);
}

void CLibraryWaitWindow::BeginPass() {
    if (m_passDepth++ > 0) return;
    m_passStart = std::chrono::steady_clock::now();
    m_passCancelled = false;
}

void CLibraryWaitWindow::EndPass() {
    if (m_passDepth <= 0 || --m_passDepth > 0) return;
    m_passCancelled = false;
    if (m_passWindow && m_window != nullptr && CurrentProgressWindow() == m_window)
        CloseProgressWindow();
    m_passWindow = false;
    m_window = nullptr;
    m_opened = false;
}

LibraryWaitAction CLibraryWaitWindow::OnLibraryWait(const LibraryWaitInfo& info) {
    CProgressDialog* window = CurrentProgressWindow();
    // A pass of quick calls that has run long: a window of its own, unless a loop has one open
    // (its bar and Cancel serve already).
    const bool longPass = !info.waiting && window == nullptr && PassIsLong();
    if ((info.waiting || longPass) && m_window == nullptr) {
        if (window == nullptr) {
            window = OpenProgressWindow(QString::fromLatin1(kMessageTitle));
            m_opened = window != nullptr;
            m_passWindow = m_opened && longPass;
        }
        if (window != nullptr) ShowWaiting(window);
    }
    if (m_passWindow && window != nullptr && window == m_window && info.rows > 0)
        window->SetBarPosition(ProgressPosition(info.rowsDone, info.rows));
    // With a progress window open (its owner disabled) every event is handled, so its Cancel
    // works; otherwise the windows are only kept painted, and nothing the user does starts
    // another request meanwhile.
    if (window != nullptr) {
        window->PumpMessages();
    } else {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    // A cancelled pass: every batch of it stops after its row.
    if (PassCancelled() && info.rows > 0) return LibraryWaitAction::kCancelBatch;
    window = CurrentProgressWindow();
    if (window == nullptr || !window->Cancelled()) return LibraryWaitAction::kContinue;
    if (window == m_window) {
        window->ClearCancelled();
        // Calls still finish: the pass is only long. It ends, and the library stays loaded.
        if (!info.waiting && m_passDepth > 0) {
            m_passCancelled = true;
            return info.rows > 0 ? LibraryWaitAction::kCancelBatch : LibraryWaitAction::kContinue;
        }
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
    // The long pass's window stays up between the pass's requests, until the pass ends.
    if (m_passWindow && m_passDepth > 0) {
        if (m_window != nullptr && !m_window->Cancelled()) m_window->ShowLibraryWaiting(true);
        if (m_window != nullptr) return;
        m_passWindow = false;
    }
    if (m_window != nullptr) {
        if (!m_opened) {
            m_window->ShowLibraryWaiting(false);
        } else if (CurrentProgressWindow() == m_window) {
            CloseProgressWindow();
        }
    }
    m_window = nullptr;
    m_opened = false;
    m_passWindow = false;
}

}  // namespace velmor
