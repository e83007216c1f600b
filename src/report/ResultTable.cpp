#include "report/ResultTable.h"

namespace vellrun::report {

namespace {
const std::string kEmpty;
}

void ResultTable::Resize(size_t columns, size_t rows) {
    // Rows are added one at a time while a report runs: only a change of the
    // column count touches the rows already there.
    if (columns != columns_) {
        for (auto& row : cells_)
            row.resize(columns);
        columns_ = columns;
    }
    if (rows <= cells_.size()) {
        cells_.resize(rows);
        return;
    }
    // Each new row is made in place, one allocation for its cells, rather
    // than copied from a row made for the purpose.
    while (cells_.size() < rows)
        cells_.emplace_back(columns);
}

const std::string& ResultTable::Cell(size_t column, size_t row) const {
    if (row >= cells_.size() || column >= columns_) return kEmpty;
    return cells_[row][column];
}

void ResultTable::SetCell(size_t column, size_t row, std::string text) {
    if (row >= cells_.size() || column >= columns_) return;
    cells_[row][column] = std::move(text);
}

}  // namespace vellrun::report
