#include "settings/SettingsStore.h"

#include "platform/AsciiText.h"
#include "platform/MessagePort.h"
#include "platform/Paths.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace vellrun::settings {

namespace {

using platform::IniFile;

using platform::TrimBlanks;

std::optional<int> ParseInteger(std::string_view text) {
    return platform::ParseDecimalInt(text);
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Writes value unless the write is needless (both names are clean already):
// the file holds it already (a missing key counts as empty, and a text as
// held in double quotation marks too), or the file holds a value for the key
// while value is what the cache's owner last read from or wrote to it, so
// that the key is unchanged here and the file's value is a later one of
// another program's.
IniStatus WriteIfChanged(IniFile& file, SectionCache& cache, const std::string& section,
                         const std::string& key, std::string_view value) {
    const std::optional<std::string> stored = file.ReadValue(section, key);
    const std::string held = stored.value_or(std::string());
    if (value != held && value != Quoted(held) &&
        !(stored && cache.Remembers(file, section, key, value))) {
        IniStatus status = file.WriteString(section, key, value);
        if (!status.ok()) return status;
        cache.AfterWrite(file, section, key);
    }
    cache.Remember(file, section, key, value);
    return {};
}

std::string SectionFor(std::string_view section, std::string_view name) {
    return section.empty() ? std::string(name) : std::string(section);
}

std::string PaneKey(const PaneSize& pane) {
    return pane.name + (pane.horizontalSplitter ? ".Height" : ".Width");
}

// Section "Settings" read once; each key of the table (or, for an unattended
// run, each key it reads) through the table's own INI text reader, and what
// it gave remembered in the cache when there is one. A file that is there but
// cannot be read gives the defaults, and error says why.
AppSettings ReadSettings(const IniFile& file, const AppSettings& defaults, bool unattended,
                         SectionCache* cache, std::string* error) {
    AppSettings settings = defaults;
    const auto values = file.Load(error).ReadSection(kSettingsSection);
    for (const SettingDescriptor& setting : SettingsTable()) {
        if (unattended && !setting.readUnattended) continue;
        const auto found = std::find_if(values.begin(), values.end(), [&](const auto& value) {
            return platform::IniNamesEqual(value.first, setting.key);
        });
        FromIniText(settings, setting, found != values.end() ? found->second : std::string_view(),
                    defaults);
        if (cache) {
            cache->Remember(file, kSettingsSection, setting.key, ToIniText(settings, setting));
        }
    }
    return settings;
}

}  // namespace

std::filesystem::path SettingsFilePath(bool perUser) {
    return (perUser ? platform::ConfigDir() : platform::ExecutableDir()) / kSettingsFileName;
}

platform::IniFile OpenSettingsFile(bool perUser) {
    const std::filesystem::path path = SettingsFilePath(perUser);
    if (perUser) {
        std::error_code ignored;  // a folder that cannot be made fails the first write
        std::filesystem::create_directories(path.parent_path(), ignored);
    }
    return platform::IniFile(path);
}

std::string CleanIniName(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (char c : text) {
        if (c != '[' && c != ']') clean += c;
    }
    return clean;
}

IniStatus IniWriteString(IniFile& file, SectionCache& cache, std::string_view section,
                         std::string_view key, std::string_view value,
                         platform::MessagePort* port) {
    const std::string cleanKey = CleanIniName(key);
    if (cleanKey.empty()) return {};
    IniStatus status = WriteIfChanged(file, cache, CleanIniName(section), cleanKey, value);
    if (!status.ok() && port) port->PlainBox(status.error);
    return status;
}

IniStatus IniWriteInteger(IniFile& file, SectionCache& cache, std::string_view section,
                          std::string_view key, int value) {
    const std::string cleanKey = CleanIniName(key);
    if (cleanKey.empty()) return {};
    // Compared as text, not against a sentinel default: every number, whatever
    // its value, reaches a key that does not exist yet.
    return WriteIfChanged(file, cache, CleanIniName(section), cleanKey, std::to_string(value));
}

IniStatus IniWriteBool(IniFile& file, SectionCache& cache, std::string_view section,
                       std::string_view key, bool value) {
    const std::string cleanKey = CleanIniName(key);
    if (cleanKey.empty()) return {};
    return WriteIfChanged(file, cache, CleanIniName(section), cleanKey, value ? "1" : "0");
}

std::string CachedReadString(const IniFile& file, SectionCache& cache, std::string_view section,
                             std::string_view key, std::string_view defaultValue) {
    const std::string cleanKey = CleanIniName(key);
    std::string value = cache.Lookup(file, section, cleanKey);
    if (value.empty()) value = defaultValue;
    cache.Remember(file, CleanIniName(section), cleanKey, value);
    return value;
}

int CachedReadInteger(const IniFile& file, SectionCache& cache, std::string_view section,
                      std::string_view key, int defaultValue) {
    const std::string cleanKey = CleanIniName(key);
    const int value = ParseInteger(cache.Lookup(file, section, cleanKey)).value_or(defaultValue);
    cache.Remember(file, CleanIniName(section), cleanKey, std::to_string(value));
    return value;
}

bool CachedReadBool(const IniFile& file, SectionCache& cache, std::string_view section,
                    std::string_view key, bool defaultValue) {
    const std::string cleanKey = CleanIniName(key);
    const std::string stored = cache.Lookup(file, section, cleanKey);
    const bool value = stored.empty() ? defaultValue : stored == "1";
    cache.Remember(file, CleanIniName(section), cleanKey, value ? "1" : "0");
    return value;
}

IniStatus SaveBounds(IniFile& file, SectionCache& cache, std::string_view section,
                     std::string_view name, const WindowBounds& bounds) {
    const std::string target = SectionFor(section, name);
    const std::string prefix(name);
    for (const auto& [suffix, value] : {std::pair{".Top", bounds.top},
                                        {".Left", bounds.left},
                                        {".Width", bounds.width},
                                        {".Height", bounds.height}}) {
        IniStatus status = IniWriteInteger(file, cache, target, prefix + suffix, value);
        if (!status.ok()) return status;
    }
    return {};
}

void RestoreBounds(const IniFile& file, SectionCache& cache, std::string_view section,
                   std::string_view name, WindowBounds& bounds) {
    const std::string target = CleanIniName(SectionFor(section, name));
    const std::string prefix = CleanIniName(name);
    for (const auto& [suffix, member] : {std::pair{".Width", &WindowBounds::width},
                                         {".Height", &WindowBounds::height},
                                         {".Left", &WindowBounds::left},
                                         {".Top", &WindowBounds::top}}) {
        const int value = ParseInteger(file.ReadString(target, prefix + suffix, "")).value_or(0);
        if (value != 0) bounds.*member = value;
        cache.Remember(file, target, prefix + suffix, std::to_string(bounds.*member));
    }
}

IniStatus SaveSplitterSizes(IniFile& file, SectionCache& cache, std::string_view section,
                            std::span<const PaneSize> panes) {
    for (const PaneSize& pane : panes) {
        IniStatus status = IniWriteInteger(file, cache, section, PaneKey(pane), pane.size);
        if (!status.ok()) return status;
    }
    return {};
}

void RestoreSplitterSizes(const IniFile& file, SectionCache& cache, std::string_view section,
                          std::span<PaneSize> panes) {
    const std::string target = CleanIniName(section);
    for (PaneSize& pane : panes) {
        pane.size = CachedReadInteger(file, cache, target, PaneKey(pane), pane.size);
    }
}

IniStatus SaveFont(IniFile& file, SectionCache& cache, std::string_view section,
                   const FontRecord& font) {
    IniStatus status = IniWriteString(file, cache, section, "Name", font.name);
    for (const auto& [key, value] : {std::pair{"CharSet", font.charSet},
                                     {"Color", font.color},
                                     {"Size", font.size},
                                     {"Style", font.style}}) {
        if (!status.ok()) return status;
        status = IniWriteInteger(file, cache, section, key, value);
    }
    return status;
}

void RestoreFont(const IniFile& file, SectionCache& cache, std::string_view section,
                 FontRecord& font) {
    const std::string target = CleanIniName(section);
    font.name = CachedReadString(file, cache, target, "Name", font.name);
    for (const auto& [key, member] : {std::pair{"CharSet", &FontRecord::charSet},
                                      {"Color", &FontRecord::color},
                                      {"Size", &FontRecord::size},
                                      {"Style", &FontRecord::style}}) {
        font.*member = CachedReadInteger(file, cache, target, key, font.*member);
    }
}

IniStatus SaveComboHistory(IniFile& file, SectionCache& cache, std::string_view section,
                           ComboHistory& history) {
    history.AddToHistory();
    const std::string target = CleanIniName(section);
    IniFile::Batch batch(file);
    IniStatus status = file.EraseSection(target);
    cache.AfterErase(file, target);
    if (!status.ok()) return status;
    status = IniWriteString(file, cache, target, "Current", Quoted(history.text));
    if (status.ok()) {
        status =
            IniWriteInteger(file, cache, target, "Count", static_cast<int>(history.entries.size()));
    }
    for (size_t i = 0; status.ok() && i < history.entries.size(); ++i) {
        status = IniWriteString(file, cache, target, std::to_string(i), Quoted(history.entries[i]));
    }
    return batch.CommitAfter(std::move(status));
}

void RestoreComboHistory(const IniFile& file, std::string_view section,
                         std::string_view defaultText, ComboHistory& history, bool dropDownList) {
    const auto values = file.ReadSection(CleanIniName(section));
    const auto valueOf = [&](std::string_view key) -> std::string {
        const auto found = std::find_if(values.begin(), values.end(), [&](const auto& value) {
            return platform::IniNamesEqual(value.first, key);
        });
        return found != values.end() ? found->second : std::string();
    };
    // No more keys can exist than the section has lines, whatever "Count" says.
    const int count =
        std::min(ParseInteger(valueOf("Count")).value_or(30), static_cast<int>(values.size()));
    for (int i = 0; i <= count; ++i) {
        std::string entry = valueOf(std::to_string(i));
        if (!entry.empty() && std::find(history.entries.begin(), history.entries.end(), entry) ==
                                  history.entries.end()) {
            history.entries.push_back(std::move(entry));
        }
    }
    if (dropDownList) {
        history.text = history.entries.empty() ? std::string() : history.entries.front();
    } else {
        history.text = valueOf("Current");
    }
    if (history.text.empty()) history.text = defaultText;
    history.AddToHistory();
}

IniStatus SaveStringsSection(IniFile& file, SectionCache& cache, std::string_view section,
                             const platform::StringList& lines, bool keysFromNumbers) {
    const std::string target = CleanIniName(section);
    IniFile::Batch batch(file);
    IniStatus status = file.EraseSection(target);
    cache.AfterErase(file, target);
    for (size_t i = 0; status.ok() && i < lines.Count(); ++i) {
        const std::string key =
            std::to_string(keysFromNumbers ? lines.Number(i) : static_cast<int64_t>(i));
        // Straight to the file: the section is new, and an empty line must be
        // written too, or the lines after it would move up on reading.
        status = file.WriteString(target, key, platform::IniPreserved(lines.Text(i)));
    }
    return batch.CommitAfter(std::move(status));
}

void LoadStringsSection(const IniFile& file, std::string_view section, platform::StringList& lines,
                        bool keysAsNumbers) {
    const std::string target = CleanIniName(section);
    if (!file.SectionExists(target)) return;
    lines.Clear();
    for (auto& [key, value] : file.ReadSection(target)) {
        int64_t number = 0;
        if (keysAsNumbers) {
            const std::string_view digits = TrimBlanks(key);
            const char* end = digits.data() + digits.size();
            const auto [ptr, error] = std::from_chars(digits.data(), end, number);
            if (error != std::errc() || ptr != end) number = 0;
        }
        lines.Add(std::move(value), number);
    }
}

AppSettings ReadSettingsSection(const IniFile& file, const AppSettings& defaults,
                                std::string* error) {
    return ReadSettings(file, defaults, false, nullptr, error);
}

AppSettings ReadSettingsSection(const IniFile& file, SectionCache& cache,
                                const AppSettings& defaults) {
    return ReadSettings(file, defaults, false, &cache, nullptr);
}

AppSettings getSettingsFromIni(const IniFile& file, const platform::DateTimeFormats& system,
                               std::string* error) {
    return ReadSettings(file, AppSettings::UnattendedDefaults(system), true, nullptr, error);
}

IniStatus WriteSettingsSection(IniFile& file, SectionCache& cache, const AppSettings& settings) {
    IniFile::Batch batch(file);
    IniStatus status;
    for (const SettingDescriptor& setting : SettingsTable()) {
        status = IniWriteString(file, cache, kSettingsSection, setting.key,
                                ToIniText(settings, setting));
        if (!status.ok()) break;
    }
    return batch.CommitAfter(std::move(status));
}

}  // namespace vellrun::settings
