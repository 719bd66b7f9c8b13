// The [RECORDS] rows of a session: the initial USER_DATA and FIXED_DATA rows, by the record
// tables' row names and text form, that differ from what a fresh load of the same source gave.
#pragma once

#include <string>
#include <vector>

#include "core/app/session_file.h"
#include "core/surface/records.h"
#include "core/surface/row_catalogue.h"

namespace velmor {

// The row of that table name: USER_DATA's rows first, then those of the version's FIXED_DATA
// (`inUserData` tells which record it lives in). nullptr when neither has it.
const RecordRow* FindRecordRow(const std::string& name, int recordVersion, bool* inUserData);

// Every row of `current` whose text differs from its text in `fresh`, in table order (USER_DATA,
// then FIXED_DATA of the version). Pointer rows are left out: an address means nothing to the
// process that reads the session.
std::vector<SessionEntry> ChangedRecordRows(const RecordPair& current, const RecordPair& fresh,
                                            int recordVersion);

// Writes the rows into `initial` through the tables' text form, in order. A row that the
// version does not have, or whose text its field cannot hold (a number that does not fit, a
// text too long or with characters code page 932 lacks), is not applied: the field keeps what
// it held and `problems` gets one line naming it. Answers the number of rows applied.
int ApplyRecordRows(RecordPair& initial, int recordVersion, const std::vector<SessionEntry>& rows,
                    std::vector<std::string>* problems);

}  // namespace velmor
