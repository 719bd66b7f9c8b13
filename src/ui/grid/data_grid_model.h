#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace velmor {

// The cell texts of a data grid as plain strings, stored column by column: filling or reading
// thousands of rows costs a few string copies and one change notice.
class CDataGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void InsertColumn(int column, const QString& title, Qt::Alignment alignment);
    void InsertRows(int row, int count);
    void RemoveAllRows();
    const QString& Text(int row, int column) const;
    void SetText(int row, int column, const QString& text);
    void SetColumnTexts(int column, const std::vector<QString>& texts, int firstRow);
    const std::vector<QString>& ColumnTexts(int column) const { return m_cells[column]; }

private:
    struct Column {
        QString title;
        Qt::Alignment alignment;
    };
    std::vector<Column> m_columns;
    std::vector<std::vector<QString>> m_cells;  // [column][row]
    int m_rows = 0;
};

}  // namespace velmor
