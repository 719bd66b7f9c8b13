// The "Library Output" window: what the surface library writes to its standard output and
// error while it runs in the helper process, as plain text with the newest at the end. The
// consecutive output of one request stands under one heading naming the request; the window
// keeps the last kLibraryOutputCap characters, its first line then saying how many earlier
// lines were not kept, and "Clear" empties it. Its title shows the
// helper's process id (for attaching a debugger).
#pragma once

#include <QStringDecoder>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <string>

#include "core/host/guarded_library.h"

class QPlainTextEdit;
class QPushButton;

namespace velmor {

inline constexpr const char* kLibraryOutputTitle = "Library Output";
// The window holds at most this many characters (1 MiB of plain text).
inline constexpr int kLibraryOutputCap = 1 << 20;

class CLibraryOutputWindow final : public QWidget, public LibraryOutputSink {
public:
    CLibraryOutputWindow();

    // Output arrives as it is read (also while a request waits); it is shown at the next pass
    // of the event loop, at most every kFlushMs, so a library that writes a line per sample
    // does not slow its pass down.
    void OnLibraryOutput(std::string_view bytes, const LibraryRequestTag& request) override;
    // "Library Output - process 1234", or the bare title when no helper runs (0).
    void SetHelperPid(int pid);
    // The text shown (output not yet shown is taken in first).
    QString Text();
    void Clear();

    QPushButton* ClearButton() const { return m_clear; }

    // The heading over a run of output of `request`: "--- sag (type 3, numb 0), 1600 points ---".
    static QString Heading(const LibraryRequestTag& request);

private:
    static constexpr int kFlushMs = 100;
    void Flush();
    // Counts output cut off the front; the window's first line then says how much:
    // "... N earlier lines (M KiB) not kept".
    void Dropped(const QString& text);
    QString DroppedHeading() const;

    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_clear = nullptr;
    QTimer m_flush;
    QString m_pending;  // output not shown yet, at most kLibraryOutputCap characters
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    std::uint64_t m_lastRequest = 0;  // serial of the request the last output came from
    bool m_atLineStart = true;
    long long m_droppedLines = 0, m_droppedBytes = 0;
    QString m_headingShown;  // the first line shown, when output was dropped
};

}  // namespace velmor
