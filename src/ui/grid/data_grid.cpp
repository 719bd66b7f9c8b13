#include "ui/grid/data_grid.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <set>

#include "core/app/ascii_case.h"

namespace velmor {

namespace {

constexpr int kMaxStoredColumns = 256;  // positions read from a configuration at most
constexpr int kMaxColumnWidth = 10000;  // widths beyond are taken as damaged settings
constexpr int kCellPadding = 12;        // added to the widest text when fitting a column
constexpr int kHeaderPadding = 16;

long long SteadySeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

std::u16string_view Utf16(const QString& text) {
    return {QStringView(text).utf16(), std::size_t(text.size())};
}

const QColor kUnfocusedSelection(204, 204, 204);

// `width` within the column's own width limits.
int WithinLimits(const ColumnState& state, int width) {
    if (state.maxWidth >= 0) width = std::min(width, state.maxWidth);
    if (state.minWidth >= 0) width = std::max(width, state.minWidth);
    return width;
}

}  // namespace

// --- CDataGridDelegate ---

void CDataGridDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    bool focusCell = m_grid->hasFocus() && index.row() == m_grid->FocusRow() &&
                     index.column() == m_grid->FocusColumn();
    if (focusCell)
        option->state |= QStyle::State_HasFocus;
    else
        option->state &= ~QStyle::State_HasFocus;
    // The table that does not have the keyboard shows its selection in grey, so that the user
    // sees which table the keys go to.
    if ((option->state & QStyle::State_Selected) && !m_grid->HasInputFocus()) {
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            option->palette.setColor(group, QPalette::Highlight, kUnfocusedSelection);
            option->palette.setColor(group, QPalette::HighlightedText, Qt::black);
        }
    }
}

// --- CDataGrid ---

CDataGrid::CDataGrid(QWidget* parent)
    : QTableView(parent), m_model(new CDataGridModel(this)), m_clock(SteadySeconds) {
    setModel(m_model);
    setItemDelegate(new CDataGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(8);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    // The divider double-click fits over all rows, not only the rows in view.
    disconnect(header, SIGNAL(sectionHandleDoubleClicked(int)), this,
               SLOT(resizeColumnToContents(int)));
    connect(header, &QHeaderView::sectionHandleDoubleClicked, this, [this](int column) {
        CColumnTrait* trait = ColumnTrait(column);
        if (trait && trait->State().resizable && IsColumnVisible(column)) {
            FitColumnWidth(column);
            SaveColumnState();
        }
    });
    // A layout the user drags into shape is saved when the drag ends; the wheel over any part
    // of the grid ends an edit.
    header->viewport()->installEventFilter(this);
    viewport()->installEventFilter(this);
    verticalScrollBar()->installEventFilter(this);
    horizontalScrollBar()->installEventFilter(this);
    connect(header, &QHeaderView::sectionResized, this, &CDataGrid::OnSectionResized);
    connect(header, &QHeaderView::sectionMoved, this, &CDataGrid::OnSectionMoved);
    connect(header, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = CreateHeaderMenu(this);
        menu->exec(horizontalHeader()->mapToGlobal(pos));
        delete menu;
    });
    ApplyCellMargin();
}

CDataGrid::~CDataGrid() {
    // An open editor goes with the grid; nothing is saved at this moment.
    if (m_editor) {
        m_editor->disconnect(this);
        delete m_editor.data();
    }
}

// --- set-up ---

void CDataGrid::SetCellMargin(double factor) {
    m_cellMargin = factor >= 1.0 ? factor : 1.0;
    ApplyCellMargin();
}

void CDataGrid::ApplyCellMargin() {
    QFontMetrics metrics(font());
    int height = std::max(1, int(metrics.height() * m_cellMargin));
    verticalHeader()->setDefaultSectionSize(height);
}

void CDataGrid::InsertHiddenLabelColumn() {
    auto trait = std::make_unique<CColumnTraitText>();
    trait->State().alwaysHidden = true;
    trait->State().resizable = false;
    int column = InsertColumnTrait(0, QString(), Qt::AlignLeft, 0, 0, std::move(trait));
    horizontalHeader()->hideSection(column);
}

