#pragma once

#include "report/ResultTable.h"

#include <QAbstractTableModel>

namespace vellrun::ui {

// The results grid's model: reads the core's ResultTable in place (row 0 is
// the horizontal header, rows 1.. the model's rows; no cell is copied). The
// table grows behind the model's back while a report runs, so the model only
// shows the rows it has announced: Sync() announces the rows added since the
// last call in one notification and repaints the last row it had shown
// (whose cells may have been filled after it was announced). Reset() follows
// any other change (a new run, a sort, removed rows).
//
// Owned by the main window; it borrows the table, which outlives it.
class ResultTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ResultTableModel(const report::ResultTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void Sync();
    void Reset();
    // One cell of the table (column, row) got a new text.
    void CellChanged(size_t column, size_t row);

    // The table's (column, row) of a model index.
    static size_t TableRow(const QModelIndex& index) {
        return static_cast<size_t>(index.row()) + 1;
    }

private:
    const report::ResultTable& table_;
    int shownRows_ = 0;
    int shownColumns_ = 0;
};

}  // namespace vellrun::ui
