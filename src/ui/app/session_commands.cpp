// The main window's sessions and files from outside: "Load INI ...", "Store INI ...", the
// recent sessions, the last session stored at a confirmed close and reopened at start, the
// files of the command line and of a second start, and the window's title. The file's rules
// are core/app/session_file.h (the format) and core/surface/session_records.h (the rows); the
// fields go through the window's field table (ui/app/field_binding.h).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTimer>

#include "core/app/file_kind.h"
#include "core/surface/session_records.h"
#include "ui/app/field_binding.h"
#include "ui/app/plot_client.h"
#include "ui/app/velmor_dlg.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/interp/dialog_interpreter.h"
#include "ui/surface/record_tables_dialog.h"
#include "ui/view3d/dialog_3d.h"

namespace velmor {

namespace {

constexpr char kSessionFilter[] = "Velmor session (*.ini)|*.ini||";
constexpr char kSessionOpenFilter[] = "Velmor session (*.ini)|*.ini|All Files (*.*)|*.*||";

std::string Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString FromLocal(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

QString ProblemList(const std::vector<std::string>& problems) {
    QString text;
    for (const std::string& problem : problems)
        text += QStringLiteral("\n- ") + QString::fromStdString(problem);
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Title

void CVelmorDlg::UpdateTitle() {
    QString title = QStringLiteral("Velmor");
    if (m_provider->LibraryLoaded() && !m_state.interpreterMode)
        title += QStringLiteral(" - ") + FromLocal(FileNameOf(m_provider->LibraryPath()));
    if (!m_sessionPath.isEmpty())
        title += QStringLiteral(" - ") + QFileInfo(m_sessionPath).fileName();
    setWindowTitle(title);
}

void CVelmorDlg::RaiseMainWindow() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

// ---------------------------------------------------------------------------------------
// Store

bool CVelmorDlg::OfferScriptForSaving(bool* withScript) {
    *withScript = true;
    // A script matters when it was changed, or when it answers without a file behind it.
    const bool noFile = m_interpreter->SourcePath().isEmpty();
    if (!m_interpreter->SourceModified() && !(noFile && m_state.interpreterMode)) return true;
    const MessageAnswer answer = ShowMessage(
        this,
        QStringLiteral("The Interpreter source is not saved.\nSave it before the session is "
                       "stored ?\n(No stores the session without the script.)"),
        MessageIcon::Question, MessageButtons::YesNoCancel);
    switch (answer) {
        case MessageAnswer::Yes:
        case MessageAnswer::Ok:
            return m_interpreter->SaveSource();
        case MessageAnswer::No:
            *withScript = false;
            return true;
        case MessageAnswer::Cancel:
            break;
    }
    return false;
}

Session CVelmorDlg::CurrentSession(bool withScript) {
    // The records and fields as the next "Update 2D" would take them.
    m_udFdInitial->ReadTablesBack(*m_provider);
    Session session;
    if (m_provider->LibraryLoaded())
        session.libraryPath = AbsoluteFilePath(m_provider->LibraryPath());
    const bool scriptSaved =
        withScript && !m_interpreter->SourcePath().isEmpty() && !m_interpreter->SourceModified();
    if (scriptSaved) session.scriptPath = AbsoluteFilePath(Local(m_interpreter->SourcePath()));
    if (m_state.interpreterMode && scriptSaved)
        session.source = SessionSource::kScript;
    else if (m_provider->LibraryLoaded())
        session.source = SessionSource::kLibrary;
    const int version = m_provider->RecordVersion();
    session.recordVersion = version;
    session.rows = ChangedRecordRows(m_provider->Initial(), m_provider->FreshInitial(), version);
    session.analysis = AnalysisEntries(m_controls, m_state);
    for (SessionEntry& entry : session.analysis) {
        if (entry.key == kKeyUseInterpreter)
            entry.value.assign(1, session.source == SessionSource::kScript ? '1' : '0');
    }
    return session;
}

void CVelmorDlg::StoreIni() {
    bool withScript = true;
    if (!OfferScriptForSaving(&withScript)) return;
    FileDialogRequest request;
    request.title = QStringLiteral("Store Session");
    request.filter = QString::fromLatin1(kSessionFilter);
    request.defaultExtension = QStringLiteral("ini");
    request.defaultName = m_sessionPath.isEmpty() ? QStringLiteral("session.ini")
                                                  : QFileInfo(m_sessionPath).fileName();
    const std::optional<QString> path = SaveFileNameAskingToCreate(this, request);
    if (!path) return;
    const Session session = CurrentSession(withScript);
    std::string reason;
    if (!WriteSessionFile(Local(*path), session, &reason)) {
        ShowMessage(this,
                    QStringLiteral("Couldn't store the session ") + *path + QStringLiteral(": ") +
                        QString::fromStdString(reason),
                    MessageIcon::Stop);
        return;
    }
    m_sessionPath = *path;
    AddRecentSession(*path);
    UpdateTitle();
}

void CVelmorDlg::StoreLastSession() {
    if (m_options.lastSessionPath.empty()) return;
    // Like the settings, quietly: a close that cannot keep it still closes.
    std::string reason;
    WriteSessionFile(m_options.lastSessionPath, CurrentSession(true), &reason);
}

// ---------------------------------------------------------------------------------------
// Load

void CVelmorDlg::LoadIni() {
    FileDialogRequest request;
    request.title = QStringLiteral("Load Session");
    request.filter = QString::fromLatin1(kSessionOpenFilter);
    request.defaultExtension = QStringLiteral("ini");
    const std::optional<QString> path = Messages().OpenFileName(this, request);
    if (!path) return;
    LoadSessionFile(*path, SessionUse::kFile);
}

void CVelmorDlg::LoadRecentSession(int index) {
    if (index < 0 || index >= m_recentSessions.size()) return;
    LoadSessionFile(m_recentSessions[index], SessionUse::kFile);
}

bool CVelmorDlg::LoadSessionFile(const QString& path, SessionUse use) {
    // A session loads its library and samples the surface: not under another window's loop.
    if (RefusedWhileBusy(true)) return false;
    const std::string sessionPath = Local(path);
    Session session;
    std::string refusal;
    if (!ReadSessionFile(sessionPath, &session, &refusal)) {
        ShowMessage(this, QString::fromStdString(refusal), MessageIcon::Stop);
        return false;
    }
    std::vector<std::string> problems = session.problems;

    // The script replaces the Interpreter's text: unsaved text is offered for saving first, and
    // a cancel leaves everything as it was.
    const std::string scriptPath = ResolveSessionPath(session.scriptPath, sessionPath);
    if (!session.scriptPath.empty() && scriptPath.empty())
        problems.push_back("SCRIPT=" + session.scriptPath +
                           ": the file is missing (also beside the session)");
    if (!scriptPath.empty() && !m_interpreter->ConfirmDiscardUnsavedSource()) return false;

    // 1. The source, as "Open DLL ..." opens it: records reset, safe data.
    if (m_state.interpreterMode) ShowInterpreterMode(false);
    const std::string libraryPath = session.source == SessionSource::kBuiltIn
                                        ? std::string()
                                        : ResolveSessionPath(session.libraryPath, sessionPath);
    bool applyRows = true;
    LoadOutcome outcome;
    {
        SamplingScope sampling(*this);
        m_faultShown = false;
        if (!libraryPath.empty())
            outcome = m_provider->OpenSurfaceDll(libraryPath);
        else
            outcome = m_provider->UseBuiltInSurface();
    }
    const char* builtIn = use == SessionUse::kLastSession
                              ? ": Velmor starts with the built-in surface; no [RECORDS] row was "
                                "applied"
                              : ": the built-in surface answers; no [RECORDS] row was applied";
    if (session.source == SessionSource::kBuiltIn && !session.libraryPath.empty()) {
        problems.push_back("LIBRARY=" + session.libraryPath +
                           ": not loaded, the session's SOURCE is builtin");
    } else if (session.source == SessionSource::kLibrary && session.libraryPath.empty()) {
        problems.push_back(std::string("SOURCE=library names no LIBRARY") + builtIn);
        applyRows = false;
    } else if (!session.libraryPath.empty() && libraryPath.empty()) {
        problems.push_back("LIBRARY=" + session.libraryPath +
                           ": the library is missing (also beside the session)" + builtIn);
        applyRows = false;
    } else if (!libraryPath.empty() && !outcome.loaded) {
        problems.push_back("LIBRARY=" + libraryPath + ": the library did not load" + builtIn);
        applyRows = false;
    }
    ShowLoad(outcome);

    // 2. The rows, through the tables' text form, in file order.
    const int version = m_provider->RecordVersion();
    if (applyRows) {
        if (session.recordVersion && *session.recordVersion != version)
            problems.push_back("RECORD_VERSION=" + std::to_string(*session.recordVersion) +
                               ": the surface has record version " + std::to_string(version) +
                               "; the rows were applied by name");
        ApplyRecordRows(m_provider->Initial(), version, session.rows, &problems);
    }
    m_udFdInitial->ShowRecords(m_provider->Initial(), version);

    // 3. The script, compiled, and switched on when it is the source.
    bool scriptOpened = false;
    if (!scriptPath.empty()) {
        QString error;
        scriptOpened = m_interpreter->OpenSourceFile(FromLocal(scriptPath), &error);
        if (scriptOpened)
            m_interpreter->Compile();
        else
            problems.push_back("SCRIPT=" + scriptPath + ": " + error.toStdString());
    }
    if (session.source == SessionSource::kScript) {
        if (scriptOpened && m_engine->InstructionCount() > 0) {
            ShowInterpreterMode(true);
            SetGradientIndex(false);
        } else if (scriptOpened) {
            problems.push_back(
                "SOURCE=script: the script has no intermediate code, so it does "
                "not answer");
        } else if (session.scriptPath.empty()) {
            problems.push_back("SOURCE=script names no SCRIPT");
        }
    }
    for (const SessionEntry& entry : session.analysis) {
        if (entry.key == kKeyUseInterpreter &&
            (entry.value == "1") != (session.source == SessionSource::kScript))
            problems.push_back(entry.key + "=" + entry.value + ": disagrees with SOURCE=" +
                               SessionSourceName(session.source) + ", which decides");
    }

    // 4. The fields, check boxes and pattern.
    ApplyAnalysisEntries(m_controls, m_state, session.analysis);
    for (const auto& [id, flag] : {std::pair{kIdVerbose, m_state.verbose},
                                   {kIdCursor, m_state.cursor},
                                   {kIdRayTrace, m_state.rayTrace}}) {
        auto* box = static_cast<QCheckBox*>(Control(id));
        const bool blocked = box->blockSignals(true);
        box->setChecked(flag);
        box->blockSignals(blocked);
    }
    auto* pattern = static_cast<QComboBox*>(Control(kIdPattern));
    {
        const bool blocked = pattern->blockSignals(true);
        pattern->setCurrentIndex(m_state.meshPattern);
        pattern->blockSignals(blocked);
    }
    EnableFields(m_controls, m_state);
    ShowDisplayRanges();

    // 5. "Update UD FD": the ray traced, the map and the views.
    if (!m_state.interpreterMode || m_engine->InstructionCount() > 0) Update2D();

    if (use == SessionUse::kFile) {
        m_sessionPath = path;
        AddRecentSession(path);
    }
    UpdateTitle();
    if (!problems.empty()) {
        const QString head = use == SessionUse::kLastSession
                                 ? QStringLiteral("The last session was reopened, except:")
                                 : QStringLiteral("The session ") + QFileInfo(path).fileName() +
                                       QStringLiteral(" was loaded, except:");
        ShowMessage(this, head + ProblemList(problems), MessageIcon::Warning);
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Recent sessions

void CVelmorDlg::AddRecentSession(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_recentSessions.removeAll(absolute);
    m_recentSessions.prepend(absolute);
    while (m_recentSessions.size() > kRecentSessionCount) m_recentSessions.removeLast();
    for (int i = 0; i < kRecentSessionCount; ++i) {
        m_settings.WriteString(kSectionRecent, "FILE" + std::to_string(i + 1),
                               i < m_recentSessions.size() ? Local(m_recentSessions[i]) : "");
    }
    ShowRecentSessions();
}

void CVelmorDlg::ShowRecentSessions() {
    QMenu* menu = nullptr;
    for (int i = 0; i < kRecentSessionCount; ++i) {
        QAction* action = MenuAction(kCmdRecentSession1 + i);
        if (action == nullptr) continue;
        menu = qobject_cast<QMenu*>(action->parent());
        const bool shown = i < m_recentSessions.size();
        action->setVisible(shown);
        if (shown) {
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(m_recentSessions[i]));
        }
    }
    if (menu != nullptr) menu->setEnabled(!m_recentSessions.isEmpty());
}

// ---------------------------------------------------------------------------------------
// Files from outside

void CVelmorDlg::OpenAtStart() {
    // After the first map's build, which may still run.
    if (Sampling() || m_longLoop || CurrentProgressWindow() != nullptr) {
        QTimer::singleShot(kMapBuildRetryMs, this, [this] { OpenAtStart(); });
        return;
    }
    if (!m_options.startFile.isEmpty()) {
        OpenFile(m_options.startFile);
    } else if (m_reopenLast && !m_options.lastSessionPath.empty() &&
               QFileInfo::exists(FromLocal(m_options.lastSessionPath))) {
        CommandScope command(*this);
        LoadSessionFile(FromLocal(m_options.lastSessionPath), SessionUse::kLastSession);
    }
    m_startOpened = true;
}

void CVelmorDlg::OpenFile(const QString& path) {
    // A file handed over while the windows are busy waits for them.
    if (Sampling() || m_longLoop || CurrentProgressWindow() != nullptr ||
        QApplication::activeModalWidget() != nullptr) {
        QTimer::singleShot(kMapBuildRetryMs, this, [this, path] { OpenFile(path); });
        return;
    }
    CommandScope command(*this);
    std::string reason;
    switch (KindOfFile(Local(path), &reason)) {
        case FileKind::kRefused:
            ShowMessage(this,
                        QStringLiteral("Couldn't open ") + path + QStringLiteral(": ") +
                            QString::fromStdString(reason),
                        MessageIcon::Stop);
            return;
        case FileKind::kLibrary:
            // The library answers from now on: a script that did is switched off.
            if (m_state.interpreterMode) {
                ShowInterpreterMode(false);
                SetGradientIndex(false);
            }
            OpenLibraryFile(path);
            return;
        case FileKind::kSession:
            LoadSessionFile(path, SessionUse::kFile);
            return;
        case FileKind::kModel:
            ShowSecondaryWindow(m_shading3d.get());
            m_shading3d->OpenModelFile(path);
            return;
        case FileKind::kScript: {
            if (!m_interpreter->ConfirmDiscardUnsavedSource()) return;
            QString error;
            if (!m_interpreter->OpenSourceFile(path, &error)) {
                ShowMessage(this,
                            QStringLiteral("Couldn't open source file: ") + path +
                                QStringLiteral(": ") + error,
                            MessageIcon::Stop);
                return;
            }
            ShowSecondaryWindow(m_interpreter.get());
            return;
        }
    }
}

}  // namespace velmor
