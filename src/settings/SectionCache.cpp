#include "settings/SectionCache.h"

#include <algorithm>
#include <optional>

namespace vellrun::settings {

bool SectionCache::Holds(const platform::IniFile& file, std::string_view section) const {
    return valid_ && section_ == section && path_ == file.Path().lexically_normal();
}

std::string SectionCache::Lookup(const platform::IniFile& file, std::string_view section,
                                 std::string_view key) {
    if (!Holds(file, section)) {
        lines_ = file.ReadSection(section);
        path_ = file.Path().lexically_normal();
        section_ = section;
        // A file that failed a read may have given an empty section in place
        // of its own: the next lookup reads it again.
        valid_ = file.ReadFault().empty();
        ++sectionReads_;
    }
    const auto found = std::find_if(lines_.begin(), lines_.end(), [&](const auto& line) {
        return platform::IniNamesEqual(line.first, key);
    });
    return found != lines_.end() ? found->second : std::string();
}

void SectionCache::AfterWrite(const platform::IniFile& file, std::string_view section,
                              std::string_view key) {
    // Section names match without case in the file, so any spelling counts.
    if (!valid_ || path_ != file.Path().lexically_normal() ||
        !platform::IniNamesEqual(section_, section)) {
        return;
    }
    std::erase_if(lines_,
                  [&](const auto& line) { return platform::IniNamesEqual(line.first, key); });
    if (std::optional<std::string> value = file.ReadValue(section, key)) {
        lines_.emplace_back(std::string(key), std::move(*value));
    }
}

void SectionCache::AfterErase(const platform::IniFile& file, std::string_view section) {
    if (valid_ && path_ == file.Path().lexically_normal() &&
        platform::IniNamesEqual(section_, section)) {
        valid_ = false;
        lines_.clear();
    }
}

void SectionCache::Remember(const platform::IniFile& file, std::string_view section,
                            std::string_view key, std::string_view value) {
    const std::filesystem::path path = file.Path().lexically_normal();
    if (path != seenPath_) {
        seen_.clear();
        seenPath_ = path;
    }
    seen_.insert_or_assign({std::string(section), std::string(key)}, std::string(value));
}

bool SectionCache::Remembers(const platform::IniFile& file, std::string_view section,
                             std::string_view key, std::string_view value) const {
    if (file.Path().lexically_normal() != seenPath_) return false;
    const auto found = seen_.find({std::string(section), std::string(key)});
    return found != seen_.end() && found->second == value;
}

}  // namespace vellrun::settings
