#pragma once

#include "client/DirectoryClient.h"
#include "directory/DirectoryAccess.h"
#include "platform/DateTime.h"
#include "ui/QtDesktopPort.h"
#include "ui/QtMessagePort.h"
#include "ui/QtRunFeedback.h"
#include "ui/TMainForm.h"
#include "values/ValueFormatting.h"

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
    bool Start();

    // Null until Start has succeeded.
    TMainForm* MainForm() const { return mainForm_.get(); }
    directory::DirectoryAccess& Access() { return access_; }
    QtMessagePort& Messages() { return messages_; }
    QtRunFeedback& Feedback() { return feedback_; }
    QtDesktopPort& Desktop() { return desktop_; }

private:
    std::unique_ptr<client::DirectoryClient> client_;
    QtMessagePort messages_;
    QtRunFeedback feedback_;
    QtDesktopPort desktop_;
    directory::DirectoryAccess access_;
    // The program-wide date and time formats, and the formatter that turns
    // every value the access reads into text with them.
    platform::DateTimeFormats formats_ = platform::DateTimeFormats::FromLocale();
    values::ValueTextFormatter formatter_{access_, formats_};
    std::unique_ptr<TMainForm> mainForm_;
};

}  // namespace vellrun::ui
