#include "ui/surface/record_tables_dialog.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <memory>
#include <vector>

#include "core/app/number_text.h"
#include "core/surface/provider.h"
#include "core/surface/record_text.h"
#include "core/surface/row_catalogue.h"
#include "ui/common/dialog_units.h"
#include "ui/common/splitter_bar.h"
#include "ui/common/velmor_icon.h"
#include "ui/grid/column_config.h"
#include "ui/grid/data_grid.h"

namespace velmor {

namespace {

constexpr int kHideWidth = 64;
const QColor kInterpreterFill(240, 240, 255);

const QSize kFinalTemplateSize(DluX(208), DluY(220));
const QSize kInitialTemplateSize(DluX(208), DluY(236));
constexpr int kCallWidth = 72;
constexpr int kUpdateWidth = 100;
constexpr int kLabelHeight = 18;
constexpr const char* kDllReturnPrefix = "DLL retrun = ";

constexpr double kCellMargin = 1.2;
constexpr int kTypeWidth = 60;
constexpr int kNameWidth = 80;
constexpr int kNamePadding = 12;    // beside the longest name, as a fitted column has
constexpr int kMaxNameWidth = 240;  // the default width of the name column at most
constexpr int kDataWidth = 80;
// "Courier New" with a cell height of 16 (cells) and 14 (headers): an em of 13 and 11 pixels.
constexpr int kCellFontPixels = 13;
constexpr int kHeaderFontPixels = 11;

QFont TableFont(int pixels) {
    QFont font;
    font.setFamilies({"Courier New", "DejaVu Sans Mono", "Liberation Mono", "monospace"});
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixels);
    font.setWeight(QFont::Normal);
    return font;
}

// The "name" column's default width: the longest name of the table's rows (of every record
// version for the FIXED_DATA table) in the cell font, as fitting the column would make it, so
// that no name is cut at the default size; at most kMaxNameWidth.
int NameColumnWidth(const QFont& font, bool userData) {
    const QFontMetrics metrics(font);
    int width = kNameWidth;
    const auto fit = [&](const std::vector<RecordRow>& rows) {
        for (const RecordRow& row : rows)
            width = std::max(
                width, metrics.horizontalAdvance(QString::fromStdString(row.name)) + kNamePadding);
    };
    if (userData) {
        fit(UserDataRows());
    } else {
        for (int version = kRecordVersion0; version <= kRecordVersion4; ++version)
            fit(FixedDataRows(version));
    }
    return std::min(width, kMaxNameWidth);
}

// Fonts, row margin, the four columns, the two profiles and the column configuration kept
// in `settings` under `section`. `userData` chooses the profiles "DefaultUD" and "Special"
// (else "Default" and "Special"). The last column takes the width the others leave; a stored
// configuration's widths win over the defaults.
void SetUpRecordTable(CDataGrid& grid, const SettingsFile& settings, const std::string& section,
                      bool userData) {
    grid.setFont(TableFont(kCellFontPixels));
    grid.horizontalHeader()->setFont(TableFont(kHeaderFontPixels));
    grid.horizontalHeader()->setStretchLastSection(true);
    grid.SetCellMargin(kCellMargin);
    grid.InsertHiddenLabelColumn();
    grid.InsertColumnTrait(kRecordColumnType, "type", Qt::AlignLeft, kTypeWidth, kRecordColumnType,
                           std::make_unique<CColumnTraitText>());
    grid.InsertColumnTrait(kRecordColumnName, "name", Qt::AlignLeft,
                           NameColumnWidth(grid.font(), userData), kRecordColumnName,
                           std::make_unique<CColumnTraitText>());
    grid.InsertColumnTrait(kRecordColumnData, "data", Qt::AlignLeft, kDataWidth, kRecordColumnData,
                           std::make_unique<CColumnTraitEdit>());

    auto config = std::make_unique<CColumnConfigSettingsFile>(settings, section);
    config->AddProfile(userData ? "DefaultUD" : "Default");
    config->AddProfile("Special");
    grid.SetupColumnConfig(std::move(config));
}

// How many pixels a table `tableWidth` wide lacks for its columns at their widths (the last one
// at its default) beside the vertical scroll bar; 0 or less when they fit.
int ColumnsShortfall(const CDataGrid& grid, int tableWidth) {
    int columns = 0;
    for (int column : grid.VisibleColumnsInOrder())
        columns += column == kRecordColumnData ? kDataWidth : grid.ColumnWidth(column);
    const int room = tableWidth - 2 * grid.frameWidth() -
                     grid.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &grid);
    return columns - room;
}

