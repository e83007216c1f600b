// TMainForm: starting runs — by type, on one object, on the schema, from a
// saved report — and storing the current report as a saved report.

#include "directory/DirectoryNames.h"
#include "report/CannedReport.h"
#include "report/ReportStart.h"
#include "report/SavedReport.h"
#include "report/SchemaReports.h"
#include "report/TreeInformation.h"
#include "ui/ResultTableModel.h"
#include "ui/TMainForm.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

namespace vellrun::ui {

namespace {

constexpr int kRowsInterval = 100;  // ms between two announcements of new rows

}  // namespace

void TMainForm::HookRun() {
    rowsTimer_ = new QTimer(this);
    rowsTimer_->setInterval(kRowsInterval);
    connect(rowsTimer_, &QTimer::timeout, resultsModel_, &ResultTableModel::Sync);
    report::ReportRun::Hooks& hooks = run_.RunHooks();
    // Escape cancels a run wherever the focus is in the window; dialogs,
    // windows of their own, keep their Escape.
    cancelShortcut_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancelShortcut_->setObjectName(QStringLiteral("CancelRunShortcut"));
    cancelShortcut_->setEnabled(false);
    connect(cancelShortcut_, &QShortcut::activated, this, [this] {
        if (run_.ReportRunning()) run_.RequestCancel();
    });
    hooks.runStarted = [this](const report::ReportSpec& spec) {
        if (options_.startCancel != nullptr && options_.startCancel->IsSet()) run_.RequestCancel();
        ShowRunCancels(true);
        reportShown_ = true;
        EnableResultsCommands(true);
        pageControl_->setTabVisible(pageControl_->indexOf(tabSheetResults_), true);
        pageControl_->setCurrentWidget(tabSheetResults_);
        if (QAbstractButton* button = outputTypeButtons_->button(static_cast<int>(spec.Output)))
            button->setChecked(true);
        buttonSave_->setEnabled(false);
        // Until a cell is clicked, the grid's hint says what the report is of.
        if (spec.Kind == report::ReportKind::ByObject) SetGridHint(spec.ObjectName);
        if (spec.Kind == report::ReportKind::ByType) SetGridHint(spec.ObjectClass);
        resultsModel_->Reset();
        // The new report opens at its first row and column, wherever the
        // last one was scrolled to; the key column follows the grid's rows.
        gridResults_->verticalScrollBar()->setValue(0);
        gridResults_->horizontalScrollBar()->setValue(0);
        rowsTimer_->start();
    };
    hooks.exportAtOnce = [this](report::ReportSpec& current) { ExportAtOnce(current); };
    hooks.fitColumns = [this] {
        rowsTimer_->stop();
        // The tail may have sorted the rows: one reset instead of a last sync
        // (which fits the row heights).
        resultsModel_->Reset();
        GridResize();
        buttonSave_->setEnabled(run_.SaveEnabled());
        // The table is whole: its commands are offered from now on (the
        // run's last events still find them refused by the run).
        EnableResultsCommands(false);
        ShowRunCancels(false);
    };
    hooks.statusLayoutChanged = [this](const report::StatusLayout& layout) {
        ApplyStatusLayout(layout);
    };
}

bool TMainForm::LetThroughWhileWaiting(QObject* receiver, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: return static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        case QEvent::Shortcut:
            return static_cast<QShortcutEvent*>(event)->key() == QKeySequence(Qt::Key_Escape);
        default: break;
    }
    // Both run buttons say Cancel while a report runs.
    if (run_.ReportRunning() && (receiver == buttonRun_ || receiver == bitBtn1_)) return true;
    QTreeWidget* view = dsTree_->TreeView();
    if (dsTree_->Busy() && event->type() == QEvent::MouseButtonPress &&
        receiver == view->viewport() &&
        view->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint()) != nullptr) {
        dsTree_->SearchCancel();
    }
    return false;
}

