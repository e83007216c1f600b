// The report run against a small inline tree: the kinds through Rpt_run, the
// status texts, cancel, refusal of a second run, sorting at the end, the
// automatic export hook, failures that still go through the tail, and the
// column-width arithmetic.

#include "platform/DateTime.h"
#include "platform/TextCollator.h"
#include "report/ReportRun.h"
#include "settings/AppSettings.h"
#include "support/DirectoryTestBed.h"
#include "values/CellTextReader.h"
#include "values/ValueFormatting.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::report {
namespace {

class ReportRunTest : public ::testing::Test {
protected:
    ReportRunTest()
        : bed_(testing::TreesImage({{"CORP", testing::CorpObjects()}})),
          formatter_(bed_.access, formats_),
          reader_(bed_.access, settings_, formats_),
          run_(bed_.access, reader_, settings_, bed_.feedback, collator_) {
        settings_.TypelessNames = true;
        bed_.access.SetValueFormatter(&formatter_);
        run_.RunHooks().exportAtOnce = [this](ReportSpec& current) {
            exports_.push_back(current.OutputFile);
        };
    }

    ReportSpec ByType(std::string container, std::string objectClass,
                      std::vector<std::string> attributes, bool recursive) {
        ReportSpec spec;
        spec.Kind = ReportKind::ByType;
        spec.TreeName = "CORP";
        spec.Container = std::move(container);
        spec.ObjectClass = std::move(objectClass);
        spec.Attributes = std::move(attributes);
        spec.Recursive = recursive;
        return spec;
    }

    std::vector<std::string> Column(size_t column) const {
        std::vector<std::string> cells;
        for (size_t r = 1; r < run_.Table().RowCount(); ++r)
            cells.push_back(run_.Table().Cell(column, r));
        return cells;
    }

    // What every run leaves behind, however it ended.
    void ExpectRestored() {
        EXPECT_FALSE(run_.ReportRunning());
        EXPECT_EQ(bed_.spy.liveContexts, 0);
        EXPECT_EQ(bed_.spy.liveBuffers, 0);
        EXPECT_EQ(bed_.feedback.depth, 0);
        EXPECT_GT(bed_.feedback.pushes, 0);
    }

    platform::DateTimeFormats formats_{};
    settings::AppSettings settings_ = settings::AppSettings::DialogDefaults(formats_);
    testing::DirectoryTestBed bed_;
    values::ValueTextFormatter formatter_;
    values::CellTextReader reader_;
    platform::TextCollator collator_{"en_US"};
    ReportRun run_;
    std::vector<std::string> exports_;
};

TEST_F(ReportRunTest, ByTypeOneLevelReadsTheChosenAttributes) {
    ASSERT_TRUE(run_.Rpt_run(ByType("Sales.Corp", "User", {"Surname", "Description"}, false)));

    EXPECT_EQ(run_.LastResult(), 0);
    EXPECT_EQ(run_.Table().Row(0), (std::vector<std::string>{"DN", "Surname", "Description"}));
    // asmith lives one level further down.
    EXPECT_EQ(Column(0), (std::vector<std::string>{"jdoe.Sales.Corp"}));
    EXPECT_EQ(run_.Table().Cell(1, 1), "Doe");
    EXPECT_EQ(run_.Table().Cell(2, 1), "first\r\nsecond");
    EXPECT_EQ(run_.Table().FixedRows(), 1u);
    EXPECT_EQ(run_.Table().FixedCols(), 1u);
    EXPECT_TRUE(run_.SaveEnabled());
    EXPECT_EQ(run_.ReportName(), "User");
    ExpectRestored();
}

TEST_F(ReportRunTest, ByTypeRecursiveListsASubtreeBeforeItsContainerAndFilters) {
    ASSERT_TRUE(run_.Rpt_run(ByType("Sales.Corp", "*", {}, true)));
    const std::vector<std::string> all = Column(0);
    const auto at = [&](std::string_view name) {
        return std::find(all.begin(), all.end(), name) - all.begin();
    };
    ASSERT_LT(at("asmith.East.Sales.Corp"), static_cast<long>(all.size()));
    ASSERT_LT(at("East.Sales.Corp"), static_cast<long>(all.size()));
    EXPECT_LT(at("asmith.East.Sales.Corp"), at("East.Sales.Corp"));
    EXPECT_EQ(all.size(), 5u);  // jdoe, East, asmith, staff, jalias
    EXPECT_EQ(run_.ReportName(), " ");

    ReportSpec users = ByType("Corp", "User", {"CN"}, true);
    ASSERT_TRUE(run_.Rpt_run(users));
    EXPECT_EQ(Column(0).size(), 3u);

    // Only the users with a surname; the header row of the earlier, longer
    // run does not linger either.
    users.Filtered = true;
    users.Filters[0] = {"Surname", "[anything]", true};
    ASSERT_TRUE(run_.Rpt_run(users));
    std::vector<std::string> found = Column(0);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"admin.IT.Corp", "jdoe.Sales.Corp"}));
    EXPECT_EQ(run_.Table().RowCount(), 3u);
    ExpectRestored();
}

