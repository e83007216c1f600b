#pragma once

#include "platform/RunFeedback.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <utility>

namespace vellrun::ui {

// Run feedback on the desktop: pending events are handled by the Qt event
// loop (at most every 20 ms, however often the work asks), the busy cursor is Qt's override cursor,
// and the three status texts go to the status bar panels of the main window once they are attached
// (texts set before that, or after a panel is gone, are dropped) and to a
// listener while one is set. Owned by the
// desktop start-up; it does not own the panels.
class QtRunFeedback final : public platform::RunFeedback {
public:
    static constexpr int kPanels = 3;

    QtRunFeedback() = default;
    QtRunFeedback(const QtRunFeedback&) = delete;
    QtRunFeedback& operator=(const QtRunFeedback&) = delete;

    void AttachStatusPanels(const std::array<QLabel*, kPanels>& panels);
    // Also hands each status text, as it reaches the panels, to listener
    // (panel, text); an empty function ends that. The start-up shows a
    // command-line report's progress on the splash this way.
    void SetStatusListener(std::function<void(int panel, const QString& text)> listener) {
        listener_ = std::move(listener);
    }

    void SetStatus(int panel, std::string_view text) override;
    void ProcessPendingEvents() override;
    void PushBusyCursor() override;
    void PopBusyCursor() override;
    platform::CancelFlag& Cancel() override { return cancel_; }

    // How many busy cursors this feedback has pushed and not yet popped.
    int BusyDepth() const { return busyDepth_; }
    // The least time between two handlings of events (20 ms); 0 handles them
    // at every call, as a test that acts in the middle of a run needs.
    void SetPumpInterval(qint64 milliseconds) { pumpInterval_ = milliseconds; }

private:
    qint64 pumpInterval_ = 20;

    void FlushStatus();

    std::array<QPointer<QLabel>, kPanels> panels_;
    std::function<void(int panel, const QString& text)> listener_;
    std::array<QString, kPanels> pending_;
    std::array<bool, kPanels> dirty_{};
    QElapsedTimer sincePump_;
    platform::CancelFlag cancel_;
    int busyDepth_ = 0;
};

}  // namespace vellrun::ui
