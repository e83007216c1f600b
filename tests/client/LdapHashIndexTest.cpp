// The LDAP client's index of kept entries by hash, against a map doing the same.

#include "client/ldap/LdapClientState.h"

#include <random>
#include <unordered_map>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::client::ldap {
namespace {

TEST(LdapHashIndex, PutsReplacementsAndErasuresAgreeWithAMap) {
    // Hashes that differ in their high bits only, filed, replaced and taken
    // out in any order; an erasure names the item it means.
    std::vector<int> items(64);
    HashIndex<int> index;
    std::unordered_map<uint64_t, int*> model;
    std::mt19937 random(7);
    const auto hashOf = [](uint64_t n) {
        return (n << 52) + (n % 3) * 0x100000000ull + 0xFFFFFFFF;
    };
    for (int step = 0; step < 20000; ++step) {
        const uint64_t hash = hashOf(random() % 400);
        int* item = &items[random() % items.size()];
        switch (random() % 3) {
            case 0: {
                auto [it, added] = model.try_emplace(hash, item);
                int* before = added ? nullptr : it->second;
                it->second = item;
                ASSERT_EQ(index.Put(hash, item), before) << step;
                break;
            }
            case 1: {
                auto it = model.find(hash);
                // Only the item filed under the hash takes it out.
                if (it != model.end() && random() % 4 != 0) item = it->second;
                if (it != model.end() && it->second == item) model.erase(it);
                index.Erase(hash, item);
                break;
            }
            default: {
                auto it = model.find(hash);
                ASSERT_EQ(index.Find(hash), it == model.end() ? nullptr : it->second) << step;
            }
        }
    }
    for (uint64_t n = 0; n < 400; ++n) {
        auto it = model.find(hashOf(n));
        EXPECT_EQ(index.Find(hashOf(n)), it == model.end() ? nullptr : it->second) << n;
    }
    index.Clear();
    EXPECT_EQ(index.Find(hashOf(1)), nullptr);
}

}  // namespace
}  // namespace vellrun::client::ldap
