#pragma once

// Turning the bytes the directory stores into the program's text, which is
// UTF-8 throughout. Nothing here ever produces invalid UTF-8, whatever the input.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vellrun::platform {

bool IsValidUtf8(std::string_view text);

// 8-bit text: valid UTF-8 sequences are kept as they are; every other byte is
// read as Windows-1252 (the code page the directory's older clients wrote).
std::string BytesToUtf8(std::span<const uint8_t> bytes);
std::string BytesToUtf8(std::string_view bytes);

// UTF-16LE text from the start of bytes up to its first zero code unit or the
// end of bytes (an odd last byte is ignored). Unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::span<const uint8_t> bytes);

// UTF-8 to UTF-16LE with a terminating zero code unit (for values the program writes).
std::string Utf8ToUtf16Le(std::string_view text);

// UTF-8 text counted and cut by characters (code points): every byte but a
// continuation byte (10xxxxxx) begins a character, so a cut before such a
// byte leaves whole characters on both sides.
constexpr bool IsUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}
size_t Utf8CharacterCount(std::string_view text);
// The bytes of the first `characters` characters (all of text when it has fewer).
size_t Utf8PrefixBytes(std::string_view text, size_t characters);
// at, moved back to where a character begins (to 0 at most); at is text's
// end, or beyond it, unchanged.
size_t Utf8CharacterBoundary(std::string_view text, size_t at);

}  // namespace vellrun::platform
