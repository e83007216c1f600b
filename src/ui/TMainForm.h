#pragma once

#include "directory/DirectoryAccess.h"
#include "directory/TTreeInfo.h"
#include "platform/CancelFlag.h"
#include "platform/DateTime.h"
#include "platform/DesktopPort.h"
#include "platform/IniFile.h"
#include "platform/StringList.h"
#include "platform/TextCollator.h"
#include "report/ReportRun.h"
#include "report/ReportSpec.h"
#include "report/ReportStart.h"
#include "report/ResultFilter.h"
#include "report/TableOperations.h"
#include "settings/AppSettings.h"
#include "settings/ControlState.h"
#include "settings/SectionCache.h"
#include "settings/WriteFailureNotice.h"
#include "ui/TTreeFrame.h"
#include "ui/TransferProgress.h"
#include "values/AttrDetail.h"
#include "values/CellTextReader.h"

#include <QMainWindow>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QAbstractItemView;
class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QShortcut;
class QSplitter;
class QTabWidget;
class QTableView;
class QTimer;
class QWidget;

namespace vellrun::ui {

class ResultTableModel;

// The program's main window and the place every report starts from: the Info
// tab, the tree browser with the objects of the selected container, the
// object type and attribute choice with its filter, and the results grid
// with its export. Its methods carry the names the program's design gives
// them and delegate the logic to the core: the report run, the table
// operations, the tree information, the saved reports, the exports and the
// INI file keys.
//
// Made by the desktop start-up once the directory client has started; it
// owns its controls, the report state (run, table, current spec), its INI
// file object and the tree record a saved report sets up. It borrows the
// directory access and the ports, which outlive it. Everything runs on the
// user-interface thread; long work pumps events through the run feedback.
//
// The class is split by feature: TMainForm.cpp (lifecycle, status),
// TMainFormLayout.cpp (controls, actions, menus), TMainFormMultiObject.cpp
// (types, checklist, filter), TMainFormRuns.cpp (runs, saved reports),
// TMainFormResults.cpp (grid and its operations, exports),
// TMainFormState.cpp (window state in the INI file).
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kStatusPanels = 3;

    struct Options {
        // The INI file; empty: the per-user file.
        std::filesystem::path settingsFile;
        // The command line's saved report ("report=FILE") and quit switch.
        std::string reportFile;
        bool quit = false;
        // Set when the person gives up the start (Escape on the splash): the
        // command line's report, run while the window is made, stops at it
        // as at its Cancel, also when it was set before the run began.
        const platform::CancelFlag* startCancel = nullptr;
        // The executables' folder whose data folders (platform::DataFolders)
        // hold the info text the Info tab shows; empty: the program's.
        std::filesystem::path infoFolder;
    };

    TMainForm(directory::DirectoryAccess& access, platform::DesktopPort& desktop,
              const platform::DateTimeFormats& formats, Options options, QWidget* parent = nullptr);
    ~TMainForm() override;

    // "Korvel: Vellrun - RAZ Arorad Generator v2.12 (2009-10-30)".
    static QString Caption();

    // The command line asked to quit after its report: the program ends with
    // ExitCode() instead of showing the window.
    bool QuitAfterReport() const { return quitAfterReport_; }
    // 0 when the command line's report ran to its end and exported; 1
    // otherwise (also when it was stopped).
    int ExitCode() const { return exitCode_; }
    // Whether the window has been shown (an unattended run never shows it).
    bool WasShown() const { return shown_; }

    // What the tests and the start-up reach.
    TTreeFrame* DSTree() const { return dsTree_; }
    QListWidget* ListBoxObjects() const { return listBoxObjects_; }
    std::array<QLabel*, kStatusPanels> StatusPanels() const { return statusPanels_; }
    report::ReportRun& Run() { return run_; }
    // While a directory call waits for its server the window's events are
    // handled, but the person's input may only stop the work that waits:
    // anything else it started would run inside that call. Whether this
    // input goes through at once (Escape, the run's Cancel while a report
    // runs); the rest waits until the call is over. A press on a node of
    // the tree stops its running listing, as the click would.
    bool LetThroughWhileWaiting(QObject* receiver, QEvent* event);
    platform::IniFile& Ini() { return ini_; }
    settings::WriteFailureNotice& SettingsWrites() { return settingsWrites_; }
    // A read of file (the settings file, through this window's object or
    // the settings dialog's) that failed: the values it could not give stand
    // at their defaults, and this window's object refuses every write from
    // now on as file does, which an interactive window says once (nothing
    // when no read failed).
    void TellSettingsReadFault(const platform::IniFile& file);
    settings::AppSettings& Settings() { return settings_; }
    directory::TTreeInfo* CurrentTree() const { return currentTree_; }
    const std::string& CurrentContainer() const { return currentContainer_; }
    const std::string& CurrentObjectType() const { return currentObjectType_; }
    const std::vector<std::string>& SelectedAttributes() const { return selectedAttributes_; }
    QTableView* GridResults() const { return gridResults_; }
    ResultTableModel* ResultsModel() const { return resultsModel_; }

