#pragma once

// Replacing a file's contents all at once: the bytes go to a new temporary
// file in the target's folder, are flushed to disk, and the temporary file is
// renamed over the target. A reader sees the old file or the new one, never a
// part; a failed write leaves any previous file whole and removes the
// temporary file. A target that is a symbolic link stays one (the file it
// points at is replaced), and a replaced file keeps its permissions.
//
// Write() takes the bytes at once. A writer object takes them in pieces, so a
// large export never has to hold its file in memory: Open, Append as often
// as needed, Commit. A writer that is not committed (a failure, an
// exception, a cancelled export) removes its temporary file when it goes.
// The caller owns the bytes and the path; one writer serves one thread.

#include "platform/FileStatus.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace vellrun::platform {

class AtomicFileWriter {
public:
    // Ok, or the platform's message naming the file.
    static FileStatus Write(const std::filesystem::path& target, std::string_view bytes);

    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Starts the temporary file beside target.
    FileStatus Open(const std::filesystem::path& target);
    // Adds bytes; after the first failure nothing more is written and every
    // later call, Commit included, reports that failure.
    FileStatus Append(std::string_view bytes);
    // Puts the bytes on disk and makes them the target file.
    FileStatus Commit();

private:
    void Discard();

    std::filesystem::path path_;  // as the caller named it, for messages
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace vellrun::platform
