// Lines of a text: every kind of break, and bytes that only look small.

#include "platform/TextLines.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::platform {
namespace {

TEST(TextLines, SplitsAtEveryBreakAndFindsTheNextOne) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\r\r\n"), (Lines{"", ""}));

    // Bytes of multi-byte characters (negative as char) and tabs are no breaks.
    const std::string text = "\xC3\xA9\t\x0B\x0C\x8D\xFF|\n|\r";
    EXPECT_EQ(FindLineBreak(text), 8u);
    EXPECT_EQ(FindLineBreak(text, 9), 10u);
    EXPECT_EQ(FindLineBreak(text, 11), std::string_view::npos);
    EXPECT_EQ(FindLineBreak("", 0), std::string_view::npos);
    EXPECT_EQ(FindLineBreak("ab", 5), std::string_view::npos);
}

}  // namespace
}  // namespace vellrun::platform
