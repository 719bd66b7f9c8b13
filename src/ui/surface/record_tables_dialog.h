// The two record-table windows, "UD FD Initial" and "UD FD Final": the USER_DATA table above,
// the FIXED_DATA table below, the splitter between them, the "Hide" button, the status bar,
// hiding on Enter and Escape, and the painting of hidden tables in interpreter mode. Each
// table is a data grid with one row per field of the row catalogue: columns "type" and "name"
// (read-only) and "data" (the field's text form, edited in place). The windows show and read
// records; "Call DLL" is the only surface call, made for the owner through the provider.
#pragma once

#include <QDialog>
#include <QRect>
#include <optional>
#include <string>

#include "core/app/settings_file.h"
#include "core/surface/records.h"

class QLabel;
class QPushButton;
class QStatusBar;

namespace velmor {

class CDataGrid;
class CSurfaceProvider;

// Sub-item ids (and column indexes) of the record tables' columns; 0 is the label column.
enum RecordTableColumn : int {
    kRecordColumnType = 1,
    kRecordColumnName = 2,
    kRecordColumnData = 3,
};

inline constexpr const char* kSectionProfileUdInitial = "Profile List UD Initial";
inline constexpr const char* kSectionProfileFdInitial = "Profile List FD Initial";
inline constexpr const char* kSectionProfileUdFinal = "Profile List UD Final";
inline constexpr const char* kSectionProfileFdFinal = "Profile List FD Final";

class CRecordTablesDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 240;
    static constexpr int kMinimumHeight = 300;

    CDataGrid* UserDataTable() const { return m_userTable; }
    CDataGrid* FixedDataTable() const { return m_fixedTable; }
    // The record version the FIXED_DATA table's rows belong to.
    int RecordVersion() const { return m_recordVersion; }

    // Remove all rows and insert the catalogue's rows with empty "data" cells.
    void RebuildUserDataRows();
    void RebuildFixedDataRows(int recordVersion);

    // Write the text form of the fields into the "data" cells. A FIXED_DATA record of another
    // version than the table's first rebuilds the rows for that version.
    void ShowUserData(const USER_DATA& record);
    void ShowFixedData(const void* record, int recordVersion);
    void ShowRecords(const RecordPair& pair, int recordVersion);

    // Take over any edit in progress, then read every "data" cell back into its field (cells
    // that do not convert become 0 and are rewritten). Only the fields of the version are
    // written. Return the number of cells that did not convert; ReadFixedData and ReadRecords
    // return -1 and write nothing when the FIXED_DATA table holds the rows of another version
    // than `recordVersion`.
    int ReadUserData(USER_DATA& record);
    int ReadFixedData(void* record, int recordVersion);
    int ReadRecords(RecordPair& pair, int recordVersion);
    // Ends a cell edit in progress in either table, keeping its text.
    void CommitEdits();

    // Interpreter mode hides both tables and paints their places instead.
    virtual void SetInterpreterMode(bool on);
    bool InterpreterMode() const { return m_interpreterMode; }

    // Lays the window out for its size (after the main window placed it).
    void ApplyLayout() { LayoutWindow(); }

    QWidget* SplitterBar() const { return m_splitterBar; }
    QPushButton* HideButton() const { return m_hideButton; }
    // The area the two tables share.
    QRect FrameArea() const { return m_frameArea; }

protected:
    CRecordTablesDialog(const SettingsFile& settings, const std::string& userDataSection,
                        const std::string& fixedDataSection, QSize templateSize, QWidget* parent);

    // Places the window's own controls above the status bar (whose top is `statusTop`) and
    // answers the bottom of the frame area.
    virtual int LayoutControls(int statusTop);
    // The title for the FIXED_DATA version now shown.
    virtual QString TitleFor(int recordVersion) const = 0;

    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

    static constexpr int kMargin = 6;
    static constexpr int kButtonHeight = 24;

private:
    void LayoutWindow();
    void LayoutTables();

    CDataGrid* m_userTable;
    CDataGrid* m_fixedTable;
    QWidget* m_splitterBar;
    QPushButton* m_hideButton;
    QStatusBar* m_statusBar;
    QRect m_frameArea;
    double m_splitFraction = 0.4;
    int m_upperHeight = 0;
    int m_recordVersion = 0;
    bool m_interpreterMode = false;
};

// "UD FD Final": the final record pair, as the library left it after the last "Call DLL" or
// the last single-ray trace. Its "data" cells can be edited, but nothing reads them back.
class CDialogUdFdFinal : public CRecordTablesDialog {
    Q_OBJECT
public:
    explicit CDialogUdFdFinal(const SettingsFile& settings, QWidget* parent = nullptr);

protected:
    QString TitleFor(int recordVersion) const override;
};

// "UD FD Initial": the initial record pair in two editable tables, with "Call DLL",
// "Update UD FD" and the "DLL return =" label. The window owns no surface: the buttons ask
// for their operation through signals, and the owner (the main window) carries it out with
// the functions below.
class CDialogUdFdInitial : public CRecordTablesDialog {
    Q_OBJECT
public:
    explicit CDialogUdFdInitial(const SettingsFile& settings, QWidget* parent = nullptr);

    QPushButton* CallDllButton() const { return m_callButton; }
    QPushButton* UpdateButton() const { return m_updateButton; }
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

    // The caller's part of "Update 2D" ("Update UD FD") and "Make 3D Model": both tables read
    // into a fresh record pair, which then replaces the provider's initial pair. Returns the
    // number of cells that did not convert, or -1, with the initial pair untouched, when the
    // tables hold the rows of another record version than the provider's.
    int ReadTablesBack(CSurfaceProvider& provider);

    // Also disables "Call DLL" and "Update UD FD" while on.
    void SetInterpreterMode(bool on) override;
    // While a long loop of any window runs, "Call DLL" and "Update UD FD" are disabled too.
    void SetLongLoopRunning(bool running);

signals:
    // "Call DLL" was pressed (never sent in interpreter mode).
    void callDllRequested();
    // "Update UD FD" was pressed: the same operation as the main window's "Update 2D".
    void updateRequested();

protected:
    int LayoutControls(int statusTop) override;
    QString TitleFor(int recordVersion) const override;

private:
    void EnableButtons();

    QPushButton* m_callButton;
    QPushButton* m_updateButton;
    QLabel* m_returnLabel;
    bool m_longLoop = false;
};

}  // namespace velmor
