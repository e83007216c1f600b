// The main window over the bundled sample directory, driven as a person
// would: trees, containers and object types, ticks and filters that survive a
// restart, runs by type compared with the console, cancel, the results
// operations and exports, saved reports from the menu and the command line,
// schema reports, delete with its question.

#include "DialogTestSupport.h"
#include "UiTestSupport.h"
#include "client/ClientFactory.h"
#include "exports/ExportFormats.h"
#include "platform/IniFile.h"
#include "report/ReportStart.h"
#include "report/TreeInformation.h"
#include "support/DirectoryTestBed.h"
#include "support/SpyClient.h"
#include "support/TempDir.h"
#include "ui/DesktopSession.h"
#include "ui/DialogScript.h"
#include "ui/ElidingLabel.h"
#include "ui/HelpMenu.h"
#include "ui/LoadProgressWindow.h"
#include "ui/QtMessagePort.h"
#include "ui/ResultTableModel.h"
#include "ui/ResultsGrid.h"
#include "ui/TDlgSettings.h"
#include "ui/TFormAttrDetail.h"
#include "ui/TMainForm.h"
#include "ui/TSplash.h"
#include "ui/TransferProgress.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

namespace vellrun::ui {
namespace {

using Kind = DialogScript::Kind;
namespace fs = std::filesystem;

const fs::path kData = VELLRUN_TEST_DATA_DIR;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { DialogScript::Begin(); }
    void TearDown() override {
        session_.reset();
        DialogScript::End();
        ::unsetenv("VELLRUN_UPDATE_URL");
    }

    // Starts the program on the sample with this test's INI file and waits
    // until the trees are shown and the window has come back to its place.
    // With spying given, the session's client is a SpyClient over the
    // image's, which spying sets up before anything is read.
    TMainForm* Start(TMainForm::Options options = {}, bool show = true,
                     const std::function<void(testing::SpyClient&)>& spying = {}) {
        client::ClientOptions client;
        client.image = image_;
        std::unique_ptr<client::DirectoryClient> made = client::MakeDirectoryClient(client);
        if (spying) {
            inner_ = std::move(made);
            auto spy = std::make_unique<testing::SpyClient>(*inner_);
            spying(*spy);
            made = std::move(spy);
        }
        session_ = std::make_unique<DesktopSession>(std::move(made));
        options.settingsFile = ini_;
        // The source tree stands for the executables' folder: its data/ is
        // the one the build copies.
        options.infoFolder = kData.parent_path();
        EXPECT_TRUE(session_->Start(options));
        form_ = session_->MainForm();
        if (show) {
            form_->show();
            EXPECT_TRUE(testing::ProcessEventsUntil(
                [this] { return form_->DSTree()->TreeCount() == trees_ && form_->CurrentTree(); }));
        }
        return form_;
    }
    void Restart() {
        form_->close();
        session_.reset();
        Start();
    }

    template <typename Widget>
    Widget* Find(const char* name) const {
        auto* widget = form_->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void GoTo(const std::string& container) {
        ASSERT_TRUE(form_->DSTree()->SelectPath("CORP", container));
        ASSERT_EQ(form_->CurrentContainer(), container);
    }
    void ChooseType(const QString& type) {
        auto* types = Find<QListWidget>("ListObjType");
        const auto found = types->findItems(type, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << type.toStdString();
        types->setCurrentItem(found.first());
        ASSERT_EQ(form_->CurrentObjectType(), type.toStdString());
    }
    QListWidgetItem* Attribute(const QString& name) const {
        const auto found =
            Find<QListWidget>("CheckListAllProps")->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }
    void Tick(const QString& name) {
        QListWidgetItem* item = Attribute(name);
        ASSERT_NE(item, nullptr) << name.toStdString();
        item->setCheckState(Qt::Checked);
    }
    std::vector<std::string> Ticked() const {
        std::vector<std::string> names;
        auto* list = Find<QListWidget>("CheckListAllProps");
        for (int k = 0; k < list->count(); ++k) {
            if (list->item(k)->checkState() == Qt::Checked)
                names.push_back(list->item(k)->text().toStdString());
        }
        return names;
    }
    // The grid as the person sees it: header, then every row.
    std::vector<std::vector<std::string>> Grid() const {
        std::vector<std::vector<std::string>> rows;
        const QAbstractItemModel* model = form_->GridResults()->model();
        std::vector<std::string> header;
        for (int c = 0; c < model->columnCount(); ++c)
            header.push_back(model->headerData(c, Qt::Horizontal).toString().toStdString());
        rows.push_back(header);
        for (int r = 0; r < model->rowCount(); ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < model->columnCount(); ++c)
                row.push_back(model->index(r, c).data().toString().toStdString());
            rows.push_back(row);
        }
        return rows;
    }
    // A recursive report by type from the current container, run from its button.
    void RunRecursive(const QString& type, std::initializer_list<const char*> ticks) {
        ChooseType(type);
        for (const char* name : ticks)
            Tick(QString::fromUtf8(name));
        Find<QCheckBox>("CheckBoxRecurse")->setChecked(true);
        QTest::mouseClick(Find<QPushButton>("ButtonRun"), Qt::LeftButton);
        ASSERT_FALSE(form_->Run().ReportRunning());
    }
    void RunUsers() {
        GoTo(".Corp");
        RunRecursive("User", {"Full Name", "Title"});
    }

    testing::TempDir dir_{"vellrun-window"};
    fs::path ini_ = dir_ / "vellrun.ini";
    fs::path image_ = kData / "sample-directory.json";
    size_t trees_ = 3;
    std::unique_ptr<client::DirectoryClient> inner_;  // outlives the session that uses it
    std::unique_ptr<DesktopSession> session_;
    TMainForm* form_ = nullptr;
};

TEST_F(MainWindowTest, LayoutNamesCaptionsMenusAndHints) {
    Start();
    auto* tabs = Find<QTabWidget>("PageControl");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "&Info");
    EXPECT_EQ(tabs->tabText(1), "Select &Container; Single-Object Report");
    EXPECT_EQ(tabs->tabText(2), "&Multi-Object Report");
    EXPECT_FALSE(tabs->isTabVisible(3));
    EXPECT_EQ(tabs->currentIndex(), 1);
    for (const char* name : {"ListBoxObjects",
                             "DSTree",
                             "ListObjType",
                             "CheckListAllProps",
                             "PanelMultiFilter",
                             "PanelMultiBottom",
                             "ComboBoxFilter3",
                             "EditFilter2",
                             "RadioFilter1a",
                             "RadioFilter3b",
                             "GridResults",
                             "RadioGroupOutputType",
                             "ButtonSave",
                             "BitBtn1",
                             "Memo1",
                             "BitBtnWeb",
                             "BitBtnSchemaClasses",
                             "BitBtnSchemaAttributes",
                             "Splitter2",
                             "Splitter3"}) {
        EXPECT_NE(form_->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
    EXPECT_EQ(Find<QPushButton>("ButtonRun")->text(), "&Object Report");
    EXPECT_EQ(Find<QPushButton>("ButtonSave")->text(), "E&xport Results ...");
    EXPECT_EQ(Find<QCheckBox>("CheckBoxRecurse")->text(), "&Recurse into Subcontainers");
    EXPECT_TRUE(Find<QWidget>("PanelMultiFilter")->isHidden());
    EXPECT_EQ(Find<QWidget>("GridResults")->toolTip(), "Right-Click for options");

    // The menus in order, the export sub-menu from the output types.
    QStringList menus;
    for (QAction* menu : form_->menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Edit", "&Report", "&Help"}));
    auto* exportMenu = Find<QMenu>("PopupExportResults");
    QStringList exportsShown;
    for (QAction* entry : exportMenu->actions())
        exportsShown << entry->text();
    EXPECT_EQ(exportsShown, (QStringList{".. as &CSV", ".. as MS &Excel", ".. as Clip&board",
                                         ".. as &HTML", ".. as &XML"}));
    EXPECT_EQ(form_->findChild<QAction*>("ActionSettings")->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Alt+S")));

    // In every menu and pop-up menu, each access key chooses one entry.
    for (QMenu* menu : form_->findChildren<QMenu*>()) {
        std::map<QChar, QString> keys;
        for (QAction* entry : menu->actions()) {
            const QKeySequence key = QKeySequence::mnemonic(entry->text());
            if (key.isEmpty()) continue;
            const QChar letter = key.toString().back().toUpper();
            EXPECT_TRUE(keys.emplace(letter, entry->text()).second)
                << menu->title().toStdString() << ": " << entry->text().toStdString() << " and "
                << keys[letter].toStdString();
        }
    }

    // A hint goes to the first status panel; the others keep their texts.
    const QString tree = form_->StatusPanels()[1]->text();
    QStatusTipEvent tip(Find<QWidget>("ButtonRun")->statusTip());
    QCoreApplication::sendEvent(form_, &tip);
    EXPECT_EQ(form_->StatusPanels()[0]->text(), "Start scanning for the selected class");
    EXPECT_EQ(form_->StatusPanels()[1]->text(), tree);
    // Names in the panels are shown as they are: markup in a container's
    // name does not turn into a heading that makes the bar taller.
    QLabel* panel = form_->StatusPanels()[2];
    panel->setText(QStringLiteral("PAYROLL"));
    const int plainHeight = panel->sizeHint().height();
    panel->setText(QStringLiteral("<h1>PAYROLL</h1>"));
    EXPECT_EQ(panel->sizeHint().height(), plainHeight);
    // The Info tab shows the bundled text.
    EXPECT_FALSE(Find<QPlainTextEdit>("Memo1")->toPlainText().startsWith("Could not find"));
}

// The web site the program is given is the one the window names and opens
// everywhere, and an address that no browser opens is told, not dropped.
TEST_F(MainWindowTest, TheGivenWebSiteIsShownAndOpenedAndAFailedOpenIsTold) {
    ::setenv("VELLRUN_UPDATE_URL", "http://127.0.0.1:9/", 1);
    Start();
    const std::string address = "http://127.0.0.1:9";
    EXPECT_EQ(Find<QAction>("ActionVisitWeb")->text().toStdString(), "&Visit 127.0.0.1:9");
    EXPECT_EQ(Find<QPushButton>("BitBtnWeb")->text().toStdString(), address);
    EXPECT_EQ(form_->StatusPanels()[0]->text().toStdString(), address);
    {
        testing::OpenedFiles opened({QStringLiteral("http")});
        Find<QAction>("ActionVisitWeb")->trigger();
        ASSERT_EQ(opened.Urls().size(), 1u);
        EXPECT_EQ(opened.Urls()[0].toString().toStdString(), address);
    }
    testing::OpenedFiles refused({QStringLiteral("http"), QStringLiteral("https")},
                                 testing::OpenedFiles::Answer::DoesNotOpen);
    Find<QPushButton>("BitBtnWeb")->click();
    Find<QPushButton>("BitBtnSupport")->click();
    EXPECT_EQ(
        DialogScript::Texts(Kind::Plain),
        (std::vector<std::string>{"Cannot open http://127.0.0.1:9",
                                  "Cannot open https://forum.vellrun.example.org/edirectory"}));
}

// A status text wider than its panel is cut with "…" where it shows, and
// shown whole when the panel is pointed at; a screen reader and the program
// still read the whole text.
TEST_F(MainWindowTest, AStatusTextTooLongForItsPanelIsCutAndShownWholeWhenPointedAt) {
    Start();
    form_->resize(800, 600);
    QCoreApplication::processEvents();
    auto* panel = dynamic_cast<ElidingLabel*>(form_->StatusPanels()[0]);
    ASSERT_NE(panel, nullptr);
    const QString hint = Find<QWidget>("ListBoxObjects")->statusTip();
    QStatusTipEvent tip(hint);
    QCoreApplication::sendEvent(form_, &tip);
    ASSERT_GT(panel->fontMetrics().horizontalAdvance(hint), panel->contentsRect().width());
    EXPECT_EQ(panel->text(), hint);
    const QString shown = panel->ShownText();
    ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(hint.startsWith(shown.chopped(1))) << shown.toStdString();
    EXPECT_LE(panel->fontMetrics().horizontalAdvance(shown), panel->contentsRect().width());
    QHelpEvent pointed(QEvent::ToolTip, QPoint(4, 4), panel->mapToGlobal(QPoint(4, 4)));
    QCoreApplication::sendEvent(panel, &pointed);
    EXPECT_EQ(QToolTip::text(), hint);
    QToolTip::hideText();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Name), hint);
    // A text that fits shows as it is.
    QStatusTipEvent fits(QStringLiteral("Ready"));
    QCoreApplication::sendEvent(form_, &fits);
    EXPECT_EQ(panel->ShownText(), "Ready");
}

TEST_F(MainWindowTest, TypesTicksFilterAndPlaceSurviveARestart) {
    Start();
    GoTo(".Sales.Corp");
    EXPECT_GT(form_->ListBoxObjects()->count(), 0);
    auto* types = Find<QListWidget>("ListObjType");
    EXPECT_EQ(types->item(0)->text(), "*");
    // No memory yet: "User" is chosen.
    EXPECT_EQ(form_->CurrentObjectType(), "User");
    ASSERT_NE(Attribute("DSI: Parent"), nullptr);
    ASSERT_NE(Attribute(QString::fromStdString(report::AuxSeparatorLine())), nullptr);

    // The checklist commands.
    form_->ActionListAttrClick(Find<QListWidget>("CheckListAllProps"), "Check All");
    EXPECT_EQ(Ticked().size(),
              static_cast<size_t>(Find<QListWidget>("CheckListAllProps")->count() - 1));
    form_->ActionListAttrClick(Find<QListWidget>("CheckListAllProps"), "Uncheck All");
    EXPECT_TRUE(Ticked().empty());
    ChooseType("Group");
    form_->ActionListAttrClick(Find<QListWidget>("CheckListAllProps"), "Check Mandatory");
    EXPECT_EQ(Ticked(), (std::vector<std::string>{"CN", "Object Class"}));
    form_->ActionListAttrClick(Find<QListWidget>("CheckListAllProps"), "Uncheck All");

    Tick("Member");
    Tick("Description");
    form_->ListAllPropsExit();
    // The filter panel writes each change at once.
    auto* filter = Find<QCheckBox>("CheckBoxFilter");
    filter->setChecked(true);
    EXPECT_FALSE(Find<QWidget>("PanelMultiFilter")->isHidden());
    Find<QComboBox>("ComboBoxFilter1")->setCurrentText("Description");
    Find<QComboBox>("EditFilter1")->setEditText("[anything]");
    Find<QRadioButton>("RadioFilter1b")->setChecked(true);
    // Another type has its own, empty filter and its own ticks.
    ChooseType("User");
    EXPECT_FALSE(filter->isChecked());
    EXPECT_TRUE(Ticked().empty());
    ChooseType("Group");
    EXPECT_TRUE(filter->isChecked());
    EXPECT_EQ(Find<QComboBox>("EditFilter1")->currentText(), "[anything]");
    EXPECT_TRUE(Find<QRadioButton>("RadioFilter1b")->isChecked());

    form_->setGeometry(40, 50, 770, 610);
    Find<QCheckBox>("CheckBoxRecurse")->setChecked(true);
    Restart();
    EXPECT_EQ(form_->CurrentTree()->treeName, "CORP");
    EXPECT_EQ(form_->CurrentContainer(), ".Sales.Corp");
    EXPECT_EQ(form_->CurrentObjectType(), "Group");
    EXPECT_EQ(Ticked(), (std::vector<std::string>{"Description", "Member"}));
    EXPECT_EQ(form_->SelectedAttributes(), (std::vector<std::string>{"Description", "Member"}));
    EXPECT_TRUE(Find<QCheckBox>("CheckBoxFilter")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("CheckBoxRecurse")->isChecked());
    EXPECT_EQ(form_->size(), QSize(770, 610));
    EXPECT_GT(form_->ListBoxObjects()->count(), 0);
}

// A settings file the window cannot write (read-only, refused to root as to
// anyone) is named in one box for a burst of failed writes, not one per
// tick; the ticks and filter panel it would not take stay with their class
// for the session, and reach the file once it takes writes again.
TEST_F(MainWindowTest, FailedSettingsWritesAreToldOnceAndKeptForTheSession) {
    testing::WriteFile(ini_, "[Settings]\n");
    Start();
    GoTo(".Sales.Corp");
    ChooseType("Group");
    fs::permissions(ini_, fs::perms::owner_read);
    Tick("Member");
    Tick("Description");
    form_->ListAllPropsExit();
    auto* filter = Find<QCheckBox>("CheckBoxFilter");
    filter->setChecked(true);
    Find<QComboBox>("ComboBoxFilter1")->setCurrentText("Description");
    ChooseType("User");
    EXPECT_TRUE(Ticked().empty());
    EXPECT_FALSE(filter->isChecked());
    ChooseType("Group");
    EXPECT_EQ(Ticked(), (std::vector<std::string>{"Description", "Member"}));
    EXPECT_TRUE(filter->isChecked());
    EXPECT_EQ(Find<QComboBox>("ComboBoxFilter1")->currentText(), "Description");
    const std::vector<std::string> told = DialogScript::Texts(Kind::Plain);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(ini_.string()), std::string::npos) << told[0];
    EXPECT_EQ(testing::ReadFile(ini_), "[Settings]\n");

    // Writable again: the next change takes the whole panel and the ticks along.
    fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
    Find<QComboBox>("EditFilter1")->setEditText("[anything]");
    Attribute("Member")->setCheckState(Qt::Unchecked);
    form_->ListAllPropsExit();
    platform::IniFile file(ini_);
    EXPECT_EQ(file.ReadValue("Filter: Group", "CheckBoxFilter"), "1");
    EXPECT_EQ(file.ReadValue("Filter: Group", "ComboBoxFilter1"), "Description");
    EXPECT_EQ(file.ReadValue("Filter: Group", "EditFilter1"), "[anything]");
    EXPECT_EQ(file.ReadSection("Object Class: Group"),
              (std::vector<std::pair<std::string, std::string>>{{"0", "Description"}}));
    // A later failure is a new one, told again; so is the save at close.
    fs::permissions(ini_, fs::perms::owner_read);
    filter->setChecked(false);
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).size(), 2u);
    // A save of the settings dialog that reaches the file ends that run too.
    fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
    auto* dialog = form_->findChild<TDlgSettings*>();
    ASSERT_NE(dialog, nullptr);
    testing::WhenModal([dialog] {
        dialog->findChild<QCheckBox*>("CheckBoxAllowAttrEdit")->toggle();
        dialog->ButtonOk()->click();
    });
    form_->findChild<QAction*>("ActionSettings")->trigger();
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).size(), 2u);
    fs::permissions(ini_, fs::perms::owner_read);
    Find<QComboBox>("EditFilter1")->setEditText("[refused]");
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).size(), 3u);
    fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
    Find<QComboBox>("EditFilter1")->setEditText("[nothing]");
    fs::permissions(ini_, fs::perms::owner_read);
    form_->close();
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).size(), 4u);
    fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);

    // Refused, then the class left and the file writable again: the save at
    // close takes the ticks and the panel along, though the class was not
    // edited since.
    session_.reset();
    Start();
    GoTo(".Sales.Corp");
    ChooseType("Group");
    fs::permissions(ini_, fs::perms::owner_read);
    Tick("Member");
    form_->ListAllPropsExit();
    Find<QComboBox>("EditFilter2")->setEditText("[pending]");
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).size(), 5u);
    ChooseType("User");
    fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
    form_->close();
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).size(), 5u);
    platform::IniFile closed(ini_);
    EXPECT_EQ(
        closed.ReadSection("Object Class: Group"),
        (std::vector<std::pair<std::string, std::string>>{{"0", "Description"}, {"1", "Member"}}));
    EXPECT_EQ(closed.ReadValue("Filter: Group", "EditFilter1"), "[nothing]");
    EXPECT_EQ(closed.ReadValue("Filter: Group", "EditFilter2"), "[pending]");
}

