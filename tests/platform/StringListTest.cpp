// The program's list of texts with numbers.

#include "platform/StringList.h"

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::platform {
namespace {

TEST(StringList, UnsortedKeepsOrderAndFindsWithoutCase) {
    StringList list;
    list.Add("beta", 2);
    list.Add("Alpha", 1);
    list.Add("BETA", 3);
    EXPECT_EQ(list.IndexOf("alpha"), 1u);
    EXPECT_EQ(list.IndexOf("Beta"), 0u);
    EXPECT_FALSE(list.Contains("alph"));
    list.Insert(0, "first", 9);
    list.Delete(2);
    EXPECT_EQ(list.Joined(","), "first,beta,BETA");
    EXPECT_EQ(list.Number(2), 3);
    EXPECT_THROW(list.Delete(3), std::out_of_range);
}

TEST(StringList, SortedInsertsInPlaceAndIgnoresDuplicates) {
    StringList list(true);
    for (const char* text : {"delta", "Bravo", "alpha", "Charlie"})
        list.Add(text);
    EXPECT_EQ(list.Texts(), (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta"}));
    EXPECT_EQ(list.Add("BRAVO", 5), 1u);  // reports the item it holds
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_EQ(list.IndexOf("CHARLIE"), 2u);
    EXPECT_FALSE(list.IndexOf("echo").has_value());
    EXPECT_THROW(list.Insert(0, "zulu"), std::logic_error);

    list.SetDuplicatePolicy(StringList::Duplicates::Accept);
    EXPECT_EQ(list.Add("BRAVO", 5), 2u);  // after the equal text already held

    StringList later;
    for (const char* text : {"b", "A", "B", "a"})
        later.Add(text);
    later.SetSorted(true);
    EXPECT_EQ(later.Texts(), (std::vector<std::string>{"A", "a", "b", "B"}));
}

// A sorted list, filled one by one or sorted at once, is in the order of the
// user's locale, case ignored, as the results grid sorts: not in byte order,
// which puts every name with a letter beyond ASCII after "Zeynep". Names the
// collation alone holds equal stay two entries.
TEST(StringList, SortedListsFollowTheLocale) {
    const char* previous = std::getenv("LC_ALL");
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    const std::vector<std::string> names{
        "Eve",       "Stra\u00DFe", "Zeynep",    "\u00DCmit", "Masse", "\u00E7a\u011Fla",
        "Ma\u00DFe", "\u00E9mile",  "\u00F6mer", "alpha"};
    StringList added(true);
    StringList later;
    for (const std::string& name : names) {
        added.Add(name);
        later.Add(name);
    }
    later.SetSorted(true);
    EXPECT_EQ(added.Add("ALPHA"), 0u);  // held already
    if (saved) {
        setenv("LC_ALL", saved->c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
    const std::vector<std::string> expected{
        "alpha",     "\u00E7a\u011Fla", "\u00E9mile",  "Eve",       "Masse",
        "Ma\u00DFe", "\u00F6mer",       "Stra\u00DFe", "\u00DCmit", "Zeynep"};
    EXPECT_EQ(added.Texts(), expected);
    EXPECT_EQ(added.IndexOf("MA\u00DFE"), 5u);
    EXPECT_EQ(later.Texts(), expected);
}

}  // namespace
}  // namespace vellrun::platform
