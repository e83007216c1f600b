#include "ui/TDlgSettings.h"

#include "settings/SettingsPage.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <ctime>

namespace vellrun::ui {

namespace {

using settings::AppSettings;
using settings::SettingDescriptor;
using Kind = SettingDescriptor::Kind;

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string StdText(const QString& text) {
    return text.toUtf8().toStdString();
}

const SettingDescriptor& Setting(std::string_view key) {
    return *settings::FindSetting(key);
}

void SetHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
    widget->setAccessibleDescription(hint);
}

void FillList(QComboBox* list, const std::vector<std::string>& items) {
    list->clear();
    for (const std::string& item : items)
        list->addItem(Text(item));
}

// Selects the entry that equals text, or none when the list lacks it.
void SelectText(QComboBox* list, const std::string& text) {
    list->setCurrentIndex(list->findText(Text(text), Qt::MatchExactly));
}

}  // namespace

TDlgSettings::TDlgSettings(platform::DateTimeFormats& formats,
                           const platform::DateTimeFormats& system, platform::MessagePort& messages,
                           std::filesystem::path iniPath, QWidget* parent)
    : QDialog(parent),
      formats_(formats),
      system_(system),
      messages_(messages),
      file_(std::move(iniPath)) {
    setObjectName(QStringLiteral("DlgSettings"));
    setWindowTitle(QStringLiteral("Settings"));

    pageControl_ = new QTabWidget(this);
    pageControl_->setObjectName(QStringLiteral("PageControl"));
    auto* page = new QWidget(pageControl_);
    page->setObjectName(QStringLiteral("TabSheetGeneral"));
    splitter_ = new QSplitter(Qt::Horizontal, page);
    splitter_->setObjectName(QStringLiteral("Splitter1"));
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(MakeLeftPanel());
    splitter_->addWidget(MakeRightPanel());
    // The page scrolls only where the screen is too small for all of it.
    scroller_ = new QScrollArea(page);
    scroller_->setObjectName(QStringLiteral("ScrollBoxGeneral"));
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setWidgetResizable(true);
    scroller_->setWidget(splitter_);
    // No stop of its own for the Tab key, which would come after the page's
    // controls and say nothing: each control it reaches scrolls into view.
    scroller_->setFocusPolicy(Qt::NoFocus);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(scroller_);
    pageControl_->addTab(page, QStringLiteral("&General Settings"));

    buttonOk_ = new QPushButton(QStringLiteral("OK"), this);
    buttonOk_->setObjectName(QStringLiteral("ButtonOk"));
    buttonOk_->setDefault(true);
    buttonCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    buttonCancel_->setObjectName(QStringLiteral("ButtonCancel"));
    connect(buttonOk_, &QPushButton::clicked, this, &TDlgSettings::accept);
    connect(buttonCancel_, &QPushButton::clicked, this, &TDlgSettings::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buttonOk_);
    buttons->addWidget(buttonCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pageControl_);
    layout->addLayout(buttons);
    // A fixed size that still follows the font the dialog is given and
    // the screen it opens on (FitToScreen).
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FillList(comboBoxDateFormat_, settings::DateFormatItems(system_));
    FillList(comboBoxTimeFormat_, settings::TimeFormatItems(system_));
    SetPage(AppSettings::DialogDefaults(system_));
    RestorePage();
    connect(comboBoxDateFormat_, &QComboBox::currentIndexChanged, this,
            [this] { FormatChanged(); });
    connect(comboBoxTimeFormat_, &QComboBox::currentIndexChanged, this,
            [this] { FormatChanged(); });
    ShowExample();
}

QCheckBox* TDlgSettings::MakeCheckBox(std::string_view key, const QString& caption,
                                      const QString& hint) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(Text(key));
    SetHint(box, hint);
    return box;
}

QWidget* TDlgSettings::MakeRadioGroup(const SettingDescriptor& setting, const QString& caption) {
    auto* box = new QGroupBox(caption);
    box->setObjectName(Text(setting.key));
    auto* group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    for (size_t k = 0; k < setting.items.size(); ++k) {
        auto* button = new QRadioButton(Text(setting.items[k]), box);
        group->addButton(button, static_cast<int>(k));
        layout->addWidget(button);
    }
    radioGroups_[std::string(setting.key)] = group;
    return box;
}