// A settings file that is there but cannot be read (a folder, which root
// cannot read either) is not taken for the defaults by a report from the
// command line: it is named and the report does not run. The window says
// once that it goes on with the defaults and keeps nothing.
TEST_F(MainWindowTest, ASettingsFileThatCannotBeReadIsNamedOnce) {
    fs::create_directory(ini_);
    const fs::path stored = dir_ / "users.rpt";
    const fs::path csv = dir_ / "users.csv";
    testing::WriteFile(stored,
                       "[General]\nContainer=Sales.Corp\nTree=CORP\nReport Type=2\n"
                       "[Output]\nType=0\nFile=" +
                           csv.string() + "\n[Attributes]\n0=Surname\n[Object]\nType=User\n");
    TMainForm::Options options;
    options.reportFile = stored.string();
    options.quit = true;
    Start(options, false);
    EXPECT_EQ(form_->ExitCode(), 1);
    const std::string unreadable = "Cannot read \"" + ini_.string() + "\": it is a folder";
    EXPECT_EQ(DialogScript::Texts(Kind::Error),
              (std::vector<std::string>{unreadable + "\nThe report is not run."}));
    EXPECT_FALSE(fs::exists(csv));
    session_.reset();

    Start();
    EXPECT_EQ(DialogScript::Texts(Kind::Error).back(),
              unreadable + "\nThe default settings are used, and nothing is saved.");
    GoTo(".Sales.Corp");
    Tick("Title");
    form_->ListAllPropsExit();
    form_->close();
    EXPECT_EQ(DialogScript::Texts(Kind::Error).size(), 2u);
    EXPECT_TRUE(DialogScript::Texts(Kind::Plain).empty());
    EXPECT_TRUE(fs::is_directory(ini_));
}

// The settings file reads as the window is made, then fails while it comes
// up (a folder in its place for a moment): the window says so once, and
// neither closing nor a later change writes over the tree, place, panes and
// settings page it could not read.
TEST_F(MainWindowTest, ASettingsFileThatFailsAfterTheFirstReadIsNotWrittenOver) {
    const std::string original =
        "[Settings]\nTree=CORP\nOutput=3\nCheckBoxRecurse=1\nPanelLeft.Width=420\n"
        "[Tree: CORP]\nContext=.Sales.Corp\nRecurse=1\n";
    testing::WriteFile(ini_, original);
    Start({}, false);
    const fs::path aside = dir_ / "aside.ini";
    fs::rename(ini_, aside);
    fs::create_directory(ini_);
    form_->show();
    ASSERT_TRUE(testing::ProcessEventsUntil(
        [this] { return form_->DSTree()->TreeCount() == trees_ && form_->CurrentTree(); }));
    fs::remove(ini_);
    fs::rename(aside, ini_);
    EXPECT_EQ(DialogScript::Texts(Kind::Error),
              (std::vector<std::string>{"Cannot read \"" + ini_.string() +
                                        "\": it is a folder\nThe settings are not saved in "
                                        "this session."}));
    GoTo(".Sales.Corp");
    ChooseType("User");
    Tick("Title");
    form_->ListAllPropsExit();
    form_->close();
    session_.reset();
    EXPECT_EQ(DialogScript::Texts(Kind::Error).size(), 1u);
    EXPECT_TRUE(DialogScript::Texts(Kind::Plain).empty());
    EXPECT_EQ(testing::ReadFile(ini_), original);
}

