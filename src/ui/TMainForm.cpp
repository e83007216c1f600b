// TMainForm: construction, the window's lifecycle and the status bar.

#include "ui/TMainForm.h"

#include "platform/BusyCursorScope.h"
#include "platform/InfoText.h"
#include "platform/Paths.h"
#include "report/SavedReport.h"
#include "settings/MainWindowKeys.h"
#include "settings/SettingsStore.h"
#include "ui/ProductInfo.h"
#include "ui/QtRunFeedback.h"
#include "ui/ResultTableModel.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace vellrun::ui {

namespace {

// After the message of a settings file that could not be read as the window
// was made.
constexpr const char* kDefaultsUsed = "\nThe default settings are used, and nothing is saved.";

QString Formatted(const char* name) {
    char caption[160];
    std::snprintf(caption, sizeof caption, "%s %s (%s)", name, product::kVersion,
                  product::kVersionDate);
    return QString::fromUtf8(caption);
}

// The per-user file unless the options name one; a first start makes the
// per-user folder, without which nothing of the session could be kept.
platform::IniFile SettingsFileOf(const TMainForm::Options& options) {
    return options.settingsFile.empty() ? settings::OpenSettingsFile(true)
                                        : platform::IniFile(options.settingsFile);
}

}  // namespace

TMainForm::TMainForm(directory::DirectoryAccess& access, platform::DesktopPort& desktop,
                     const platform::DateTimeFormats& formats, Options options, QWidget* parent)
    : QMainWindow(parent),
      access_(access),
      desktop_(desktop),
      formats_(formats),
      options_(std::move(options)),
      ini_(SettingsFileOf(options_)),
      settings_(settings::ReadSettingsSection(ini_, settings::AppSettings::DialogDefaults(formats),
                                              &settingsReadFault_)),
      reader_(access, settings_, formats),
      run_(access, reader_, settings_, access.Feedback(), collator_),
      operations_(run_, access, access.Feedback(), collator_) {
    setObjectName(QStringLiteral("MainForm"));
    resize(1000, 650);
    run_.SetProductAddress(product::WebSiteAddress());
    BuildControls();
    // The status texts of the run (also those of a command-line report run
    // while the window is made) go to this window's panels.
    if (auto* feedback = dynamic_cast<QtRunFeedback*>(&access.Feedback()))
        feedback->AttachStatusPanels(statusPanels_);
    HookRun();
    operations_.OperationHooks().tableChanged = [this] { ResultsTableChanged(); };
    // A reset leaves every row one line high (ResultsGrid); whatever reset
    // it (a run, a sort, hidden fields, a delete), the tall rows grow again.
    connect(resultsModel_, &QAbstractItemModel::modelReset, this, &TMainForm::FitRowHeights);
    connect(dsTree_, &TTreeFrame::EntryLinesChanged, this, &TMainForm::ShowObjectLines);
    connect(dsTree_, &TTreeFrame::TreeViewClick, this, &TMainForm::DSTreeTreeViewClick);
    connect(dsTree_, &TTreeFrame::TreeViewDblClick, this, &TMainForm::DSTreeTreeViewDblClick);
    connect(listBoxObjects_, &QListWidget::itemDoubleClicked, this,
            [this] { ActionReportByObjectExecute(); });
    // Shift+F10 on the views with a pop-up menu, Enter on the object list
    // (eventFilter).
    for (QAbstractItemView* view : std::initializer_list<QAbstractItemView*>{
             gridResults_, listBoxObjects_, listObjType_, checkListAllProps_, dsTree_->TreeView()})
        view->installEventFilter(this);
    connect(pageControl_, &QTabWidget::currentChanged, this, [this] { PageControlChange(); });
    FormCreate();
}

TMainForm::~TMainForm() {
    // The controls outlive this body and the report state; their last
    // signals (lists emptied while they are destroyed) must not reach it.
    rowsTimer_->stop();
    for (QObject* child : findChildren<QObject*>())
        child->blockSignals(true);
    // The tree browser frees its trees' contexts while the access is whole.
    delete pageControl_;
    if (currentTree_ == &cannedTree_) currentTree_ = nullptr;
    access_.ClearTreeInfo(cannedTree_);
}

QString TMainForm::Caption() {
    return Formatted(product::kGeneratorName);
}

std::string TMainForm::GetCurrentTree() const {
    return currentTree_ != nullptr ? currentTree_->treeName : std::string();
}

