#pragma once

#include "platform/RunFeedback.h"

namespace vellrun::platform {

// Shows the busy cursor for as long as it lives and then restores the cursor
// shown before. Lives on the stack of the work that is busy; must not outlive
// the RunFeedback it was given.
class BusyCursorScope {
public:
    explicit BusyCursorScope(RunFeedback& feedback) : feedback_(feedback) {
        feedback_.PushBusyCursor();
    }
    ~BusyCursorScope() { feedback_.PopBusyCursor(); }
    BusyCursorScope(const BusyCursorScope&) = delete;
    BusyCursorScope& operator=(const BusyCursorScope&) = delete;

private:
    RunFeedback& feedback_;
};

}  // namespace vellrun::platform
