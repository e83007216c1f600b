// TMainForm: the results grid and what the person does with the table —
// the pop-up menu, sorting, hiding empty fields, the selected cell's status
// texts, a report on the object in a cell, deleting an object, and the export.

#include "directory/DirectoryNames.h"
#include "exports/WorkbookExport.h"
#include "platform/BusyCursorScope.h"
#include "report/ReportRun.h"
#include "ui/ResultTableModel.h"
#include "ui/TMainForm.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextDocument>
#include <algorithm>
#include <ctime>

namespace vellrun::ui {

namespace {

size_t ColumnOf(const QModelIndex& index) {
    return static_cast<size_t>(index.column());
}

// A row's height in lines: its tallest cell's, at most 20.
int LinesOf(const std::vector<std::string>& row) {
    size_t lines = 1;
    for (const std::string& cell : row)
        lines =
            std::max(lines, static_cast<size_t>(std::count(cell.begin(), cell.end(), '\n')) + 1);
    return static_cast<int>(std::min<size_t>(lines, 20));
}

}  // namespace

void TMainForm::PopupResultsPopup(const QPoint& position) {
    PrepareResultsCommands();
    popupResults_->popup(gridResults_->viewport()->mapToGlobal(position));
}

void TMainForm::EnableResultsCommands(bool running) {
    const bool results = reportShown_ && !running;
    for (QAction* command : {actionClearEmptyFields_, popupHideEmptyFields_, actionStoreReportSpec_,
                             popupSortResults_->menuAction()})
        command->setEnabled(results);
    const bool exportable = results && run_.SaveEnabled();
    actionStoreResults_->setEnabled(exportable);
    popupExportResults_->menuAction()->setEnabled(exportable);
    // A saved report starts a run of its own: not while one goes.
    actionLoadReportSpec_->setEnabled(!running);
}

void TMainForm::PrepareResultsCommands() {
    EnableResultsCommands(run_.ReportRunning());
    const QModelIndex current = gridResults_->currentIndex();
    actionCellDetails_->setEnabled(current.isValid() && !run_.ReportRunning());
    const size_t column = current.isValid() ? ColumnOf(current) : 0;
    const size_t row = current.isValid() ? ResultTableModel::TableRow(current) : 0;
    const report::ResultsPopup popup = operations_.PreparePopup(column, row);
    actionReportOnSelectedObject_->setText(QString::fromStdString(popup.reportOnSelected.caption));
    actionReportOnSelectedObject_->setEnabled(current.isValid() && popup.reportOnSelected.enabled);
    popupSortResults_->clear();
    for (const report::PopupEntry& entry : popup.sortEntries) {
        QAction* item = popupSortResults_->addAction(QString::fromStdString(entry.caption));
        const int tag = entry.tag;
        connect(item, &QAction::triggered, this, [this, tag] { PopupSortResultsClick(tag); });
    }
}

void TMainForm::PopupSortResultsClick(int column) {
    if (run_.ReportRunning() || column < 0) return;
    platform::BusyCursorScope busy(access_.Feedback());
    // A stopped sort leaves the table and the grid as they were.
    operations_.SortByColumn(static_cast<size_t>(column), &sortProgress_);
}

void TMainForm::ActionClearEmptyFieldsClick() {
    if (run_.ReportRunning()) return;
    operations_.HideEmptyFields();
}

void TMainForm::GridResultsClick(const QModelIndex& index) {
    if (!index.isValid()) return;
    SetGridHint(operations_.CellHint(ColumnOf(index), ResultTableModel::TableRow(index)));
}

void TMainForm::SetGridHint(const std::string& text) {
    QString hint = QString::fromStdString(text);
    hint.remove(QLatin1Char('\r'));
    if (Qt::mightBeRichText(hint)) hint = Qt::convertFromPlainText(hint, Qt::WhiteSpacePre);
    gridResults_->setToolTip(hint);
}

directory::TTreeInfo* TMainForm::ResultsTree() const {
    directory::TTreeInfo* tree = run_.CurrentSpec().Tree;
    return tree != nullptr ? tree : currentTree_;
}

void TMainForm::GridResultsDblClick(const QModelIndex& index) {
    // A run that is still filling the grid is not held up by a dialog.
    if (!index.isValid() || run_.ReportRunning()) return;
    const report::CellMeaning meaning =
        operations_.MeaningOf(ColumnOf(index), ResultTableModel::TableRow(index));
    if (meaning.object.empty() || meaning.attribute.empty()) return;
    const directory::TTreeInfo* tree = ResultsTree();
    if (!attrDetailOpener_ || tree == nullptr) {
        access_.Messages().InfoBox(
            operations_.CellHint(ColumnOf(index), ResultTableModel::TableRow(index)));
        return;
    }
    values::AttrDetailState state;
    state.context = tree->objectContext;
    // The tree's context stands on the report's container: a row named
    // without its leading dot (a saved report's container spelled so) is
    // read from the top as the run read it.
    state.objectName = directory::DSFullName(meaning.object);
    state.objectClass = meaning.objectClass;
    state.attributeName = meaning.attribute;
    state.valueText = meaning.value;
    state.TakeSettings(settings_);
    // The value's cell, also when a single-object report's name was chosen.
    const size_t column = meaning.valueColumn;
    const size_t row = ResultTableModel::TableRow(index);
    attrDetailOpener_(state, [this, state, column, row] {
        // The cell shows what the directory holds now, read as the run reads it.
        run_.Table().SetCell(
            column, row,
            reader_.GetAttrValue(state.context, state.objectName, state.attributeName));
        resultsModel_->CellChanged(column, row);
        // A value that gained or lost lines changes its row's height, and
        // the status bar shows the selected cell's new text.
        FitRowHeight(row);
        GridResultsSelectCell(gridResults_->currentIndex());
    });
}

void TMainForm::ResultsTableChanged() {
    const QModelIndex before = gridResults_->currentIndex();
    const int row = before.row();
    const int column = before.column();
    resultsModel_->Reset();
    if (!before.isValid() || resultsModel_->rowCount() == 0 || resultsModel_->columnCount() == 0)
        return;
    const QModelIndex after =
        resultsModel_->index(std::min(row, resultsModel_->rowCount() - 1),
                             std::min(column, resultsModel_->columnCount() - 1));
    gridResults_->setCurrentIndex(after);
    GridResultsSelectCell(after);
}

void TMainForm::GridResultsSelectCell(const QModelIndex& current) {
    if (!current.isValid() || run_.ReportRunning()) return;
    operations_.ShowSelectedCell(ColumnOf(current), ResultTableModel::TableRow(current));
}

void TMainForm::FitRowHeights() {
    // After a reset of the model every row is one line high (ResultsGrid);
    // only rows with a multi-line cell grow, so a large table is not
    // measured row by row.
    const report::ResultTable& table = run_.Table();
    // While the grid paints, every resized row makes both headers place all
    // rows again; with painting held the rows are placed once at the end.
    gridResults_->setUpdatesEnabled(false);
    for (size_t r = 1; r < table.RowCount(); ++r)
        if (LinesOf(table.Row(r)) > 1) FitRowHeight(r);
    gridResults_->setUpdatesEnabled(true);
}

void TMainForm::FitRowHeight(size_t row) {
    const report::ResultTable& table = run_.Table();
    QHeaderView* rows = gridResults_->verticalHeader();
    if (row == 0 || row >= table.RowCount() || static_cast<int>(row) > rows->count()) return;
    // A row of one line is as high as the header makes every row.
    const int lineHeight = gridResults_->fontMetrics().lineSpacing();
    const int padding = rows->defaultSectionSize() - lineHeight;
    rows->resizeSection(static_cast<int>(row - 1), LinesOf(table.Row(row)) * lineHeight + padding);
}

void TMainForm::GridResize() {
    const QFontMetrics metrics = gridResults_->fontMetrics();
    report::GridGeometry geometry;
    geometry.clientWidth = gridResults_->viewport()->width();
    geometry.lineWidth = gridResults_->showGrid() ? 1 : 0;
    geometry.padding = 2 * metrics.averageCharWidth() + 4;
    // Column widths follow the widest line; a long table is measured on its
    // first rows, which are what the person sees first.
    constexpr size_t kMeasuredRows = 2000;
    const report::ResultTable& table = run_.Table();
    report::ResultTable sample;
    const report::ResultTable* measured = &table;
    if (table.RowCount() > kMeasuredRows) {
        sample.Resize(table.ColCount(), kMeasuredRows);
        for (size_t r = 0; r < kMeasuredRows; ++r)
            sample.MutableRow(r) = table.Row(r);
        measured = &sample;
    }
    const std::vector<int> widths = report::GridResize(
        *measured,
        [&metrics](std::string_view text) {
            return metrics.horizontalAdvance(
                QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        },
        geometry);
    QHeaderView* header = gridResults_->horizontalHeader();
    for (size_t c = 0; c < widths.size() && c < static_cast<size_t>(header->count()); ++c)
        header->resizeSection(static_cast<int>(c), widths[c]);
}

void TMainForm::ActionReportOnSelectedObjectExecute() {
    const QModelIndex current = gridResults_->currentIndex();
    const directory::TTreeInfo* tree = ResultsTree();
    if (!current.isValid() || tree == nullptr) return;
    operations_.ReportOnSelectedObject(ColumnOf(current), ResultTableModel::TableRow(current),
                                       tree->objectContext);
}

void TMainForm::ActionObjectDeleteExecute() {
    if (run_.ReportRunning()) return;
    const auto entry = SelectedObjectEntry();
    // The command (also in the Edit menu, with the Results tab in front)
    // deletes the object list's selection: that list is shown, its line in
    // view, before the question, so the person sees what goes.
    pageControl_->setCurrentWidget(tabSheetSelObj_);
    if (entry) listBoxObjects_->scrollToItem(listBoxObjects_->currentItem());
    const client::ContextHandle context =
        currentTree_ != nullptr ? currentTree_->objectContext : client::ContextHandle{};
    const std::string fullName =
        entry ? directory::DSFullName(access_.DSResolveName(context, entry->objectName))
              : std::string();
    if (operations_.DeleteObject(entry, context) != report::DeleteOutcome::Deleted) return;
    RemoveDeletedObject(fullName);
}

void TMainForm::RemoveDeletedObject(const std::string& fullName) {
    // The object leaves the list, the tree and the grid at once; a listing
    // that still showed it would read as a delete that did not happen.
    dsTree_->RemoveNode(currentTree_, fullName);
    if (QListWidgetItem* item = listBoxObjects_->currentItem()) {
        if (auto index = objectLines_.IndexOf(item->text().toStdString()))
            objectLines_.Delete(*index);
        delete listBoxObjects_->takeItem(listBoxObjects_->row(item));
    }
    report::ResultTable& table = run_.Table();
    if (table.RowCount() <= 1) return;
    // Rows name objects as the report's container was spelled, with or
    // without the leading dot; the deleted object's name has it.
    const auto sameObject = [&fullName](const std::string& name) {
        return platform::StringList::CompareText(directory::DSFullName(name), fullName) == 0;
    };
    auto& rows = table.Rows();
    if (run_.CurrentSpec().Kind == report::ReportKind::ByObject) {
        if (sameObject(operations_.MeaningOf(0, 0).object)) table.SetRowCount(1);
    } else {
        rows.erase(std::remove_if(rows.begin() + 1, rows.end(),
                                  [&sameObject](const std::vector<std::string>& row) {
                                      return !row.empty() && sameObject(row[0]);
                                  }),
                   rows.end());
    }
    resultsModel_->Reset();
}

void TMainForm::ActionStoreResultsExecute() {
    // Before the first report there is no table to export, and the
    // clipboard would be emptied for nothing.
    if (run_.ReportRunning() || !reportShown_) return;
    run_.CurrentSpec().Output =
        static_cast<report::OutputType>(std::max(outputTypeButtons_->checkedId(), 0));
    ExportResults();
}

void TMainForm::PopupSaveClick(int outputType) {
    if (run_.ReportRunning() || !reportShown_) return;
    if (QAbstractButton* button = outputTypeButtons_->button(outputType)) button->setChecked(true);
    ActionStoreResultsExecute();
}

bool TMainForm::ExportResults() {
    report::ReportSpec& spec = run_.CurrentSpec();
    exports::ExportTargets targets{run_.ReportName(), spec.OutputFile, run_.ReportPath()};
    exports::ExportServices services{
        access_.Messages(), desktop_, collator_,
        platform::LocalTimeOf(static_cast<uint32_t>(std::time(nullptr))),
        exports::DefaultWorkbookFolder()};
    services.progress = &exportProgress_;
    const exports::GridExportResult result =
        exports::ExportResults(run_.Table(), spec.Output, targets, settings_, services);
    run_.SetReportPath(targets.reportPath.string());
    spec.OutputFile = targets.outputFile.string();
    // A clipboard that could not take the text, like a failed workbook, is
    // an export that failed (an unattended run ends with status 1).
    return result == exports::GridExportResult::Written ||
           result == exports::GridExportResult::Clipboard ||
           result == exports::GridExportResult::Workbook;
}

}  // namespace vellrun::ui
