#pragma once

// The info text of the main window's first page: a plain text file shipped
// with the program. Free functions; they keep no state and show nothing (a
// missing file is told inside the text itself).

#include <filesystem>
#include <string>
#include <vector>

namespace vellrun::platform {

// The info text file for executables in executableDir: "vellrun.txt" in the
// first of their data folders (DataFolders) that holds it. When none does,
// the path in the first.
std::filesystem::path InfoTextFile(const std::filesystem::path& executableDir);

// Adds "Could not find <path>" to memo; when the file exists and can be
// read, memo's lines are replaced by the file's lines (CR LF, CR or LF ends,
// bytes that are not UTF-8 read as Windows-1252).
void LoadInfoText(std::vector<std::string>& memo, const std::filesystem::path& executableDir);

}  // namespace vellrun::platform
