#pragma once

// Turning the program's UTF-8 text into the Windows-1252 bytes that export
// files keep. Pure functions; they never fail: what the code page cannot
// hold is replaced, and the caller learns how many characters were.

#include <cstddef>
#include <string>
#include <string_view>

namespace vellrun::platform {

// What stands in for a character Windows-1252 cannot hold.
enum class Unmappable {
    CharacterReference,  // "&#NNNN;" with the decimal code point (HTML and XML)
    QuestionMark,        // "?" (delimited text)
};

struct EncodedText {
    std::string bytes;
    size_t replaced = 0;  // characters that became a stand-in
};

// UTF-8 to Windows-1252. A byte that starts no valid UTF-8 sequence counts as
// one unmappable character (U+FFFD in a character reference).
EncodedText EncodeWindows1252(std::string_view utf8, Unmappable style);

// The Windows-1252 byte of one code point, or -1 when the code page has none.
int Windows1252Byte(char32_t codePoint);

}  // namespace vellrun::platform
