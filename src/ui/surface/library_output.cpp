#include "ui/surface/library_output.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include "core/host/host_protocol.h"
#include "ui/common/velmor_icon.h"

namespace velmor {

namespace {

constexpr int kDefaultWidth = 560, kDefaultHeight = 320;
constexpr int kMinimumWidth = 240, kMinimumHeight = 140;

// Cuts `text` to its last `cap` characters, from a line start where one lies in the cut;
// answers what was cut.
QString KeepLast(QString& text, int cap) {
    if (text.size() <= cap) return {};
    qsizetype cut = text.size() - cap;
    const qsizetype line = text.indexOf(QLatin1Char('\n'), cut);
    if (line >= 0) cut = line + 1;
    QString dropped = text.left(cut);
    text.remove(0, cut);
    return dropped;
}

}  // namespace

CLibraryOutputWindow::CLibraryOutputWindow() : QWidget(nullptr) {
    setWindowTitle(QString::fromLatin1(kLibraryOutputTitle));
    setWindowIcon(VelmorIcon());
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFont(QStringLiteral("monospace")));
    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    m_clear->setAutoDefault(false);
    connect(m_clear, &QPushButton::clicked, this, [this] { Clear(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_clear);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addLayout(buttons);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kDefaultWidth, kDefaultHeight);
    m_flush.setSingleShot(true);
    m_flush.setInterval(kFlushMs);
    connect(&m_flush, &QTimer::timeout, this, [this] { Flush(); });
}

QString CLibraryOutputWindow::Heading(const LibraryRequestTag& request) {
    if (request.type == kLoadRequestType) return QStringLiteral("--- library load ---");
    QString heading = QStringLiteral("--- %1 (type %2, numb %3)")
                          .arg(QString::fromLatin1(request.name))
                          .arg(request.type)
                          .arg(request.numb);
    if (request.points > 0) heading += QStringLiteral(", %1 points").arg(request.points);
    return heading + QStringLiteral(" ---");
}

void CLibraryOutputWindow::OnLibraryOutput(std::string_view bytes,
                                           const LibraryRequestTag& request) {
    if (bytes.empty()) return;
    if (request.serial != m_lastRequest) {
        m_lastRequest = request.serial;
        if (!m_atLineStart) m_pending += QLatin1Char('\n');
        m_pending += Heading(request) + QLatin1Char('\n');
    }
    const QString text = m_decoder.decode(QByteArrayView(bytes.data(), bytes.size()));
    if (!text.isEmpty()) m_atLineStart = text.endsWith(QLatin1Char('\n'));
    m_pending += text;
    Dropped(KeepLast(m_pending, kLibraryOutputCap));
    if (!m_flush.isActive()) m_flush.start();
}

void CLibraryOutputWindow::Dropped(const QString& text) {
    if (text.isEmpty()) return;
    // A piece of a line counts as a line.
    m_droppedLines += text.count(QLatin1Char('\n')) + (text.endsWith(QLatin1Char('\n')) ? 0 : 1);
    m_droppedBytes += text.toUtf8().size();
}

QString CLibraryOutputWindow::DroppedHeading() const {
    if (m_droppedLines == 0) return {};
    return QStringLiteral("... %1 earlier lines (%2 KiB) not kept\n")
        .arg(m_droppedLines)
        .arg((m_droppedBytes + 1023) / 1024);
}

void CLibraryOutputWindow::Flush() {
    m_flush.stop();
    if (m_pending.isEmpty()) return;
    QString shown = m_text->toPlainText();
    // The first line says what was dropped before: it is no output of the library.
    shown.remove(0, m_headingShown.size());
    if (shown.size() + m_pending.size() > kLibraryOutputCap || DroppedHeading() != m_headingShown) {
        // Drop what falls off the front in one step rather than edit the document bit by bit.
        shown += m_pending;
        Dropped(KeepLast(shown, kLibraryOutputCap));
        m_headingShown = DroppedHeading();
        m_text->setPlainText(m_headingShown + shown);
    } else {
        QTextCursor end(m_text->document());
        end.movePosition(QTextCursor::End);
        end.insertText(m_pending);
    }
    m_pending.clear();
    m_text->moveCursor(QTextCursor::End);
    m_text->ensureCursorVisible();
}

void CLibraryOutputWindow::SetHelperPid(int pid) {
    const QString title = QString::fromLatin1(kLibraryOutputTitle);
    setWindowTitle(pid > 0 ? QStringLiteral("%1 - process %2").arg(title).arg(pid) : title);
}

QString CLibraryOutputWindow::Text() {
    Flush();
    return m_text->toPlainText();
}

void CLibraryOutputWindow::Clear() {
    m_flush.stop();
    m_pending.clear();
    m_text->clear();
    m_headingShown.clear();
    m_droppedLines = m_droppedBytes = 0;
    m_atLineStart = true;
    m_lastRequest = 0;
}

}  // namespace velmor
