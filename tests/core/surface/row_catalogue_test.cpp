#include "core/surface/row_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/surface/records.h"

namespace velmor {
namespace {

// The rows written compactly: runs of one type as "type: name name ...", runs joined by "; ",
// the rows base[0] .. base[n-1] of an array as "base[n]".
std::string Signature(const std::vector<RecordRow>& rows) {
    std::string text;
    for (std::size_t i = 0; i < rows.size();) {
        const std::string base = rows[i].name.substr(0, rows[i].name.find('['));
        std::size_t n = 0;
        while (i + n < rows.size() && rows[i + n].typeText == std::string(rows[i].typeText) &&
               rows[i + n].name == base + '[' + std::to_string(n) + ']')
            ++n;
        if (i == 0 || rows[i - 1].typeText != std::string(rows[i].typeText))
            text += std::string(i == 0 ? "" : "; ") + rows[i].typeText + ":";
        text += " " + (n > 0 ? base + '[' + std::to_string(n) + ']' : rows[i].name);
        i += n > 0 ? n : 1;
    }
    return text;
}

TEST(RowCatalogueTest, EveryTypeAndNameAsListed) {
    EXPECT_TRUE(FixedDataRows(5).empty());  // the signatures below fix every other count
    EXPECT_TRUE(FixedDataRows(-1).empty());

    const std::string optics = "wavelength pwavelength n1 n2 cv thic sdia k";
    const std::string optics3 =
        "int: type numb surf wave unit serial is_a_mirror is_in_mirror_space is_air "
        "ireserved[100] did_polar max_parameter max_extradata; double: Exr Exi Eyr Eyi Ezr Ezi "
        "Ewr Ewi dbreserved[100] " +
        optics;
    const std::string head3 = optics3 + " param[201] xdata[501]; char: glass[200] comment[200]";
    EXPECT_EQ(Signature(UserDataRows()),
              "double: x y z l m n ln mn nn path sag1 sag2 index dndx dndy dndz rel_surf_tran "
              "udreserved1 udreserved2 udreserved3 udreserved4; char: string[20]");
    EXPECT_EQ(Signature(FixedDataRows(0)),
              "int: type numb surf wave; double: " + optics +
                  " param[9] fdreserved1 fdreserved2 fdreserved3 fdreserved4 xdata[201]; char: "
                  "glass[21]");
    EXPECT_EQ(Signature(FixedDataRows(1)),
              "int: type numb surf wave unit; double: " + optics +
                  "; int: ireserved[20]; double: dbreserved[20] param[51] xdata[201]; char: "
                  "glass[21]");
    EXPECT_EQ(Signature(FixedDataRows(2)),
              head3 + "; int*: int_data; double*: db_data; char*: c_data");
    EXPECT_EQ(Signature(FixedDataRows(3)),
              head3 + "; int: datasurf_numvalues; double: datasurf_values[4801]");
    EXPECT_EQ(Signature(FixedDataRows(4)),
              optics3 +
                  " param[256]; char: glass[200] comment[200]; int: datasurf_numvalues; double: "
                  "datasurf_values[4801]");
    EXPECT_EQ(FixedDataRows(4).size(), 5288u);
}

// Rows cover their record in order: each row starts where the previous one ended, or at the
// next multiple of its alignment, and the record ends after the last row and its padding.
// With the names and types above this fixes every offset; a few are pinned absolutely.
void ExpectTiling(const std::vector<RecordRow>& rows, int recordSize) {
    int end = 0;
    for (const RecordRow& row : rows) {
        const int align = row.kind == RowKind::kChars ? 1 : row.size;
        EXPECT_EQ(row.offset, (end + align - 1) / align * align) << row.name;
        const int size = row.kind == RowKind::kInt ? 4
                         : row.kind == RowKind::kChars
                             ? std::stoi(row.name.substr(row.name.find('[') + 1))
                             : 8;
        EXPECT_EQ(row.size, size) << row.name;
        end = row.offset + row.size;
    }
    EXPECT_EQ((end + 7) / 8 * 8, recordSize);
}

TEST(RowCatalogueTest, RowsTileTheirRecordAtTheInterfaceOffsets) {
    ExpectTiling(UserDataRows(), sizeof(USER_DATA));
    ExpectTiling(FixedDataRows(0), sizeof(FIXED_DATA));
    ExpectTiling(FixedDataRows(1), sizeof(FIXED_DATA2));
    ExpectTiling(FixedDataRows(2), sizeof(FIXED_DATA3));
    ExpectTiling(FixedDataRows(3), sizeof(FIXED_DATA4));
    ExpectTiling(FixedDataRows(4), sizeof(FIXED_DATA5));

    EXPECT_EQ(FixedDataRows(0)[226].offset, 1792);    // glass[21]
    EXPECT_EQ(FixedDataRows(2)[222].offset, 1328);    // n1
    EXPECT_EQ(FixedDataRows(3)[5733].offset, 45800);  // datasurf_values[4800]
    EXPECT_EQ(FixedDataRows(4)[483].offset, 3416);    // param[255]
    EXPECT_EQ(FixedDataRows(4)[484].offset, 3424);    // glass[200]
    EXPECT_EQ(FixedDataRows(4)[5287].offset, 42232);  // datasurf_values[4800]
    EXPECT_EQ(std::string(InitialTablesTitle(4)), "Initial USER_DATA FIXED_DATA5");
    EXPECT_EQ(std::string(InitialTablesTitle(5)), "Initial USER_DATA FIXED_DATA");
}

TEST(RecordsTest, OpticalFieldsFollowTheRecordVersion) {
    RecordPair pair;
    WriteCv(pair, kRecordVersion2, 0.5);
    double cv = 0;
    std::memcpy(&cv, pair.fd + 1344, sizeof cv);
    EXPECT_EQ(cv, 0.5);
    EXPECT_EQ(pair.Fd3()->cv, 0.5);  // versions 2, 3 and 4 share the layout up to k
    WriteK(pair, kRecordVersion4, -1.5);
    WriteN2(pair, kRecordVersion4, 1.75);
    EXPECT_EQ(pair.Fd4()->k, -1.5);
    EXPECT_EQ(ReadN2(pair, kRecordVersion2), 1.75);
    WriteN1(pair, 5, 9.0);  // no field for an unknown version: nothing written
    EXPECT_EQ(ReadN1(pair, 5), 0.0);

    // What a call through the helper carries: the version's own record, all of it.
    const std::size_t sizes[] = {1816, 2368, 7416, 45808, 42240};
    for (int version = 0; version <= 4; ++version)
        EXPECT_EQ(FixedDataSize(version), sizes[version]);
    EXPECT_EQ(FixedDataSize(5), kFixedDataAreaSize);
}

}  // namespace
}  // namespace velmor
