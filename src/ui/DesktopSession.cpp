#include "ui/DesktopSession.h"

#include "settings/SettingsStore.h"
#include "ui/FontAction.h"
#include "ui/ProductInfo.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopedValueRollback>

namespace vellrun::ui {

DesktopSession::DesktopSession(std::unique_ptr<client::DirectoryClient> client)
    : client_(std::move(client)), access_(*client_, messages_, feedback_) {
    access_.SetValueFormatter(&formatter_);
    access_.SetValueParser(&parser_);
    // The name, not the display name: Qt would append a display name to every
    // window title on this platform.
    QCoreApplication::setApplicationName(QString::fromUtf8(product::kApplicationTitle));
}

DesktopSession::~DesktopSession() {
    // The settings page is kept at close; a failure then is not shown, so
    // that no box holds up the program's end.
    if (dlgSettings_) static_cast<void>(dlgSettings_->WritePage());
    helpMenu_.reset();
    dlgSettings_.reset();
    formAttrDetail_.reset();
    // The window's tree browser frees its contexts through the access and the client.
    mainForm_.reset();
}

bool DesktopSession::Start(TMainForm::Options options) {
    startCancel_.Clear();
    const QScopedValueRollback starting(starting_, true);
    if (access_.DSStartClient() != 0) return false;
    if (!mainForm_) {
        messages_.SetUnattended(options.quit && !options.reportFile.empty());
        mainForm_ = std::make_unique<TMainForm>(access_, desktop_, formats_, std::move(options));
        messages_.SetParentWidget(mainForm_.get());
        feedback_.AttachStatusPanels(mainForm_->StatusPanels());
        // In the program's order: the detail dialog, the settings dialog, the update check.
        formAttrDetail_ = std::make_unique<TFormAttrDetail>(access_, mainForm_.get());
        dlgSettings_ = std::make_unique<TDlgSettings>(formats_, systemFormats_, messages_,
                                                      mainForm_->Ini().Path(), mainForm_.get());
        helpMenu_ = std::make_unique<HelpMenu>(messages_, desktop_, mainForm_.get());
        QObject::connect(mainForm_.get(), &TMainForm::AboutRequested, mainForm_.get(),
                         [this] { helpMenu_->MenuItemAboutClick(); });
        QObject::connect(mainForm_.get(), &TMainForm::UpdateCheckRequested, mainForm_.get(),
                         [this] { helpMenu_->MenuItemCheckforUpdatesClick(); });
        QObject::connect(mainForm_.get(), &TMainForm::SettingsRequested, mainForm_.get(), [this] {
            dlgSettings_->ActionSettingsExecute(
                mainForm_->Settings(),
                [this](const settings::AppSettings& settings) { ApplySettings(settings); });
        });
        QObject::connect(mainForm_.get(), &TMainForm::FontRequested, mainForm_.get(), [this] {
            // The new row height flattens every row; the tall ones grow again.
            if (ActionFontClick(*mainForm_, dlgSettings_.get(), mainForm_->GridResults()))
                mainForm_->FitRowHeights();
        });
        mainForm_->SetAttrDetailOpener(
            [this](const values::AttrDetailState& state, const std::function<void()>& onSaved) {
                return formAttrDetail_->Open(state, onSaved);
            });
        // The dialog takes the window's font and the settings page from the
        // file, and puts the page's date and time formats in force.
        dlgSettings_->StartUp(mainForm_->font(), mainForm_->Settings());
        ApplySettings(mainForm_->Settings());
    }
    return true;
}

bool DesktopSession::KeepWaiting() {
    // The person's input goes through while work that can be cancelled
    // waits: the start, a report, a tree listing, which all take it between
    // their steps already. Any other wait (a read for a dialog, the schema)
    // keeps the window painted but holds the input until it ends, so that
    // no click starts directory work in the middle of a directory call.
    const bool cancellable =
        starting_ ||
        (mainForm_ && (mainForm_->Run().ReportRunning() || mainForm_->DSTree()->Busy()));
    if (!cancellable) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    }
    feedback_.ProcessPendingEvents();
    if (startCancel_.IsSet() || feedback_.Cancel().IsSet()) return false;
    return !(mainForm_ && mainForm_->DSTree()->CancelRequested());
}

void DesktopSession::ApplySettings(const settings::AppSettings& settings) {
    mainForm_->DSTree()->SetTypeLessNames(settings.TypelessNames);
}

}  // namespace vellrun::ui
