#include "DialogTestSupport.h"
#include "exports/ResultsFileExport.h"
#include "report/ResultTable.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"
#include "ui/DialogScript.h"
#include "ui/FontAction.h"
#include "ui/TDlgSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QMainWindow>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace vellrun::ui {
namespace {

using settings::AppSettings;

platform::DateTimeFormats SystemFormats() {
    platform::DateTimeFormats system;
    system.shortDate = "dd/MM/yyyy";
    system.longDate = "dddd d mmmm yyyy";
    system.shortTime = "hh:nn";
    system.longTime = "hh:nn:ss";
    return system;
}

class TDlgSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<TDlgSettings> MakeDialog() {
        return std::make_unique<TDlgSettings>(formats, system, messages, ini);
    }
    QAbstractButton* Radio(TDlgSettings& dialog, const std::string& key, int index) {
        return dialog.RadioGroup(key)->button(index);
    }
    QCheckBox* Box(TDlgSettings& dialog, const char* name) {
        return dialog.findChild<QCheckBox*>(name);
    }

    testing::TempDir folder{"vellrun-settings"};
    std::filesystem::path ini = folder / "vellrun.ini";
    const platform::DateTimeFormats system = SystemFormats();
    platform::DateTimeFormats formats = system;
    testing::ScriptedMessagePort messages;
};

TEST_F(TDlgSettingsTest, WithoutAnIniFileTheDialogShowsTheDefaultsUnderTheirNames) {
    auto dialog = MakeDialog();
    EXPECT_EQ(dialog->windowTitle(), "Settings");
    EXPECT_EQ(dialog->PageControl()->tabText(0), "&General Settings");
    EXPECT_EQ(dialog->Page(), AppSettings::DialogDefaults(system));
    EXPECT_EQ(dialog->Page().MaxAttrSize(), 4096u);

    struct Control {
        const char* name;
        const char* caption;
        const char* hint;
        bool checked;
    };
    const Control boxes[] = {
        {"CheckBoxShowAttrInfo", "Details: Show &General Attribute Info",
         "Attribute Detail View: Show general attribute flags", true},
        {"CheckBoxShowAttrNames", "Details: Show &Object / Attribute Name",
         "Attribute Detail View: Show the attribute name", true},
        {"CheckBoxGetAttrTimeStamps", "Report: Show Attribute &Time Stamps",
         "List View: Show the modified time stamp for each attribute", false},
        {"CheckBoxGetAttrValFlags", "Report: Show Attribute Value &Flags",
         "List View: Show attribute flags for each attribute", false},
        {"CheckBoxAllowAttrEdit", "Allow Attribute &Editing",
         "Attribute Detail View: Allow changing an attribute value when double-clicking it", false},
        {"CheckBoxTypelessNames", "Use Typeless Names",
         "Use typeless (e.g. \"admin.novell\") vs. typefull (e.g. \"CN=admin.O=novell\") names",
         false},
    };
    for (const Control& control : boxes) {
        QCheckBox* box = Box(*dialog, control.name);
        ASSERT_NE(box, nullptr) << control.name;
        EXPECT_EQ(box->text(), control.caption);
        EXPECT_EQ(box->toolTip(), control.hint);
        EXPECT_EQ(box->isChecked(), control.checked) << control.name;
    }
    ASSERT_NE(Box(*dialog, "CheckBoxExportUtf8"), nullptr);
    EXPECT_FALSE(Box(*dialog, "CheckBoxExportUtf8")->accessibleDescription().isEmpty());

    const std::pair<const char*, QStringList> groups[] = {
        {"RadioGroupAttrMaxSize", {"&512 Bytes", "&4 kB", "&64 kB", "&no limit"}},
        {"RadioGroupDelimiterFields", {"&Semicolon (;)", "&Comma (,)", "&Pipe (|)"}},
        {"RadioGroupDelimiterValue", {"&Pipe (|)", "&Semicolon (;)", "&Comma (,)", "Sl&ash (/)"}},
        {"RadioGroupQuoteChar", {"&Double Quote (\")", "&Single Quote (')"}},
    };
    for (const auto& [name, items] : groups) {
        QButtonGroup* group = dialog->RadioGroup(name);
        ASSERT_NE(group, nullptr) << name;
        QStringList captions;
        for (int i = 0; i < static_cast<int>(group->buttons().size()); ++i)
            captions << group->button(i)->text();
        EXPECT_EQ(captions, items) << name;
    }
    EXPECT_EQ(dialog->RadioGroup("RadioGroupAttrMaxSize")->checkedId(), 1);
    EXPECT_EQ(dialog->findChild<QGroupBox*>("RadioGroupQuoteChar")->title(), "&Quote Character");

    QStringList dates;
    for (int i = 0; i < dialog->ComboBoxDateFormat()->count(); ++i)
        dates << dialog->ComboBoxDateFormat()->itemText(i);
    EXPECT_EQ(dates, (QStringList{"dd/MM/yyyy", "dddd d mmmm yyyy", "yyyy-MM-dd", "mmm dd, yyyy",
                                  "dddd, mmmm dd, yyyy", "dd.MM.yy"}));
    QStringList times;
    for (int i = 0; i < dialog->ComboBoxTimeFormat()->count(); ++i)
        times << dialog->ComboBoxTimeFormat()->itemText(i);
    EXPECT_EQ(times, (QStringList{"hh:nn", "hh:nn:ss", "hh:nn:ss", "h:nn:ss", "h:nn am/pm"}));
    EXPECT_TRUE(dialog->LabelCurrentDateTimeFormat()->text().startsWith("Example: "));
    EXPECT_NE(dialog->findChild<QWidget*>("PanelSettingsLeft"), nullptr);
}

