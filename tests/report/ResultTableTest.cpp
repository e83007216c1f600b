// The results table keeps its cells through every change of size.

#include "report/ResultTable.h"

#include <gtest/gtest.h>

namespace vellrun::report {
namespace {

TEST(ResultTable, GrowingAndShrinkingKeepsTheCellsInside) {
    ResultTable table(2, 1);
    table.SetCell(0, 0, "DN");
    table.SetCell(1, 0, "CN");
    for (size_t r = 1; r <= 3; ++r) {
        table.SetRowCount(table.RowCount() + 1);
        table.SetCell(0, r, "row " + std::to_string(r));
    }
    EXPECT_EQ(table.RowCount(), 4u);
    EXPECT_EQ(table.Cell(1, 3), "");
    table.SetColCount(3);
    EXPECT_EQ(table.Row(2).size(), 3u);
    EXPECT_EQ(table.Cell(0, 2), "row 2");
    table.SetCell(2, 3, "new");
    table.SetRowCount(5);
    EXPECT_EQ(table.Row(4).size(), 3u);
    table.SetColCount(1);
    EXPECT_EQ(table.Cell(1, 0), "");  // outside the table now
    EXPECT_EQ(table.Cell(0, 3), "row 3");
    table.SetCell(5, 5, "ignored");
    EXPECT_EQ(table.RowCount(), 5u);
    // Several rows at once: each is the table's width, every cell empty.
    table.SetRowCount(9);
    for (size_t r = 5; r < 9; ++r) {
        EXPECT_EQ(table.Row(r).size(), 1u);
        EXPECT_EQ(table.Cell(0, r), "");
    }
    EXPECT_EQ(table.Cell(0, 3), "row 3");
    table.SetRowCount(0);
    table.Resize(2, 2);
    EXPECT_EQ(table.Row(1).size(), 2u);
    EXPECT_EQ(table.Cell(0, 1), "");
}

}  // namespace
}  // namespace vellrun::report
