#pragma once

// Reads a directory image file (see docs/directory-image.md) into a
// DirectoryImage. The image is validated whole: a bad file is refused with a
// message naming the file, the place and the fault, and nothing of it is
// returned.

#include "client/image/DirectoryImage.h"
#include "platform/FileStatus.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vellrun::client::image {

// Told how far a load is, now and then: with total 0 once the structure of
// the text is found, then done of total objects as they are taken in.
// Returning false cancels the load, which then fails with "FILE: loading was
// cancelled".
using LoadProgress = std::function<bool(uint64_t done, uint64_t total)>;

struct LoadOptions {
    // The most bytes the octet values and streams of the image may build
    // together; 0: the default, 64 times the size of the image's text plus 64 MiB.
    uint64_t valueByteLimit = 0;
    LoadProgress progress = {};  // none: the load is neither shown nor cancelled
};

// The end of the message of a load that was cancelled.
inline constexpr std::string_view kLoadCancelled = "loading was cancelled";

// The default of LoadOptions::valueByteLimit for an image text of textBytes bytes.
uint64_t DefaultValueByteLimit(uint64_t textBytes);

struct LoadResult {
    std::unique_ptr<DirectoryImage> image;  // null when the file was refused
    platform::FileStatus status;            // "FILE: PLACE: FAULT" when refused
    bool cancelled = false;                 // refused because LoadOptions::progress said stop
};

// Loads the image at path; relative stream files are taken from the image's folder.
LoadResult LoadImageFile(const std::filesystem::path& path, const LoadOptions& options = {});

// Loads an image from its text; displayName stands for the file in messages and
// baseDir is where stream files are looked for.
LoadResult LoadImageText(std::string_view text, const std::string& displayName,
                         const std::filesystem::path& baseDir, const LoadOptions& options = {});

}  // namespace vellrun::client::image
