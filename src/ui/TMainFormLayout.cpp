// TMainForm: the controls, actions and menus, named as the program's design
// names them (the INI keys are control names).

#include "report/ReportStart.h"
#include "ui/ElidingLabel.h"
#include "ui/HelpMenu.h"
#include "ui/ProductInfo.h"
#include "ui/ResultTableModel.h"
#include "ui/ResultsGrid.h"
#include "ui/TMainForm.h"
#include "ui/WrappingRow.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vellrun::ui {

namespace {

// The characters a filter row's boxes keep room for at the least: the two
// radio buttons between them take much of a row, and with a large font the
// row must still fit a small screen. Where there is room the boxes share it.
constexpr int kFilterBoxLength = 6;

// A control's hint: its tool tip, and the text the status bar's first panel
// shows while the pointer is over it.
void SetHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* TitlePanel(const char* name, const QString& caption, QWidget* parent) {
    auto* label = Named(new QLabel(caption, parent), name);
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    label->setMargin(3);
    return label;
}

}  // namespace

void TMainForm::BuildControls() {
    pageControl_ = Named(new QTabWidget(this), "PageControl");
    tabSheetInfo_ = BuildInfoTab();
    tabSheetSelObj_ = BuildSelObjTab();
    tabSheetObjAttr_ = BuildObjAttrTab();
    tabSheetResults_ = BuildResultsTab();
    pageControl_->addTab(tabSheetInfo_, QStringLiteral("&Info"));
    pageControl_->addTab(tabSheetSelObj_,
                         QStringLiteral("Select &Container; Single-Object Report"));
    pageControl_->addTab(tabSheetObjAttr_, QStringLiteral("&Multi-Object Report"));
    pageControl_->addTab(tabSheetResults_, QStringLiteral("&Results"));
    setCentralWidget(pageControl_);
    BuildActions();
    BuildMenus();
    BuildStatusBar();
}

