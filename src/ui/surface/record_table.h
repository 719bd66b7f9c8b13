// A data grid used as a record table: one row per field of the row catalogue, columns
// "type" and "name" (read-only) and "data" (edited in place), the field's text form in the
// "data" cells.
#pragma once

#include <string>
#include <vector>

#include "core/app/settings_file.h"
#include "core/surface/row_catalogue.h"

namespace velmor {

class CDataGrid;

// Sub-item ids (and column indexes) of the record tables' columns; 0 is the label column.
enum RecordTableColumn : int {
    kRecordColumnType = 1,
    kRecordColumnName = 2,
    kRecordColumnData = 3,
};

// Fonts, row margin, the four columns, the two profiles and the column configuration kept
// in `settings` under `section`. `userData` chooses the profiles "DefaultUD" and "Special"
// (else "Default" and "Special").
void SetUpRecordTable(CDataGrid& grid, const SettingsFile& settings, const std::string& section,
                      bool userData);

// Removes all rows and inserts the catalogue's rows with empty "data" cells.
void BuildRecordRows(CDataGrid& grid, const std::vector<RecordRow>& rows);

// Writes the text form of every field into the "data" cells, in row order. Rows beyond the
// table are left out.
void ShowRecordFields(CDataGrid& grid, const std::vector<RecordRow>& rows, const void* record);

// Reads every "data" cell back into its field, in row order; a cell that does not convert is
// rewritten as the text form dictates. Only rows present in both the catalogue and the
// table are read. Returns the number of cells that did not convert.
int ReadRecordFields(CDataGrid& grid, const std::vector<RecordRow>& rows, void* record);

}  // namespace velmor
