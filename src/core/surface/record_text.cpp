#include "core/surface/record_text.h"

#include <cstdint>
#include <cstring>

#include "core/app/cp932.h"
#include "core/app/number_text.h"

namespace velmor {

namespace {

constexpr std::size_t kLongTextField = 200;
constexpr std::size_t kShortCellBuffer = 32;
constexpr std::size_t kLongCellBuffer = 256;
constexpr std::size_t kShortCellChars = 62;
constexpr std::size_t kLongCellChars = 510;

bool IsLongText(const RecordRow& row) {
    return row.kind == RowKind::kChars && std::size_t(row.size) >= kLongTextField;
}

template <class T>
T Load(const void* record, int offset) {
    T value;
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}

template <class T>
void Store(void* record, int offset, T value) {
    std::memcpy(static_cast<char*>(record) + offset, &value, sizeof value);
}

// Bytes of the code page 932 buffer a cell is converted into.
std::size_t CellBufferSize(const RecordRow& row) {
    return IsLongText(row) ? kLongCellBuffer : kShortCellBuffer;
}

// Most characters a char-array cell shows.
std::size_t CellCharLimit(const RecordRow& row) {
    return IsLongText(row) ? kLongCellChars : kShortCellChars;
}

// Writes a number of the row's kind into the field.
void StoreNumber(const RecordRow& row, void* record, double d, int i, std::uint64_t p) {
    switch (row.kind) {
        case RowKind::kInt:
            Store(record, row.offset, i);
            break;
        case RowKind::kDouble:
            Store(record, row.offset, d);
            break;
        case RowKind::kPointer:
            Store(record, row.offset, p);
            break;
        case RowKind::kChars:
            break;
    }
}

// The cell text of 0 after a failed read.
std::string ZeroText(RowKind kind) {
    switch (kind) {
        case RowKind::kInt:
            return FormatInt(0);
        case RowKind::kDouble:
            return FormatFixed(0.0, 6);
        case RowKind::kPointer:
            return FormatHex16(0);
        case RowKind::kChars:
            break;
    }
    return {};
}

bool CharsToField(const RecordRow& row, char* field, std::string_view utf8,
                  std::string* rewriteText) {
    char buffer[kLongCellBuffer];
    std::size_t length = 0;
    if (!Utf8ToCp932(utf8, buffer, CellBufferSize(row), &length)) {
        field[0] = 0;
        return false;
    }
    // Longer than the field with its terminator: keep what fits, on a whole character.
    std::size_t kept = Cp932FitLength(std::string_view(buffer, length), std::size_t(row.size) - 1);
    std::memcpy(field, buffer, kept);
    field[kept] = 0;
    if (kept == length) return true;
    Cp932ToUtf8(std::string_view(buffer, kept), rewriteText);
    return false;
}

}  // namespace

std::string FieldToText(const RecordRow& row, const void* record) {
    switch (row.kind) {
        case RowKind::kInt:
            return FormatInt(Load<int>(record, row.offset));
        case RowKind::kDouble:
            return FormatFixed(Load<double>(record, row.offset), 6);
        case RowKind::kPointer:
            return "0x" + FormatHex16(Load<std::uint64_t>(record, row.offset));
        case RowKind::kChars: {
            const char* field = static_cast<const char*>(record) + row.offset;
            std::string text;
            Cp932ToUtf8(FieldText(field, std::size_t(row.size)), &text, CellCharLimit(row));
            return text;
        }
    }
    return {};
}

bool TextToField(const RecordRow& row, void* record, std::string_view utf8,
                 std::string* rewriteText) {
    rewriteText->clear();
    if (row.kind == RowKind::kChars)
        return CharsToField(row, static_cast<char*>(record) + row.offset, utf8, rewriteText);

    char buffer[kShortCellBuffer];
    std::size_t length = 0;
    bool ok = Utf8ToCp932(utf8, buffer, sizeof buffer, &length);
    std::string_view text(buffer, length);
    double d = 0;
    int i = 0;
    std::uint64_t p = 0;
    if (ok) {
        NumberScan scan = NumberScan::kNoNumber;
        if (row.kind == RowKind::kDouble) scan = ScanLeadingDouble(text, &d);
        if (row.kind == RowKind::kInt) scan = ScanLeadingInt(text, &i);
        if (row.kind == RowKind::kPointer) {
            scan = ScanLeadingHex(text, &p);
            ok = scan == NumberScan::kNumber;
        }
        if (scan == NumberScan::kOutOfRange) ok = false;
    }
    if (!ok) {
        d = 0;
        i = 0;
        p = 0;
        *rewriteText = ZeroText(row.kind);
    }
    StoreNumber(row, record, d, i, p);
    return ok;
}

}  // namespace velmor
