#pragma once

// Small text helpers that several subsystems share: lines, blanks, numbers.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::platform {

// The lines of a text, split at CR LF, CR or LF: an empty text has no line and
// a break at the very end gives no empty last line.
std::vector<std::string> SplitLines(std::string_view text);

// The text without blanks and tabs at either end.
std::string_view TrimBlanks(std::string_view text);

// A whole decimal number (optional sign) with nothing else but surrounding
// blanks and tabs, or nothing.
std::optional<int> ParseDecimalInt(std::string_view text);

}  // namespace vellrun::platform