QWidget* TDlgSettings::MakeLeftPanel() {
    auto* panel = new QWidget;
    panel->setObjectName(Text(settings::kPanelSettingsLeft));
    auto* layout = new QVBoxLayout(panel);
    layout->addWidget(MakeCheckBox("CheckBoxShowAttrInfo",
                                   QStringLiteral("Details: Show &General Attribute Info"),
                                   QStringLiteral("Attribute Detail View: Show general attribute "
                                                  "flags")));
    layout->addWidget(MakeCheckBox(
        "CheckBoxShowAttrNames", QStringLiteral("Details: Show &Object / Attribute Name"),
        QStringLiteral("Attribute Detail View: Show the attribute name")));
    layout->addWidget(MakeCheckBox(
        "CheckBoxGetAttrTimeStamps", QStringLiteral("Report: Show Attribute &Time Stamps"),
        QStringLiteral("List View: Show the modified time stamp for each attribute")));
    layout->addWidget(MakeCheckBox("CheckBoxGetAttrValFlags",
                                   QStringLiteral("Report: Show Attribute Value &Flags"),
                                   QStringLiteral("List View: Show attribute flags for each "
                                                  "attribute")));
    layout->addWidget(MakeCheckBox("CheckBoxAllowAttrEdit",
                                   QStringLiteral("Allow Attribute &Editing"),
                                   QStringLiteral("Attribute Detail View: Allow changing an "
                                                  "attribute value when double-clicking it")));
    layout->addWidget(MakeCheckBox(
        "CheckBoxTypelessNames", QStringLiteral("Use Typeless Names"),
        QStringLiteral(
            "Use typeless (e.g. \"admin.novell\") vs. typefull (e.g. \"CN=admin.O=novell\") "
            "names")));
    layout->addWidget(MakeRadioGroup(Setting("RadioGroupAttrMaxSize"),
                                     QStringLiteral("Maximum Attribute &Size")));
    layout->addStretch();
    return panel;
}

QWidget* TDlgSettings::MakeRightPanel() {
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("PanelSettingsRight"));
    auto* layout = new QVBoxLayout(panel);
    auto* formats = new QHBoxLayout;
    auto* dateColumn = new QVBoxLayout;
    auto* dateLabel = new QLabel(QStringLiteral("Date Format"));
    comboBoxDateFormat_ = new QComboBox;
    comboBoxDateFormat_->setObjectName(QStringLiteral("ComboBoxDateFormat"));
    comboBoxDateFormat_->setAccessibleName(QStringLiteral("Date Format"));
    dateLabel->setBuddy(comboBoxDateFormat_);
    dateColumn->addWidget(dateLabel);
    dateColumn->addWidget(comboBoxDateFormat_);
    auto* timeColumn = new QVBoxLayout;
    auto* timeLabel = new QLabel(QStringLiteral("Time Format"));
    comboBoxTimeFormat_ = new QComboBox;
    comboBoxTimeFormat_->setObjectName(QStringLiteral("ComboBoxTimeFormat"));
    comboBoxTimeFormat_->setAccessibleName(QStringLiteral("Time Format"));
    timeLabel->setBuddy(comboBoxTimeFormat_);
    timeColumn->addWidget(timeLabel);
    timeColumn->addWidget(comboBoxTimeFormat_);
    formats->addLayout(dateColumn);
    formats->addLayout(timeColumn);
    layout->addLayout(formats);
    labelCurrentDateTimeFormat_ = new QLabel;
    labelCurrentDateTimeFormat_->setObjectName(QStringLiteral("LabelCurrentDateTimeFormat"));
    layout->addWidget(labelCurrentDateTimeFormat_);

    layout->addWidget(new QLabel(QStringLiteral("CSV Export Format")));
    auto* groups = new QHBoxLayout;
    groups->addWidget(
        MakeRadioGroup(Setting("RadioGroupDelimiterFields"), QStringLiteral("&Field Delimiter")));
    groups->addWidget(
        MakeRadioGroup(Setting("RadioGroupDelimiterValue"), QStringLiteral("&Value Delimiter")));
    groups->addWidget(
        MakeRadioGroup(Setting("RadioGroupQuoteChar"), QStringLiteral("&Quote Character")));
    layout->addLayout(groups);
    layout->addWidget(MakeCheckBox("CheckBoxExportUtf8", QStringLiteral("Export as &UTF-8"),
                                   QStringLiteral("CSV Export: Write the text as UTF-8 instead of "
                                                  "Windows-1252")));
    layout->addStretch();
    return panel;
}

