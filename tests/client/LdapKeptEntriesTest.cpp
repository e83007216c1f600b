// The LDAP client's indexes of the entries kept from listings and of the
// names seen: both hold views of keys that live in the kept items, so an item
// must be found by its folded key, the newer of two copies of an entry must
// be found after the older one has gone, and an entry that made way must not;
// the names are bounded, and a clash outlives the note of its name.

#include "client/ldap/LdapClientState.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::client::ldap {
namespace {

TEST(LdapKeptEntries, AreFoundByTheFoldedDnUntilTheyMakeWay) {
    LdapClient::State state;
    const auto fetched = std::make_shared<const std::vector<std::string>>();
    const auto keep = [&](const std::string& dn) {
        return &state.Prefetched(FoundEntry{dn, {}}, fetched);
    };
    int filler = 0;
    const auto keepFillers = [&](int count) {
        for (int i = 0; i < count; ++i)
            keep("cn=u" + std::to_string(filler++) + ",o=Corp");
    };
    const LdapClient::State::Prefetch* first = keep("cn=Alice,o=Corp");
    EXPECT_EQ(state.FindPrefetched("CN=ALICE,O=CORP"), first);
    const size_t firstAt = first->at;
    keepFillers(100);
    // Listed again: the newer copy is found, also once the older one has gone
    // and others took its room.
    const LdapClient::State::Prefetch* second = keep("CN=Alice,O=Corp");
    EXPECT_EQ(state.FindPrefetched("cn=alice,o=corp"), second);
    const size_t secondAt = second->at;
    const auto keepUntilGone = [&](size_t at) {
        while (state.prefetchOrder.front().at <= at && filler < 100000)
            keepFillers(1);
        ASSERT_GT(state.prefetchOrder.front().at, at);
    };
    keepUntilGone(firstAt);
    keepFillers(50);
    EXPECT_EQ(state.FindPrefetched("cn=alice,o=corp"), second);
    EXPECT_NE(state.FindPrefetched("CN=U99,O=CORP"), nullptr);
    keepUntilGone(secondAt);
    EXPECT_EQ(state.FindPrefetched("cn=alice,o=corp"), nullptr);
    EXPECT_EQ(state.FindPrefetched("cn=u99,o=Corp"), nullptr);
    const std::string newest = "cn=u" + std::to_string(filler - 1) + ",o=corp";
    ASSERT_NE(state.FindPrefetched(newest), nullptr);
    // Forgotten (changed or removed on the server): no longer found.
    state.Forget(newest);
    EXPECT_EQ(state.FindPrefetched(newest), nullptr);
}

TEST(LdapKeptEntries, KnownNamesStayFoundAsMoreAreSeen) {
    LdapClient::State::SessionNames state;
    for (int i = 0; i < 5000; ++i)
        state.SetKnownDn("u" + std::to_string(i) + ".corp", "cn=u" + std::to_string(i) + ",o=Corp");
    // The same entry written otherwise is still the one entry; another entry
    // of the same name makes the name stand for neither.
    state.SetKnownDn("u3.corp", "CN=U3,O=corp");
    state.SetKnownDn("u7.corp", "ou=u7,o=Corp");
    EXPECT_EQ(state.knownNames.size(), 5000u);
    for (int i = 0; i < 5000; ++i) {
        const std::string* dn = state.KnownDn("u" + std::to_string(i) + ".corp");
        if (i == 7) {
            EXPECT_EQ(dn, nullptr);
            continue;
        }
        ASSERT_NE(dn, nullptr) << i;
        EXPECT_EQ(*dn, i == 3 ? "CN=U3,O=corp" : "cn=u" + std::to_string(i) + ",o=Corp");
    }
    EXPECT_EQ(state.KnownDn("u5000.corp"), nullptr);
}

TEST(LdapKeptEntries, KnownNamesAreBoundedAndAClashOutlivesTheNoteOfItsName) {
    using Names = LdapClient::State::SessionNames;
    Names names;
    // Two entries of one name: the name stands for neither.
    EXPECT_FALSE(names.SetKnownDn("bob.corp", "cn=bob,o=Corp"));
    EXPECT_TRUE(names.SetKnownDn("bob.corp", "ou=bob,o=Corp"));
    const size_t count = Names::kLimit + 1000;
    for (size_t i = 0; i < count; ++i)
        names.SetKnownDn("u" + std::to_string(i) + ".corp", "cn=u" + std::to_string(i) + ",o=Corp");
    // The oldest went; the newest stay found.
    EXPECT_EQ(names.knownNames.size(), Names::kLimit);
    EXPECT_EQ(names.knownDns.size(), Names::kLimit);
    EXPECT_EQ(names.KnownDn("u0.corp"), nullptr);
    const std::string last = "u" + std::to_string(count - 1) + ".corp";
    ASSERT_NE(names.KnownDn(last), nullptr);
    EXPECT_EQ(*names.KnownDn(last), "cn=u" + std::to_string(count - 1) + ",o=Corp");
    // The clashing name went with the oldest; seen again, it still stands
    // for neither entry.
    ASSERT_EQ(names.knownDns.count("bob.corp"), 0u);
    names.SetKnownDn("bob.corp", "cn=bob,o=Corp");
    EXPECT_EQ(names.KnownDn("bob.corp"), nullptr);
}

}  // namespace
}  // namespace vellrun::client::ldap