QWidget* TMainForm::BuildInfoTab() {
    auto* tab = Named(new QWidget, "TabSheetInfo");
    auto* layout = new QVBoxLayout(tab);
    panelInfo_ = TitlePanel("PanelInfo", {}, tab);
    panelInfo_->setAlignment(Qt::AlignCenter);
    memo1_ = Named(new QPlainTextEdit(tab), "Memo1");
    memo1_->setReadOnly(true);
    memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1_->setAccessibleName(QStringLiteral("Information"));
    bitBtnWeb_ =
        Named(new QPushButton(QString::fromStdString(product::WebSiteAddress()), tab), "BitBtnWeb");
    SetHint(bitBtnWeb_,
            QStringLiteral("Find the latest release of Vellrun and other useful tools"));
    bitBtnSupport_ =
        Named(new QPushButton(QStringLiteral("Questions on eDirectory"), tab), "BitBtnSupport");
    SetHint(bitBtnSupport_,
            QStringLiteral("No official support is provided for Vellrun - get advice or share "
                           "comments with others on the eDirectory news groups"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bitBtnWeb_);
    buttons->addWidget(bitBtnSupport_);
    buttons->addStretch();
    layout->addWidget(panelInfo_);
    layout->addWidget(memo1_, 1);
    layout->addLayout(buttons);
    connect(bitBtnWeb_, &QPushButton::clicked, this, &TMainForm::VisitWebRequested);
    connect(bitBtnSupport_, &QPushButton::clicked, this,
            [this] { emit AddressRequested(QString::fromUtf8(product::kSupportAddress)); });
    return tab;
}

QWidget* TMainForm::BuildSelObjTab() {
    auto* tab = Named(new QWidget, "TabSheetSelObj");
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    splitter3_ = Named(new QSplitter(Qt::Horizontal, tab), "Splitter3");
    splitter3_->setChildrenCollapsible(false);
    panelLeft_ = Named(new QWidget(splitter3_), "PanelLeft");
    auto* left = new QVBoxLayout(panelLeft_);
    left->setContentsMargins(0, 0, 0, 0);
    dsTree_ = Named(new TTreeFrame(access_, panelLeft_), "DSTree");
    dsTree_->SetTypeLessNames(false);
    dsTree_->TreeView()->setAccessibleName(QStringLiteral("Directory trees"));
    dsTree_->TreeView()->setContextMenuPolicy(Qt::CustomContextMenu);
    left->addWidget(dsTree_);

    auto* right = new QWidget(splitter3_);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(TitlePanel(
        "PanelRightTop", QStringLiteral("Double-click object for single-object report "), right));
    listBoxObjects_ = Named(new QListWidget(right), "ListBoxObjects");
    listBoxObjects_->setUniformItemSizes(true);
    listBoxObjects_->setAccessibleName(QStringLiteral("Objects in selected container"));
    SetHint(listBoxObjects_,
            QStringLiteral("Objects in selected container - double-click to retrieve object "
                           "details"));
    listBoxObjects_->setContextMenuPolicy(Qt::CustomContextMenu);
    rightLayout->addWidget(listBoxObjects_);
    splitter3_->setStretchFactor(0, 0);
    splitter3_->setStretchFactor(1, 1);
    splitter3_->setSizes({kTreePaneWidth, 660});
    splitter3_->installEventFilter(this);
    layout->addWidget(splitter3_);
    return tab;
}

QWidget* TMainForm::BuildObjAttrTab() {
    auto* tab = Named(new QWidget, "TabSheetObjAttr");
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    splitter2_ = Named(new QSplitter(Qt::Horizontal, tab), "Splitter2");
    splitter2_->setChildrenCollapsible(false);
    panelObjects_ = Named(new QWidget(splitter2_), "PanelObjects");
    auto* left = new QVBoxLayout(panelObjects_);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(
        TitlePanel("PanelObjTitle", QStringLiteral("Available Object Types"), panelObjects_));
    listObjType_ = Named(new QListWidget(panelObjects_), "ListObjType");
    listObjType_->setAccessibleName(QStringLiteral("Available Object Types"));
    SetHint(listObjType_, QStringLiteral("Available Object Types in this Tree - Select one, then "
                                         "select the needed properties"));
    listObjType_->setContextMenuPolicy(Qt::CustomContextMenu);
    left->addWidget(listObjType_);

    auto* right = Named(new QWidget(splitter2_), "PanelAttributes");
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(
        TitlePanel("PanelAttribTitle", QStringLiteral("Available Attributes"), right));
    checkListAllProps_ = Named(new QListWidget(right), "CheckListAllProps");
    checkListAllProps_->setAccessibleName(QStringLiteral("Available Attributes"));
    checkListAllProps_->setContextMenuPolicy(Qt::CustomContextMenu);
    checkListAllProps_->installEventFilter(this);
    rightLayout->addWidget(checkListAllProps_);
    splitter2_->setSizes({kObjectTypesWidth, 500});
    splitter2_->installEventFilter(this);
    layout->addWidget(splitter2_, 1);

    layout->addWidget(BuildFilterPanel());

    // The row wraps rather than widen the window past a small screen when
    // the font is large.
    auto* bottom = Named(new WrappingRow(tab), "PanelMultiBottom");
    panelMultiBottom_ = bottom;
    checkBoxRecurse_ =
        Named(new QCheckBox(QStringLiteral("&Recurse into Subcontainers"), panelMultiBottom_),
              "CheckBoxRecurse");
    checkBoxFilter_ =
        Named(new QCheckBox(QStringLiteral("Filter Results"), panelMultiBottom_), "CheckBoxFilter");
    buttonRun_ = Named(new QPushButton(QString::fromUtf8(report::kRunCaption), panelMultiBottom_),
                       "ButtonRun");
    SetHint(buttonRun_, QStringLiteral("Start scanning for the selected class"));
    bitBtnSchemaClasses_ =
        Named(new QPushButton(QStringLiteral("Schema &Classes"), panelMultiBottom_),
              "BitBtnSchemaClasses");
    SetHint(bitBtnSchemaClasses_, QStringLiteral("Create report on schema classes"));
    bitBtnSchemaAttributes_ =
        Named(new QPushButton(QStringLiteral("Schema &Attributes"), panelMultiBottom_),
              "BitBtnSchemaAttributes");
    SetHint(bitBtnSchemaAttributes_, QStringLiteral("Create report on schema attributes"));
    bottom->AddLeading(checkBoxRecurse_);
    bottom->AddLeading(checkBoxFilter_);
    bottom->AddTrailing(buttonRun_);
    bottom->AddTrailing(bitBtnSchemaClasses_);
    bottom->AddTrailing(bitBtnSchemaAttributes_);
    layout->addWidget(panelMultiBottom_);

    connect(listObjType_, &QListWidget::itemClicked, this, [this] { INIReadProperties(); });
    connect(listObjType_, &QListWidget::currentRowChanged, this, [this] {
        if (!fillingControls_) INIReadProperties();
    });
    connect(checkListAllProps_, &QListWidget::itemChanged, this, [this] {
        if (!fillingControls_) ListAllPropsClick();
    });
    connect(checkBoxFilter_, &QCheckBox::toggled, this, [this] { CheckBoxFilterClick(); });
    connect(buttonRun_, &QPushButton::clicked, this, [this] { ActionReportByTypeExecute(); });
    connect(bitBtnSchemaClasses_, &QPushButton::clicked, this,
            [this] { BitBtnSchemaClassesClick(); });
    connect(bitBtnSchemaAttributes_, &QPushButton::clicked, this,
            [this] { BitBtnSchemaAttributesClick(); });
    return tab;
}

QWidget* TMainForm::BuildFilterPanel() {
    panelMultiFilter_ = Named(new QWidget, "PanelMultiFilter");
    auto* grid = new QGridLayout(panelMultiFilter_);
    for (size_t k = 0; k < report::kFilterRowCount; ++k) {
        const int row = static_cast<int>(k);
        const QString number = QString::number(row + 1);
        QComboBox* attribute = new QComboBox(panelMultiFilter_);
        attribute->setObjectName(QStringLiteral("ComboBoxFilter") + number);
        attribute->setAccessibleName(QStringLiteral("Filter %1 attribute").arg(number));
        // Sized to its longest name (or the separator line before the
        // auxiliary attributes), the box would widen the window past a small
        // screen; the list it opens still shows the names whole.
        attribute->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        attribute->setMinimumContentsLength(kFilterBoxLength);
        // The three rows' buttons share their captions; their names say the row.
        auto* mustContain = new QRadioButton(QStringLiteral("must contain"), panelMultiFilter_);
        mustContain->setObjectName(QStringLiteral("RadioFilter%1a").arg(number));
        mustContain->setAccessibleName(QStringLiteral("Filter %1 must contain").arg(number));
        auto* mustNot = new QRadioButton(QStringLiteral("must not contain"), panelMultiFilter_);
        mustNot->setObjectName(QStringLiteral("RadioFilter%1b").arg(number));
        mustNot->setAccessibleName(QStringLiteral("Filter %1 must not contain").arg(number));
        auto* pair = new QButtonGroup(panelMultiFilter_);
        pair->addButton(mustContain);
        pair->addButton(mustNot);
        mustContain->setChecked(true);
        QComboBox* value = new QComboBox(panelMultiFilter_);
        value->setObjectName(QStringLiteral("EditFilter") + number);
        value->setEditable(true);
        value->addItems({QString::fromUtf8(report::kFilterNothing),
                         QString::fromUtf8(report::kFilterAnything)});
        value->setCurrentIndex(-1);
        value->setEditText({});
        value->setAccessibleName(QStringLiteral("Filter %1 value").arg(number));
        value->setInsertPolicy(QComboBox::NoInsert);
        value->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        value->setMinimumContentsLength(kFilterBoxLength);
        grid->addWidget(attribute, row, 0);
        grid->addWidget(mustContain, row, 1);
        grid->addWidget(mustNot, row, 2);
        grid->addWidget(value, row, 3);
        grid->setColumnStretch(0, 2);
        grid->setColumnStretch(3, 2);
        comboBoxFilter_[k] = attribute;
        editFilter_[k] = value;
        radioFilterA_[k] = mustContain;
        radioFilterB_[k] = mustNot;
        connect(attribute, &QComboBox::currentTextChanged, this,
                [this, attribute] { FilterChange(attribute); });
        // The text the person last left in the box is the one kept.
        connect(value, &QComboBox::currentTextChanged, this,
                [this, value] { FilterChange(value); });
        connect(mustContain, &QRadioButton::toggled, this,
                [this, mustContain] { FilterChange(mustContain); });
    }
    panelMultiFilter_->setVisible(false);
    return panelMultiFilter_;
}

QWidget* TMainForm::BuildResultsTab() {
    auto* tab = Named(new QWidget, "TabSheetResults");
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = Named(new QSplitter(Qt::Vertical, tab), "SplitterResults");
    auto* grid = Named(new ResultsGrid(splitter), "GridResults");
    gridResults_ = grid;
    resultsModel_ = new ResultTableModel(run_.Table(), this);
    gridResults_->setModel(resultsModel_);
    gridResults_->setAccessibleName(QStringLiteral("Results"));
    SetHint(gridResults_, QStringLiteral("Right-Click for options"));
    gridResults_->setContextMenuPolicy(Qt::CustomContextMenu);
    gridResults_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridResults_->setSelectionMode(QAbstractItemView::SingleSelection);
    gridResults_->setSelectionBehavior(QAbstractItemView::SelectItems);
    // Tab leaves the grid; the arrow keys move between its cells.
    gridResults_->setTabKeyNavigation(false);
    gridResults_->setWordWrap(false);
    gridResults_->setTextElideMode(Qt::ElideRight);
    // The columns stay in the table's order: the export and the sort menu
    // number them as the table holds them, so they cannot be dragged around.
    gridResults_->horizontalHeader()->setSectionsMovable(false);
    gridResults_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    gridResults_->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    gridResults_->verticalHeader()->setVisible(false);

    auto* bottom = Named(new WrappingRow(splitter), "PanelResultsBottom");
    radioGroupOutputType_ =
        Named(new QGroupBox(QStringLiteral("O&utput Type"), bottom), "RadioGroupOutputType");
    SetHint(radioGroupOutputType_, QString::fromUtf8(report::kOutputTypeHint));
    auto* radios = new QGridLayout(radioGroupOutputType_);
    outputTypeButtons_ = new QButtonGroup(radioGroupOutputType_);
    for (size_t k = 0; k < report::kOutputTypeCaptions.size(); ++k) {
        auto* radio = new QRadioButton(QString::fromUtf8(report::kOutputTypeCaptions[k]),
                                       radioGroupOutputType_);
        radio->setObjectName(QStringLiteral("RadioGroupOutputType%1").arg(k));
        outputTypeButtons_->addButton(radio, static_cast<int>(k));
        radios->addWidget(radio, static_cast<int>(k) / 4, static_cast<int>(k) % 4);
    }
    outputTypeButtons_->button(0)->setChecked(true);
    buttonSave_ = Named(new QPushButton(bottom), "ButtonSave");
    bitBtn1_ =
        Named(new QPushButton(QString::fromUtf8(report::kRefreshCaption), bottom), "BitBtn1");
    SetHint(bitBtn1_, QStringLiteral("Start scanning for the selected class"));
    bottom->AddLeading(radioGroupOutputType_);
    bottom->AddTrailing(buttonSave_);
    bottom->AddTrailing(bitBtn1_);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    layout->addWidget(splitter);

    connect(bitBtn1_, &QPushButton::clicked, this, [this] { ActionReportByTypeExecute(); });
    connect(gridResults_, &QTableView::clicked, this,
            [this](const QModelIndex& index) { GridResultsClick(index); });
    connect(gridResults_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { GridResultsDblClick(index); });
    // Return or Enter does what a double click does; the grid lets through
    // only the activations that come from those keys.
    connect(grid, &ResultsGrid::CellChosenWithKeys, this,
            [this](const QModelIndex& index) { GridResultsDblClick(index); });
    connect(gridResults_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { GridResultsSelectCell(current); });
    connect(gridResults_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { PopupResultsPopup(position); });
    return tab;
}

QAction* TMainForm::MakeAction(const char* name, const QString& caption, const QString& category) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setProperty("category", category);
    addAction(action);
    return action;
}