    // --- Actions and handlers (names of the program's design) ---------------
    void ActionRescanClick();
    void ActionReportByTypeExecute();
    void ActionReportByObjectExecute();
    void ActionReportOnSelectedObjectExecute();
    void ActionObjectDeleteExecute();
    void ActionClearEmptyFieldsClick();
    void ActionStoreResultsExecute();
    void PopupSaveClick(int outputType);
    void PopupSortResultsClick(int column);
    void ActionStoreReportSpecClick();
    void ActionLoadReportSpecClick();
    void ActionSchemaGetClassInfoExecute();
    void BitBtnSchemaClassesClick();
    void BitBtnSchemaAttributesClick();
    void OpenCannedReport(const std::filesystem::path& file);
    void ActionListAttrClick(QListWidget* list, const QString& command);

    void GetTreeInformation(directory::TTreeInfo& tree);
    void INIReadProperties();
    void ReadPropertiesInclDSI(const std::string& className);
    void MarkAttributesAsSelected();
    void ListAllPropsClick();
    void ListAllPropsExit();
    void INISaveProperties();
    void INIReadFilter();
    // Writes the ticks and filter panels the file refused earlier, dropping
    // each one written: the first failure, or ok.
    platform::FileStatus WriteUnsavedSettings();

    // The status bar: one, two or three texts, and the idle texts (the
    // product's address, the current tree, the current container).
    void ShowIdleStatus();

    // The grid's column widths from the core's fit.
    void GridResize();
    // Grows the grid's rows that hold several lines; due whenever the rows
    // were made one line high again (a reset of the model, a new row height).
    void FitRowHeights();

    std::string GetCurrentTree() const;

    // The attribute detail dialog for a double-clicked cell: it runs modally
    // and calls onSaved after a value was written. Without one, a double-click
    // shows the cell's whole text read-only.
    using AttrDetailOpener = std::function<bool(const values::AttrDetailState& state,
                                                const std::function<void()>& onSaved)>;
    void SetAttrDetailOpener(AttrDetailOpener opener) { attrDetailOpener_ = std::move(opener); }

signals:
    // The Edit and Help menu entries whose dialogs live elsewhere.
    void SettingsRequested();
    void FontRequested();
    void UpdateCheckRequested();
    void AboutRequested();
    // The maker's web site (the Help menu's "Visit " item and the Info tab's
    // button), and another web address (the Info tab's support button).
    void VisitWebRequested();
    void AddressRequested(const QString& address);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // TMainFormLayout.cpp
    void BuildControls();
    QWidget* BuildInfoTab();
    QWidget* BuildSelObjTab();
    QWidget* BuildObjAttrTab();
    QWidget* BuildFilterPanel();
    QWidget* BuildResultsTab();
    void BuildActions();
    void BuildMenus();
    void BuildStatusBar();
    QAction* MakeAction(const char* name, const QString& caption, const QString& category);

    // TMainForm.cpp
    void FormCreate();
    // Shows text, which says that the settings file could not be read: the
    // first time a read failed, and the only time.
    void TellSettingsUnreadable(const std::string& text);
    void FormShow();
    void FormClose();
    void PageControlChange();
    void LoadInfoText();
    void ApplyStatusLayout(const report::StatusLayout& layout);
    void OpenContextMenuAtCurrent(QAbstractItemView* view);

    // TMainFormMultiObject.cpp
    void ShowObjectTypes(directory::TTreeInfo& tree);
    void FillFilterAttributeLists();
    void FilterChange(QObject* sender);
    void CheckBoxFilterClick();
    report::FilterRows FilterRowsFromControls() const;
    void PopupAttrChecklistPopup(QListWidget* list, const QPoint& position);
    void SetTicks(const std::vector<bool>& ticks);
    std::vector<std::string> TickedInOrder() const;
    // The ticked attributes as the next run's columns.
    std::vector<std::string> AttributesInColumnOrder() const;
    // A report by type's choices in the Multi-Object tab's controls:
    // recursion and the filter (the class and ticks are set apart).
    void ShowReportChoices(const report::ReportSpec& spec);
    // The same, and the choices the controls then show kept: while they stay
    // so, "Refresh" runs the saved report as its file says.
    void ShowSavedReport(const report::ReportSpec& spec);
    // What the Multi-Object tab's controls choose for a report by type.
    report::ByTypeChoices ChoicesFromControls() const;

