// The shared ASCII text helpers, and the one Windows-1252 table read both ways.

#include "platform/AsciiText.h"
#include "platform/Windows1252.h"

#include <gtest/gtest.h>

namespace vellrun::platform {
namespace {

TEST(AsciiText, OnlyTheAsciiLettersChangeCaseWhateverTheLocale) {
    // "Zürich ÄÖ" in UTF-8, with brackets and digits around the letters' ranges.
    const std::string text = "Z\xC3\xBCrich \xC3\x84\xC3\x96 @[`{09";
    EXPECT_EQ(AsciiLowerCopy(text), "z\xC3\xBCrich \xC3\x84\xC3\x96 @[`{09");
    EXPECT_EQ(AsciiUpperCopy(text), "Z\xC3\xBCRICH \xC3\x84\xC3\x96 @[`{09");
    EXPECT_TRUE(EqualsNoCase("Login Disabled", "LOGIN disabled"));
    EXPECT_FALSE(EqualsNoCase("\xC3\xA4", "\xC3\x84"));  // ä and Ä: not ASCII, so not equal
    EXPECT_FALSE(EqualsNoCase("@", "`"));                // one apart from A and a, but no letters
    EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
    EXPECT_TRUE(StartsWithNoCase("AM/PM", "am"));
    EXPECT_TRUE(StartsWithNoCase("anything", ""));
    EXPECT_FALSE(StartsWithNoCase("a", "ab"));
    EXPECT_TRUE(IsAsciiLetter('z') && !IsAsciiLetter('\xC3') && IsAsciiDigit('7'));
}

TEST(AsciiText, HexDigitsAndTrimming) {
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), -1);
    EXPECT_EQ(HexDigitValue('/'), -1);
    EXPECT_EQ(TrimBlanks(" \t a b \t"), "a b");
    EXPECT_EQ(TrimBlanks(" \t "), "");
    EXPECT_EQ(TrimBlanks("\r\nx\n"), "\r\nx\n");  // line breaks are not blanks
}

TEST(Windows1252, EveryByteHasACodePointThatEncodesBackToIt) {
    for (int byte = 0; byte < 256; ++byte) {
        const char32_t codePoint = Windows1252CodePoint(static_cast<uint8_t>(byte));
        EXPECT_EQ(Windows1252Byte(codePoint), byte) << byte;
    }
    EXPECT_EQ(Windows1252CodePoint(0x80), U'\u20AC');
    EXPECT_EQ(Windows1252CodePoint(0x81), U'\u0081');  // undefined: kept as the C1 control
    EXPECT_EQ(Windows1252Byte(U'\u0100'), -1);
}

}  // namespace
}  // namespace vellrun::platform
