#include "ui/grid/data_grid_model.h"

#include <algorithm>

namespace velmor {

namespace {

const QString kEmpty;

}  // namespace

int CDataGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int CDataGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant CDataGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows || index.column() >= columnCount()) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return m_cells[index.column()][index.row()];
        case Qt::TextAlignmentRole:
            return int(m_columns[index.column()].alignment | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant CDataGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return m_columns[section].title;
    if (role == Qt::TextAlignmentRole) return int(m_columns[section].alignment | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags CDataGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void CDataGridModel::InsertColumn(int column, const QString& title, Qt::Alignment alignment) {
    column = std::clamp(column, 0, columnCount());
    beginInsertColumns(QModelIndex(), column, column);
    m_columns.insert(m_columns.begin() + column, Column{title, alignment});
    m_cells.insert(m_cells.begin() + column, std::vector<QString>(m_rows));
    endInsertColumns();
}

void CDataGridModel::InsertRows(int row, int count) {
    if (count <= 0) return;
    row = std::clamp(row, 0, m_rows);
    beginInsertRows(QModelIndex(), row, row + count - 1);
    for (auto& cells : m_cells) cells.insert(cells.begin() + row, count, QString());
    m_rows += count;
    endInsertRows();
}

void CDataGridModel::RemoveAllRows() {
    if (m_rows == 0) return;
    beginRemoveRows(QModelIndex(), 0, m_rows - 1);
    for (auto& cells : m_cells) cells.clear();
    m_rows = 0;
    endRemoveRows();
}

const QString& CDataGridModel::Text(int row, int column) const {
    if (row < 0 || row >= m_rows || column < 0 || column >= columnCount()) return kEmpty;
    return m_cells[column][row];
}

void CDataGridModel::SetText(int row, int column, const QString& text) {
    if (row < 0 || row >= m_rows || column < 0 || column >= columnCount()) return;
    m_cells[column][row] = text;
    QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void CDataGridModel::SetColumnTexts(int column, const std::vector<QString>& texts, int firstRow) {
    if (column < 0 || column >= columnCount() || firstRow < 0 || firstRow >= m_rows) return;
    int count = int(std::min<std::size_t>(texts.size(), std::size_t(m_rows - firstRow)));
    if (count == 0) return;
    std::copy_n(texts.begin(), count, m_cells[column].begin() + firstRow);
    emit dataChanged(index(firstRow, column), index(firstRow + count - 1, column),
                     {Qt::DisplayRole});
}

}  // namespace velmor
