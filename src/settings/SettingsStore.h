#pragma once

// How the program keeps what it remembers between runs in its INI file: where
// the file lives, the change-only writers, the readers that go through a
// SectionCache, the records of window state, combo box histories, lists of
// lines, and the "Settings" section that holds AppSettings.
//
// Free functions over an IniFile and a SectionCache that the caller owns and
// passes in (the main window keeps both for the run). Nothing here touches a
// widget: the front end copies between its controls and the plain records.
// Every writer first removes "[" and "]" from section and key, does nothing
// for an empty key, and skips the disk when the file holds the value already,
// or holds a value for the key while the value to write is the one the
// cache's owner last read from or wrote to it (SectionCache): closing the
// program rewrites only what this run changed, and another run's saved
// changes to the keys this one left alone survive it.

#include "platform/DateTime.h"
#include "platform/IniFile.h"
#include "platform/StringList.h"
#include "settings/AppSettings.h"
#include "settings/ComboHistory.h"
#include "settings/SectionCache.h"
#include "settings/WindowState.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace vellrun::platform {
class MessagePort;
}

namespace vellrun::settings {

using IniStatus = platform::FileStatus;

// The file name of the program's INI file, shared by every front end.
inline constexpr std::string_view kSettingsFileName = "vellrun.ini";

// Per user: the user's configuration folder; otherwise beside the executable.
std::filesystem::path SettingsFilePath(bool perUser);
// The INI file object for SettingsFilePath. The file need not exist; the
// per-user folder is created (when that fails, the first write says so).
platform::IniFile OpenSettingsFile(bool perUser);

// The text with every "[" and "]" removed.
std::string CleanIniName(std::string_view text);

// Writes the value unless the file holds it already (or another run's value
// where this one left the key unchanged, above): a text also counts as held
// when the value is the stored text in double quotation marks (a quoted
// history entry reads back without them). A failure is returned and, given a
// port, shown in a plain message box.
IniStatus IniWriteString(platform::IniFile& file, SectionCache& cache, std::string_view section,
                         std::string_view key, std::string_view value,
                         platform::MessagePort* port = nullptr);
// Decimal text; skipped when the stored text is that number.
IniStatus IniWriteInteger(platform::IniFile& file, SectionCache& cache, std::string_view section,
                          std::string_view key, int value);
// "1" or "0"; skipped when the stored text is that already.
IniStatus IniWriteBool(platform::IniFile& file, SectionCache& cache, std::string_view section,
                       std::string_view key, bool value);

// The cached readers remember in the cache what they give (for the writers).
// The value, or the default when it is empty or missing.
std::string CachedReadString(const platform::IniFile& file, SectionCache& cache,
                             std::string_view section, std::string_view key,
                             std::string_view defaultValue);
// The value as a whole decimal number, or the default when it is none.
int CachedReadInteger(const platform::IniFile& file, SectionCache& cache, std::string_view section,
                      std::string_view key, int defaultValue);
// True for "1", false for any other non-empty text ("true" too), else the default.
bool CachedReadBool(const platform::IniFile& file, SectionCache& cache, std::string_view section,
                    std::string_view key, bool defaultValue);

// A control's bounds under name + ".Top", ".Left", ".Width", ".Height" in
// section (an empty section means the control's name). Saving stops at the
// first failure and returns it; restoring reads the file directly, sets each
// value that is stored and not 0, and remembers the bounds in the cache.
IniStatus SaveBounds(platform::IniFile& file, SectionCache& cache, std::string_view section,
                     std::string_view name, const WindowBounds& bounds);
void RestoreBounds(const platform::IniFile& file, SectionCache& cache, std::string_view section,
                   std::string_view name, WindowBounds& bounds);

// The panes beside splitters; restoring keeps a pane's size when none is stored.
IniStatus SaveSplitterSizes(platform::IniFile& file, SectionCache& cache, std::string_view section,
                            std::span<const PaneSize> panes);
void RestoreSplitterSizes(const platform::IniFile& file, SectionCache& cache,
                          std::string_view section, std::span<PaneSize> panes);

// A font; restoring keeps each part that is not stored.
IniStatus SaveFont(platform::IniFile& file, SectionCache& cache, std::string_view section,
                   const FontRecord& font);
void RestoreFont(const platform::IniFile& file, SectionCache& cache, std::string_view section,
                 FontRecord& font);

// After AddToHistory, the section is rewritten whole: "Current" (the text),
// "Count" and "0", "1", ... (the entries), each value in double quotation
// marks so that leading and trailing blanks survive.
IniStatus SaveComboHistory(platform::IniFile& file, SectionCache& cache, std::string_view section,
                           ComboHistory& history);
// Appends the stored entries the list lacks, takes "Current" as the text (a
// drop-down list selects its first entry instead), falls back to defaultText
// when the text is empty, then AddToHistory.
void RestoreComboHistory(const platform::IniFile& file, std::string_view section,
                         std::string_view defaultText, ComboHistory& history,
                         bool dropDownList = false);

// Rewrites the section whole: key "0", "1", ... in list order, or with
// keysFromNumbers each line's attached number; the value is the line (put in
// double quotation marks when reading would otherwise change it: leading or
// trailing blanks, or quotation marks at both ends).
IniStatus SaveStringsSection(platform::IniFile& file, SectionCache& cache, std::string_view section,
                             const platform::StringList& lines, bool keysFromNumbers);
// When the section exists, the list becomes its values in file order; with
// keysAsNumbers each key is attached as the line's number (0 when it is none).
// Lines read back exactly as they were saved, empty ones included.
void LoadStringsSection(const platform::IniFile& file, std::string_view section,
                        platform::StringList& lines, bool keysAsNumbers);

// The settings of an unattended run: section "Settings" read with the
// unattended defaults, only the keys an unattended run reads (the date and
// time formats stay the system's). A missing file gives the defaults; so does
// one that is there but cannot be read (a folder, no permission), and then
// error, when given, says so, naming the file: a caller that must not go on
// with the defaults in its place asks for it.
AppSettings getSettingsFromIni(const platform::IniFile& file,
                               const platform::DateTimeFormats& system,
                               std::string* error = nullptr);
// Every key of section "Settings"; a missing or malformed value gives the
// member of defaults, and a file that cannot be read gives defaults and error
// as above. Given a cache, each member read is remembered there, so that
// WriteSettingsSection with that cache writes only what changed since.
AppSettings ReadSettingsSection(const platform::IniFile& file, const AppSettings& defaults,
                                std::string* error = nullptr);
AppSettings ReadSettingsSection(const platform::IniFile& file, SectionCache& cache,
                                const AppSettings& defaults);
// Writes every member of section "Settings" that differs from the file and
// from what the cache remembers; stops at the first failure and returns it.
IniStatus WriteSettingsSection(platform::IniFile& file, SectionCache& cache,
                               const AppSettings& settings);

}  // namespace vellrun::settings
