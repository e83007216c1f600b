// What the main window asks of the core besides the run itself, against the
// bundled sample tree: a tree's classes and auxiliary attributes, the
// attribute checklist of a class, the remembered ticks, the checklist
// commands, the start rules and texts, and a saved report run as one
// operation.
#include "client/ResultCodes.h"
#include "platform/DateTime.h"
#include "platform/TextCollator.h"
#include "report/CannedReport.h"
#include "report/ReportRun.h"
#include "report/ReportStart.h"
#include "report/TreeInformation.h"
#include "settings/AppSettings.h"
#include "support/DirectoryTestBed.h"
#include "support/TempDir.h"
#include "values/CellTextReader.h"
#include "values/ValueFormatting.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::report {
namespace {

using testing::ScriptedMessagePort;

std::string SampleImage() {
    std::ifstream in(std::string(VELLRUN_TEST_DATA_DIR) + "/sample-directory.json");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class WindowLogicTest : public ::testing::Test {
protected:
    WindowLogicTest()
        : bed_(SampleImage(), true, VELLRUN_TEST_DATA_DIR),
          formatter_(bed_.access, formats_),
          reader_(bed_.access, settings_, formats_),
          run_(bed_.access, reader_, settings_, bed_.feedback, collator_) {
        bed_.access.SetValueFormatter(&formatter_);
    }
    ~WindowLogicTest() override { bed_.access.ClearTreeInfo(tree_); }

    void OpenTree() { ASSERT_EQ(bed_.access.OpenTreeInfo(tree_, "CORP", true), 0); }

    testing::DirectoryTestBed bed_;
    platform::DateTimeFormats formats_{};
    settings::AppSettings settings_ = settings::AppSettings::DialogDefaults(formats_);
    values::ValueTextFormatter formatter_;
    values::CellTextReader reader_;
    platform::TextCollator collator_;
    ReportRun run_;
    directory::TTreeInfo tree_;
};

TEST_F(WindowLogicTest, ClassesAuxiliaryAttributesAndTheChecklistOfAClass) {
    OpenTree();
    ASSERT_EQ(GetTreeInformation(bed_.access, tree_), TreeInformationResult::Loaded);
    ASSERT_TRUE(tree_.classes.Contains("User"));
    EXPECT_NE(tree_.classes.Number(*tree_.classes.IndexOf("corpBadge")) & kAuxiliaryClassFlag, 0);
    // Every attribute of both auxiliary classes, sorted without case, once.
    const std::vector<std::string> aux = tree_.auxAttributes.Texts();
    EXPECT_TRUE(tree_.auxAttributes.Contains("corpBadgeNumber"));
    EXPECT_TRUE(tree_.auxAttributes.Contains("uidNumber"));
    EXPECT_TRUE(std::is_sorted(aux.begin(), aux.end(), [](const auto& a, const auto& b) {
        return platform::StringList::CompareText(a, b) < 0;
    }));

    // Read once per tree: a second call reads nothing.
    const int reads = bed_.spy.Count("ReadClassDefinitions");
    EXPECT_EQ(GetTreeInformation(bed_.access, tree_), TreeInformationResult::AlreadyLoaded);
    EXPECT_EQ(bed_.spy.Count("ReadClassDefinitions"), reads);

    platform::StringList entries;
    ASSERT_EQ(ReadPropertiesInclDSI(bed_.access, tree_, "User", entries), 0);
    const auto separator = entries.IndexOf(AuxSeparatorLine());
    ASSERT_TRUE(separator.has_value());
    EXPECT_EQ(entries.Number(*separator), kItemSeparator);
    EXPECT_EQ(AuxSeparatorLine(),
              std::string(30, '-') + " Potential Auxiliary Attributes " + std::string(30, '-'));
    // Above the separator: the class's attributes and the "DSI: " names sorted together.
    EXPECT_EQ(entries.Number(*entries.IndexOf("DSI: Parent")), kItemDsi);
    // The super classes' attributes are the class's too.
    EXPECT_EQ(entries.Number(*entries.IndexOf("OU")), kItemNaming);
    EXPECT_EQ(entries.Number(*entries.IndexOf("Full Name")), kItemOptional);
    EXPECT_EQ(entries.Number(*entries.IndexOf("Login Disabled")), kItemOptional);
    EXPECT_LT(*entries.IndexOf("CN"), *entries.IndexOf("DSI: DN"));
    EXPECT_LT(*entries.IndexOf("DSI: DN"), *separator);
    // Below it only auxiliary attributes the class lacks; one it has stays above.
    EXPECT_GT(*entries.IndexOf("corpBadgeNumber"), *separator);
    EXPECT_LT(*entries.IndexOf("Login Disabled"), *separator);
    EXPECT_LT(*entries.IndexOf("Description"), *separator);
    EXPECT_GT(*entries.IndexOf("uidNumber"), *separator);
    EXPECT_EQ(entries.Count(), [&] {
        std::vector<std::string> t = entries.Texts();
        std::sort(t.begin(), t.end());
        return static_cast<size_t>(std::unique(t.begin(), t.end()) - t.begin());
    }());

    // "Check Mandatory" ticks exactly the mandatory attributes; the separator
    // is never an attribute.
    // CN names the class and is mandatory in Person: it counts as mandatory.
    EXPECT_EQ(TickedAttributes(entries, ChecklistTicks(entries, ChecklistCommand::CheckMandatory)),
              (std::vector<std::string>{"CN", "Object Class", "Surname"}));
    platform::StringList group;
    ASSERT_EQ(ReadPropertiesInclDSI(bed_.access, tree_, "Group", group), 0);
    EXPECT_EQ(TickedAttributes(group, ChecklistTicks(group, ChecklistCommand::CheckMandatory)),
              (std::vector<std::string>{"CN", "Object Class"}));
    const std::vector<bool> all = ChecklistTicks(entries, ChecklistCommand::CheckAll);
    EXPECT_EQ(TickedAttributes(entries, all).size(), entries.Count() - 1);
    EXPECT_TRUE(
        TickedAttributes(entries, ChecklistTicks(entries, ChecklistCommand::UncheckAll)).empty());

    // Remembered ticks: a name the checklist lost is dropped.
    std::vector<std::string> selected{"Login Disabled", "Gone Attribute", "cn", AuxSeparatorLine()};
    const std::vector<size_t> ticks = MarkAttributesAsSelected(entries, selected);
    EXPECT_EQ(selected, (std::vector<std::string>{"Login Disabled", "cn"}));
    EXPECT_EQ(ticks,
              (std::vector<size_t>{*entries.IndexOf("CN"), *entries.IndexOf("Login Disabled")}));

    // "*": every attribute of the schema, no auxiliary part.
    platform::StringList every;
    ASSERT_EQ(ReadPropertiesInclDSI(bed_.access, tree_, kAllClasses, every), 0);
    EXPECT_FALSE(every.Contains(AuxSeparatorLine()));
    EXPECT_TRUE(every.Contains("uidNumber"));
    EXPECT_TRUE(every.Contains("DSI: Time Created"));

    // The object type to select.
    EXPECT_EQ(ObjectTypeToSelect(tree_.classes, "group"), *tree_.classes.IndexOf("Group"));
    EXPECT_EQ(ObjectTypeToSelect(tree_.classes, "No Such"), *tree_.classes.IndexOf("User"));
    platform::StringList none;
    none.Add("Top");
    EXPECT_EQ(ObjectTypeToSelect(none, "No Such"), -1);
    EXPECT_TRUE(bed_.messages.boxes.empty());
}

TEST_F(WindowLogicTest, SchemaReadFailuresShowTheirLabelsAndLeaveTheDsiNames) {
    OpenTree();
    bed_.spy.onReadClassDefinitions = [](auto...) { return client::Err::NoConnection; };
    EXPECT_EQ(GetTreeInformation(bed_.access, tree_), TreeInformationResult::Failed);
    EXPECT_TRUE(tree_.classes.Empty());
    ASSERT_EQ(bed_.messages.Errors().size(), 1u);
    EXPECT_EQ(
        bed_.messages.Errors()[0].rfind(std::string(kClassesErrorLabel) + " returned error", 0),
        0u);

    platform::StringList entries;
    EXPECT_NE(ReadPropertiesInclDSI(bed_.access, tree_, "User", entries), 0);
    EXPECT_EQ(entries.Count(), 6u);
    ASSERT_EQ(bed_.messages.Errors().size(), 2u);
    EXPECT_EQ(bed_.messages.Errors()[1].rfind(std::string(kAttributesErrorLabel) + " returned", 0),
              0u);

    // The failure was not remembered: the next try reads again.
    bed_.spy.onReadClassDefinitions = nullptr;
    EXPECT_EQ(GetTreeInformation(bed_.access, tree_), TreeInformationResult::Loaded);
}

TEST(ReportStartTest, RefusalsFieldsTextsAndFilters) {
    ByTypeChoices choices;
    EXPECT_EQ(ByTypeStartRefusal(choices), kNoObjectTypeSelected);
    choices.objectClass = "User";
    EXPECT_EQ(ByTypeStartRefusal(choices), kNoAttributesSelected);
    choices.attributes = {"CN"};
    EXPECT_FALSE(ByTypeStartRefusal(choices).has_value());

    ReportSpec spec;
    spec.ObjectName = "old";
    spec.OutputFile = "old.csv";
    spec.OrderBy = 2;
    choices.treeName = "CORP";
    choices.container = ".Corp";
    choices.recursive = true;
    choices.output = OutputType::Xml;
    choices.filtered = true;
    choices.filters[1] = {"Title", "[anything]", false};
    PrepareByType(spec, choices);
    EXPECT_EQ(spec.Kind, ReportKind::ByType);
    EXPECT_TRUE(spec.ObjectName.empty());
    EXPECT_TRUE(spec.OutputFile.empty());
    EXPECT_EQ(spec.OrderBy, -1);
    EXPECT_EQ(spec.Filters[1].Value, "[anything]");
    EXPECT_EQ(spec.Output, OutputType::Xml);

    // Schema reports keep everything but kind and output file; refused while running.
    spec.OutputFile = "x.csv";
    EXPECT_FALSE(PrepareSchema(spec, ReportKind::SchemaClasses, true));
    EXPECT_EQ(spec.Kind, ReportKind::ByType);
    EXPECT_TRUE(PrepareSchema(spec, ReportKind::SchemaAttributes, false));
    EXPECT_EQ(spec.Kind, ReportKind::SchemaAttributes);
    EXPECT_TRUE(spec.OutputFile.empty());
    EXPECT_EQ(spec.Container, ".Corp");
    EXPECT_TRUE(spec.Recursive);

    PrepareByObject(spec, "CORP", ".Sales.Corp", ".jdoe.Sales.Corp", "User");
    EXPECT_EQ(spec.Kind, ReportKind::ByObject);
    EXPECT_TRUE(spec.Attributes.empty());
    EXPECT_TRUE(spec.Filtered);  // left as it was

    const std::vector<ExportMenuEntry> menu = ExportMenuEntries();
    ASSERT_EQ(menu.size(), 5u);
    EXPECT_EQ(menu[0].caption, ".. as &CSV");
    EXPECT_EQ(menu[2].caption, ".. as Clip&board");
    EXPECT_EQ(menu[4].tag, 4);
    EXPECT_EQ(menu[3].hint, "Supported output formats");
    EXPECT_EQ(StoreReportFilter("User"), "\"User\" Reports (User*.rpt);;All Files (*)");
    EXPECT_EQ(OpenReportFilter(), "Saved Reports (*.rpt);;All Files (*)");
    EXPECT_EQ(StoreReportFileName("CORP-schema-classes"), "CORP-schema-classes.rpt");
}

TEST_F(WindowLogicTest, SavedReportRunsAsOneOperationOrIsRefusedWithItsBox) {
    testing::TempDir dir;
    const auto file = dir / "users.rpt";
    testing::WriteFile(file,
                       "[General]\nContainer=Corp\nTree=CORP\nReport Type=2\nRecursive=1\n"
                       "[Output]\nType=0\nFile=\nOrderBy=1\n"
                       "[Attributes]\n0=Surname\n1=No Such Attribute\n[Object]\nType=User\n");
    const directory::TTreeInfo* prepared = nullptr;
    std::vector<std::string> preparedAttributes;
    const CannedReportOutcome outcome =
        OpenCannedReport(run_, bed_.access, tree_, file, true, [&](const ReportSpec& spec) {
            prepared = spec.Tree;
            preparedAttributes = spec.Attributes;
            // The tree is set up and its classes read before the window is prepared.
            EXPECT_TRUE(spec.Tree->classes.Contains("User"));
        });
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(prepared, &tree_);
    EXPECT_EQ(preparedAttributes, (std::vector<std::string>{"Surname", "No Such Attribute"}));
    // Every listed column runs, known to the class or not; sorted by column 1.
    EXPECT_EQ(run_.Table().Cell(2, 0), "No Such Attribute");
    EXPECT_GT(run_.Table().RowCount(), 100u);
    EXPECT_LE(platform::StringList::CompareText(run_.Table().Cell(1, 1), run_.Table().Cell(1, 2)),
              0);
    EXPECT_EQ(run_.CurrentSpec().Tree, &tree_);

    // A schema report file is refused with its box; the current spec stays.
    const auto schema = dir / "schema.rpt";
    testing::WriteFile(schema,
                       "[General]\nContainer=Corp\nTree=CORP\nReport Type=3\n"
                       "[Object]\nType=User\n");
    const CannedReportOutcome refused =
        OpenCannedReport(run_, bed_.access, tree_, schema, true, {});
    EXPECT_EQ(refused.status, CannedReportOutcome::Status::Invalid);
    EXPECT_FALSE(refused.Succeeded());
    EXPECT_EQ(bed_.messages.Errors(),
              (std::vector<std::string>{"Invalid Report File: " + schema.string()}));
    EXPECT_EQ(run_.CurrentSpec().Kind, ReportKind::ByType);

    // A tree that is not there: nothing runs, the box says why (naming the
    // trees that are, so that a slip in the name shows), and the
    // results shown keep the tree they are read through.
    const auto lost = dir / "lost.rpt";
    testing::WriteFile(lost,
                       "[General]\nContainer=Corp\nTree=NOWHERE\nReport Type=1\n"
                       "[Object]\nName=admin.IT.Corp\nType=User\n");
    const CannedReportOutcome failed = OpenCannedReport(run_, bed_.access, tree_, lost, true, {});
    EXPECT_FALSE(failed.Succeeded());
    ASSERT_EQ(bed_.messages.Errors().size(), 2u);
    EXPECT_EQ(
        bed_.messages.Errors()[1],
        "The tree \"NOWHERE\" named in " + lost.string() +
            " cannot be opened: it is not connected (the connected trees: CORP, LAB, ARCHIVE)");
    EXPECT_EQ(run_.CurrentSpec().Tree, &tree_);
    EXPECT_EQ(tree_.treeName, "CORP");
    EXPECT_TRUE(tree_.HoldsContexts());
    EXPECT_TRUE(tree_.classes.Contains("User"));
}

}  // namespace
}  // namespace vellrun::report
