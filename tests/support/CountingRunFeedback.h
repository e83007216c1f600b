#pragma once

#include "platform/RunFeedback.h"

#include <functional>
#include <string>

namespace vellrun::testing {

// A RunFeedback for tests: counts pending-event calls and busy-cursor
// changes, keeps the status texts, and can set its cancel flag (or run a
// hook) when the n-th pending-event call arrives, as a person pressing
// Cancel while work runs.
class CountingRunFeedback final : public platform::RunFeedback {
public:
    int events = 0;
    int pushes = 0;
    int pops = 0;
    int depth = 0;
    int maxDepth = 0;
    std::string status[3];
    // Sets Cancel() when events reaches this count (0: never).
    int cancelAtEvent = 0;
    // Called on every pending-event call with the new count.
    std::function<void(int)> onEvent;

    void SetStatus(int panel, std::string_view text) override;
    void ProcessPendingEvents() override;
    void PushBusyCursor() override;
    void PopBusyCursor() override;
    platform::CancelFlag& Cancel() override { return cancel_; }

private:
    platform::CancelFlag cancel_;
};

}  // namespace vellrun::testing
