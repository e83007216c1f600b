#pragma once

// What the Multi-Object tab shows of a tree's schema, as lists the window
// copies into its controls: the tree's classes with their flags and the
// attributes its auxiliary classes can add (read once per tree into its
// TTreeInfo), the attribute checklist of one class with the numbers that say
// what each entry is, the ticks remembered for a class, and the checklist
// commands of the lists' pop-up menu.
//
// Free functions over the caller's directory access and records. Failures of
// the two schema reads are shown with the access's error box under fixed
// labels; nothing else is shown and nothing is kept here.

#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"
#include "directory/TTreeInfo.h"
#include "platform/StringList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::report {

inline constexpr std::string_view kClassesErrorLabel =
    "Server connection lost / U_DSReadAvailableClasses";
inline constexpr std::string_view kAttributesErrorLabel = "U_DSReadAvailableAttributes";

// The object type that stands for every class.
inline constexpr std::string_view kAllClasses = "*";
// The class flag of an auxiliary class.
inline constexpr int64_t kAuxiliaryClassFlag = 0x20;

// The numbers of the checklist's entries: the kind of class-definition list
// an attribute came from, the "DSI: " names and the separator line.
inline constexpr int64_t kItemNaming = 2;
inline constexpr int64_t kItemMandatory = 3;
inline constexpr int64_t kItemOptional = 4;
inline constexpr int64_t kItemDsi = 99;
inline constexpr int64_t kItemSeparator = -1;

// 30 "-", " Potential Auxiliary Attributes ", 30 "-".
std::string AuxSeparatorLine();

enum class TreeInformationResult {
    AlreadyLoaded,  // the tree's classes were read before; nothing was read
    Loaded,
    Failed,  // the error box was shown; the class list stays empty
};

// Reads the tree's classes with their flags into tree.classes (through its
// object context) unless it holds some already, then rebuilds
// tree.auxAttributes: every attribute of every auxiliary class, sorted
// without case, each once.
TreeInformationResult GetTreeInformation(directory::DirectoryAccess& access,
                                         directory::TTreeInfo& tree);

// The attribute checklist of a class: the six "DSI: " names and the naming,
// mandatory and optional attributes of the class and of its super classes
// (for "*" every attribute of the schema), sorted together without case, each
// with its number (a mandatory naming attribute counts as mandatory); then, for a
// class other than "*", when the tree knows auxiliary attributes, the
// separator line and each auxiliary attribute not listed yet, in the tree's
// order. A failing attribute read shows the error box and leaves the "DSI: "
// names (and the auxiliary part). Returns the read's result.
client::Result ReadPropertiesInclDSI(directory::DirectoryAccess& access,
                                     const directory::TTreeInfo& tree, std::string_view className,
                                     platform::StringList& entries);

// The entries to tick for the remembered attributes, found without case from
// the last remembered name to the first; a name the checklist lacks is
// removed from selected.
std::vector<size_t> MarkAttributesAsSelected(const platform::StringList& entries,
                                             std::vector<std::string>& selected);

// The ticked entries' names, top to bottom (what a report by type gets as
// its columns). The separator line is no attribute and never counts.
std::vector<std::string> TickedAttributes(const platform::StringList& entries,
                                          const std::vector<bool>& ticks);

enum class ChecklistCommand { CheckAll, UncheckAll, CheckMandatory };

// The ticks after a checklist command: all, none, or exactly the mandatory
// attributes.
std::vector<bool> ChecklistTicks(const platform::StringList& entries, ChecklistCommand command);

// The object type to select when a tree's types are shown: the remembered
// one when the list has it, else "User" when it has that, else none (-1).
int ObjectTypeToSelect(const platform::StringList& types, std::string_view remembered);

// The same as a row of the object-type list the window shows, which holds
// "*" (every class) at the top and the types below: "*" itself when it is
// the one remembered (a saved report for every class), else the row of
// ObjectTypeToSelect's type, or -1.
int ObjectTypeRow(const platform::StringList& types, std::string_view remembered);

}  // namespace vellrun::report
