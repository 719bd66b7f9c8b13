#include "ui/surface/dialog_udfd_initial.h"

#include <QLabel>
#include <QPushButton>

#include "core/app/number_text.h"
#include "core/surface/provider.h"
#include "core/surface/row_catalogue.h"
#include "ui/common/dialog_units.h"
#include "ui/surface/dialog_udfd_final.h"

namespace velmor {

namespace {
const QSize kTemplateSize(DluX(208), DluY(236));
constexpr int kCallWidth = 72;
constexpr int kUpdateWidth = 100;
constexpr int kLabelHeight = 18;
constexpr const char* kDllReturnPrefix = "DLL retrun = ";
}  // namespace

CDialogUdFdInitial::CDialogUdFdInitial(const SettingsFile& settings, QWidget* parent)
    : CRecordTablesDialog(settings, kSectionProfileUdInitial, kSectionProfileFdInitial,
                          kTemplateSize, parent),
      m_callButton(new QPushButton("Call DLL", this)),
      m_updateButton(new QPushButton("Update UD FD", this)),
      m_returnLabel(new QLabel("DLL return =", this)) {
    // No button is pressed by Enter unless it has the focus (see keyPressEvent).
    m_callButton->setAutoDefault(false);
    m_updateButton->setAutoDefault(false);
    connect(m_callButton, &QPushButton::clicked, this, [this] {
        if (!InterpreterMode()) emit callDllRequested();
    });
    connect(m_updateButton, &QPushButton::clicked, this, [this] { emit updateRequested(); });
    setWindowTitle(TitleFor(RecordVersion()));
    // The buttons exist only now: lay the window out again.
    ApplyLayout();
}

QString CDialogUdFdInitial::DllReturnText() const {
    return m_returnLabel->text();
}

void CDialogUdFdInitial::SetDllReturn(int result) {
    m_returnLabel->setText(QString::fromLatin1(kDllReturnPrefix) +
                           QString::fromStdString(FormatInt(result)));
}

void CDialogUdFdInitial::ResetDllReturn() {
    m_returnLabel->setText(QString::fromLatin1(kDllReturnPrefix));
}

std::optional<int> CDialogUdFdInitial::CallDll(CSurfaceProvider& provider,
                                               CDialogUdFdFinal& finalTables) {
    if (provider.InterpreterMode()) return std::nullopt;
    const int version = provider.RecordVersion();
    if (RecordVersion() != version) {
        // Tables of another version cannot be read into these records: show the records
        // as they are and call with them.
        ShowRecords(provider.Initial(), version);
    }
    ReadRecords(provider.Initial(), version);
    CopyRecordPair(provider.Final(), provider.Initial());
    const int result = provider.CallSurface(provider.Final());
    SetDllReturn(result);
    finalTables.ShowRecords(provider.Final(), provider.RecordVersion());
    return result;
}

void CDialogUdFdInitial::SetInterpreterMode(bool on) {
    CRecordTablesDialog::SetInterpreterMode(on);
    m_callButton->setEnabled(!on);
    m_updateButton->setEnabled(!on);
}

int CDialogUdFdInitial::LayoutControls(int statusTop) {
    const int buttonTop = statusTop - kMargin - kButtonHeight;
    m_callButton->setGeometry(kMargin, buttonTop, kCallWidth, kButtonHeight);
    m_updateButton->setGeometry(kMargin + kCallWidth + kMargin, buttonTop, kUpdateWidth,
                                kButtonHeight);
    m_returnLabel->setGeometry(kMargin, buttonTop - 2 - kLabelHeight, width() - 2 * kMargin,
                               kLabelHeight);
    return buttonTop - 2 - kLabelHeight - 2;
}

QString CDialogUdFdInitial::TitleFor(int recordVersion) const {
    return InitialTablesTitle(recordVersion);
}

}  // namespace velmor
