#pragma once

// A store of string and boolean values by section and key, the way the
// per-class filter memory keeps the filter panel. The settings file
// implements it (IniKeyValueSource); tests keep it in memory.

#include "platform/FileStatus.h"

#include <string>
#include <string_view>

namespace vellrun::settings {

// Where the panel's values are kept. The settings file implements it with its
// cached readers and its change-only writers; the rules of both (booleans
// "1"/"0", the default for an empty value, brackets dropped from names) are
// its business, not this code's. A write reports its outcome and does not
// throw; a read that fails may throw, and the caller keeps what it had read.
class KeyValueSource {
public:
    virtual ~KeyValueSource() = default;
    virtual std::string ReadString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) = 0;
    virtual bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) = 0;
    virtual platform::FileStatus WriteString(std::string_view section, std::string_view key,
                                             std::string_view value) = 0;
    virtual platform::FileStatus WriteBool(std::string_view section, std::string_view key,
                                           bool value) = 0;
};

}  // namespace vellrun::settings
