// Column configuration of a data grid: which columns are visible, in which order and how
// wide, kept as text values in a named section, with a default configuration for missing
// keys and several named profiles of the same section.
//
//   [base]                 CurrentProfiles=DefaultUD, Special
//                          ActiveProfile=DefaultUD
//   [base__DefaultUD]      ColumnCount=2
//                          ColumnData_0=1    (sub-item id of the column at display position 0)
//                          ColumnWidth_0=60
//
// With an empty profile name the column keys live in the base section itself.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/app/settings_file.h"

namespace velmor {

inline constexpr const char* kKeyCurrentProfiles = "CurrentProfiles";
inline constexpr const char* kKeyActiveProfile = "ActiveProfile";
inline constexpr const char* kKeyColumnCount = "ColumnCount";
inline constexpr const char* kKeyColumnData = "ColumnData_%d";
inline constexpr const char* kKeyColumnWidth = "ColumnWidth_%d";

// "ColumnData_3" and the like.
std::string ColumnKey(const char* format, int position);

// A named section of text values read and written by key.
class CColumnConfigSection {
public:
    explicit CColumnConfigSection(std::string baseSection);
    virtual ~CColumnConfigSection() = default;

    const std::string& BaseSection() const { return m_base; }
    // The section the column keys are read from and written to.
    virtual std::string SectionName() const { return m_base; }

    std::string GetSetting(const std::string& key, const std::string& fallback) const;
    // The leading decimal number of the value; `fallback` when missing or not a number.
    int GetIntSetting(const std::string& key, int fallback) const;
    void SetSetting(const std::string& key, const std::string& value);
    void SetIntSetting(const std::string& key, int value);
    // Removes the values of the current section.
    void RemoveCurrentConfig();

protected:
    // Storage. ReadSetting answers false when the key is missing.
    virtual bool ReadSetting(const std::string& section, const std::string& key,
                             std::string& value) const = 0;
    virtual void WriteSetting(const std::string& section, const std::string& key,
                              const std::string& value) = 0;
    virtual void RemoveSection(const std::string& section) = 0;
    // Where a missing key is looked up next; false when nowhere.
    virtual bool FallbackSetting(const std::string& key, std::string& value) const { return false; }
    // Called before every write through SetSetting and RemoveCurrentConfig.
    virtual void BeforeWrite() {}

private:
    std::string m_base;
};

// Keeps a default configuration whose values answer for keys missing from the storage.
class CColumnConfigDefault : public CColumnConfigSection {
public:
    // The default configuration, held in memory.
    class CColumnConfigLocal : public CColumnConfigSection {
    public:
        CColumnConfigLocal() : CColumnConfigSection("") {}
        bool Empty() const { return m_values.empty(); }
        const std::map<std::string, std::string>& Values() const { return m_values; }

    protected:
        bool ReadSetting(const std::string& section, const std::string& key,
                         std::string& value) const override;
        void WriteSetting(const std::string& section, const std::string& key,
                          const std::string& value) override;
        void RemoveSection(const std::string& section) override { m_values.clear(); }

    private:
        std::map<std::string, std::string> m_values;
    };

    using CColumnConfigSection::CColumnConfigSection;

    bool HasDefaultConfig() const { return !m_default.Empty(); }
    CColumnConfigLocal& DefaultConfig() { return m_default; }
    const CColumnConfigLocal& DefaultConfig() const { return m_default; }
    // Replaces the current section's values by the default configuration.
    void ResetToDefault();

protected:
    bool FallbackSetting(const std::string& key, std::string& value) const override;

private:
    CColumnConfigLocal m_default;
};

// Several named profiles of one section; the active one names the section in use.
class CColumnConfigProfiles : public CColumnConfigDefault {
public:
    using CColumnConfigDefault::CColumnConfigDefault;

    std::string SectionName() const override;

    // The registered profile names, in registration order.
    std::vector<std::string> Profiles() const;
    // Registers a profile name. A new name is appended to CurrentProfiles with the next
    // write of this configuration, so that a window that only starts and ends leaves the
    // settings file as it was.
    void AddProfile(const std::string& name);
    // The stored ActiveProfile; when that is empty, the first registered profile.
    std::string ActiveProfile() const;
    // Writes ActiveProfile and registers the name.
    void SetActiveProfile(const std::string& name);

protected:
    std::string BaseValue(const std::string& key) const;
    void BeforeWrite() override;

private:
    std::vector<std::string> StoredProfiles() const;
    std::vector<std::string> m_pending;  // registered, not yet in CurrentProfiles
};

// Profiles kept in the program's settings file.
class CColumnConfigSettingsFile : public CColumnConfigProfiles {
public:
    CColumnConfigSettingsFile(SettingsFile file, std::string baseSection);

    const SettingsFile& File() const { return m_file; }

protected:
    bool ReadSetting(const std::string& section, const std::string& key,
                     std::string& value) const override;
    void WriteSetting(const std::string& section, const std::string& key,
                      const std::string& value) override;
    void RemoveSection(const std::string& section) override;

private:
    SettingsFile m_file;
};

}  // namespace velmor
