#include "core/compare/snapshot_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>

#include "core/app/number_text.h"
#include "core/app/regular_file.h"

namespace velmor {

namespace {

using Json = nlohmann::ordered_json;

// ---------------------------------------------------------------------------------------------
// Writing

class SnapshotWriter {
public:
    std::string& Out() { return m_out; }

    // A number; a value that is no finite number is null, its place kept for "nonfinite".
    template <class Place>
    void Number(double value, Place&& place) {
        if (std::isfinite(value)) {
            const std::string text = ShortestNumberText(value);
            m_out += text;
            // Always with a point or an exponent, so that a reader takes it as a double ("-0"
            // read as an integer would lose its sign).
            if (text.find_first_of(".e") == std::string::npos) m_out += ".0";
            return;
        }
        m_out += "null";
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        m_nonFinite.emplace_back(place(), FormatHex16(bits));
    }
    void Text(const std::string& text) {
        // Bytes that are no UTF-8 are replaced rather than failing the file.
        m_out += Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
    }
    void Key(const char* key) {
        m_out += '"';
        m_out += key;
        m_out += "\": ";
    }
    void Pairs(const std::vector<NamedValue>& pairs) {
        m_out += '[';
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            if (i > 0) m_out += ", ";
            m_out += '[';
            Text(pairs[i].first);
            m_out += ", ";
            Text(pairs[i].second);
            m_out += ']';
        }
        m_out += ']';
    }
    // Numbers of one array under `pointer` ("/sag/values").
    void Numbers(const double* values, std::size_t n, const std::string& pointer) {
        m_out += '[';
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0) m_out += ", ";
            Number(values[i], [&] { return pointer + "/" + std::to_string(i); });
        }
        m_out += ']';
    }
    void Ray(const RayAnswer& r, const std::string& pointer) {
        m_out += "[" + FormatInt(r.result);
        const double values[10] = {r.x, r.y, r.z, r.l, r.m, r.n, r.ln, r.mn, r.nn, r.path};
        for (int k = 0; k < 10; ++k) {
            m_out += ", ";
            Number(values[k], [&] { return pointer + "/" + std::to_string(k + 1); });
        }
        m_out += ']';
    }
    void NonFinite() {
        Key("nonfinite");
        m_out += '{';
        for (std::size_t i = 0; i < m_nonFinite.size(); ++i) {
            m_out += i > 0 ? ",\n  " : "\n  ";
            Text(m_nonFinite[i].first);
            m_out += ": \"" + m_nonFinite[i].second + "\"";
        }
        m_out += m_nonFinite.empty() ? "}" : "\n}";
    }

private:
    std::string m_out;
    std::vector<std::pair<std::string, std::string>> m_nonFinite;
};

}  // namespace