// A container reached with the arrow keys is the one the status bar names
// and the next report runs on, as if it had been clicked.
TEST_F(MainWindowTest, AContainerChosenWithTheKeysIsTheOneReportedOn) {
    Start();
    QTreeWidget* view = form_->DSTree()->TreeView();
    const auto topNamed = [view](const QString& name) {
        const auto found = view->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    };
    QTreeWidgetItem* lab = topNamed("LAB");
    QTreeWidgetItem* corpTree = topNamed("CORP");
    ASSERT_NE(lab, nullptr);
    ASSERT_NE(corpTree, nullptr);
    testing::ClickItem(*view, lab);
    ASSERT_EQ(form_->CurrentTree()->treeName, "LAB");

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Up);
    ASSERT_EQ(view->currentItem(), corpTree);
    QTest::keyClick(view, Qt::Key_Right);
    ASSERT_TRUE(corpTree->isExpanded());
    QTreeWidgetItem* corp = nullptr;
    for (int k = 0; k < corpTree->childCount(); ++k) {
        if (corpTree->child(k)->text(0) == "Corp") corp = corpTree->child(k);
    }
    ASSERT_NE(corp, nullptr);
    for (int k = 0; k < corpTree->childCount() && view->currentItem() != corp; ++k)
        QTest::keyClick(view, Qt::Key_Down);
    ASSERT_EQ(view->currentItem(), corp);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_TRUE(corp->isExpanded());

    EXPECT_TRUE(
        form_->ListBoxObjects()->findItems("Organizational Unit: Sales", Qt::MatchExactly).size() ==
        1);
    EXPECT_EQ(form_->CurrentTree()->treeName, "CORP");
    EXPECT_EQ(form_->CurrentContainer(), ".Corp");
    EXPECT_EQ(form_->StatusPanels()[1]->text().toStdString(), "CORP");
    EXPECT_EQ(form_->StatusPanels()[2]->text().toStdString(), ".Corp");

    // The report runs on CORP's Corp: the few objects of LAB would not fill it.
    RunRecursive("User", {"Full Name"});
    const auto grid = Grid();
    ASSERT_GT(grid.size(), 100u);
    EXPECT_NE(grid[1][0].find("Corp"), std::string::npos) << grid[1][0];
}

// A container whose name holds an escaped dot is found again at the next
// start; after File > Rescan Trees the tree, the status and the next report
// all stay on it.
TEST_F(MainWindowTest, TheContainerComesBackAfterARestartAndARescan) {
    image_ = dir_ / "odd.json";
    std::ofstream(image_) << vellrun::testing::TreesImage({{"ODD", R"([
        {"name": "Odd", "class": "Organization"},
        {"name": "A\\.B.Odd", "class": "Organizational Unit"},
        {"name": "Inner.A\\.B.Odd", "class": "Organizational Unit"},
        {"name": "u1.Inner.A\\.B.Odd", "class": "User", "attributes": {"Surname": "S"}}])"}});
    trees_ = 1;
    Start();
    const std::string inner = R"(.Inner.A\.B.Odd)";
    ASSERT_TRUE(form_->DSTree()->SelectPath("ODD", inner));
    ASSERT_EQ(form_->CurrentContainer(), inner);
    Restart();
    EXPECT_EQ(form_->CurrentContainer(), inner);
    EXPECT_EQ(form_->DSTree()->GetCurrentNodeInfo().fullName, inner);

    Find<QAction>("ActionRescanTrees")->trigger();
    const TNodeInfo shown = form_->DSTree()->GetCurrentNodeInfo();
    EXPECT_EQ(shown.fullName, inner);
    EXPECT_EQ(form_->CurrentTree(), shown.tree);
    EXPECT_EQ(form_->CurrentContainer(), inner);
    EXPECT_EQ(form_->StatusPanels()[2]->text().toStdString(), inner);
    EXPECT_EQ(form_->ListBoxObjects()->findItems("User: u1", Qt::MatchExactly).size(), 1);
    RunRecursive("User", {"Surname"});
    const auto grid = Grid();
    ASSERT_EQ(grid.size(), 2u);
    EXPECT_NE(grid[1][0].find("u1"), std::string::npos) << grid[1][0];
}

// The width of the Multi-Object tab's type list comes back as it was left,
// start after start, whether or not the tab was shown in between.
TEST_F(MainWindowTest, TheTypeListKeepsItsWidthFromStartToStart) {
    Start();
    const auto showTypes = [this] {
        Find<QTabWidget>("PageControl")->setCurrentWidget(Find<QWidget>("TabSheetObjAttr"));
        QCoreApplication::processEvents();
        return Find<QSplitter>("Splitter2")->sizes().value(0);
    };
    // A first run that never shows the tab leaves the designed width.
    Restart();
    EXPECT_EQ(showTypes(), 300);
    auto* splitter = Find<QSplitter>("Splitter2");
    splitter->setSizes({217, splitter->width() - 217 - splitter->handleWidth()});
    QCoreApplication::processEvents();
    const int width = splitter->sizes().value(0);
    ASSERT_EQ(width, 217);

    for (int start = 0; start < 3; ++start) {
        SCOPED_TRACE(start);
        Restart();
        EXPECT_EQ(showTypes(), width);
    }
    // A start that never shows the tab keeps the width too.
    Restart();
    Restart();
    EXPECT_EQ(showTypes(), width);
}

// A report run from the command line comes up on the Results tab, so the
// tree's tab is laid out later: the tree gets its designed width when it
// shows, and a session that never shows it keeps that width, not the width
// of a splitter that was never laid out.
TEST_F(MainWindowTest, TheTreeKeepsItsWidthAfterAReportFromTheCommandLine) {
    const fs::path stored = dir_ / "users.rpt";
    testing::WriteFile(stored,
                       "[General]\nContainer=Corp\nTree=CORP\nReport Type=2\nRecursive=1\n"
                       "[Output]\nType=0\n[Attributes]\n0=Title\n[Object]\nType=User\n");
    TMainForm::Options options;
    options.reportFile = stored.string();
    const auto treeWidth = [this] {
        Find<QTabWidget>("PageControl")->setCurrentWidget(Find<QWidget>("TabSheetSelObj"));
        QCoreApplication::processEvents();
        return Find<QSplitter>("Splitter3")->sizes().value(0);
    };
    Start(options);
    ASSERT_EQ(Find<QTabWidget>("PageControl")->currentWidget(), Find<QWidget>("TabSheetResults"));
    form_->close();
    session_.reset();
    EXPECT_EQ(platform::IniFile(ini_).ReadValue("Settings", "PanelLeft.Width"), "340");
    Start(options);
    EXPECT_EQ(treeWidth(), 340);
}

// A window closed maximised comes back maximised, over the bounds it had
// before; one closed unmaximised comes back so. (The offscreen platform
// does not give a window its normal bounds back when it leaves the
// maximised state, so the test reads them from the window's record.)
TEST_F(MainWindowTest, AMaximisedWindowComesBackMaximised) {
    Start();
    form_->setGeometry(40, 30, 720, 560);
    QCoreApplication::processEvents();
    const QRect normal = form_->geometry();
    form_->showMaximized();
    ASSERT_TRUE(testing::ProcessEventsUntil([this] { return form_->isMaximized(); }));
    Restart();
    EXPECT_EQ(platform::IniFile(ini_).ReadValue("MainForm", "MainForm.Maximized"), "1");
    EXPECT_TRUE(form_->isMaximized());
    EXPECT_EQ(form_->normalGeometry(), normal);
    form_->showNormal();
    ASSERT_TRUE(testing::ProcessEventsUntil([this] { return !form_->isMaximized(); }));
    Restart();
    EXPECT_FALSE(form_->isMaximized());
}

// The window fits an 800-pixel screen with room to spare: no control (the
// filter rows' attribute boxes with their long separator line, the rows of
// buttons) asks for a wider window.
TEST_F(MainWindowTest, TheWindowFitsASmallScreen) {
    Start();
    GoTo(".Corp");
    ChooseType(QStringLiteral("User"));
    Find<QCheckBox>("CheckBoxFilter")->setChecked(true);
    ASSERT_FALSE(Find<QWidget>("PanelMultiFilter")->isHidden());
    auto* attribute = Find<QComboBox>("ComboBoxFilter1");
    ASSERT_NE(attribute->findText(QString::fromStdString(report::AuxSeparatorLine())), -1);
    Find<QTabWidget>("PageControl")->setCurrentWidget(Find<QWidget>("TabSheetObjAttr"));
    QCoreApplication::processEvents();
    // The tabs' pages are stacked: the widest of them sets the minimum.
    EXPECT_LE(form_->minimumSizeHint().width(), 700);
}

// With a large window font the window still fits a screen 1024 pixels wide:
// the rows of buttons under the lists and the grid wrap rather than widen it,
// the filter rows' boxes narrow, and every button and filter control stays
// whole and inside the window.
TEST_F(MainWindowTest, TheWindowFitsASmallScreenWithALargeFont) {
    Start();
    QFont large = form_->font();
    large.setPointSize(20);
    DialogScript::PushFont(large.toString().toStdString());
    emit form_->FontRequested();
    RunUsers();
    Find<QCheckBox>("CheckBoxFilter")->setChecked(true);
    auto* tabs = Find<QTabWidget>("PageControl");
    for (const char* tab : {"TabSheetObjAttr", "TabSheetResults"}) {
        tabs->setCurrentWidget(Find<QWidget>(tab));
        form_->resize(980, 700);
        QCoreApplication::processEvents();
        EXPECT_LE(form_->width(), 980) << tab;
        const QRect inside = form_->rect();
        std::vector<QRect> placed;
        for (auto* button : Find<QWidget>(tab)->findChildren<QPushButton*>()) {
            const QRect at(button->mapTo(form_, QPoint(0, 0)), button->size());
            EXPECT_TRUE(inside.contains(at)) << button->objectName().toStdString();
            EXPECT_GE(button->width(), button->sizeHint().width())
                << button->objectName().toStdString();
            for (const QRect& other : placed)
                EXPECT_FALSE(at.intersects(other)) << button->objectName().toStdString();
            placed.push_back(at);
        }
        EXPECT_GE(placed.size(), 2u) << tab;
    }
    // The filter rows' controls are inside the window too, the buttons whole.
    tabs->setCurrentWidget(Find<QWidget>("TabSheetObjAttr"));
    QCoreApplication::processEvents();
    for (auto* control : Find<QWidget>("PanelMultiFilter")->findChildren<QWidget*>()) {
        if (!control->isVisible() || control->parentWidget()->objectName() != "PanelMultiFilter")
            continue;
        const QRect at(control->mapTo(form_, QPoint(0, 0)), control->size());
        EXPECT_TRUE(form_->rect().contains(at)) << control->objectName().toStdString();
        if (qobject_cast<QRadioButton*>(control) != nullptr) {
            EXPECT_GE(control->width(), control->sizeHint().width())
                << control->objectName().toStdString();
        }
    }
    tabs->setCurrentWidget(Find<QWidget>("TabSheetResults"));
    QCoreApplication::processEvents();
    QWidget* scrollBar = form_->GridResults()->verticalScrollBar();
    ASSERT_TRUE(scrollBar->isVisible());
    EXPECT_TRUE(
        form_->rect().contains(QRect(scrollBar->mapTo(form_, QPoint(0, 0)), scrollBar->size())));
}

TEST_F(MainWindowTest, RunByTypeMatchesTheConsoleThenSortHideAndExport) {
    Start();
    // Refusals first.
    ChooseType("Group");
    QTest::mouseClick(Find<QPushButton>("ButtonRun"), Qt::LeftButton);
    EXPECT_EQ(DialogScript::Texts(Kind::Plain),
              (std::vector<std::string>{"No attributes selected"}));

    RunUsers();
    auto* tabs = Find<QTabWidget>("PageControl");
    EXPECT_TRUE(tabs->isTabVisible(3));
    EXPECT_EQ(tabs->currentIndex(), 3);
    EXPECT_EQ(Find<QPushButton>("ButtonRun")->text(), "&Object Report");
    EXPECT_EQ(Find<QWidget>("GridResults")->toolTip(), "User");
    // Its caption came back while its tab was hidden: back there, it shows whole.
    tabs->setCurrentWidget(Find<QWidget>("TabSheetObjAttr"));
    QCoreApplication::sendPostedEvents();
    EXPECT_GE(Find<QPushButton>("ButtonRun")->width(),
              Find<QPushButton>("ButtonRun")->sizeHint().width());
    tabs->setCurrentIndex(3);
    EXPECT_TRUE(Find<QPushButton>("ButtonSave")->isEnabled());
    const auto grid = Grid();
    ASSERT_GT(grid.size(), 100u);
    EXPECT_EQ(grid[0], (std::vector<std::string>{"DN", "Full Name", "Title"}));
    // The key column stays in place while the others scroll sideways.
    auto* results = dynamic_cast<ResultsGrid*>(form_->GridResults());
    ASSERT_NE(results, nullptr);
    results->resize(300, 200);
    const QPoint keyAt = results->KeyColumn()->pos();
    results->horizontalScrollBar()->setValue(results->horizontalScrollBar()->maximum());
    EXPECT_TRUE(results->KeyColumn()->isVisible());
    EXPECT_EQ(results->KeyColumn()->pos(), keyAt);
    EXPECT_EQ(results->KeyColumn()->model(), results->model());

    // The window's CSV equals the console's for the same report.
    const fs::path windowCsv = dir_ / "window.csv";
    DialogScript::PushFile(windowCsv);
    form_->PopupSaveClick(0);
    QProcess console;
    console.setProcessEnvironment([this] {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(dir_.Path().string()));
        return environment;
    }());
    const fs::path consoleCsv = dir_ / "console.csv";
    console.start(VELLRUN_CLI_PATH,
                  {"--image", QString::fromStdString((kData / "sample-directory.json").string()),
                   "report", "--tree", "CORP", "--container", ".Corp", "--class", "User", "--attr",
                   "Full Name", "--attr", "Title", "--recurse", "--no-typeless", "--file",
                   QString::fromStdString(consoleCsv.string())});
    ASSERT_TRUE(console.waitForFinished(30000));
    ASSERT_EQ(console.exitCode(), 0) << console.readAllStandardError().toStdString();
    EXPECT_EQ(testing::ReadFile(windowCsv), testing::ReadFile(consoleCsv));

    // Sorting by each column keeps the header and orders the rows.
    for (int column = 0; column < 3; ++column) {
        form_->PopupSortResultsClick(column);
        const auto sorted = Grid();
        EXPECT_EQ(sorted[0], grid[0]);
        for (size_t r = 2; r < sorted.size(); ++r) {
            EXPECT_LE(QString::fromStdString(sorted[r - 1][static_cast<size_t>(column)])
                          .compare(QString::fromStdString(sorted[r][static_cast<size_t>(column)]),
                                   Qt::CaseInsensitive),
                      0);
        }
    }
    EXPECT_EQ(form_->Run().CurrentSpec().OrderBy, 2);

    // Hide empty fields drops the users with neither name nor title.
    size_t empty = 0;
    for (size_t r = 1; r < grid.size(); ++r)
        empty += grid[r][1].empty() && grid[r][2].empty() ? 1 : 0;
    form_->ActionClearEmptyFieldsClick();
    EXPECT_EQ(Grid().size(), grid.size() - empty);

    // HTML and XML through the sub-menu equal the core's documents; the
    // clipboard holds the delimited text.
    for (const auto& [tag, name] : {std::pair{3, "out.html"}, std::pair{4, "out.xml"}}) {
        DialogScript::PushFile(dir_ / name);
        form_->PopupSaveClick(tag);
        EXPECT_TRUE(fs::exists(dir_ / name)) << name;
    }
    EXPECT_NE(testing::ReadFile(dir_ / "out.html").find("<td>"), std::string::npos);
    form_->PopupSaveClick(2);
    const exports::Delimiters delimiters{form_->Settings().FieldDelimiter,
                                         form_->Settings().ValueDelimiter,
                                         form_->Settings().QuoteChar};
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
              exports::TableToDelimitedText(form_->Run().Table(), delimiters));

    // The spreadsheet target writes a new workbook in the cache folder and
    // hands it to the desktop to open.
    const QByteArray cacheBefore = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(dir_.Path().string()));
    testing::OpenedFiles opened;
    form_->PopupSaveClick(1);
    qputenv("XDG_CACHE_HOME", cacheBefore);
    ASSERT_EQ(opened.Urls().size(), 1u);
    const fs::path workbook = opened.Urls()[0].toLocalFile().toStdString();
    EXPECT_EQ(workbook.parent_path(), dir_ / "vellrun/workbooks");
    EXPECT_EQ(workbook.extension(), ".xlsx");
    EXPECT_EQ(testing::ReadFile(workbook).substr(0, 2), "PK");  // a zip package
    EXPECT_TRUE(DialogScript::Texts(Kind::Error).empty());
}

