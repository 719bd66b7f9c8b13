// The "Library Check" window: the checks of the last run in a table (the check, its result in
// a colour of its own, the detail), a line naming what was checked and the counts, the whole
// detail of the chosen check below the table, and "Check Again". A double click on a check with
// an example point asks to show that point (the main window sets the ray and the cursor there).
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "core/check/library_check.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace velmor {

inline constexpr const char* kLibraryCheckTitle = "Library Check";

// Table columns.
enum LibraryCheckColumn : int {
    kCheckColumnName = 0,
    kCheckColumnResult = 1,
    kCheckColumnDetail = 2
};

class CLibraryCheckWindow : public QWidget {
    Q_OBJECT
public:
    explicit CLibraryCheckWindow(QWidget* parent = nullptr);

    // Shows a run's results; `subject` names what was checked ("even_asphere.so", ...).
    void ShowReport(const CheckReport& report, const QString& subject);
    const CheckReport& Report() const { return m_report; }

    QTableWidget* Table() const { return m_table; }
    QString SummaryText() const;
    QString DetailText() const;
    QPushButton* CheckAgainButton() const { return m_checkAgain; }
    // The background of a result cell.
    static QColor OutcomeColour(CheckOutcome outcome);

signals:
    // A check with an example was double-clicked.
    void exampleChosen(const velmor::CheckExample& example);
    void checkAgainRequested();

private:
    void ShowDetail(int row);

    CheckReport m_report;
    QLabel* m_summary = nullptr;
    QTableWidget* m_table = nullptr;
    QPlainTextEdit* m_detail = nullptr;
    QPushButton* m_checkAgain = nullptr;
};

// "x 1.5, y -2, z 0, l -0.25, m 0.2, n 0.947; expected 0.1, got 0.2" for an example.
QString ExampleText(const CheckExample& example);

}  // namespace velmor