int CDataGrid::InsertColumnTrait(int column, const QString& title, Qt::Alignment alignment,
                                 int width, int subItemId, std::unique_ptr<CColumnTrait> trait) {
    if (!trait) trait = std::make_unique<CColumnTraitText>();
    column = std::clamp(column, 0, ColumnCount());
    CommitEdit();
    if (m_focusColumn >= column) ++m_focusColumn;
    width = std::clamp(width, 0, kMaxColumnWidth);
    trait->State().restoreWidth = width;
    ColumnInfo info;
    info.subItemId = subItemId;
    info.defaultWidth = width;
    info.trait = std::move(trait);
    m_columns.insert(m_columns.begin() + column, std::move(info));
    m_model->InsertColumn(column, title, alignment & Qt::AlignHorizontal_Mask);
    ApplyWidth(column, width);
    if (!m_columns[column].trait->State().resizable)
        horizontalHeader()->setSectionResizeMode(column, QHeaderView::Fixed);
    return column;
}

void CDataGrid::SetupColumnConfig(std::unique_ptr<CColumnConfigProfiles> config) {
    if (m_config) SaveColumnState();
    m_config = std::move(config);
    if (!m_config) return;
    if (!m_config->HasDefaultConfig()) WriteColumns(m_config->DefaultConfig());
    LoadColumnState();
}

// --- rows and cells ---

void CDataGrid::InsertItems(int row, int count) {
    m_model->InsertRows(row, count);
}

void CDataGrid::DeleteAllItems() {
    CommitEdit();
    m_model->RemoveAllRows();
    m_searchRow = -1;
}

QString CDataGrid::GetItemText(int row, int column) const {
    return m_model->Text(row, column);
}

void CDataGrid::SetItemText(int row, int column, const QString& text) {
    m_model->SetText(row, column, text);
}

void CDataGrid::SetColumnTexts(int column, const std::vector<QString>& texts, int firstRow) {
    m_model->SetColumnTexts(column, texts, firstRow);
}

const std::vector<QString>& CDataGrid::ColumnTexts(int column) const {
    static const std::vector<QString> kNone;
    if (column < 0 || column >= ColumnCount()) return kNone;
    return m_model->ColumnTexts(column);
}

// --- columns ---

CColumnTrait* CDataGrid::ColumnTrait(int column) const {
    if (column < 0 || column >= int(m_columns.size())) return nullptr;
    return m_columns[column].trait.get();
}

int CDataGrid::SubItemId(int column) const {
    if (column < 0 || column >= int(m_columns.size())) return -1;
    return m_columns[column].subItemId;
}

int CDataGrid::ColumnBySubItem(int subItemId) const {
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].subItemId == subItemId) return int(i);
    return -1;
}

QString CDataGrid::ColumnTitle(int column) const {
    return m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

bool CDataGrid::IsColumnVisible(int column) const {
    if (column < 0 || column >= ColumnCount()) return false;
    return !horizontalHeader()->isSectionHidden(column);
}

int CDataGrid::ColumnWidth(int column) const {
    if (!IsColumnVisible(column)) return 0;
    return horizontalHeader()->sectionSize(column);
}

void CDataGrid::ApplyWidth(int column, int width) {
    CColumnTrait* trait = ColumnTrait(column);
    if (!trait) return;
    width = std::clamp(WithinLimits(trait->State(), width), 0, kMaxColumnWidth);
    bool adjusting = m_adjusting;
    m_adjusting = true;
    horizontalHeader()->resizeSection(column, width);
    m_adjusting = adjusting;
}

void CDataGrid::ShowColumn(int column, bool show) {
    CColumnTrait* trait = ColumnTrait(column);
    if (!trait || IsColumnVisible(column) == show) return;
    ColumnState& state = trait->State();
    if (show && state.alwaysHidden) return;
    // The last visible column stays: without columns the header, and with it the menu that
    // shows them again, would be gone.
    if (!show && VisibleColumnsInOrder().size() <= 1) return;
    CommitEdit();
    if (show) {
        horizontalHeader()->showSection(column);
        int width = state.restoreWidth > 0 ? state.restoreWidth : m_columns[column].defaultWidth;
        ApplyWidth(column, width);
    } else {
        state.restoreWidth = ColumnWidth(column);
        horizontalHeader()->hideSection(column);
        if (m_focusColumn == column) UpdateFocusCell(FocusRow(), -1);
    }
    SaveColumnState();
}

std::vector<int> CDataGrid::VisibleColumnsInOrder() const {
    std::vector<int> columns;
    const QHeaderView* header = horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        int column = header->logicalIndex(visual);
        CColumnTrait* trait = ColumnTrait(column);
        if (trait && !trait->State().alwaysHidden && !header->isSectionHidden(column))
            columns.push_back(column);
    }
    return columns;
}

