#include "ui/HelpMenu.h"

#include "ui/DialogScript.h"
#include "ui/ProductInfo.h"

namespace vellrun::ui {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

HelpMenu::HelpMenu(platform::MessagePort& messages, platform::DesktopPort& desktop, QWidget* parent)
    : messages_(messages),
      desktop_(desktop),
      parent_(parent),
      progress_(parent),
      module_(http_, messages_, progress_, product::WebSiteAddress()) {}

void HelpMenu::SetParentWidget(QWidget* parent) {
    parent_ = parent;
    progress_.SetParentWidget(parent);
}

QString HelpMenu::VisitCaption() {
    // "V" is the item's access key; an "&" in the name is shown as one.
    QString name = Text(product::WebSiteName());
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&Visit ") + name;
}

std::string HelpMenu::AboutText() {
    return "Written by: " + std::string(product::kAuthor) + "\r\n\r\n" + product::kVersion + " (" +
           product::kVersionDate + ")\r\n\r\n" + product::WebSiteName();
}

std::unique_ptr<QMessageBox> HelpMenu::MakeAboutBox(QWidget* parent) {
    QString text = Text(AboutText());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto box = std::make_unique<QMessageBox>(QMessageBox::Information,
                                             QString::fromUtf8(product::kProductName), text,
                                             QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("AboutBox"));
    return box;
}

void HelpMenu::MenuItemAboutClick() {
    if (DialogScript::Running()) {
        DialogScript::Record(DialogScript::Kind::Information, AboutText());
        return;
    }
    MakeAboutBox(parent_)->exec();
}

void HelpMenu::MenuItemCheckforUpdatesClick() {
    module_.checkUpdatesWithPar(product::kArchiveName, product::kVersionDate);
}

void HelpMenu::MenuItemVisitWWWClick() {
    OpenAddress(product::WebSiteAddress());
}

void HelpMenu::OpenAddress(const std::string& address) {
    if (!desktop_.OpenDocument(address)) messages_.PlainBox("Cannot open " + address);
}

}  // namespace vellrun::ui