TEST_F(ReportRunTest, TheDnColumnSpellsTheSearchBaseAsTheReportSpecGivesIt) {
    // With and without the leading dot, and from the top of the tree; the
    // values are read either way.
    for (const auto& [container, dn] :
         std::vector<std::pair<std::string, std::string>>{{"Corp", "jdoe.Sales.Corp"},
                                                          {".Corp", ".jdoe.Sales.Corp"},
                                                          {"[Root]", ".jdoe.Sales.Corp"}}) {
        ASSERT_TRUE(run_.Rpt_run(ByType(container, "User", {"Surname"}, true)));
        bool found = false;
        for (size_t row = 1; row < run_.Table().RowCount(); ++row) {
            if (run_.Table().Cell(0, row) != dn) continue;
            found = true;
            EXPECT_EQ(run_.Table().Cell(1, row), "Doe") << container;
        }
        EXPECT_TRUE(found) << container << ": " << ::testing::PrintToString(Column(0));
    }
}

// No object of a known class is an answer; a class the schema does not know
// (a saved report from another tree, a typing slip) is a failure, not a
// report that found nothing today.
TEST_F(ReportRunTest, ByTypeWithoutMatchesOffersNoExportAndAnUnknownClassFails) {
    ReportSpec spec = ByType("IT.Corp", "Group", {"CN"}, false);
    spec.OutputFile = "/tmp/none.csv";
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_EQ(run_.LastResult(), 0);
    EXPECT_EQ(run_.Table().RowCount(), 1u);
    EXPECT_EQ(run_.Table().FixedRows(), 0u);
    EXPECT_FALSE(run_.SaveEnabled());
    EXPECT_TRUE(exports_.empty());

    ASSERT_TRUE(run_.Rpt_run(ByType("Corp", "Nonclass", {"CN"}, true)));
    EXPECT_EQ(run_.LastResult(), client::Err::NoSuchClass);
    EXPECT_EQ(run_.Table().RowCount(), 1u);
    EXPECT_FALSE(run_.SaveEnabled());
    ExpectRestored();
}

TEST_F(ReportRunTest, ByObjectListsTheClassAttributesAndTheSixPseudoAttributes) {
    ReportSpec spec;
    spec.Kind = ReportKind::ByObject;
    spec.TreeName = "CORP";
    spec.Container = "Sales.Corp";
    spec.ObjectName = "jdoe";  // made absolute against the container
    spec.ObjectClass = "User";
    ASSERT_TRUE(run_.Rpt_run(spec));

    EXPECT_EQ(run_.Table().Row(0), (std::vector<std::string>{"Attribute Name", "Value"}));
    const std::vector<std::string> names = Column(0);
    for (std::string_view dsi : values::CellTextReader::kDsiNames)
        EXPECT_NE(std::find(names.begin(), names.end(), dsi), names.end()) << dsi;
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [&](const auto& a, const auto& b) {
        return collator_.Compare(a, b) < 0;
    }));
    const auto value = [&](std::string_view name) {
        const auto it = std::find(names.begin(), names.end(), name);
        return it == names.end() ? std::string("<missing>")
                                 : run_.Table().Cell(1, (it - names.begin()) + 1);
    };
    EXPECT_EQ(value("Description"), "first\r\nsecond");
    EXPECT_EQ(value("Title"), "");  // defined, not held
    EXPECT_NE(value("DSI: DN").find("jdoe"), std::string::npos);
    EXPECT_EQ(run_.ReportName(), "User jdoe");
    EXPECT_TRUE(run_.SaveEnabled());
    ExpectRestored();
}

