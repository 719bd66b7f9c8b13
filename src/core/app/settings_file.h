// The settings file: a plain private-profile text file ("[Section Name]" lines followed by
// "key=value" lines). Sections and keys match without regard to ASCII case; section names may
// contain spaces; a value is everything after the first "=" of its line, as it stands. Every
// call reads or rewrites the file on disk; a missing file reads as empty. A rewrite replaces
// the file in one step (temporary file and rename) and keeps every other line; callers may
// ignore a failed write.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmor {

class SettingsFile {
public:
    explicit SettingsFile(std::string path) : m_path(std::move(path)) {}

    // The leading decimal number of the value (leading blanks and a sign allowed); `fallback`
    // when the key is missing, the value starts with no digit or the number exceeds an int.
    int GetInt(const std::string& section, const std::string& key, int fallback) const;
    // Writes the value as decimal text, replacing the key in place or adding it (and its
    // section) when missing. False when the file could not be read or written, or when the
    // section, key or value holds a line break (or the key is empty, starts with ";" or "[",
    // holds "=" or has blanks around it): the file is then left as it was.
    bool WriteInt(const std::string& section, const std::string& key, int value);

    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& fallback) const;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    std::string m_path;
};

// One "key=value" line of a private-profile text, read as the settings file reads it: the key
// without the blanks around it, the value as it stands.
struct ProfileEntry {
    std::string section;  // as its header spells it; empty before the first header
    std::string key;
    std::string value;
    int line = 0;  // 1-based
};
// Every key line of `content` in file order (a leading UTF-8 byte-order mark skipped, LF or CR LF
// line ends). `sections`, when given, receives every section header's name in file order.
std::vector<ProfileEntry> ReadProfileEntries(std::string_view content,
                                             std::vector<std::string>* sections = nullptr);

// A private-profile text written whole: each section's header, then its "key=value" lines.
struct ProfileSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
};
// The text, LF line ends, a blank line between sections. False when a name or value would break
// its line or not read back as written (the settings file's rules), `bad` then naming the key.
bool WriteProfileText(const std::vector<ProfileSection>& sections, std::string* text,
                      std::string* bad = nullptr);

// Window-placement sections and keys.
inline constexpr const char* kSectionWindowMain = "WINDOW_MAIN";
inline constexpr const char* kSectionWindowInterpreter = "WINDOW_INTERPRETER";
inline constexpr const char* kSectionWindow3D = "WINDOW_3D";
inline constexpr const char* kSectionWindowUdFdInitial = "WINDOW_UDFD_INITIAL";
inline constexpr const char* kSectionWindowUdFdFinal = "WINDOW_UDFD_FINAL";
inline constexpr const char* kSectionWindowLibraryOutput = "WINDOW_LIBRARY_OUTPUT";
inline constexpr const char* kKeyVisible = "VISIBLE";
inline constexpr const char* kKeyNormLeft = "NORM_LEFT";
inline constexpr const char* kKeyNormTop = "NORM_TOP";
inline constexpr const char* kKeyNormRight = "NORM_RIGHT";
inline constexpr const char* kKeyNormBottom = "NORM_BOTTOM";

}  // namespace velmor
