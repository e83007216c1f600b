#pragma once

// The user's preferences that the rest of the program reads while it works,
// and the one table that says, for each of them, its INI key in section
// "Settings", its two defaults and how it is written as INI text.
//
// AppSettings is a plain value: the front end's start-up owns the one
// instance of a run and passes it (by const reference) to whatever needs it;
// the settings dialog and the INI reader fill it, nothing else writes it.
// It knows nothing of files; the INI file class reads and writes the texts
// through SettingsTable(), ToIniText and FromIniText.

#include "platform/DateTime.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vellrun::settings {

struct AppSettings {
    // The member initialisers mirror the dialog defaults of the settings
    // table (AppSettingsTable in the .cpp), which is the authority.
    int MaxAttrSizeIndex = 1;  // 0 = 512, 1 = 4096, 2 = 65536 characters, 3 = no limit
    bool ShowValueFlags = false;
    bool ShowTimeStamps = false;
    bool AllowAttrEdit = false;
    bool ShowAttrInfo = true;
    bool ShowAttrNames = true;
    bool TypelessNames = false;
    char FieldDelimiter = ';';
    char ValueDelimiter = '|';
    char QuoteChar = '"';
    std::string DateFormat;  // becomes the program-wide short date format
    std::string TimeFormat;  // becomes the program-wide short time format
    // Delimited text export writes UTF-8 instead of Windows-1252.
    bool ExportUtf8 = false;

    // With no INI file: what the settings dialog shows, and what an unattended
    // run (command line "report") uses. The date and time formats are the
    // system's short ones in both (an unattended run does not read them).
    static AppSettings DialogDefaults(const platform::DateTimeFormats& system);
    static AppSettings UnattendedDefaults(const platform::DateTimeFormats& system);

    // Characters one value line of a report cell may hold; 0 means no limit.
    // Asked for every cell of a report: inline.
    size_t MaxAttrSize() const {
        constexpr std::array<size_t, 4> kSizes{512, 4096, 65536, 0};
        // An index no radio item has gets the strictest limit rather than none.
        if (MaxAttrSizeIndex < 0 || static_cast<size_t>(MaxAttrSizeIndex) >= kSizes.size()) {
            return kSizes[0];
        }
        return kSizes[static_cast<size_t>(MaxAttrSizeIndex)];
    }
    // The parts of value information a report cell shows: 2 for the value
    // flags plus 1 for the modification time stamps.
    int GetAttrValInfoType() const { return (ShowValueFlags ? 2 : 0) + (ShowTimeStamps ? 1 : 0); }

    bool operator==(const AppSettings&) const = default;
};

// INI section of every setting below.
inline constexpr std::string_view kSettingsSection = "Settings";

// One row of the settings table. Exactly one member pointer is set, by kind.
struct SettingDescriptor {
    enum class Kind {
        Index,      // a radio group's item index, stored as decimal text
        Boolean,    // "1" or "0"
        Character,  // a radio group's item index, the member is the item's character
        Text,       // the text as it is
    };

    std::string_view key;  // the name of the dialog control that shows it
    Kind kind;
    int AppSettings::*index = nullptr;
    bool AppSettings::*flag = nullptr;
    char AppSettings::*character = nullptr;
    std::string AppSettings::*text = nullptr;
    // Index and Character: the radio group's item captions, in index order.
    std::span<const std::string_view> items{};
    // Index, Boolean, Character: the two defaults (an item index for Character).
    int dialogDefault = 0;
    int unattendedDefault = 0;
    // Text: the system format that is its default.
    std::string platform::DateTimeFormats::*systemDefault = nullptr;
    // An unattended run reads this key from the INI file.
    bool readUnattended = true;
    std::string_view meaning;
};

// Every setting, in the order of the AppSettings members.
std::span<const SettingDescriptor> SettingsTable();
// The setting stored under key (compared without regard to case), or null.
const SettingDescriptor* FindSetting(std::string_view key);

// The member as INI text: "1"/"0", a decimal index, or the text. A character
// that no item of its radio group gives is written as the group's default item.
std::string ToIniText(const AppSettings& settings, const SettingDescriptor& setting);
// Stores the INI text in the member. Empty text (a missing key) or text that
// is no valid value ("7" for a 0..3 index, "yes" for a boolean) stores the
// member of defaults instead and gives false.
bool FromIniText(AppSettings& settings, const SettingDescriptor& setting, std::string_view text,
                 const AppSettings& defaults);

// The character a radio item's caption stands for: the first one after the
// caption's first "(", the caption being cut at its first ")" ("&Semicolon (;)"
// gives ';'); 0 when there is none.
char RadioItemCharacter(std::string_view caption);

}  // namespace vellrun::settings
