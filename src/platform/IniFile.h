#pragma once

// One INI file on disk: sections in square brackets, one "key=value" line per
// value, UTF-8 text. Files written by the program's Windows ancestors load
// too: bytes that are not valid UTF-8 are read as Windows-1252, CR LF and LF
// line ends are both read, and a rewrite keeps the line ends the file has
// (the text it writes is UTF-8; a new file gets LF). Section and key names compare without regard
// to case; a value enclosed in double quotation marks loses them on reading.
//
// The object holds only the path: every read looks at the file as it is now
// and every write goes through to disk at once, so two objects on the same
// file (the main window's and the settings dialog's) always agree. A write
// replaces the file atomically (a temporary file beside it, then a rename):
// a failed write reports its error and leaves the previous file whole.
//
// Lines that are neither a section header nor a "key=value" line (comments,
// stray text, lines before the first section) are ignored on reading and kept
// as they are when the file is rewritten, so a hand-edited file loses nothing.
// It knows nothing of what the values mean; callers own the objects.

#include "platform/FileStatus.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellrun::platform {

class IniFile {
public:
    // The file need not exist; it is created by the first write.
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& Path() const { return path_; }

    // The value of key in section, its surrounding quotes and blanks removed,
    // or nothing when the file, section or key is missing.
    std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The section's values in file order, as read by ReadValue; empty when the
    // section is missing.
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;
    std::vector<std::string> ReadSectionNames() const;

    // Each write returns ok, or the platform's message naming the file.

    // Sets key in section (both created when missing) and writes the file. A
    // name that is empty or cannot be stored in a line (a line break, "=" in a
    // key, "]" in a section) and a value with a line break are refused.
    FileStatus WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Removes the section with all its lines (nothing to do when missing).
    FileStatus EraseSection(std::string_view section);
    FileStatus DeleteKey(std::string_view section, std::string_view key);

    // How many times this object has replaced the file: lets callers and tests
    // see that an unchanged value costs no write.
    uint64_t WriteCount() const { return writeCount_; }

private:
    std::optional<std::vector<std::string>> LoadLines(std::string* error) const;
    FileStatus Store(const std::vector<std::string>& lines);

    std::filesystem::path path_;
    uint64_t writeCount_ = 0;
    // The line end of the file as last read ("\r\n" or "\n"); a new file gets "\n".
    mutable std::string_view lineEnd_ = "\n";
};

// True when the two names are equal without regard to case (full Unicode case
// folding of UTF-8 texts) or surrounding blanks, the way section and key names
// are matched.
bool IniNamesEqual(std::string_view a, std::string_view b);

}  // namespace vellrun::platform
