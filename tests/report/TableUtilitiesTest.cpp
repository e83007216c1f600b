// The shared table and text utilities: sorting rows, trimming tables, merging
// name lists, replacing and splitting text.

#include "report/TableUtilities.h"
#include "support/CountingRunFeedback.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::report {
namespace {

using report::ResultTable;

// A table with one header row: column 0 the keys, column 1 a row marker.
ResultTable KeyedTable(const std::vector<std::string>& keys) {
    ResultTable table(2, keys.size() + 1);
    table.SetFixedRows(1);
    table.SetCell(0, 0, "Key");
    table.SetCell(1, 0, "Row");
    for (size_t i = 0; i < keys.size(); ++i) {
        table.SetCell(0, i + 1, keys[i]);
        table.SetCell(1, i + 1, std::to_string(i + 1));
    }
    return table;
}

std::vector<std::string> Column(const ResultTable& table, size_t column) {
    std::vector<std::string> texts;
    for (size_t row = 0; row < table.RowCount(); ++row)
        texts.push_back(table.Cell(column, row));
    return texts;
}

TEST(SortTableByColumn, SortsAsTextIgnoringCaseAndKeepsEqualRowsInOrder) {
    const platform::TextCollator collator("en_US");
    ResultTable table = KeyedTable({"b", "A", "a", "10", "9"});
    SortTableByColumn(table, 0, collator);
    EXPECT_EQ(Column(table, 0), (std::vector<std::string>{"Key", "10", "9", "A", "a", "b"}));
    // Whole rows move; A and a compare equal and stay in their old order.
    EXPECT_EQ(Column(table, 1), (std::vector<std::string>{"Row", "4", "5", "2", "3", "1"}));

    ResultTable same = KeyedTable({"x", "Same", "SAME", "a", "same"});
    SortTableByColumn(same, 0, collator);
    EXPECT_EQ(Column(same, 1), (std::vector<std::string>{"Row", "4", "2", "3", "5", "1"}));
}

TEST(SortTableByColumn, NeverChangesCellText) {
    // A cell holding the text "%*%" or a line break comes back exactly.
    const platform::TextCollator collator("en_US");
    ResultTable table = KeyedTable({"z", "50%*%off", "m\r\nline", "a"});
    table.SetCell(1, 2, "x%*%y");
    SortTableByColumn(table, 0, collator);
    EXPECT_EQ(Column(table, 0),
              (std::vector<std::string>{"Key", "50%*%off", "a", "m\r\nline", "z"}));
    EXPECT_EQ(table.Cell(1, 1), "x%*%y");
}

TEST(SortTableByColumn, KeepsHeadersAndHonoursTheColumnBound) {
    const platform::TextCollator collator("en_US");
    ResultTable single(1, 3);
    single.SetFixedRows(1);
    single.SetCell(0, 0, "zzz header");
    single.SetCell(0, 1, "b");
    single.SetCell(0, 2, "a");
    SortTableByColumn(single, 0, collator);
    EXPECT_EQ(Column(single, 0), (std::vector<std::string>{"zzz header", "a", "b"}));

    ResultTable wide(101, 3);
    wide.SetFixedRows(1);
    wide.SetCell(0, 1, "b");
    wide.SetCell(0, 2, "a");
    SortTableByColumn(wide, 0, collator);
    EXPECT_EQ(wide.Cell(0, 1), "b");

    ResultTable table = KeyedTable({"b", "a"});
    SortTableByColumn(table, 101, collator);
    SortTableByColumn(table, 2, collator);  // outside the table
    EXPECT_EQ(Column(table, 0), (std::vector<std::string>{"Key", "b", "a"}));
}

TEST(SortTableByColumn, ShowsTheBusyCursorWhileSorting) {
    const platform::TextCollator collator("en_US");
    testing::CountingRunFeedback feedback;
    ResultTable table = KeyedTable({"b", "a"});
    SortTableByColumn(table, 1, collator, &feedback);
    EXPECT_EQ(feedback.pushes, 1);
    EXPECT_EQ(feedback.pops, 1);
}

// A table far larger than one step of the sort: the window is let through
// while it runs, a cancel leaves every row where it was, and a sort let run
// (the run's own sort too, which no cancel stops) gives the stable order of
// the collator's keys.
TEST(SortTableByColumn, ALargeSortLetsTheWindowThroughAndStopsCleanly) {
    const platform::TextCollator collator("en_US");
    std::vector<std::string> keys;
    for (size_t i = 0; i < 50000; ++i) {
        static const char* kNames[] = {"anna", "Bert", "clara", "ANNA", "\u00c9mile", "bert"};
        keys.push_back(std::string(kNames[(i * 7919) % 6]) + std::to_string((i * 104729) % 997));
    }
    const ResultTable original = KeyedTable(keys);
    std::vector<size_t> order(keys.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return collator.SortKey(keys[a]) < collator.SortKey(keys[b]);
    });
    std::vector<std::string> expected{"Row"};
    for (const size_t i : order)
        expected.push_back(std::to_string(i + 1));

