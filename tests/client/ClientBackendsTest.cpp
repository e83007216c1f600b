// What both backends of the client answer alike through the client
// interface: a client started without a tree, and a read whose later page
// is refused as too small and asked for again in a larger buffer.

#include "client/image/DirectoryImage.h"
#include "client/image/ImageClient.h"
#include "client/ldap/LdapClient.h"
#include "support/ImageFixture.h"
#include "support/PortScenarios.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::client {
namespace {

TEST(ClientBackends, AClientStartedWithoutATreeMakesNoContext) {
    image::ImageClient images(std::make_shared<image::DirectoryImage>());
    ldap::LdapClient servers(std::vector<ldap::LdapConnectionConfig>{});
    for (DirectoryClient* client : std::vector<DirectoryClient*>{&images, &servers}) {
        ASSERT_EQ(client->InitClient(0, 0), 0);
        ConnRef primary{};
        EXPECT_EQ(client->GetPrimaryConnection(primary), Err::NoConnection);
        ContextHandle context{};
        EXPECT_EQ(client->CreateContext(context), Err::NoConnection);
    }
}

TEST(ClientBackends, ALaterPageRefusedAsTooSmallComesWholeInALargerBuffer) {
    const std::string large(2000, 'x');
    auto client = testing::StartImageClient(testing::TreeImage(
        R"([{"name": "Corp", "class": "Organization"},
            {"name": "u.Corp", "class": "User", "attributes": {"Title": "Boss",
             "Description": ")" +
        large + R"("}}])"));
    ContextHandle context{};
    ASSERT_EQ(client->CreateContext(context), 0);
    const testing::PagedRead read =
        testing::ReadAllThroughSmallPages(*client, context, "u.Corp", 300);
    ASSERT_EQ(read.result, 0);
    EXPECT_EQ(read.refusedLaterPages, 1);
    ASSERT_FALSE(read.attributes.empty());
    EXPECT_EQ(read.attributes.back().first, "Description");
    EXPECT_GE(read.attributes.back().second, large.size());
    client->FreeContext(context);
}

}  // namespace
}  // namespace vellrun::client