TEST_F(ReportRunTest, ByObjectWithUnreadableClassUsesTheGivenClass) {
    ReportSpec spec;
    spec.Kind = ReportKind::ByObject;
    spec.TreeName = "CORP";
    spec.Container = "Corp";
    spec.ObjectName = "gh:o/st*?";
    spec.ObjectClass = "Group";
    ASSERT_TRUE(run_.Rpt_run(spec));

    EXPECT_NE(run_.LastResult(), 0);  // the object's own class list could not be read
    std::vector<std::string> expected{"CN"};
    expected.insert(expected.end(), values::CellTextReader::kDsiNames.begin(),
                    values::CellTextReader::kDsiNames.end());
    std::sort(expected.begin(), expected.end(),
              [&](const auto& a, const auto& b) { return collator_.Compare(a, b) < 0; });
    EXPECT_EQ(Column(0), expected);
    EXPECT_EQ(run_.ReportName(), "Group gh o st  ");
    ExpectRestored();
}

TEST_F(ReportRunTest, SchemaKindsAndUnknownKindsRunBetweenHeadAndTail) {
    ReportSpec spec;
    spec.TreeName = "CORP";
    spec.Kind = ReportKind::SchemaClasses;
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_EQ(run_.Table().Cell(0, 0), "Class Name");
    EXPECT_EQ(run_.ReportName(), "CORP-schema-classes");
    EXPECT_TRUE(run_.SaveEnabled());
    EXPECT_GT(run_.Table().RowCount(), 5u);

    spec.Kind = ReportKind::SchemaAttributes;
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_EQ(run_.Table().Cell(0, 0), "Attribute Name");
    EXPECT_EQ(run_.ReportName(), "CORP-schema-attributes");

    // Any other number: the head and the tail only; the table is emptied.
    spec.Kind = static_cast<ReportKind>(9);
    spec.OutputFile = "/tmp/x.csv";
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_FALSE(run_.SaveEnabled());
    EXPECT_EQ(run_.Table().Cell(0, 0), "");
    EXPECT_TRUE(exports_.empty());
    ExpectRestored();
}

TEST_F(ReportRunTest, StatusTextsProportionsAndPanelRules) {
    auto& status = bed_.feedback.status;
    run_.ShowStatus("a", "b", "c");
    EXPECT_EQ(run_.CurrentStatusLayout(), StatusLayoutFor(3));
    EXPECT_EQ(StatusPanelWidths(run_.CurrentStatusLayout(), 800),
              (std::array<int, 3>{200, 300, 300}));

    // One text: panel 1 emptied, panel 2 kept, panel 0 over the whole bar.
    const int events = bed_.feedback.events;
    run_.ShowStatus("Get Schema");
    EXPECT_EQ(bed_.feedback.events, events + 1);
    EXPECT_EQ(status[0], "Get Schema");
    EXPECT_EQ(status[1], "");
    EXPECT_EQ(status[2], "c");
    EXPECT_EQ(StatusPanelWidths(run_.CurrentStatusLayout(), 801), (std::array<int, 3>{801, 0, 0}));

    // An empty last text counts as absent: a two-text call.
    run_.ShowStatus("x", "y", "");
    EXPECT_EQ(run_.CurrentStatusLayout().textCount, 2);
    EXPECT_EQ(StatusPanelWidths(run_.CurrentStatusLayout(), 803),
              (std::array<int, 3>{400, 400, 0}));
    EXPECT_EQ(status[2], "");

    // Keep and clear markers, as a found object shows itself.
    run_.ShowStatus(kStatusKeep, ".obj", kStatusClear);
    EXPECT_EQ(status[0], "x");
    EXPECT_EQ(status[1], ".obj");
    EXPECT_EQ(status[2], "");
    EXPECT_EQ(run_.CurrentStatusLayout().textCount, 3);

    // After a run: the idle texts of the current ReportSpec.
    run_.SetProductAddress("https://example.org");
    ASSERT_TRUE(run_.Rpt_run(ByType("IT.Corp", "User", {}, false)));
    EXPECT_EQ(status[0], "https://example.org");
    EXPECT_EQ(status[1], "CORP");
    EXPECT_EQ(status[2], "IT.Corp");
}

TEST_F(ReportRunTest, CancelKeepsTheRowsFoundSoFarAndStillExports) {
    bed_.feedback.onEvent = [this](int) {
        if (run_.ReportRunning() && run_.Table().RowCount() >= 3) run_.RequestCancel();
    };
    ReportSpec spec = ByType("Corp", "*", {"CN", "Description"}, true);
    spec.OutputFile = "/tmp/out.csv";
    ASSERT_TRUE(run_.Rpt_run(spec));
    // The second row was filled completely; no third entry was taken.
    EXPECT_EQ(run_.Table().RowCount(), 3u);
    EXPECT_TRUE(run_.SaveEnabled());
    EXPECT_EQ(exports_, (std::vector<std::string>{"/tmp/out.csv"}));
    EXPECT_FALSE(run_.CancelRequested());
    ExpectRestored();

    // The next run starts without the old request.
    bed_.feedback.onEvent = nullptr;
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_GT(run_.Table().RowCount(), 3u);
}

