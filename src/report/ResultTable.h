#pragma once

// The results table: row 0 holds the column headers, column 0 the key
// (object, attribute or class name); every cell is text, and several values
// in one cell are lines joined by CR LF. The report run fills it, the table
// operations and the exports read and reorder it, and the desktop shows it
// through a model over this very object (never a copy).
//
// Cells are addressed (column, row) from 0. Owned by the report state of a
// front end; not thread-safe.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::report {

class ResultTable {
public:
    ResultTable() = default;
    ResultTable(size_t columns, size_t rows) { Resize(columns, rows); }

    size_t RowCount() const { return cells_.size(); }
    size_t ColCount() const { return columns_; }
    // The number of header rows at the top and key columns at the left.
    size_t FixedRows() const { return fixedRows_; }
    size_t FixedCols() const { return fixedCols_; }
    void SetFixedRows(size_t rows) { fixedRows_ = rows; }
    void SetFixedCols(size_t columns) { fixedCols_ = columns; }

    // Keeps the cells that stay inside the new size; new cells are empty.
    void Resize(size_t columns, size_t rows);
    void SetRowCount(size_t rows) { Resize(columns_, rows); }
    void SetColCount(size_t columns) { Resize(columns, cells_.size()); }

    // Reading outside the table gives an empty text; writing outside it does nothing.
    const std::string& Cell(size_t column, size_t row) const;
    void SetCell(size_t column, size_t row, std::string text);

    // The cells of one row, left to right.
    const std::vector<std::string>& Row(size_t row) const { return cells_.at(row); }
    std::vector<std::string>& MutableRow(size_t row) { return cells_.at(row); }
    // Rows in order; the table operations reorder and remove whole rows through
    // it. Every row keeps ColCount() cells.
    std::vector<std::vector<std::string>>& Rows() { return cells_; }
    const std::vector<std::vector<std::string>>& Rows() const { return cells_; }

private:
    size_t columns_ = 0;
    size_t fixedRows_ = 0;
    size_t fixedCols_ = 0;
    std::vector<std::vector<std::string>> cells_;  // [row][column]
};

}  // namespace vellrun::report
