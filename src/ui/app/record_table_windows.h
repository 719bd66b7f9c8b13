// "UD FD Initial" and "UD FD Final" as the main window sees them: the two record-table windows
// behind the RecordTableWindow interface. "Call DLL" and "Update UD FD" of "UD FD Initial" are
// carried out against the main window's provider and fields.
#pragma once

#include <memory>

#include "ui/app/secondary_windows.h"

namespace velmor {

class CDialogUdFdFinal;
class CDialogUdFdInitial;
class CVelmorDlg;

class CUdFdFinalWindow : public RecordTableWindow {
public:
    explicit CUdFdFinalWindow(CVelmorDlg& dlg);
    ~CUdFdFinalWindow() override;

    QWidget* Widget() override;
    void SetRecordVersion(int recordVersion) override;
    void ShowRecords(const RecordPair& pair, int recordVersion) override;
    // Nothing reads the final tables back.
    bool ReadRecords(RecordPair*, int) override { return false; }
    void SetInterpreterMode(bool on) override;

    CDialogUdFdFinal& Dialog() { return *m_dialog; }

private:
    std::unique_ptr<CDialogUdFdFinal> m_dialog;
};

class CUdFdInitialWindow : public RecordTableWindow {
public:
    explicit CUdFdInitialWindow(CVelmorDlg& dlg);
    ~CUdFdInitialWindow() override;

    QWidget* Widget() override;
    void SetRecordVersion(int recordVersion) override;
    void ShowRecords(const RecordPair& pair, int recordVersion) override;
    bool ReadRecords(RecordPair* pair, int recordVersion) override;
    void SetInterpreterMode(bool on) override;
    void ResetDllReturnLabel() override;

    CDialogUdFdInitial& Dialog() { return *m_dialog; }

private:
    // "Call DLL": the range boxes, then the initial tables to the surface and the answer into
    // "UD FD Final".
    void CallDll();

    CVelmorDlg& m_dlg;
    std::unique_ptr<CDialogUdFdInitial> m_dialog;
};

}  // namespace velmor