std::string SnapshotText(const SurfaceAnswers& a) {
    SnapshotWriter w;
    std::string& out = w.Out();
    out.reserve(a.GridPoints() * 24 + a.rays.size() * 220 + 4096);
    out += "{\n";
    w.Key("format");
    w.Text(kSnapshotFormat);
    out += ",\n";
    w.Key("version");
    out += std::to_string(kSnapshotVersion) + ",\n";
    w.Key("kind");
    w.Text(SurfaceKindText(a.kind));
    out += ",\n";
    w.Key("source");
    w.Text(a.source);
    out += ",\n";

    w.Key("ranges");
    const CompareRanges& r = a.ranges;
    const std::pair<const char*, double> bounds[] = {{"xmin", r.xmin}, {"xmax", r.xmax},
                                                     {"ymin", r.ymin}, {"ymax", r.ymax},
                                                     {"dx", r.dx},     {"dy", r.dy}};
    out += '{';
    for (std::size_t k = 0; k < 6; ++k) {
        if (k > 0) out += ", ";
        w.Key(bounds[k].first);
        w.Number(bounds[k].second, [&] { return std::string("/ranges/") + bounds[k].first; });
    }
    out += "},\n";

    w.Key("records");
    if (!a.hasRecords) {
        out += "null";
    } else {
        out += "{";
        w.Key("record_version");
        out += FormatInt(a.recordVersion) + ", ";
        w.Key("gradient_index");
        out += a.gradientIndex ? "true, " : "false, ";
        w.Key("name_result");
        out += FormatInt(a.nameResult) + ", ";
        w.Key("name");
        w.Text(a.name);
        out += ",\n  ";
        w.Key("element_names");
        w.Pairs(a.elementNames);
        out += ",\n  ";
        w.Key("safe_data");
        w.Pairs(a.safeData);
        out += ",\n  ";
        w.Key("changed_rows");
        w.Pairs(a.changedRows);
        out += "}";
    }
    out += ",\n";

    w.Key("sag");
    out += "{";
    w.Key("x");
    w.Numbers(a.xs.data(), a.xs.size(), "/sag/x");
    out += ",\n  ";
    w.Key("y");
    w.Numbers(a.ys.data(), a.ys.size(), "/sag/y");
    out += ",\n  ";
    w.Key("ok");
    out += '"';
    for (std::uint8_t ok : a.sagOk) out += ok ? '1' : '0';
    out += "\",\n  ";
    w.Key("values");
    out += '[';
    for (std::size_t i = 0; i < a.sag.size(); ++i) {
        if (i > 0) out += i % 8 == 0 ? ",\n   " : ", ";
        // A failed point's value is only kept when it is no number (null and "nonfinite").
        if (i < a.sagOk.size() && !a.sagOk[i] && std::isfinite(a.sag[i])) {
            out += "null";
        } else {
            w.Number(a.sag[i], [&] { return "/sag/values/" + std::to_string(i); });
        }
    }
    out += "]},\n";

    w.Key("rays");
    if (!a.traced) {
        out += "null";
    } else {
        out += "{";
        w.Key("direction");
        w.Numbers(a.direction, 3, "/rays/direction");
        out += ",\n  ";
        w.Key("answers");
        out += "[";
        for (std::size_t i = 0; i < a.rays.size(); ++i) {
            out += i > 0 ? ",\n   " : "\n   ";
            w.Ray(a.rays[i], "/rays/answers/" + std::to_string(i));
        }
        out += "]}";
    }
    out += ",\n";

    w.Key("index");
    if (a.indexPoints.empty() && a.index.empty()) {
        out += "null";
    } else {
        out += "{";
        w.Key("points");
        out += "[";
        for (std::size_t i = 0; i < a.indexPoints.size(); ++i) {
            out += i > 0 ? ",\n   " : "\n   ";
            const IndexPoint& p = a.indexPoints[i];
            const double xyz[3] = {p.x, p.y, p.z};
            w.Numbers(xyz, 3, "/index/points/" + std::to_string(i));
        }
        out += "],\n  ";
        w.Key("answers");
        out += "[";
        for (std::size_t i = 0; i < a.index.size(); ++i) {
            out += i > 0 ? ",\n   " : "\n   ";
            const IndexAnswer& s = a.index[i];
            out += s.ok ? "[1, " : "[0, ";
            const double values[4] = {s.index, s.dndx, s.dndy, s.dndz};
            for (int k = 0; k < 4; ++k) {
                if (k > 0) out += ", ";
                w.Number(values[k], [&] {
                    return "/index/answers/" + std::to_string(i) + "/" + std::to_string(k + 1);
                });
            }
            out += "]";
        }
        out += "]}";
    }
    out += ",\n";

    w.Key("ray");
    if (!a.rayKnown) {
        out += "null";
    } else {
        out += "{";
        w.Key("start");
        w.Numbers(a.rayStart, 6, "/ray/start");
        out += ", ";
        w.Key("answer");
        w.Ray(a.ray, "/ray/answer");
        out += "}";
    }
    out += ",\n";
    w.NonFinite();
    out += "\n}\n";
    return out;
}

bool WriteSnapshotFile(const std::string& path, const SurfaceAnswers& answers,
                       std::string* reason) {
    return ReplaceFileContents(path, SnapshotText(answers), reason);
}

namespace {

// ---------------------------------------------------------------------------------------------
// Reading

// Builds the document from the parser's events, taking every number with a decimal point or an
// exponent from its text with a correctly rounded reader (std::from_chars) instead of the
// parser's own conversion, so it returns bit for bit. Refuses nesting deeper than a snapshot's.
class DocumentBuilder final : public nlohmann::json_sax<Json> {
public:
    explicit DocumentBuilder(Json& root) : m_root(root) {}