TEST_F(TDlgSettingsTest, EveryControlSurvivesOkAndARestartWhileCancelDiscards) {
    {
        auto dialog = MakeDialog();
        dialog->show();
        for (const char* name :
             {"CheckBoxShowAttrInfo", "CheckBoxShowAttrNames", "CheckBoxGetAttrTimeStamps",
              "CheckBoxGetAttrValFlags", "CheckBoxAllowAttrEdit", "CheckBoxTypelessNames",
              "CheckBoxExportUtf8"}) {
            Box(*dialog, name)->click();
        }
        Radio(*dialog, "RadioGroupAttrMaxSize", 3)->click();
        Radio(*dialog, "RadioGroupDelimiterFields", 2)->click();
        Radio(*dialog, "RadioGroupDelimiterValue", 3)->click();
        Radio(*dialog, "RadioGroupQuoteChar", 1)->click();
        dialog->ComboBoxDateFormat()->setCurrentIndex(3);
        dialog->ComboBoxTimeFormat()->setCurrentIndex(4);
        dialog->ButtonOk()->click();
        EXPECT_FALSE(dialog->isVisible());
    }
    EXPECT_EQ(formats.shortDate, "mmm dd, yyyy");
    EXPECT_EQ(formats.shortTime, "h:nn am/pm");
    const std::string file = testing::ReadFile(ini);
    EXPECT_NE(file.find("RadioGroupDelimiterValue=3"), std::string::npos) << file;
    EXPECT_NE(file.find("PanelSettingsLeft.Width="), std::string::npos) << file;

    // A restart: a new dialog on the same file shows everything again.
    auto dialog = MakeDialog();
    AppSettings expected;
    expected.MaxAttrSizeIndex = 3;
    expected.ShowValueFlags = true;
    expected.ShowTimeStamps = true;
    expected.AllowAttrEdit = true;
    expected.ShowAttrInfo = false;
    expected.ShowAttrNames = false;
    expected.TypelessNames = true;
    expected.FieldDelimiter = '|';
    expected.ValueDelimiter = '/';
    expected.QuoteChar = '\'';
    expected.DateFormat = "mmm dd, yyyy";
    expected.TimeFormat = "h:nn am/pm";
    expected.ExportUtf8 = true;
    EXPECT_EQ(dialog->Page(), expected);

    // Cancel: the page goes back to the file and the formats to those in force
    // when the dialog opened, although a list choice put them in force meanwhile.
    formats.shortDate = "yyyy-MM-dd";
    dialog->show();
    Box(*dialog, "CheckBoxAllowAttrEdit")->click();
    Radio(*dialog, "RadioGroupDelimiterFields", 0)->click();
    dialog->ComboBoxDateFormat()->setCurrentIndex(5);
    EXPECT_EQ(formats.shortDate, "dd.MM.yy");
    EXPECT_NE(dialog->Page(), expected);
    const auto writes = testing::ReadFile(ini);
    dialog->ButtonCancel()->click();
    EXPECT_EQ(dialog->Page(), expected);
    EXPECT_EQ(formats.shortDate, "yyyy-MM-dd");
    EXPECT_EQ(testing::ReadFile(ini), writes);
    EXPECT_TRUE(messages.boxes.empty());
}

