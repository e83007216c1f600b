#pragma once

// Replacing a file's contents all at once: the bytes go to a new temporary
// file in the target's folder, are flushed to disk, and the temporary file is
// renamed over the target. A reader sees the old file or the new one, never a
// part; a failed write leaves any previous file whole and removes the
// temporary file. A target that is a symbolic link stays one (the file it
// points at is replaced), and a replaced file keeps its permissions.
// Stateless; the caller owns the bytes and the path.

#include "platform/FileStatus.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace vellrun::platform {

class AtomicFileWriter {
public:
    // Ok, or the platform's message naming the file.
    static FileStatus Write(const std::filesystem::path& target, std::string_view bytes);
};

}  // namespace vellrun::platform
