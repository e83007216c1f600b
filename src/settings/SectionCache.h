#pragma once

// The section of the INI file read last, kept so that restoring a panel full
// of controls reads its section from disk once. The owner (the main window)
// makes one for the run and passes it to the cached readers and the writers
// of SettingsStore; it is never a global.
//
// The cache is keyed by the file's path and the section name (exact text): two
// file objects on the same file share what they read (once a read of the
// file object has failed, nothing: ReadFault), and every write through
// the writers updates the cached value, so the cache never shows a value the
// file no longer holds. It must not be used to write; the file is the truth.
//
// It also remembers, per key of its file, the value its owner last read
// (through the cached readers, as the value they gave) or wrote, in the text
// the writers write. A writer leaves a key alone whose value is still that:
// the owner has not changed it, so what the file holds now is another
// program's later save, which the owner's save at close must not undo.
// Section and key are matched as written (clean, exact text); a key spelled
// otherwise is simply not remembered.

#include "platform/IniFile.h"

#include <filesystem>
#include <map>
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

    // The value the owner last read from or wrote to key in section of file.
    void Remember(const platform::IniFile& file, std::string_view section, std::string_view key,
                  std::string_view value);
    // Whether value is what the owner last read from or wrote to that key.
    bool Remembers(const platform::IniFile& file, std::string_view section, std::string_view key,
                   std::string_view value) const;
    // Nothing is remembered any more: after a save that may not have reached
    // the file, every key is compared with the file again.
    void ForgetValues() { seen_.clear(); }

    // How many times the cache has read a section from disk.
    size_t SectionReads() const { return sectionReads_; }

private:
    bool Holds(const platform::IniFile& file, std::string_view section) const;

    bool valid_ = false;
    std::filesystem::path path_;
    std::string section_;
    std::vector<std::pair<std::string, std::string>> lines_;  // key, value in file order
    size_t sectionReads_ = 0;
    // What Remember was told, for the file at seenPath_: (section, key) -> value.
    std::filesystem::path seenPath_;
    std::map<std::pair<std::string, std::string>, std::string> seen_;
};

}  // namespace vellrun::settings
