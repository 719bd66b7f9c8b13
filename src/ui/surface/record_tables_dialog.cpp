#include "ui/surface/record_tables_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>

#include "core/surface/row_catalogue.h"
#include "ui/common/splitter_bar.h"
#include "ui/common/velmor_icon.h"
#include "ui/grid/data_grid.h"
#include "ui/surface/record_table.h"

namespace velmor {

namespace {

constexpr int kHideWidth = 64;
const QColor kInterpreterFill(240, 240, 255);

}  // namespace

CRecordTablesDialog::CRecordTablesDialog(const SettingsFile& settings,
                                         const std::string& userDataSection,
                                         const std::string& fixedDataSection, QSize templateSize,
                                         QWidget* parent)
    : QDialog(parent),
      m_userTable(new CDataGrid(this)),
      m_fixedTable(new CDataGrid(this)),
      m_splitterBar(new CSplitterBar(this, m_userTable, m_fixedTable,
                                     [this](int upper, int total) {
                                         m_upperHeight = upper;
                                         m_splitFraction = double(upper) / total;
                                         LayoutTables();
                                     })),
      m_hideButton(new QPushButton("Hide", this)),
      m_statusBar(new QStatusBar(this)) {
    setModal(false);
    setWindowIcon(VelmorIcon());
    setSizeGripEnabled(false);
    m_statusBar->addWidget(new QLabel(m_statusBar), 1);
    m_statusBar->addWidget(new QLabel(m_statusBar), 1);
    m_hideButton->setAutoDefault(false);
    connect(m_hideButton, &QPushButton::clicked, this, &QWidget::hide);

    SetUpRecordTable(*m_userTable, settings, userDataSection, true);
    SetUpRecordTable(*m_fixedTable, settings, fixedDataSection, false);
    RebuildUserDataRows();
    BuildRecordRows(*m_fixedTable, FixedDataRows(m_recordVersion));

    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(templateSize);
    LayoutWindow();
}

// --- rows and records ---

void CRecordTablesDialog::RebuildUserDataRows() {
    BuildRecordRows(*m_userTable, UserDataRows());
}

void CRecordTablesDialog::RebuildFixedDataRows(int recordVersion) {
    m_recordVersion = recordVersion;
    BuildRecordRows(*m_fixedTable, FixedDataRows(recordVersion));
    setWindowTitle(TitleFor(recordVersion));
}

void CRecordTablesDialog::ShowUserData(const USER_DATA& record) {
    ShowRecordFields(*m_userTable, UserDataRows(), &record);
}

void CRecordTablesDialog::ShowFixedData(const void* record, int recordVersion) {
    if (recordVersion != m_recordVersion ||
        m_fixedTable->ItemCount() != int(FixedDataRows(recordVersion).size()))
        RebuildFixedDataRows(recordVersion);
    ShowRecordFields(*m_fixedTable, FixedDataRows(recordVersion), record);
}

void CRecordTablesDialog::ShowRecords(const RecordPair& pair, int recordVersion) {
    ShowUserData(pair.ud);
    ShowFixedData(pair.fd, recordVersion);
}

void CRecordTablesDialog::CommitEdits() {
    m_userTable->CommitEdit();
    m_fixedTable->CommitEdit();
}

int CRecordTablesDialog::ReadUserData(USER_DATA& record) {
    m_userTable->CommitEdit();
    return ReadRecordFields(*m_userTable, UserDataRows(), &record);
}

int CRecordTablesDialog::ReadFixedData(void* record, int recordVersion) {
    m_fixedTable->CommitEdit();
    if (recordVersion != m_recordVersion) return -1;
    return ReadRecordFields(*m_fixedTable, FixedDataRows(recordVersion), record);
}

int CRecordTablesDialog::ReadRecords(RecordPair& pair, int recordVersion) {
    CommitEdits();
    if (recordVersion != m_recordVersion) return -1;
    return ReadUserData(pair.ud) + ReadFixedData(pair.fd, recordVersion);
}

// --- interpreter mode ---

void CRecordTablesDialog::SetInterpreterMode(bool on) {
    m_interpreterMode = on;
    if (on) CommitEdits();
    m_userTable->setVisible(!on);
    m_fixedTable->setVisible(!on);
    update();
}

void CRecordTablesDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    for (CDataGrid* table : {m_userTable, m_fixedTable}) {
        if (table->isVisible() || table->geometry().isEmpty()) continue;
        const QRect area = table->geometry();
        painter.fillRect(area, kInterpreterFill);
        painter.setPen(Qt::black);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        painter.drawText(QRect(area.left() + 8, area.top(), area.width() - 8, area.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, "interpreter");
    }
}

// --- layout ---

int CRecordTablesDialog::LayoutControls(int statusTop) {
    return statusTop - kMargin - kButtonHeight - kMargin;
}

void CRecordTablesDialog::LayoutWindow() {
    const int statusHeight = m_statusBar->sizeHint().height();
    const int statusTop = height() - statusHeight;
    m_statusBar->setGeometry(0, statusTop, width(), statusHeight);
    m_hideButton->setGeometry(width() - kMargin - kHideWidth, statusTop - kMargin - kButtonHeight,
                              kHideWidth, kButtonHeight);
    const int frameBottom = LayoutControls(statusTop);
    m_frameArea = QRect(QPoint(kMargin, kMargin),
                        QPoint(width() - kMargin - 1, std::max(kMargin, frameBottom) - 1));
    // A new frame height keeps the split fraction.
    m_upperHeight = int(m_frameArea.height() * m_splitFraction + 1e-9);
    LayoutTables();
}

void CRecordTablesDialog::LayoutTables() {
    const QRect& frame = m_frameArea;
    const int upper =
        std::max(0, std::min(m_upperHeight, frame.height() - CSplitterBar::kThickness));
    const int lowerTop = frame.top() + upper + CSplitterBar::kThickness;
    m_userTable->setGeometry(frame.left(), frame.top(), frame.width(), upper);
    m_splitterBar->setGeometry(frame.left(), frame.top() + upper, frame.width(),
                               CSplitterBar::kThickness);
    m_fixedTable->setGeometry(frame.left(), lowerTop, frame.width(),
                              std::max(0, frame.bottom() + 1 - lowerTop));
    update();
}

void CRecordTablesDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutWindow();
}

// --- hiding ---

void CRecordTablesDialog::keyPressEvent(QKeyEvent* event) {
    // Enter presses the button that has the focus; anywhere else it hides the window (which
    // stays alive with its contents), as Escape and "Hide" do.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            if (auto* button = qobject_cast<QPushButton*>(focusWidget());
                button && button->isEnabled())
                button->click();
            else
                hide();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CRecordTablesDialog::reject() {
    hide();
}

}  // namespace velmor
