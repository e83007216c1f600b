#pragma once

// The bodies of the two schema reports (all classes with their definitions,
// all attribute definitions) and the text of the class information query.
// The report run calls a body between its common head and tail; the body
// fills the results table and tells the run what it needs for the tail.
// Nothing here shows anything, changes the directory or keeps state.

#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"
#include "report/ResultTable.h"

#include <string>
#include <string_view>

namespace vellrun::report {

// What a report body leaves to the run beside the table. The body updates it
// as it goes, so a body that ends early (also by an exception) leaves it
// telling how far it got.
struct ReportBodyOutcome {
    std::string reportName;  // base name proposed for export and report files
    // The result of the latest client call of the body; 0 = success.
    client::Result lastResult = 0;
    // The body ran to its end: the export button may be offered.
    bool saveEnabled = false;
};

// The report kind 3: "<tree>-schema-classes"; one row per class of the
// schema (sorted without regard to case), columns "Class Name", "Super
// Classes", "Containment Classes", "Naming Attributes", "Mandatory
// Attributes", "Optional Attributes", "ASN". A list cell holds its names
// sorted, one per line, lines joined by CR LF. When the class list cannot be
// read the table is left as it was; a list that cannot be read leaves its cell empty.
void SchemaClassesReport(directory::DirectoryAccess& access, client::ContextHandle context,
                         std::string_view treeName, ResultTable& table, ReportBodyOutcome& outcome);

// The report kind 4: "<tree>-schema-attributes"; one row per attribute
// definition (sorted), columns "Attribute Name", "Syntax", "Attribute Flags",
// "ASN". A definition that cannot be read leaves its three cells empty.
void SchemaAttributesReport(directory::DirectoryAccess& access, client::ContextHandle context,
                            std::string_view treeName, ResultTable& table,
                            ReportBodyOutcome& outcome);

// The definition of one class as the class information box shows it:
// "\"<class>\": <flags>" and an empty line (when the flags could be read),
// the super classes, containment classes and naming attributes with their
// prefixes, each group followed by an empty line when it was read, then the
// mandatory attributes; lines joined by CR LF.
std::string ClassInformationText(directory::DirectoryAccess& access, client::ContextHandle context,
                                 std::string_view className);

}  // namespace vellrun::report
