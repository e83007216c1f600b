#pragma once

// Tells a person once that the settings file could not be written, not once
// per key: a person who ticks ten boxes on a full disk or over a read-only
// file gets one box, not ten. A failure is shown (a plain box with the
// file's message) unless one has been shown already and the file has not
// been written since; a write that reaches the file ends the run of
// failures, so a later one is shown again. Borrows the file and the port.

#include "platform/FileStatus.h"
#include "platform/IniFile.h"
#include "platform/MessagePort.h"

#include <cstdint>
#include <optional>

namespace vellrun::settings {

class WriteFailureNotice {
public:
    WriteFailureNotice(const platform::IniFile& file, platform::MessagePort& port)
        : file_(file), port_(port) {}

    // Shows a failed status as above; nothing for one that succeeded.
    void Tell(const platform::FileStatus& status);
    // The person knows already that the file's writes fail (it could not be
    // read at the start, which was said): quiet until the file is written.
    void Told() { toldAt_ = file_.WriteCount(); }

private:
    const platform::IniFile& file_;
    platform::MessagePort& port_;
    // The file's write count when a failure was last told.
    std::optional<uint64_t> toldAt_;
};

}  // namespace vellrun::settings