void TMainForm::BuildActions() {
    const QString file = QStringLiteral("File");
    const QString edit = QStringLiteral("Edit");
    const QString reportCategory = QStringLiteral("Report");
    actionRescanTrees_ = MakeAction("ActionRescanTrees", QStringLiteral("Rescan &Trees"), file);
    actionQuit_ = MakeAction("ActionQuit", QStringLiteral("&Quit"), file);
    actionQuit_->setShortcut(QKeySequence::Quit);
    actionSettings_ = MakeAction("ActionSettings", QStringLiteral("&Settings"), edit);
    actionSettings_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+S")));
    actionFont_ = MakeAction("ActionFont", QStringLiteral("&Font"), edit);
    actionFont_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+F")));
    actionClearEmptyFields_ =
        MakeAction("ActionClearEmptyFields", QStringLiteral("Clear &Empty Fields"), reportCategory);
    actionStoreResults_ =
        MakeAction("ActionStoreResults", QStringLiteral("E&xport Results ..."), reportCategory);
    actionStoreReportSpec_ = MakeAction("ActionStoreReportSpec",
                                        QStringLiteral("Store Report S&pec ..."), reportCategory);
    actionLoadReportSpec_ =
        MakeAction("ActionLoadReportSpec", QStringLiteral("Run Sa&ved Report ..."), reportCategory);
    actionReportByType_ =
        MakeAction("ActionReportByType", QStringLiteral("Report by Object &Type"), reportCategory);
    actionReportByObject_ =
        MakeAction("ActionReportByObject", QStringLiteral("Report on One &Object"), reportCategory);
    actionReportOnSelectedObject_ =
        MakeAction("ActionReportOnSelectedObject", QStringLiteral("Report on sele&cted object"),
                   reportCategory);
    actionObjectDelete_ = MakeAction("ActionObjectDelete", QStringLiteral("&Delete Object"),
                                     QStringLiteral("Objects"));
    actionCellDetails_ =
        MakeAction("ActionCellDetails", QStringLiteral("Cell &Details ..."), reportCategory);
    actionCellDetails_->setStatusTip(
        QStringLiteral("Show the selected cell in full (Enter or double-click)"));
    actionSchemaGetClassInfo_ =
        MakeAction("ActionSchemaGetClassInfo", QStringLiteral("Get Class &Information"),
                   QStringLiteral("Schema"));
    actionCheckUpdates_ = MakeAction("ActionCheckUpdates", QStringLiteral("Check for &Updates"),
                                     QStringLiteral("Help"));
    actionVisitWeb_ =
        MakeAction("ActionVisitWeb", HelpMenu::VisitCaption(), QStringLiteral("Help"));
    actionAbout_ = MakeAction("ActionAbout", QStringLiteral("&About"), QStringLiteral("Help"));

    // The button is enabled by the run (SaveEnabled), the action when a menu
    // opens: the button does not wait for a menu to have opened since.
    buttonSave_->setText(actionStoreResults_->text());
    connect(buttonSave_, &QPushButton::clicked, this, [this] { ActionStoreResultsExecute(); });

    connect(actionRescanTrees_, &QAction::triggered, this, [this] { ActionRescanClick(); });
    connect(actionQuit_, &QAction::triggered, this, &QWidget::close);
    connect(actionSettings_, &QAction::triggered, this, &TMainForm::SettingsRequested);
    connect(actionFont_, &QAction::triggered, this, &TMainForm::FontRequested);
    connect(actionCheckUpdates_, &QAction::triggered, this, &TMainForm::UpdateCheckRequested);
    connect(actionVisitWeb_, &QAction::triggered, this, &TMainForm::VisitWebRequested);
    connect(actionAbout_, &QAction::triggered, this, &TMainForm::AboutRequested);
    connect(actionClearEmptyFields_, &QAction::triggered, this,
            [this] { ActionClearEmptyFieldsClick(); });
    connect(actionStoreResults_, &QAction::triggered, this,
            [this] { ActionStoreResultsExecute(); });
    connect(actionStoreReportSpec_, &QAction::triggered, this,
            [this] { ActionStoreReportSpecClick(); });
    connect(actionLoadReportSpec_, &QAction::triggered, this,
            [this] { ActionLoadReportSpecClick(); });
    connect(actionReportByType_, &QAction::triggered, this,
            [this] { ActionReportByTypeExecute(); });
    connect(actionReportByObject_, &QAction::triggered, this,
            [this] { ActionReportByObjectExecute(); });
    connect(actionReportOnSelectedObject_, &QAction::triggered, this,
            [this] { ActionReportOnSelectedObjectExecute(); });
    connect(actionObjectDelete_, &QAction::triggered, this,
            [this] { ActionObjectDeleteExecute(); });
    connect(actionSchemaGetClassInfo_, &QAction::triggered, this,
            [this] { ActionSchemaGetClassInfoExecute(); });
    connect(actionCellDetails_, &QAction::triggered, this,
            [this] { GridResultsDblClick(gridResults_->currentIndex()); });
}