void TMainForm::ShowRunCancels(bool running) {
    cancelShortcut_->setEnabled(running);
    // While a run goes, both run buttons stop it (a report by type at its
    // next entry, any run at a wait for the server); their hints and
    // descriptions say so, and the Results tab's button says Cancel. The
    // Multi-Object tab's button gets its caption from the command that
    // started the run.
    bitBtn1_->setText(
        QString::fromUtf8(running ? report::kRefreshCancelCaption : report::kRefreshCaption));
    const QString hint = running ? QStringLiteral("Cancel the running report (Esc)")
                                 : QStringLiteral("Start scanning for the selected class");
    for (QPushButton* button : {buttonRun_, bitBtn1_}) {
        button->setToolTip(hint);
        button->setStatusTip(hint);
        button->setAccessibleDescription(running ? hint : QString());
    }
}

namespace {

// Whether two sets of choices make the same report (the output type aside).
bool SameReport(const report::ByTypeChoices& a, const report::ByTypeChoices& b) {
    return a.treeName == b.treeName && a.container == b.container &&
           platform::StringList::CompareText(a.objectClass, b.objectClass) == 0 &&
           a.attributes == b.attributes && a.recursive == b.recursive && a.filtered == b.filtered &&
           a.filters == b.filters;
}

}  // namespace

report::ByTypeChoices TMainForm::ChoicesFromControls() const {
    report::ByTypeChoices choices;
    choices.treeName = GetCurrentTree();
    choices.container = currentContainer_;
    if (QListWidgetItem* item = listObjType_->currentItem())
        choices.objectClass = item->text().toStdString();
    choices.attributes = AttributesInColumnOrder();
    choices.recursive = checkBoxRecurse_->isChecked();
    choices.output = static_cast<report::OutputType>(std::max(outputTypeButtons_->checkedId(), 0));
    choices.filtered = checkBoxFilter_->isChecked();
    choices.filters = FilterRowsFromControls();
    return choices;
}

void TMainForm::ShowSavedReport(const report::ReportSpec& spec) {
    ShowReportChoices(spec);
    savedChoices_ = ChoicesFromControls();
    // Before the window first shows, the type list is not filled yet: the
    // class is selected when it is.
    if (savedChoices_->objectClass.empty()) savedChoices_->objectClass = spec.ObjectClass;
}

void TMainForm::ActionReportByTypeExecute() {
    if (run_.ReportRunning()) {
        run_.RequestCancel();
        return;
    }
    const report::ByTypeChoices choices = ChoicesFromControls();
    if (auto refusal = report::ByTypeStartRefusal(choices)) {
        pageControl_->setCurrentWidget(tabSheetObjAttr_);
        access_.Messages().PlainBox(*refusal);
        return;
    }
    if (selectionDirty_) INISaveProperties();
    report::ReportSpec& spec = run_.CurrentSpec();
    // A saved report run again while the controls still show what it loaded
    // runs as its file says: its columns, filter and sort as written there,
    // even where the file spells a name otherwise than the lists do.
    const bool sameAsSaved = savedChoices_ && spec.Kind == report::ReportKind::ByType &&
                             SameReport(*savedChoices_, choices);
    if (sameAsSaved) {
        spec.Output = choices.output;
        spec.OutputFile.clear();
    } else {
        report::PrepareByType(spec, choices);
        savedChoices_.reset();
    }
    spec.Tree = currentTree_;
    buttonRun_->setText(QString::fromUtf8(report::kCancelCaption));
    run_.Rpt_run();
    buttonRun_->setText(QString::fromUtf8(report::kRunCaption));
}

std::optional<report::ObjectListEntry> TMainForm::SelectedObjectEntry() {
    QListWidgetItem* item = listBoxObjects_->currentItem();
    if (item == nullptr || !item->isSelected()) return std::nullopt;
    return report::ParseObjectListLine(item->text().toStdString(),
                                       item->data(Qt::UserRole).toLongLong());
}

void TMainForm::ActionReportByObjectExecute() {
    if (run_.ReportRunning()) return;
    const auto entry = SelectedObjectEntry();
    if (!entry || currentTree_ == nullptr) {
        pageControl_->setCurrentWidget(tabSheetSelObj_);
        access_.Messages().PlainBox(report::TableOperations::kSelectOneObject);
        return;
    }
    const std::string absolute = directory::DSFullName(
        access_.DSResolveName(currentTree_->objectContext, entry->objectName));
    ReportOnObject(absolute, entry->className);
}