// The name a screen reader speaks for the control. A combo box's name here
// is its current entry, which says what it holds, not what it is for: it is
// named by a label whose buddy it is, or by the name the program gave it.
QString SpokenName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    if (face == nullptr) return {};
    if (qobject_cast<QComboBox*>(widget) == nullptr) return face->text(QAccessible::Name);
    for (const auto& labelled : face->relations(QAccessible::Label)) {
        const QString words = labelled.first->text(QAccessible::Name);
        if (!words.isEmpty()) return words;
    }
    return widget->accessibleName();
}

// The access key a caption marks with "&", or none.
std::optional<QChar> AccessKey(const QString& caption) {
    const QString key = QKeySequence::mnemonic(caption).toString();
    if (key.isEmpty()) return std::nullopt;
    return key.back().toUpper();
}

// The captions whose words the program's design fixes: where two of them mark
// the same key in one window, the key moves between them, each press on to
// the next. Any other caption's key must be its window's own.
bool FixedCaption(const QString& caption) {
    static const QSet<QString> fixed = {
        // The main window's tabs, menus and controls.
        "&Info", "Select &Container; Single-Object Report", "&Multi-Object Report", "&Results",
        "&File", "&Edit", "&Report", "&Help", "&Recurse into Subcontainers", "&Object Report",
        "Schema &Classes", "Schema &Attributes", "O&utput Type", "&CSV", "MS &Excel", "Clip&board",
        "&HTML", "&XML", "E&xport Results ...", "&Refresh",
        // The settings dialog.
        "&General Settings", "Details: Show &General Attribute Info",
        "Details: Show &Object / Attribute Name", "Report: Show Attribute &Time Stamps",
        "Report: Show Attribute Value &Flags", "Allow Attribute &Editing",
        "Maximum Attribute &Size", "&512 Bytes", "&4 kB", "&64 kB", "&no limit", "&Field Delimiter",
        "&Value Delimiter", "&Quote Character", "&Semicolon (;)", "&Comma (,)", "&Pipe (|)",
        "Sl&ash (/)", "&Double Quote (\")", "&Single Quote (')"};
    return fixed.contains(caption);
}

// What a person who cannot see the window meets in it as it stands: each
// control the Tab key reaches without a spoken name, each "&" that reaches
// no control, and each access key that two captions share (unless both are
// fixed), one line each. Empty when the window is sound.
std::vector<std::string> KeyboardFaults(QWidget* window) {
    std::vector<std::string> faults;
    const auto fault = [&faults](const QString& text) { faults.push_back(text.toStdString()); };
    const auto describe = [](const QWidget* widget) {
        return QString::fromLatin1(widget->metaObject()->className()) + " " + widget->objectName();
    };
    std::map<QChar, QStringList> keys;
    const auto mark = [&](const QString& caption, bool reaches, const QWidget* owner) {
        const std::optional<QChar> key = AccessKey(caption);
        if (!key) return;
        if (!reaches) fault("\"" + caption + "\" of " + describe(owner) + " reaches nothing");
        keys[*key].append(caption);
    };
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->window() != window || !widget->isVisible()) continue;
        // A control that hands its focus on (a tab widget to its tabs, a
        // combo box's editor to the box) is spoken as the one it hands to.
        const bool takesTab = (widget->focusPolicy() & Qt::TabFocus) != 0 &&
                              widget->focusProxy() == nullptr &&
                              qobject_cast<QComboBox*>(widget->parentWidget()) == nullptr;
        if (takesTab && SpokenName(widget).isEmpty()) fault(describe(widget) + " has no name");
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            mark(button->text(), true, button);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            mark(label->text(), label->buddy() != nullptr && label->buddy()->isVisible(), label);
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            bool reaches = false;
            for (const QWidget* inside : box->findChildren<QWidget*>())
                reaches =
                    reaches || (inside->isVisible() && (inside->focusPolicy() & Qt::TabFocus));
            mark(box->title(), reaches, box);
        } else if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
            for (int k = 0; k < tabs->count(); ++k) {
                if (tabs->isTabVisible(k)) mark(tabs->tabText(k), true, tabs);
            }
        } else if (auto* bar = qobject_cast<QMenuBar*>(widget)) {
            for (const QAction* menu : bar->actions()) {
                if (!menu->isVisible()) continue;
                mark(menu->text(), true, bar);
                if (menu->menu() == nullptr) continue;
                // An open menu's items are chosen by their own keys.
                std::map<QChar, QStringList> items;
                for (const QAction* item : menu->menu()->actions()) {
                    if (item->isSeparator() || !item->isVisible()) continue;
                    if (const std::optional<QChar> key = AccessKey(item->text()))
                        items[*key].append(item->text());
                    else
                        fault("\"" + item->text() + "\" in " + menu->text() + " has no access key");
                }
                for (const auto& [key, captions] : items) {
                    if (captions.size() > 1)
                        fault(QStringLiteral("%1 in %2 is shared by ").arg(key, menu->text()) +
                              captions.join(" and "));
                }
            }
        }
    }
    for (const auto& [key, captions] : keys) {
        if (captions.size() < 2) continue;
        if (std::all_of(captions.begin(), captions.end(), FixedCaption)) continue;
        fault(QStringLiteral("Alt+%1 is shared by ").arg(key) + captions.join(" and "));
    }
    return faults;
}

