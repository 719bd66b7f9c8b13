#include "ui/grid/column_config.h"

#include <algorithm>
#include <cstdio>

#include "core/app/number_text.h"

namespace velmor {

namespace {

// Marks a key the settings file does not hold: no stored value can contain it.
constexpr const char* kMissing = "\x01\x02missing\x02\x01";

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string ColumnKey(const char* format, int position) {
    char key[48];
    std::snprintf(key, sizeof key, format, position);
    return key;
}

// --- CColumnConfigSection ---

CColumnConfigSection::CColumnConfigSection(std::string baseSection)
    : m_base(std::move(baseSection)) {}

std::string CColumnConfigSection::GetSetting(const std::string& key,
                                             const std::string& fallback) const {
    std::string value;
    if (ReadSetting(SectionName(), key, value)) return value;
    if (FallbackSetting(key, value)) return value;
    return fallback;
}

int CColumnConfigSection::GetIntSetting(const std::string& key, int fallback) const {
    int value = 0;
    return ScanLeadingInt(GetSetting(key, ""), &value) == NumberScan::kNumber ? value : fallback;
}

void CColumnConfigSection::SetSetting(const std::string& key, const std::string& value) {
    BeforeWrite();
    WriteSetting(SectionName(), key, value);
}

void CColumnConfigSection::SetIntSetting(const std::string& key, int value) {
    SetSetting(key, FormatInt(value));
}

void CColumnConfigSection::RemoveCurrentConfig() {
    BeforeWrite();
    RemoveSection(SectionName());
}

// --- CColumnConfigDefault ---

bool CColumnConfigDefault::CColumnConfigLocal::ReadSetting(const std::string&,
                                                           const std::string& key,
                                                           std::string& value) const {
    auto found = m_values.find(key);
    if (found == m_values.end()) return false;
    value = found->second;
    return true;
}

void CColumnConfigDefault::CColumnConfigLocal::WriteSetting(const std::string&,
                                                            const std::string& key,
                                                            const std::string& value) {
    m_values[key] = value;
}

bool CColumnConfigDefault::FallbackSetting(const std::string& key, std::string& value) const {
    auto found = m_default.Values().find(key);
    if (found == m_default.Values().end()) return false;
    value = found->second;
    return true;
}

void CColumnConfigDefault::ResetToDefault() {
    RemoveCurrentConfig();
    for (const auto& [key, value] : m_default.Values()) SetSetting(key, value);
}

// --- CColumnConfigProfiles ---

std::string CColumnConfigProfiles::BaseValue(const std::string& key) const {
    std::string value;
    if (!ReadSetting(BaseSection(), key, value)) return {};
    return value;
}

std::vector<std::string> CColumnConfigProfiles::Profiles() const {
    std::vector<std::string> names = StoredProfiles();
    for (const auto& pending : m_pending)
        if (std::find(names.begin(), names.end(), pending) == names.end()) names.push_back(pending);
    return names;
}

std::vector<std::string> CColumnConfigProfiles::StoredProfiles() const {
    std::vector<std::string> names;
    std::string list = BaseValue(kKeyCurrentProfiles);
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string name = Trim(list.substr(start, comma - start));
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
        start = comma + 1;
    }
    return names;
}

void CColumnConfigProfiles::AddProfile(const std::string& name) {
    std::string trimmed = Trim(name);
    if (trimmed.empty() || trimmed.find(',') != std::string::npos) return;
    std::vector<std::string> names = Profiles();
    if (std::find(names.begin(), names.end(), trimmed) == names.end()) m_pending.push_back(trimmed);
}

void CColumnConfigProfiles::BeforeWrite() {
    if (m_pending.empty()) return;
    std::vector<std::string> names = Profiles();
    m_pending.clear();
    std::string list;
    for (const auto& n : names) list += (list.empty() ? "" : ", ") + n;
    WriteSetting(BaseSection(), kKeyCurrentProfiles, list);
}

std::string CColumnConfigProfiles::ActiveProfile() const {
    std::string active = Trim(BaseValue(kKeyActiveProfile));
    if (!active.empty()) return active;
    std::vector<std::string> names = Profiles();
    return names.empty() ? std::string() : names.front();
}

void CColumnConfigProfiles::SetActiveProfile(const std::string& name) {
    AddProfile(name);
    BeforeWrite();
    WriteSetting(BaseSection(), kKeyActiveProfile, Trim(name));
}

std::string CColumnConfigProfiles::SectionName() const {
    std::string profile = ActiveProfile();
    return profile.empty() ? BaseSection() : BaseSection() + "__" + profile;
}

// --- CColumnConfigSettingsFile ---

CColumnConfigSettingsFile::CColumnConfigSettingsFile(SettingsFile file, std::string baseSection)
    : CColumnConfigProfiles(std::move(baseSection)), m_file(std::move(file)) {}

bool CColumnConfigSettingsFile::ReadSetting(const std::string& section, const std::string& key,
                                            std::string& value) const {
    value = m_file.GetString(section, key, kMissing);
    return value != kMissing;
}

void CColumnConfigSettingsFile::WriteSetting(const std::string& section, const std::string& key,
                                             const std::string& value) {
    m_file.WriteString(section, key, value);
}

void CColumnConfigSettingsFile::RemoveSection(const std::string&) {
    // The settings file offers no removal; every save writes ColumnCount and all positions
    // below it, so values left beyond the count are never read.
}

}  // namespace velmor