    bool null() override { return Add(Json(nullptr)); }
    bool boolean(bool value) override { return Add(Json(value)); }
    bool number_integer(number_integer_t value) override { return Add(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return Add(Json(value)); }
    bool number_float(number_float_t, const string_t& lexeme) override {
        // The parser hands the number's text with the locale's decimal point in place of '.'.
        std::string text = lexeme;
        for (char& c : text) {
            if (!(c >= '0' && c <= '9') && c != '-' && c != '+' && c != 'e' && c != 'E') c = '.';
        }
        double value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc::result_out_of_range) {
            m_error = "a number out of the range of doubles: " + text;
            return false;
        }
        if (error != std::errc() || end != text.data() + text.size()) {
            m_error = "a number that cannot be read: " + text;
            return false;
        }
        return Add(Json(value));
    }
    bool string(string_t& value) override { return Add(Json(std::move(value))); }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return Open(Json::object()); }
    bool key(string_t& key) override {
        m_key = std::move(key);
        return true;
    }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(Json::array()); }
    bool end_array() override { return Close(); }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& error) override {
        m_error = error.what();
        (void)position;
        return false;
    }

    const std::string& Error() const { return m_error; }

private:
    static constexpr std::size_t kMaxDepth = 16;

    Json* Place(Json&& value) {
        if (m_stack.empty()) {
            m_root = std::move(value);
            return &m_root;
        }
        Json& parent = *m_stack.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        Json& slot = parent[m_key];
        slot = std::move(value);
        return &slot;
    }
    bool Add(Json&& value) {
        Place(std::move(value));
        return true;
    }
    bool Open(Json&& container) {
        if (m_stack.size() >= kMaxDepth) {
            m_error = "nested deeper than a snapshot is";
            return false;
        }
        m_stack.push_back(Place(std::move(container)));
        return true;
    }
    bool Close() {
        m_stack.pop_back();
        return true;
    }

    Json& m_root;
    std::vector<Json*> m_stack;
    std::string m_key;
    std::string m_error;
};

// What is wrong with the document, by place; reading stops at the first fault.
class SnapshotReader {
public:
    explicit SnapshotReader(const Json& root) : m_root(root) {}

    bool Failed() const { return !m_error.empty(); }
    const std::string& Error() const { return m_error; }
    void Fail(const std::string& where, const std::string& what) {
        if (m_error.empty()) m_error = "\"" + where + "\": " + what;
    }

    void TakeNonFinite() {
        const Json* table = Member(m_root, "nonfinite", "nonfinite");
        if (table == nullptr) return;
        if (!table->is_object()) return Fail("nonfinite", "not an object");
        for (const auto& [place, bits] : table->items()) {
            std::uint64_t value = 0;
            const std::string text = bits.is_string() ? bits.get<std::string>() : std::string();
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value, 16);
            double number;
            std::memcpy(&number, &value, sizeof number);
            if (text.size() != 16 || error != std::errc() || end != text.data() + text.size() ||
                std::isfinite(number)) {
                return Fail("nonfinite" + place,
                            "not the 16 hexadecimal digits of a value that is "
                            "no finite number");
            }
            m_nonFinite[place] = number;
        }
    }

    const Json* Member(const Json& object, const char* key, const std::string& where) {
        if (Failed()) return nullptr;
        if (!object.is_object()) {
            Fail(where, "not an object");
            return nullptr;
        }
        const auto it = object.find(key);
        if (it == object.end()) {
            Fail(where, "missing");
            return nullptr;
        }
        return &*it;
    }

    // A number at `pointer`: a JSON number, or null named in "nonfinite". *missing (when given)
    // is set for a null not named there, which the caller may accept; otherwise that fails.
    bool Number(const Json& value, const std::string& pointer, double* out,
                bool* missing = nullptr) {
        if (missing != nullptr) *missing = false;
        if (value.is_number()) {
            *out = value.get<double>();
            if (!value.is_number_float() && !SameInteger(value, *out)) {
                Fail(pointer, "an integer too large for a double");
                return false;
            }
            return true;
        }
        if (value.is_null()) {
            const auto it = m_nonFinite.find(pointer);
            if (it != m_nonFinite.end()) {
                *out = it->second;
                return true;
            }
            if (missing != nullptr) {
                *missing = true;
                *out = 0;
                return true;
            }
            Fail(pointer, "null without its value in \"nonfinite\"");
            return false;
        }
        Fail(pointer, "not a number");
        return false;
    }
    bool Integer(const Json& value, const std::string& pointer, int* out) {
        if (!value.is_number_integer() || value.get<long long>() < INT32_MIN ||
            value.get<long long>() > INT32_MAX) {
            Fail(pointer, "not a whole number");
            return false;
        }
        *out = value.get<int>();
        return true;
    }
    // An array of `size` entries (any size when `size` is npos).
    const Json* Array(const Json& object, const char* key, const std::string& where,
                      std::size_t size = std::string::npos) {
        const Json* array = Member(object, key, where);
        if (array == nullptr) return nullptr;
        if (!array->is_array()) {
            Fail(where, "not an array");
            return nullptr;
        }
        if (size != std::string::npos && array->size() != size) {
            Fail(where, "holds " + std::to_string(array->size()) + " entries, not " +
                            std::to_string(size));
            return nullptr;
        }
        return array;
    }
    bool Numbers(const Json& array, const std::string& pointer, double* out) {
        for (std::size_t i = 0; i < array.size(); ++i) {
            if (!Number(array[i], pointer + "/" + std::to_string(i), &out[i])) return false;
        }
        return true;
    }
    bool Text(const Json& object, const char* key, const std::string& where, std::string* out) {
        const Json* value = Member(object, key, where);
        if (value == nullptr) return false;
        if (!value->is_string()) {
            Fail(where, "not a text");
            return false;
        }
        *out = value->get<std::string>();
        return true;
    }
    bool Pairs(const Json& object, const char* key, const std::string& where,
               std::vector<NamedValue>* out) {
        const Json* array = Array(object, key, where);
        if (array == nullptr) return false;
        for (std::size_t i = 0; i < array->size(); ++i) {
            const Json& pair = (*array)[i];
            if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() ||
                !pair[1].is_string()) {
                Fail(where + "/" + std::to_string(i), "not a pair of texts");
                return false;
            }
            out->emplace_back(pair[0].get<std::string>(), pair[1].get<std::string>());
        }
        return true;
    }
    bool Ray(const Json& value, const std::string& pointer, RayAnswer* out) {
        if (!value.is_array() || value.size() != 11) {
            Fail(pointer, "not a ray answer of 11 entries");
            return false;
        }
        if (!Integer(value[0], pointer + "/0", &out->result)) return false;
        double* fields[10] = {&out->x, &out->y,  &out->z,  &out->l,  &out->m,
                              &out->n, &out->ln, &out->mn, &out->nn, &out->path};
        for (int k = 0; k < 10; ++k) {
            if (!Number(value[k + 1], pointer + "/" + std::to_string(k + 1), fields[k])) {
                return false;
            }
        }
        return true;
    }

