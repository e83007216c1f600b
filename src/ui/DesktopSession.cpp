#include "ui/DesktopSession.h"

#include "ui/ProductInfo.h"

#include <QCoreApplication>

namespace vellrun::ui {

DesktopSession::DesktopSession(std::unique_ptr<client::DirectoryClient> client)
    : client_(std::move(client)), access_(*client_, messages_, feedback_) {
    access_.SetValueFormatter(&formatter_);
    // The name, not the display name: Qt would append a display name to every
    // window title on this platform.
    QCoreApplication::setApplicationName(QString::fromUtf8(product::kApplicationTitle));
}

DesktopSession::~DesktopSession() {
    // The window's tree browser frees its contexts through the access and the client.
    mainForm_.reset();
}

bool DesktopSession::Start() {
    if (access_.DSStartClient() != 0) return false;
    if (!mainForm_) {
        mainForm_ = std::make_unique<TMainForm>(access_);
        messages_.SetParentWidget(mainForm_.get());
        feedback_.AttachStatusPanels(mainForm_->StatusPanels());
    }
    return true;
}

}  // namespace vellrun::ui
