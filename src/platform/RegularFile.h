#pragma once

// Opening and reading an input file that must be a regular file: a settings
// file, a saved report, a directory image. The open never blocks, so a FIFO
// without a writer, a device or a socket named as an input is refused at once
// instead of hanging the program; a folder is refused as well. Plain
// functions; the caller owns the descriptor or the bytes it gets.
//
// The message of a failure is only the reason ("it is a folder", "No such
// file or directory"): callers put the file and their own words in front.

#include "platform/FileStatus.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vellrun::platform {

// An open, blocking, read-only descriptor of the regular file at path, or -1
// and status says why. missing, when given, is set when the file does not
// exist.
int OpenRegularFile(const std::filesystem::path& path, FileStatus& status, bool* missing = nullptr);

// Reads the file into content (replacing it). Refuses a file larger than
// maxBytes; reserves room for padding bytes after the content, which a reader
// may look at without their being part of it.
FileStatus ReadRegularFile(const std::filesystem::path& path, std::string& content,
                           size_t maxBytes = SIZE_MAX, size_t padding = 0, bool* missing = nullptr);

}  // namespace vellrun::platform
