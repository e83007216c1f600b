// The schema report bodies and the class information text, over the schema
// reads of the values subsystem.

#include "report/SchemaReports.h"

#include "platform/StringList.h"
#include "values/SchemaDefinitions.h"
#include "values/SyntaxCatalogue.h"

#include <array>
#include <string_view>

namespace vellrun::report {
namespace {

using client::Result;
using platform::StringList;

constexpr std::array<std::string_view, 7> kClassColumns = {"Class Name",
                                                           "Super Classes",
                                                           "Containment Classes",
                                                           "Naming Attributes",
                                                           "Mandatory Attributes",
                                                           "Optional Attributes",
                                                           "ASN"};
constexpr std::array<std::string_view, 4> kAttributeColumns = {"Attribute Name", "Syntax",
                                                               "Attribute Flags", "ASN"};
// The class definition list shown in class column c is selector kClassSelectors[c - 1].
constexpr std::array<int, 6> kClassSelectors = {0, 1, 2, 3, 4, 6};
constexpr int kMandatorySelector = 3;
constexpr std::string_view kLineBreak = "\r\n";

StringList SortedNames() {
    return StringList(true, StringList::Duplicates::Ignore);
}

// A cell of names: one per line, no line break at the end.
std::string CellText(const StringList& names) {
    std::string text = names.Joined(kLineBreak);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

template <size_t N>
void WriteHeaders(ResultTable& table, const std::array<std::string_view, N>& headers) {
    for (size_t c = 0; c < N; ++c)
        table.SetCell(c, 0, std::string(headers[c]));
}

}  // namespace

void SchemaClassesReport(directory::DirectoryAccess& access, client::ContextHandle context,
                         std::string_view treeName, ResultTable& table,
                         ReportBodyOutcome& outcome) {
    outcome.reportName = std::string(treeName) + "-schema-classes";

    StringList classes = SortedNames();
    outcome.lastResult = values::ListClassNamesWithFlags(access, context, classes);
    if (outcome.lastResult != 0) return;

    table.Resize(kClassColumns.size(), classes.Count() + 1);
    WriteHeaders(table, kClassColumns);
    for (size_t r = 1; r <= classes.Count(); ++r) {
        const std::string& className = classes.Text(r - 1);
        table.SetCell(0, r, className);
        for (size_t c = 1; c < kClassColumns.size(); ++c) {
            StringList items = SortedNames();
            outcome.lastResult = values::ListClassDefinition(access, context, className,
                                                             kClassSelectors[c - 1], items, false);
            // A cell left from an earlier table must not pass for this class's list.
            table.SetCell(c, r, outcome.lastResult == 0 ? CellText(items) : std::string());
        }
    }
    outcome.saveEnabled = true;
}

void SchemaAttributesReport(directory::DirectoryAccess& access, client::ContextHandle context,
                            std::string_view treeName, ResultTable& table,
                            ReportBodyOutcome& outcome) {
    outcome.reportName = std::string(treeName) + "-schema-attributes";

    StringList names = SortedNames();
    outcome.lastResult = access.DSReadAttrNames(context, names);
    if (outcome.lastResult != 0) return;

    table.Resize(kAttributeColumns.size(), names.Count() + 1);
    WriteHeaders(table, kAttributeColumns);
    for (size_t r = 1; r <= names.Count(); ++r) {
        const std::string& name = names.Text(r - 1);
        table.SetCell(0, r, name);
        client::AttrDefRecord definition;
        outcome.lastResult = values::ReadAttrDefinition(access, context, name, definition);
        const bool read = outcome.lastResult == 0;
        table.SetCell(1, r, read ? values::AttrDefinitionText(definition, 1) : std::string());
        table.SetCell(2, r, read ? values::AttrDefinitionText(definition, 2) : std::string());
        table.SetCell(3, r, read ? values::OidText(definition.identifier) : std::string());
    }
    outcome.saveEnabled = true;
}

std::string ClassInformationText(directory::DirectoryAccess& access, client::ContextHandle context,
                                 std::string_view className) {
    StringList lines;  // unsorted: the groups stay in their order
    std::string flags;
    if (values::ReadClassFlagsText(access, context, className, flags) == 0) {
        lines.Add("\"" + std::string(className) + "\": " + flags);
        lines.Add("");
    }
    for (int which = 0; which < kMandatorySelector; ++which) {
        if (values::ListClassDefinition(access, context, className, which, lines, true) == 0)
            lines.Add("");
    }
    values::ListClassDefinition(access, context, className, kMandatorySelector, lines, true);
    return lines.Joined(kLineBreak);
}

}  // namespace vellrun::report
