#include "support/CountingRunFeedback.h"

namespace vellrun::testing {

void CountingRunFeedback::SetStatus(int panel, std::string_view text) {
    if (panel >= 0 && panel < 3) status[panel] = std::string(text);
}

void CountingRunFeedback::ProcessPendingEvents() {
    ++events;
    if (cancelAtEvent > 0 && events == cancelAtEvent) cancel_.Set();
    if (onEvent) onEvent(events);
}

void CountingRunFeedback::PushBusyCursor() {
    ++pushes;
    ++depth;
    if (depth > maxDepth) maxDepth = depth;
}

void CountingRunFeedback::PopBusyCursor() {
    ++pops;
    --depth;
}

}  // namespace vellrun::testing
