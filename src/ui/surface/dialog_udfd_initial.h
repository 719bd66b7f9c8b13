// "UD FD Initial": the initial record pair in two editable tables, with "Call DLL",
// "Update UD FD" and the "DLL return =" label. The window owns no surface: the buttons ask
// for their operation through signals, and the owner (the main window) carries it out with
// the functions below.
#pragma once

#include <optional>

#include "ui/surface/record_tables_dialog.h"

class QLabel;

namespace velmor {

class CSurfaceProvider;
class CDialogUdFdFinal;

inline constexpr const char* kSectionProfileUdInitial = "Profile List UD Initial";
inline constexpr const char* kSectionProfileFdInitial = "Profile List FD Initial";

class CDialogUdFdInitial : public CRecordTablesDialog {
    Q_OBJECT
public:
    explicit CDialogUdFdInitial(const SettingsFile& settings, QWidget* parent = nullptr);

    QPushButton* CallDllButton() const { return m_callButton; }
    QPushButton* UpdateButton() const { return m_updateButton; }
    QLabel* DllReturnLabel() const { return m_returnLabel; }
    QString DllReturnText() const;

    // "DLL retrun = %d" with the library's result.
    void SetDllReturn(int result);
    // "DLL retrun = " with no number (after "Update UD FD" / "Update 2D").
    void ResetDllReturn();

    // "Call DLL" (the owner reads its range boxes first): reads both tables into the initial
    // pair, copies it into the final pair, sends the request the user typed into `type` and
    // `numb` to the surface, shows "DLL retrun = %d" and the final pair in `finalTables`.
    // Does nothing in interpreter mode (no value then).
    std::optional<int> CallDll(CSurfaceProvider& provider, CDialogUdFdFinal& finalTables);

    // Also disables "Call DLL" and "Update UD FD" while on.
    void SetInterpreterMode(bool on) override;

signals:
    // "Call DLL" was pressed (never sent in interpreter mode).
    void callDllRequested();
    // "Update UD FD" was pressed: the same operation as the main window's "Update 2D".
    void updateRequested();

protected:
    int LayoutControls(int statusTop) override;
    QString TitleFor(int recordVersion) const override;

private:
    QPushButton* m_callButton;
    QPushButton* m_updateButton;
    QLabel* m_returnLabel;
};

}  // namespace velmor