int CDataGrid::FirstVisibleColumn() const {
    std::vector<int> columns = VisibleColumnsInOrder();
    return columns.empty() ? -1 : columns.front();
}

int CDataGrid::ContentWidth(int column) const {
    QFontMetrics cells(font());
    int width = 0;
    for (const QString& text : m_model->ColumnTexts(column))
        width = std::max(width, cells.horizontalAdvance(text));
    QFontMetrics titles(horizontalHeader()->font());
    int title = titles.horizontalAdvance(ColumnTitle(column)) + kHeaderPadding;
    return std::max(width + kCellPadding, title);
}

void CDataGrid::FitColumnWidth(int column) {
    if (!IsColumnVisible(column)) return;
    ApplyWidth(column, ContentWidth(column));
}

void CDataGrid::FitAllColumnWidths() {
    for (int column : VisibleColumnsInOrder()) FitColumnWidth(column);
}

bool CDataGrid::eventFilter(QObject* watched, QEvent* event) {
    // The wheel anywhere over the grid ends an edit keeping its text, then scrolls: the editor
    // never stays open over a cell the grid moved away.
    if (event->type() == QEvent::Wheel && m_editor) CommitEdit();
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonRelease &&
        m_headerDragged) {
        // Saved after the header has finished the drag.
        QMetaObject::invokeMethod(
            this, [this] { SaveColumnState(); }, Qt::QueuedConnection);
        m_headerDragged = false;
    }
    return QTableView::eventFilter(watched, event);
}

void CDataGrid::SaveColumnState() {
    m_headerDragged = false;
    if (!m_config) return;
    m_config->RemoveCurrentConfig();
    WriteColumns(*m_config);
}

void CDataGrid::WriteColumns(CColumnConfigSection& target) const {
    std::vector<int> columns = VisibleColumnsInOrder();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        target.SetIntSetting(ColumnKey(kKeyColumnData, int(i)), SubItemId(columns[i]));
        target.SetIntSetting(ColumnKey(kKeyColumnWidth, int(i)), ColumnWidth(columns[i]));
    }
    target.SetIntSetting(kKeyColumnCount, int(columns.size()));
}

void CDataGrid::LoadColumnState() {
    if (!m_config) return;
    int count = m_config->GetIntSetting(kKeyColumnCount, -1);
    if (count < 0) return;
    count = std::min(count, kMaxStoredColumns);

    // Stored positions that name no column, or a column twice, are passed over.
    std::vector<std::pair<int, int>> listed;  // column, width
    std::vector<bool> used(m_columns.size(), false);
    for (int i = 0; i < count; ++i) {
        int column = ColumnBySubItem(m_config->GetIntSetting(ColumnKey(kKeyColumnData, i), -1));
        if (column < 0 || used[column] || m_columns[column].trait->State().alwaysHidden) continue;
        used[column] = true;
        int width = m_config->GetIntSetting(ColumnKey(kKeyColumnWidth, i), -1);
        if (width <= 0 || width > kMaxColumnWidth) width = m_columns[column].defaultWidth;
        listed.emplace_back(column, width);
    }
    // A configuration that shows nothing shows every column as inserted.
    if (listed.empty()) {
        for (std::size_t column = 0; column < m_columns.size(); ++column) {
            if (m_columns[column].trait->State().alwaysHidden) continue;
            used[column] = true;
            listed.emplace_back(int(column), m_columns[column].defaultWidth);
        }
    }

    CommitEdit();
    QHeaderView* header = horizontalHeader();
    bool adjusting = m_adjusting;
    m_adjusting = true;
    int visual = 0;
    for (std::size_t column = 0; column < m_columns.size(); ++column) {
        if (!m_columns[column].trait->State().alwaysHidden) continue;
        header->moveSection(header->visualIndex(int(column)), visual++);
    }
    for (auto [column, width] : listed) {
        header->moveSection(header->visualIndex(column), visual++);
        header->showSection(column);
        ApplyWidth(column, width);
    }
    for (std::size_t column = 0; column < m_columns.size(); ++column) {
        ColumnState& state = m_columns[column].trait->State();
        if (used[column] || state.alwaysHidden) continue;
        if (!header->isSectionHidden(int(column))) state.restoreWidth = ColumnWidth(int(column));
        header->hideSection(int(column));
    }
    m_adjusting = adjusting;
    if (m_focusColumn >= 0 && !IsColumnVisible(m_focusColumn)) UpdateFocusCell(FocusRow(), -1);
}