// Removes all rows and inserts the catalogue's rows with empty "data" cells.
void BuildRecordRows(CDataGrid& grid, const std::vector<RecordRow>& rows) {
    grid.DeleteAllItems();
    grid.InsertItems(0, int(rows.size()));
    std::vector<QString> types;
    std::vector<QString> names;
    types.reserve(rows.size());
    names.reserve(rows.size());
    for (const RecordRow& row : rows) {
        types.push_back(QString::fromLatin1(row.typeText));
        names.push_back(QString::fromStdString(row.name));
    }
    grid.SetColumnTexts(kRecordColumnType, types);
    grid.SetColumnTexts(kRecordColumnName, names);
}

// Writes the text form of every field into the "data" cells, in row order. Rows beyond the
// table are left out.
void ShowRecordFields(CDataGrid& grid, const std::vector<RecordRow>& rows, const void* record) {
    const std::size_t count = std::min(rows.size(), std::size_t(grid.ItemCount()));
    std::vector<QString> texts;
    texts.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        texts.push_back(QString::fromStdString(FieldToText(rows[i], record)));
    grid.SetColumnTexts(kRecordColumnData, texts);
    grid.viewport()->update();
}

// Reads every "data" cell back into its field, in row order; a cell that does not convert is
// rewritten as the text form dictates. Only rows present in both the catalogue and the
// table are read. Returns the number of cells that did not convert.
int ReadRecordFields(CDataGrid& grid, const std::vector<RecordRow>& rows, void* record) {
    const int count = int(std::min(rows.size(), std::size_t(grid.ItemCount())));
    const std::vector<QString>& cells = grid.ColumnTexts(kRecordColumnData);
    std::vector<std::pair<int, QString>> rewrites;
    std::string rewrite;
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const QByteArray utf8 = cells[i].toUtf8();
        if (!TextToField(rows[i], record, std::string_view(utf8.constData(), utf8.size()),
                         &rewrite))
            ++failed;
        if (!rewrite.empty()) rewrites.emplace_back(i, QString::fromStdString(rewrite));
    }
    // Rewritten after the loop: the cells are read through a reference into the table.
    for (const auto& [row, text] : rewrites) grid.SetItemText(row, kRecordColumnData, text);
    return failed;
}

// The width a push button needs to show its whole text: the text, the style's margin and the
// frame on both sides.
int TextWidthOf(const QPushButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    const QStyle* style = button.style();
    return button.fontMetrics().size(Qt::TextShowMnemonic, button.text()).width() +
           style->pixelMetric(QStyle::PM_ButtonMargin, &option, &button) +
           2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &button);
}

// Widths for buttons that share `room` pixels: their template widths when they fit; otherwise
// each gives up a share of the missing pixels in proportion to its template width, never going
// below the width its text needs (what one cannot give up, the others give). Below the sum of
// those widths, those widths.
std::vector<int> ShareButtonWidths(const std::vector<int>& widths, const std::vector<int>& least,
                                   int room) {
    std::vector<int> result = widths;
    std::vector<bool> fixed(widths.size(), false);
    for (;;) {
        int total = 0, flexible = 0;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            total += fixed[i] ? least[i] : widths[i];
            if (!fixed[i]) flexible += widths[i];
        }
        const int missing = total - room;
        if (missing <= 0 || flexible == 0) break;
        bool clamped = false;
        int given = 0, shared = 0;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            if (fixed[i]) {
                result[i] = least[i];
                continue;
            }
            // Cumulative rounding: the shares add up to exactly the missing pixels.
            shared += widths[i];
            const int share = int((long long)missing * shared / flexible) - given;
            given += share;
            result[i] = widths[i] - share;
            if (result[i] < least[i]) {
                fixed[i] = true;
                clamped = true;
            }
        }
        if (!clamped) break;
    }
    for (std::size_t i = 0; i < widths.size(); ++i) result[i] = std::max(result[i], least[i]);
    return result;
}

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
    // The default size holds the columns as they start (the names whole, "data" at its default
    // width) beside the vertical scroll bar.
    const int tableWidth = templateSize.width() - 2 * kMargin;
    const int shortfall = std::max(ColumnsShortfall(*m_userTable, tableWidth),
                                   ColumnsShortfall(*m_fixedTable, tableWidth));
    resize(templateSize + QSize(std::max(0, shortfall), 0));
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

