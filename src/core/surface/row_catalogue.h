// The row catalogue of the interface records: one row per scalar field and per array element,
// one row per character array, in field order. Each row carries the type and name texts the
// record tables show and where its field lives in the record, so that the text form can read
// and write the field.
#pragma once

#include <string>
#include <vector>

namespace velmor {

enum class RowKind {
    kInt,      // int, 4 bytes
    kDouble,   // double, 8 bytes
    kChars,    // char array of `size` bytes, zero-terminated code page 932 text
    kPointer,  // 64-bit pointer, shown and edited as its value
};

struct RecordRow {
    const char* typeText;  // "int", "double", "char", "int*", "double*", "char*"
    std::string name;      // "x", "param[3]", "glass[21]", ...
    RowKind kind;
    int offset;  // byte offset of the field in its record
    int size;    // bytes of the field (4, 8, or the length of the char array)
};

// The row lists never grow beyond these limits.
constexpr int kMaxUserDataRows = 64;
constexpr int kMaxFixedDataRows = 8192;

// USER_DATA: 22 rows.
const std::vector<RecordRow>& UserDataRows();
// FIXED_DATA .. FIXED_DATA5 by record version 0..4: 227, 306, 935, 5734 and 5288 rows. A
// version outside 0..4 has no rows.
const std::vector<RecordRow>& FixedDataRows(int recordVersion);

// Title of the "UD FD Initial" window for the record version: "Initial USER_DATA FIXED_DATA",
// "Initial USER_DATA FIXED_DATA2", ... "Initial USER_DATA FIXED_DATA5". A version outside 0..4
// gets the version-0 title.
const char* InitialTablesTitle(int recordVersion);
// Title of the "UD FD Final" window, the same for every version.
inline constexpr const char* kFinalTablesTitle = "Final USER_DATA FIXED_DATA";

}  // namespace velmor