QButtonGroup* TDlgSettings::RadioGroup(const std::string& key) const {
    const auto found = radioGroups_.find(key);
    return found == radioGroups_.end() ? nullptr : found->second;
}

AppSettings TDlgSettings::Page() const {
    AppSettings page;
    for (const SettingDescriptor& setting : settings::SettingsTable()) {
        const QString name = Text(setting.key);
        switch (setting.kind) {
            case Kind::Boolean:
                page.*setting.flag = findChild<QCheckBox*>(name)->isChecked();
                break;
            case Kind::Index:
                page.*setting.index = RadioGroup(std::string(setting.key))->checkedId();
                break;
            case Kind::Character: {
                // The character follows the selected item's caption.
                const int index = RadioGroup(std::string(setting.key))->checkedId();
                page.*setting.character =
                    index < 0
                        ? '\0'
                        : settings::RadioItemCharacter(setting.items[static_cast<size_t>(index)]);
                break;
            }
            case Kind::Text: {
                // A list without a selection keeps the text the file holds.
                const QComboBox* list = findChild<QComboBox*>(name);
                const auto unlisted = unlisted_.find(std::string(setting.key));
                if (list->currentIndex() >= 0) {
                    page.*setting.text = StdText(list->currentText());
                } else if (unlisted != unlisted_.end()) {
                    page.*setting.text = unlisted->second;
                } else {
                    (page.*setting.text).clear();
                }
                break;
            }
        }
    }
    return page;
}

void TDlgSettings::SetPage(const AppSettings& page) {
    // Loading the page is no choice by the person: nothing is put in force.
    const QSignalBlocker blockDate(comboBoxDateFormat_);
    const QSignalBlocker blockTime(comboBoxTimeFormat_);
    for (const SettingDescriptor& setting : settings::SettingsTable()) {
        const QString name = Text(setting.key);
        switch (setting.kind) {
            case Kind::Boolean: findChild<QCheckBox*>(name)->setChecked(page.*setting.flag); break;
            case Kind::Index:
            case Kind::Character: {
                const std::string key(setting.key);
                // ToIniText gives the item index of the member.
                const int index = std::stoi(settings::ToIniText(page, setting));
                if (QAbstractButton* button = RadioGroup(key)->button(index)) {
                    button->setChecked(true);
                }
                break;
            }
            case Kind::Text: {
                QComboBox* list = findChild<QComboBox*>(name);
                SelectText(list, page.*setting.text);
                // A format the list lacks is shown as none chosen, but it is
                // not given up: the page keeps it until the person chooses.
                if (list->currentIndex() < 0 && !(page.*setting.text).empty()) {
                    unlisted_[std::string(setting.key)] = page.*setting.text;
                } else {
                    unlisted_.erase(std::string(setting.key));
                }
                break;
            }
        }
    }
}

void TDlgSettings::RestorePage() {
    SetPage(settings::ReadSettingsSection(file_, cache_, Page()));
    std::array<settings::PaneSize, 1> panes{settings::PaneSize{
        std::string(settings::kPanelSettingsLeft), false, splitter_->widget(0)->width()}};
    settings::RestoreSplitterSizes(file_, cache_, settings::kSettingsSection, panes);
    const QList<int> sizes = splitter_->sizes();
    if (panes[0].size > 0 && sizes.size() == 2 && panes[0].size != sizes[0]) {
        splitter_->setSizes({panes[0].size, std::max(1, sizes[0] + sizes[1] - panes[0].size)});
    }
}

platform::FileStatus TDlgSettings::WritePage() {
    platform::IniFile::Batch batch(file_);
    platform::FileStatus status = settings::WriteSettingsSection(file_, cache_, Page());
    // A dialog never shown has a splitter never laid out: its width says nothing.
    if (status.ok() && openedPage_) {
        const std::array<settings::PaneSize, 1> panes{settings::PaneSize{
            std::string(settings::kPanelSettingsLeft), false, splitter_->sizes().value(0)}};
        status = settings::SaveSplitterSizes(file_, cache_, settings::kSettingsSection, panes);
    }
    status = batch.CommitAfter(std::move(status));
    // What was held may not have reached the file: the next save compares
    // every key with the file again.
    if (!status.ok()) cache_.ForgetValues();
    return status;
}

