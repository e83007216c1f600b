// The table operations against a small inline tree: hiding empty rows, the
// pop-up menu, sorting from it, cell meanings and the hexadecimal status
// text, the single-object report on a cell, and deleting an object.

#include "platform/DateTime.h"
#include "platform/TextCollator.h"
#include "report/ReportRun.h"
#include "report/TableOperations.h"
#include "settings/AppSettings.h"
#include "support/DirectoryTestBed.h"
#include "values/CellTextReader.h"
#include "values/ValueFormatting.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::report {
namespace {

std::string Objects() {
    return R"([
  {"name": "Corp", "class": "Organization"},
  {"name": "Sales.Corp", "class": "Organizational Unit"},
  {"name": "jdoe.Sales.Corp", "class": "User", "attributes": {"CN": "jdoe", "Surname": "Doe"}},
  {"name": "bob.Sales.Corp", "class": "User", "attributes": {"CN": "bob"}},
  {"name": "boss.Sales.Corp", "class": "User", "readOnly": true},
  {"name": "bob", "class": "Organization"}
])";
}

class TableOperationsTest : public ::testing::Test {
protected:
    TableOperationsTest()
        : bed_(testing::TreesImage({{"CORP", Objects()}})),
          formatter_(bed_.access, formats_),
          reader_(bed_.access, settings_, formats_),
          run_(bed_.access, reader_, settings_, bed_.feedback, collator_),
          ops_(run_, bed_.access, bed_.feedback, collator_) {
        settings_.TypelessNames = true;
        bed_.access.SetValueFormatter(&formatter_);
        run_.CurrentSpec().TreeName = "CORP";
    }

    void Fill(std::vector<std::vector<std::string>> rows) {
        ResultTable& table = run_.Table();
        table.Resize(rows.empty() ? 0 : rows[0].size(), rows.size());
        table.SetFixedRows(1);
        table.Rows() = std::move(rows);
    }

    platform::DateTimeFormats formats_{};
    settings::AppSettings settings_ = settings::AppSettings::DialogDefaults(formats_);
    testing::DirectoryTestBed bed_;
    values::ValueTextFormatter formatter_;
    values::CellTextReader reader_;
    platform::TextCollator collator_{"en_US"};
    ReportRun run_;
    TableOperations ops_;
};

TEST_F(TableOperationsTest, HideEmptyFieldsRemovesRowsWithoutValuesAndKeepsTheHeader) {
    Fill({{"DN", "Surname", "Title"},
          {".a.Corp", "", ""},
          {".b.Corp", "B", ""},
          {".c.Corp", "", "\r\n" /* a line break is a value */},
          {".d.Corp", "", ""}});
    int changes = 0;
    ops_.OperationHooks().tableChanged = [&] { ++changes; };
    ops_.HideEmptyFields();

    EXPECT_EQ(run_.Table().RowCount(), 3u);
    EXPECT_EQ(run_.Table().Cell(0, 0), "DN");
    EXPECT_EQ(run_.Table().Cell(0, 1), ".b.Corp");
    EXPECT_EQ(run_.Table().Cell(0, 2), ".c.Corp");
    EXPECT_EQ(changes, 1);  // the grid is shown the table once, whatever went
    EXPECT_EQ(bed_.feedback.depth, 0);

    // A header whose cells after the key are all empty goes as well; with a
    // single column every row counts as empty.
    Fill({{"DN", ""}, {".a.Corp", "x"}});
    ops_.HideEmptyFields();
    EXPECT_EQ(run_.Table().RowCount(), 1u);
    EXPECT_EQ(run_.Table().Cell(0, 0), ".a.Corp");
    Fill({{"DN"}, {".a.Corp"}});
    ops_.HideEmptyFields();
    EXPECT_EQ(run_.Table().RowCount(), 0u);
}

