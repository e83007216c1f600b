// The program's list of texts with numbers.

#include "platform/StringList.h"

#include <stdexcept>

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

}  // namespace
}  // namespace vellrun::platform
