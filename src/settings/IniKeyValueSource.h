#pragma once

// The INI file as the key-value store that the per-class filter memory reads
// and writes: cached reads, change-only writes. A failed write returns the
// file's message and, given a notice, is told there too; the first failure
// stays for a caller that tells it itself. Borrows the file,
// the cache and the notice; owns nothing.

#include "platform/IniFile.h"
#include "settings/KeyValueSource.h"
#include "settings/SectionCache.h"
#include "settings/WriteFailureNotice.h"

namespace vellrun::settings {

class IniKeyValueSource final : public KeyValueSource {
public:
    IniKeyValueSource(platform::IniFile& file, SectionCache& cache,
                      WriteFailureNotice* notice = nullptr)
        : file_(file), cache_(cache), notice_(notice) {}

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) override;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) override;
    platform::FileStatus WriteString(std::string_view section, std::string_view key,
                                     std::string_view value) override;
    platform::FileStatus WriteBool(std::string_view section, std::string_view key,
                                   bool value) override;

    // The first write through this source that failed, or ok.
    const platform::FileStatus& FirstFailure() const { return failure_; }

private:
    void Keep(const platform::FileStatus& status);

    platform::IniFile& file_;
    SectionCache& cache_;
    WriteFailureNotice* notice_;
    platform::FileStatus failure_;
};

}  // namespace vellrun::settings
