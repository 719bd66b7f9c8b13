#include "ui/app/record_table_windows.h"

#include "ui/app/velmor_dlg.h"
#include "ui/surface/dialog_udfd_final.h"
#include "ui/surface/dialog_udfd_initial.h"

namespace velmor {

CUdFdFinalWindow::CUdFdFinalWindow(CVelmorDlg& dlg)
    : m_dialog(std::make_unique<CDialogUdFdFinal>(dlg.Settings())) {}

CUdFdFinalWindow::~CUdFdFinalWindow() = default;

QWidget* CUdFdFinalWindow::Widget() {
    return m_dialog.get();
}

void CUdFdFinalWindow::SetRecordVersion(int recordVersion) {
    m_dialog->RebuildFixedDataRows(recordVersion);
}

void CUdFdFinalWindow::ShowRecords(const RecordPair& pair, int recordVersion) {
    m_dialog->ShowRecords(pair, recordVersion);
}

void CUdFdFinalWindow::SetInterpreterMode(bool on) {
    m_dialog->SetInterpreterMode(on);
}

CUdFdInitialWindow::CUdFdInitialWindow(CVelmorDlg& dlg)
    : m_dlg(dlg), m_dialog(std::make_unique<CDialogUdFdInitial>(dlg.Settings())) {
    QObject::connect(m_dialog.get(), &CDialogUdFdInitial::callDllRequested, m_dialog.get(),
                     [this] { CallDll(); });
    // "Update UD FD" is the main window's "Update 2D".
    QObject::connect(m_dialog.get(), &CDialogUdFdInitial::updateRequested, m_dialog.get(),
                     [this] { m_dlg.Update2D(); });
}

CUdFdInitialWindow::~CUdFdInitialWindow() = default;

QWidget* CUdFdInitialWindow::Widget() {
    return m_dialog.get();
}

void CUdFdInitialWindow::SetRecordVersion(int recordVersion) {
    m_dialog->RebuildFixedDataRows(recordVersion);
}

void CUdFdInitialWindow::ShowRecords(const RecordPair& pair, int recordVersion) {
    m_dialog->ShowRecords(pair, recordVersion);
}

bool CUdFdInitialWindow::ReadRecords(RecordPair* pair, int recordVersion) {
    // -1: the FIXED_DATA rows belong to another record version and cannot be read.
    return m_dialog->ReadRecords(*pair, recordVersion) >= 0;
}

void CUdFdInitialWindow::SetInterpreterMode(bool on) {
    m_dialog->SetInterpreterMode(on);
}

void CUdFdInitialWindow::ResetDllReturnLabel() {
    m_dialog->ResetDllReturn();
}

void CUdFdInitialWindow::CallDll() {
    auto* finalWindow = dynamic_cast<CUdFdFinalWindow*>(&m_dlg.UdFdFinal());
    if (finalWindow == nullptr) return;
    m_dlg.ReadFields();
    m_dialog->CallDll(m_dlg.Provider(), finalWindow->Dialog());
}

}  // namespace velmor
