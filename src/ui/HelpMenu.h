#pragma once

#include "platform/CurlHttpClient.h"
#include "platform/DesktopPort.h"
#include "platform/MessagePort.h"
#include "ui/TransferProgress.h"
#include "update/Tkorvel_module.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>

namespace vellrun::ui {

// The commands of the "&Help" menu: the about box, "Check for &Updates"
// (the update module over libcurl, its boxes through the message port and a
// progress dialog with Cancel while a request runs) and "Visit <web site>".
// One instance lives as long as the program, made after the main window and
// the dialogs; it owns the update module, its HTTP client and the progress
// feedback, and holds references to the ports.
class HelpMenu {
public:
    HelpMenu(platform::MessagePort& messages, platform::DesktopPort& desktop,
             QWidget* parent = nullptr);

    void SetParentWidget(QWidget* parent);

    // The caption of the web site's menu item: "Visit " and the site's name,
    // with V as its access key.
    static QString VisitCaption();
    // The about box: captioned with the product name; the author, the version
    // with its date, and the web site, in paragraphs apart.
    static std::string AboutText();
    static std::unique_ptr<QMessageBox> MakeAboutBox(QWidget* parent);

    void MenuItemAboutClick();
    // Runs the update check for the program's archive and version date.
    void MenuItemCheckforUpdatesClick();
    // Opens the maker's web site in the desktop's web browser.
    void MenuItemVisitWWWClick();
    // Opens a web address in the desktop's web browser; when none opens it,
    // says so in a box ("Cannot open <address>").
    void OpenAddress(const std::string& address);

    TransferProgress& Progress() { return progress_; }

private:
    platform::MessagePort& messages_;
    platform::DesktopPort& desktop_;
    QPointer<QWidget> parent_;
    platform::CurlHttpClient http_;
    TransferProgress progress_;
    update::Tkorvel_module module_;
};

}  // namespace vellrun::ui