// Every window and dialog of the program, opened as a person opens it, in
// each of its states: each control the keyboard reaches has a name a screen
// reader speaks, each "&" reaches a control, and no two captions of one
// window share an access key unless the program's design fixes both.
TEST_F(MainWindowTest, EveryWindowNamesItsControlsAndKeepsItsAccessKeysApart) {
    using Faults = std::vector<std::string>;
    TSplash* splash = TSplash::ShowAtStart();
    splash->SplashProgress(QStringLiteral("Running the report ..."), QStringLiteral(".Corp"));
    EXPECT_EQ(KeyboardFaults(splash), Faults{}) << "splash";
    delete splash;

    Start();
    form_->Settings().AllowAttrEdit = true;
    RunUsers();
    Find<QCheckBox>("CheckBoxFilter")->setChecked(true);
    auto* tabs = Find<QTabWidget>("PageControl");
    for (int k = 0; k < tabs->count(); ++k) {
        tabs->setCurrentIndex(k);
        EXPECT_EQ(KeyboardFaults(form_), Faults{}) << tabs->tabText(k).toStdString();
    }

    TDlgSettings* settings = session_->DlgSettings();
    settings->show();
    EXPECT_EQ(KeyboardFaults(settings), Faults{}) << "settings";
    settings->reject();

    // The detail dialog with each of its edit controls: a text, a flag, a list.
    for (const char* attribute : {"Title", "Login Disabled", "Language"}) {
        ChooseType("User");
        Tick(QString::fromLatin1(attribute));
        QTest::mouseClick(Find<QPushButton>("ButtonRun"), Qt::LeftButton);
        const std::vector<std::string> header = Grid()[0];
        const auto column = std::find(header.begin(), header.end(), attribute) - header.begin();
        ASSERT_LT(static_cast<size_t>(column), header.size()) << attribute;
        TFormAttrDetail* detail = session_->FormAttrDetail();
        testing::WhenModal([detail, attribute] {
            EXPECT_TRUE(detail->PanelAttrEdit()->isVisible()) << attribute;
            EXPECT_EQ(KeyboardFaults(detail), Faults{}) << attribute;
            detail->reject();
        });
        // A row with one value: neither an empty cell nor a list of lines is edited.
        const QAbstractItemModel* model = form_->GridResults()->model();
        const auto editable = [model, column](int row) {
            const QString text = model->index(row, static_cast<int>(column)).data().toString();
            return !text.isEmpty() && !text.contains(QChar('\n'));
        };
        int row = 0;
        while (row + 1 < model->rowCount() && !editable(row))
            ++row;
        emit form_->GridResults()->doubleClicked(model->index(row, static_cast<int>(column)));
    }

    // The boxes the program asks and tells with, and the progress of long work.
    DialogScript::End();
    QtMessagePort& messages = session_->Messages();
    const auto audit = [](const char* what) {
        testing::WhenModal([what] {
            QWidget* box = QApplication::activeModalWidget();
            EXPECT_EQ(KeyboardFaults(box), Faults{}) << what;
            box->close();
        });
    };
    audit("error");
    messages.ErrorBox("Cannot open the file");
    audit("question");
    messages.AskYesNo("Delete the object?", true);
    audit("secret");
    messages.AskSecret("Password for admin:");
    std::unique_ptr<QMessageBox> about = HelpMenu::MakeAboutBox(form_);
    about->show();
    EXPECT_EQ(KeyboardFaults(about.get()), Faults{}) << "about";
    about->close();
    DialogScript::Begin();

    LoadProgressWindow load(std::chrono::milliseconds(0));
    ASSERT_TRUE(load.Report(0, 0));
    EXPECT_EQ(KeyboardFaults(load.Window()), Faults{}) << "load";
    load.Close();
    TransferProgress transfer(form_);
    transfer.PushBusyCursor();
    transfer.Dialog()->show();
    EXPECT_EQ(KeyboardFaults(transfer.Dialog()), Faults{}) << "transfer";
    transfer.PopBusyCursor();
}

// What the mouse reaches, the keys reach: every action is in the menu bar,
// Shift+F10 opens each pop-up menu, Enter does what a double click does (a
// double click opens once, a single click never, whatever the style), Tab
// leaves the grid, and the filter rows' buttons are told apart.
TEST_F(MainWindowTest, TheKeysAndTheMenuBarReachWhatTheMouseReaches) {
    Start();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
    std::set<const QAction*> inMenuBar;
    std::function<void(const QMenu*)> collect = [&](const QMenu* menu) {
        for (QAction* entry : menu->actions()) {
            if (inMenuBar.insert(entry).second && entry->menu()) collect(entry->menu());
        }
    };
    for (QAction* top : form_->menuBar()->actions())
        collect(top->menu());
    for (const QAction* action : form_->actions())
        EXPECT_EQ(inMenuBar.count(action), 1u) << action->objectName().toStdString();
    QSet<QString> spoken;
    for (const QRadioButton* radio :
         Find<QWidget>("PanelMultiFilter")->findChildren<QRadioButton*>())
        spoken.insert(radio->accessibleName());
    EXPECT_EQ(spoken.size(), 6);

    GoTo(".Sales.Corp");
    QListWidget* objects = form_->ListBoxObjects();
    objects->setCurrentItem(objects->findItems("User: ", Qt::MatchStartsWith).value(0));
    QTest::keyClick(objects, Qt::Key_Return);
    ASSERT_EQ(Grid()[0], (std::vector<std::string>{"Attribute Name", "Value"}));

    RunUsers();
    int opened = 0;
    form_->SetAttrDetailOpener([&opened](const auto&, const auto&) { return ++opened, false; });
    QTableView* view = form_->GridResults();
    const QModelIndex cell = view->model()->index(1, 2);
    view->setFocus();
    view->setCurrentIndex(cell);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(opened, 1);
    // As the window system sends a double click: press, release, double click, release.
    const QPoint at = view->visualRect(cell).center();
    const auto doubleClick = [view, at] {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick();
    class ClickActivates : public QProxyStyle {
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                      QStyleHintReturn* returned) const override {
            return hint == SH_ItemView_ActivateItemOnSingleClick
                       ? 1
                       : QProxyStyle::styleHint(hint, option, widget, returned);
        }
    } clickActivates;
    view->setStyle(&clickActivates);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    doubleClick();
    view->setStyle(nullptr);
    EXPECT_EQ(opened, 3);
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), view);

    const std::vector<std::pair<QWidget*, const char*>> menus = {
        {view, "PopupResults"},
        {objects, "PopupMenuObjectAction"},
        {Find<QListWidget>("CheckListAllProps"), "PopupAttrChecklist"},
        {form_->DSTree()->TreeView(), "PopupMenuRefresh"}};
    for (const auto& shown : menus) {
        QTest::keyClick(shown.first, Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_TRUE(Find<QMenu>(shown.second)->isVisible()) << shown.second;
        Find<QMenu>(shown.second)->hide();
    }
}

TEST_F(MainWindowTest, ResizingTheWindowRefitsTheResultColumns) {
    Start();
    form_->resize(1000, 600);
    RunUsers();
    ASSERT_EQ(Find<QTabWidget>("PageControl")->currentIndex(), 3);
    QTableView* grid = form_->GridResults();
    // Short columns share the room a wider window gives them; the key column
    // keeps its width.
    const auto widthsAt = [this, grid](int windowWidth) {
        form_->resize(windowWidth, 600);
        QCoreApplication::processEvents();
        return std::vector<int>{grid->columnWidth(0), grid->columnWidth(1), grid->columnWidth(2)};
    };
    const std::vector<int> narrow = widthsAt(900);
    const std::vector<int> wide = widthsAt(1500);
    EXPECT_EQ(wide[0], narrow[0]);
    for (size_t c : {1u, 2u})
        EXPECT_NEAR(wide[c] - narrow[c], 600 / 3, 4) << c;
    EXPECT_EQ(widthsAt(900), narrow);
}

TEST_F(MainWindowTest, RowsWithSeveralLinesGrowInTheGridAndItsKeyColumn) {
    Start();
    GoTo(".Corp");
    RunRecursive("User", {"Group Membership"});
    auto* grid = dynamic_cast<ResultsGrid*>(form_->GridResults());
    ASSERT_NE(grid, nullptr);
    QCoreApplication::processEvents();
    const QAbstractItemModel* model = grid->model();
    int tall = 0;
    int total = 0;
    for (int r = 0; r < model->rowCount(); ++r) {
        const int lines = static_cast<int>(model->index(r, 1).data().toString().count('\n')) + 1;
        const int height = grid->rowHeight(r);
        total += height;
        EXPECT_EQ(grid->KeyColumn()->rowHeight(r), height) << r;
        if (lines == 1) {
            EXPECT_EQ(height, grid->verticalHeader()->defaultSectionSize()) << r;
        } else {
            ++tall;
            EXPECT_GE(height, std::min(lines, 20) * grid->fontMetrics().lineSpacing()) << r;
        }
    }
    EXPECT_GT(tall, 10);
    // The scroll range covers the grown rows.
    EXPECT_EQ(grid->verticalHeader()->length(), total);
}

// What the grid shows in which column is what an export writes there and
// what the sort menu numbers: its columns cannot be moved.
// The chosen window font reaches the whole grid, its key column and both
// header rows too, with rows one line of it high in both views: after the
// Font dialog, after the next run and after a restart.
TEST_F(MainWindowTest, TheWholeGridShowsTheChosenFont) {
    Start();
    RunUsers();
    QFont large = form_->font();
    large.setPointSize(16);
    DialogScript::PushFont(large.toString().toStdString());
    emit form_->FontRequested();
    const auto expectLarge = [this, &large](const char* when) {
        auto* grid = dynamic_cast<ResultsGrid*>(form_->GridResults());
        ASSERT_NE(grid, nullptr);
        QCoreApplication::processEvents();
        QTableView* key = grid->KeyColumn();
        ASSERT_TRUE(key->isVisible()) << when;
        for (const QWidget* part : std::initializer_list<const QWidget*>{
                 grid, grid->horizontalHeader(), key, key->horizontalHeader()})
            EXPECT_EQ(part->font().pointSize(), 16) << when;
        EXPECT_EQ(key->horizontalHeader()->height(), grid->horizontalHeader()->height()) << when;
        const int lineHeight = QFontMetrics(large).height();
        for (int r = 0; r < 5; ++r) {
            EXPECT_GE(grid->rowHeight(r), lineHeight) << when << r;
            EXPECT_EQ(key->rowHeight(r), grid->rowHeight(r)) << when << r;
        }
    };
    expectLarge("chosen");
    RunUsers();
    expectLarge("next run");
    Restart();
    RunUsers();
    expectLarge("restart");
}

TEST_F(MainWindowTest, ColumnsStayInTheOrderTheExportWrites) {
    Start();
    auto* grid = dynamic_cast<ResultsGrid*>(form_->GridResults());
    ASSERT_NE(grid, nullptr);
    EXPECT_FALSE(grid->horizontalHeader()->sectionsMovable());
}

