#pragma once

// The INI file as the key-value store that the per-class filter memory reads
// and writes: cached reads, change-only writes. A failed write returns the
// file's message. Borrows the file and the cache; owns nothing.

#include "platform/IniFile.h"
#include "settings/KeyValueSource.h"
#include "settings/SectionCache.h"

namespace vellrun::settings {

class IniKeyValueSource final : public KeyValueSource {
public:
    IniKeyValueSource(platform::IniFile& file, SectionCache& cache) : file_(file), cache_(cache) {}

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) override;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) override;
    platform::FileStatus WriteString(std::string_view section, std::string_view key,
                                     std::string_view value) override;
    platform::FileStatus WriteBool(std::string_view section, std::string_view key,
                                   bool value) override;

private:
    platform::IniFile& file_;
    SectionCache& cache_;
};

}  // namespace vellrun::settings
