#include "ui/QtRunFeedback.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>

namespace vellrun::ui {

void QtRunFeedback::AttachStatusPanels(const std::array<QLabel*, kPanels>& panels) {
    for (int i = 0; i < kPanels; ++i)
        panels_[static_cast<size_t>(i)] = panels[static_cast<size_t>(i)];
}

void QtRunFeedback::SetStatus(int panel, std::string_view text) {
    if (panel < 0 || panel >= kPanels) return;
    QLabel* label = panels_[static_cast<size_t>(panel)];
    if (label == nullptr) return;
    label->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtRunFeedback::ProcessPendingEvents() {
    // Long work calls this after every entry and value: handling events (and
    // repainting) that often would cost more than the work itself, so they
    // are handled at most every kPumpInterval ms, which still feels immediate.
    if (sincePump_.isValid() && sincePump_.elapsed() < kPumpInterval) return;
    QCoreApplication::processEvents();
    sincePump_.start();
}

void QtRunFeedback::PushBusyCursor() {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++busyDepth_;
}

void QtRunFeedback::PopBusyCursor() {
    // An unmatched pop must not take away a cursor that someone else set.
    if (busyDepth_ == 0) return;
    --busyDepth_;
    QApplication::restoreOverrideCursor();
}

}  // namespace vellrun::ui
