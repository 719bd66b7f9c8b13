#include "ui/check/library_check_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <cmath>

#include "core/host/library_fault.h"
#include "ui/common/velmor_icon.h"

namespace velmor {

namespace {

constexpr int kDefaultWidth = 760, kDefaultHeight = 560;
// Small enough for a corner of the screen, large enough for every check's row.
constexpr int kMinimumWidth = 520, kMinimumHeight = 510;
// Lines of the detail box below the table (it scrolls beyond them).
constexpr int kDetailLines = 8;

// Ten significant digits: enough to tell the values apart, short enough to read. Qt's form,
// not FormatGeneral's: a NaN shows as "nan" and -0 as "0" whatever their sign bit, where
// FormatGeneral (as printf) would write "-nan" for the NaN that 0/0 gives and "-0".
QString Number(double value) {
    return QString::number(value, 'g', 10);
}

QString Numbers(const std::vector<double>& values) {
    if (values.size() == 1) return Number(values[0]);
    QStringList parts;
    for (double value : values) parts << Number(value);
    return QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// Draws the result cells in their colour also when their row is selected.
class ResultDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~QStyle::State_Selected;
    }
};

}  // namespace

QString ExampleText(const CheckExample& e) {
    QString text =
        QStringLiteral("x %1, y %2, z %3, l %4, m %5, n %6")
            .arg(Number(e.x), Number(e.y), Number(e.z), Number(e.l), Number(e.m), Number(e.n));
    if (!e.expected.empty()) text += QStringLiteral("; expected ") + Numbers(e.expected);
    if (!e.got.empty()) text += QStringLiteral("; got ") + Numbers(e.got);
    return text;
}

QColor CLibraryCheckWindow::OutcomeColour(CheckOutcome outcome) {
    switch (outcome) {
        case CheckOutcome::kPass:
            return QColor(0xc8, 0xe6, 0xc9);  // green
        case CheckOutcome::kWarn:
            return QColor(0xff, 0xe0, 0x82);  // amber
        case CheckOutcome::kFail:
            return QColor(0xef, 0x9a, 0x9a);  // red
        default:
            return QColor(0xe0, 0xe0, 0xe0);  // grey
    }
}

CLibraryCheckWindow::CLibraryCheckWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QString::fromLatin1(kLibraryCheckTitle));
    setWindowIcon(VelmorIcon());
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_table = new QTableWidget(0, 3, this);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Check"), QStringLiteral("Result"), QStringLiteral("Detail")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setWordWrap(false);
    m_table->setItemDelegateForColumn(kCheckColumnResult, new ResultDelegate(m_table));
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(kCheckColumnName,
                                                      QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(kCheckColumnResult,
                                                      QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row) { ShowDetail(row); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(m_report.checks.size()) &&
            m_report.checks[row].example) {
            emit exampleChosen(*m_report.checks[row].example);
        }
    });

    m_detail = new QPlainTextEdit(this);
    m_detail->setReadOnly(true);
    // The lines, the document's margins above and below them, the frame (the style's, as the
    // box has none of its own before it is shown) and the scroll bar of a long line.
    const QStyle* style = m_detail->style();
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_detail);
    const int bar = style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_detail);
    const int margins = 2 * static_cast<int>(std::ceil(m_detail->document()->documentMargin()));
    m_detail->setFixedHeight(m_detail->fontMetrics().lineSpacing() * kDetailLines + margins +
                             2 * frame + bar + 4);

    auto* hint = new QLabel(
        QStringLiteral("Double click a check with an example to set the ray and the cursor there."),
        this);
    hint->setWordWrap(true);
    m_checkAgain = new QPushButton(QStringLiteral("Check Again"), this);
    connect(m_checkAgain, &QPushButton::clicked, this, [this] { emit checkAgainRequested(); });
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, [this] { hide(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(hint, 1);
    buttons->addWidget(m_checkAgain);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_detail);
    layout->addLayout(buttons);

    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kDefaultWidth, kDefaultHeight);
}

void CLibraryCheckWindow::ShowReport(const CheckReport& report, const QString& subject) {
    m_report = report;
    QString summary = subject + QStringLiteral(": ");
    if (!report.loaded) {
        summary += QString::fromStdString(report.loadError);
    } else {
        summary += QStringLiteral("%1 pass, %2 warn, %3 fail, %4 skip")
                       .arg(report.pass)
                       .arg(report.warn)
                       .arg(report.fail)
                       .arg(report.skip);
        if (report.cancelled) summary += QStringLiteral(" (cancelled)");
    }
    m_summary->setText(summary);

    m_table->clearContents();
    m_table->setRowCount(static_cast<int>(report.checks.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const CheckResult& check = report.checks[row];
        auto* name = new QTableWidgetItem(QString::fromStdString(check.name));
        auto* result = new QTableWidgetItem(QString::fromLatin1(CheckOutcomeText(check.outcome)));
        result->setBackground(OutcomeColour(check.outcome));
        result->setForeground(QColor(Qt::black));
        result->setTextAlignment(Qt::AlignCenter);
        QFont bold = result->font();
        bold.setBold(true);
        result->setFont(bold);
        QString text = QString::fromStdString(check.detail);
        auto* detail = new QTableWidgetItem(text);
        if (check.example) text += QStringLiteral("\nExample: ") + ExampleText(*check.example);
        detail->setToolTip(text);
        m_table->setItem(row, kCheckColumnName, name);
        m_table->setItem(row, kCheckColumnResult, result);
        m_table->setItem(row, kCheckColumnDetail, detail);
    }
    // The first failed check is chosen, else the first one.
    int chosen = m_table->rowCount() > 0 ? 0 : -1;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (report.checks[row].outcome == CheckOutcome::kFail) {
            chosen = row;
            break;
        }
    }
    m_table->setCurrentCell(chosen, 0);
    ShowDetail(chosen);
}

void CLibraryCheckWindow::ShowDetail(int row) {
    if (row < 0 || row >= static_cast<int>(m_report.checks.size())) {
        m_detail->clear();
        return;
    }
    const CheckResult& check = m_report.checks[row];
    QString text = QString::fromStdString(check.name) + QStringLiteral(" (") +
                   QString::fromLatin1(CheckOutcomeText(check.outcome)) + QStringLiteral("): ") +
                   QString::fromStdString(check.detail);
    if (check.example) text += QStringLiteral("\nExample: ") + ExampleText(*check.example);
    m_detail->setPlainText(text);
}

QString CLibraryCheckWindow::SummaryText() const {
    return m_summary->text();
}

QString CLibraryCheckWindow::DetailText() const {
    return m_detail->toPlainText();
}

}  // namespace velmor