void CDataGrid::ResetColumnsToDefault() {
    if (!m_config) return;
    m_config->ResetToDefault();
    LoadColumnState();
}

void CDataGrid::SwitchProfile(const std::string& profile) {
    if (!m_config) return;
    SaveColumnState();
    m_config->SetActiveProfile(profile);
    LoadColumnState();
}

QMenu* CDataGrid::CreateHeaderMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    for (int column = 0; column < ColumnCount(); ++column) {
        if (m_columns[column].trait->State().alwaysHidden) continue;
        QAction* action = menu->addAction(ColumnTitle(column));
        action->setCheckable(true);
        action->setChecked(IsColumnVisible(column));
        action->setEnabled(!IsColumnVisible(column) || VisibleColumnsInOrder().size() > 1);
        connect(action, &QAction::triggered, this,
                [this, column] { ShowColumn(column, !IsColumnVisible(column)); });
    }
    if (m_config) {
        menu->addSeparator();
        // The reset entry and the profile submenu keep their Japanese titles: those are the
        // texts this menu has always shown.
        QAction* reset = menu->addAction(QStringLiteral("リセット 列(縦)"));
        connect(reset, &QAction::triggered, this, [this] { ResetColumnsToDefault(); });
        std::vector<std::string> profiles = m_config->Profiles();
        if (!profiles.empty()) {
            QMenu* submenu = menu->addMenu(QStringLiteral("列(縦) プロフィール"));
            std::string active = m_config->ActiveProfile();
            for (const std::string& profile : profiles) {
                QAction* action = submenu->addAction(QString::fromStdString(profile));
                action->setCheckable(true);
                action->setChecked(profile == active);
                connect(action, &QAction::triggered, this,
                        [this, profile] { SwitchProfile(profile); });
            }
        }
    }
    return menu;
}

void CDataGrid::OnSectionResized(int column, int, int newSize) {
    if (m_adjusting) return;
    CColumnTrait* trait = ColumnTrait(column);
    if (!trait || horizontalHeader()->isSectionHidden(column)) return;
    const int width = WithinLimits(trait->State(), newSize);
    if (width != newSize) ApplyWidth(column, width);
    m_headerDragged = true;
    PlaceEditor();
}

void CDataGrid::OnSectionMoved(int, int, int) {
    if (m_adjusting) return;
    // The always-hidden columns stay in front of every visible one.
    QHeaderView* header = horizontalHeader();
    m_adjusting = true;
    int visual = 0;
    for (std::size_t column = 0; column < m_columns.size(); ++column) {
        if (!m_columns[column].trait->State().alwaysHidden) continue;
        if (header->visualIndex(int(column)) != visual)
            header->moveSection(header->visualIndex(int(column)), visual);
        ++visual;
    }
    m_adjusting = false;
    UpdateFocusCell(FocusRow(), -1);
    PlaceEditor();
    // Saved now: the header's mouse release, which saves a dragged width, comes before the
    // header moves the section.
    SaveColumnState();
}

// --- focus cell and editing ---

