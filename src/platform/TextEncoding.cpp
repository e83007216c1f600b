#include "platform/TextEncoding.h"

#include "platform/Windows1252.h"

#include <algorithm>
#include <cstring>

namespace vellrun::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsTrail(uint8_t byte) {
    return IsUtf8Continuation(static_cast<char>(byte));
}

// The length of the well-formed UTF-8 sequence at the start of bytes (its code
// point in cp), or 0 when none starts there: overlong forms, surrogates, code
// points above U+10FFFF and cut-off sequences are all refused.
size_t DecodeUtf8(std::span<const uint8_t> bytes, char32_t& cp) {
    const uint8_t lead = bytes[0];
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;  // a trail byte, 0xC0/0xC1 (always overlong) or 0xF5-0xFF
    }
    if (bytes.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if (!IsTrail(bytes[i])) return 0;
        cp = (cp << 6) | (bytes[i] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16Le(std::string& out, char16_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

std::span<const uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Calls emit with each code point of bytes: UTF-8 where it is well formed,
// Windows-1252 for every byte that does not start a well-formed sequence.
template <typename Emit>
void ForEachCodePoint(std::span<const uint8_t> bytes, Emit emit) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const size_t length = DecodeUtf8(bytes.subspan(pos), cp);
        if (length == 0) {
            emit(Windows1252CodePoint(bytes[pos]));
            ++pos;
        } else {
            emit(cp);
            pos += length;
        }
    }
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    const auto bytes = AsBytes(text);
    size_t pos = 0;
    while (pos < bytes.size()) {
        // Runs of ASCII, eight bytes at a time: most text is nothing else.
        uint64_t eight = 0;
        while (pos + sizeof eight <= bytes.size() &&
               (std::memcpy(&eight, bytes.data() + pos, sizeof eight),
                (eight & 0x8080808080808080ULL) == 0)) {
            pos += sizeof eight;
        }
        if (pos == bytes.size()) break;
        char32_t cp = 0;
        const size_t length = DecodeUtf8(bytes.subspan(pos), cp);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

std::string BytesToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size());
    ForEachCodePoint(bytes, [&out](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

std::string BytesToUtf8(std::string_view bytes) {
    return BytesToUtf8(AsBytes(bytes));
}

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    const size_t units = bytes.size() / 2;  // an odd last byte is no code unit
    auto unitAt = [&bytes](size_t i) -> char16_t {
        return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    for (size_t i = 0; i < units; ++i) {
        const char16_t unit = unitAt(i);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char16_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, unit);  // a lone surrogate becomes U+FFFD there
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(2 * text.size() + 2);
    ForEachCodePoint(AsBytes(text), [&out](char32_t cp) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUtf16Le(out, static_cast<char16_t>(0xD800 + (cp >> 10)));
            AppendUtf16Le(out, static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            AppendUtf16Le(out, static_cast<char16_t>(cp));
        }
    });
    AppendUtf16Le(out, 0);
    return out;
}

size_t Utf8CharacterCount(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(),
                                             [](char byte) { return !IsUtf8Continuation(byte); }));
}

size_t Utf8PrefixBytes(std::string_view text, size_t characters) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsUtf8Continuation(text[i])) continue;
        if (seen == characters) return i;
        ++seen;
    }
    return text.size();
}

size_t Utf8CharacterBoundary(std::string_view text, size_t at) {
    while (at > 0 && at < text.size() && IsUtf8Continuation(text[at]))
        --at;
    return at;
}

}  // namespace vellrun::platform