// Every row keeps the height its cells need, in the grid and its key column
// alike, whatever the model showed before it was reset: another report, a
// saved report run from the menu, a sort that moves the tall rows.
TEST_F(MainWindowTest, RowHeightsFollowTheRowsAfterEveryNewTable) {
    Start();
    auto* grid = dynamic_cast<ResultsGrid*>(form_->GridResults());
    ASSERT_NE(grid, nullptr);
    // The number of rows with several lines; every row checked.
    const auto tallRowsFitted = [grid] {
        QCoreApplication::processEvents();
        const QAbstractItemModel* model = grid->model();
        int tall = 0;
        for (int r = 0; r < model->rowCount(); ++r) {
            int lines = 1;
            for (int c = 0; c < model->columnCount(); ++c)
                lines = std::max(
                    lines, static_cast<int>(model->index(r, c).data().toString().count('\n')) + 1);
            const int height = grid->rowHeight(r);
            EXPECT_EQ(grid->KeyColumn()->rowHeight(r), height) << r;
            if (lines == 1) {
                EXPECT_EQ(height, grid->verticalHeader()->defaultSectionSize()) << r;
            } else {
                ++tall;
                EXPECT_GE(height, std::min(lines, 20) * grid->fontMetrics().lineSpacing()) << r;
            }
        }
        return tall;
    };

    // One object: its attributes as rows, some of them tall.
    GoTo("[Root]");
    const auto corp = form_->ListBoxObjects()->findItems("Organization: Corp", Qt::MatchExactly);
    ASSERT_EQ(corp.size(), 1);
    form_->ListBoxObjects()->setCurrentItem(corp.first());
    form_->ActionReportByObjectExecute();
    ASSERT_FALSE(form_->Run().ReportRunning());
    EXPECT_GT(tallRowsFitted(), 0);

    // A saved report of users: nearly every row one line high.
    std::string text = testing::ReadFile(kData / "sample-users.rpt");
    text.replace(text.find("File="), 5, "File=" + (dir_ / "sample-users.csv").string());
    const fs::path stored = dir_ / "sample-users.rpt";
    testing::WriteFile(stored, text);
    DialogScript::PushFile(stored);
    form_->ActionLoadReportSpecClick();
    ASSERT_FALSE(form_->Run().ReportRunning());
    ASSERT_GT(grid->model()->rowCount(), 1);
    EXPECT_LT(tallRowsFitted(), grid->model()->rowCount() / 2);

    // Tall rows, then a sort that moves them.
    GoTo(".Corp");
    RunRecursive("User", {"Group Membership"});
    const int tall = tallRowsFitted();
    EXPECT_GT(tall, 10);
    form_->PopupSortResultsClick(1);
    EXPECT_EQ(tallRowsFitted(), tall);
    form_->PopupSortResultsClick(0);
    EXPECT_EQ(tallRowsFitted(), tall);
}

// A new report opens at its first row and column, wherever the person had
// scrolled the one before, in the grid and its key column alike.
TEST_F(MainWindowTest, ANewReportOpensAtItsTopLeft) {
    Start();
    GoTo(".Corp");
    RunRecursive("User", {"Full Name", "Title", "Group Membership", "Telephone Number"});
    auto* grid = dynamic_cast<ResultsGrid*>(form_->GridResults());
    ASSERT_NE(grid, nullptr);
    form_->resize(700, 500);
    QCoreApplication::processEvents();
    QScrollBar* down = grid->verticalScrollBar();
    QScrollBar* across = grid->horizontalScrollBar();
    ASSERT_GT(down->maximum(), 0);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    across->setValue(across->maximum());
    QCoreApplication::processEvents();
    ASSERT_EQ(down->value(), down->maximum());
    ASSERT_GT(grid->KeyColumn()->verticalScrollBar()->value(), 0);
    Find<QTabWidget>("PageControl")->setCurrentWidget(Find<QWidget>("TabSheetObjAttr"));
    QTest::mouseClick(Find<QPushButton>("BitBtnSchemaClasses"), Qt::LeftButton);
    ASSERT_FALSE(form_->Run().ReportRunning());
    QCoreApplication::processEvents();
    ASSERT_GT(down->maximum(), 0);
    EXPECT_EQ(down->value(), 0);
    EXPECT_EQ(across->value(), 0);
    EXPECT_EQ(grid->KeyColumn()->verticalScrollBar()->value(), 0);
}

TEST_F(MainWindowTest, CancelKeepsTheRowsFoundAndTheButtonComesBack) {
    Start();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
    GoTo("[Root]");
    ChooseType("*");
    Tick("CN");
    Find<QCheckBox>("CheckBoxRecurse")->setChecked(true);
    auto* run = Find<QPushButton>("ButtonRun");
    // Events handled at every entry and the watcher called at every handling:
    // the click comes with the first handling that finds more than 20 rows,
    // however fast the machine walks the tree.
    session_->Feedback().SetPumpInterval(0);
    // A cell chosen while the run fills the grid opens nothing that would hold the run up.
    int detailsOpened = 0;
    form_->SetAttrDetailOpener(
        [&detailsOpened](const values::AttrDetailState&, const std::function<void()>&) {
            ++detailsOpened;
            return false;
        });
    // The Cancel button, then Escape wherever the focus is.
    for (const bool escape : {false, true}) {
        form_->Run().Table().SetRowCount(1);
        QString captionWhileRunning;
        QString descriptionWhileRunning;
        QString refreshWhileRunning;
        QString refreshSpokenWhileRunning;
        bool runSavedWhileRunning = true;
        QTimer watcher;
        watcher.setInterval(0);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (form_->Run().Table().RowCount() > 20 && captionWhileRunning.isEmpty()) {
                captionWhileRunning = run->text();
                auto* refresh = Find<QPushButton>("BitBtn1");
                descriptionWhileRunning = refresh->accessibleDescription();
                refreshWhileRunning = refresh->text();
                refreshSpokenWhileRunning =
                    QAccessible::queryAccessibleInterface(refresh)->text(QAccessible::Name);
                // A saved report would start a run of its own: not offered.
                emit Find<QMenu>("MenuReport")->aboutToShow();
                runSavedWhileRunning =
                    form_->findChild<QAction*>("ActionLoadReportSpec")->isEnabled();
                form_->ResultsModel()
                    ->Sync();  // the rows shown so far, as the grid's timer shows them
                emit form_->GridResults()->doubleClicked(form_->ResultsModel()->index(0, 1));
                QWidget* focus = QApplication::focusWidget();
                if (escape) QTest::keyClick(focus ? focus : form_, Qt::Key_Escape);
                if (!escape) QTest::mouseClick(run, Qt::LeftButton);
            }
        });
        watcher.start();
        QTest::mouseClick(run, Qt::LeftButton);
        watcher.stop();
        EXPECT_EQ(captionWhileRunning, "Cancel");
        EXPECT_TRUE(descriptionWhileRunning.contains("Cancel"));
        // The Results tab's button says so too, in its caption with a
        // mnemonic of its own and in the name a screen reader speaks.
        EXPECT_EQ(QString(refreshWhileRunning).remove('&'), "Cancel");
        EXPECT_TRUE(refreshWhileRunning.contains('&'));
        EXPECT_EQ(refreshSpokenWhileRunning, "Cancel");
        EXPECT_FALSE(runSavedWhileRunning);
        EXPECT_TRUE(form_->findChild<QAction*>("ActionLoadReportSpec")->isEnabled());
        EXPECT_EQ(Find<QPushButton>("BitBtn1")->text(), "&Refresh");
        EXPECT_EQ(run->text(), "&Object Report");
        EXPECT_EQ(run->toolTip(), "Start scanning for the selected class");
        const size_t kept = form_->Run().Table().RowCount();
        EXPECT_GT(kept, 20u) << escape;
        // The rows found stay in the grid; the full walk finds more.
        EXPECT_EQ(static_cast<size_t>(form_->ResultsModel()->rowCount()), kept - 1);
        QTest::mouseClick(run, Qt::LeftButton);
        EXPECT_GT(form_->Run().Table().RowCount(), kept) << escape;
    }
    EXPECT_EQ(detailsOpened, 0);
    emit form_->GridResults()->doubleClicked(form_->ResultsModel()->index(0, 1));
    EXPECT_EQ(detailsOpened, 1);
}

// Before any report the commands that act on one are offered nowhere and do
// nothing: no export of an empty table, no emptied clipboard, no saved
// report without a tree. The first run offers them in the menu and the
// pop-up menu alike.
TEST_F(MainWindowTest, ResultsCommandsWaitForTheFirstReport) {
    Start();
    auto* reportMenu = Find<QMenu>("MenuReport");
    auto* popup = Find<QMenu>("PopupResults");
    const std::vector<QAction*> commands = {form_->findChild<QAction*>("ActionStoreResults"),
                                            form_->findChild<QAction*>("ActionStoreReportSpec"),
                                            form_->findChild<QAction*>("ActionClearEmptyFields"),
                                            form_->findChild<QAction*>("PopupHideEmptyFields"),
                                            Find<QMenu>("PopupSortResults")->menuAction(),
                                            Find<QMenu>("PopupExportResults")->menuAction()};
    const auto offered = [&] {
        emit reportMenu->aboutToShow();
        emit form_->GridResults()->customContextMenuRequested(QPoint(1, 1));
        popup->hide();
        std::vector<bool> enabled;
        for (QAction* command : commands)
            enabled.push_back(command != nullptr && command->isEnabled());
        return enabled;
    };
    EXPECT_EQ(offered(), std::vector<bool>(commands.size(), false));
    QApplication::clipboard()->setText(QStringLiteral("kept"));
    for (QAction* command : commands)
        if (command != nullptr) command->trigger();
    form_->PopupSaveClick(2);  // clipboard
    form_->ActionStoreResultsExecute();
    form_->ActionStoreReportSpecClick();
    EXPECT_TRUE(DialogScript::Texts(Kind::SaveFile).empty());
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");

    RunUsers();
    EXPECT_EQ(offered(), std::vector<bool>(commands.size(), true));
}

TEST_F(MainWindowTest, StoredReportRunsAgainFromTheMenuAndTheCommandLine) {
    Start();
    RunUsers();
    const auto grid = Grid();
    const fs::path stored = dir_ / "users.rpt";
    DialogScript::PushFile(stored);
    form_->ActionStoreReportSpecClick();
    ASSERT_TRUE(fs::exists(stored));
    form_->Run().Table().SetRowCount(1);
    form_->ResultsModel()->Reset();
    DialogScript::PushFile(stored);
    form_->ActionLoadReportSpecClick();
    EXPECT_EQ(Grid(), grid);
    EXPECT_EQ(Ticked(), (std::vector<std::string>{"Full Name", "Title"}));

    // report=FILE quit with an output file: runs before the window shows,
    // exports, exit status 0.
    std::string text = testing::ReadFile(stored);
    const fs::path csv = dir_ / "unattended.csv";
    text.replace(text.find("File="), 5, "File=" + csv.string());
    testing::WriteFile(stored, text);
    form_->close();
    session_.reset();
    TMainForm::Options options;
    options.reportFile = stored.string();
    options.quit = true;
    Start(options, false);
    EXPECT_TRUE(form_->QuitAfterReport());
    EXPECT_EQ(form_->ExitCode(), 0);
    EXPECT_TRUE(fs::exists(csv));
    for (const std::string& said : DialogScript::Texts(Kind::Plain))
        EXPECT_EQ(said.find("nothing was exported"), std::string::npos) << said;
    session_.reset();

    // Without an output file it exports nothing, and says so, as the console does.
    text.replace(text.find("File="), 5 + csv.string().size(), "File=");
    testing::WriteFile(stored, text);
    Start(options, false);
    EXPECT_EQ(form_->ExitCode(), 0);
    ASSERT_FALSE(DialogScript::Texts(Kind::Plain).empty());
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).back(),
              "the report names no output file; nothing was exported");
    session_.reset();

    // An invalid file: its box, exit status 1.
    const fs::path invalid = dir_ / "schema.rpt";
    testing::WriteFile(invalid, "[General]\nTree=CORP\nContainer=Corp\nReport Type=3\n");
    options.reportFile = invalid.string();
    Start(options, false);
    EXPECT_EQ(form_->ExitCode(), 1);
    EXPECT_EQ(DialogScript::Texts(Kind::Error).back(), "Invalid Report File: " + invalid.string());
}

