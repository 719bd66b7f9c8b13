#include "core/compare/compare_reference.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/app/cp932.h"
#include "core/app/regular_file.h"
#include "core/compare/snapshot_file.h"
#include "core/interp/compile_report.h"

namespace velmor {

const char* ReferenceKindText(ReferenceKind kind) {
    switch (kind) {
        case ReferenceKind::kScript:
            return "script";
        case ReferenceKind::kSnapshot:
            return "snapshot";
        default:
            return "library";
    }
}

namespace {

// A script file is text of a few kilobytes; anything beyond this is no script.
constexpr long long kScriptFileLimit = 1 << 20;

// The sags of a snapshot's grid as a sampler: exact on the grid's points, bilinear between
// them where the four around answered, failing elsewhere.
class SnapshotSampler final : public Sampler {
public:
    explicit SnapshotSampler(const SurfaceAnswers& answers) : m_a(answers) {}

    bool Sag(double x, double y, double* z) override {
        const std::vector<double>& xs = m_a.xs;
        const std::vector<double>& ys = m_a.ys;
        std::size_t i = 0, j = 0;
        double u = 0, v = 0;
        if (!Locate(xs, x, &i, &u) || !Locate(ys, y, &j, &v)) return false;
        const std::size_t nx = xs.size();
        const std::size_t i1 = u > 0 ? i + 1 : i, j1 = v > 0 ? j + 1 : j;
        const std::size_t corners[4] = {j * nx + i, j * nx + i1, j1 * nx + i, j1 * nx + i1};
        for (std::size_t k : corners) {
            if (!m_a.sagOk[k]) return false;
        }
        const double* s = m_a.sag.data();
        const double low = s[corners[0]] + u * (s[corners[1]] - s[corners[0]]);
        const double high = s[corners[2]] + u * (s[corners[3]] - s[corners[2]]);
        if (z != nullptr) *z = low + v * (high - low);
        return true;
    }
    bool Index(double, double, double, IndexSample*) override { return false; }

private:
    // The cell of `axis` holding `value`: its first point and the fraction across it (0 on a
    // point).
    static bool Locate(const std::vector<double>& axis, double value, std::size_t* at,
                       double* fraction) {
        if (axis.empty() || !(value >= axis.front()) || !(value <= axis.back())) return false;
        const auto it = std::upper_bound(axis.begin(), axis.end(), value);
        const std::size_t k = static_cast<std::size_t>(it - axis.begin()) - 1;
        *at = k;
        *fraction = value == axis[k] || k + 1 >= axis.size()
                        ? 0.0
                        : (value - axis[k]) / (axis[k + 1] - axis[k]);
        return true;
    }

