#include "ui/ResultsGrid.h"

#include "ui/FontAction.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScrollBar>

namespace vellrun::ui {

ResultsGrid::ResultsGrid(QWidget* parent) : QTableView(parent), keyColumn_(new QTableView(this)) {
    keyColumn_->setObjectName(QStringLiteral("GridResultsKeyColumn"));
    keyColumn_->setAccessibleName(QStringLiteral("Results key column"));
    keyColumn_->setFocusPolicy(Qt::NoFocus);
    keyColumn_->verticalHeader()->hide();
    keyColumn_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    keyColumn_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    keyColumn_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    keyColumn_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    keyColumn_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    keyColumn_->setWordWrap(false);
    keyColumn_->setTabKeyNavigation(false);
    keyColumn_->setContextMenuPolicy(Qt::CustomContextMenu);
    // No frame, and no style sheet for it: a widget with a style sheet of its
    // own no longer takes the font of the grid it sits in.
    keyColumn_->setFrameShape(QFrame::NoFrame);
    viewport()->stackUnder(keyColumn_);
    keyColumn_->hide();
    FitRowsToFont();

    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int size) {
                if (logical != 0) return;
                keyColumn_->setColumnWidth(0, size);
                PlaceKeyColumn();
            });
    connect(verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int size) { keyColumn_->setRowHeight(logical, size); });
    connect(keyColumn_->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, keyColumn_->verticalScrollBar(),
            &QAbstractSlider::setValue);
    // The key column is part of the grid for the person.
    connect(keyColumn_, &QTableView::clicked, this, &QTableView::clicked);
    connect(keyColumn_, &QTableView::doubleClicked, this, &QTableView::doubleClicked);
    connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (handlingKey_) emit CellChosenWithKeys(index);
    });
    connect(keyColumn_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        emit customContextMenuRequested(
            viewport()->mapFromGlobal(keyColumn_->viewport()->mapToGlobal(at)));
    });
}

void ResultsGrid::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    keyColumn_->setModel(model);
    keyColumn_->setSelectionModel(selectionModel());
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        ResetRowHeights();
        UpdateKeyColumn();
    });
    connect(model, &QAbstractItemModel::columnsInserted, this, &ResultsGrid::UpdateKeyColumn);
    ResetRowHeights();
    UpdateKeyColumn();
}

void ResultsGrid::ResetRowHeights() {
    // A header keeps its sections' sizes through a reset of the model, so
    // the rows of the table shown before would lend their heights to the
    // rows now in their places. Both views start again from the default
    // height in one pass each; rows that need more are grown afterwards,
    // and each growth reaches the key column as a resize.
    const int height = verticalHeader()->defaultSectionSize();
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    verticalHeader()->setDefaultSectionSize(height);
    keyColumn_->verticalHeader()->setDefaultSectionSize(height);
    setUpdatesEnabled(updates);
}

void ResultsGrid::FitRowsToFont() {
    // The headers' own minimum follows their font and style, not the rows'
    // font: both views get the same minimum, so that a row is as high in
    // the key column as in the grid.
    const int height = GridRowHeight(font());
    for (QHeaderView* rows : {verticalHeader(), keyColumn_->verticalHeader()}) {
        rows->setMinimumSectionSize(height);
        rows->setDefaultSectionSize(height);
    }
}

void ResultsGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    // The key column is a child and has followed already; its header row
    // may now be higher than before.
    FitRowsToFont();
    PlaceKeyColumn();
}

void ResultsGrid::UpdateKeyColumn() {
    QAbstractItemModel* shown = model();
    const int columns = shown != nullptr ? shown->columnCount() : 0;
    for (int c = 1; c < columns; ++c)
        keyColumn_->setColumnHidden(c, true);
    keyColumn_->setSelectionBehavior(selectionBehavior());
    keyColumn_->setSelectionMode(selectionMode());
    // With one column there is nothing to scroll past it.
    keyColumn_->setVisible(columns > 1);
    if (columns > 1) keyColumn_->setColumnWidth(0, columnWidth(0));
    PlaceKeyColumn();
}

void ResultsGrid::PlaceKeyColumn() {
    keyColumn_->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    keyColumn_->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), columnWidth(0),
                            viewport()->height() + horizontalHeader()->height());
}

void ResultsGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    PlaceKeyColumn();
}

void ResultsGrid::updateGeometries() {
    QTableView::updateGeometries();
    PlaceKeyColumn();
}

QModelIndex ResultsGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    // Moving left to a cell hidden under the key column scrolls it into view.
    if (cursorAction == MoveLeft && current.column() > 0 && keyColumn_->isVisible() &&
        visualRect(current).topLeft().x() < keyColumn_->columnWidth(0)) {
        const int newValue = horizontalScrollBar()->value() + visualRect(current).topLeft().x() -
                             keyColumn_->columnWidth(0);
        horizontalScrollBar()->setValue(newValue);
    }
    return current;
}

void ResultsGrid::keyPressEvent(QKeyEvent* event) {
    const QScopedValueRollback handling(handlingKey_, true);
    QTableView::keyPressEvent(event);
}

void ResultsGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (index.column() > 0 || !keyColumn_->isVisible()) QTableView::scrollTo(index, hint);
}

}  // namespace vellrun::ui