void TMainForm::ReportOnObject(const std::string& objectName, const std::string& objectClass) {
    // The class chosen in the type list stays current: its ticks are the
    // ones the checklist keeps, whatever object is reported on.
    currentObjectName_ = objectName;
    report::ReportSpec& spec = run_.CurrentSpec();
    report::PrepareByObject(spec, GetCurrentTree(), currentContainer_, objectName, objectClass);
    spec.Tree = currentTree_;
    run_.Rpt_run();
}

void TMainForm::DSTreeTreeViewClick() {
    TNodeInfo node = dsTree_->CurrentNode();
    if (node.tree == nullptr) node = dsTree_->GetCurrentNodeInfo();
    if (node.tree == nullptr) return;
    if (const std::string& fault = dsTree_->TreeFault(node.tree); !fault.empty()) {
        LeaveUnreachableTree(fault);
        return;
    }
    currentTree_ = node.tree;
    currentContainer_ = node.fullName;
    GetTreeInformation(*currentTree_);
    if (const std::string& fault = dsTree_->ListingFault(); !fault.empty()) {
        run_.ShowStatus(fault, GetCurrentTree(), currentContainer_);
    } else {
        ShowIdleStatus();
    }
}

void TMainForm::DSTreeTreeViewDblClick() {
    if (run_.ReportRunning()) return;
    const TNodeInfo node = dsTree_->CurrentNode();
    if (node.tree == nullptr || !dsTree_->TreeFault(node.tree).empty()) return;
    std::string className;
    if (access_.DSEntryClass(node.tree->rootContext, node.fullName, className) != 0 ||
        className.empty())
        return;
    currentTree_ = node.tree;
    ReportOnObject(node.fullName, className);
}

bool TMainForm::UsableTreeChosen() {
    if (currentTree_ != nullptr) return true;
    // Without a tree a report would run on the tree the contexts start on.
    const std::string& fault = dsTree_->TreeFault(dsTree_->CurrentNode().tree);
    if (!fault.empty()) access_.Messages().PlainBox(fault);
    return false;
}

void TMainForm::BitBtnSchemaClassesClick() {
    if (!UsableTreeChosen()) return;
    report::ReportSpec& spec = run_.CurrentSpec();
    if (!report::PrepareSchema(spec, report::ReportKind::SchemaClasses, run_.ReportRunning()))
        return;
    spec.TreeName = GetCurrentTree();
    spec.Tree = currentTree_;
    if (spec.Container.empty()) spec.Container = currentContainer_;
    run_.Rpt_run();
}

void TMainForm::BitBtnSchemaAttributesClick() {
    if (!UsableTreeChosen()) return;
    report::ReportSpec& spec = run_.CurrentSpec();
    if (!report::PrepareSchema(spec, report::ReportKind::SchemaAttributes, run_.ReportRunning()))
        return;
    spec.TreeName = GetCurrentTree();
    spec.Tree = currentTree_;
    if (spec.Container.empty()) spec.Container = currentContainer_;
    run_.Rpt_run();
}

void TMainForm::ActionSchemaGetClassInfoExecute() {
    QListWidgetItem* item = listObjType_->currentItem();
    if (item == nullptr || currentTree_ == nullptr) return;
    const std::string text = report::ClassInformationText(access_, currentTree_->objectContext,
                                                          item->text().toStdString());
    access_.Messages().InfoBox(text);
}