private:
    static bool SameInteger(const Json& value, double d) {
        if (value.is_number_unsigned()) {
            return d < 18446744073709551616.0 &&
                   static_cast<std::uint64_t>(d) == value.get<std::uint64_t>();
        }
        return d >= -9223372036854775808.0 && d < 9223372036854775808.0 &&
               static_cast<std::int64_t>(d) == value.get<std::int64_t>();
    }

    const Json& m_root;
    std::string m_error;
    std::map<std::string, double> m_nonFinite;
};

bool ReadRanges(SnapshotReader& in, const Json& root, CompareRanges* r) {
    const Json* ranges = in.Member(root, "ranges", "ranges");
    if (ranges == nullptr) return false;
    const std::pair<const char*, double*> fields[] = {{"xmin", &r->xmin}, {"xmax", &r->xmax},
                                                      {"ymin", &r->ymin}, {"ymax", &r->ymax},
                                                      {"dx", &r->dx},     {"dy", &r->dy}};
    for (const auto& [key, out] : fields) {
        const Json* value = in.Member(*ranges, key, std::string("ranges/") + key);
        if (value == nullptr || !in.Number(*value, std::string("/ranges/") + key, out)) {
            return false;
        }
    }
    const std::string problem = CompareRangesProblem(*r);
    if (!problem.empty()) in.Fail("ranges", problem);
    return !in.Failed();
}

bool ReadRecords(SnapshotReader& in, const Json& root, SurfaceAnswers& a) {
    const Json* records = in.Member(root, "records", "records");
    if (records == nullptr) return false;
    if (records->is_null()) return true;  // a script's
    a.hasRecords = true;
    const Json* version = in.Member(*records, "record_version", "records/record_version");
    if (version == nullptr || !in.Integer(*version, "records/record_version", &a.recordVersion)) {
        return false;
    }
    if (a.recordVersion < kRecordVersion0 || a.recordVersion > kLastRecordVersion) {
        in.Fail("records/record_version", "no record version of this program");
        return false;
    }
    const Json* gradient = in.Member(*records, "gradient_index", "records/gradient_index");
    if (gradient == nullptr) return false;
    if (!gradient->is_boolean()) {
        in.Fail("records/gradient_index", "not true or false");
        return false;
    }
    a.gradientIndex = gradient->get<bool>();
    const Json* nameResult = in.Member(*records, "name_result", "records/name_result");
    return nameResult != nullptr && in.Integer(*nameResult, "records/name_result", &a.nameResult) &&
           in.Text(*records, "name", "records/name", &a.name) &&
           in.Pairs(*records, "element_names", "records/element_names", &a.elementNames) &&
           in.Pairs(*records, "safe_data", "records/safe_data", &a.safeData) &&
           in.Pairs(*records, "changed_rows", "records/changed_rows", &a.changedRows);
}

