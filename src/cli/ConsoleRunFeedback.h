#pragma once

#include "platform/RunFeedback.h"

#include <string>

namespace vellrun::cli {

// Run feedback of the console: a console has no event loop and no mouse
// cursor, so events and cursors are only counted; the status texts are kept
// for whoever wants to print them. Owned by the console program's run; it
// writes nothing by itself.
class ConsoleRunFeedback final : public platform::RunFeedback {
public:
    void SetStatus(int panel, std::string_view text) override;
    void ProcessPendingEvents() override {}
    void PushBusyCursor() override { ++busyDepth_; }
    void PopBusyCursor() override {
        if (busyDepth_ > 0) --busyDepth_;
    }
    platform::CancelFlag& Cancel() override { return cancel_; }

    const std::string& Status(int panel) const;
    int BusyDepth() const { return busyDepth_; }

private:
    std::string status_[3];
    int busyDepth_ = 0;
    platform::CancelFlag cancel_;
};

}  // namespace vellrun::cli