void TMainForm::OpenCannedReport(const std::filesystem::path& file) {
    exportFailed_ = false;
    exportedAtOnce_ = false;
    const report::CannedReportOutcome outcome = report::OpenCannedReport(
        run_, access_, cannedTree_, file, settings_.TypelessNames,
        [this](const report::ReportSpec& spec) { PrepareForCannedReport(spec); });
    buttonRun_->setText(QString::fromUtf8(report::kRunCaption));
    // A run stopped before its end is no report done: an unattended one fails.
    exitCode_ = outcome.Succeeded() && !exportFailed_ && !run_.Stopped() ? 0 : 1;
    // The status bar says what the directory returned; an unattended run,
    // whose window never shows, says it where its other messages go, in the
    // console's words.
    if (quitAfterReport_ && outcome.status == report::CannedReportOutcome::Status::Ran &&
        outcome.lastResult != 0 && !run_.Stopped()) {
        access_.DSShowError(outcome.lastResult,
                            report::RunErrorLabel(run_.CurrentSpec(), run_.SaveEnabled()));
    }
    // An unattended run that exports nothing says so, as the console does:
    // its status alone would pass an earlier file off as today's.
    // (The export takes the output file out of the report as it goes.)
    if (quitAfterReport_ && outcome.Succeeded() && !run_.Stopped() && !exportedAtOnce_) {
        if (const std::string notice = report::NothingExportedNotice(run_); !notice.empty())
            access_.Messages().PlainBox(notice);
    }
    if (run_.Stopped()) {
        const size_t rows = run_.Table().RowCount() > 0 ? run_.Table().RowCount() - 1 : 0;
        const std::string text = "The report was stopped before its end; it found " +
                                 std::to_string(rows) + (rows == 1 ? " row" : " rows");
        // An unattended run says so where its other messages go; the window
        // keeps it in the status bar.
        if (quitAfterReport_) {
            access_.Messages().PlainBox(text);
        } else {
            run_.ShowStatus(text, run_.CurrentSpec().TreeName, run_.CurrentSpec().Container);
        }
    }
}

void TMainForm::PrepareForCannedReport(const report::ReportSpec& spec) {
    currentTree_ = &cannedTree_;
    currentContainer_ = spec.Container;
    if (spec.Kind != report::ReportKind::ByType) return;
    // The type list is not refilled; the class is selected when it shows.
    const QList<QListWidgetItem*> found =
        listObjType_->findItems(QString::fromStdString(spec.ObjectClass), Qt::MatchFixedString);
    {
        const bool wasFilling = fillingControls_;
        fillingControls_ = true;
        if (!found.isEmpty()) listObjType_->setCurrentItem(found.first());
        fillingControls_ = wasFilling;
    }
    if (selectionDirty_) INISaveProperties();
    currentObjectType_ = spec.ObjectClass;
    ReadPropertiesInclDSI(spec.ObjectClass);
    selectedAttributes_ = spec.Attributes;
    MarkAttributesAsSelected();
    ShowSavedReport(spec);
    buttonRun_->setText(QString::fromUtf8(report::kCancelCaption));
}

void TMainForm::ExportAtOnce(report::ReportSpec& current) {
    (void)current;
    // A run that the window's closing broke off is not exported: its rows
    // would replace a whole earlier export with a part of one. A close that
    // came once every row was found (while they were sorted) stopped nothing.
    if (closeAsked_ && run_.Stopped()) return;
    exportedAtOnce_ = true;
    exportFailed_ = !ExportResults();
}

void TMainForm::ActionStoreReportSpecClick() {
    // Before the first report the report file would name no tree, container or class:
    // the file would only be refused when it is run.
    if (!reportShown_) return;
    const std::filesystem::path proposed =
        std::filesystem::path(run_.ReportPath()) / report::StoreReportFileName(run_.ReportName());
    const auto chosen = access_.Messages().ChooseSaveFile(
        "Store Report Spec", proposed, report::StoreReportFilter(currentObjectType_));
    if (!chosen) return;
    if (chosen->has_parent_path()) run_.SetReportPath(chosen->parent_path().string());
    // A report that could not be stored is said so; the previous file stays whole.
    const platform::FileStatus stored = report::SavedReport::Store(run_.CurrentSpec(), *chosen);
    if (!stored.ok()) access_.Messages().ErrorBox(stored.error);
}

void TMainForm::ActionLoadReportSpecClick() {
    if (run_.ReportRunning()) return;
    const auto chosen = access_.Messages().ChooseOpenFile(
        "Run Saved Report", std::filesystem::path(run_.ReportPath()), report::OpenReportFilter());
    if (!chosen) return;
    if (chosen->has_parent_path()) run_.SetReportPath(chosen->parent_path().string());
    OpenCannedReport(*chosen);
}

}  // namespace vellrun::ui
