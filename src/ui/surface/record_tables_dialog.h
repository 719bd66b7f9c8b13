// What the two record-table windows share: the USER_DATA table above, the FIXED_DATA table
// below, the splitter between them, the "Hide" button, the status bar, hiding on Enter and
// Escape, and the painting of hidden tables in interpreter mode. The windows show and read
// records; they never call a surface themselves.
#pragma once

#include <QDialog>
#include <QRect>
#include <string>

#include "core/app/settings_file.h"
#include "core/surface/records.h"

class QPushButton;
class QStatusBar;

namespace velmor {

class CDataGrid;

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

    double SplitFraction() const { return m_splitFraction; }
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

}  // namespace velmor
