#pragma once

// The keys of the INI file that the main window keeps for itself, outside the
// settings dialog's members: the names of every such section and key in one
// place, and plain records with their readers and writers — the window's
// last choices in "Settings", what it remembers per tree ("Tree: <name>") and
// the attributes marked per object class ("Object Class: <class>").
//
// Free functions over an IniFile and a SectionCache the caller owns (the main
// window keeps both for the run). Nothing here touches a widget. Section names
// built from a tree or class name have every "[" and "]" removed, since a
// section header cannot hold them. The per-class filter rows are kept by
// report::ResultFilter through IniKeyValueSource, not here.

#include "platform/IniFile.h"
#include "settings/SectionCache.h"
#include "settings/SettingsStore.h"

#include <string>
#include <string_view>
#include <vector>

namespace vellrun::settings {

namespace inikeys {

inline constexpr std::string_view kSettings = "Settings";
inline constexpr std::string_view kTree = "Tree";               // tree shown last
inline constexpr std::string_view kOutput = "Output";           // output type index
inline constexpr std::string_view kReportPath = "Report Path";  // folder of the last file
inline constexpr std::string_view kCheckBoxRecurse = "CheckBoxRecurse";
inline constexpr std::string_view kCheckBoxFilter = "CheckBoxFilter";

// The main window's name: its bounds go to section "MainForm" under
// "MainForm.Top" ... (SaveBounds with an empty section), and the settings
// dialog keeps a second copy under the same keys in "Settings". Its font lies
// in "Settings" (SaveFont), as do the pane sizes beside its splitters.
inline constexpr std::string_view kMainForm = "MainForm";
// "1" in section "MainForm" when the window was closed maximised; its bounds
// are then those it comes back to when no longer maximised. Missing: not
// maximised.
inline constexpr std::string_view kMainFormMaximized = "MainForm.Maximized";

// Keys of a tree section.
inline constexpr std::string_view kContext = "Context";
inline constexpr std::string_view kObjectType = "Object Type";
inline constexpr std::string_view kRecurse = "Recurse";
inline constexpr std::string_view kDefaultObjectType = "User";

// The longest attribute name taken from an object class section; longer
// entries are cut to this many characters on reading.
inline constexpr size_t kMaxClassAttributeLength = 255;

}  // namespace inikeys

// "Tree: <name>" and "Object Class: <class>", "[" and "]" removed.
std::string TreeSectionName(std::string_view treeName);
std::string ClassSectionName(std::string_view className);

// What the main window keeps in "Settings" besides the dialog's members.
struct MainWindowState {
    std::string tree;        // "Tree": written only, never read back by the window
    int outputType = 0;      // "Output": report::OutputType index
    std::string reportPath;  // "Report Path"
    bool recurse = false;    // "CheckBoxRecurse"
    bool filter = false;     // "CheckBoxFilter"

    bool operator==(const MainWindowState&) const = default;
};

// A missing key, or one that does not hold what is expected, gives the
// member's default; an "Output" that is no number or names no output type
// gives 0, so a hand-edited file cannot select an output that does not exist.
MainWindowState ReadMainWindowState(const platform::IniFile& file, SectionCache& cache);
// Writes each key whose stored value differs; stops at the first failure.
IniStatus WriteMainWindowState(platform::IniFile& file, SectionCache& cache,
                               const MainWindowState& state);

// What the main window remembers for one tree.
struct TreeMemory {
    std::string context;                                  // container selected last
    std::string objectType{inikeys::kDefaultObjectType};  // class selected last
    bool recurse = false;

    bool operator==(const TreeMemory&) const = default;
};

TreeMemory ReadTreeMemory(const platform::IniFile& file, SectionCache& cache,
                          std::string_view treeName);
// Change-only; stops at the first failure.
IniStatus WriteTreeMemory(platform::IniFile& file, SectionCache& cache, std::string_view treeName,
                          const TreeMemory& memory);

// Rewrites the class's section whole: erased, then "0", "1", ... in list
// order, so a shorter list leaves none of the old keys behind.
IniStatus WriteClassAttributes(platform::IniFile& file, SectionCache& cache,
                               std::string_view className,
                               const std::vector<std::string>& attributes);
// The section's values in file order, each cut to kMaxClassAttributeLength
// characters (never inside a UTF-8 sequence), empty ones dropped; empty when
// the section is missing.
std::vector<std::string> ReadClassAttributes(const platform::IniFile& file,
                                             std::string_view className);

}  // namespace vellrun::settings
