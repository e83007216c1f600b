#pragma once

#include "platform/CancelFlag.h"

#include <cstdint>
#include <string_view>

namespace vellrun::platform {

// What long directory work shows while it runs on the one program thread: the
// three status texts, a chance for the front end to handle pending events (the
// desktop pumps its event loop, the console redraws its progress line), the
// busy cursor, and the cancel flag the front end may set meanwhile.
// Implemented by each front end; the core only calls it. Implementations must
// not start directory work from inside ProcessPendingEvents.
class RunFeedback {
public:
    virtual ~RunFeedback() = default;

    // panel is 0, 1 or 2.
    virtual void SetStatus(int panel, std::string_view text) = 0;
    virtual void ProcessPendingEvents() = 0;
    // How far a transfer has come: bytes done of total (0 when unknown). A
    // front end without a progress bar has the status texts only.
    virtual void ShowProgress(uint64_t /*done*/, uint64_t /*total*/) {}

    // Shows the busy cursor; PopBusyCursor brings back whatever cursor was
    // shown before the matching push. Pushes nest.
    virtual void PushBusyCursor() = 0;
    virtual void PopBusyCursor() = 0;

    // The front end's own cancel request for the work it started.
    virtual CancelFlag& Cancel() = 0;
    // False while a last step runs that cannot be stopped (it is not
    // checked for a cancel): the front end's cancel is off meanwhile and says
    // so, rather than seem to work. True again when the step is over.
    virtual void SetCancellable(bool /*cancellable*/) {}
};

}  // namespace vellrun::platform