TEST_F(TableOperationsTest, PopupOffersAReportOnlyOnASingleDottedName) {
    Fill({{"DN", "Members"}, {"jdoe.Sales.Corp", "a.Corp\r\nb.Corp"}, {"plain", "R&D.Corp"}});
    ResultsPopup popup = ops_.PreparePopup(0, 1);
    EXPECT_TRUE(popup.reportOnSelected.enabled);
    EXPECT_EQ(popup.reportOnSelected.caption, "Report on \"jdoe.Sales.Corp\"");

    popup = ops_.PreparePopup(1, 1);  // two names on two lines
    EXPECT_FALSE(popup.reportOnSelected.enabled);
    EXPECT_EQ(popup.reportOnSelected.caption, "Report on selected object");
    EXPECT_FALSE(ops_.PreparePopup(0, 2).reportOnSelected.enabled);
    // "&" from a cell is shown, not taken as a mnemonic.
    EXPECT_EQ(ops_.PreparePopup(1, 2).reportOnSelected.caption, "Report on \"R&&D.Corp\"");

    EXPECT_EQ(popup.sortEntries,
              (std::vector<PopupEntry>{{"Sort by Column 0 (DN)", true, 0},
                                       {"Sort by Column 1 (Members)", true, 1}}));
}

TEST_F(TableOperationsTest, SchemaClassesPopupHasSevenSortEntries) {
    ReportSpec spec = run_.CurrentSpec();
    spec.Kind = ReportKind::SchemaClasses;
    ASSERT_TRUE(run_.Rpt_run(spec));
    const ResultsPopup popup = ops_.PreparePopup(0, 0);
    ASSERT_EQ(popup.sortEntries.size(), 7u);
    EXPECT_EQ(popup.sortEntries.front().caption, "Sort by Column 0 (Class Name)");
    EXPECT_EQ(popup.sortEntries.back().caption, "Sort by Column 6 (ASN)");
    EXPECT_EQ(popup.sortEntries.back().tag, 6);
}

TEST_F(TableOperationsTest, SortFromThePopupRemembersTheColumnAndKeepsCellTexts) {
    Fill({{"DN", "Title"}, {"x", "b"}, {"y", "A"}, {"z", "a"}, {"w", "10"}, {"v", "9\r\nz"}});
    ops_.SortByColumn(1);
    EXPECT_EQ(run_.CurrentSpec().OrderBy, 1);
    std::vector<std::string> keys;
    for (size_t r = 0; r < run_.Table().RowCount(); ++r)
        keys.push_back(run_.Table().Cell(0, r));
    EXPECT_EQ(keys,
              (std::vector<std::string>{"DN", "w", "v", "y", "z", "x"}));  // stable: A before a
    EXPECT_EQ(run_.Table().Cell(1, 2), "9\r\nz");
}

TEST_F(TableOperationsTest, CellMeaningFollowsTheReportKind) {
    Fill({{"Attribute Name", "Value"}, {"Surname", "Doe"}});
    run_.CurrentSpec().Kind = ReportKind::ByObject;
    run_.CurrentSpec().ObjectName = ".jdoe.Sales.Corp";
    run_.CurrentSpec().ObjectClass = "User";
    CellMeaning meaning = ops_.MeaningOf(1, 1);
    EXPECT_EQ(meaning.object, ".jdoe.Sales.Corp");
    EXPECT_EQ(meaning.attribute, "Surname");
    EXPECT_EQ(meaning.value, "Doe");
    EXPECT_EQ(meaning.objectClass, "User");
    EXPECT_EQ(ops_.CellHint(1, 1), ".jdoe.Sales.Corp\r\nSurname\r\n\r\nDoe");
    // The name's cell means the same value: an edit opened there must show
    // and write back the value, never over the name.
    meaning = ops_.MeaningOf(0, 1);
    EXPECT_EQ(meaning.attribute, "Surname");
    EXPECT_EQ(meaning.value, "Doe");
    EXPECT_EQ(meaning.valueColumn, 1u);

    Fill({{"DN", "Surname"}, {".jdoe.Sales.Corp", "Doe"}});
    run_.CurrentSpec().Kind = ReportKind::ByType;
    meaning = ops_.MeaningOf(1, 1);
    EXPECT_EQ(meaning.object, ".jdoe.Sales.Corp");
    EXPECT_EQ(meaning.attribute, "Surname");
    EXPECT_EQ(ops_.MeaningOf(1, 0).object, "DN");  // a header cell: its own key
}

