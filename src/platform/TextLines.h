#pragma once

// Small text helpers that several subsystems share: lines and numbers
// (trimming and ASCII case are AsciiText's).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::platform {

// The lines of a text, split at CR LF, CR or LF: an empty text has no line and
// a break at the very end gives no empty last line.
std::vector<std::string> SplitLines(std::string_view text);

// A whole decimal number (optional sign) with nothing else but surrounding
// blanks and tabs, or nothing.
std::optional<int> ParseDecimalInt(std::string_view text);

}  // namespace vellrun::platform