// Cancel goes back to the page as it was shown, also for keys the file does
// not hold yet; the dialog shows in the window's font of the moment; the
// save at close neither writes an unshown splitter nor shows a failure.
TEST_F(TDlgSettingsTest, CancelFontAndTheSaveAtCloseFollowWhatWasShown) {
    QMainWindow window;
    auto dialog = std::make_unique<TDlgSettings>(formats, system, messages, ini, &window);
    AppSettings settings;
    dialog->StartUp(window.font(), settings);
    ASSERT_TRUE(dialog->WritePage().ok());
    EXPECT_EQ(testing::ReadFile(ini).find("PanelSettingsLeft"), std::string::npos);

    QFont font = window.font();
    font.setPointSize(font.pointSize() + 5);
    window.setFont(font);
    dialog->show();
    EXPECT_EQ(dialog->font().pointSize(), font.pointSize());
    const AppSettings opened = dialog->Page();
    Box(*dialog, "CheckBoxAllowAttrEdit")->click();
    Radio(*dialog, "RadioGroupAttrMaxSize", 3)->click();
    dialog->ButtonCancel()->click();
    EXPECT_EQ(dialog->Page(), opened);

    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini);
    EXPECT_FALSE(dialog->WritePage().ok());
    EXPECT_TRUE(messages.boxes.empty());
}

// A large font on a small screen: the dialog stays on the screen and its
// page scrolls; with the usual font it shows the whole page at once.
TEST_F(TDlgSettingsTest, TheDialogFitsTheScreenAndScrollsOnlyWhenItMust) {
    QMainWindow window;
    auto dialog = std::make_unique<TDlgSettings>(formats, system, messages, ini, &window);
    auto* scroller = dialog->findChild<QScrollArea*>("ScrollBoxGeneral");
    ASSERT_NE(scroller, nullptr);
    const QSize room = window.screen()->availableGeometry().size();

    dialog->show();
    ASSERT_LE(dialog->width(), room.width());
    ASSERT_LE(dialog->height(), room.height());
    EXPECT_EQ(scroller->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(scroller->horizontalScrollBar()->maximum(), 0);
    dialog->hide();

    const QFont usual = window.font();
    QFont font = usual;
    font.setPointSize(font.pointSize() * 3);
    window.setFont(font);
    dialog->show();
    EXPECT_LE(dialog->width(), room.width());
    EXPECT_LE(dialog->height(), room.height());
    EXPECT_GT(scroller->verticalScrollBar()->maximum(), 0);
    // The Tab key brings the page's last control into view.
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    auto* last = dialog->findChild<QCheckBox*>("CheckBoxExportUtf8");
    last->setFocus(Qt::TabFocusReason);
    QTest::keyClick(last, Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), last);
    const QRect shown = scroller->viewport()->rect();
    const QRect place(last->mapTo(scroller->viewport(), QPoint()), last->size());
    EXPECT_TRUE(shown.intersects(place));
    EXPECT_GE(place.top(), shown.top());
    EXPECT_LE(place.bottom(), shown.bottom());
    // The buttons stay inside the dialog.
    EXPECT_LE(dialog->ButtonOk()->geometry().bottom(), dialog->height());
    dialog->hide();

    window.setFont(usual);
    dialog->show();
    EXPECT_EQ(scroller->verticalScrollBar()->maximum(), 0);
}

// Two programs on one settings file: each one's save at close keeps the
// other's saved change to a setting it never touched.
TEST_F(TDlgSettingsTest, TheSaveAtCloseKeepsAnotherProgramsChanges) {
    auto first = MakeDialog();
    auto second = MakeDialog();
    AppSettings settings;
    first->StartUp(QFont(), settings);
    second->StartUp(QFont(), settings);
    Box(*first, "CheckBoxAllowAttrEdit")->setChecked(true);
    ASSERT_TRUE(first->SavePage().ok());
    Box(*second, "CheckBoxGetAttrTimeStamps")->setChecked(true);
    ASSERT_TRUE(second->SavePage().ok());
    ASSERT_TRUE(first->WritePage().ok());
    ASSERT_TRUE(second->WritePage().ok());
    const platform::IniFile file(ini);
    EXPECT_EQ(file.ReadValue("Settings", "CheckBoxAllowAttrEdit"), "1");
    EXPECT_EQ(file.ReadValue("Settings", "CheckBoxGetAttrTimeStamps"), "1");
}

