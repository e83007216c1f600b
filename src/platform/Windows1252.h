#pragma once

// The Windows-1252 code page, its one table: turning the program's UTF-8 text
// into the Windows-1252 bytes that export files keep, and a byte back into
// its code point (TextEncoding reads old files with it). Pure functions; they
// never fail: what the code page cannot hold is replaced, and the caller
// learns how many characters were.

#include <cstddef>
#include <cstdint>
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
// The same, appended to out; returns the number of stand-ins. A sequence cut
// off at the end of utf8 counts as unmappable, so pieces are cut at a line end.
size_t AppendWindows1252(std::string& out, std::string_view utf8, Unmappable style);

// The Windows-1252 byte of one code point, or -1 when the code page has none.
int Windows1252Byte(char32_t codePoint);

// The code point of one Windows-1252 byte; every byte has one.
char32_t Windows1252CodePoint(uint8_t byte);

}  // namespace vellrun::platform
