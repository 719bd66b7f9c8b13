#include "ui/common/progress_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include "core/app/progress.h"
#include "ui/common/dialog_units.h"

namespace velmor {

namespace {

QPointer<CProgressDialog>& Current() {
    static QPointer<CProgressDialog> current;
    return current;
}

std::function<void(bool)>& LongLoopListener() {
    static std::function<void(bool)> listener;
    return listener;
}

void TellLongLoop(bool running) {
    if (LongLoopListener()) LongLoopListener()(running);
}

// Closes the current window without telling the listener (it is about to be replaced).
void DeleteCurrent() {
    CProgressDialog* window = Current();
    Current() = nullptr;
    delete window;
}

QPointer<QWidget>& StoredParent() {
    static QPointer<QWidget> parent;
    return parent;
}

// Without a stored parent the owner is the application's main window.
QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(widget) && widget->isVisible()) return widget;
    return nullptr;
}

// Long loops report very often (a large ASCII STL file: once per line, millions of times), so
// a report costs a few comparisons. The bar and the percentage are set only when the
// percentage changes. Events are processed on a time slice: when about 50 ms have passed since
// they last were, and at the first report to a new window so that it shows at once. The clock
// is read every `stride` reports; the stride grows while reports come fast and shrinks when
// they come slowly, so that a loop of quick steps reads the clock every few thousand of them
// and a loop of slow steps at every one, and Cancel is answered within about 50 ms either way.
class CProgressWindowReporter : public ProgressReporter {
public:
    bool Report(long long i, long long n) override {
        CProgressDialog* window = Current();
        if (!window) return false;
        if (window != m_window || n != m_total) Restart(window, n);
        if (--m_untilClock <= 0 && TimeToPump()) {
            window->PumpMessages();
            // Pumping may have run code that closed or replaced the window.
            window = Current();
            if (!window) return false;
            if (window != m_window) Restart(window, n);
        }
        if (window->Cancelled()) {
            window->ClearCancelled();
            CloseProgressWindow();
            m_window = nullptr;
            return true;
        }
        if (i >= m_nextChange || i < m_lastReport) ShowPosition(*window, i);
        m_lastReport = i;
        return false;
    }

private:
    static constexpr auto kSlice = std::chrono::milliseconds(50);
    static constexpr int kMaxStride = 4096;

    void Restart(CProgressDialog* window, long long n) {
        m_window = window;
        m_total = n;
        m_position = -1;
        m_nextChange = LLONG_MIN;
        m_lastReport = LLONG_MIN;
        m_untilClock = 0;
        m_stride = 1;
        m_lastPump = {};  // a new window is shown at the first report
        m_lastClock = {};
    }

    // Reads the clock, adapts the stride, and answers whether a time slice has passed.
    bool TimeToPump() {
        const auto now = std::chrono::steady_clock::now();
        const auto sinceClock = now - m_lastClock;
        if (sinceClock < std::chrono::milliseconds(1))
            m_stride = std::min(2 * m_stride, kMaxStride);
        else if (sinceClock > std::chrono::milliseconds(5))
            m_stride = std::max(1, m_stride / 4);
        m_lastClock = now;
        m_untilClock = m_stride;
        if (now - m_lastPump < kSlice) return false;
        m_lastPump = now;
        return true;
    }

    // Sets bar and percentage for i and finds the first report at which they change again
    // (positions never fall while i grows).
    void ShowPosition(CProgressDialog& window, long long i) {
        const int position = ProgressPosition(i, m_total);
        if (position != m_position) {
            m_position = position;
            window.SetBarPosition(position);
            window.SetPercentage(position);
        }
        if (position >= 100 || m_total <= 0) {
            m_nextChange = LLONG_MAX;
            return;
        }
        long long next = std::max(i + 1, (long long)((position + 0.5) / 100.0 * double(m_total)));
        while (next > i + 1 && ProgressPosition(next - 1, m_total) > position) --next;
        while (ProgressPosition(next, m_total) <= position) ++next;
        m_nextChange = next;
    }

    CProgressDialog* m_window = nullptr;
    long long m_total = 0;
    int m_position = -1;
    long long m_nextChange = LLONG_MIN;  // the first i with another position
    long long m_lastReport = LLONG_MIN;
    int m_untilClock = 0;  // reports until the clock is read again
    int m_stride = 1;
    std::chrono::steady_clock::time_point m_lastPump{};
    std::chrono::steady_clock::time_point m_lastClock{};
};

}  // namespace