TEST_F(TDlgSettingsTest, SettingsActionAppliesTheDelimitersToARealExport) {
    auto dialog = MakeDialog();
    AppSettings settings = AppSettings::DialogDefaults(system);
    int applied = 0;
    testing::WhenModal([&] {
        Radio(*dialog, "RadioGroupDelimiterValue", 3)->click();   // "Sl&ash (/)"
        Radio(*dialog, "RadioGroupDelimiterFields", 1)->click();  // "&Comma (,)"
        Radio(*dialog, "RadioGroupQuoteChar", 1)->click();        // single quote
        dialog->ComboBoxDateFormat()->setCurrentIndex(2);
        dialog->ButtonOk()->click();
    });
    dialog->ActionSettingsExecute(settings, [&](const AppSettings& now) {
        ++applied;
        EXPECT_EQ(now.FieldDelimiter, ',');
    });
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(settings.ValueDelimiter, '/');
    EXPECT_EQ(settings.QuoteChar, '\'');
    EXPECT_EQ(settings.DateFormat, "yyyy-MM-dd");
    EXPECT_EQ(formats.shortDate, "yyyy-MM-dd");

    report::ResultTable table(2, 2);
    table.SetCell(0, 0, "Object");
    table.SetCell(1, 0, "Values");
    table.SetCell(0, 1, ".jdoe.Corp");
    table.SetCell(1, 1, "a\r\nb");
    exports::ExportTargets targets;
    targets.outputFile = folder / "out.csv";
    const platform::TextCollator collator;
    ASSERT_EQ(exports::ExportResultsToFile(table, "CSV", targets, settings, false, collator, {},
                                           messages),
              exports::FileExportResult::Written);
    EXPECT_EQ(testing::ReadFile(folder / "out.csv"), "'Object','Values'\r\n'.jdoe.Corp','a/b'\r\n");

    // Cancel applies the settings as well, with the page as it was.
    testing::WhenModal([&] {
        Radio(*dialog, "RadioGroupDelimiterFields", 2)->click();
        dialog->ButtonCancel()->click();
    });
    dialog->ActionSettingsExecute(settings, [&](const AppSettings&) { ++applied; });
    EXPECT_EQ(applied, 2);
    EXPECT_EQ(settings.FieldDelimiter, ',');
}

TEST_F(TDlgSettingsTest, StartUpTakesTheFileIntoTheSettingsAndTheFormatsIntoForce) {
    testing::WriteFile(ini,
                       "[Settings]\nCheckBoxAllowAttrEdit=1\nComboBoxDateFormat=dd.MM.yy\n"
                       "ComboBoxTimeFormat=not a listed format\nRadioGroupAttrMaxSize=9\n");
    auto dialog = MakeDialog();
    AppSettings settings = AppSettings::DialogDefaults(system);
    QFont font(QStringLiteral("Serif"), 13);
    dialog->StartUp(font, settings);
    EXPECT_EQ(dialog->font(), font);
    EXPECT_TRUE(settings.AllowAttrEdit);
    EXPECT_EQ(settings.MaxAttrSizeIndex, 1);  // a number no item has gives the default
    EXPECT_EQ(formats.shortDate, "dd.MM.yy");
    EXPECT_EQ(settings.DateFormat, "dd.MM.yy");
    // A saved text the list lacks leaves it without a selection, and the
    // format in force stays rather than becoming empty.
    EXPECT_EQ(dialog->ComboBoxTimeFormat()->currentIndex(), -1);
    EXPECT_EQ(formats.shortTime, "hh:nn");
}

TEST(FontActionTest, TheChosenFontReachesWindowDialogAndGridRows) {
    DialogScript::Begin();
    QMainWindow window;
    QWidget dialog;
    QTableView grid;
    const QFont before = window.font();
    DialogScript::PushFont(std::nullopt);
    EXPECT_FALSE(ActionFontClick(window, &dialog, &grid));
    EXPECT_EQ(window.font(), before);

    QFont chosen(QStringLiteral("Serif"), 20);
    DialogScript::PushFont(chosen.toString().toStdString());
    const auto font = ActionFontClick(window, &dialog, &grid);
    ASSERT_TRUE(font);
    EXPECT_EQ(window.font().pointSize(), 20);
    EXPECT_EQ(dialog.font().pointSize(), 20);
    EXPECT_EQ(grid.verticalHeader()->defaultSectionSize(), GridRowHeight(*font));
    EXPECT_GT(GridRowHeight(*font), GridRowHeight(before));
    EXPECT_EQ(DialogScript::Texts(DialogScript::Kind::Font).size(), 2u);
    DialogScript::End();
}

}  // namespace
}  // namespace vellrun::ui