void TMainForm::FormCreate() {
    setWindowTitle(Caption());
    memo1_->setToolTip(Formatted("Vellrun"));
    panelInfo_->setText(Formatted("Vellrun"));
    pageControl_->setCurrentWidget(tabSheetInfo_);
    pageControl_->setTabVisible(pageControl_->indexOf(tabSheetResults_), false);
    LoadInfoText();

    platform::BusyCursorScope busy(access_.Feedback());
    const settings::MainWindowState state = settings::ReadMainWindowState(ini_, cache_);
    if (QAbstractButton* button = outputTypeButtons_->button(state.outputType)) {
        button->setChecked(true);
    }
    run_.SetReportPath(state.reportPath);

    pageControl_->setCurrentWidget(tabSheetSelObj_);

    quitAfterReport_ = options_.quit;
    if (!options_.reportFile.empty()) {
        // A report from the command line uses the settings an unattended run
        // reads. A settings file that is there but cannot be read stops it:
        // the defaults in its place would export in other characters than
        // the person chose.
        std::string unreadable;
        settings::AppSettings read = settings::getSettingsFromIni(ini_, formats_, &unreadable);
        exitCode_ = 1;
        if (unreadable.empty()) {
            settings_ = std::move(read);
            OpenCannedReport(options_.reportFile);
        } else {
            TellSettingsUnreadable(unreadable + "\nThe report is not run." +
                                   (quitAfterReport_ ? "" : kDefaultsUsed));
        }
    } else if (quitAfterReport_) {
        exitCode_ = 0;
    } else if (!settingsReadFault_.empty()) {
        TellSettingsUnreadable(settingsReadFault_ + kDefaultsUsed);
    }
    TellSettingsReadFault(ini_);
}

void TMainForm::TellSettingsUnreadable(const std::string& text) {
    // The window goes on with the default settings for what it could not
    // read. The file's writes are refused once a read has failed, which this
    // box says once for all.
    settingsReadFaultTold_ = true;
    access_.Messages().ErrorBox(text);
    settingsWrites_.Told();
}

void TMainForm::TellSettingsReadFault(const platform::IniFile& file) {
    // What another object on the file could not read stops this window's
    // writes too. An unattended run that reads nothing more has said what
    // stopped it.
    ini_.AdoptReadFault(file);
    if (settingsReadFaultTold_ || quitAfterReport_ || file.ReadFault().empty()) return;
    TellSettingsUnreadable(file.ReadFault() + "\nThe settings are not saved in this session.");
}

