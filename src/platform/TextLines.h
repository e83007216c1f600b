#pragma once

// Small text helpers that several subsystems share: lines and numbers
// (trimming and ASCII case are AsciiText's).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::platform {

// The lines of a text, split at CR LF, CR or LF: an empty text has no line and
// a break at the very end gives no empty last line.
std::vector<std::string> SplitLines(std::string_view text);

// Where the next CR or LF is at or after from, or npos. The same answer as
// find_first_of("\r\n", from), which looks each character up in the set of
// two with a call of its own; large exports and every multi-line cell pass
// through here.
inline size_t FindLineBreak(std::string_view text, size_t from = 0) {
    const char* const data = text.data();
    for (size_t i = from; i < text.size(); ++i) {
        const char c = data[i];
        if (c <= '\r' && (c == '\r' || c == '\n')) return i;
    }
    return std::string_view::npos;
}

// The text without the CR and LF characters it ends in.
inline std::string_view WithoutTrailingLineBreaks(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// A whole decimal number (optional sign) with nothing else but surrounding
// blanks and tabs, or nothing.
std::optional<int> ParseDecimalInt(std::string_view text);

}  // namespace vellrun::platform
