#include "ui/ResultTableModel.h"

namespace vellrun::ui {

namespace {

// A cell's lines are joined by CR LF; the view breaks lines at LF alone.
QString CellText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.remove(QLatin1Char('\r'));
    return shown;
}

int TableDataRows(const report::ResultTable& table) {
    return table.RowCount() > 0 ? static_cast<int>(table.RowCount() - 1) : 0;
}

}  // namespace

ResultTableModel::ResultTableModel(const report::ResultTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {
    Reset();
}

int ResultTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int ResultTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownColumns_;
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return CellText(table_.Cell(static_cast<size_t>(index.column()), TableRow(index)));
    return {};
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal)
        return CellText(table_.Cell(static_cast<size_t>(section), 0));
    return section + 1;
}

void ResultTableModel::Sync() {
    const int columns = static_cast<int>(table_.ColCount());
    if (columns != shownColumns_) {
        Reset();
        return;
    }
    const int rows = TableDataRows(table_);
    if (rows < shownRows_) {
        Reset();
        return;
    }
    if (shownRows_ > 0 && columns > 0)
        emit dataChanged(index(shownRows_ - 1, 0), index(shownRows_ - 1, columns - 1));
    if (rows > shownRows_) {
        beginInsertRows(QModelIndex(), shownRows_, rows - 1);
        shownRows_ = rows;
        endInsertRows();
    }
    emit headerDataChanged(Qt::Horizontal, 0, columns > 0 ? columns - 1 : 0);
}

void ResultTableModel::Reset() {
    beginResetModel();
    shownRows_ = TableDataRows(table_);
    shownColumns_ = static_cast<int>(table_.ColCount());
    endResetModel();
}

void ResultTableModel::CellChanged(size_t column, size_t row) {
    if (row == 0 || row > static_cast<size_t>(shownRows_)) return;
    const QModelIndex cell = index(static_cast<int>(row - 1), static_cast<int>(column));
    if (cell.isValid()) emit dataChanged(cell, cell);
}

}  // namespace vellrun::ui
