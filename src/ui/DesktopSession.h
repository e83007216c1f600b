#pragma once

#include "client/DirectoryClient.h"
#include "directory/DirectoryAccess.h"
#include "platform/CancelFlag.h"
#include "platform/DateTime.h"
#include "ui/HelpMenu.h"
#include "ui/QtDesktopPort.h"
#include "ui/QtMessagePort.h"
#include "ui/QtRunFeedback.h"
#include "ui/TDlgSettings.h"
#include "ui/TFormAttrDetail.h"
#include "ui/TMainForm.h"
#include "ui/TSplash.h"
#include "values/ValueFormatting.h"
#include "values/ValueTextParser.h"

#include <QPointer>
#include <memory>

namespace vellrun::ui {

// One run of the desktop program: the directory client, the Qt ports, the
// directory access over them and, once the client has started, the main
// window. Made by main() after the QApplication (and destroyed before it);
// owns everything it holds and tears it down window first, client last.
class DesktopSession {
public:
    // Also sets the application title, which the message boxes carry.
    explicit DesktopSession(std::unique_ptr<client::DirectoryClient> client);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Starts the directory client and makes the main window. False when the
    // client could not start; the person has then been told why.
    bool Start(TMainForm::Options options = {});

    // The client's whileWaiting: handles the window's events while a request
    // waits for a server, and false once the person has asked to stop what
    // waits: the start (Escape on the splash, CancelStart), a report (its
    // Cancel) or a tree listing (a click elsewhere). Other waits cannot be
    // cancelled: they keep the window painted and hold its input.
    bool KeepWaiting();
    // Gives up the start under way, and stops the command line's report
    // if it runs in it; nothing once the program has started.
    void CancelStart() {
        if (!starting_) return;
        startCancel_.Set();
        feedback_.Cancel().Set();
    }
    // The splash the start shows on: its Escape gives up the start
    // (CancelStart), and while the command line's report runs it says so and
    // names the object the run has reached.
    void ShowStartOn(TSplash* splash);

    // Null until Start has succeeded.
    TMainForm* MainForm() const { return mainForm_.get(); }
    directory::DirectoryAccess& Access() { return access_; }
    QtMessagePort& Messages() { return messages_; }
    QtRunFeedback& Feedback() { return feedback_; }
    platform::DateTimeFormats& Formats() { return formats_; }

    // The dialogs and the Help menu's commands, made after the main window;
    // null until Start has succeeded.
    TFormAttrDetail* FormAttrDetail() const { return formAttrDetail_.get(); }
    TDlgSettings* DlgSettings() const { return dlgSettings_.get(); }
    HelpMenu* Help() const { return helpMenu_.get(); }

private:
    // What a changed settings page means for the open windows.
    void ApplySettings(const settings::AppSettings& settings);

    std::unique_ptr<client::DirectoryClient> client_;
    bool starting_ = false;
    platform::CancelFlag startCancel_;
    QPointer<TSplash> splash_;
    QtMessagePort messages_;
    QtRunFeedback feedback_;
    QtDesktopPort desktop_;
    directory::DirectoryAccess access_;
    // The program-wide date and time formats, and the formatter that turns
    // every value the access reads into text with them.
    const platform::DateTimeFormats systemFormats_ = platform::DateTimeFormats::FromLocale();
    platform::DateTimeFormats formats_ = systemFormats_;
    values::ValueTextFormatter formatter_{access_, formats_};
    // Edited values go back into the directory through it.
    values::ValueTextParser parser_{formats_};
    std::unique_ptr<TMainForm> mainForm_;
    std::unique_ptr<TFormAttrDetail> formAttrDetail_;
    std::unique_ptr<TDlgSettings> dlgSettings_;
    std::unique_ptr<HelpMenu> helpMenu_;
};

}  // namespace vellrun::ui