bool ReadAxis(SnapshotReader& in, const Json& sag, const char* key, double min, double max,
              double step, std::vector<double>* axis) {
    const std::vector<double> expected = SagGridAxis(min, max, step);
    const std::string where = std::string("sag/") + key;
    const Json* array = in.Array(sag, key, where, expected.size());
    if (array == nullptr) return false;
    axis->resize(expected.size());
    if (!in.Numbers(*array, "/" + where, axis->data())) return false;
    if (std::memcmp(axis->data(), expected.data(), expected.size() * sizeof(double)) != 0) {
        in.Fail(where, "not the grid of the ranges");
        return false;
    }
    return true;
}

bool ReadSags(SnapshotReader& in, const Json& root, SurfaceAnswers& a) {
    const Json* sag = in.Member(root, "sag", "sag");
    if (sag == nullptr) return false;
    const CompareRanges& r = a.ranges;
    if (!ReadAxis(in, *sag, "x", r.xmin, r.xmax, r.dx, &a.xs) ||
        !ReadAxis(in, *sag, "y", r.ymin, r.ymax, r.dy, &a.ys)) {
        return false;
    }
    const std::size_t n = a.GridPoints();
    std::string ok;
    if (!in.Text(*sag, "ok", "sag/ok", &ok)) return false;
    if (ok.size() != n || ok.find_first_not_of("01") != std::string::npos) {
        in.Fail("sag/ok", "not one digit 0 or 1 for each of the " + std::to_string(n) + " points");
        return false;
    }
    const Json* values = in.Array(*sag, "values", "sag/values", n);
    if (values == nullptr) return false;
    a.sagOk.resize(n);
    a.sag.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        a.sagOk[i] = ok[i] == '1';
        bool missing = false;
        const std::string pointer = "/sag/values/" + std::to_string(i);
        if (!in.Number((*values)[i], pointer, &a.sag[i], &missing)) return false;
        if (a.sagOk[i] && (missing || !std::isfinite(a.sag[i]))) {
            in.Fail("sag/values/" + std::to_string(i), "a point that answered has no sag");
            return false;
        }
        if (!a.sagOk[i] && std::isfinite(a.sag[i])) a.sag[i] = 0;  // as collected
    }
    return true;
}

bool ReadRays(SnapshotReader& in, const Json& root, SurfaceAnswers& a) {
    const Json* rays = in.Member(root, "rays", "rays");
    if (rays == nullptr) return false;
    if (rays->is_null()) return true;
    a.traced = true;
    const Json* direction = in.Array(*rays, "direction", "rays/direction", 3);
    if (direction == nullptr || !in.Numbers(*direction, "/rays/direction", a.direction)) {
        return false;
    }
    const std::size_t n = CompareRaySet(a.ranges, a.direction).size();
    const Json* answers = in.Array(*rays, "answers", "rays/answers", n);
    if (answers == nullptr) return false;
    a.rays.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!in.Ray((*answers)[i], "/rays/answers/" + std::to_string(i), &a.rays[i])) return false;
    }
    return true;
}