// A saved single-object report names its object relative to its container;
// an object of the same name at the top of the tree must not take its place
// when a cell is opened, edited or read again.
TEST_F(TableOperationsTest, ASingleObjectCellBelongsToTheObjectTheRunRead) {
    ReportSpec spec = run_.CurrentSpec();
    spec.Kind = ReportKind::ByObject;
    spec.Container = "Sales.Corp";
    spec.ObjectName = "bob";
    spec.ObjectClass = "User";
    ASSERT_TRUE(run_.Rpt_run(spec));
    size_t cn = 0;
    for (size_t r = 1; r < run_.Table().RowCount(); ++r)
        if (run_.Table().Cell(0, r) == "CN") cn = r;
    ASSERT_NE(cn, 0u);
    ASSERT_EQ(run_.Table().Cell(1, cn), "bob");
    const CellMeaning meaning = ops_.MeaningOf(1, cn);
    EXPECT_EQ(meaning.object, ".bob.Sales.Corp");
    EXPECT_EQ(meaning.attribute, "CN");
}

TEST_F(TableOperationsTest, HexadecimalCellsShowTheirCharacters) {
    EXPECT_EQ(HexCharacterText("414243"), "ABC");
    EXPECT_EQ(HexCharacterText("41|42"), "A?");  // pairs 41 and |4, the 2 ignored
    EXPECT_EQ(HexCharacterText("0A41"), "?A");
    EXPECT_EQ(HexCharacterText("E9"), "\xC3\xA9");  // Windows-1252 e acute, as UTF-8
    EXPECT_EQ(HexCharacterText("4"), "");
    EXPECT_EQ(HexCharacterText(""), std::nullopt);
    EXPECT_EQ(HexCharacterText("41G2"), std::nullopt);

    Fill({{"DN", "GUID", "CN"}, {"k.Corp", "414243", "jdoe"}});
    ops_.ShowSelectedCell(1, 1);
    EXPECT_EQ(bed_.feedback.status[0], "k.Corp");
    EXPECT_EQ(bed_.feedback.status[1], "414243");
    EXPECT_EQ(bed_.feedback.status[2], "ABC");
    ops_.ShowSelectedCell(2, 1);
    EXPECT_EQ(bed_.feedback.status[1], "jdoe");
    EXPECT_EQ(run_.CurrentStatusLayout().textCount, 2);
}

TEST_F(TableOperationsTest, ReportOnSelectedObjectRunsOnlyForAnObject) {
    const client::ContextHandle context = bed_.Context("Sales.Corp", "CORP");
    run_.CurrentSpec().OrderBy = 0;
    run_.CurrentSpec().Container = "Sales.Corp";
    Fill({{"DN", "Title"}, {"no.such.Corp", "x"}, {"jdoe.Sales.Corp", "y"}});

    EXPECT_FALSE(ops_.ReportOnSelectedObject(0, 1, context));
    EXPECT_EQ(run_.CurrentSpec().Kind, ReportKind::ByType);  // nothing changed
    EXPECT_EQ(run_.CurrentSpec().Container, "Sales.Corp");
    EXPECT_EQ(run_.Table().RowCount(), 3u);

    // Read from the top although the tree's context stands on Sales.Corp.
    ASSERT_TRUE(ops_.ReportOnSelectedObject(0, 2, context));
    EXPECT_EQ(run_.CurrentSpec().Kind, ReportKind::ByObject);
    EXPECT_EQ(run_.CurrentSpec().Container, "[Root]");
    EXPECT_EQ(run_.CurrentSpec().ObjectName, "jdoe.Sales.Corp");
    EXPECT_EQ(run_.CurrentSpec().ObjectClass, "User");
    EXPECT_EQ(run_.CurrentSpec().OrderBy, 0);
    EXPECT_EQ(run_.Table().Cell(0, 0), "Attribute Name");
    EXPECT_TRUE(bed_.messages.boxes.empty());
}