    // TMainFormRuns.cpp
    void HookRun();
    void ReportOnObject(const std::string& objectName, const std::string& objectClass);
    void DSTreeTreeViewClick();
    // A tree whose contexts could not be set was chosen: no tree is current.
    void LeaveUnreachableTree(const std::string& fault);
    // Whether a tree is current; else says why not when a tree was chosen.
    bool UsableTreeChosen();
    void DSTreeTreeViewDblClick();
    void PrepareForCannedReport(const report::ReportSpec& spec);
    void ExportAtOnce(report::ReportSpec& current);
    // Escape and the run buttons' hints while a run goes, and back after it.
    void ShowRunCancels(bool running);

    // TMainFormResults.cpp
    // The tree the results' rows were read from: the last report's, which
    // need not be the one chosen in the tree browser since.
    directory::TTreeInfo* ResultsTree() const;
    void PopupResultsPopup(const QPoint& position);
    // The grid's commands for its current cell: the sort sub-menu, the
    // report on the object the cell names, the cell's details.
    void PrepareResultsCommands();
    // The commands that act on a report's table or spec (export, store,
    // sort, hide empty fields) are offered once a report has run and not
    // while one runs; the export only when the button offers it too.
    void EnableResultsCommands(bool running);
    void GridResultsClick(const QModelIndex& index);
    // The grid's tool tip: directory text, shown as it is, never as markup.
    void SetGridHint(const std::string& text);
    void GridResultsDblClick(const QModelIndex& index);
    void GridResultsSelectCell(const QModelIndex& current);
    // The grid shows the table anew after an operation changed it (a sort,
    // hidden rows): the same place stays the current cell, as far as the
    // table still reaches, and the status bar shows what it holds now.
    void ResultsTableChanged();
    // One row's height from its cells' lines (ResultTable row, from 1).
    void FitRowHeight(size_t row);
    void RemoveDeletedObject(const std::string& fullName);
    std::optional<report::ObjectListEntry> SelectedObjectEntry();
    bool ExportResults();

    // TMainFormState.cpp
    void RestoreWindowState();
    void SaveWindowState();
    // Gives a splitter's first pane its restored width within the splitter's
    // width.
    static void ApplyPaneWidth(QSplitter* splitter, int paneWidth, int splitterWidth);
    void RestoreLastPlace();
    settings::ControlState ControlStateOf(QWidget* widget) const;
    void ApplyControlState(QWidget* widget, const settings::ControlState& state);

    void ShowObjectLines();

    directory::DirectoryAccess& access_;
    platform::DesktopPort& desktop_;
    const platform::DateTimeFormats& formats_;
    Options options_;

    platform::IniFile ini_;
    settings::SectionCache cache_;
    // Why the settings file could not be read as the window was made (it is
    // there, but is a folder or may not be read), or empty; said once.
    std::string settingsReadFault_;
    // A failed read of the settings file has been told.
    bool settingsReadFaultTold_ = false;
    settings::AppSettings settings_;
    // Failed writes of the settings file, told once per run of failures.
    settings::WriteFailureNotice settingsWrites_{access_.Messages()};
    // The ticks and filter panels the settings file would not take, by class:
    // this session keeps them while the file cannot, and writes them with the
    // next write that reaches it and with the save at close.
    std::map<std::string, std::vector<std::string>> unsavedTicks_;
    std::map<std::string, report::FilterPanelState> unsavedFilters_;
    AttrDetailOpener attrDetailOpener_;
    values::CellTextReader reader_;
    platform::TextCollator collator_;
    // A long export's progress dialog with Cancel.
    TransferProgress exportProgress_{this, QStringLiteral("Export progress")};
    // Sort Results of a large table: its progress and Cancel.
    TransferProgress sortProgress_{this, QStringLiteral("Sort progress")};
    report::ReportRun run_;
    report::TableOperations operations_;

    // The tree a saved report set up; the current tree while it is chosen.
    directory::TTreeInfo cannedTree_;
    directory::TTreeInfo* currentTree_ = nullptr;
    // The tree whose object types the list shows.
    directory::TTreeInfo* typesShownFor_ = nullptr;
    // The tree the attribute checklist was filled for.
    directory::TTreeInfo* checklistFor_ = nullptr;
    std::string currentContainer_;
    std::string currentObjectType_;
    std::string currentObjectName_;
    std::vector<std::string> selectedAttributes_;
    bool selectionDirty_ = false;
    // What the Multi-Object tab showed when a saved report loaded, while it
    // may still show that report.
    std::optional<report::ByTypeChoices> savedChoices_;
    platform::StringList checklistEntries_;
    platform::StringList objectLines_;
    bool quitAfterReport_ = false;
    int exitCode_ = 0;
    bool exportFailed_ = false;
    // The saved report's automatic export was made (it may have failed).
    bool exportedAtOnce_ = false;
    // The window was closed while a run went on: it closes once the run has
    // ended, and the run's rows, cut short, are exported nowhere.
    bool closeAsked_ = false;
    // A report has run: the grid holds its table, the current spec is its.
    bool reportShown_ = false;
    bool shown_ = false;
    bool fillingControls_ = false;
    QListWidget* popupList_ = nullptr;

