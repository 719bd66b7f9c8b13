#include "surface/row_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "surface/records.h"

namespace velmor {
namespace {

// The catalogue written out independently of the code: runs of rows, each either a list of
// scalar names or an array "name[%d]" with a count, or a single char-array row.
struct Run {
    const char* type;
    std::vector<std::string> names;  // scalar rows, or {name} for an array
    int count = 0;                   // > 0: array of this many rows named name[0..count-1]
};

std::vector<std::pair<std::string, std::string>> Expand(const std::vector<Run>& runs) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const Run& run : runs) {
        if (run.count > 0) {
            for (int i = 0; i < run.count; ++i)
                rows.emplace_back(run.type, run.names[0] + "[" + std::to_string(i) + "]");
        } else {
            for (const std::string& name : run.names) rows.emplace_back(run.type, name);
        }
    }
    return rows;
}

const std::vector<Run> kUserData = {
    {"double",
     {"x",
      "y",
      "z",
      "l",
      "m",
      "n",
      "ln",
      "mn",
      "nn",
      "path",
      "sag1",
      "sag2",
      "index",
      "dndx",
      "dndy",
      "dndz",
      "rel_surf_tran",
      "udreserved1",
      "udreserved2",
      "udreserved3",
      "udreserved4"}},
    {"char", {"string[20]"}},
};

const std::vector<Run> kFixedData = {
    {"int", {"type", "numb", "surf", "wave"}},
    {"double", {"wavelength", "pwavelength", "n1", "n2", "cv", "thic", "sdia", "k"}},
    {"double", {"param"}, 9},
    {"double", {"fdreserved1", "fdreserved2", "fdreserved3", "fdreserved4"}},
    {"double", {"xdata"}, 201},
    {"char", {"glass[21]"}},
};

const std::vector<Run> kFixedData2 = {
    {"int", {"type", "numb", "surf", "wave", "unit"}},
    {"double", {"wavelength", "pwavelength", "n1", "n2", "cv", "thic", "sdia", "k"}},
    {"int", {"ireserved"}, 20},
    {"double", {"dbreserved"}, 20},
    {"double", {"param"}, 51},
    {"double", {"xdata"}, 201},
    {"char", {"glass[21]"}},
};

const std::vector<Run> kFixedData3Head = {
    {"int",
     {"type", "numb", "surf", "wave", "unit", "serial", "is_a_mirror", "is_in_mirror_space",
      "is_air"}},
    {"int", {"ireserved"}, 100},
    {"int", {"did_polar", "max_parameter", "max_extradata"}},
    {"double", {"Exr", "Exi", "Eyr", "Eyi", "Ezr", "Ezi", "Ewr", "Ewi"}},
    {"double", {"dbreserved"}, 100},
    {"double", {"wavelength", "pwavelength", "n1", "n2", "cv", "thic", "sdia", "k"}},
    {"double", {"param"}, 201},
    {"double", {"xdata"}, 501},
    {"char", {"glass[200]", "comment[200]"}},
};

std::vector<Run> FixedData3() {
    std::vector<Run> runs = kFixedData3Head;
    runs.push_back({"int*", {"int_data"}});
    runs.push_back({"double*", {"db_data"}});
    runs.push_back({"char*", {"c_data"}});
    return runs;
}

std::vector<Run> FixedData4() {
    std::vector<Run> runs = kFixedData3Head;
    runs.push_back({"int", {"datasurf_numvalues"}});
    runs.push_back({"double", {"datasurf_values"}, 4801});
    return runs;
}

void ExpectRows(const std::vector<RecordRow>& rows, const std::vector<Run>& runs) {
    auto expected = Expand(runs);
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
    EXPECT_LE(int(UserDataRows().size()), kMaxUserDataRows);
    EXPECT_LE(int(FixedDataRows(3).size()), kMaxFixedDataRows);

    ExpectRows(UserDataRows(), kUserData);
    ExpectRows(FixedDataRows(0), kFixedData);
    ExpectRows(FixedDataRows(1), kFixedData2);
    ExpectRows(FixedDataRows(2), FixedData3());
    ExpectRows(FixedDataRows(3), FixedData4());
}

struct Anchor {
    int row;
    const char* name;
    RowKind kind;
    int offset;
    int size;
};

void ExpectAnchors(const std::vector<RecordRow>& rows, const std::vector<Anchor>& anchors) {
    for (const Anchor& a : anchors) {
        ASSERT_LT(a.row, int(rows.size()));
        const RecordRow& row = rows[a.row];
        EXPECT_EQ(row.name, a.name) << "row " << a.row;
        EXPECT_EQ(row.kind, a.kind) << a.name;
        EXPECT_EQ(row.offset, a.offset) << a.name;
        EXPECT_EQ(row.size, a.size) << a.name;
    }
}

