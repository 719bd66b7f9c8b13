#include "ui/surface/record_table.h"

#include <QHeaderView>
#include <algorithm>
#include <memory>

#include "core/surface/record_text.h"
#include "ui/grid/column_config.h"
#include "ui/grid/data_grid.h"

namespace velmor {

namespace {

constexpr double kCellMargin = 1.2;
constexpr int kTypeWidth = 60;
constexpr int kNameWidth = 80;
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

}  // namespace

void SetUpRecordTable(CDataGrid& grid, const SettingsFile& settings, const std::string& section,
                      bool userData) {
    grid.setFont(TableFont(kCellFontPixels));
    grid.horizontalHeader()->setFont(TableFont(kHeaderFontPixels));
    grid.SetCellMargin(kCellMargin);
    grid.InsertHiddenLabelColumn();
    grid.InsertColumnTrait(kRecordColumnType, "type", Qt::AlignLeft, kTypeWidth, kRecordColumnType,
                           std::make_unique<CColumnTraitText>());
    grid.InsertColumnTrait(kRecordColumnName, "name", Qt::AlignLeft, kNameWidth, kRecordColumnName,
                           std::make_unique<CColumnTraitText>());
    auto data = std::make_unique<CColumnTraitEdit>();
    data->SetEditorFrame(true);
    grid.InsertColumnTrait(kRecordColumnData, "data", Qt::AlignLeft, kDataWidth, kRecordColumnData,
                           std::move(data));

    auto config = std::make_unique<CColumnConfigSettingsFile>(settings, section);
    config->AddProfile(userData ? "DefaultUD" : "Default");
    config->AddProfile("Special");
    grid.SetupColumnConfig(std::move(config));
}

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

void ShowRecordFields(CDataGrid& grid, const std::vector<RecordRow>& rows, const void* record) {
    const std::size_t count = std::min(rows.size(), std::size_t(grid.ItemCount()));
    std::vector<QString> texts;
    texts.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        texts.push_back(QString::fromStdString(FieldToText(rows[i], record)));
    grid.SetColumnTexts(kRecordColumnData, texts);
    grid.viewport()->update();
}

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

}  // namespace velmor