platform::FileStatus TDlgSettings::SavePage() {
    const uint64_t writes = file_.WriteCount();
    platform::FileStatus status = WritePage();
    if (!status.ok()) messages_.PlainBox(status.error);
    if (writeFailures_ != nullptr) {
        if (!status.ok()) {
            writeFailures_->Told();
        } else if (file_.WriteCount() != writes) {
            writeFailures_->Tell(status);
        }
    }
    return status;
}

void TDlgSettings::StartUp(const QFont& font, AppSettings& settings) {
    setFont(font);
    {
        const QSignalBlocker blockDate(comboBoxDateFormat_);
        const QSignalBlocker blockTime(comboBoxTimeFormat_);
        comboBoxDateFormat_->setCurrentIndex(0);
        comboBoxTimeFormat_->setCurrentIndex(0);
    }
    settings::getSettingsFromDlg(Page(), settings);
    RestorePage();
    FormatChanged();
    settings.DateFormat = formats_.shortDate;
    settings.TimeFormat = formats_.shortTime;
}

void TDlgSettings::ActionSettingsExecute(
    AppSettings& settings, const std::function<void(const AppSettings&)>& applySettings) {
    exec();
    settings::getSettingsFromDlg(Page(), settings);
    settings.DateFormat = formats_.shortDate;
    settings.TimeFormat = formats_.shortTime;
    if (applySettings) applySettings(settings);
}

void TDlgSettings::showEvent(QShowEvent* event) {
    openedDate_ = formats_.shortDate;
    openedTime_ = formats_.shortTime;
    // The window's font, also when it came from the settings file after the
    // dialog was made.
    if (parentWidget() != nullptr) setFont(parentWidget()->font());
    FitToScreen();
    RestorePage();
    openedPage_ = Page();
    ShowExample();
    QDialog::showEvent(event);
}

void TDlgSettings::FitToScreen() {
    // Lays the dialog out anew at once, rather than through the requests
    // each widget posts to its parent one level at a time.
    const auto settle = [this] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (QWidget* widget = scroller_; widget != this; widget = widget->parentWidget()) {
            widget->updateGeometry();
            if (QLayout* parentLayout = widget->parentWidget()->layout())
                parentLayout->invalidate();
        }
        layout()->activate();
    };
    settle();
    const QSize content = splitter_->sizeHint().expandedTo(splitter_->minimumSizeHint());
    scroller_->setFixedSize(content);
    settle();
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : this->screen();
    if (screen == nullptr) return;
    // Room for the window manager's title bar and borders, which the
    // dialog cannot measure before it is first shown.
    const QSize frame(16, 48);
    const QSize room = screen->availableGeometry().size() - frame;
    const QSize whole = sizeHint();
    const QSize excess((std::max)(0, whole.width() - room.width()),
                       (std::max)(0, whole.height() - room.height()));
    if (excess == QSize(0, 0)) return;
    scroller_->setFixedSize(content - excess);
    settle();
}

void TDlgSettings::accept() {
    // SavePage has shown a failure to the person; the dialog closes either way.
    static_cast<void>(SavePage());
    QDialog::accept();
}

void TDlgSettings::reject() {
    // The page as it was shown, not as the file has it: a key the file does
    // not hold yet has no value there to go back to.
    if (openedPage_) {
        SetPage(*openedPage_);
    } else {
        RestorePage();
    }
    // The formats chosen in the lists meanwhile go back with the page.
    if (!openedDate_.empty()) formats_.shortDate = openedDate_;
    if (!openedTime_.empty()) formats_.shortTime = openedTime_;
    ShowExample();
    QDialog::reject();
}

void TDlgSettings::FormatChanged() {
    // A list without a selection keeps the format in force rather than none.
    const std::string date = StdText(comboBoxDateFormat_->currentText());
    const std::string time = StdText(comboBoxTimeFormat_->currentText());
    if (!date.empty()) formats_.shortDate = date;
    if (!time.empty()) formats_.shortTime = time;
    ShowExample();
}

void TDlgSettings::ShowExample() {
    const auto now = static_cast<uint32_t>(std::time(nullptr));
    labelCurrentDateTimeFormat_->setText(
        Text(settings::FormatExampleText(formats_, platform::LocalTimeOf(now))));
}

}  // namespace vellrun::ui
