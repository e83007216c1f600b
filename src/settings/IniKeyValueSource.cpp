#include "settings/IniKeyValueSource.h"

#include "settings/SettingsStore.h"

namespace vellrun::settings {

std::string IniKeyValueSource::ReadString(std::string_view section, std::string_view key,
                                          std::string_view defaultValue) {
    return CachedReadString(file_, cache_, section, key, defaultValue);
}

bool IniKeyValueSource::ReadBool(std::string_view section, std::string_view key,
                                 bool defaultValue) {
    return CachedReadBool(file_, cache_, section, key, defaultValue);
}

platform::FileStatus IniKeyValueSource::WriteString(std::string_view section, std::string_view key,
                                                    std::string_view value) {
    platform::FileStatus status = IniWriteString(file_, cache_, section, key, value);
    Keep(status);
    return status;
}

platform::FileStatus IniKeyValueSource::WriteBool(std::string_view section, std::string_view key,
                                                  bool value) {
    platform::FileStatus status = IniWriteBool(file_, cache_, section, key, value);
    Keep(status);
    return status;
}

void IniKeyValueSource::Keep(const platform::FileStatus& status) {
    if (failure_.ok()) failure_ = status;
    if (notice_) notice_->Tell(status);
}

}  // namespace vellrun::settings
