#pragma once

#include "platform/RunFeedback.h"

#include <QPointer>
#include <QProgressDialog>
#include <QWidget>
#include <utility>

namespace vellrun::ui {

// Run feedback for a transfer (a download, an export): a window-modal
// progress dialog with a Cancel button that appears when the work takes
// longer than a moment, shows the status text and how far the work has come,
// keeps the window repainting while it runs, and sets the cancel flag when
// the person presses Cancel (unless the step under way cannot be stopped:
// SetCancellable). Until the dialog shows, the person's input waits
// for it, so nothing in the window can change what is being written. The
// dialog lives from the first busy-cursor push to the matching pop. Owned by
// the work's owner (the update check, the main window); it does not own the
// parent.
class TransferProgress final : public platform::RunFeedback {
public:
    explicit TransferProgress(QWidget* parent = nullptr,
                              QString accessibleName = QStringLiteral("Transfer progress"))
        : parent_(parent), accessibleName_(std::move(accessibleName)) {}
    ~TransferProgress() override;
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    void SetParentWidget(QWidget* parent) { parent_ = parent; }

    void SetStatus(int panel, std::string_view text) override;
    void ProcessPendingEvents() override;
    void ShowProgress(uint64_t done, uint64_t total) override;
    void PushBusyCursor() override;
    void PopBusyCursor() override;
    platform::CancelFlag& Cancel() override { return cancel_; }
    // While false, the dialog's Cancel is off, Escape and closing it do
    // nothing, and its text says that the step cannot be stopped.
    void SetCancellable(bool cancellable) override;

    // The dialog while a transfer runs, else null.
    QProgressDialog* Dialog() const { return dialog_; }

private:
    QPointer<QWidget> parent_;
    QString accessibleName_;
    QPointer<QProgressDialog> dialog_;
    platform::CancelFlag cancel_;
    // The dialog's text for the last status text (also the label of a
    // dialog made after it was set), with the note of a step that cannot be
    // stopped.
    QString Label() const;
    void ApplyCancellable();

    // The last status text: the label of a dialog made after it was set.
    QString label_;
    bool cancellable_ = true;
    int depth_ = 0;
};

}  // namespace vellrun::ui
