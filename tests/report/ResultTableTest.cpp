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
}

}  // namespace
}  // namespace vellrun::report
