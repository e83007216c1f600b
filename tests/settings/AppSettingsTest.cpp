// The settings record: both sets of defaults, the settings table and its INI texts.

#include "settings/AppSettings.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace vellrun::settings {
namespace {

platform::DateTimeFormats SystemFormats() {
    platform::DateTimeFormats system;
    system.shortDate = "dd.MM.yy";
    system.shortTime = "h:nn am/pm";
    return system;
}

const SettingDescriptor& Setting(std::string_view key) {
    const SettingDescriptor* setting = FindSetting(key);
    EXPECT_NE(setting, nullptr) << key;
    return *setting;
}

TEST(AppSettings, DialogDefaultsWithoutAnIniFile) {
    const AppSettings settings = AppSettings::DialogDefaults(SystemFormats());
    EXPECT_EQ(settings.MaxAttrSize(), 4096u);
    EXPECT_FALSE(settings.ShowValueFlags);
    EXPECT_FALSE(settings.ShowTimeStamps);
    EXPECT_EQ(settings.GetAttrValInfoType(), 0);
    EXPECT_FALSE(settings.AllowAttrEdit);
    EXPECT_TRUE(settings.ShowAttrInfo);
    EXPECT_TRUE(settings.ShowAttrNames);
    EXPECT_FALSE(settings.TypelessNames);
    EXPECT_EQ(settings.FieldDelimiter, ';');
    EXPECT_EQ(settings.ValueDelimiter, '|');
    EXPECT_EQ(settings.QuoteChar, '"');
    EXPECT_EQ(settings.DateFormat, "dd.MM.yy");
    EXPECT_EQ(settings.TimeFormat, "h:nn am/pm");
    EXPECT_FALSE(settings.ExportUtf8);

    // The record's own initialisers agree with the table but for the formats.
    AppSettings plain;
    plain.DateFormat = settings.DateFormat;
    plain.TimeFormat = settings.TimeFormat;
    EXPECT_EQ(plain, settings);
}

TEST(AppSettings, UnattendedDefaultsWithoutAnIniFile) {
    const AppSettings settings = AppSettings::UnattendedDefaults(SystemFormats());
    EXPECT_EQ(settings.MaxAttrSize(), 512u);
    EXPECT_FALSE(settings.ShowAttrInfo);
    EXPECT_FALSE(settings.ShowAttrNames);
    EXPECT_FALSE(settings.ShowValueFlags || settings.ShowTimeStamps || settings.AllowAttrEdit ||
                 settings.TypelessNames || settings.ExportUtf8);
    EXPECT_TRUE(Setting("CheckBoxExportUtf8").readUnattended);
    EXPECT_EQ(settings.FieldDelimiter, ';');
    EXPECT_EQ(settings.ValueDelimiter, '|');
    EXPECT_EQ(settings.QuoteChar, '"');
    // Not read in an unattended run: the system's formats stay in force.
    EXPECT_EQ(settings.DateFormat, "dd.MM.yy");
    EXPECT_FALSE(Setting("ComboBoxDateFormat").readUnattended);
    EXPECT_FALSE(Setting("ComboBoxTimeFormat").readUnattended);
    EXPECT_TRUE(Setting("RadioGroupQuoteChar").readUnattended);
}

TEST(AppSettings, SizeLimitAndValueInformation) {
    AppSettings settings;
    const size_t limits[] = {512, 4096, 65536, 0};
    for (int index = 0; index < 4; ++index) {
        settings.MaxAttrSizeIndex = index;
        EXPECT_EQ(settings.MaxAttrSize(), limits[index]);
    }
    settings.MaxAttrSizeIndex = 9;  // set by hand past the radio items
    EXPECT_EQ(settings.MaxAttrSize(), 512u);

    settings.ShowTimeStamps = true;
    EXPECT_EQ(settings.GetAttrValInfoType(), 1);
    settings.ShowValueFlags = true;
    EXPECT_EQ(settings.GetAttrValInfoType(), 3);
    settings.ShowTimeStamps = false;
    EXPECT_EQ(settings.GetAttrValInfoType(), 2);
}

TEST(AppSettings, TheTableKeysEveryMemberOnceInOrder) {
    std::vector<std::string_view> keys;
    for (const SettingDescriptor& setting : SettingsTable())
        keys.push_back(setting.key);
    EXPECT_EQ(keys,
              (std::vector<std::string_view>{
                  "RadioGroupAttrMaxSize", "CheckBoxGetAttrValFlags", "CheckBoxGetAttrTimeStamps",
                  "CheckBoxAllowAttrEdit", "CheckBoxShowAttrInfo", "CheckBoxShowAttrNames",
                  "CheckBoxTypelessNames", "RadioGroupDelimiterFields", "RadioGroupDelimiterValue",
                  "RadioGroupQuoteChar", "ComboBoxDateFormat", "ComboBoxTimeFormat",
                  "CheckBoxExportUtf8"}));
    EXPECT_EQ(&Setting("checkboxtypelessnames"), &SettingsTable()[6]);
    EXPECT_EQ(FindSetting("Tree"), nullptr);
    for (const SettingDescriptor& setting : SettingsTable()) {
        const int members = (setting.index != nullptr) + (setting.flag != nullptr) +
                            (setting.character != nullptr) + (setting.text != nullptr);
        EXPECT_EQ(members, 1) << setting.key;
        EXPECT_FALSE(setting.meaning.empty()) << setting.key;
    }
}

TEST(AppSettings, RadioItemsGiveTheirCharacters) {
    EXPECT_EQ(RadioItemCharacter("&Semicolon (;)"), ';');
    EXPECT_EQ(RadioItemCharacter("&Double Quote (\")"), '"');
    EXPECT_EQ(RadioItemCharacter("&Single Quote (')"), '\'');
    EXPECT_EQ(RadioItemCharacter("Sl&ash (/)"), '/');
    EXPECT_EQ(RadioItemCharacter("no brackets"), '\0');
    EXPECT_EQ(RadioItemCharacter("empty ()"), '\0');
    EXPECT_EQ(RadioItemCharacter("closed) first (x"), '\0');
    std::string characters;
    for (const auto* setting :
         {&Setting("RadioGroupDelimiterFields"), &Setting("RadioGroupDelimiterValue"),
          &Setting("RadioGroupQuoteChar")}) {
        for (std::string_view item : setting->items)
            characters += RadioItemCharacter(item);
        characters += ' ';
    }
    EXPECT_EQ(characters, ";,| |;,/ \"' ");
}

TEST(AppSettings, IniTextsRoundTrip) {
    const AppSettings defaults = AppSettings::DialogDefaults(SystemFormats());
    AppSettings changed = defaults;
    changed.MaxAttrSizeIndex = 3;
    changed.ShowValueFlags = true;
    changed.ShowTimeStamps = true;
    changed.AllowAttrEdit = true;
    changed.ShowAttrInfo = false;
    changed.ShowAttrNames = false;
    changed.TypelessNames = true;
    changed.FieldDelimiter = ',';
    changed.ValueDelimiter = '/';
    changed.QuoteChar = '\'';
    changed.DateFormat = "yyyy-MM-dd";
    changed.TimeFormat = "hh:nn:ss";
    changed.ExportUtf8 = true;

    std::string texts;
    AppSettings read = defaults;
    for (const SettingDescriptor& setting : SettingsTable()) {
        const std::string text = ToIniText(changed, setting);
        texts += text + ";";
        EXPECT_TRUE(FromIniText(read, setting, text, defaults)) << setting.key;
    }
    EXPECT_EQ(texts, "3;1;1;1;0;0;1;1;3;1;yyyy-MM-dd;hh:nn:ss;1;");
    EXPECT_EQ(read, changed);

    // A character no radio item offers is written as the group's first item.
    changed.FieldDelimiter = '\t';
    EXPECT_EQ(ToIniText(changed, Setting("RadioGroupDelimiterFields")), "0");
}

TEST(AppSettings, BadIniTextsGiveTheDefault) {
    const AppSettings dialog = AppSettings::DialogDefaults(SystemFormats());
    const AppSettings unattended = AppSettings::UnattendedDefaults(SystemFormats());
    AppSettings settings = dialog;
    settings.MaxAttrSizeIndex = 2;
    settings.ShowAttrInfo = false;
    settings.ValueDelimiter = ',';

    const SettingDescriptor& size = Setting("RadioGroupAttrMaxSize");
    for (const char* bad : {"7", "4", "-1", "", "one", "1x", "0x1", "99999999999"}) {
        settings.MaxAttrSizeIndex = 2;
        EXPECT_FALSE(FromIniText(settings, size, bad, dialog)) << bad;
        EXPECT_EQ(settings.MaxAttrSizeIndex, 1) << bad;
        EXPECT_FALSE(FromIniText(settings, size, bad, unattended)) << bad;
        EXPECT_EQ(settings.MaxAttrSizeIndex, 0) << bad;
    }
    EXPECT_TRUE(FromIniText(settings, size, " 2 ", dialog));
    EXPECT_EQ(settings.MaxAttrSizeIndex, 2);

    const SettingDescriptor& info = Setting("CheckBoxShowAttrInfo");
    for (const char* bad : {"yes", "true", "", "1.0"}) {
        settings.ShowAttrInfo = false;
        EXPECT_FALSE(FromIniText(settings, info, bad, dialog)) << bad;
        EXPECT_TRUE(settings.ShowAttrInfo) << bad;
    }
    EXPECT_TRUE(FromIniText(settings, info, "0", dialog));
    EXPECT_FALSE(settings.ShowAttrInfo);
    EXPECT_TRUE(FromIniText(settings, info, "2", dialog));  // any non-zero number is on
    EXPECT_TRUE(settings.ShowAttrInfo);

    const SettingDescriptor& value = Setting("RadioGroupDelimiterValue");
    EXPECT_TRUE(FromIniText(settings, value, "3", dialog));
    EXPECT_EQ(settings.ValueDelimiter, '/');
    EXPECT_FALSE(FromIniText(settings, value, "4", dialog));
    EXPECT_EQ(settings.ValueDelimiter, '|');
    const SettingDescriptor& quote = Setting("RadioGroupQuoteChar");
    EXPECT_FALSE(FromIniText(settings, quote, "2", dialog));
    EXPECT_EQ(settings.QuoteChar, '"');

    const SettingDescriptor& date = Setting("ComboBoxDateFormat");
    EXPECT_FALSE(FromIniText(settings, date, "", dialog));
    EXPECT_EQ(settings.DateFormat, "dd.MM.yy");
    EXPECT_TRUE(FromIniText(settings, date, "mmm dd, yyyy", dialog));
    EXPECT_EQ(settings.DateFormat, "mmm dd, yyyy");
}

}  // namespace
}  // namespace vellrun::settings