    const SurfaceAnswers& m_a;
};

// The first bytes of a file, or false with the reason.
bool ReadStart(const std::string& path, std::string* start, std::string* reason) {
    long long size = 0;
    const int fd = OpenRegularFile(path, &size, reason);
    if (fd < 0) return false;
    start->resize(4096);
    const long long got = ReadFromFile(fd, start->data(), start->size());
    CloseFile(fd);
    if (got < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    start->resize(static_cast<std::size_t>(got));
    return true;
}

bool IsLibraryFile(const std::string& start) {
    return start.compare(0, 4,
                         "\x7f"
                         "ELF") == 0 ||
           start.compare(0, 2, "MZ") == 0;
}

// The first line of an 8-bit message text, as UTF-8.
std::string FirstLine(const std::string& cp932) {
    std::string utf8;
    Cp932ToUtf8(cp932.substr(0, cp932.find_first_of("\r\n")), &utf8);
    return utf8;
}

}  // namespace

CCompareReference::CCompareReference() = default;
CCompareReference::~CCompareReference() = default;

const LibraryFault* CCompareReference::Fault() const {
    if (m_provider != nullptr && m_provider->LibraryFaulted())
        return m_provider->LastLibraryFault();
    return m_loadFault ? &*m_loadFault : nullptr;
}

bool CCompareReference::Open(const std::string& path, const ReferenceSetup& setup,
                             std::string* message) {
    m_path = path;
    std::string start;
    if (!ReadStart(path, &start, message)) return false;
    if (IsLibraryFile(start)) {
        m_kind = ReferenceKind::kLibrary;
        return OpenLibrary(path, setup, message);
    }
    if (LooksLikeSnapshot(start)) {
        m_kind = ReferenceKind::kSnapshot;
        SurfaceAnswers answers;
        if (!ReadSnapshotFile(path, &answers, message)) return false;
        m_snapshot = std::move(answers);
        m_snapshotSampler = std::make_unique<SnapshotSampler>(*m_snapshot);
        return true;
    }
    std::string bytes;
    const int error = ReadWholeFile(path, kScriptFileLimit, &bytes, message);
    if (error == EFBIG) {
        *message = "neither a library nor a snapshot, and too large for a script";
        return false;
    }
    if (error != 0) return false;
    m_kind = ReferenceKind::kScript;
    return OpenScript(path, bytes, message);
}

bool CCompareReference::OpenLibrary(const std::string& path, const ReferenceSetup& setup,
                                    std::string* message) {
    m_engine = std::make_unique<CScriptEngine>();
    m_provider = std::make_unique<CSurfaceProvider>(*m_engine);
    LibraryHostSettings host = setup.host;
    host.inProcess = false;  // a helper of its own, whatever the surface's library uses
    m_provider->SetLibraryHost(host);
    m_provider->SetLibraryWaitHook(setup.waitHook);
    m_provider->SetLibraryOutputSink(setup.outputSink);
    const LoadOutcome outcome = m_provider->OpenSurfaceDll(path);
    if (outcome.loaded) return true;
    if (outcome.fault) {
        m_loadFault = outcome.fault;
        *message = "the library faulted while loading: " + outcome.fault->Describe();
    } else if (!outcome.message.empty()) {
        *message = outcome.message;
    } else {
        *message = std::string(kSurfaceDllErrorText) +
                   (outcome.reason.empty() ? std::string() : " (" + outcome.reason + ")");
    }
    return false;
}

bool CCompareReference::OpenScript(const std::string& path, const std::string& bytes,
                                   std::string* message) {
    m_engine = std::make_unique<CScriptEngine>();
    m_provider = std::make_unique<CSurfaceProvider>(*m_engine);
    const std::string source = CompilerInputFromFile(bytes, kCompileSourceByteLimit);
    const std::string report = CompileReport(*m_engine, source.c_str());
    if (m_engine->InstructionCount() <= 0) {
        // Interpreter mode is refused without code, as the "Use Interpreter" switch refuses it.
        std::string why = FirstLine(report);
        const char* messages = m_engine->CompileMessageText();
        if (m_engine->CompileErrorCount() > 0 && messages[0] != '\0') {
            why += ' ';
            why += FirstLine(messages);
        }
        *message = "neither a library nor a snapshot, and as a script no intermediate code: ";
        *message += why;
        return false;
    }
    m_provider->SetInterpreterMode(true);
    m_provider->SetGradientIndex(false);
    (void)path;
    return true;
}

void CCompareReference::TakeRecords(const RecordPair& initial, const RecordPair& loaded,
                                    int version) {
    m_rows = RowsTaken();
    if (m_provider == nullptr) return;
    RecordPair& records = m_provider->Initial();
    if (m_provider->InterpreterMode()) {
        records.ud = initial.ud;  // the ray the script traces
        return;
    }
    const int refVersion = m_provider->RecordVersion();
    m_rows.recordVersion = refVersion;
    const std::vector<RecordRow>& own = FixedDataRows(refVersion);
    for (const NamedValue& changed : ChangedRows(initial, loaded, version)) {
        const std::string& name = changed.first;
        // USER_DATA has one layout.
        if (const RecordRow* row = [&]() -> const RecordRow* {
                for (const RecordRow& r : UserDataRows()) {
                    if (r.name == name) return &r;
                }
                return nullptr;
            }()) {
            std::memcpy(reinterpret_cast<char*>(&records.ud) + row->offset,
                        reinterpret_cast<const char*>(&initial.ud) + row->offset,
                        static_cast<std::size_t>(row->size));
            m_rows.taken.emplace_back(name, RowValueText(*row, &records.ud));
            continue;
        }
        const RecordRow* from = nullptr;
        for (const RecordRow& r : FixedDataRows(version)) {
            if (r.name == name) from = &r;
        }
        const RecordRow* to = nullptr;
        for (const RecordRow& r : own) {
            if (r.name == name) to = &r;
        }
        if (from == nullptr || to == nullptr) {
            m_rows.lacking.push_back(name);
            continue;
        }
        const char* source = reinterpret_cast<const char*>(initial.fd) + from->offset;
        char* target = reinterpret_cast<char*>(records.fd) + to->offset;
        bool taken = true;
        if (from->kind == to->kind && from->kind != RowKind::kChars && from->size == to->size) {
            std::memcpy(target, source, static_cast<std::size_t>(from->size));
        } else if (from->kind == RowKind::kChars && to->kind == RowKind::kChars) {
            // The text, cut on a whole character to fit with its terminator.
            const std::string_view text = FieldText(source, static_cast<std::size_t>(from->size));
            const std::size_t length = Cp932FitLength(text, static_cast<std::size_t>(to->size) - 1);
            std::memset(target, 0, static_cast<std::size_t>(to->size));
            std::memcpy(target, text.data(), length);
        } else if (from->kind == RowKind::kInt && to->kind == RowKind::kDouble) {
            int value;
            std::memcpy(&value, source, sizeof value);
            const double converted = value;
            std::memcpy(target, &converted, sizeof converted);
        } else if (from->kind == RowKind::kDouble && to->kind == RowKind::kInt) {
            double value;
            std::memcpy(&value, source, sizeof value);
            taken = value == std::trunc(value) && value >= -2147483648.0 && value <= 2147483647.0;
            if (taken) {
                const int converted = static_cast<int>(value);
                std::memcpy(target, &converted, sizeof converted);
            }
        } else {
            taken = false;
        }
        if (taken) {
            m_rows.taken.emplace_back(name, RowValueText(*to, records.fd));
        } else {
            m_rows.lacking.push_back(name + " (its " + to->typeText + " cannot hold it)");
        }
    }
}

Sampler& CCompareReference::ViewSampler() {
    if (m_provider != nullptr) {
        m_provider->RefreshWorkingPair();
        return m_provider->SurfaceSampler();
    }
    return *m_snapshotSampler;
}

}  // namespace velmor
