#include "ui/app/library_session.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStringList>

#include "ui/app/velmor_dlg.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/surface/library_output.h"
#include "ui/surface/record_tables_dialog.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

namespace {

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

}  // namespace

LibraryFileStamp StampOfLibraryFile(const std::string& path) {
    LibraryFileStamp stamp;
    std::error_code error;
    stamp.time = std::filesystem::last_write_time(path, error);
    if (error) return {};
    stamp.size = std::filesystem::file_size(path, error);
    if (error) return {};
    stamp.exists = true;
    return stamp;
}

QString LibraryLoadFailedText(const QString& reason) {
    return QStringLiteral("Library failed to load: %1; the built-in surface answers").arg(reason);
}

QString LibraryFaultMessage(const LibraryFault& fault, bool whileLoading) {
    QString text =
        QStringLiteral("The surface library faulted: ") + QString::fromStdString(fault.Describe());
    if (!whileLoading)
        text += QStringLiteral("\nEvery call of it answers -1 until \"Reload DLL\".");
    return text;
}

CLibraryFileWatch::CLibraryFileWatch(std::function<bool()> busy, std::function<void()> reload,
                                     int retryMs)
    : m_busy(std::move(busy)), m_reload(std::move(reload)), m_retryMs(retryMs) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kReloadQuietMs);
    QObject::connect(&m_quiet, &QTimer::timeout, &m_quiet, [this] { OnQuiet(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_watcher,
                     [this] { OnFileEvent(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher,
                     [this] { OnFileEvent(); });
}

void CLibraryFileWatch::Watch(const std::string& path) {
    Watch(path, StampOfLibraryFile(path));
}

void CLibraryFileWatch::Watch(const std::string& path, const LibraryFileStamp& loaded) {
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty()) m_watcher.removePaths(watched);
    m_quiet.stop();
    m_path = path;
    if (path.empty()) return;
    m_loaded = loaded;
    // A rebuild replaces the file (a new one under the old name), which ends a watch on the
    // file itself: the directory is watched too.
    const QString file = QFile::decodeName(path.c_str());
    const QString directory = QFileInfo(file).absolutePath();
    m_watcher.addPath(directory);
    if (QFileInfo::exists(file)) m_watcher.addPath(file);
    // Changed since it was loaded (while a message about the load was open, say): no event
    // tells of that any more, so the quiet time starts now.
    OnFileEvent();
}

void CLibraryFileWatch::OnFileEvent() {
    if (m_path.empty()) return;
    const LibraryFileStamp now = StampOfLibraryFile(m_path);
    if (!now.exists) return;  // gone for now
    const QString file = QFile::decodeName(m_path.c_str());
    if (!m_watcher.files().contains(file)) m_watcher.addPath(file);
    // Every change starts the quiet time again: a file still being written waits.
    if (!(now == m_loaded) || m_quiet.isActive()) m_quiet.start(kReloadQuietMs);
}

void CLibraryFileWatch::OnQuiet() {
    if (m_busy()) {
        m_quiet.start(m_retryMs);  // after the pass, loop or dialog under way
        return;
    }
    if (m_path.empty()) return;
    const LibraryFileStamp now = StampOfLibraryFile(m_path);
    if (!now.exists || now == m_loaded) return;
    m_reload();
}

// ---------------------------------------------------------------------------------------
// The main window's part

void CVelmorDlg::OpenDll() {
    FileDialogRequest request;
    request.title = QStringLiteral("Open User Defined Surface DLL");
    request.filter = QStringLiteral(
        "Shared Libraries (*.so)|*.so|DLL Files (*.dll)|*.dll|All Files (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("so");
    const std::optional<QString> path = Messages().OpenFileName(this, request);
    if (!path) return;
    OpenLibraryFile(*path);
}

void CVelmorDlg::OpenLibraryFile(const QString& path) {
    const std::string file = QFile::encodeName(path).toStdString();
    m_loadedStamp = StampOfLibraryFile(file);  // a change from now on is one to reload
    LoadOutcome outcome;
    {
        SamplingScope sampling(*this);
        m_faultShown = false;
        outcome = m_provider->OpenSurfaceDll(file);
    }
    ShowLoad(outcome);
}

void CVelmorDlg::ReloadDll() {
    if (m_provider->LibraryPath().empty()) return;  // nothing was opened yet
    // The tables as the user edited them are the records a reload keeps.
    m_udFdInitial->ReadTablesBack(*m_provider);
    const LibraryFileStamp stamp = StampOfLibraryFile(m_provider->LibraryPath());
    LoadOutcome outcome;
    {
        SamplingScope sampling(*this);
        m_faultShown = false;
        outcome = m_provider->ReloadSurfaceDll();
    }
    // A reload refused while a request waits loaded nothing: the stamp of the load stands.
    if (outcome.recordsChanged || outcome.recordsKept || !outcome.loaded) m_loadedStamp = stamp;
    ShowLoad(outcome);
}

void CVelmorDlg::ShowLoad(const LoadOutcome& outcome) {
    // A load that failed leaves the built-in surface answering: the status says so (the
    // reason in short), until a library loads.
    if (!outcome.loaded) {
        m_loadFailure = outcome.fault ? QString::fromStdString(outcome.fault->Short())
                                      : QString::fromStdString(FirstLine(outcome.reason));
        if (m_loadFailure.isEmpty()) m_loadFailure = QString::fromLatin1(kSurfaceDllErrorText);
    } else if (outcome.recordsChanged || outcome.recordsKept) {
        m_loadFailure.clear();
    }
    // Shown first, so that the status is right behind the message.
    ShowLibraryState();
    if (!outcome.loaded) {
        // A fault while loading says what happened instead of the file question.
        if (outcome.fault) {
            m_faultShown = true;
            ShowMessage(this, LibraryFaultMessage(*outcome.fault, true), MessageIcon::Warning);
        } else if (!outcome.message.empty()) {
            ShowMessage(this, QString::fromStdString(outcome.message), MessageIcon::Stop);
        } else {
            ShowMessage(this, QString::fromLatin1(kSurfaceDllErrorText), MessageIcon::Question);
        }
    }
    ShowLibraryState();
    WatchLibraryFile(&m_loadedStamp);
    // A failed load that dropped an earlier library also changed the records (the built-in
    // surface answers again), so the windows follow them as after a successful load. A reload
    // that kept the records goes the same way without their new rows.
    if (!outcome.recordsChanged && !outcome.recordsKept) return;
    if (outcome.recordsChanged) {
        // Titles and rows for the record version, the new initial records in the table.
        const int version = outcome.recordVersion;
        m_udFdInitial->RebuildFixedDataRows(version);
        m_udFdFinal->RebuildFixedDataRows(version);
        m_udFdInitial->ShowRecords(m_provider->Initial(), version);
    }
    // The ray traced through the surface as it now is: the final records, the 3D ray and the
    // status line show it at once, as the views do.
    TraceRay();
    // Gradient-index flag and what it enables (such a surface shows no ray).
    if (outcome.gradientIndex) m_shading3d->ClearRay();
    SetGradientIndex(outcome.gradientIndex);
    if (outcome.recordsChanged) {
        // A new model, a new map, zoom and pan reset.
        m_shading3d->ClearModelAndResetView();
        RebuildMap();
        ResetZoom();
        ResetPan();
    } else {
        // The same records for the rebuilt library: its answers to them, from a new map.
        RebuildMap();
        Repaint();
    }
    // While comparing, the library as it now is against the reference.
    if (Comparing()) RunComparisonPass();
}

void CVelmorDlg::ShowLibraryState() {
    // A faulted library is still the one loaded; after a load that failed none is.
    const LibraryFault* fault = m_provider->LastLibraryFault();
    QString text;
    if (fault != nullptr && m_provider->LibraryFaulted())
        text = QString::fromLatin1(kTextLibraryFaulted) + QString::fromStdString(fault->Short());
    else if (!m_loadFailure.isEmpty() && !m_provider->LibraryLoaded())
        text = LibraryLoadFailedText(m_loadFailure);
    m_libraryPane->setText(text);
    m_libraryPane->setVisible(!text.isEmpty());
    m_libraryOutput->SetHelperPid(m_provider->LibraryHelperPid());
    UpdateCommandStates();  // "Reload DLL" once a library was opened
    UpdateTitle();          // the library's name while one is loaded
}

void CVelmorDlg::AnnounceLibraryFault() {
    const LibraryFault* fault = m_provider->LastLibraryFault();
    if (fault == nullptr || m_faultShown || !m_provider->LibraryFaulted()) return;
    m_faultShown = true;
    ShowLibraryState();
    ShowMessage(this, LibraryFaultMessage(*fault, false), MessageIcon::Warning);
}

void CVelmorDlg::SetRunInProcess(bool on) {
    LibraryHostSettings settings = m_provider->LibraryHost();
    settings.inProcess = on;
    m_provider->SetLibraryHost(settings);
    // The loaded library moves at once.
    if (m_provider->LibraryLoaded()) ReloadDll();
}

void CVelmorDlg::WatchLibraryFile(const LibraryFileStamp* loaded) {
    const bool watch = MenuAction(kCmdReloadOnChange)->isChecked();
    const std::string path = watch ? m_provider->LibraryPath() : std::string();
    if (loaded != nullptr)
        m_libraryWatch.Watch(path, *loaded);
    else
        m_libraryWatch.Watch(path);
}

bool CVelmorDlg::LibraryReloadWaits() const {
    return Sampling() || CurrentProgressWindow() != nullptr ||
           QApplication::activeModalWidget() != nullptr;
}

void CVelmorDlg::ReloadChangedLibrary() {
    CommandScope command(*this);
    ReloadDll();
}

}  // namespace velmor