// Events are handled while a run goes on, the last time after its walk: a
// run asked for at any of them, by a click or a menu, is refused.
TEST_F(ReportRunTest, ASecondRunWhileOneRunsIsRefused) {
    int handled = 0;
    int refused = 0;
    bed_.feedback.onEvent = [&](int) {
        ++handled;
        ReportSpec other = ByType("IT.Corp", "User", {}, false);
        if (!run_.Rpt_run(other)) ++refused;
        if (!run_.Rpt_run()) ++refused;
    };
    ASSERT_TRUE(run_.Rpt_run(ByType("Sales.Corp", "User", {"CN"}, false)));
    EXPECT_GT(handled, 0);
    EXPECT_EQ(refused, 2 * handled);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"jdoe.Sales.Corp"}));
    EXPECT_EQ(run_.CurrentSpec().Container, "Sales.Corp");
    EXPECT_EQ(bed_.feedback.depth, 0);
}

TEST_F(ReportRunTest, OrderByInsideTheTableSortsOutsideItKeepsTheFoundOrder) {
    ReportSpec spec = ByType("Corp", "*", {"CN"}, true);
    ASSERT_TRUE(run_.Rpt_run(spec));
    const std::vector<std::string> found = Column(0);

    spec.OrderBy = 2;  // = column count
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_EQ(Column(0), found);

    spec.OrderBy = 0;
    ASSERT_TRUE(run_.Rpt_run(spec));
    std::vector<std::string> sorted = found;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const auto& a, const auto& b) { return collator_.Compare(a, b) < 0; });
    EXPECT_EQ(Column(0), sorted);
    EXPECT_NE(sorted, found);
    EXPECT_EQ(run_.Table().Cell(0, 0), "DN");  // the header row stays on top
}

TEST_F(ReportRunTest, UnknownTreeOrContainerReportsAndStillRunsTheTail) {
    ReportSpec spec = ByType("Corp", "User", {"CN"}, false);
    spec.TreeName = "NO-SUCH-TREE";
    spec.OutputFile = "/tmp/out.csv";
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_NE(run_.LastResult(), 0);
    EXPECT_FALSE(run_.SaveEnabled());
    EXPECT_TRUE(exports_.empty());
    ExpectRestored();

    spec.TreeName = "CORP";
    spec.Container = "Nowhere.Corp";
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_NE(run_.LastResult(), 0);
    EXPECT_LE(run_.Table().RowCount(), 1u);
    // The window's status bar says so; the grid alone would look like a report.
    EXPECT_EQ(bed_.feedback.status[0].rfind("The directory returned error 0x", 0), 0u)
        << bed_.feedback.status[0];
    EXPECT_FALSE(run_.SaveEnabled());
    EXPECT_TRUE(exports_.empty());
    ExpectRestored();
}

TEST_F(ReportRunTest, AFailureWhileOneObjectIsHandledEndsTheSearchCleanly) {
    bool thrown = false;
    bed_.feedback.onEvent = [&](int) {
        if (!thrown && run_.ReportRunning() && run_.Table().RowCount() == 3) {
            thrown = true;
            throw std::runtime_error("lost");
        }
    };
    ASSERT_TRUE(run_.Rpt_run(ByType("Corp", "*", {"CN"}, true)));
    EXPECT_TRUE(thrown);
    EXPECT_EQ(run_.Table().RowCount(), 3u);
    EXPECT_TRUE(run_.SaveEnabled());
    EXPECT_FALSE(run_.CancelRequested());
    // The rows found are no whole report: the run says it failed.
    EXPECT_EQ(run_.LastResult(), client::Err::Fatal);
    EXPECT_EQ(bed_.feedback.status[0].rfind("The directory returned error 0xFFFFFD45", 0), 0u)
        << bed_.feedback.status[0];
    ExpectRestored();
}

