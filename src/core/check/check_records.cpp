// The checks of the text answers and of what requests do to the records: name, names,
// safe-data, records.
#include <cstring>
#include <map>

#include "core/app/cp932.h"
#include "core/check/check_internal.h"

namespace velmor::check {

namespace {

// A byte written before a request where the answer should go, so that a string the library
// leaves without a terminator is seen whatever its length.
constexpr unsigned char kUnwrittenByte = 0x7f;

// Bytes around the records that no request should change: each byte its own value, so a
// library writing one repeated byte (or zeros) over them changes them.
unsigned char GuardByte(std::size_t i) {
    return static_cast<unsigned char>(0xa5 ^ (i * 0x3b));
}

std::unique_ptr<SharedRecordPair> PairFrom(const RecordPair& start, int type, int numb) {
    auto pair = std::make_unique<SharedRecordPair>();
    std::memcpy(&pair->ud, &start.ud, sizeof pair->ud);
    std::memcpy(pair->fd, start.fd, sizeof pair->fd);
    std::memcpy(pair->fd + offsetof(FIXED_DATA, type), &type, sizeof type);
    std::memcpy(pair->fd + offsetof(FIXED_DATA, numb), &numb, sizeof numb);
    return pair;
}

// The text in a 20-byte answer, or false when it has no terminator.
bool TerminatedText(const char* field, std::string* text) {
    const void* zero = std::memchr(field, 0, sizeof USER_DATA::string);
    if (zero == nullptr) return false;
    text->assign(field, static_cast<const char*>(zero));
    return true;
}

// The answer as printable text: code page 932 without control characters.
bool PrintableCp932(const std::string& cp932, std::string* utf8) {
    if (!Cp932ToUtf8(cp932, utf8)) return false;
    for (unsigned char c : *utf8) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

// The element count of the version's array `array` ("param", "xdata").
int ArrayLength(int recordVersion, const std::string& array) {
    int count = 0;
    for (const RecordRow& row : FixedDataRows(recordVersion)) {
        if (row.name.compare(0, array.size() + 1, array + "[") == 0) ++count;
    }
    return count;
}

// The fields of the version's record whose bytes differ between a and b, in record order.
std::vector<std::string> ChangedFields(int version, const unsigned char* a, const unsigned char* b,
                                       std::size_t bytes) {
    std::vector<std::string> names;
    const std::vector<RecordRow>& rows = FixedDataRows(version);
    for (std::size_t i = 0; i < bytes; ++i) {
        if (a[i] == b[i]) continue;
        std::string name = FieldAt(rows, i);
        if (names.empty() || names.back() != name) names.push_back(name);
        if (const RecordRow* row = RowAt(rows, i)) i = row->offset + row->size - 1;
    }
    return names;
}

std::string FieldList(const std::vector<std::string>& names) {
    constexpr std::size_t kShown = 8;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i) {
        text += (i > 0 ? ", " : "") + names[i];
    }
    if (names.size() > kShown) text += ", ... (" + std::to_string(names.size()) + " fields)";
    return text;
}

}  // namespace

CheckResult CheckName(Context& c) {
    auto pair = PairFrom(*c.start, kRequestName, 0);
    std::memset(pair->ud.string, kUnwrittenByte, sizeof pair->ud.string);
    int result = 0;
    if (!c.target->Call(*pair, &result)) return Result("name", CheckOutcome::kFail, "");
    if (result != 0) {
        return Result("name", CheckOutcome::kFail,
                      "the name request (type 0, numb 0) answers " + std::to_string(result));
    }
    std::string text, utf8;
    if (!TerminatedText(pair->ud.string, &text)) {
        return Result("name", CheckOutcome::kFail,
                      "the name has no terminator within the 20 bytes of string");
    }
    if (!PrintableCp932(text, &utf8)) {
        return Result("name", CheckOutcome::kFail,
                      "the name is no printable text in code page 932");
    }
    return Result("name", CheckOutcome::kPass, "\"" + utf8 + "\"");
}

CheckResult CheckNames(Context& c) {
    const int params = ArrayLength(c.version, "param");
    const int xdata = ArrayLength(c.version, "xdata");
    const std::size_t n = static_cast<std::size_t>(params + xdata);
    if (n == 0) return Result("names", CheckOutcome::kSkip, "the record has no param or xdata");
    auto start = std::make_unique<RecordPair>();
    CopyRecordPair(*start, *c.start);
    // Asked as the program asks: with an empty string.
    std::memset(start->ud.string, 0, sizeof start->ud.string);
    BatchPoints& points = c.target->Points();
    for (std::size_t i = 0; i < n; ++i) {
        const bool param = static_cast<int>(i) < params;
        const int numb = param ? static_cast<int>(i) : static_cast<int>(i) - params;
        SetPoint(points, i, param ? kRequestParamName : kRequestXdataName, numb,
                 kSetType | kSetNumb, 0, 0, 0, 0, 0, 0);
    }
    if (!c.target->Batch(*start, n, kBatchWholeRecords | kBatchFreshUserData)) {
        return Result("names", CheckOutcome::kFail, "");
    }
    const BatchAnswers& answers = c.target->Answers();
    int named[2] = {0, 0}, failed = 0;
    std::string unterminated, duplicate, firstFailed;
    std::map<std::string, std::string> elements;  // name -> the first element with it
    for (std::size_t i = 0; i < n; ++i) {
        const bool param = static_cast<int>(i) < params;
        const std::string element =
            (param ? "param[" : "xdata[") + std::to_string(param ? i : i - params) + "]";
        if (answers.result[i] != 0) {
            if (failed++ == 0) firstFailed = element;
            continue;
        }
        std::string text;
        if (!TerminatedText(answers.record[i].string, &text)) {
            if (unterminated.empty()) unterminated = element;
            continue;
        }
        if (text.empty()) continue;
        ++named[param ? 0 : 1];
        const auto [known, inserted] = elements.emplace(text, element);
        if (!inserted && duplicate.empty()) {
            std::string utf8;
            Cp932ToUtf8(text, &utf8);
            duplicate = known->second + " and " + element + " are both named \"" + utf8 + "\"";
        }
    }
    const std::string counts = std::to_string(named[0]) + " of " + std::to_string(params) +
                               " param and " + std::to_string(named[1]) + " of " +
                               std::to_string(xdata) + " xdata elements named";
    if (!unterminated.empty()) {
        return Result(
            "names", CheckOutcome::kFail,
            "the name of " + unterminated + " has no terminator within the 20 bytes of string");
    }
    if (!duplicate.empty()) return Result("names", CheckOutcome::kWarn, duplicate);
    if (failed > 0) {
        return Result("names", CheckOutcome::kWarn,
                      std::to_string(failed) + " name requests answer non-zero (the first " +
                          firstFailed + "); " + counts);
    }
    return Result("names", CheckOutcome::kPass, counts);
}

CheckResult CheckSafeData(Context& c) {
    const std::size_t bytes = FixedDataRecordBytes(c.version);
    auto first = PairFrom(*c.start, kRequestSafeData, 0);
    auto second = PairFrom(*c.start, kRequestSafeData, 0);
    int result1 = 0, result2 = 0;
    if (!c.target->Call(*first, &result1) || !c.target->Call(*second, &result2)) {
        return Result("safe-data", CheckOutcome::kFail, "");
    }
    if (result1 != 0) {
        return Result("safe-data", CheckOutcome::kFail,
                      "the safe-data request (type 7) answers " + std::to_string(result1));
    }
    if (result2 != result1 || std::memcmp(&first->ud, &second->ud, sizeof first->ud) != 0 ||
        std::memcmp(first->fd, second->fd, bytes) != 0) {
        const std::vector<std::string> fields =
            ChangedFields(c.version, first->fd, second->fd, bytes);
        return Result(
            "safe-data", CheckOutcome::kFail,
            "two safe-data requests from the same records give different bytes" +
                (fields.empty() ? std::string(" (in USER_DATA)") : " (" + FieldList(fields) + ")"));
    }
    // What it sets, seen from the records a load starts it with: an emptied record holding the
    // host's defaults.
    auto fresh = std::make_unique<RecordPair>();
    fresh->ud = c.start->ud;
    WriteN1(*fresh, c.version, 1.0);
    WriteN2(*fresh, c.version, 1.5);
    WriteCv(*fresh, c.version, 0.25);
    WriteK(*fresh, c.version, 0.0);
    fresh->Surf() = 3;
    fresh->Wave() = 1;
    auto answered = PairFrom(*fresh, kRequestSafeData, 0);
    int result3 = 0;
    if (!c.target->Call(*answered, &result3)) return Result("safe-data", CheckOutcome::kFail, "");
    auto before = PairFrom(*fresh, kRequestSafeData, 0);
    const std::vector<std::string> fields =
        ChangedFields(c.version, before->fd, answered->fd, bytes);
    return Result("safe-data", CheckOutcome::kPass,
                  "answers 0 and the same bytes twice; " +
                      (fields.empty() ? std::string("sets no field to a value other than 0")
                                      : "sets " + FieldList(fields)));
}

CheckResult CheckRecords(Context& c) {
    struct Request {
        int type, numb;
    };
    const Request requests[] = {{kRequestName, 0},      {kRequestName, 2},
                                {kRequestParamName, 1}, {kRequestXdataName, 1},
                                {kRequestSag, 0},       {kRequestParaxialTrace, 0},
                                {kRequestRealTrace, 0}, {kRequestIndex, 0}};
    const std::size_t bytes = FixedDataRecordBytes(c.version);
    constexpr std::size_t kStringEnd = offsetof(USER_DATA, string) + sizeof USER_DATA::string;
    std::string failure, warning;
    int failing = 0;
    for (const Request& request : requests) {
        auto pair = PairFrom(*c.start, request.type, request.numb);
        auto* ud = reinterpret_cast<unsigned char*>(&pair->ud);
        for (std::size_t i = kStringEnd; i < sizeof(USER_DATA); ++i) ud[i] = GuardByte(i);
        for (std::size_t i = 0; i < kRecordGuardBytes; ++i) pair->udGuard[i] = GuardByte(i);
        for (std::size_t i = bytes; i < kFixedDataAreaSize; ++i) pair->fd[i] = GuardByte(i);
        for (std::size_t i = 0; i < kRecordGuardBytes; ++i) pair->fdGuard[i] = GuardByte(~i);
        auto before = std::make_unique<SharedRecordPair>(*pair);
        int result = 0;
        if (!c.target->Call(*pair, &result)) return Result("records", CheckOutcome::kFail, "");

        const std::string name = std::string(SurfaceRequestName(request.type, request.numb)) +
                                 " (type " + std::to_string(request.type) + ", numb " +
                                 std::to_string(request.numb) + ")";
        std::string fault;
        for (std::size_t i = 0; i < bytes && fault.empty(); ++i) {
            if (pair->fd[i] != before->fd[i]) {
                fault = "changes " + FieldAt(FixedDataRows(c.version), i) + " of FIXED_DATA";
            }
        }
        if (fault.empty() &&
            std::memcmp(pair->udGuard, before->udGuard, sizeof pair->udGuard) != 0) {
            fault = "writes past the end of USER_DATA (192 bytes)";
        }
        if (fault.empty() &&
            (std::memcmp(pair->fd + bytes, before->fd + bytes, kFixedDataAreaSize - bytes) != 0 ||
             std::memcmp(pair->fdGuard, before->fdGuard, sizeof pair->fdGuard) != 0)) {
            fault = "writes past the end of the " + std::to_string(bytes) +
                    "-byte FIXED_DATA record of version " + std::to_string(c.version);
        }
        if (!fault.empty()) {
            if (failing++ == 0) failure = "the " + name + " request " + fault;
            continue;
        }
        if (warning.empty() &&
            std::memcmp(ud + kStringEnd, reinterpret_cast<unsigned char*>(&before->ud) + kStringEnd,
                        sizeof(USER_DATA) - kStringEnd) != 0) {
            warning = "the " + name + " request writes the padding bytes 188 to 191 of USER_DATA";
        }
    }
    if (failing > 0) {
        if (failing > 1) failure += " (and " + std::to_string(failing - 1) + " more requests)";
        return Result("records", CheckOutcome::kFail, failure);
    }
    if (!warning.empty()) return Result("records", CheckOutcome::kWarn, warning);
    return Result("records", CheckOutcome::kPass,
                  "8 requests leave FIXED_DATA (" + std::to_string(bytes) +
                      " bytes) as it was and write nothing past USER_DATA or FIXED_DATA");
}

}  // namespace velmor::check