// Byte offsets at the ends of every block, as the interface fixes them.
TEST(RowCatalogueTest, BlockBoundariesSitAtTheirBytes) {
    const RowKind I = RowKind::kInt, D = RowKind::kDouble, C = RowKind::kChars,
                  P = RowKind::kPointer;
    ExpectAnchors(UserDataRows(), {{0, "x", D, 0, 8},
                                   {10, "sag1", D, 80, 8},
                                   {16, "rel_surf_tran", D, 128, 8},
                                   {20, "udreserved4", D, 160, 8},
                                   {21, "string[20]", C, 168, 20}});
    ExpectAnchors(FixedDataRows(0), {{0, "type", I, 0, 4},
                                     {3, "wave", I, 12, 4},
                                     {4, "wavelength", D, 16, 8},
                                     {6, "n1", D, 32, 8},
                                     {11, "k", D, 72, 8},
                                     {12, "param[0]", D, 80, 8},
                                     {20, "param[8]", D, 144, 8},
                                     {21, "fdreserved1", D, 152, 8},
                                     {24, "fdreserved4", D, 176, 8},
                                     {25, "xdata[0]", D, 184, 8},
                                     {225, "xdata[200]", D, 1784, 8},
                                     {226, "glass[21]", C, 1792, 21}});
    ExpectAnchors(FixedDataRows(1), {{4, "unit", I, 16, 4},
                                     {5, "wavelength", D, 24, 8},
                                     {7, "n1", D, 40, 8},
                                     {12, "k", D, 80, 8},
                                     {13, "ireserved[0]", I, 88, 4},
                                     {32, "ireserved[19]", I, 164, 4},
                                     {33, "dbreserved[0]", D, 168, 8},
                                     {52, "dbreserved[19]", D, 320, 8},
                                     {53, "param[0]", D, 328, 8},
                                     {103, "param[50]", D, 728, 8},
                                     {104, "xdata[0]", D, 736, 8},
                                     {304, "xdata[200]", D, 2336, 8},
                                     {305, "glass[21]", C, 2344, 21}});
    const std::vector<Anchor> head3 = {{8, "is_air", I, 32, 4},
                                       {9, "ireserved[0]", I, 36, 4},
                                       {108, "ireserved[99]", I, 432, 4},
                                       {109, "did_polar", I, 436, 4},
                                       {111, "max_extradata", I, 444, 4},
                                       {112, "Exr", D, 448, 8},
                                       {119, "Ewi", D, 504, 8},
                                       {120, "dbreserved[0]", D, 512, 8},
                                       {219, "dbreserved[99]", D, 1304, 8},
                                       {220, "wavelength", D, 1312, 8},
                                       {222, "n1", D, 1328, 8},
                                       {223, "n2", D, 1336, 8},
                                       {224, "cv", D, 1344, 8},
                                       {227, "k", D, 1368, 8},
                                       {228, "param[0]", D, 1376, 8},
                                       {428, "param[200]", D, 2976, 8},
                                       {429, "xdata[0]", D, 2984, 8},
                                       {929, "xdata[500]", D, 6984, 8},
                                       {930, "glass[200]", C, 6992, 200},
                                       {931, "comment[200]", C, 7192, 200}};
    ExpectAnchors(FixedDataRows(2), head3);
    ExpectAnchors(FixedDataRows(3), head3);
    ExpectAnchors(
        FixedDataRows(2),
        {{932, "int_data", P, 7392, 8}, {933, "db_data", P, 7400, 8}, {934, "c_data", P, 7408, 8}});
    ExpectAnchors(FixedDataRows(3), {{932, "datasurf_numvalues", I, 7392, 4},
                                     {933, "datasurf_values[0]", D, 7400, 8},
                                     {5733, "datasurf_values[4800]", D, 45800, 8}});
}

// Rows cover their record in order: each row starts where the previous one ended, or at the
// next multiple of its alignment, and the record ends after the last row and its padding.
void ExpectTiling(const std::vector<RecordRow>& rows, int recordSize) {
    int end = 0;
    std::set<std::string> names;
    for (const RecordRow& row : rows) {
        int align = row.kind == RowKind::kChars ? 1 : row.size;
        int expectedOffset = (end + align - 1) / align * align;
        EXPECT_EQ(row.offset, expectedOffset) << row.name;
        switch (row.kind) {
            case RowKind::kInt:
                EXPECT_EQ(row.size, 4) << row.name;
                EXPECT_STREQ(row.typeText, "int");
                break;
            case RowKind::kDouble:
                EXPECT_EQ(row.size, 8) << row.name;
                EXPECT_STREQ(row.typeText, "double");
                break;
            case RowKind::kPointer:
                EXPECT_EQ(row.size, 8) << row.name;
                break;
            case RowKind::kChars:
                EXPECT_EQ(row.name, row.name.substr(0, row.name.find('[')) + "[" +
                                        std::to_string(row.size) + "]");
                EXPECT_STREQ(row.typeText, "char");
                break;
        }
        EXPECT_TRUE(names.insert(row.name).second) << "duplicate " << row.name;
        end = row.offset + row.size;
    }
    EXPECT_EQ((end + 7) / 8 * 8, recordSize);
}

TEST(RowCatalogueTest, RowsTileTheirRecordWithOnlyAlignmentPadding) {
    ExpectTiling(UserDataRows(), sizeof(USER_DATA));
    ExpectTiling(FixedDataRows(0), sizeof(FIXED_DATA));
    ExpectTiling(FixedDataRows(1), sizeof(FIXED_DATA2));
    ExpectTiling(FixedDataRows(2), sizeof(FIXED_DATA3));
    ExpectTiling(FixedDataRows(3), sizeof(FIXED_DATA4));
}

TEST(RowCatalogueTest, WindowTitlesFollowTheRecordVersion) {
    EXPECT_STREQ(InitialTablesTitle(0), "Initial USER_DATA FIXED_DATA");
    EXPECT_STREQ(InitialTablesTitle(1), "Initial USER_DATA FIXED_DATA2");
    EXPECT_STREQ(InitialTablesTitle(2), "Initial USER_DATA FIXED_DATA3");
    EXPECT_STREQ(InitialTablesTitle(3), "Initial USER_DATA FIXED_DATA4");
    EXPECT_STREQ(InitialTablesTitle(7), "Initial USER_DATA FIXED_DATA");
    EXPECT_STREQ(kFinalTablesTitle, "Final USER_DATA FIXED_DATA");
}

}  // namespace
}  // namespace velmor