void TMainForm::LoadInfoText() {
    const std::filesystem::path folder =
        options_.infoFolder.empty() ? platform::ExecutableDir() : options_.infoFolder;
    std::vector<std::string> lines;
    platform::LoadInfoText(lines, folder);
    QStringList texts;
    for (const std::string& line : lines)
        texts.append(QString::fromStdString(line));
    memo1_->setPlainText(texts.join(QLatin1Char('\n')));
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TMainForm::FormShow() {
    RestoreWindowState();
    // The restored bottom panel holds the last session's choices; a saved
    // report run from the command line shows its own, for "Refresh".
    if (!options_.reportFile.empty() && currentTree_ == &cannedTree_)
        ShowSavedReport(run_.CurrentSpec());
    // After the window has painted: discovering and listing trees pumps events.
    QTimer::singleShot(0, this, [this] {
        // The trees as a rescan shows them; the place is restored below.
        dsTree_->Initialize(&objectLines_);
        // A report run from the command line has made its tree current.
        if (currentTree_ == nullptr) {
            RestoreLastPlace();
        } else {
            GetTreeInformation(*currentTree_);
        }
        dsTree_->SetTypeLessNames(settings_.TypelessNames);
        // A report run from the command line that an error or Escape broke
        // off keeps saying so; the idle text would pass its rows off as all
        // there are.
        if (options_.reportFile.empty() || (run_.LastResult() == 0 && !run_.Stopped())) {
            PageControlChange();
        } else if (pageControl_->currentWidget() == tabSheetResults_) {
            GridResize();
        }
        TellSettingsReadFault(ini_);
    });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (run_.ReportRunning()) {
        // The run's stack is below this event: stop it, then close. Closing
        // is no Cancel: a saved report's output file keeps its last export.
        closeAsked_ = true;
        run_.RequestCancel();
        event->ignore();
        QTimer::singleShot(50, this, &QWidget::close);
        return;
    }
    FormClose();
    QMainWindow::closeEvent(event);
}

void TMainForm::FormClose() {
    // A read that failed since the last check: said before the refused
    // writes below, which it accounts for.
    TellSettingsReadFault(ini_);
    if (selectionDirty_) INISaveProperties();
    SaveWindowState();
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (pageControl_ != nullptr && pageControl_->currentWidget() == tabSheetResults_) GridResize();
    ApplyStatusLayout(run_.CurrentStatusLayout());
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        // Hints go to the first panel; the other panels keep their texts.
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        if (!tip.isEmpty()) statusPanels_[0]->setText(tip);
        return true;
    }
    return QMainWindow::event(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    for (const auto& [splitter, pending] :
         {std::pair{splitter2_, &pendingObjectsWidth_}, {splitter3_, &pendingTreeWidth_}}) {
        if (watched != static_cast<QObject*>(splitter) || *pending <= 0) continue;
        // A hidden tab's splitter gets its width with the resize sent as it
        // is first shown; sizes set before then would be scaled to it.
        if (event->type() == QEvent::Resize)
            ApplyPaneWidth(splitter, *pending, static_cast<QResizeEvent*>(event)->size().width());
        if (event->type() == QEvent::Show) *pending = 0;
    }
    if (watched == static_cast<QObject*>(checkListAllProps_) && event->type() == QEvent::FocusOut)
        ListAllPropsExit();
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* view = qobject_cast<QAbstractItemView*>(watched);
        if (view != nullptr && key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            OpenContextMenuAtCurrent(view);
            return true;
        }
        // Enter on an object does what its double click does. The list's
        // own activation is not taken: it also comes with the double click,
        // and on some styles with a single click.
        if (watched == static_cast<QObject*>(listBoxObjects_) &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            listBoxObjects_->currentItem() != nullptr) {
            ActionReportByObjectExecute();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::OpenContextMenuAtCurrent(QAbstractItemView* view) {
    // Shift+F10 opens the pop-up menu as the Menu key does, over the
    // current item (the view's corner when it has none).
    const QModelIndex current = view->currentIndex();
    QPoint at(0, 0);
    if (current.isValid()) {
        view->scrollTo(current);
        const QRect cell = view->visualRect(current).intersected(view->viewport()->rect());
        if (!cell.isEmpty()) at = cell.center();
    }
    emit view->customContextMenuRequested(at);
}

void TMainForm::PageControlChange() {
    if (pageControl_->currentWidget() == tabSheetResults_) GridResize();
    ShowIdleStatus();
}

void TMainForm::ShowIdleStatus() {
    run_.ShowStatus(
        product::WebSiteAddress(), GetCurrentTree(),
        currentContainer_.empty() ? std::string(report::kStatusClear) : currentContainer_);
}

void TMainForm::ApplyStatusLayout(const report::StatusLayout& layout) {
    const std::array<int, 3> widths = report::StatusPanelWidths(layout, statusBar()->width());
    // Every status text of a run comes here; the bar is laid out only when
    // its proportions change.
    if (widths == appliedStatusWidths_) return;
    appliedStatusWidths_ = widths;
    for (size_t i = 0; i < statusPanels_.size(); ++i) {
        statusPanels_[i]->setVisible(widths[i] > 0);
        statusPanels_[i]->setFixedWidth(std::max(widths[i] - 4, 0));
    }
}

void TMainForm::ActionRescanClick() {
    if (dsTree_->Busy()) {
        // Refused while a listing runs (which it cancels): nothing changes.
        dsTree_->Initialize(&objectLines_);
        return;
    }
    // The trees' records are opened anew: the place is kept by its names.
    const std::string tree = GetCurrentTree();
    const std::string container = currentContainer_;
    dsTree_->Initialize(&objectLines_);
    // What the tree shows is what a report uses: back to the container
    // (or as far down to it as is still there), else the node the tree
    // made current, chosen as a click chooses it.
    if (!tree.empty() && dsTree_->SelectPath(tree, container)) return;
    DSTreeTreeViewClick();
}

void TMainForm::ShowObjectLines() {
    // The list shows the lines in the program's sorted order (the user's
    // locale, case ignored), each with the length of its class prefix.
    std::vector<const platform::StringList::Item*> lines;
    lines.reserve(objectLines_.Count());
    for (const platform::StringList::Item& line : objectLines_)
        lines.push_back(&line);
    std::stable_sort(lines.begin(), lines.end(), [this](const auto* a, const auto* b) {
        return collator_.Order(a->text, b->text) < 0;
    });
    listBoxObjects_->setUpdatesEnabled(false);
    listBoxObjects_->clear();
    for (const platform::StringList::Item* line : lines) {
        auto* item = new QListWidgetItem(QString::fromStdString(line->text));
        item->setData(Qt::UserRole, static_cast<qlonglong>(line->number));
        listBoxObjects_->addItem(item);
    }
    listBoxObjects_->setUpdatesEnabled(true);
}

}  // namespace vellrun::ui
