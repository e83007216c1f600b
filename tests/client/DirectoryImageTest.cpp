// The in-memory tree: a container finds its children by name, without case,
// whether it holds a few (looked through) or many (indexed), and a child
// removed is no longer found.

#include "client/image/DirectoryImage.h"

#include <gtest/gtest.h>

namespace vellrun::client::image {
namespace {

std::unique_ptr<Entry> Named(const std::string& name) {
    auto entry = std::make_unique<Entry>();
    entry->name = name;
    return entry;
}

TEST(DirectoryImageTest, ChildrenAreFoundByNameWhileAddedAndRemoved) {
    Entry container;
    for (int i = 0; i < 40; ++i) {
        container.AddChild(Named("User" + std::to_string(i)));
        // Every child added so far is found, before and after the container indexes them.
        for (int j = 0; j <= i; j += 7) {
            const Entry* found = container.FindChild("user" + std::to_string(j));
            ASSERT_NE(found, nullptr) << j << " of " << i + 1;
            EXPECT_EQ(found->name, "User" + std::to_string(j));
            EXPECT_EQ(found->parent, &container);
        }
    }
    container.RemoveChild(container.FindChild("USER5"));
    EXPECT_EQ(container.FindChild("User5"), nullptr);
    EXPECT_EQ(container.FindFoldedChild("user5"), nullptr);
    EXPECT_EQ(container.children.size(), 39u);
    container.AddChild(Named("user5"));
    ASSERT_NE(container.FindFoldedChild("user5"), nullptr);
    EXPECT_EQ(container.FindChild("USER5")->name, "user5");
    EXPECT_EQ(container.FindChild("User40"), nullptr);

    Entry few;
    few.AddChild(Named("Sales"));
    EXPECT_EQ(few.FindFoldedChild("sales"), few.children.front().get());
    few.RemoveChild(few.FindChild("SALES"));
    EXPECT_EQ(few.FindChild("Sales"), nullptr);
}

TEST(DirectoryImageTest, PooledNamesAreHeldOnceAndReadAsTheirText) {
    NamePool pool;
    const PooledName user = pool.Intern("User");
    EXPECT_EQ(user, pool.Intern(std::string("User")));
    EXPECT_EQ(&user.str(), &pool.Intern("User").str());
    EXPECT_NE(&user.str(), &pool.Intern("user").str());  // spelled as given
    EXPECT_EQ(user, "User");
    EXPECT_TRUE(PooledName().empty());
}

}  // namespace
}  // namespace vellrun::client::image