// --- "UD FD Final" ---

CDialogUdFdFinal::CDialogUdFdFinal(const SettingsFile& settings, QWidget* parent)
    : CRecordTablesDialog(settings, kSectionProfileUdFinal, kSectionProfileFdFinal,
                          kFinalTemplateSize, parent) {
    setWindowTitle(TitleFor(RecordVersion()));
}

QString CDialogUdFdFinal::TitleFor(int) const {
    return kFinalTablesTitle;
}

// --- "UD FD Initial" ---

CDialogUdFdInitial::CDialogUdFdInitial(const SettingsFile& settings, QWidget* parent)
    : CRecordTablesDialog(settings, kSectionProfileUdInitial, kSectionProfileFdInitial,
                          kInitialTemplateSize, parent),
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
    // At the smallest width the three buttons still show their whole texts (a large font may
    // need more than the usual minimum).
    const int least = 4 * kMargin + TextWidthOf(*m_callButton) + TextWidthOf(*m_updateButton) +
                      TextWidthOf(*HideButton());
    setMinimumWidth(std::max(kMinimumWidth, least));
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

int CDialogUdFdInitial::ReadTablesBack(CSurfaceProvider& provider) {
    auto pair = std::make_unique<RecordPair>();
    const int failed = ReadRecords(*pair, provider.RecordVersion());
    if (failed >= 0) CopyRecordPair(provider.Initial(), *pair);
    return failed;
}

void CDialogUdFdInitial::SetInterpreterMode(bool on) {
    CRecordTablesDialog::SetInterpreterMode(on);
    EnableButtons();
}

void CDialogUdFdInitial::SetLongLoopRunning(bool running) {
    m_longLoop = running;
    EnableButtons();
}

void CDialogUdFdInitial::EnableButtons() {
    const bool enabled = !InterpreterMode() && !m_longLoop;
    m_callButton->setEnabled(enabled);
    m_updateButton->setEnabled(enabled);
}

int CDialogUdFdInitial::LayoutControls(int statusTop) {
    const int buttonTop = statusTop - kMargin - kButtonHeight;
    // "Call DLL" and "Update UD FD" at the left, "Hide" at the right, 6 pixels apart: in a
    // narrow window they share the width rather than overlap.
    QPushButton* hide = HideButton();
    const std::vector<int> widths = ShareButtonWidths(
        {kCallWidth, kUpdateWidth, kHideWidth},
        {TextWidthOf(*m_callButton), TextWidthOf(*m_updateButton), TextWidthOf(*hide)},
        width() - 4 * kMargin);
    m_callButton->setGeometry(kMargin, buttonTop, widths[0], kButtonHeight);
    m_updateButton->setGeometry(kMargin + widths[0] + kMargin, buttonTop, widths[1], kButtonHeight);
    hide->setGeometry(width() - kMargin - widths[2], buttonTop, widths[2], kButtonHeight);
    m_returnLabel->setGeometry(kMargin, buttonTop - 2 - kLabelHeight, width() - 2 * kMargin,
                               kLabelHeight);
    return buttonTop - 2 - kLabelHeight - 2;
}

QString CDialogUdFdInitial::TitleFor(int recordVersion) const {
    return InitialTablesTitle(recordVersion);
}

}  // namespace velmor
