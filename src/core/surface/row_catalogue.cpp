#include "core/surface/row_catalogue.h"

#include <cstddef>
#include <iterator>
#include <type_traits>

#include "core/surface/records.h"

namespace velmor {

namespace {

// Collects rows up to a limit; a row beyond the limit is dropped.
class RowList {
public:
    explicit RowList(int limit) : m_limit(limit) {}

    void Add(const char* typeText, std::string name, RowKind kind, std::size_t offset,
             std::size_t size) {
        if (int(m_rows.size()) >= m_limit) return;
        m_rows.push_back({typeText, std::move(name), kind, int(offset), int(size)});
    }

    void AddArray(const char* typeText, const char* name, RowKind kind, std::size_t offset,
                  std::size_t elementSize, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            Add(typeText, std::string(name) + "[" + std::to_string(i) + "]", kind,
                offset + i * elementSize, elementSize);
    }

    std::vector<RecordRow> Take() { return std::move(m_rows); }

private:
    int m_limit;
    std::vector<RecordRow> m_rows;
};

// Every row takes its offset, size and element count from the struct itself, and its type
// is checked against the struct, so the catalogue cannot drift from the layout.
#define VELMOR_ROW_INT(R, f)                            \
    static_assert(std::is_same_v<decltype(R::f), int>); \
    list.Add("int", #f, RowKind::kInt, offsetof(R, f), sizeof(int))
#define VELMOR_ROW_DOUBLE(R, f)                            \
    static_assert(std::is_same_v<decltype(R::f), double>); \
    list.Add("double", #f, RowKind::kDouble, offsetof(R, f), sizeof(double))
#define VELMOR_ROW_INT_ARRAY(R, f)                                            \
    static_assert(std::is_same_v<std::remove_extent_t<decltype(R::f)>, int>); \
    list.AddArray("int", #f, RowKind::kInt, offsetof(R, f), sizeof(int),      \
                  std::extent_v<decltype(R::f)>)
#define VELMOR_ROW_DOUBLE_ARRAY(R, f)                                             \
    static_assert(std::is_same_v<std::remove_extent_t<decltype(R::f)>, double>);  \
    list.AddArray("double", #f, RowKind::kDouble, offsetof(R, f), sizeof(double), \
                  std::extent_v<decltype(R::f)>)
#define VELMOR_ROW_CHARS(R, f)                                                                  \
    static_assert(std::is_same_v<std::remove_extent_t<decltype(R::f)>, char>);                  \
    list.Add("char", std::string(#f "[") + std::to_string(sizeof(R::f)) + "]", RowKind::kChars, \
             offsetof(R, f), sizeof(R::f))
#define VELMOR_ROW_POINTER(R, f, typeText)                                 \
    static_assert(std::is_pointer_v<decltype(R::f)> && sizeof(R::f) == 8); \
    list.Add(typeText, #f, RowKind::kPointer, offsetof(R, f), sizeof(R::f))

std::vector<RecordRow> BuildUserData() {
    using R = USER_DATA;
    RowList list(kMaxUserDataRows);
    VELMOR_ROW_DOUBLE(R, x);
    VELMOR_ROW_DOUBLE(R, y);
    VELMOR_ROW_DOUBLE(R, z);
    VELMOR_ROW_DOUBLE(R, l);
    VELMOR_ROW_DOUBLE(R, m);
    VELMOR_ROW_DOUBLE(R, n);
    VELMOR_ROW_DOUBLE(R, ln);
    VELMOR_ROW_DOUBLE(R, mn);
    VELMOR_ROW_DOUBLE(R, nn);
    VELMOR_ROW_DOUBLE(R, path);
    VELMOR_ROW_DOUBLE(R, sag1);
    VELMOR_ROW_DOUBLE(R, sag2);
    VELMOR_ROW_DOUBLE(R, index);
    VELMOR_ROW_DOUBLE(R, dndx);
    VELMOR_ROW_DOUBLE(R, dndy);
    VELMOR_ROW_DOUBLE(R, dndz);
    VELMOR_ROW_DOUBLE(R, rel_surf_tran);
    VELMOR_ROW_DOUBLE(R, udreserved1);
    VELMOR_ROW_DOUBLE(R, udreserved2);
    VELMOR_ROW_DOUBLE(R, udreserved3);
    VELMOR_ROW_DOUBLE(R, udreserved4);
    VELMOR_ROW_CHARS(R, string);
    return list.Take();
}

// type, numb, surf and wave: the head of every FIXED_DATA version.
template <class R>
void AddRequestRows(RowList& list) {
    VELMOR_ROW_INT(R, type);
    VELMOR_ROW_INT(R, numb);
    VELMOR_ROW_INT(R, surf);
    VELMOR_ROW_INT(R, wave);
}

// wavelength .. k: the optical data every FIXED_DATA version holds in this order.
template <class R>
void AddOpticalRows(RowList& list) {
    VELMOR_ROW_DOUBLE(R, wavelength);
    VELMOR_ROW_DOUBLE(R, pwavelength);
    VELMOR_ROW_DOUBLE(R, n1);
    VELMOR_ROW_DOUBLE(R, n2);
    VELMOR_ROW_DOUBLE(R, cv);
    VELMOR_ROW_DOUBLE(R, thic);
    VELMOR_ROW_DOUBLE(R, sdia);
    VELMOR_ROW_DOUBLE(R, k);
}

std::vector<RecordRow> BuildFixedData() {
    using R = FIXED_DATA;
    RowList list(kMaxFixedDataRows);
    AddRequestRows<R>(list);
    AddOpticalRows<R>(list);
    VELMOR_ROW_DOUBLE_ARRAY(R, param);
    VELMOR_ROW_DOUBLE(R, fdreserved1);
    VELMOR_ROW_DOUBLE(R, fdreserved2);
    VELMOR_ROW_DOUBLE(R, fdreserved3);
    VELMOR_ROW_DOUBLE(R, fdreserved4);
    VELMOR_ROW_DOUBLE_ARRAY(R, xdata);
    VELMOR_ROW_CHARS(R, glass);
    return list.Take();
}

std::vector<RecordRow> BuildFixedData2() {
    using R = FIXED_DATA2;
    RowList list(kMaxFixedDataRows);
    AddRequestRows<R>(list);
    VELMOR_ROW_INT(R, unit);
    AddOpticalRows<R>(list);
    VELMOR_ROW_INT_ARRAY(R, ireserved);
    VELMOR_ROW_DOUBLE_ARRAY(R, dbreserved);
    VELMOR_ROW_DOUBLE_ARRAY(R, param);
    VELMOR_ROW_DOUBLE_ARRAY(R, xdata);
    VELMOR_ROW_CHARS(R, glass);
    return list.Take();
}

// The part FIXED_DATA3, FIXED_DATA4 and FIXED_DATA5 share, up to and including k.
template <class R>
void AddFixedData3Optics(RowList& list) {
    AddRequestRows<R>(list);
    VELMOR_ROW_INT(R, unit);
    VELMOR_ROW_INT(R, serial);
    VELMOR_ROW_INT(R, is_a_mirror);
    VELMOR_ROW_INT(R, is_in_mirror_space);
    VELMOR_ROW_INT(R, is_air);
    VELMOR_ROW_INT_ARRAY(R, ireserved);
    VELMOR_ROW_INT(R, did_polar);
    VELMOR_ROW_INT(R, max_parameter);
    VELMOR_ROW_INT(R, max_extradata);
    VELMOR_ROW_DOUBLE(R, Exr);
    VELMOR_ROW_DOUBLE(R, Exi);
    VELMOR_ROW_DOUBLE(R, Eyr);
    VELMOR_ROW_DOUBLE(R, Eyi);
    VELMOR_ROW_DOUBLE(R, Ezr);
    VELMOR_ROW_DOUBLE(R, Ezi);
    VELMOR_ROW_DOUBLE(R, Ewr);
    VELMOR_ROW_DOUBLE(R, Ewi);
    VELMOR_ROW_DOUBLE_ARRAY(R, dbreserved);
    AddOpticalRows<R>(list);
}

// The part FIXED_DATA3 and FIXED_DATA4 share, up to and including comment.
template <class R>
void AddFixedData3Head(RowList& list) {
    AddFixedData3Optics<R>(list);
    VELMOR_ROW_DOUBLE_ARRAY(R, param);
    VELMOR_ROW_DOUBLE_ARRAY(R, xdata);
    VELMOR_ROW_CHARS(R, glass);
    VELMOR_ROW_CHARS(R, comment);
}

std::vector<RecordRow> BuildFixedData3() {
    using R = FIXED_DATA3;
    RowList list(kMaxFixedDataRows);
    AddFixedData3Head<R>(list);
    VELMOR_ROW_POINTER(R, int_data, "int*");
    VELMOR_ROW_POINTER(R, db_data, "double*");
    VELMOR_ROW_POINTER(R, c_data, "char*");
    return list.Take();
}

std::vector<RecordRow> BuildFixedData4() {
    using R = FIXED_DATA4;
    RowList list(kMaxFixedDataRows);
    AddFixedData3Head<R>(list);
    VELMOR_ROW_INT(R, datasurf_numvalues);
    VELMOR_ROW_DOUBLE_ARRAY(R, datasurf_values);
    return list.Take();
}

// The wider param and no xdata, then the data surface values as in FIXED_DATA4.
std::vector<RecordRow> BuildFixedData5() {
    using R = FIXED_DATA5;
    RowList list(kMaxFixedDataRows);
    AddFixedData3Optics<R>(list);
    VELMOR_ROW_DOUBLE_ARRAY(R, param);
    VELMOR_ROW_CHARS(R, glass);
    VELMOR_ROW_CHARS(R, comment);
    VELMOR_ROW_INT(R, datasurf_numvalues);
    VELMOR_ROW_DOUBLE_ARRAY(R, datasurf_values);
    return list.Take();
}

#undef VELMOR_ROW_INT
#undef VELMOR_ROW_DOUBLE
#undef VELMOR_ROW_INT_ARRAY
#undef VELMOR_ROW_DOUBLE_ARRAY
#undef VELMOR_ROW_CHARS
#undef VELMOR_ROW_POINTER

}  // namespace

const std::vector<RecordRow>& UserDataRows() {
    static const std::vector<RecordRow> rows = BuildUserData();
    return rows;
}

const std::vector<RecordRow>& FixedDataRows(int recordVersion) {
    static const std::vector<RecordRow> rows[] = {BuildFixedData(), BuildFixedData2(),
                                                  BuildFixedData3(), BuildFixedData4(),
                                                  BuildFixedData5()};
    static_assert(std::size(rows) == kLastRecordVersion + 1);
    static const std::vector<RecordRow> none;
    if (recordVersion < kRecordVersion0 || recordVersion > kLastRecordVersion) return none;
    return rows[recordVersion];
}

const char* InitialTablesTitle(int recordVersion) {
    switch (recordVersion) {
        case kRecordVersion1:
            return "Initial USER_DATA FIXED_DATA2";
        case kRecordVersion2:
            return "Initial USER_DATA FIXED_DATA3";
        case kRecordVersion3:
            return "Initial USER_DATA FIXED_DATA4";
        case kRecordVersion4:
            return "Initial USER_DATA FIXED_DATA5";
        default:
            return "Initial USER_DATA FIXED_DATA";
    }
}

}  // namespace velmor
