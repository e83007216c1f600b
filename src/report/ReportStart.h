#pragma once

// How each way of starting a run from a window fills the current ReportSpec,
// when a start is refused and what the window then says, and the fixed texts
// around runs and their files: the output type captions, the export
// sub-menu, the filters of the report file dialogs.
//
// Free functions over plain records; nothing here runs, shows or keeps
// anything. Filters use the message port's form "Name (*.ext);;Other (*)".

#include "report/ReportSpec.h"
#include "report/ResultFilter.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::report {

inline constexpr std::string_view kNoObjectTypeSelected = "No object type selected";
inline constexpr std::string_view kNoAttributesSelected = "No attributes selected";

// The run button's captions: idle, and while a run goes (a click then cancels).
inline constexpr std::string_view kRunCaption = "&Object Report";
inline constexpr std::string_view kCancelCaption = "Cancel";
// The Results tab's run button, idle and while a report runs. Its
// "Cancel" has a mnemonic of its own: Alt+C chooses CSV on that tab.
inline constexpr std::string_view kRefreshCaption = "&Refresh";
inline constexpr std::string_view kRefreshCancelCaption = "Ca&ncel";

// The items of the output type radio group, in OutputType order, and its hint.
inline constexpr std::array<std::string_view, 5> kOutputTypeCaptions = {
    "&CSV", "MS &Excel", "Clip&board", "&HTML", "&XML"};
inline constexpr std::string_view kOutputTypeHint = "Supported output formats";

// One entry of the "E&xport Results ..." sub-menu.
struct ExportMenuEntry {
    std::string caption;  // ".. as " and the item's caption
    std::string hint;     // the radio group's hint
    int tag = 0;          // the output type
};
std::vector<ExportMenuEntry> ExportMenuEntries();

// Saved report files.
inline constexpr std::string_view kReportExtension = "rpt";
// "\"<type>\" Reports (<type>*.rpt);;All Files (*)": the first filter shows
// the files whose names begin with the object type.
std::string StoreReportFilter(std::string_view objectType);
// "Saved Reports (*.rpt);;All Files (*)".
std::string OpenReportFilter();
// The proposed name of a stored report: ReportName, a period, "rpt".
std::string StoreReportFileName(std::string_view reportName);

// What the window holds when "&Object Report" is pressed.
struct ByTypeChoices {
    std::string treeName;
    std::string container;
    std::string objectClass;  // empty: no type selected
    std::vector<std::string> attributes;
    bool recursive = false;
    OutputType output = OutputType::Csv;
    bool filtered = false;
    FilterRows filters{};
};

// What a run that the directory failed is called in the message that says
// so ("<label> returned error <code>", DirectoryAccess::DSShowError), the
// same in every front end: the schema of the tree, or the report on its
// object or container; a one-object report that listed its class's
// attributes all the same (listed) failed to read its "Object Class".
std::string RunErrorLabel(const ReportSpec& spec, bool listed);

// Why a report by type cannot start ("No object type selected" before "No
// attributes selected"), or nothing when it can.
std::optional<std::string_view> ByTypeStartRefusal(const ByTypeChoices& choices);

// A report by type: kind, recursion, tree, container, class, attributes,
// output type, filter; object name and output file emptied, no sorting.
void PrepareByType(ReportSpec& spec, const ByTypeChoices& choices);

// A single-object report from the object list or the tree: kind, tree,
// container, the object's absolute name and its class; output file and
// attributes emptied.
void PrepareByObject(ReportSpec& spec, std::string_view treeName, std::string_view container,
                     std::string_view objectName, std::string_view objectClass);

// A schema report is refused while a run goes; otherwise it changes only the
// kind and empties the output file (every other field as the last run left it).
bool PrepareSchema(ReportSpec& spec, ReportKind kind, bool running);

}  // namespace vellrun::report
