#include "ui/TransferProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <limits>

namespace vellrun::ui {

namespace {

// A request that is done within this time shows no dialog at all.
constexpr int kShowAfterMilliseconds = 400;

// The progress dialog, which can hold off the person's cancel while a step
// that cannot be stopped runs: its Escape shortcut is off then, and
// Escape's key and the window's close are taken here instead of cancelling.
class ProgressDialog final : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;

    void SetCancellable(bool cancellable) {
        cancellable_ = cancellable;
        if (auto* button = findChild<QPushButton*>()) button->setEnabled(cancellable);
        for (QShortcut* shortcut : findChildren<QShortcut*>())
            shortcut->setEnabled(cancellable);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!cancellable_ && event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QProgressDialog::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!cancellable_) {
            event->ignore();
            return;
        }
        QProgressDialog::closeEvent(event);
    }

private:
    bool cancellable_ = true;
};

}  // namespace

QString TransferProgress::Label() const {
    if (cancellable_) return label_;
    return label_ + QStringLiteral("\nThis step cannot be stopped; it ends by itself.");
}

void TransferProgress::ApplyCancellable() {
    if (dialog_ == nullptr) return;
    static_cast<ProgressDialog*>(dialog_.data())->SetCancellable(cancellable_);
    dialog_->setLabelText(Label());
}

void TransferProgress::SetCancellable(bool cancellable) {
    if (cancellable_ == cancellable) return;
    cancellable_ = cancellable;
    ApplyCancellable();
}

TransferProgress::~TransferProgress() {
    delete dialog_;
}

void TransferProgress::SetStatus(int panel, std::string_view text) {
    if (panel != 0 || text.empty()) return;
    label_ = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (dialog_ != nullptr) dialog_->setLabelText(Label());
}

void TransferProgress::ProcessPendingEvents() {
    // Before the modal dialog shows, a click would reach the window itself.
    QCoreApplication::processEvents(dialog_ != nullptr && dialog_->isVisible()
                                        ? QEventLoop::AllEvents
                                        : QEventLoop::ExcludeUserInputEvents);
    if (cancellable_ && dialog_ != nullptr && dialog_->wasCanceled()) cancel_.Set();
}

void TransferProgress::ShowProgress(uint64_t done, uint64_t total) {
    if (dialog_ == nullptr) return;
    if (total == 0) {
        dialog_->setRange(0, 0);  // an unknown length: the bar just moves
        dialog_->setValue(0);
        return;
    }
    // Large counts (bytes of a big file) are scaled down to the bar's int range.
    int shift = 0;
    while ((total >> shift) >= static_cast<uint64_t>(std::numeric_limits<int>::max()))
        ++shift;
    dialog_->setRange(0, static_cast<int>(total >> shift));
    dialog_->setValue(static_cast<int>(std::min(done, total) >> shift));
}

void TransferProgress::PushBusyCursor() {
    if (depth_++ > 0) return;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    delete dialog_;
    dialog_ = new ProgressDialog(Label(), QStringLiteral("&Cancel"), 0, 0, parent_);
    dialog_->setObjectName(QStringLiteral("TransferProgress"));
    dialog_->setWindowTitle(QGuiApplication::applicationDisplayName());
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(kShowAfterMilliseconds);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setAccessibleName(accessibleName_);
    QObject::connect(dialog_, &QProgressDialog::canceled, dialog_, [this] {
        if (cancellable_) cancel_.Set();
    });
    dialog_->setValue(0);
    ApplyCancellable();
}

void TransferProgress::PopBusyCursor() {
    if (depth_ == 0 || --depth_ > 0) return;
    QGuiApplication::restoreOverrideCursor();
    label_.clear();
    cancellable_ = true;
    if (dialog_ != nullptr) {
        // Reset stops the timer that shows the dialog after a moment: a
        // message box right after the transfer runs events before the
        // dialog is deleted, and the finished dialog would come back over it.
        dialog_->reset();
        dialog_->hide();
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
}

}  // namespace vellrun::ui