CProgressDialog::CProgressDialog(QWidget* parent) : QDialog(nullptr) {
    // A window of its own (not a child of the owner, which is disabled while it is open),
    // kept above the owner.
    m_owner = parent ? parent->window() : nullptr;
    setWindowTitle(QStringLiteral("Progress"));
    setFixedSize(DluX(200), DluY(62));
    m_percent = new QLabel(QStringLiteral("0%"), this);
    m_percentGeometry = QRect(DluX(94) - 8, DluY(10), DluX(26) + 16, DluY(8) + 4);
    m_percent->setGeometry(m_percentGeometry);
    m_percent->setAlignment(Qt::AlignCenter);
    m_bar = new QProgressBar(this);
    m_bar->setGeometry(DluX(7), DluY(22), DluX(186), DluY(14));
    m_bar->setRange(kLower, kUpper);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setGeometry(DluX(76), DluY(43), DluX(50), DluY(14));
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });

    if (m_owner && m_owner->isEnabled()) {
        m_owner->setEnabled(false);
        m_ownerDisabled = true;
    }
    if (m_owner) {
        winId();
        if (windowHandle() && m_owner->windowHandle())
            windowHandle()->setTransientParent(m_owner->windowHandle());
        const QRect ownerRect = m_owner->geometry();
        move(ownerRect.center() - rect().center());
    }
    show();
}

CProgressDialog::~CProgressDialog() {
    Destroy();
}

void CProgressDialog::Destroy() {
    if (m_ownerDisabled && m_owner) m_owner->setEnabled(true);
    m_ownerDisabled = false;
    hide();
}

void CProgressDialog::SetPercentage(int position) {
    int q = int((long long)(position - kLower) * 100 / (kUpper - kLower));
    if (q != 100) q %= 100;
    m_percentText = QStringLiteral("%1%").arg(q);
    if (!m_waiting && m_percent->text() != m_percentText) m_percent->setText(m_percentText);
}

void CProgressDialog::ShowLibraryWaiting(bool waiting) {
    if (waiting == m_waiting) return;
    m_waiting = waiting;
    // The waiting text takes the whole width above the bar.
    m_percent->setGeometry(waiting ? QRect(DluX(7), DluY(10), DluX(186), DluY(8) + 4)
                                   : m_percentGeometry);
    m_percent->setText(waiting ? QString::fromLatin1(kLibraryWaitingText) : m_percentText);
}

void CProgressDialog::SetBarPosition(int position) {
    m_bar->setValue(position);
}

void CProgressDialog::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString CProgressDialog::PercentText() const {
    return m_percent->text();
}

void CProgressDialog::reject() {
    m_cancelled = true;
}

void CProgressDialog::closeEvent(QCloseEvent* event) {
    m_cancelled = true;
    event->ignore();
}

int ProgressPosition(long long i, long long n) {
    if (n <= 0) return 0;
    const double p = std::trunc(double(i) / double(n) * 100.0 + 0.5);
    if (!(p > 0)) return 0;
    return p >= 100 ? 100 : int(p);
}

void InstallProgressWindowReporter() {
    static CProgressWindowReporter reporter;
    static bool installed = false;
    if (installed) return;
    installed = true;
    SetProgressReporter(&reporter);
}

void SetProgressParent(QWidget* parent) {
    StoredParent() = parent;
}

QWidget* ProgressParent() {
    return StoredParent();
}

CProgressDialog* OpenProgressWindow(const QString& title) {
    const bool running = Current() != nullptr;
    DeleteCurrent();
    QWidget* parent = StoredParent() ? StoredParent().data() : MainWindow();
    auto* window = new CProgressDialog(parent);
    window->SetTitle(title);
    Current() = window;
    if (!running) TellLongLoop(true);
    return window;
}

CProgressDialog* OpenProgressWindow(QWidget* parent, const QString& title) {
    SetProgressParent(parent);
    return OpenProgressWindow(title);
}

void CloseProgressWindow() {
    if (Current() == nullptr) return;
    DeleteCurrent();
    TellLongLoop(false);
}

void SetLongLoopListener(std::function<void(bool running)> listener) {
    LongLoopListener() = std::move(listener);
}

CProgressDialog* CurrentProgressWindow() {
    return Current();
}

}  // namespace velmor