// A report run from the command line that the directory broke off shows the
// rows it found and says in the status bar that it did not end well; the
// window coming up afterwards does not cover that with its idle text.
TEST_F(MainWindowTest, ACommandLineRunThatFailedKeepsItsStatus) {
    Start();
    RunUsers();
    const size_t whole = form_->Run().Table().RowCount();
    const fs::path stored = dir_ / "users.rpt";
    DialogScript::PushFile(stored);
    form_->ActionStoreReportSpecClick();
    form_->close();
    session_.reset();

    TMainForm::Options options;
    options.reportFile = stored.string();
    int lists = 0;
    Start(options, true, [&lists](testing::SpyClient& spy) {
        spy.onListSubordinates = [&lists, &spy](client::ContextHandle context,
                                                std::string_view container, int32_t& continuation,
                                                client::BufferHandle reply) {
            // The server goes away in the middle of the run.
            if (++lists > 2) return client::Err::TransportFailure;
            return spy.Inner().ListSubordinates(context, container, continuation, reply);
        };
    });
    QCoreApplication::processEvents();
    EXPECT_LT(form_->Run().Table().RowCount(), whole);
    EXPECT_NE(form_->StatusPanels()[0]->text().toStdString().find("The directory returned error"),
              std::string::npos)
        << form_->StatusPanels()[0]->text().toStdString();
    // The whole message, wider than the panel, shows when pointed at.
    EXPECT_EQ(form_->StatusPanels()[0]->toolTip(), form_->StatusPanels()[0]->text());
}

// An unattended run that the directory fails says so where its messages go,
// in the console's words, and exports nothing.
TEST_F(MainWindowTest, AnUnattendedRunNamesTheDirectorysError) {
    const fs::path stored = dir_ / "nowhere.rpt";
    const fs::path csv = dir_ / "nowhere.csv";
    testing::WriteFile(stored,
                       "[General]\nContainer=Nowhere.Corp\nTree=CORP\nReport Type=2\n"
                       "[Output]\nType=0\nFile=" +
                           csv.string() + "\n[Attributes]\n0=Description\n[Object]\nType=*\n");
    TMainForm::Options options;
    options.reportFile = stored.string();
    options.quit = true;
    Start(options, false);
    EXPECT_EQ(form_->ExitCode(), 1);
    EXPECT_EQ(DialogScript::Texts(Kind::Error),
              (std::vector<std::string>{
                  "Report on \"Nowhere.Corp\" returned error 0xFFFFFDA7 (No such entry)"}));
    EXPECT_FALSE(fs::exists(csv));
}

// A saved report, opened from the menu or from the command line, leaves its
// choices (recursion, filter rows, column order, sort) in the window, so that
// "Refresh" runs it again; its tall rows stay tall, also with a new font.
TEST_F(MainWindowTest, ASavedReportLeavesItsChoicesForRefresh) {
    const fs::path stored = dir_ / "titled.rpt";
    testing::WriteFile(stored,
                       "[General]\nContainer=Corp\nTree=CORP\nReport Type=2\nRecursive=1\n"
                       "[Output]\nFile=\nOrderBy=3\n[Object]\nType=User\n"
                       "[Attributes]\n0=Title\n1=Group Membership\n2=Full Name\n"
                       "[Filter]\nFiltered=1\nFilter Attr 1=Title\nFilter 1=[anything]\n"
                       "Filter Attr 2=Full Name\nFilter 2=zzz\nMode 2=0\n");
    Start();
    DialogScript::PushFile(stored);
    form_->ActionLoadReportSpecClick();
    const auto report = Grid();
    ASSERT_GT(report.size(), 3u);
    ASSERT_EQ(report[0],
              (std::vector<std::string>{"DN", "Title", "Group Membership", "Full Name"}));
    QTest::mouseClick(Find<QPushButton>("BitBtn1"), Qt::LeftButton);
    EXPECT_EQ(Grid(), report);

    // The last session's choices differ; the command line's report wins.
    Find<QCheckBox>("CheckBoxRecurse")->setChecked(false);
    Find<QCheckBox>("CheckBoxFilter")->setChecked(false);
    form_->close();
    session_.reset();
    TMainForm::Options options;
    options.reportFile = stored.string();
    Start(options);
    QTableView* view = form_->GridResults();
    const auto tallRows = [view] {
        QCoreApplication::processEvents();
        int tall = 0;
        for (int r = 0; r < view->model()->rowCount(); ++r) {
            const int lines =
                static_cast<int>(view->model()->index(r, 2).data().toString().count('\n'));
            tall += lines > 0 ? 1 : 0;
            EXPECT_GE(view->rowHeight(r),
                      std::min(lines + 1, 20) * view->fontMetrics().lineSpacing());
        }
        return tall;
    };
    EXPECT_GT(tallRows(), 0);
    // The rows name their objects as the file spells the container, without
    // the leading dot; a cell's detail still reaches the row's object.
    ASSERT_FALSE(form_->Run().Table().Cell(0, 1).starts_with("."));
    client::Result detailRead = -1;
    form_->SetAttrDetailOpener([&](const values::AttrDetailState& state, const auto&) {
        session_->Access().DSReadColumnText(state.context, state.objectName, state.attributeName,
                                            &detailRead);
        return false;
    });
    emit form_->GridResults()->doubleClicked(form_->ResultsModel()->index(0, 1));
    EXPECT_EQ(detailRead, 0);
    DialogScript::PushFont(QFont(QStringLiteral("Serif"), 20).toString().toStdString());
    emit form_->FontRequested();
    EXPECT_GT(tallRows(), 0);
    QTest::mouseClick(Find<QPushButton>("BitBtn1"), Qt::LeftButton);
    EXPECT_EQ(Grid(), report);

    // A file that spells the names otherwise than the lists do runs again
    // as it ran: the same columns, filter and sort.
    const fs::path spelled = dir_ / "spelled.rpt";
    testing::WriteFile(spelled,
                       "[General]\nContainer=Corp\nTree=CORP\nReport Type=2\nRecursive=1\n"
                       "[Output]\nFile=\nOrderBy=2\n[Object]\nType=User\n"
                       "[Attributes]\n0=title\n1=FULL NAME\n"
                       "[Filter]\nFiltered=1\nFilter Attr 1=TITLE\nFilter 1=[anything]\n");
    DialogScript::PushFile(spelled);
    form_->ActionLoadReportSpecClick();
    const auto first = Grid();
    ASSERT_GT(first.size(), 2u);
    QTest::mouseClick(Find<QPushButton>("BitBtn1"), Qt::LeftButton);
    EXPECT_EQ(Grid(), first);
}

// Closing the window while a saved report runs stops the run and closes the
// window, but leaves the report's output file as it was: the rows found so
// far are no export. Cancel still exports them, and so does a close that
// comes once every row is found, while the rows are sorted.
TEST_F(MainWindowTest, ClosingTheWindowDuringASavedReportExportsNothing) {
    const fs::path out = dir_ / "out.xml";
    const fs::path stored = dir_ / "every.rpt";
    testing::WriteFile(stored,
                       "[General]\nContainer=[Root]\nTree=CORP\nReport Type=2\n"
                       "Recursive=1\n[Output]\nType=4\nOrderBy=1\nFile=" +
                           out.string() + "\n[Object]\nType=*\n[Attributes]\n0=CN\n");
    enum class Stop { CloseWhileListing, CancelWhileListing, CloseWhileSorting };
    for (const Stop stop :
         {Stop::CloseWhileListing, Stop::CancelWhileListing, Stop::CloseWhileSorting}) {
        const bool close = stop != Stop::CancelWhileListing;
        const bool listing = stop != Stop::CloseWhileSorting;
        if (stop != Stop::CloseWhileListing) session_.reset();
        Start();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
        session_->Feedback().SetPumpInterval(0);
        testing::WriteFile(out, "the earlier export");
        bool stopped = false;
        QTimer watcher;
        watcher.setInterval(0);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            const report::ResultTable& table = form_->Run().Table();
            // The rows are sorted once the listing has ended and fixed the heading.
            const bool sorting = table.FixedRows() == 1;
            if (stopped || !form_->Run().ReportRunning() || table.RowCount() <= 20 ||
                sorting == listing)
                return;
            stopped = true;
            if (close) form_->close();
            if (!close) QTest::mouseClick(Find<QPushButton>("ButtonRun"), Qt::LeftButton);
        });
        watcher.start();
        DialogScript::PushFile(stored);
        form_->ActionLoadReportSpecClick();
        watcher.stop();
        ASSERT_TRUE(stopped);
        EXPECT_EQ(form_->Run().Stopped(), listing);
        if (stop == Stop::CloseWhileListing) {
            EXPECT_EQ(testing::ReadFile(out), "the earlier export");
        } else {
            EXPECT_NE(testing::ReadFile(out).find("<document>"), std::string::npos);
        }
        if (close) {
            EXPECT_TRUE(testing::ProcessEventsUntil([this] { return !form_->isVisible(); }));
        }
    }
}

// A saved report for every class ("*") shows that choice in the
// Multi-Object tab, with its columns and filter, and "Refresh" runs it again.
TEST_F(MainWindowTest, ASavedReportForEveryClassShowsItsChoicesAndRunsAgain) {
    const fs::path stored = dir_ / "every.rpt";
    testing::WriteFile(stored,
                       "[General]\nContainer=Corp\nTree=CORP\nReport Type=2\nRecursive=1\n"
                       "[Output]\nType=0\nFile=\nOrderBy=2\n[Attributes]\n0=Description\n"
                       "1=Telephone Number\n2=Group Membership\n3=Member\n"
                       "[Filter]\nFiltered=1\nFilter Attr 1=Description\nFilter 1=[anything]\n"
                       "Mode 1=1\n[Object]\nType=*\n");
    TMainForm::Options options;
    options.reportFile = stored.string();
    Start(options);
    const auto report = Grid();
    ASSERT_GT(report.size(), 2u);
    QListWidgetItem* type = Find<QListWidget>("ListObjType")->currentItem();
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->text(), "*");
    EXPECT_EQ(Ticked(), (std::vector<std::string>{"Description", "Group Membership", "Member",
                                                  "Telephone Number"}));
    EXPECT_TRUE(Find<QCheckBox>("CheckBoxFilter")->isChecked());
    QTest::mouseClick(Find<QPushButton>("BitBtn1"), Qt::LeftButton);
    EXPECT_EQ(Grid(), report);
    EXPECT_TRUE(DialogScript::ShownBoxes().empty());
}

TEST_F(MainWindowTest, SchemaReportsClassInformationAndSingleObjectReports) {
    Start();
    GoTo(".Sales.Corp");
    QTest::mouseClick(Find<QPushButton>("BitBtnSchemaClasses"), Qt::LeftButton);
    auto grid = Grid();
    EXPECT_EQ(grid[0].size(), 7u);
    EXPECT_EQ(grid[0][0], "Class Name");
    EXPECT_EQ(form_->Run().ReportName(), "CORP-schema-classes");
    QTest::mouseClick(Find<QPushButton>("BitBtnSchemaAttributes"), Qt::LeftButton);
    EXPECT_EQ(Grid()[0],
              (std::vector<std::string>{"Attribute Name", "Syntax", "Attribute Flags", "ASN"}));

    ChooseType("Group");
    form_->ActionSchemaGetClassInfoExecute();
    ASSERT_FALSE(DialogScript::Texts(Kind::Information).empty());
    EXPECT_EQ(DialogScript::Texts(Kind::Information).back().rfind("\"Group\": ", 0), 0u);

    // Nothing selected in the object list: the single-object report says so.
    form_->ListBoxObjects()->clearSelection();
    form_->ActionReportByObjectExecute();
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).back(), "First, select one object");
    const auto found = form_->ListBoxObjects()->findItems("User: ", Qt::MatchStartsWith);
    ASSERT_FALSE(found.isEmpty());
    form_->ListBoxObjects()->setCurrentItem(found.first());
    form_->ActionReportByObjectExecute();
    grid = Grid();
    EXPECT_EQ(grid[0], (std::vector<std::string>{"Attribute Name", "Value"}));
    bool hasDsi = false;
    for (const auto& row : grid)
        hasDsi = hasDsi || row[0] == "DSI: Time Created";
    EXPECT_TRUE(hasDsi);
}