// A server that stops answering fails each read only once its wait is over:
// a report that went on reading would wait that long for every cell left.
TEST_F(ReportRunTest, AServerLostWhileCellsAreReadEndsTheRunWithItsError) {
    bool lost = false;
    int failedReads = 0;
    bed_.spy.onRead = [&](client::ContextHandle context, std::string_view object,
                          client::ReadKind kind, bool all, client::BufferHandle request,
                          int32_t& continuation, client::BufferHandle reply) {
        if (!lost)
            return bed_.spy.Inner().Read(context, object, kind, all, request, continuation, reply);
        ++failedReads;
        return client::Err::TransportFailure;
    };
    bed_.feedback.onEvent = [&](int) {
        if (run_.ReportRunning() && run_.Table().RowCount() == 3) lost = true;
    };
    ASSERT_TRUE(run_.Rpt_run(ByType("Corp", "*", {"CN", "Surname"}, true)));
    EXPECT_EQ(failedReads, 1);
    EXPECT_EQ(run_.LastResult(), client::Err::TransportFailure);
    EXPECT_EQ(run_.Table().RowCount(), 3u);  // what was found stays
    EXPECT_EQ(bed_.feedback.status[0].rfind("The directory returned error", 0), 0u)
        << bed_.feedback.status[0];
    EXPECT_FALSE(run_.CancelRequested());
    ExpectRestored();

    // One object's report stops at the first attribute it could not read.
    lost = false;
    failedReads = 0;
    bed_.feedback.onEvent = [&](int) {
        if (run_.ReportRunning() && run_.Table().RowCount() > 1) lost = true;
    };
    ReportSpec spec;
    spec.Kind = ReportKind::ByObject;
    spec.TreeName = "CORP";
    spec.Container = "Sales.Corp";
    spec.ObjectName = "jdoe";
    spec.ObjectClass = "User";
    ASSERT_TRUE(run_.Rpt_run(spec));
    EXPECT_EQ(failedReads, 1);
    EXPECT_EQ(run_.LastResult(), client::Err::TransportFailure);
    ExpectRestored();

    // A report of entry information alone ends the same way.
    lost = false;
    failedReads = 0;
    bed_.spy.onReadEntryInfo = [&](client::ContextHandle context, std::string_view object,
                                   size_t room, client::EntryInfo& info) {
        if (!lost) return bed_.spy.Inner().ReadEntryInfo(context, object, room, info);
        ++failedReads;
        return client::Err::TransportFailure;
    };
    bed_.feedback.onEvent = [&](int) {
        if (run_.ReportRunning() && run_.Table().RowCount() == 3) lost = true;
    };
    ASSERT_TRUE(run_.Rpt_run(ByType("Corp", "*", {"DSI: Time Created"}, true)));
    EXPECT_EQ(failedReads, 1);
    EXPECT_EQ(run_.LastResult(), client::Err::TransportFailure);
    ExpectRestored();
}

TEST(GridResize, FitsColumnsToTheClientWidth) {
    const GridGeometry geometry{400, 1, 0, 0};
    // Room left: shared out over every column but the key column.
    EXPECT_EQ(FitColumnWidths({50, 50, 50}, geometry), (std::vector<int>{50, 132, 132}));
    // Far too wide: the key column is cut to half the client, every other
    // column gets an equal share.
    EXPECT_EQ(FitColumnWidths({300, 300, 300}, geometry), (std::vector<int>{200, 133, 133}));
    // A long key (a full name) leaves the other columns the other half,
    // which they share; alone it keeps its width and scrolls.
    EXPECT_EQ(FitColumnWidths({1500, 50, 50}, geometry), (std::vector<int>{200, 82, 82}));
    EXPECT_EQ(FitColumnWidths({1500}, geometry), (std::vector<int>{1500}));
    // More columns than pixels: each keeps the narrowest start width.
    GridGeometry narrow = geometry;
    narrow.minWidth = 24;
    EXPECT_EQ(FitColumnWidths(std::vector<int>(1000, 300), narrow).back(), 24);
    // Wider than the client, not by 30 %: unchanged.
    EXPECT_EQ(FitColumnWidths({150, 350}, geometry), (std::vector<int>{150, 350}));
    EXPECT_TRUE(FitColumnWidths({}, geometry).empty());

    ResultTable table(2, 2);
    table.SetCell(0, 0, "DN");
    table.SetCell(1, 0, "Description");
    table.SetCell(1, 1, "ab\r\nabcdefghijklmnopqrst");
    const auto tenPerCharacter = [](std::string_view text) {
        return static_cast<int>(text.size()) * 10;
    };
    // Widest line + padding, at least the minimum; then 1000 - 242 = 758 / 2 = 379 more.
    EXPECT_EQ(GridResize(table, tenPerCharacter, GridGeometry{1000, 1, 10, 30}),
              (std::vector<int>{30, 210 + 379}));
}

}  // namespace
}  // namespace vellrun::report
