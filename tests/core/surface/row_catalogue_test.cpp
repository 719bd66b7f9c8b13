#include "surface/row_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "surface/records.h"

namespace velmor {
namespace {

// The catalogue written out independently of the code: runs of rows of one type, either
// space-separated scalar names or one array name with a count (rows name[0..count-1]).
struct Run {
    const char* type;
    const char* names;
    int count = 0;
};

std::vector<std::pair<std::string, std::string>> Expand(const std::vector<Run>& runs) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const Run& run : runs) {
        std::istringstream names(run.names);
        std::string name;
        if (run.count > 0) {
            for (int i = 0; i < run.count; ++i)
                rows.emplace_back(run.type, std::string(run.names) + '[' + std::to_string(i) + ']');
        } else {
            while (names >> name) rows.emplace_back(run.type, name);
        }
    }
    return rows;
}

const char* const kOptics = "wavelength pwavelength n1 n2 cv thic sdia k";

// clang-format off
const std::vector<Run> kUserData = {
    {"double", "x y z l m n ln mn nn path sag1 sag2 index dndx dndy dndz rel_surf_tran "
               "udreserved1 udreserved2 udreserved3 udreserved4"},
    {"char", "string[20]"}};
const std::vector<Run> kFixedData = {
    {"int", "type numb surf wave"}, {"double", kOptics}, {"double", "param", 9},
    {"double", "fdreserved1 fdreserved2 fdreserved3 fdreserved4"}, {"double", "xdata", 201},
    {"char", "glass[21]"}};
const std::vector<Run> kFixedData2 = {
    {"int", "type numb surf wave unit"}, {"double", kOptics}, {"int", "ireserved", 20},
    {"double", "dbreserved", 20}, {"double", "param", 51}, {"double", "xdata", 201},
    {"char", "glass[21]"}};
const std::vector<Run> kFixedData3Head = {
    {"int", "type numb surf wave unit serial is_a_mirror is_in_mirror_space is_air"},
    {"int", "ireserved", 100}, {"int", "did_polar max_parameter max_extradata"},
    {"double", "Exr Exi Eyr Eyi Ezr Ezi Ewr Ewi"}, {"double", "dbreserved", 100},
    {"double", kOptics}, {"double", "param", 201}, {"double", "xdata", 501},
    {"char", "glass[200] comment[200]"}};
// clang-format on

std::vector<Run> WithTail(std::vector<Run> runs, const std::vector<Run>& tail) {
    runs.insert(runs.end(), tail.begin(), tail.end());
    return runs;
}

void ExpectRows(const std::vector<RecordRow>& rows, const std::vector<Run>& runs) {
    const auto expected = Expand(runs);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].typeText, expected[i].first) << "row " << i;
        EXPECT_EQ(rows[i].name, expected[i].second) << "row " << i;
    }
}

TEST(RowCatalogueTest, CountsAndEveryTypeAndNameAsListed) {
    EXPECT_EQ(UserDataRows().size(), 22u);
    EXPECT_EQ(FixedDataRows(0).size(), 227u);
    EXPECT_EQ(FixedDataRows(1).size(), 306u);
    EXPECT_EQ(FixedDataRows(2).size(), 935u);
    EXPECT_EQ(FixedDataRows(3).size(), 5734u);
    EXPECT_TRUE(FixedDataRows(-1).empty());
    EXPECT_TRUE(FixedDataRows(4).empty());

    ExpectRows(UserDataRows(), kUserData);
    ExpectRows(FixedDataRows(0), kFixedData);
    ExpectRows(FixedDataRows(1), kFixedData2);
    ExpectRows(FixedDataRows(2),
               WithTail(kFixedData3Head,
                        {{"int*", "int_data"}, {"double*", "db_data"}, {"char*", "c_data"}}));
    ExpectRows(FixedDataRows(3), WithTail(kFixedData3Head, {{"int", "datasurf_numvalues"},
                                                            {"double", "datasurf_values", 4801}}));
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

    EXPECT_EQ(FixedDataRows(0)[226].offset, 1792);    // glass[21]
    EXPECT_EQ(FixedDataRows(2)[222].offset, 1328);    // n1
    EXPECT_EQ(FixedDataRows(3)[5733].offset, 45800);  // datasurf_values[4800]
}

TEST(RecordsTest, OpticalFieldsFollowTheRecordVersion) {
    RecordPair pair;
    WriteN1(pair, kRecordVersion2, 1.25);
    WriteCv(pair, kRecordVersion2, 0.5);
    double n[3] = {};
    std::memcpy(n, pair.fd + 1328, sizeof n);  // n1, n2, cv at 1328, 1336, 1344
    EXPECT_EQ(n[0], 1.25);
    EXPECT_EQ(n[2], 0.5);
    EXPECT_EQ(ReadN1(pair, kRecordVersion3), 1.25);
    WriteK(pair, kRecordVersion1, -1.0);
    EXPECT_EQ(pair.Fd1()->k, -1.0);
    WriteN1(pair, 4, 9.0);  // no field for an unknown version: nothing written
    EXPECT_EQ(ReadN1(pair, 4), 0.0);
}

}  // namespace
}  // namespace velmor
