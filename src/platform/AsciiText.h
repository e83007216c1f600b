#pragma once

// The small text helpers that every folder needs, written once: ASCII case
// (lower- and upper-casing, comparing and prefix tests without case), ASCII
// letters, digits, white space and hexadecimal digits, and trimming blanks. Only the 26
// ASCII letters change case; every other byte, UTF-8 included, stays as it
// is, whatever the locale. Locale-aware comparison is TextCollator's.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vellrun::platform {

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool IsAsciiLetterOrDigit(char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c);
}

// A blank, a tab, a line break, a vertical tab or a form feed: the white
// space of the C locale, in every locale.
constexpr bool IsAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value of a hexadecimal digit (either case), or -1 for any other
// character: one look into a table of every byte, which the readers of long
// hexadecimal texts ask for each of their characters.
inline constexpr auto kHexDigitValues = [] {
    std::array<signed char, 256> values{};
    for (int byte = 0; byte < 256; ++byte) {
        const int digit = byte >= '0' && byte <= '9'   ? byte - '0'
                          : byte >= 'a' && byte <= 'f' ? byte - 'a' + 10
                          : byte >= 'A' && byte <= 'F' ? byte - 'A' + 10
                                                       : -1;
        values[static_cast<size_t>(byte)] = static_cast<signed char>(digit);
    }
    return values;
}();
constexpr int HexDigitValue(char c) {
    return kHexDigitValues[static_cast<unsigned char>(c)];
}

// The text with its ASCII letters lower-cased (upper-cased).
std::string AsciiLowerCopy(std::string_view text);
std::string AsciiUpperCopy(std::string_view text);

// Equal when the ASCII letters are compared without case.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// Whether text starts with prefix, ASCII letters compared without case; an
// empty prefix starts every text.
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Replaces the text held in `to` with `from`, keeping to's room; from must
// not lie within to. Cheaper than assign, which allows for an overlap: for
// the texts a report copies for every cell.
inline void ReplaceText(std::string& to, std::string_view from) {
    to.clear();
    to.append(from);
}

// The text without blanks and tabs at either end.
std::string_view TrimBlanks(std::string_view text);

}  // namespace vellrun::platform