    testing::CountingRunFeedback feedback;
    feedback.cancelAtEvent = 3;
    ResultTable table = original;
    EXPECT_FALSE(SortTableByColumn(table, 0, collator, &feedback, SortStop::kOnCancel));
    EXPECT_EQ(feedback.events, 3);
    EXPECT_EQ(Column(table, 0), Column(original, 0));
    EXPECT_EQ(Column(table, 1), Column(original, 1));
    EXPECT_EQ(feedback.depth, 0);

    // A cancel left from earlier work does not count; the run's own sort
    // ignores one that comes while it sorts.
    for (const SortStop stop : {SortStop::kOnCancel, SortStop::kNever}) {
        feedback.Cancel().Set();
        feedback.events = 0;
        feedback.cancelAtEvent = stop == SortStop::kNever ? 2 : 0;
        table = original;
        EXPECT_TRUE(SortTableByColumn(table, 0, collator, &feedback, stop));
        EXPECT_GT(feedback.events, 5);
        EXPECT_EQ(Column(table, 1), expected);
    }
}

TEST(TableRows, DeleteAndClear) {
    ResultTable table = KeyedTable({"a", "b", "c"});
    DeleteTableRow(table, 2);
    DeleteTableRow(table, 7);
    EXPECT_EQ(Column(table, 0), (std::vector<std::string>{"Key", "a", "c"}));
    EXPECT_EQ(table.Row(2).size(), 2u);

    ClearTable(table);
    EXPECT_EQ(table.RowCount(), 3u);
    EXPECT_EQ(table.ColCount(), 2u);
    EXPECT_EQ(Column(table, 1), (std::vector<std::string>{"", "", ""}));
}

TEST(ListItems, RemoveAndAppendIgnoringCase) {
    platform::StringList list;
    for (const char* text : {"CN", "Surname", "cn", "Title"})
        list.Add(text);
    platform::StringList other;
    other.Add("cn");
    other.Add("TITLE");
    other.Add("missing");
    RemoveListItems(list, other);
    EXPECT_EQ(list.Joined(","), "Surname,cn");

    platform::StringList more;
    more.Add("SURNAME", 7);
    more.Add("Phone", 9);
    AppendListItems(list, more, false);
    EXPECT_EQ(list.Joined(","), "Surname,cn,Phone");
    EXPECT_EQ(list.Number(2), 9);
    AppendListItems(list, more, true);
    EXPECT_EQ(list.Joined(","), "Surname,cn,Phone,SURNAME,Phone");

    AppendListItems(list, list, true);  // a list merged with itself doubles once
    EXPECT_EQ(list.Count(), 10u);
    RemoveListItems(list, list);
    EXPECT_TRUE(list.Empty());
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanning) {
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa", true, true), "aaaaaa");
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa", false, true), "aaaa");
    EXPECT_EQ(ReplaceAll("Tom & Jerry & Co", "&", "&amp;", true, true), "Tom &amp; Jerry &amp; Co");
    EXPECT_EQ(ReplaceAll("CN=Ann,cn=Bob", "cn=", "", true, false), "Ann,Bob");
    EXPECT_EQ(ReplaceAll("CN=Ann,cn=Bob", "cn=", "", true, true), "CN=Ann,Bob");
    // Only a to z ignore case: other letters must match exactly.
    EXPECT_EQ(ReplaceAll("ÄBC äbc", "äb", "x", true, false), "ÄBC xc");
    EXPECT_EQ(ReplaceAll("text", "", "x", true, true), "text");
    EXPECT_EQ(ReplaceAll("text", "t", "t", true, true), "text");
    EXPECT_EQ(ReplaceAll("text", "q", "x", true, true), "text");
}

TEST(SplitAtFirst, DropsTheFirstSeparatorOnly) {
    EXPECT_EQ(SplitAtFirst("key=value=more", "="),
              std::make_pair(std::string("key"), std::string("value=more")));
    EXPECT_EQ(SplitAtFirst("plain", "="), std::make_pair(std::string("plain"), std::string()));
    EXPECT_EQ(SplitAtFirst("a: b", ": "), std::make_pair(std::string("a"), std::string("b")));
}

}  // namespace
}  // namespace vellrun::report
