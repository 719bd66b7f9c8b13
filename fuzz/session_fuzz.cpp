#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/app/session_file.h"
#include "core/surface/session_records.h"

// The input is read as a session file; what it holds is applied to the records of every
// version, and a session read is written again and must read back the same.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Session session;
    std::string refusal;
    if (!ParseSession(bytes, "fuzz.ini", &session, &refusal)) return 0;
    auto pair = std::make_unique<RecordPair>();
    for (int version = 0; version <= 4; ++version) {
        std::vector<std::string> problems;
        ApplyRecordRows(*pair, version, session.rows, &problems);
    }
    std::string text, reason;
    if (!SessionText(session, &text, &reason)) return 0;
    Session again;
    if (!ParseSession(text, "again.ini", &again, &refusal)) std::abort();
    if (again.rows.size() != session.rows.size() ||
        again.analysis.size() != session.analysis.size() || again.source != session.source)
        std::abort();
    return 0;
}