int CDataGrid::FocusRow() const {
    QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CDataGrid::UpdateFocusCell(int row, int column) {
    m_focusColumn = IsColumnVisible(column) ? column : -1;
    // The view's current index carries the focused row; its column must be a visible one so
    // that the view's own row movement works.
    int current = m_focusColumn >= 0 ? m_focusColumn : FirstVisibleColumn();
    if (row >= 0 && row < ItemCount() && current >= 0)
        selectionModel()->setCurrentIndex(m_model->index(row, current),
                                          QItemSelectionModel::NoUpdate);
    viewport()->update();
}

void CDataGrid::SetFocusCell(int row, int column) {
    if (row < 0 || row >= ItemCount()) return;
    int current = IsColumnVisible(column) ? column : FirstVisibleColumn();
    if (current < 0) return;
    selectionModel()->setCurrentIndex(
        m_model->index(row, current),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    UpdateFocusCell(row, column);
}

QRect CDataGrid::CellRect(int row, int column) const {
    return visualRect(m_model->index(row, column));
}

bool CDataGrid::EditCell(int row, int column) {
    CColumnTrait* trait = ColumnTrait(column);
    if (!trait || row < 0 || row >= ItemCount() || !IsColumnVisible(column)) return false;
    if (trait->IsCellReadOnly(*this, row, column)) return false;
    CommitEdit();
    scrollTo(m_model->index(row, column));
    CCellEditorText* editor = trait->CreateEditor(*this, row, column);
    if (!editor) return false;
    bool refuse = false;
    emit cellEditBegin(row, column, &refuse);
    if (refuse) {
        delete editor;
        return false;
    }
    m_editor = editor;
    connect(editor, &CCellEditorText::editEnded, this, &CDataGrid::OnEditorEnded);
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
    return true;
}

void CDataGrid::PlaceEditor() {
    if (m_editor) m_editor->setGeometry(CellRect(m_editor->Row(), m_editor->Column()));
}

void CDataGrid::CommitEdit() {
    if (m_editor) m_editor->EndEdit(true);
}

void CDataGrid::OnEditorEnded(CCellEditorText* editor, bool keep) {
    QString text = editor->text();
    int row = editor->Row();
    int column = editor->Column();
    bool changed = keep && editor->Modified();
    if (editor->hasFocus()) setFocus(Qt::OtherFocusReason);
    editor->hide();
    if (m_editor == editor) m_editor = nullptr;
    bool refuse = false;
    emit cellEditEnd(row, column, changed ? &text : nullptr, &refuse);
    if (changed && !refuse) m_model->SetText(row, column, text);
    editor->deleteLater();
    viewport()->update();  // the selection's colour follows the focus
}

// --- input ---

void CDataGrid::mousePressEvent(QMouseEvent* event) {
    QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        QTableView::mousePressEvent(event);
        return;
    }
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    int row = index.row();
    int column = index.column();
    bool startEdit = false;
    bool modifiers = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
    CColumnTrait* trait = ColumnTrait(column);
    if (event->button() == Qt::LeftButton && !modifiers && !m_inDoubleClick && trait &&
        !trait->IsCellReadOnly(*this, row, column)) {
        bool isFocusCell = row == FocusRow() && column == m_focusColumn;
        startEdit = trait->OnClickEditStart(*this, row, column, isFocusCell, false);
    }
    int focusColumnBefore = m_focusColumn;
    QTableView::mousePressEvent(event);
    UpdateFocusCell(row, column);
    if (focusColumnBefore != column) startEdit = false;
    if (startEdit) EditCell(row, column);
}

void CDataGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    m_inDoubleClick = true;
    QTableView::mouseDoubleClickEvent(event);
    m_inDoubleClick = false;
}

