#include "settings/AppSettings.h"

#include "platform/AsciiText.h"
#include "platform/TextLines.h"

#include <charconv>
#include <optional>

namespace vellrun::settings {

namespace {

using Kind = SettingDescriptor::Kind;
using platform::DateTimeFormats;

constexpr std::array<std::string_view, 4> kAttrMaxSizeItems{"&512 Bytes", "&4 kB", "&64 kB",
                                                            "&no limit"};
constexpr std::array<std::string_view, 3> kFieldDelimiterItems{"&Semicolon (;)", "&Comma (,)",
                                                               "&Pipe (|)"};
constexpr std::array<std::string_view, 4> kValueDelimiterItems{"&Pipe (|)", "&Semicolon (;)",
                                                               "&Comma (,)", "Sl&ash (/)"};
constexpr std::array<std::string_view, 2> kQuoteCharItems{"&Double Quote (\")",
                                                          "&Single Quote (')"};

// The settings registry: key, member, dialog default, unattended default, meaning.
constexpr std::array<SettingDescriptor, 13> kSettings{{
    {.key = "RadioGroupAttrMaxSize",
     .kind = Kind::Index,
     .index = &AppSettings::MaxAttrSizeIndex,
     .items = kAttrMaxSizeItems,
     .dialogDefault = 1,
     .unattendedDefault = 0,
     .meaning = "maximum size of one value line in a report cell: 512, 4096, 65536 characters "
                "or no limit"},
    {.key = "CheckBoxGetAttrValFlags",
     .kind = Kind::Boolean,
     .flag = &AppSettings::ShowValueFlags,
     .dialogDefault = 0,
     .unattendedDefault = 0,
     .meaning = "report cells show each value's flags"},
    {.key = "CheckBoxGetAttrTimeStamps",
     .kind = Kind::Boolean,
     .flag = &AppSettings::ShowTimeStamps,
     .dialogDefault = 0,
     .unattendedDefault = 0,
     .meaning = "report cells show each value's modification time stamp"},
    {.key = "CheckBoxAllowAttrEdit",
     .kind = Kind::Boolean,
     .flag = &AppSettings::AllowAttrEdit,
     .dialogDefault = 0,
     .unattendedDefault = 0,
     .meaning = "the attribute detail dialog allows changing a value"},
    {.key = "CheckBoxShowAttrInfo",
     .kind = Kind::Boolean,
     .flag = &AppSettings::ShowAttrInfo,
     .dialogDefault = 1,
     .unattendedDefault = 0,
     .meaning = "the attribute detail dialog shows the general attribute flags"},
    {.key = "CheckBoxShowAttrNames",
     .kind = Kind::Boolean,
     .flag = &AppSettings::ShowAttrNames,
     .dialogDefault = 1,
     .unattendedDefault = 0,
     .meaning = "the attribute detail dialog shows the object and attribute name"},
    {.key = "CheckBoxTypelessNames",
     .kind = Kind::Boolean,
     .flag = &AppSettings::TypelessNames,
     .dialogDefault = 0,
     .unattendedDefault = 0,
     .meaning = "names are shown and used typeless"},
    {.key = "RadioGroupDelimiterFields",
     .kind = Kind::Character,
     .character = &AppSettings::FieldDelimiter,
     .items = kFieldDelimiterItems,
     .dialogDefault = 0,
     .unattendedDefault = 0,
     .meaning = "between the fields of delimited export"},
    {.key = "RadioGroupDelimiterValue",
     .kind = Kind::Character,
     .character = &AppSettings::ValueDelimiter,
     .items = kValueDelimiterItems,
     .dialogDefault = 0,
     .unattendedDefault = 0,
     .meaning = "between the values of one cell in delimited export"},
    {.key = "RadioGroupQuoteChar",
     .kind = Kind::Character,
     .character = &AppSettings::QuoteChar,
     .items = kQuoteCharItems,
     .dialogDefault = 0,
     .unattendedDefault = 0,
     .meaning = "around every field of delimited export"},
    {.key = "ComboBoxDateFormat",
     .kind = Kind::Text,
     .text = &AppSettings::DateFormat,
     .systemDefault = &DateTimeFormats::shortDate,
     .readUnattended = false,
     .meaning = "the program-wide short date format"},
    {.key = "ComboBoxTimeFormat",
     .kind = Kind::Text,
     .text = &AppSettings::TimeFormat,
     .systemDefault = &DateTimeFormats::shortTime,
     .readUnattended = false,
     .meaning = "the program-wide short time format"},
    {.key = "CheckBoxExportUtf8",
     .kind = Kind::Boolean,
     .flag = &AppSettings::ExportUtf8,
     .dialogDefault = 0,
     .unattendedDefault = 0,
     .meaning = "delimited text export is written as UTF-8 instead of Windows-1252"},
}};

using platform::EqualsNoCase;
using platform::TrimBlanks;

std::optional<int> ParseInteger(std::string_view text) {
    return platform::ParseDecimalInt(text);
}

char ItemCharacter(const SettingDescriptor& setting, int index) {
    if (index < 0 || static_cast<size_t>(index) >= setting.items.size()) return 0;
    return RadioItemCharacter(setting.items[static_cast<size_t>(index)]);
}

AppSettings DefaultsOf(const DateTimeFormats& system, bool unattended) {
    AppSettings settings;
    for (const SettingDescriptor& setting : kSettings) {
        const int value = unattended ? setting.unattendedDefault : setting.dialogDefault;
        switch (setting.kind) {
            case Kind::Index: settings.*setting.index = value; break;
            case Kind::Boolean: settings.*setting.flag = value != 0; break;
            case Kind::Character:
                settings.*setting.character = ItemCharacter(setting, value);
                break;
            case Kind::Text: settings.*setting.text = system.*setting.systemDefault; break;
        }
    }
    return settings;
}

}  // namespace

AppSettings AppSettings::DialogDefaults(const DateTimeFormats& system) {
    return DefaultsOf(system, false);
}

AppSettings AppSettings::UnattendedDefaults(const DateTimeFormats& system) {
    return DefaultsOf(system, true);
}

std::span<const SettingDescriptor> SettingsTable() {
    return kSettings;
}

const SettingDescriptor* FindSetting(std::string_view key) {
    for (const SettingDescriptor& setting : kSettings) {
        if (EqualsNoCase(setting.key, key)) return &setting;
    }
    return nullptr;
}

std::string ToIniText(const AppSettings& settings, const SettingDescriptor& setting) {
    switch (setting.kind) {
        case Kind::Index: return std::to_string(settings.*setting.index);
        case Kind::Boolean: return settings.*setting.flag ? "1" : "0";
        case Kind::Character:
            for (size_t k = 0; k < setting.items.size(); ++k) {
                if (RadioItemCharacter(setting.items[k]) == settings.*setting.character) {
                    return std::to_string(k);
                }
            }
            return std::to_string(setting.dialogDefault);
        case Kind::Text: return settings.*setting.text;
    }
    return {};
}

bool FromIniText(AppSettings& settings, const SettingDescriptor& setting, std::string_view text,
                 const AppSettings& defaults) {
    switch (setting.kind) {
        case Kind::Index:
        case Kind::Character: {
            const std::optional<int> index = ParseInteger(text);
            const bool valid =
                index && *index >= 0 && static_cast<size_t>(*index) < setting.items.size();
            if (setting.kind == Kind::Index) {
                settings.*setting.index = valid ? *index : defaults.*setting.index;
            } else {
                settings.*setting.character =
                    valid ? ItemCharacter(setting, *index) : defaults.*setting.character;
            }
            return valid;
        }
        case Kind::Boolean: {
            // Any whole number reads as a boolean (non-zero is true), as the
            // INI file's boolean reader does; words such as "yes" are no number.
            const std::optional<int> number = ParseInteger(text);
            settings.*setting.flag = number ? *number != 0 : defaults.*setting.flag;
            return number.has_value();
        }
        case Kind::Text:
            settings.*setting.text = text.empty() ? defaults.*setting.text : std::string(text);
            return !text.empty();
    }
    return false;
}

char RadioItemCharacter(std::string_view caption) {
    caption = caption.substr(0, caption.find(')'));
    const size_t open = caption.find('(');
    if (open == std::string_view::npos || open + 1 >= caption.size()) return 0;
    return caption[open + 1];
}

}  // namespace vellrun::settings