TEST_F(MainWindowTest, DeleteAsksAndTheObjectLeavesListAndGrid) {
    Start();
    GoTo(".Sales.Corp");
    ChooseType("User");
    Tick("Full Name");
    Find<QCheckBox>("CheckBoxRecurse")->setChecked(false);
    QTest::mouseClick(Find<QPushButton>("ButtonRun"), Qt::LeftButton);
    const size_t rows = Grid().size();
    auto* objects = form_->ListBoxObjects();
    const auto found = objects->findItems("User: ", Qt::MatchStartsWith);
    ASSERT_FALSE(found.isEmpty());
    const QString line = found.first()->text();
    objects->setCurrentItem(found.first());

    DialogScript::PushYesNo(false);
    form_->ActionObjectDeleteExecute();
    EXPECT_EQ(objects->findItems(line, Qt::MatchExactly).size(), 1);
    EXPECT_EQ(Grid().size(), rows);

    objects->setCurrentItem(objects->findItems(line, Qt::MatchExactly).first());
    DialogScript::PushYesNo(true);
    form_->ActionObjectDeleteExecute();
    EXPECT_TRUE(objects->findItems(line, Qt::MatchExactly).isEmpty());
    EXPECT_EQ(Grid().size(), rows - 1);
    const std::string name = line.toStdString().substr(6);
    EXPECT_EQ(DialogScript::Texts(Kind::Plain).back(), "\"" + name + "\" successfully deleted");
    // Gone from the directory: the container lists it no more.
    form_->DSTree()->NodeReloadSubordinates(form_->DSTree()->GetCurrentNode());
    EXPECT_TRUE(objects->findItems(line, Qt::MatchExactly).isEmpty());
    EXPECT_FALSE(objects->findItems("User: ", Qt::MatchStartsWith).isEmpty());
}

// A deleted container leaves the tree too: its parent no longer shows it,
// and its name leads no further than the parent.
TEST_F(MainWindowTest, ADeletedContainerLeavesTheTree) {
    Start();
    auto* objects = form_->ListBoxObjects();
    const auto deleteLine = [objects, this](const QString& line) {
        const auto found = objects->findItems(line, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << line.toStdString();
        objects->setCurrentItem(found.first());
        DialogScript::PushYesNo(true);
        form_->ActionObjectDeleteExecute();
        ASSERT_TRUE(objects->findItems(line, Qt::MatchExactly).isEmpty());
    };
    GoTo(".Boston.US");
    deleteLine("Organizational Role: Site Manager");
    GoTo(".US");
    QTreeWidgetItem* country = form_->DSTree()->GetCurrentNode();
    const auto children = [country] {
        QStringList texts;
        for (int k = 0; k < country->childCount(); ++k)
            texts << country->child(k)->text(0);
        return texts;
    };
    ASSERT_TRUE(children().contains("Boston"));
    deleteLine("Locality: Boston");
    EXPECT_FALSE(children().contains("Boston"));
    ASSERT_TRUE(form_->DSTree()->SelectPath("CORP", ".Boston.US"));
    EXPECT_EQ(form_->CurrentContainer(), ".US");
}

TEST_F(MainWindowTest, ADoubleClickedCellIsEditedInTheDetailDialogAndTheGridShowsTheNewValue) {
    Start();
    form_->Settings().AllowAttrEdit = true;
    RunUsers();
    const auto grid = Grid();
    int title = -1;
    for (size_t c = 0; c < grid[0].size(); ++c)
        if (grid[0][c] == "Title") title = static_cast<int>(c);
    ASSERT_GE(title, 0);
    const QModelIndex cell = form_->GridResults()->model()->index(0, title);

    // Another tree chosen since the run: the cell still belongs to the
    // report's tree, and the edit goes there.
    ASSERT_TRUE(form_->DSTree()->SelectPath("LAB", ".Lab"));
    ASSERT_EQ(form_->CurrentTree()->treeName, "LAB");

    TFormAttrDetail* detail = session_->FormAttrDetail();
    testing::WhenModal([detail] {
        detail->AttrEdit()->setText(QStringLiteral("Chief Tester"));
        testing::TypeText(detail->AttrEdit(), "!");
        detail->BitBtnAttrSave()->click();
        if (detail->isVisible()) detail->reject();
    });
    emit form_->GridResults()->doubleClicked(cell);
    EXPECT_EQ(detail->State().attributeName, "Title");
    EXPECT_TRUE(DialogScript::ShownBoxes().empty());
    EXPECT_EQ(cell.data().toString().toStdString(), "Chief Tester!");
    // The directory holds it: the same report run again shows it too.
    GoTo(".Corp");
    QTest::mouseClick(Find<QPushButton>("ButtonRun"), Qt::LeftButton);
    EXPECT_EQ(form_->GridResults()->model()->index(0, title).data().toString().toStdString(),
              "Chief Tester!");

    // A single-object report: the attribute's name opens its value too, and
    // the saved value goes into the value's cell, never over the name.
    form_->GridResults()->setCurrentIndex(form_->GridResults()->model()->index(0, 0));
    form_->ActionReportOnSelectedObjectExecute();
    auto single = Grid();
    const auto titleRow = std::find_if(single.begin(), single.end(),
                                       [](const auto& cells) { return cells[0] == "Title"; }) -
                          single.begin();
    ASSERT_LT(titleRow, static_cast<long>(single.size()));
    testing::WhenModal([detail] {
        EXPECT_EQ(detail->AttrEdit()->text().toStdString(), "Chief Tester!");
        detail->AttrEdit()->setText(QStringLiteral("Head Teste"));
        testing::TypeText(detail->AttrEdit(), "r");
        detail->BitBtnAttrSave()->click();
        if (detail->isVisible()) detail->reject();
    });
    emit form_->GridResults()->doubleClicked(
        form_->GridResults()->model()->index(static_cast<int>(titleRow) - 1, 0));
    single = Grid();
    EXPECT_EQ(single[static_cast<size_t>(titleRow)],
              (std::vector<std::string>{"Title", "Head Tester"}));
}

// A report saved with its container spelled without the leading dot names
// its rows so ("cokafor.HR.Corp"); a deleted object leaves such a table too,
// and the one-object table of "Report on selected object". The delete, from
// the Edit menu while the results are in front, first shows the object list
// whose selection it deletes.
TEST_F(MainWindowTest, ADeletedObjectLeavesRowsNamedWithoutTheLeadingDot) {
    const fs::path stored = dir_ / "hr.rpt";
    testing::WriteFile(stored,
                       "[General]\nContainer=HR.Corp\nTree=CORP\nReport Type=2\nRecursive=0\n"
                       "[Output]\nType=2\nFile=\nOrderBy=0\n[Attributes]\n0=Full Name\n"
                       "[Filter]\nFiltered=0\n[Object]\nType=User\n");
    TMainForm::Options options;
    options.reportFile = stored.string();
    Start(options);
    const auto before = Grid();
    ASSERT_GT(before.size(), 3u);
    ASSERT_EQ(before[1][0].front(), 'a');  // ameyer.HR.Corp, no dot in front
    const auto deleteObject = [this](const QString& line) {
        GoTo(".HR.Corp");
        auto* objects = form_->ListBoxObjects();
        const auto found = objects->findItems(line, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << line.toStdString();
        objects->setCurrentItem(found.first());
        auto* pages = Find<QTabWidget>("PageControl");
        pages->setCurrentWidget(Find<QWidget>("TabSheetResults"));
        DialogScript::PushYesNo(true);
        Find<QAction>("ActionObjectDelete")->trigger();
        EXPECT_EQ(pages->currentWidget(), Find<QWidget>("TabSheetSelObj"));
    };
    deleteObject("User: cokafor");
    auto after = Grid();
    ASSERT_EQ(after.size(), before.size() - 1);
    for (const auto& row : after)
        EXPECT_NE(row[0], "cokafor.HR.Corp");

    // The report on a name in a cell: the grid holds that object alone.
    const int row = static_cast<int>(
        std::find_if(after.begin(), after.end(),
                     [](const auto& cells) { return cells[0] == "rwarren.HR.Corp"; }) -
        after.begin());
    ASSERT_LT(row, static_cast<int>(after.size()));
    form_->GridResults()->setCurrentIndex(form_->GridResults()->model()->index(row - 1, 0));
    form_->ActionReportOnSelectedObjectExecute();
    ASSERT_EQ(Grid()[0], (std::vector<std::string>{"Attribute Name", "Value"}));
    deleteObject("User: rwarren");
    EXPECT_EQ(Grid().size(), 1u);
}

// A value saved with a second line makes its row two lines high; the
// status bar shows the selected cell as it is now, after the save and after
// a sort that brings another row to the same place.
TEST_F(MainWindowTest, ASavedValueOfTwoLinesGrowsItsRowAndTheStatusBarFollows) {
    Start();
    form_->Settings().AllowAttrEdit = true;
    GoTo(".HR.Corp");
    ChooseType("User");
    Tick("Language");
    Find<QCheckBox>("CheckBoxRecurse")->setChecked(false);
    QTest::mouseClick(Find<QPushButton>("ButtonRun"), Qt::LeftButton);
    auto* grid = dynamic_cast<ResultsGrid*>(form_->GridResults());
    ASSERT_NE(grid, nullptr);
    const auto header = Grid()[0];
    const auto language = std::find(header.begin(), header.end(), "Language") - header.begin();
    ASSERT_LT(language, static_cast<long>(header.size()));
    const QModelIndex cell = grid->model()->index(0, static_cast<int>(language));
    grid->setCurrentIndex(cell);
    ASSERT_EQ(form_->StatusPanels()[1]->text(), "ENGLISH");
    const int oneLine = grid->rowHeight(0);

    TFormAttrDetail* detail = session_->FormAttrDetail();
    testing::WhenModal([detail] {
        detail->AttrCombo()->lineEdit()->clear();
        testing::TypeText(detail->AttrCombo()->lineEdit(), "GERMAN");
        testing::LeaveControl(detail->AttrCombo());
        detail->BitBtnAttrSave()->click();
        if (detail->isVisible()) detail->reject();
    });
    emit grid->doubleClicked(cell);
    ASSERT_EQ(cell.data().toString().count('\n'), 1) << cell.data().toString().toStdString();
    EXPECT_GE(grid->rowHeight(0), oneLine + grid->fontMetrics().lineSpacing());
    EXPECT_EQ(grid->KeyColumn()->rowHeight(0), grid->rowHeight(0));
    EXPECT_TRUE(form_->StatusPanels()[1]->text().contains("GERMAN"));

    const QString key = form_->StatusPanels()[0]->text();
    // The two lines sort after every "ENGLISH" alone.
    form_->PopupSortResultsClick(static_cast<int>(language));
    const QModelIndex current = grid->currentIndex();
    ASSERT_TRUE(current.isValid());
    EXPECT_EQ(current.row(), 0);
    EXPECT_EQ(form_->StatusPanels()[0]->text(), grid->model()->index(0, 0).data().toString());
    EXPECT_NE(form_->StatusPanels()[0]->text(), key);
}

}  // namespace
}  // namespace vellrun::ui
