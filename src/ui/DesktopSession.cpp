#include "ui/DesktopSession.h"

#include "settings/SettingsStore.h"
#include "ui/FontAction.h"
#include "ui/GuardedApplication.h"
#include "ui/ProductInfo.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QScopedValueRollback>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vellrun::ui {

namespace {

bool IsInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ContextMenu: return true;
        default: return false;
    }
}

// While it lives, the person's input reaches the window only where the form
// lets it through; the rest is kept, in its order, and handed back to the
// event queue when it goes, so that it is handled once the directory call
// that waits is over (a later wait of the same call keeps it again).
class HeldInput final : public QObject {
public:
    explicit HeldInput(TMainForm& form) : form_(form) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~HeldInput() override {
        QCoreApplication::instance()->removeEventFilter(this);
        for (auto& [receiver, event] : held_) {
            if (receiver) QCoreApplication::postEvent(receiver, event.release());
        }
    }
    HeldInput(const HeldInput&) = delete;
    HeldInput& operator=(const HeldInput&) = delete;

    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!IsInput(event->type())) return false;
        // Keys and clicks reach the window first and then its widget: the
        // widget's delivery is the one kept. Shortcuts go to their actions.
        if (!receiver->isWidgetType() && event->type() != QEvent::Shortcut) return false;
        if (form_.LetThroughWhileWaiting(receiver, event)) return false;
        held_.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
        return true;
    }

private:
    TMainForm& form_;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};

}  // namespace

DesktopSession::DesktopSession(std::unique_ptr<client::DirectoryClient> client)
    : client_(std::move(client)), access_(*client_, messages_, feedback_) {
    access_.SetValueFormatter(&formatter_);
    access_.SetValueParser(&parser_);
    // The name, not the display name: Qt would append a display name to every
    // window title on this platform.
    QCoreApplication::setApplicationName(QString::fromUtf8(product::kApplicationTitle));
    // What escapes an event handler is shown in this session's boxes.
    if (GuardedApplication* application = GuardedApplication::Instance())
        application->SetFaultPort(&messages_);
}

DesktopSession::~DesktopSession() {
    // The settings page is kept at close; a failure then is not shown, so
    // that no box holds up the program's end. A run from the command line
    // that ended without showing the window has only read the settings (as
    // an unattended run reads them): nobody has seen or changed the page, and
    // writing it would put the dialog's defaults into the file. Nor is it
    // written when the window failed to read the file: the session saves
    // nothing then, as the window has said (the dialog's own file object
    // refuses when its reads failed).
    if (dlgSettings_ && mainForm_ && mainForm_->WasShown() && mainForm_->Ini().ReadFault().empty())
        static_cast<void>(dlgSettings_->WritePage());
    helpMenu_.reset();
    dlgSettings_.reset();
    formAttrDetail_.reset();
    // The window's tree browser frees its contexts through the access and the client.
    mainForm_.reset();
    if (GuardedApplication* application = GuardedApplication::Instance())
        application->SetFaultPort(nullptr);
}

void DesktopSession::ShowStartOn(TSplash* splash) {
    splash_ = splash;
    if (splash != nullptr)
        QObject::connect(splash, &TSplash::CancelRequested, splash, [this] { CancelStart(); });
}

bool DesktopSession::Start(TMainForm::Options options) {
    startCancel_.Clear();
    feedback_.Cancel().Clear();
    const QScopedValueRollback starting(starting_, true);
    // Also a client that fails to start is told of on standard error then.
    messages_.SetUnattended(options.quit && !options.reportFile.empty());
    desktop_.SetEndsAfterRun(options.quit && !options.reportFile.empty());
    if (access_.DSStartClient() != 0) return false;
    if (!mainForm_) {
        options.startCancel = &startCancel_;
        // The command line's report runs while the window is made, before it
        // shows: the splash tells how far it has come (the object the run
        // has reached, the status bar's second text).
        const bool reportRuns = !options.reportFile.empty();
        if (reportRuns && splash_) {
            feedback_.SetStatusListener([this](int panel, const QString& text) {
                if (panel == 1 && splash_)
                    splash_->SplashProgress(QStringLiteral("Running the report ..."), text);
            });
        }
        struct ListenerEnd {
            QtRunFeedback& feedback;
            ~ListenerEnd() { feedback.SetStatusListener({}); }
        } listenerEnd{feedback_};
        mainForm_ = std::make_unique<TMainForm>(access_, desktop_, formats_, std::move(options));
        messages_.SetParentWidget(mainForm_.get());
        feedback_.AttachStatusPanels(mainForm_->StatusPanels());
        // In the program's order: the detail dialog, the settings dialog, the update check.
        formAttrDetail_ = std::make_unique<TFormAttrDetail>(access_, mainForm_.get());
        dlgSettings_ = std::make_unique<TDlgSettings>(formats_, systemFormats_, messages_,
                                                      mainForm_->Ini().Path(), mainForm_.get());
        dlgSettings_->ShareWriteFailures(mainForm_->SettingsWrites());
        helpMenu_ = std::make_unique<HelpMenu>(messages_, desktop_, mainForm_.get());
        QObject::connect(mainForm_.get(), &TMainForm::AboutRequested, mainForm_.get(),
                         [this] { helpMenu_->MenuItemAboutClick(); });
        QObject::connect(mainForm_.get(), &TMainForm::UpdateCheckRequested, mainForm_.get(),
                         [this] { helpMenu_->MenuItemCheckforUpdatesClick(); });
        QObject::connect(mainForm_.get(), &TMainForm::VisitWebRequested, mainForm_.get(),
                         [this] { helpMenu_->MenuItemVisitWWWClick(); });
        QObject::connect(
            mainForm_.get(), &TMainForm::AddressRequested, mainForm_.get(),
            [this](const QString& address) { helpMenu_->OpenAddress(address.toStdString()); });
        QObject::connect(mainForm_.get(), &TMainForm::SettingsRequested, mainForm_.get(), [this] {
            dlgSettings_->TakeReadFault(mainForm_->Ini());
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
        mainForm_->TellSettingsReadFault(dlgSettings_->File());
        ApplySettings(mainForm_->Settings());
    }
    // An Escape of the start that came too late to stop anything stops
    // nothing afterwards either.
    startCancel_.Clear();
    feedback_.Cancel().Clear();
    return true;
}

bool DesktopSession::KeepWaiting() {
    // While work that can be cancelled waits (the start, a report, a tree
    // listing), what cancels it goes through: the splash's Escape, the
    // run's Cancel and Escape, a press on a tree node. Any other input,
    // and all of it in any other wait (a read for a dialog, the schema),
    // keeps the window painted but waits for the call to end: a click
    // that started directory work here would run it in the middle of a
    // directory call, on the same connection and the client's state.
    const bool cancellable =
        starting_ ||
        (mainForm_ && (mainForm_->Run().ReportRunning() || mainForm_->DSTree()->Busy()));
    if (!cancellable) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    }
    {
        // At the start there is no window yet that could start anything.
        std::optional<HeldInput> held;
        if (mainForm_) held.emplace(*mainForm_);
        feedback_.ProcessPendingEvents();
    }
    if (startCancel_.IsSet() || feedback_.Cancel().IsSet()) return false;
    return !(mainForm_ && mainForm_->DSTree()->CancelRequested());
}

void DesktopSession::ApplySettings(const settings::AppSettings& settings) {
    mainForm_->DSTree()->SetTypeLessNames(settings.TypelessNames);
}

}  // namespace vellrun::ui
