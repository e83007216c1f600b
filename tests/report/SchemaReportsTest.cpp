// The schema report bodies and the class information text, against a small
// inline schema.

#include "report/SchemaReports.h"
#include "support/SchemaBed.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::report {
namespace {

using client::ClassInfoKind;
using client::Result;

// The shared schema with its lists out of order and names in lower case, so
// that the reports' sorting shows.
constexpr std::string_view kAttributes =
    R"({"name": "Surname", "syntax": "CI_STRING", "flags": ["SingleVal", "Sized"],
        "lower": 1, "upper": 64, "oid": "2.5.4.4"},
       {"name": "badge", "syntax": "INTEGER"})";
constexpr std::string_view kClasses =
    R"({"name": "Person", "flags": ["Effective"], "oid": "2.5.6.6", "super": ["Top"],
        "containment": ["Organizational Unit", "Organization"], "naming": ["CN"],
        "mandatory": ["Surname", "CN"], "optional": ["Title", "Description"]},
       {"name": "badge Holder", "flags": ["Auxiliary"], "naming": ["CN"], "mandatory": ["badge"]})";

struct SchemaBed : testing::SchemaBed {
    SchemaBed() : testing::SchemaBed(kAttributes, kClasses) {}
    std::vector<std::string> Column(const ResultTable& table, size_t column) {
        std::vector<std::string> cells;
        for (size_t r = 0; r < table.RowCount(); ++r)
            cells.push_back(table.Cell(column, r));
        return cells;
    }
    // Fails the read of the class definitions whose call number (from 1,
    // counting only kind) is failAt; the others reach the directory.
    void FailClassRead(ClassInfoKind kind, int failAt) {
        spy.onReadClassDefinitions = [this, kind, failAt, calls = 0](
                                         client::ContextHandle c, ClassInfoKind k, bool all,
                                         client::BufferHandle request, int32_t& continuation,
                                         client::BufferHandle reply) mutable -> Result {
            if (k == kind && ++calls == failAt) return client::Err::NoSuchClass;
            return spy.Inner().ReadClassDefinitions(c, k, all, request, continuation, reply);
        };
    }
};