void TMainForm::BuildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* fileMenu = bar->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("MenuFile"));
    fileMenu->addActions({actionRescanTrees_, actionQuit_});
    QMenu* editMenu = bar->addMenu(QStringLiteral("&Edit"));
    editMenu->setObjectName(QStringLiteral("MenuEdit"));
    editMenu->addActions({actionSettings_, actionFont_});
    // What the pop-up menus offer is in the menu bar too, where the keys and
    // a screen reader find it.
    editMenu->addSeparator();
    editMenu->addAction(actionObjectDelete_);
    QMenu* reportMenu = bar->addMenu(QStringLiteral("&Report"));
    reportMenu->setObjectName(QStringLiteral("MenuReport"));
    reportMenu->addAction(actionLoadReportSpec_);
    QMenu* helpMenu = bar->addMenu(QStringLiteral("&Help"));
    helpMenu->setObjectName(QStringLiteral("MenuHelp"));
    helpMenu->addActions({actionCheckUpdates_, actionVisitWeb_, actionAbout_});

    popupResults_ = Named(new QMenu(this), "PopupResults");
    popupHideEmptyFields_ = popupResults_->addAction(QStringLiteral("Hide &Empty Fields"));
    popupHideEmptyFields_->setObjectName(QStringLiteral("PopupHideEmptyFields"));
    connect(popupHideEmptyFields_, &QAction::triggered, actionClearEmptyFields_, &QAction::trigger);
    popupSortResults_ =
        Named(popupResults_->addMenu(QStringLiteral("&Sort Results ...")), "PopupSortResults");
    popupExportResults_ =
        Named(popupResults_->addMenu(actionStoreResults_->text()), "PopupExportResults");
    for (const report::ExportMenuEntry& entry : report::ExportMenuEntries()) {
        QAction* item = popupExportResults_->addAction(QString::fromStdString(entry.caption));
        item->setStatusTip(QString::fromStdString(entry.hint));
        item->setToolTip(QString::fromStdString(entry.hint));
        item->setData(entry.tag);
        const int tag = entry.tag;
        connect(item, &QAction::triggered, this, [this, tag] { PopupSaveClick(tag); });
    }
    popupResults_->addSeparator();
    popupResults_->addActions({actionStoreReportSpec_, actionLoadReportSpec_});
    popupResults_->addSeparator();
    popupResults_->addActions({actionReportByType_, actionReportByObject_});
    popupResults_->addSeparator();
    popupResults_->addAction(actionReportOnSelectedObject_);
    popupResults_->addAction(actionCellDetails_);

    // The grid's commands follow the Report menu's first entry; the sort
    // sub-menu is the pop-up menu's own.
    reportMenu->addAction(actionStoreReportSpec_);
    reportMenu->addSeparator();
    reportMenu->addActions(
        {actionReportByType_, actionReportByObject_, actionReportOnSelectedObject_});
    reportMenu->addSeparator();
    reportMenu->addAction(actionCellDetails_);
    reportMenu->addMenu(popupSortResults_);
    reportMenu->addAction(actionClearEmptyFields_);
    reportMenu->addAction(actionStoreResults_);
    reportMenu->addSeparator();
    reportMenu->addAction(actionSchemaGetClassInfo_);
    connect(reportMenu, &QMenu::aboutToShow, this, [this] { PrepareResultsCommands(); });
    EnableResultsCommands(false);

    popupAttrChecklist_ = Named(new QMenu(this), "PopupAttrChecklist");
    popupCheckAll_ = popupAttrChecklist_->addAction(QStringLiteral("Check All"));
    popupUncheckAll_ = popupAttrChecklist_->addAction(QStringLiteral("Uncheck All"));
    popupCheckMandatory_ = popupAttrChecklist_->addAction(QStringLiteral("Check Mandatory"));
    QMenu* saveList = popupAttrChecklist_->addMenu(QStringLiteral("Save List as .."));
    popupSaveList_ = saveList->menuAction();
    for (QAction* command : {popupCheckAll_, popupUncheckAll_, popupCheckMandatory_}) {
        connect(command, &QAction::triggered, this,
                [this, command] { ActionListAttrClick(popupList_, command->text()); });
    }
    for (const char* kind : {"txt", "html", "xml", "xls"}) {
        QAction* item = saveList->addAction(QString::fromLatin1(kind));
        connect(item, &QAction::triggered, this,
                [this, item] { ActionListAttrClick(popupList_, item->text()); });
    }
    // The Report menu gives the action another key: there "C" is "Report
    // on sele&cted object"'s.
    auto* classInfo = popupAttrChecklist_->addAction(QStringLiteral("Get &Class Information"));
    classInfo->setObjectName(QStringLiteral("PopupClassGetInformation"));
    connect(classInfo, &QAction::triggered, actionSchemaGetClassInfo_, &QAction::trigger);
    connect(listObjType_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { PopupAttrChecklistPopup(listObjType_, position); });
    connect(
        checkListAllProps_, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& position) { PopupAttrChecklistPopup(checkListAllProps_, position); });

    popupMenuObjectAction_ = Named(new QMenu(this), "PopupMenuObjectAction");
    popupMenuObjectAction_->addActions({actionReportByObject_, actionObjectDelete_});
    connect(listBoxObjects_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) {
                popupMenuObjectAction_->popup(listBoxObjects_->viewport()->mapToGlobal(position));
            });

    popupMenuRefresh_ = Named(new QMenu(this), "PopupMenuRefresh");
    QAction* refresh = popupMenuRefresh_->addAction(QStringLiteral("Refresh"));
    refresh->setObjectName(QStringLiteral("PopupRefresh"));
    connect(refresh, &QAction::triggered, this, [this] {
        if (QTreeWidgetItem* node = dsTree_->GetCurrentNode())
            dsTree_->NodeReloadSubordinates(node);
    });
    connect(dsTree_->TreeView(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) {
                QTreeWidget* view = dsTree_->TreeView();
                // A right click selects the node it falls on.
                if (QTreeWidgetItem* node = view->itemAt(position)) view->setCurrentItem(node);
                popupMenuRefresh_->popup(view->viewport()->mapToGlobal(position));
            });
}

void TMainForm::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(true);
    const std::array<int, kStatusPanels> designWidths = {250, 400, 50};
    for (size_t i = 0; i < statusPanels_.size(); ++i) {
        // A text wider than its panel is cut with "…" and shown whole when
        // pointed at.
        auto* panel = new ElidingLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setMinimumWidth(designWidths[i] / 5);
        panel->setTextInteractionFlags(Qt::TextSelectableByMouse);
        bar->addWidget(panel, designWidths[i]);
        statusPanels_[i] = panel;
    }
}

}  // namespace vellrun::ui
