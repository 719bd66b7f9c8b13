#include "core/app/session_file.h"

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "core/app/ascii_case.h"
#include "core/app/number_text.h"
#include "core/app/regular_file.h"
#include "core/app/settings_file.h"

namespace velmor {

namespace {

const std::vector<AnalysisKey> kAnalysisKeys = {
    {kKeyXMin, AnalysisValue::kNumber},        {kKeyXMax, AnalysisValue::kNumber},
    {kKeyYMin, AnalysisValue::kNumber},        {kKeyYMax, AnalysisValue::kNumber},
    {kKeyStep2DX, AnalysisValue::kNumber},     {kKeyStep2DY, AnalysisValue::kNumber},
    {kKeyStep3DX, AnalysisValue::kNumber},     {kKeyStep3DY, AnalysisValue::kNumber},
    {kKeyDisplayXMin, AnalysisValue::kNumber}, {kKeyDisplayXMax, AnalysisValue::kNumber},
    {kKeyDisplayYMin, AnalysisValue::kNumber}, {kKeyDisplayYMax, AnalysisValue::kNumber},
    {kKeyDisplayZMin, AnalysisValue::kNumber}, {kKeyDisplayZMax, AnalysisValue::kNumber},
    {kKeyDisplayNMin, AnalysisValue::kNumber}, {kKeyDisplayNMax, AnalysisValue::kNumber},
    {kKeyN1, AnalysisValue::kNumber},          {kKeyN2, AnalysisValue::kNumber},
    {kKeyDisplayRMin, AnalysisValue::kNumber}, {kKeyDisplayRMax, AnalysisValue::kNumber},
    {kKeyCursorX, AnalysisValue::kNumber},     {kKeyCursorY, AnalysisValue::kNumber},
    {kKeyCursorZ, AnalysisValue::kNumber},     {kKeyMeshPattern, AnalysisValue::kPattern},
    {kKeyRayTrace, AnalysisValue::kSwitch},    {kKeyCursor, AnalysisValue::kSwitch},
    {kKeyVerbose, AnalysisValue::kSwitch},     {kKeyUseInterpreter, AnalysisValue::kSwitch},
};

constexpr const char* kSourceNames[] = {"builtin", "library", "script"};

// Whether the bytes are UTF-8 text: no NUL byte, every sequence well formed (no overlong
// forms, no surrogates, nothing above U+10FFFF).
bool IsUtf8Text(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0) return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        unsigned min = 0, code = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (bytes.size() - i <= std::size_t(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += std::size_t(extra) + 1;
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool ReadWholeInt(std::string_view text, int low, int high, int* value) {
    text = TrimBlanks(text);
    std::size_t used = 0;
    int number = 0;
    if (ScanLeadingInt(text, &number, &used) != NumberScan::kNumber || used != text.size())
        return false;
    if (number < low || number > high) return false;
    *value = number;
    return true;
}

std::string Entry(const ProfileEntry& entry) {
    return entry.key + "=" + entry.value;
}

}  // namespace

const std::vector<AnalysisKey>& AnalysisKeys() {
    return kAnalysisKeys;
}

const AnalysisKey* FindAnalysisKey(std::string_view key) {
    for (const AnalysisKey& known : kAnalysisKeys) {
        if (EqualsIgnoringCase(known.key, key)) return &known;
    }
    return nullptr;
}

const char* SessionSourceName(SessionSource source) {
    return kSourceNames[static_cast<int>(source)];
}

bool ReadAnalysisNumber(std::string_view text, double* value) {
    text = TrimBlanks(text);
    std::size_t used = 0;
    double number = 0;
    if (ScanLeadingDouble(text, &number, &used) != NumberScan::kNumber || used != text.size() ||
        !std::isfinite(number))
        return false;
    *value = number;
    return true;
}

std::string AnalysisNumberText(double value) {
    return ShortestNumberText(value);
}

bool ReadSessionFile(const std::string& path, Session* session, std::string* refusal) {
    const std::string name = FileNameOf(path);
    std::string bytes;
    std::string reason;
    const int error = ReadWholeFile(path, kSessionFileLimit, &bytes, &reason);
    if (error == EFBIG) {
        *refusal = name + " is no session: it is larger than 16 MiB";
        return false;
    }
    if (error != 0) {
        *refusal = name + " cannot be read: " + reason;
        return false;
    }
    return ParseSession(bytes, name, session, refusal);
}

bool ParseSession(std::string_view bytes, const std::string& name, Session* session,
                  std::string* refusal) {
    if (!IsUtf8Text(bytes)) {
        *refusal = name + " is no session: it is not a text file";
        return false;
    }
    std::vector<std::string> sections;
    const std::vector<ProfileEntry> entries = ReadProfileEntries(bytes, &sections);
    bool haveSession = false;
    for (const std::string& section : sections)
        haveSession = haveSession || EqualsIgnoringCase(section, kSectionSession);
    if (!haveSession) {
        *refusal = name + " is no session: it has no [SESSION] section";
        return false;
    }
    Session read;
    bool haveVersion = false;
    for (const std::string& section : sections) {
        if (!EqualsIgnoringCase(section, kSectionSession) &&
            !EqualsIgnoringCase(section, kSectionRecords) &&
            !EqualsIgnoringCase(section, kSectionAnalysis))
            read.problems.push_back("[" + section + "]: unknown section, not read");
    }
    for (const ProfileEntry& entry : entries) {
        if (EqualsIgnoringCase(entry.section, kSectionSession)) {
            if (EqualsIgnoringCase(entry.key, kKeySessionVersion)) {
                int version = 0;
                if (!ReadWholeInt(entry.value, 1, 1 << 30, &version)) {
                    *refusal = name + " is no session: VERSION=" + entry.value + " is no version";
                    return false;
                }
                if (version > kSessionFileVersion) {
                    *refusal = name +
                               " is a session of a later Velmor (VERSION=" + FormatInt(version) +
                               "; this one reads VERSION=1)";
                    return false;
                }
                haveVersion = true;
            } else if (EqualsIgnoringCase(entry.key, kKeySource)) {
                bool known = false;
                for (int i = 0; i < 3; ++i) {
                    if (EqualsIgnoringCase(TrimBlanks(entry.value), kSourceNames[i])) {
                        read.source = static_cast<SessionSource>(i);
                        known = true;
                    }
                }
                if (!known)
                    read.problems.push_back(Entry(entry) +
                                            ": unknown source (builtin, library or script); the "
                                            "built-in surface answers");
            } else if (EqualsIgnoringCase(entry.key, kKeyLibrary)) {
                read.libraryPath = entry.value;
            } else if (EqualsIgnoringCase(entry.key, kKeyScript)) {
                read.scriptPath = entry.value;
            } else {
                read.problems.push_back(Entry(entry) + ": unknown key in [SESSION], not read");
            }
        } else if (EqualsIgnoringCase(entry.section, kSectionRecords)) {
            if (EqualsIgnoringCase(entry.key, kKeyRecordVersion)) {
                int version = 0;
                if (ReadWholeInt(entry.value, 0, 1 << 30, &version))
                    read.recordVersion = version;
                else
                    read.problems.push_back(Entry(entry) + ": not a record version, not read");
            } else {
                read.rows.push_back({entry.key, entry.value});
            }
        } else if (EqualsIgnoringCase(entry.section, kSectionAnalysis)) {
            const AnalysisKey* key = FindAnalysisKey(entry.key);
            if (key == nullptr) {
                read.problems.push_back(Entry(entry) + ": unknown key in [ANALYSIS], not read");
                continue;
            }
            double number = 0;
            int whole = 0;
            bool fits = false;
            const char* expected = "a number";
            switch (key->kind) {
                case AnalysisValue::kNumber:
                    fits = ReadAnalysisNumber(entry.value, &number);
                    break;
                case AnalysisValue::kSwitch:
                    fits = ReadWholeInt(entry.value, 0, 1, &whole);
                    expected = "0 or 1";
                    break;
                case AnalysisValue::kPattern:
                    fits = ReadWholeInt(entry.value, 0, 3, &whole);
                    expected = "0, 1, 2 or 3";
                    break;
            }
            if (!fits) {
                read.problems.push_back(Entry(entry) + ": not " + expected + ", not applied");
                continue;
            }
            read.analysis.push_back({key->key, std::string(TrimBlanks(entry.value))});
        } else if (entry.section.empty()) {
            // Keys of unknown sections were named with their section.
            read.problems.push_back(Entry(entry) + ": outside any section, not read");
        }
    }
    if (!haveVersion) {
        *refusal = name + " is no session: its [SESSION] section has no VERSION";
        return false;
    }
    *session = std::move(read);
    return true;
}

bool SessionText(const Session& session, std::string* text, std::string* reason) {
    std::vector<ProfileSection> sections(3);
    sections[0].name = kSectionSession;
    sections[0].keys = {{kKeySessionVersion, FormatInt(kSessionFileVersion)},
                        {kKeySource, SessionSourceName(session.source)}};
    if (!session.libraryPath.empty())
        sections[0].keys.push_back({kKeyLibrary, session.libraryPath});
    if (!session.scriptPath.empty()) sections[0].keys.push_back({kKeyScript, session.scriptPath});
    sections[1].name = kSectionRecords;
    if (session.recordVersion)
        sections[1].keys.push_back({kKeyRecordVersion, FormatInt(*session.recordVersion)});
    for (const SessionEntry& row : session.rows) sections[1].keys.push_back({row.key, row.value});
    sections[2].name = kSectionAnalysis;
    for (const SessionEntry& value : session.analysis)
        sections[2].keys.push_back({value.key, value.value});
    std::string bad;
    if (!WriteProfileText(sections, text, &bad)) {
        *reason = bad + ": its text cannot be written on one line of the session";
        return false;
    }
    return true;
}

bool WriteSessionFile(const std::string& path, const Session& session, std::string* reason) {
    std::string text;
    if (!SessionText(session, &text, reason)) return false;
    return ReplaceFileContents(path, text, reason);
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string AbsoluteFilePath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return path;
    return absolute.lexically_normal().generic_string();
}

std::string ResolveSessionPath(const std::string& path, const std::string& sessionPath) {
    if (path.empty()) return {};
    const std::size_t slash = sessionPath.find_last_of("/\\");
    const std::string folder =
        slash == std::string::npos ? std::string() : sessionPath.substr(0, slash + 1);
    std::error_code error;
    // A relative path (written by hand) is taken from the session's folder.
    const std::string named =
        std::filesystem::path(path).is_absolute() ? path : AbsoluteFilePath(folder + path);
    if (std::filesystem::is_regular_file(named, error)) return named;
    const std::string name = FileNameOf(path);
    if (!name.empty() && std::filesystem::is_regular_file(folder + name, error))
        return AbsoluteFilePath(folder + name);
    return {};
}

}  // namespace velmor