TEST_F(TableOperationsTest, DeleteAsksFirstAndReportsTheOutcome) {
    using Kind = testing::ScriptedMessagePort::Kind;
    const client::ContextHandle context = bed_.Context("Sales.Corp", "CORP");
    auto listed = [&] { return bed_.List(context, "Sales.Corp"); };
    const size_t before = listed().size();

    EXPECT_EQ(ops_.DeleteObject(std::nullopt, context), DeleteOutcome::Refused);
    EXPECT_EQ(bed_.messages.Texts(Kind::Plain),
              std::vector<std::string>{"First, select one object"});

    const auto bob = ParseObjectListLine("User: bob", 6);
    ASSERT_TRUE(bob);
    EXPECT_EQ(bob->className, "User");
    bed_.messages.answers = {false};
    EXPECT_EQ(ops_.DeleteObject(bob, context), DeleteOutcome::Declined);
    EXPECT_EQ(bed_.messages.Texts(Kind::Question), std::vector<std::string>{"Delete \"bob\"?"});
    EXPECT_EQ(listed().size(), before);

    bed_.messages.answers = {true};
    EXPECT_EQ(ops_.DeleteObject(bob, context), DeleteOutcome::Deleted);
    EXPECT_EQ(listed().size(), before - 1);
    EXPECT_EQ(bed_.messages.Texts(Kind::Plain).back(), "\"bob\" successfully deleted");

    bed_.messages.answers = {true};
    EXPECT_EQ(ops_.DeleteObject(ParseObjectListLine("User: boss", 6), context),
              DeleteOutcome::Failed);
    EXPECT_EQ(bed_.messages.Errors(),
              std::vector<std::string>{
                  "Delete \".boss.Sales.Corp\" returned error 0xFFFFFD60 (No access)"});
    EXPECT_EQ(listed().size(), before - 1);

    // A removal the server did not answer in time: the object is looked for.
    // Gone, it was deleted; still there, the error says the outcome is unknown.
    bool serverRemoves = true;
    bed_.spy.onRemoveObject = [&](client::ContextHandle on, std::string_view object) {
        if (serverRemoves) {
            EXPECT_EQ(bed_.spy.Inner().RemoveObject(on, object), 0);
        }
        return client::Err::OutcomeUnknown;
    };
    bed_.messages.answers = {true};
    EXPECT_EQ(ops_.DeleteObject(ParseObjectListLine("User: jdoe", 6), context),
              DeleteOutcome::Deleted);
    EXPECT_EQ(bed_.messages.Texts(Kind::Plain).back(), "\"jdoe\" successfully deleted");
    EXPECT_EQ(listed().size(), before - 2);
    serverRemoves = false;
    bed_.messages.answers = {true};
    EXPECT_EQ(ops_.DeleteObject(ParseObjectListLine("User: boss", 6), context),
              DeleteOutcome::Failed);
    EXPECT_EQ(bed_.messages.Errors().back().rfind("Delete \".boss.Sales.Corp\" returned error "
                                                  "0xFFFFFE8D (The server did not answer in time",
                                                  0),
              0u)
        << bed_.messages.Errors().back();
}

TEST(ObjectListLineTest, SplitsOnlyWhereTheNumberPoints) {
    EXPECT_FALSE(ParseObjectListLine("User: bob", 1));
    EXPECT_FALSE(ParseObjectListLine("User: bob", 9));
    const auto entry = ParseObjectListLine("Organizational Unit: Sales", 21);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->className, "Organizational Unit");
    EXPECT_EQ(entry->objectName, "Sales");
}

}  // namespace
}  // namespace vellrun::report
