#pragma once

#include <QTableView>

namespace vellrun::ui {

// The results grid: a table view whose key column (column 0: the object,
// attribute or class name) stays in place while the other columns scroll
// sideways, as the header row does while the rows scroll. The key column is a
// second view laid over the left edge that shares the model and the selection,
// so a click, a double click or a right click on it acts like one on the grid.
// Both views show the grid's font, and their rows are one line of it high
// (GridRowHeight) whenever the model is reset or the font changes; the owner
// grows the rows with several lines after that. Return or
// Enter on a cell chooses it as a double click does (CellChosenWithKeys).
//
// Owned by the main window like any child widget; holds no data of its own.
class ResultsGrid final : public QTableView {
    Q_OBJECT

public:
    explicit ResultsGrid(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    QTableView* KeyColumn() const { return keyColumn_; }

signals:
    // Return or Enter on the current cell. The view's own activated comes
    // from the mouse too: with a double click, and on some styles with a
    // single click, which must not open what a double click opens.
    void CellChosenWithKeys(const QModelIndex& index);

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

private:
    void UpdateKeyColumn();
    void ResetRowHeights();
    void FitRowsToFont();
    void PlaceKeyColumn();

    QTableView* keyColumn_;
    bool handlingKey_ = false;
};

}  // namespace vellrun::ui
