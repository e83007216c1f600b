// Directory bytes to UTF-8 and back: mixed encodings, surrogates, cut-off input.

#include "platform/TextEncoding.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::platform {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int value : values)
        bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

TEST(TextEncoding, ValidUtf8RefusesOverlongSurrogatesAndCutSequences) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain ASCII"));
    EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"));
    for (const char* bad : {
             "\xC0\xAF",          // overlong "/"
             "\xC1\xBF",          // overlong, lead byte that never is valid
             "\xE0\x80\xAF",      // overlong three-byte form
             "\xF0\x80\x80\xAF",  // overlong four-byte form
             "\xED\xA0\x80",      // high surrogate
             "\xED\xBF\xBF",      // low surrogate
             "\xF4\x90\x80\x80",  // above U+10FFFF
             "\xF5\x80\x80\x80",  // lead byte beyond the range
             "\xE2\x82",          // cut off at the end
             "\x80",              // continuation byte alone
             "a\xC3(b",           // lead byte without its continuation
         }) {
        EXPECT_FALSE(IsValidUtf8(bad)) << testing::PrintToString(std::string(bad));
    }
}

TEST(TextEncoding, KeepsValidUtf8AndReadsEveryOtherByteAsWindows1252) {
    EXPECT_EQ(BytesToUtf8("caf\xC3\xA9 \xE9t\xE9"), "caf\xC3\xA9 \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(BytesToUtf8("\x80 \x85 \x9F"), "\xE2\x82\xAC \xE2\x80\xA6 \xC5\xB8");
    // The code page's five undefined slots keep their value as C1 controls.
    EXPECT_EQ(BytesToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(BytesToUtf8("\xC3(x"), "\xC3\x83(x");
    EXPECT_EQ(BytesToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");  // overlong: two Latin letters
    EXPECT_EQ(BytesToUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    EXPECT_EQ(BytesToUtf8("ok \xE2\x82"), "ok \xC3\xA2\xE2\x80\x9A");  // cut off at the end
    EXPECT_EQ(BytesToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));

    const std::vector<uint8_t> fromSpan = Bytes({0x48, 0xE4, 0x93});
    EXPECT_EQ(BytesToUtf8(fromSpan), "H\xC3\xA4\xE2\x80\x9C");

    // Whatever comes in, valid UTF-8 goes out.
    std::string every;
    for (int b = 0; b < 256; ++b) {
        every += static_cast<char>(b);
        every += static_cast<char>(255 - b);
        every += static_cast<char>((b * 37) & 0xFF);
    }
    EXPECT_TRUE(IsValidUtf8(BytesToUtf8(every)));
}

TEST(TextEncoding, Utf16LeStopsAtTheTerminatorOrTheEnd) {
    EXPECT_EQ(Utf16LeToUtf8(Bytes({'A', 0, 0xE9, 0, 0xAC, 0x20})), "A\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(Utf16LeToUtf8(Bytes({'A', 0, 0, 0, 'B', 0})), "A");
    EXPECT_EQ(Utf16LeToUtf8(Bytes({'A', 0, 'B'})), "A");  // the odd last byte is no unit
    EXPECT_EQ(Utf16LeToUtf8(Bytes({})), "");
    EXPECT_EQ(Utf16LeToUtf8(Bytes({0, 0, 'A', 0})), "");
}

TEST(TextEncoding, Utf16LeJoinsSurrogatePairsAndReplacesUnpairedOnes) {
    const std::string grin = "\xF0\x9F\x98\x80";  // U+1F600
    EXPECT_EQ(Utf16LeToUtf8(Bytes({0x3D, 0xD8, 0x00, 0xDE, 'x', 0})), grin + "x");
    const std::string replacement = "\xEF\xBF\xBD";
    // A high surrogate followed by no low one, at the end, and a low one alone.
    EXPECT_EQ(Utf16LeToUtf8(Bytes({0x3D, 0xD8, 'x', 0})), replacement + "x");
    EXPECT_EQ(Utf16LeToUtf8(Bytes({'x', 0, 0x3D, 0xD8})), "x" + replacement);
    EXPECT_EQ(Utf16LeToUtf8(Bytes({0x00, 0xDE, 0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE})),
              replacement + replacement + grin);
    // A pair cut by the odd last byte leaves the high surrogate unpaired.
    EXPECT_EQ(Utf16LeToUtf8(Bytes({0x3D, 0xD8, 0x00})), replacement);
}

TEST(TextEncoding, Utf8ToUtf16LeAddsTheTerminatorAndRoundTrips) {
    EXPECT_EQ(Utf8ToUtf16Le(""), std::string(2, '\0'));
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const std::string utf16 = Utf8ToUtf16Le(text);
    EXPECT_EQ(utf16, std::string("A\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE\0\0", 12));
    const std::vector<uint8_t> bytes(utf16.begin(), utf16.end());
    EXPECT_EQ(Utf16LeToUtf8(bytes), text);
    // Bytes that are no UTF-8 are read as Windows-1252 here too.
    EXPECT_EQ(Utf8ToUtf16Le("\x80"), std::string("\xAC\x20\0\0", 4));
}

}  // namespace
// Counting and cutting by characters: "a", a two-byte, a three-byte and a
// four-byte character; no cut may fall inside one of them.
TEST(TextEncoding, CharacterCutsNeverSplitACharacter) {
    const std::string text = "a\u00e9\u20ac\U0001F600";
    EXPECT_EQ(Utf8CharacterCount(text), 4u);
    const std::vector<size_t> prefixes = {0, 1, 3, 6, 10, 10};
    for (size_t characters = 0; characters < prefixes.size(); ++characters)
        EXPECT_EQ(Utf8PrefixBytes(text, characters), prefixes[characters]) << characters;
    const std::vector<size_t> boundaries = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 11};
    for (size_t at = 0; at < boundaries.size(); ++at)
        EXPECT_EQ(Utf8CharacterBoundary(text, at), boundaries[at]) << at;
}

}  // namespace vellrun::platform