    // Controls, by their names in the program's design.
    QTabWidget* pageControl_ = nullptr;
    QWidget* tabSheetInfo_ = nullptr;
    QWidget* tabSheetSelObj_ = nullptr;
    QWidget* tabSheetObjAttr_ = nullptr;
    QWidget* tabSheetResults_ = nullptr;
    QLabel* panelInfo_ = nullptr;
    QPlainTextEdit* memo1_ = nullptr;
    QPushButton* bitBtnWeb_ = nullptr;
    QPushButton* bitBtnSupport_ = nullptr;
    QSplitter* splitter3_ = nullptr;
    QWidget* panelLeft_ = nullptr;
    TTreeFrame* dsTree_ = nullptr;
    QListWidget* listBoxObjects_ = nullptr;
    QSplitter* splitter2_ = nullptr;
    // The restored width of PanelObjects while its tab has not been laid out
    // (0: none): applied once the splitter has its width, saved as it is
    // until then.
    int pendingObjectsWidth_ = 0;
    // The type list's width as designed, until the person moves the splitter.
    static constexpr int kObjectTypesWidth = 300;
    // The same for the tree beside Splitter3, whose tab a report run from the
    // command line keeps from being shown first.
    int pendingTreeWidth_ = 0;
    static constexpr int kTreePaneWidth = 340;
    QWidget* panelObjects_ = nullptr;
    QListWidget* listObjType_ = nullptr;
    QListWidget* checkListAllProps_ = nullptr;
    QWidget* panelMultiFilter_ = nullptr;
    std::array<QComboBox*, report::kFilterRowCount> comboBoxFilter_{};
    std::array<QComboBox*, report::kFilterRowCount> editFilter_{};
    std::array<QRadioButton*, report::kFilterRowCount> radioFilterA_{};
    std::array<QRadioButton*, report::kFilterRowCount> radioFilterB_{};
    QWidget* panelMultiBottom_ = nullptr;
    QCheckBox* checkBoxRecurse_ = nullptr;
    QCheckBox* checkBoxFilter_ = nullptr;
    QPushButton* buttonRun_ = nullptr;
    QPushButton* bitBtnSchemaClasses_ = nullptr;
    QPushButton* bitBtnSchemaAttributes_ = nullptr;
    QTableView* gridResults_ = nullptr;
    ResultTableModel* resultsModel_ = nullptr;
    QGroupBox* radioGroupOutputType_ = nullptr;
    QButtonGroup* outputTypeButtons_ = nullptr;
    QPushButton* buttonSave_ = nullptr;
    QPushButton* bitBtn1_ = nullptr;
    std::array<QLabel*, kStatusPanels> statusPanels_{};
    std::array<int, kStatusPanels> appliedStatusWidths_{-1, -1, -1};
    QTimer* rowsTimer_ = nullptr;
    QShortcut* cancelShortcut_ = nullptr;

    QAction* actionRescanTrees_ = nullptr;
    QAction* actionQuit_ = nullptr;
    QAction* actionSettings_ = nullptr;
    QAction* actionFont_ = nullptr;
    QAction* actionClearEmptyFields_ = nullptr;
    QAction* actionStoreResults_ = nullptr;
    QAction* actionStoreReportSpec_ = nullptr;
    QAction* actionLoadReportSpec_ = nullptr;
    QAction* actionReportByType_ = nullptr;
    QAction* actionReportByObject_ = nullptr;
    QAction* actionReportOnSelectedObject_ = nullptr;
    QAction* actionObjectDelete_ = nullptr;
    QAction* actionSchemaGetClassInfo_ = nullptr;
    QAction* actionCellDetails_ = nullptr;
    QAction* actionCheckUpdates_ = nullptr;
    QAction* actionVisitWeb_ = nullptr;
    QAction* actionAbout_ = nullptr;

    QMenu* popupResults_ = nullptr;
    QAction* popupHideEmptyFields_ = nullptr;
    QMenu* popupSortResults_ = nullptr;
    QMenu* popupExportResults_ = nullptr;
    QMenu* popupAttrChecklist_ = nullptr;
    QMenu* popupMenuObjectAction_ = nullptr;
    QMenu* popupMenuRefresh_ = nullptr;
    QAction* popupCheckAll_ = nullptr;
    QAction* popupUncheckAll_ = nullptr;
    QAction* popupCheckMandatory_ = nullptr;
    QAction* popupSaveList_ = nullptr;
};

}  // namespace vellrun::ui