bool ReadIndex(SnapshotReader& in, const Json& root, SurfaceAnswers& a) {
    const Json* index = in.Member(root, "index", "index");
    if (index == nullptr) return false;
    if (index->is_null()) return true;
    const Json* points = in.Array(*index, "points", "index/points");
    if (points == nullptr) return false;
    const Json* answers = in.Array(*index, "answers", "index/answers", points->size());
    if (answers == nullptr) return false;
    a.indexPoints.resize(points->size());
    a.index.resize(points->size());
    for (std::size_t i = 0; i < points->size(); ++i) {
        const std::string p = "/index/points/" + std::to_string(i);
        const Json& point = (*points)[i];
        double xyz[3];
        if (!point.is_array() || point.size() != 3) {
            in.Fail(p.substr(1), "not a point of 3 numbers");
            return false;
        }
        if (!in.Numbers(point, p, xyz)) return false;
        a.indexPoints[i] = {xyz[0], xyz[1], xyz[2]};
        const std::string q = "/index/answers/" + std::to_string(i);
        const Json& answer = (*answers)[i];
        if (!answer.is_array() || answer.size() != 5 || !answer[0].is_number_integer() ||
            (answer[0].get<long long>() != 0 && answer[0].get<long long>() != 1)) {
            in.Fail(q.substr(1), "not an answer [0 or 1, index, dndx, dndy, dndz]");
            return false;
        }
        IndexAnswer& s = a.index[i];
        s.ok = answer[0].get<int>() == 1;
        double* fields[4] = {&s.index, &s.dndx, &s.dndy, &s.dndz};
        for (int k = 0; k < 4; ++k) {
            if (!in.Number(answer[k + 1], q + "/" + std::to_string(k + 1), fields[k])) {
                return false;
            }
        }
    }
    return true;
}

bool ReadRay(SnapshotReader& in, const Json& root, SurfaceAnswers& a) {
    const Json* ray = in.Member(root, "ray", "ray");
    if (ray == nullptr) return false;
    if (ray->is_null()) return true;
    a.rayKnown = true;
    const Json* start = in.Array(*ray, "start", "ray/start", 6);
    const Json* answer = start != nullptr ? in.Member(*ray, "answer", "ray/answer") : nullptr;
    return answer != nullptr && in.Numbers(*start, "/ray/start", a.rayStart) &&
           in.Ray(*answer, "/ray/answer", &a.ray);
}

}  // namespace

bool ReadSnapshotText(std::string_view text, SurfaceAnswers* answers, std::string* reason) {
    Json root;
    DocumentBuilder builder(root);
    if (!Json::sax_parse(text.begin(), text.end(), &builder)) {
        *reason = "not JSON: " +
                  (builder.Error().empty() ? std::string("cannot be read") : builder.Error());
        return false;
    }
    SnapshotReader in(root);
    std::string format;
    if (!root.is_object() || !in.Text(root, "format", "format", &format) ||
        format != kSnapshotFormat) {
        *reason = std::string("not a snapshot: its \"format\" is not \"") + kSnapshotFormat + "\"";
        return false;
    }
    const Json* version = in.Member(root, "version", "version");
    if (version == nullptr || !version->is_number_integer() ||
        version->get<long long>() != kSnapshotVersion) {
        *reason = "a snapshot of another version than " + std::to_string(kSnapshotVersion) +
                  ": take it again with this program";
        return false;
    }
    SurfaceAnswers a;
    std::string kind;
    in.TakeNonFinite();
    if (in.Text(root, "kind", "kind", &kind)) {
        if (kind == "library") {
            a.kind = SurfaceKind::kLibrary;
        } else if (kind == "script") {
            a.kind = SurfaceKind::kScript;
        } else if (kind == "built-in") {
            a.kind = SurfaceKind::kBuiltIn;
        } else {
            in.Fail("kind", "not \"library\", \"script\" or \"built-in\"");
        }
    }
    in.Text(root, "source", "source", &a.source);
    if (!in.Failed() && ReadRanges(in, root, &a.ranges) && ReadRecords(in, root, a) &&
        ReadSags(in, root, a) && ReadRays(in, root, a) && ReadIndex(in, root, a)) {
        ReadRay(in, root, a);
    }
    if (in.Failed()) {
        *reason = "a damaged snapshot: " + in.Error();
        return false;
    }
    *answers = std::move(a);
    return true;
}

bool ReadSnapshotFile(const std::string& path, SurfaceAnswers* answers, std::string* reason) {
    std::string bytes;
    std::string why;
    const int error = ReadWholeFile(path, kSnapshotFileLimit, &bytes, &why);
    if (error == EFBIG) {
        *reason =
            "larger than a snapshot can be (" + std::to_string(kSnapshotFileLimit) + " bytes)";
        return false;
    }
    if (error != 0) {
        *reason = why.empty() ? "cannot be read" : why;
        return false;
    }
    return ReadSnapshotText(bytes, answers, reason);
}

bool LooksLikeSnapshot(std::string_view start) {
    const std::size_t first = start.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && start[first] == '{' &&
           start.find("\"format\"") != std::string_view::npos;
}

}  // namespace velmor
