#include "platform/Windows1252.h"

#include <array>
#include <cstdint>
#include <cstring>

#include <unicode/utf8.h>

namespace vellrun::platform {

namespace {

// The code points of bytes 0x80 to 0x9F, the one table of the code page. The
// five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// carry the C1 control of the same number, as Windows' own conversion does, so
// no byte is ever lost; everything else below 0x100 maps to itself.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};
}  // namespace

char32_t Windows1252CodePoint(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;  // ASCII and 0xA0-0xFF are Latin-1, which is Unicode's first block
}

int Windows1252Byte(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint < 0x100)) {
        return static_cast<int>(codePoint);
    }
    for (size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == codePoint) return static_cast<int>(0x80 + i);
    }
    return -1;
}

EncodedText EncodeWindows1252(std::string_view utf8, Unmappable style) {
    EncodedText result;
    result.bytes.reserve(utf8.size());
    result.replaced = AppendWindows1252(result.bytes, utf8, style);
    return result;
}

size_t AppendWindows1252(std::string& out, std::string_view utf8, Unmappable style) {
    size_t replaced = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int64_t>(utf8.size());
    int64_t at = 0;
    while (at < length) {
        // A run of ASCII is the same in both; it goes over in one piece.
        const int64_t asciiStart = at;
        // Eight bytes at a time while none has its top bit set.
        while (at + 8 <= length) {
            uint64_t word = 0;
            std::memcpy(&word, bytes + at, sizeof word);
            if ((word & 0x8080808080808080ull) != 0) break;
            at += 8;
        }
        while (at < length && bytes[at] < 0x80)
            ++at;
        if (at > asciiStart) {
            out.append(utf8.data() + asciiStart, static_cast<size_t>(at - asciiStart));
            if (at == length) break;
        }
        UChar32 codePoint = 0;
        U8_NEXT(bytes, at, length, codePoint);
        const int byte = codePoint < 0 ? -1 : Windows1252Byte(static_cast<char32_t>(codePoint));
        // A document that names its code page has no character for the five
        // undefined bytes, so a reader stops at them; there they are referenced.
        const bool undefined = byte >= 0x80 && byte < 0xA0 && byte == codePoint;
        if (byte >= 0 && !(undefined && style == Unmappable::CharacterReference)) {
            out.push_back(static_cast<char>(byte));
            continue;
        }
        ++replaced;
        if (style == Unmappable::QuestionMark) {
            out.push_back('?');
        } else {
            out += "&#" + std::to_string(codePoint < 0 ? 0xFFFD : codePoint) + ";";
        }
    }
    return replaced;
}

}  // namespace vellrun::platform
