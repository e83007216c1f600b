#include "settings/IniKeyValueSource.h"

#include "settings/SettingsStore.h"

#include <stdexcept>

namespace vellrun::settings {

std::string IniKeyValueSource::ReadString(std::string_view section, std::string_view key,
                                          std::string_view defaultValue) {
    return CachedReadString(file_, cache_, section, key, defaultValue);
}

bool IniKeyValueSource::ReadBool(std::string_view section, std::string_view key,
                                 bool defaultValue) {
    return CachedReadBool(file_, cache_, section, key, defaultValue);
}

void IniKeyValueSource::WriteString(std::string_view section, std::string_view key,
                                    std::string_view value) {
    if (const IniStatus status = IniWriteString(file_, cache_, section, key, value); !status.ok()) {
        throw std::runtime_error(status.error);
    }
}

void IniKeyValueSource::WriteBool(std::string_view section, std::string_view key, bool value) {
    if (const IniStatus status = IniWriteBool(file_, cache_, section, key, value); !status.ok()) {
        throw std::runtime_error(status.error);
    }
}

}  // namespace vellrun::settings
