#pragma once

// Tells a person once that the settings file could not be written, not once
// per key: a person who ticks ten boxes on a full disk or over a read-only
// file gets one box, not ten. A failure is shown (a plain box with the
// file's message) unless one has been shown since the last write that
// succeeded; a success told here ends the run of failures, so a later one is
// shown again. Only the statuses told here count, whichever object on the
// file wrote them. Borrows the port.

#include "platform/FileStatus.h"
#include "platform/MessagePort.h"

namespace vellrun::settings {

class WriteFailureNotice {
public:
    explicit WriteFailureNotice(platform::MessagePort& port) : port_(port) {}

    // Shows a failed status as above; a status that succeeded ends the run.
    void Tell(const platform::FileStatus& status);
    // The person knows already that the file's writes fail (it could not be
    // read at the start, which was said): quiet until a write succeeds.
    void Told() { told_ = true; }

private:
    platform::MessagePort& port_;
    // A failure was shown and no write has succeeded since.
    bool told_ = false;
};

}  // namespace vellrun::settings
