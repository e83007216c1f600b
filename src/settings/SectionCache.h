#pragma once

// The section of the INI file read last, kept so that restoring a panel full
// of controls reads its section from disk once. The owner (the main window)
// makes one for the run and passes it to the cached readers and the writers
// of SettingsStore; it is never a global.
//
// The cache is keyed by the file's path and the section name (exact text): two
// file objects on the same file share what they read, and every write through
// the writers updates the cached value, so the cache never shows a value the
// file no longer holds. It must not be used to write; the file is the truth.

#include "platform/IniFile.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellrun::settings {

class SectionCache {
public:
    // The value of key (matched without case) in section, reading the section
    // from the file when another file or section is cached; empty when missing.
    std::string Lookup(const platform::IniFile& file, std::string_view section,
                       std::string_view key);

    // After a write of key in section: when that section is the cached one,
    // the key's cached value becomes what the file now holds.
    void AfterWrite(const platform::IniFile& file, std::string_view section, std::string_view key);
    // After a section was erased or rewritten whole: the cache forgets it.
    void AfterErase(const platform::IniFile& file, std::string_view section);

    // How many times the cache has read a section from disk.
    size_t SectionReads() const { return sectionReads_; }

private:
    bool Holds(const platform::IniFile& file, std::string_view section) const;

    bool valid_ = false;
    std::filesystem::path path_;
    std::string section_;
    std::vector<std::pair<std::string, std::string>> lines_;  // key, value in file order
    size_t sectionReads_ = 0;
};

}  // namespace vellrun::settings
