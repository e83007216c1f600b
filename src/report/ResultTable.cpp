#include "report/ResultTable.h"

namespace vellrun::report {

namespace {
const std::string kEmpty;
}

void ResultTable::Resize(size_t columns, size_t rows) {
    cells_.resize(rows);
    for (auto& row : cells_)
        row.resize(columns);
    columns_ = columns;
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
