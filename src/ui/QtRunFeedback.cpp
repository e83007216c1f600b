#include "ui/QtRunFeedback.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>

namespace vellrun::ui {

namespace {

const QString kLineMark = QStringLiteral(" \u00B6 ");

}  // namespace

void QtRunFeedback::AttachStatusPanels(const std::array<QLabel*, kPanels>& panels) {
    for (int i = 0; i < kPanels; ++i)
        panels_[static_cast<size_t>(i)] = panels[static_cast<size_t>(i)];
}

void QtRunFeedback::SetStatus(int panel, std::string_view text) {
    if (panel < 0 || panel >= kPanels) return;
    const auto index = static_cast<size_t>(panel);
    pending_[index] = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // A panel is one line: a value's line breaks show as a mark, so that a
    // cell of many lines does not make the bar tall and squeeze the grid.
    pending_[index].replace(QLatin1String("\r\n"), kLineMark);
    for (const char16_t lineBreak : {u'\n', u'\r', u'\v', u'\f', u'\u0085', u'\u2028', u'\u2029'})
        pending_[index].replace(QChar(lineBreak), kLineMark);
    dirty_[index] = true;
    // While long work runs (busy cursor shown) a report sets the texts for
    // every row; laying out a label that often costs more than the row, so the
    // texts reach the labels when events are handled and when the work ends.
    if (busyDepth_ == 0) FlushStatus();
}

void QtRunFeedback::FlushStatus() {
    for (size_t i = 0; i < panels_.size(); ++i) {
        if (!dirty_[i]) continue;
        dirty_[i] = false;
        if (QLabel* label = panels_[i]) {
            label->setText(pending_[i]);
            // A panel narrower than its text (a directory error's whole
            // message) shows the rest when pointed at.
            label->setToolTip(pending_[i]);
        }
        if (listener_) listener_(static_cast<int>(i), pending_[i]);
    }
}

void QtRunFeedback::ProcessPendingEvents() {
    // Long work calls this after every entry and value: handling events (and
    // repainting) that often would cost more than the work itself, so they
    // are handled at most every 20 ms, which still feels immediate.
    if (sincePump_.isValid() && sincePump_.elapsed() < pumpInterval_) return;
    FlushStatus();
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
    if (busyDepth_ == 0) FlushStatus();
}

}  // namespace vellrun::ui
