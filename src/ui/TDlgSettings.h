#pragma once

#include "platform/DateTime.h"
#include "platform/IniFile.h"
#include "platform/MessagePort.h"
#include "settings/AppSettings.h"
#include "settings/SectionCache.h"
#include "settings/WriteFailureNotice.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace vellrun::ui {

// The settings dialog: one page "&General Settings" whose controls are named
// by the keys of the settings table and stored in section "Settings" of the
// INI file. The page is read and written as one settings::AppSettings record.
// Choosing a date or time format puts it in force program-wide at once;
// "Cancel" discards the page's changes and puts back the formats that were in
// force when the dialog opened; "OK" saves the page.
//
// One instance lives as long as the program. It keeps its own INI file object
// on the program's settings file, holds references to the program-wide date
// and time formats (which it changes) and to the message port, and owns its
// controls. It never changes AppSettings by itself: ActionSettingsExecute
// hands the page to the caller's record.
class TDlgSettings : public QDialog {
    Q_OBJECT

public:
    TDlgSettings(platform::DateTimeFormats& formats, const platform::DateTimeFormats& system,
                 platform::MessagePort& messages, std::filesystem::path iniPath,
                 QWidget* parent = nullptr);

    // The main window's first show: the dialog takes its font, both format
    // lists select their first entry, settings takes the page, the page is
    // reloaded from the file and its formats are put in force.
    void StartUp(const QFont& font, settings::AppSettings& settings);
    // The "&Settings" action: the dialog modally, then settings takes the page
    // and applySettings runs, whichever button closed it.
    void ActionSettingsExecute(
        settings::AppSettings& settings,
        const std::function<void(const settings::AppSettings&)>& applySettings = {});

    settings::AppSettings Page() const;
    void SetPage(const settings::AppSettings& page);
    // The page from section "Settings", each control keeping its value when
    // the file holds none; the left panel's width too.
    void RestorePage();
    // The page into section "Settings" (only what changed since the page was
    // last read from or written to the file, so that another run's saved
    // changes to the rest survive: a setting left as this run read it keeps
    // the other run's value in the file, though the page still shows the one
    // read), and the left panel's width once the dialog has been shown; a
    // failure is returned and shown in a plain box.
    platform::FileStatus SavePage();
    // The main window's failures to write the same file: a save of the page
    // that reaches it ends their run, and one shown here counts as told.
    void ShareWriteFailures(settings::WriteFailureNotice& notice) { writeFailures_ = &notice; }
    // A failed read of the same file through the main window's object: the
    // session saves nothing, so this dialog's object refuses its writes too.
    void TakeReadFault(const platform::IniFile& file) { file_.AdoptReadFault(file); }
    // SavePage without the box: for the save at close, whose failure is not
    // worth holding the program's end for.
    platform::FileStatus WritePage();

    QTabWidget* PageControl() const { return pageControl_; }
    QComboBox* ComboBoxDateFormat() const { return comboBoxDateFormat_; }
    QComboBox* ComboBoxTimeFormat() const { return comboBoxTimeFormat_; }
    QLabel* LabelCurrentDateTimeFormat() const { return labelCurrentDateTimeFormat_; }
    QPushButton* ButtonOk() const { return buttonOk_; }
    QPushButton* ButtonCancel() const { return buttonCancel_; }
    // The radio group stored under key (its buttons' ids are the item indexes).
    QButtonGroup* RadioGroup(const std::string& key) const;
    const platform::IniFile& File() const { return file_; }

public slots:
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* MakeLeftPanel();
    QWidget* MakeRightPanel();
    QWidget* MakeRadioGroup(const settings::SettingDescriptor& setting, const QString& caption);
    QCheckBox* MakeCheckBox(std::string_view key, const QString& caption, const QString& hint);
    void FormatChanged();
    void ShowExample();
    // Sizes the page to its contents, less what does not fit on the screen.
    void FitToScreen();

    platform::DateTimeFormats& formats_;
    const platform::DateTimeFormats system_;
    platform::MessagePort& messages_;
    settings::WriteFailureNotice* writeFailures_ = nullptr;
    platform::IniFile file_;
    settings::SectionCache cache_;
    // The formats in force when the dialog was shown and the page it showed;
    // "Cancel" puts them back.
    std::string openedDate_;
    std::string openedTime_;
    std::optional<settings::AppSettings> openedPage_;

    QTabWidget* pageControl_;
    QSplitter* splitter_ = nullptr;
    QScrollArea* scroller_ = nullptr;
    QComboBox* comboBoxDateFormat_ = nullptr;
    QComboBox* comboBoxTimeFormat_ = nullptr;
    QLabel* labelCurrentDateTimeFormat_ = nullptr;
    QPushButton* buttonOk_;
    QPushButton* buttonCancel_;
    std::map<std::string, QButtonGroup*> radioGroups_;
    // By key, the format a list shows no entry for because it lacks the text
    // the page was given (a format written by hand): the page keeps that
    // text while nothing is chosen in the list.
    std::map<std::string, std::string> unlisted_;
};

}  // namespace vellrun::ui
