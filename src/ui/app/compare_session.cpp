#include "ui/app/compare_session.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <cstring>

#include "ui/app/velmor_dlg.h"
#include "ui/common/message_ui.h"
#include "ui/common/progress_dialog.h"
#include "ui/surface/library_output.h"
#include "ui/surface/record_tables_dialog.h"

namespace velmor {

void CCompareSession::Show(const CompareRun& run) {
    report = run.report;
    overlay.differenceMap = DifferenceMapImage(report, &overlay.largestDifference);
    const QuantityResult* sag = report.Find("sag");
    overlay.markLargest = sag != nullptr && sag->where && sag->largest != 0;
    if (overlay.markLargest) {
        overlay.largestX = sag->where->x;
        overlay.largestY = sag->where->y;
    }
    overlay.reference = &reference.ViewSampler();
    overlay.refreshReference = [this] { reference.ViewSampler(); };
    statusLine = QString::fromStdString(CompareStatusLine(report));
}

void CCompareSession::TraceRay(const RecordPair& initial, const ScriptTraceSettings& settings) {
    overlay.rayTraced = false;
    const double start[6] = {initial.ud.x, initial.ud.y, initial.ud.z,
                             initial.ud.l, initial.ud.m, initial.ud.n};
    if (CSurfaceProvider* provider = reference.Provider()) {
        if (provider->LibraryFaulted()) return;
        USER_DATA& ud = provider->Initial().ud;
        ud.x = start[0];
        ud.y = start[1];
        ud.z = start[2];
        ud.l = start[3];
        ud.m = start[4];
        ud.n = start[5];
        if (!provider->TraceRay(settings).traced) return;
        const USER_DATA& out = provider->Final().ud;
        const double ray[6] = {out.x, out.y, out.z, out.l, out.m, out.n};
        std::memcpy(overlay.ray, ray, sizeof ray);
        overlay.rayTraced = true;
        return;
    }
    const SurfaceAnswers* snapshot = reference.Snapshot();
    if (snapshot == nullptr || !snapshot->rayKnown || snapshot->ray.result != 0) return;
    if (std::memcmp(snapshot->rayStart, start, sizeof start) != 0) return;
    const RayAnswer& r = snapshot->ray;
    const double ray[6] = {r.x, r.y, r.z, r.l, r.m, r.n};
    std::memcpy(overlay.ray, ray, sizeof ray);
    overlay.rayTraced = true;
}

// ---------------------------------------------------------------------------------------
// The main window's part

namespace {

QString ReferenceFaultText(const LibraryFault& fault) {
    return QString::fromLatin1(kTextReferenceFaulted) + QString::fromStdString(fault.Describe()) +
           QStringLiteral("\nComparing ends.");
}

}  // namespace

QString CVelmorDlg::CompareStatusText() const {
    return m_comparePane != nullptr && m_compare != nullptr ? m_comparePane->text() : QString();
}

void CVelmorDlg::CompareWith() {
    if (RefusedWithoutCode()) return;
    FileDialogRequest request;
    request.title = QStringLiteral("Compare With");
    request.filter = QStringLiteral(
        "Libraries, Scripts and Snapshots (*.so;*.dll;*.txt;*.json)|*.so;*.dll;*.txt;*.json|"
        "All Files (*.*)|*.*||");
    const std::optional<QString> path = Messages().OpenFileName(this, request);
    if (!path) return;
    // The surface as the tables and fields have it, as "Update 2D" takes them.
    m_udFdInitial->ReadTablesBack(*m_provider);
    ReadFields();

    EndComparing();  // a comparison before ends with the choice of another reference
    auto session = std::make_unique<CCompareSession>();
    ReferenceSetup setup;
    setup.host = m_provider->LibraryHost();
    setup.waitHook = &m_libraryWait;
    setup.outputSink = m_libraryOutput.get();
    std::string message;
    bool opened = false;
    {
        SamplingScope sampling(*this);
        opened = session->reference.Open(QFile::encodeName(*path).toStdString(), setup, &message);
    }
    if (!opened) {
        if (const LibraryFault* fault = session->reference.Fault()) {
            ShowMessage(this, ReferenceFaultText(*fault), MessageIcon::Warning);
        } else {
            ShowMessage(this,
                        QStringLiteral("Cannot compare with %1:\n%2")
                            .arg(QFileInfo(*path).fileName(), QString::fromStdString(message)),
                        MessageIcon::Warning);
        }
        return;
    }
    m_compare = std::move(session);
    RunComparisonPass();
}

void CVelmorDlg::RunComparisonPass() {
    if (m_compare == nullptr) return;
    CompareRequest request;
    request.ranges = {m_state.analysisX.min, m_state.analysisX.max, m_state.analysisY.min,
                      m_state.analysisY.max, m_state.stepX,         m_state.stepY};
    request.surfaceKind = m_state.interpreterMode       ? SurfaceKind::kScript
                          : m_provider->LibraryLoaded() ? SurfaceKind::kLibrary
                                                        : SurfaceKind::kBuiltIn;
    request.surfaceSource =
        request.surfaceKind == SurfaceKind::kLibrary ? m_provider->LibraryPath() : std::string();
    request.trace = TraceSettingsOf(m_state);
    request.reportProgress = true;
    CompareRun run;
    {
        SamplingScope sampling(*this);
        ProgressWindowScope progress(this, QStringLiteral("Compare ..."));
        run = RunComparison(*m_provider, m_compare->reference, request);
    }
    switch (run.end) {
        case CompareEnd::kCompared:
            break;
        case CompareEnd::kRefused:
            ShowMessage(this,
                        QStringLiteral("Cannot compare: ") + QString::fromStdString(run.message),
                        MessageIcon::Warning);
            EndComparing();
            return;
        case CompareEnd::kReferenceFaulted:
            CheckReferenceFault();
            return;
        default:  // cancelled, or the surface's library faulted (its own message follows)
            EndComparing();
            Repaint();
            return;
    }
    m_compare->Show(run);
    if (m_comparePane == nullptr) {
        m_comparePane = new QLabel(this);
        m_comparePane->setObjectName(QStringLiteral("comparePane"));
        m_comparePane->setMinimumWidth(1);
        statusBar()->addWidget(m_comparePane, 3);
    }
    m_comparePane->setText(m_compare->statusLine);
    m_comparePane->setToolTip(m_compare->statusLine);
    m_comparePane->show();
    UpdateCommandStates();
    Repaint();
}

void CVelmorDlg::StopComparing() {
    if (m_compare == nullptr) return;
    EndComparing();
    Repaint();
}

void CVelmorDlg::EndComparing() {
    m_compare.reset();
    if (m_comparePane != nullptr) {
        m_comparePane->clear();
        m_comparePane->hide();
    }
    UpdateCommandStates();
}

const CompareOverlay* CVelmorDlg::CompareOverlayForViews() {
    if (m_compare == nullptr) return nullptr;
    if (!m_state.gradientIndex && m_state.rayTrace) {
        m_compare->TraceRay(m_provider->Initial(), TraceSettingsOf(m_state));
    }
    return &m_compare->overlay;
}

void CVelmorDlg::CheckReferenceFault() {
    if (m_compare == nullptr) return;
    const LibraryFault* fault = m_compare->reference.Fault();
    if (fault == nullptr) return;
    const QString text = ReferenceFaultText(*fault);
    EndComparing();
    Repaint();
    ShowMessage(this, text, MessageIcon::Warning);
}

}  // namespace velmor