TEST(SchemaReports, ClassesReportListsEveryClassWithSortedDefinitionLists) {
    SchemaBed bed;
    ResultTable table;
    ReportBodyOutcome outcome;
    SchemaClassesReport(bed.access, bed.context, "CORP", table, outcome);

    EXPECT_EQ(outcome.reportName, "CORP-schema-classes");
    EXPECT_TRUE(outcome.saveEnabled);
    EXPECT_EQ(outcome.lastResult, 0);
    ASSERT_EQ(table.ColCount(), 7u);
    EXPECT_EQ(table.Row(0),
              (std::vector<std::string>{"Class Name", "Super Classes", "Containment Classes",
                                        "Naming Attributes", "Mandatory Attributes",
                                        "Optional Attributes", "ASN"}));
    // Sorted without regard to case.
    EXPECT_EQ(
        bed.Column(table, 0),
        (std::vector<std::string>{"Class Name", "Alias", "badge Holder", "Group", "Organization",
                                  "Organizational Unit", "Person", "Top", "User"}));
    const std::vector<std::string> person = table.Row(6);
    EXPECT_EQ(person,
              (std::vector<std::string>{"Person", "Top", "Organization\r\nOrganizational Unit",
                                        "CN", "CN\r\nSurname", "Description\r\nTitle", "2.5.6.6"}));
    // The top class has no super classes; a class without identifier no ASN.
    EXPECT_EQ(table.Cell(1, 7), "");
    EXPECT_EQ(table.Cell(6, 2), "");
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(SchemaReports, ClassesReportFailures) {
    {
        // The class list cannot be read: the table stays as the run left it.
        SchemaBed bed;
        bed.FailClassRead(ClassInfoKind::NamesAndRecord, 1);
        ResultTable table(1, 1);
        ReportBodyOutcome outcome;
        SchemaClassesReport(bed.access, bed.context, "CORP", table, outcome);
        EXPECT_EQ(outcome.reportName, "CORP-schema-classes");
        EXPECT_FALSE(outcome.saveEnabled);
        EXPECT_EQ(outcome.lastResult, client::Err::NoSuchClass);
        EXPECT_EQ(table.RowCount(), 1u);
        EXPECT_EQ(table.ColCount(), 1u);
    }
    {
        // One list fails: only its cell is empty, also over a stale table, and the report goes on.
        SchemaBed bed;
        bed.FailClassRead(ClassInfoKind::Definitions, 1);  // Alias, super classes
        ResultTable table(9, 20);
        for (size_t r = 0; r < 20; ++r)
            for (size_t c = 0; c < 9; ++c)
                table.SetCell(c, r, "stale");
        ReportBodyOutcome outcome;
        SchemaClassesReport(bed.access, bed.context, "CORP", table, outcome);
        EXPECT_TRUE(outcome.saveEnabled);
        EXPECT_EQ(table.ColCount(), 7u);
        EXPECT_EQ(table.RowCount(), 9u);
        EXPECT_EQ(table.Cell(0, 1), "Alias");
        EXPECT_EQ(table.Cell(1, 1), "");
        EXPECT_EQ(table.Cell(1, 6), "Top");
        EXPECT_EQ(table.Cell(6, 2), "");  // no identifier: emptied, not left stale
    }
}

TEST(SchemaReports, AttributesReportWithSyntaxFlagsAndIdentifier) {
    SchemaBed bed;
    ResultTable table;
    ReportBodyOutcome outcome;
    SchemaAttributesReport(bed.access, bed.context, "CORP", table, outcome);

    EXPECT_EQ(outcome.reportName, "CORP-schema-attributes");
    EXPECT_TRUE(outcome.saveEnabled);
    EXPECT_EQ(table.Row(0),
              (std::vector<std::string>{"Attribute Name", "Syntax", "Attribute Flags", "ASN"}));
    const std::vector<std::string> names = bed.Column(table, 0);
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[1], "Aliased Object Name");
    EXPECT_EQ(names[2], "badge");  // sorted without regard to case
    EXPECT_EQ(names.back(), "Title");

    const auto surname = std::find(names.begin(), names.end(), "Surname") - names.begin();
    EXPECT_EQ(
        table.Row(static_cast<size_t>(surname)),
        (std::vector<std::string>{"Surname", "CI_STRING", "[SingleVal\\Sized (1-64)]", "2.5.4.4"}));
    EXPECT_EQ(table.Row(2), (std::vector<std::string>{"badge", "INTEGER", "", ""}));
}

TEST(SchemaReports, AttributesReportOnAnUnreadableSchemaLeavesTheTable) {
    SchemaBed bed;
    ResultTable table(1, 1);
    ReportBodyOutcome outcome;
    SchemaAttributesReport(bed.access, static_cast<client::ContextHandle>(987654), "CORP", table,
                           outcome);  // no such context
    EXPECT_EQ(outcome.reportName, "CORP-schema-attributes");
    EXPECT_NE(outcome.lastResult, 0);
    EXPECT_FALSE(outcome.saveEnabled);
    EXPECT_EQ(table.RowCount(), 1u);
}

TEST(SchemaReports, ClassInformationText) {
    SchemaBed bed;
    EXPECT_EQ(ClassInformationText(bed.access, bed.context, "Person"),
              "\"Person\": Effective\r\n"
              "\r\n"
              "[Super Class] Top\r\n"
              "\r\n"
              "[Containment Class] Organizational Unit\r\n"
              "[Containment Class] Organization\r\n"
              "\r\n"
              "[Naming]    CN\r\n"
              "\r\n"
              "[Mandatory] Surname\r\n"
              "[Mandatory] CN");

    // Flags unreadable: the text begins with the super classes.
    bed.FailClassRead(ClassInfoKind::NamesAndRecord, 1);
    EXPECT_EQ(ClassInformationText(bed.access, bed.context, "Top").substr(0, 4), "\r\n\r\n");
    bed.FailClassRead(ClassInfoKind::NamesAndRecord, 1);
    const std::string person = ClassInformationText(bed.access, bed.context, "Person");
    EXPECT_EQ(person.substr(0, 19), "[Super Class] Top\r\n");

    // A group that fails adds no empty line after it.
    bed.FailClassRead(ClassInfoKind::Definitions, 2);  // containment
    EXPECT_EQ(ClassInformationText(bed.access, bed.context, "badge Holder"),
              "\"badge Holder\": Auxiliary\r\n\r\n\r\n[Naming]    CN\r\n\r\n[Mandatory] badge");
}

}  // namespace
}  // namespace vellrun::report
