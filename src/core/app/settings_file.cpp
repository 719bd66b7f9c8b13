// The settings file. Reads parse the whole (small) file each time; writes rewrite it through a
// replacing write (a temporary file in the same directory renamed over the old one), so a
// crash or a full disk never leaves half a file behind.
#include "core/app/settings_file.h"

#include <cerrno>
#include <string_view>
#include <vector>

#include "core/app/ascii_case.h"
#include "core/app/number_text.h"
#include "core/app/regular_file.h"

namespace velmor {

namespace {

// A settings file larger than this is no settings file of ours: it is not read or rewritten.
constexpr long long kMaxFileSize = 64 * 1024 * 1024;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

enum class ReadStatus { kOk, kMissing, kFailed };

// The whole file. A missing file is an empty one; anything that is not a regular file we can
// read (a directory, a pipe, a device) fails, without blocking on it.
ReadStatus ReadSettings(const std::string& path, std::string* content) {
    const int error = ReadWholeFile(path, kMaxFileSize, content, nullptr);
    if (error == 0) return ReadStatus::kOk;
    return error == ENOENT ? ReadStatus::kMissing : ReadStatus::kFailed;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// "[Section Name]": the text between the bracket and the last closing bracket, as it stands.
bool ParseSection(std::string_view line, std::string_view* name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    const std::size_t close = line.rfind(']');
    if (close == 0 || close == std::string_view::npos) return false;
    *name = line.substr(1, close - 1);
    return true;
}

// "key=value": the key without the blanks around it and the value exactly as it stands up to
// the line end. Comment lines (";") and lines without "=" hold no key.
bool ParseKey(std::string_view line, std::string_view* key, std::string_view* value) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return false;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    *key = Trim(line.substr(0, equals));
    *value = line.substr(equals + 1);
    return true;
}

// The file as lines, without their line ends, remembering how lines ended and a leading
// byte-order mark so a rewrite keeps both.
struct ProfileText {
    std::vector<std::string> lines;
    std::string bom;
    std::string lineEnd = "\n";

    explicit ProfileText(std::string_view content) {
        if (content.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
            bom = kUtf8Bom;
            content.remove_prefix(kUtf8Bom.size());
        }
        const std::size_t firstEnd = content.find('\n');
        if (firstEnd != std::string_view::npos && firstEnd > 0 && content[firstEnd - 1] == '\r')
            lineEnd = "\r\n";
        while (!content.empty()) {
            const std::size_t end = content.find('\n');
            std::string_view line = content.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines.emplace_back(line);
            if (end == std::string_view::npos) break;
            content.remove_prefix(end + 1);
        }
    }

    std::string Join() const {
        std::string out = bom;
        for (const std::string& line : lines) {
            out += line;
            out += lineEnd;
        }
        return out;
    }

    // Index of the header line of the first section of that name, or -1.
    int FindSection(std::string_view section) const {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string_view name;
            if (ParseSection(lines[i], &name) && EqualsIgnoringCase(name, section)) return int(i);
        }
        return -1;
    }

    // One past the last line that belongs to the section whose header is at `header`.
    std::size_t SectionEnd(int header) const {
        std::size_t i = std::size_t(header) + 1;
        std::string_view name;
        while (i < lines.size() && !ParseSection(lines[i], &name)) ++i;
        return i;
    }

    // Index of the key's line inside the section, or -1.
    int FindKey(int header, std::string_view key) const {
        const std::size_t end = SectionEnd(header);
        for (std::size_t i = std::size_t(header) + 1; i < end; ++i) {
            std::string_view name, value;
            if (ParseKey(lines[i], &name, &value) && EqualsIgnoringCase(name, key)) return int(i);
        }
        return -1;
    }
};

bool LookUp(const std::string& path, const std::string& section, const std::string& key,
            std::string* value) {
    std::string content;
    if (path.empty() || ReadSettings(path, &content) != ReadStatus::kOk) return false;
    const ProfileText text(content);
    const int header = text.FindSection(section);
    if (header < 0) return false;
    const int line = text.FindKey(header, key);
    if (line < 0) return false;
    std::string_view name, found;
    ParseKey(text.lines[std::size_t(line)], &name, &found);
    value->assign(found);
    return true;
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Names and values that would break the file's lines, or keys that would not read back as
// written, are refused rather than written.
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value))
        return false;
    if (key.empty() || Trim(key) != key || key.find('=') != std::string_view::npos) return false;
    return key.front() != ';' && key.front() != '[';
}

}  // namespace

std::vector<ProfileEntry> ReadProfileEntries(std::string_view content,
                                             std::vector<std::string>* sections) {
    const ProfileText text(content);
    std::vector<ProfileEntry> entries;
    std::string section;
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        std::string_view name, key, value;
        if (ParseSection(text.lines[i], &name)) {
            section.assign(name);
            if (sections != nullptr) sections->push_back(section);
        } else if (ParseKey(text.lines[i], &key, &value)) {
            entries.push_back({section, std::string(key), std::string(value), int(i) + 1});
        }
    }
    return entries;
}

bool WriteProfileText(const std::vector<ProfileSection>& sections, std::string* text,
                      std::string* bad) {
    std::string out;
    for (const ProfileSection& section : sections) {
        if (!Writable(section.name, "KEY", "") || section.name.find(']') != std::string::npos) {
            if (bad != nullptr) *bad = "[" + section.name + "]";
            return false;
        }
        if (!out.empty()) out += '\n';
        out += "[" + section.name + "]\n";
        for (const auto& [key, value] : section.keys) {
            if (!Writable(section.name, key, value)) {
                if (bad != nullptr) *bad = key;
                return false;
            }
            out += key + "=" + value + "\n";
        }
    }
    *text = std::move(out);
    return true;
}

int SettingsFile::GetInt(const std::string& section, const std::string& key, int fallback) const {
    std::string value;
    if (!LookUp(m_path, section, key, &value)) return fallback;
    int number = 0;
    return ScanLeadingInt(value, &number) == NumberScan::kNumber ? number : fallback;
}

bool SettingsFile::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, FormatInt(value));
}

std::string SettingsFile::GetString(const std::string& section, const std::string& key,
                                    const std::string& fallback) const {
    std::string value;
    return LookUp(m_path, section, key, &value) ? value : fallback;
}

bool SettingsFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
    if (m_path.empty() || !Writable(section, key, value)) return false;
    std::string content;
    if (ReadSettings(m_path, &content) == ReadStatus::kFailed) return false;
    ProfileText text(content);

    const int header = text.FindSection(section);
    if (header < 0) {
        if (!text.lines.empty() && !Trim(text.lines.back()).empty()) text.lines.emplace_back();
        text.lines.push_back("[" + section + "]");
        text.lines.push_back(key + "=" + value);
    } else if (const int line = text.FindKey(header, key); line >= 0) {
        // Replace the value in place, keeping the key as the file spells it.
        std::string_view name, old;
        ParseKey(text.lines[std::size_t(line)], &name, &old);
        text.lines[std::size_t(line)] = std::string(name) + "=" + value;
    } else {
        // New key after the section's last non-blank line.
        std::size_t at = text.SectionEnd(header);
        while (at > std::size_t(header) + 1 && Trim(text.lines[at - 1]).empty()) --at;
        text.lines.insert(text.lines.begin() + std::ptrdiff_t(at), key + "=" + value);
    }
    return ReplaceFileContents(m_path, text.Join(), nullptr);
}

}  // namespace velmor
