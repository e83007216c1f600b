// Locale-aware ordering without regard to case.

#include "platform/TextCollator.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::platform {
namespace {

std::vector<std::string> Sorted(const TextCollator& collator, std::vector<std::string> texts) {
    std::stable_sort(texts.begin(), texts.end(), [&collator](const auto& a, const auto& b) {
        return collator.Compare(a, b) < 0;
    });
    return texts;
}

TEST(TextCollator, IgnoresCaseButNotLetters) {
    for (const char* locale : {"en", "en_US.UTF-8", "de_DE.UTF-8@euro", "C", "xx_NOWHERE"}) {
        const TextCollator collator(locale);
        EXPECT_EQ(collator.Compare("apple", "Apple"), 0) << locale;
        EXPECT_EQ(collator.Compare("", ""), 0) << locale;
        EXPECT_LT(collator.Compare("a", "B"), 0) << locale;
        EXPECT_GT(collator.Compare("B", "a"), 0) << locale;
        EXPECT_LT(collator.Compare("", "a"), 0) << locale;
        EXPECT_LT(collator.Compare("CN=admin", "cn=Admins"), 0) << locale;
    }
}

TEST(TextCollator, AccentedLettersSortBesideTheirBaseLetter) {
    const TextCollator collator("en");
    EXPECT_EQ(Sorted(collator, {"zebra",
                                "\xC3\xA9"
                                "clair",
                                "edge", "apple", "ecstasy", "\xC3\x84rger", "Arm", "Apfel"}),
              (std::vector<std::string>{"Apfel", "apple", "\xC3\x84rger", "Arm",
                                        "\xC3\xA9"
                                        "clair",
                                        "ecstasy", "edge", "zebra"}));
    // The accent still tells two otherwise equal words apart, after the base letter.
    EXPECT_LT(collator.Compare("resume", "R\xC3\xA9sum\xC3\xA9"), 0);
}

TEST(TextCollator, SortKeysOrderTextsAsCompareDoes) {
    const TextCollator collator("en");
    const std::vector<std::string> texts = {
        "b", "A", "a", "10", "9", "", "\xC3\xA9t\xC3\xA9", "ete", "Zebra", "line\r\nbreak", "line"};
    for (const auto& a : texts) {
        for (const auto& b : texts) {
            const int byCompare = collator.Compare(a, b);
            const int byKey = collator.SortKey(a).compare(collator.SortKey(b));
            EXPECT_EQ(byCompare < 0, byKey < 0) << a << " / " << b;
            EXPECT_EQ(byCompare == 0, byKey == 0) << a << " / " << b;
        }
    }
}

TEST(TextCollator, TheEnvironmentsLocaleAndBrokenTextWork) {
    const TextCollator collator;
    EXPECT_EQ(collator.Compare("Tree", "TREE"), 0);
    // Bytes that are no UTF-8 still compare, consistently.
    const int forward = collator.Compare("a\xFF", "a\xFE");
    EXPECT_EQ(collator.Compare("a\xFE", "a\xFF"), -forward);
}

}  // namespace
}  // namespace vellrun::platform