void CDataGrid::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool control = modifiers & Qt::ControlModifier;
    const int key = event->key();
    if (key == Qt::Key_Left || key == Qt::Key_Right) {
        MoveFocusColumn(key == Qt::Key_Right);
        event->accept();
        return;
    }
    if (key == Qt::Key_F2) {
        if (FocusRow() >= 0 && m_focusColumn >= 0) EditCell(FocusRow(), m_focusColumn);
        event->accept();
        return;
    }
    if (control && key == Qt::Key_A) {
        if (selectionMode() != QAbstractItemView::SingleSelection &&
            selectionMode() != QAbstractItemView::NoSelection)
            selectAll();
        event->accept();
        return;
    }
    if (control && key == Qt::Key_C) {
        CopyToClipboard();
        event->accept();
        return;
    }
    if (control && key == Qt::Key_Plus && (modifiers & Qt::KeypadModifier)) {
        FitAllColumnWidths();
        SaveColumnState();
        event->accept();
        return;
    }
    if (key == Qt::Key_Space && !control) {
        event->accept();  // text cells have no check image to toggle
        return;
    }
    if (!(modifiers & Qt::AltModifier) && key > Qt::Key_Space && key <= Qt::Key_AsciiTilde) {
        QString text = event->text();
        QChar typed = (!text.isEmpty() && text[0].isPrint()) ? text[0] : QChar(key);
        IncrementalSearch(typed, control);
        event->accept();
        return;
    }
    if (!control && !event->text().isEmpty() && event->text()[0].isPrint() &&
        !event->text()[0].isSpace()) {
        IncrementalSearch(event->text()[0], false);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CDataGrid::MoveFocusColumn(bool forward) {
    std::vector<int> columns = VisibleColumnsInOrder();
    if (columns.empty()) return;
    auto at = std::find(columns.begin(), columns.end(), m_focusColumn);
    int target = columns.front();
    if (at != columns.end()) {
        std::ptrdiff_t position = at - columns.begin() + (forward ? 1 : -1);
        position = std::clamp<std::ptrdiff_t>(position, 0, std::ptrdiff_t(columns.size()) - 1);
        target = columns[position];
    }
    UpdateFocusCell(FocusRow(), target);
    if (FocusRow() >= 0) scrollTo(m_model->index(FocusRow(), target));
}

void CDataGrid::IncrementalSearch(QChar typed, bool control) {
    if (control) {
        m_searchText.clear();
        return;
    }
    const long long now = m_clock ? m_clock() : 0;
    const int row = FocusRow();
    if (now - m_searchTime >= 2 || m_focusColumn != m_searchColumn || row != m_searchRow)
        m_searchText.clear();
    m_searchTime = now;
    m_searchColumn = m_focusColumn;
    m_searchRow = row;
    // The same single character again searches on for the next row.
    if (!(m_searchText.size() == 1 && m_searchText[0] == typed)) m_searchText += typed;

    const int column = m_focusColumn >= 0 ? m_focusColumn : FirstVisibleColumn();
    const int rows = ItemCount();
    if (column < 0 || rows == 0) return;
    int start = row < 0 ? 0 : row;
    if (m_searchText.size() == 1 && row >= 0) start = row + 1;
    const std::vector<QString>& texts = m_model->ColumnTexts(column);
    for (int k = 0; k < rows; ++k) {
        int candidate = (start + k) % rows;
        if (!StartsWithIgnoringCase(Utf16(texts[candidate]), Utf16(m_searchText))) continue;
        int current = m_focusColumn >= 0 ? m_focusColumn : column;
        selectionModel()->setCurrentIndex(
            m_model->index(candidate, current),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        UpdateFocusCell(candidate, m_focusColumn);
        scrollTo(m_model->index(candidate, current));
        m_searchRow = candidate;
        return;
    }
}

QString CDataGrid::SelectedRowsText() const {
    std::set<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row) rows.insert(row);
    std::vector<int> columns = VisibleColumnsInOrder();
    QString text;
    for (int row : rows) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0) text += QLatin1Char('\t');
            text += m_model->Text(row, columns[i]);
        }
        text += QLatin1Char('\n');
    }
    return text;
}

void CDataGrid::CopyToClipboard() const {
    QApplication::clipboard()->setText(SelectedRowsText());
}

bool CDataGrid::HasInputFocus() const {
    return hasFocus() || (m_editor && m_editor->hasFocus());
}

void CDataGrid::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    viewport()->update();
}

void CDataGrid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void CDataGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) ApplyCellMargin();
}

QModelIndex CDataGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // Home and End go to the first and last row, as in a list; the column stays.
    if ((action == MoveHome || action == MoveEnd) && ItemCount() > 0) {
        QModelIndex current = currentIndex();
        int column = current.isValid() ? current.column() : FirstVisibleColumn();
        if (column >= 0) return m_model->index(action == MoveHome ? 0 : ItemCount() - 1, column);
    }
    return QTableView::moveCursor(action, modifiers);
}

void CDataGrid::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    PlaceEditor();
}

}  // namespace velmor
