// The progress window of long loops (surface map, mesh build, STL export, model loading):
// a bar, a percentage and "Cancel". While it is open its owner window is disabled; the
// progress reports process pending window events (at the first report, then about every
// 50 ms) so the windows stay painted and Cancel works. At most one exists at a time.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QString>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmor {

// What the progress window says while a surface library request has gone unanswered for a
// while: its Cancel then stops the library.
inline constexpr const char* kLibraryWaitingText = "Waiting for the surface library ...";

class CProgressDialog : public QDialog {
    Q_OBJECT
public:
    // The owner is `parent`'s top-level window; it is disabled while this window is open
    // (and enabled again by Destroy or the destructor) if it was enabled.
    explicit CProgressDialog(QWidget* parent);
    ~CProgressDialog() override;

    void SetTitle(const QString& title) { setWindowTitle(title); }
    // Percentage text for position p: (p - lower) * 100 / (upper - lower), taken modulo 100
    // unless it is exactly 100, written as "%d%" when it changed.
    void SetPercentage(int position);
    // Shows kLibraryWaitingText in place of the percentage, or the percentage again.
    void ShowLibraryWaiting(bool waiting);
    bool LibraryWaiting() const { return m_waiting; }
    void SetBarPosition(int position);
    void PumpMessages();
    bool Cancelled() const { return m_cancelled; }
    void ClearCancelled() { m_cancelled = false; }
    // Enables the owner again (if this window disabled it) and hides the window.
    void Destroy();

    QWidget* Owner() const { return m_owner; }
    // The label's text: the percentage, or kLibraryWaitingText while waiting.
    QString PercentText() const;
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    // "Cancel", Escape and the close box only ask to cancel; the window stays open until the
    // loop answers.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* m_owner = nullptr;
    static constexpr int kLower = 0;  // the bar's range
    static constexpr int kUpper = 100;
    bool m_cancelled = false;
    bool m_ownerDisabled = false;
    bool m_waiting = false;
    QString m_percentText = QStringLiteral("0%");
    QRect m_percentGeometry;
    QLabel* m_percent = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Bar position for i of n done: trunc(i / n * 100 + 0.5), kept within 0..100; 0 when n is 0
// or less.
int ProgressPosition(long long i, long long n);

// Installs the progress window behind ReportProgress (once; later calls do nothing).
void InstallProgressWindowReporter();

// The parent of the next progress window; until one is set, the application's main window.
void SetProgressParent(QWidget* parent);
QWidget* ProgressParent();
// Closes any current progress window and opens a new one titled `title` for the stored
// parent. Answers the new window (nullptr when it could not be created).
CProgressDialog* OpenProgressWindow(const QString& title);
// Sets the parent, then opens as above.
CProgressDialog* OpenProgressWindow(QWidget* parent, const QString& title);
// Closes and forgets the current progress window, if any.
void CloseProgressWindow();
CProgressDialog* CurrentProgressWindow();

// While a progress window is open a long loop runs. The listener (one for the program, the main
// window) is told true when a progress window opens while none is open and false when the last
// one closes; a window that replaces another changes nothing. nullptr removes it.
void SetLongLoopListener(std::function<void(bool running)> listener);

// Opens a progress window over `parent` for the length of a loop. Closing it puts back the
// parent stored before, so that the next long loop of the main window (a map build, say)
// again disables the main window, not the 3D window that loaded a model.
class ProgressWindowScope {
public:
    ProgressWindowScope(QWidget* parent, const QString& title)
        : m_previousParent(ProgressParent()) {
        OpenProgressWindow(parent, title);
    }
    ~ProgressWindowScope() {
        CloseProgressWindow();
        SetProgressParent(m_previousParent);
    }
    ProgressWindowScope(const ProgressWindowScope&) = delete;
    ProgressWindowScope& operator=(const ProgressWindowScope&) = delete;

private:
    QPointer<QWidget> m_previousParent;
};

}  // namespace velmor
