// Servers in the connections file: a configured server starts through the
// directory layer like an image does, and the entries it refuses (a stored
// password, images and servers mixed, unknown keys) stop the start with a
// message naming the file and the fault.

#include "TestSlapd.h"
#include "client/ClientFactory.h"
#include "directory/DirectoryAccess.h"
#include "support/CountingRunFeedback.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"

#include <memory>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace vellrun::client {
namespace {

// A client made from a connections file written into dir, with the
// directory access and the scripted boxes it speaks through; not started.
struct ConfiguredClient {
    ConfiguredClient(const testing::TempDir& dir, const std::string& config)
        : client(Make(dir, config)), access(*client, messages, feedback) {}

    static std::unique_ptr<DirectoryClient> Make(const testing::TempDir& dir,
                                                 const std::string& config) {
        testing::WriteFile(dir / "connections.json", config);
        setenv("VELLRUN_CONNECTIONS", (dir / "connections.json").c_str(), 1);
        auto made = MakeDirectoryClient({});
        unsetenv("VELLRUN_CONNECTIONS");
        return made;
    }

    std::unique_ptr<DirectoryClient> client;
    testing::ScriptedMessagePort messages;
    testing::CountingRunFeedback feedback;
    directory::DirectoryAccess access;
};

std::vector<std::string> Start(const testing::TempDir& dir, const std::string& config,
                               std::vector<std::string>& errors) {
    ConfiguredClient started(dir, config);
    std::vector<std::string> trees;
    if (started.access.DSStartClient() == 0) {
        platform::StringList list;
        started.access.DSScanTrees(list);
        trees = list.Texts();
    }
    errors = started.messages.Errors();
    return trees;
}

TEST(LdapConfiguration, AConfiguredServerStartsAndBadEntriesAreRefused) {
    const auto& slapd = testing::TestSlapd::Shared();
    testing::TempDir dir;
    testing::WriteFile(dir / "manager.pw", "secret\n");
    ::chmod((dir / "manager.pw").c_str(), 0600);
    std::vector<std::string> errors;
    const std::string server = R"({"uri": ")" + slapd.Uri() +
                               R"(", "name": "LIVE", "base": "dc=test", "bind": "simple",
                                   "bindDn": "cn=admin,dc=test", "passwordFile": "manager.pw")";
    EXPECT_EQ(Start(dir, R"({"connections": [)" + server + "}]}", errors),
              std::vector<std::string>{"LIVE"});
    EXPECT_TRUE(errors.empty());

    auto refused = [&](const std::string& config, const std::string& words) {
        std::vector<std::string> messages;
        EXPECT_TRUE(Start(dir, config, messages).empty()) << config;
        std::string all;
        for (const auto& m : messages)
            all += m + "\n";
        EXPECT_NE(all.find(words), std::string::npos) << all;
    };
    refused(R"({"connections": [)" + server + R"(, "password": "secret"}]})",
            "never kept in the connections file");
    refused(R"({"connections": [)" + server + R"(}, {"image": "x.json"}]})", "cannot be mixed");
    refused(R"({"connections": [{"uri": "ldap://127.0.0.1:1", "bind": "kerberos"}]})",
            "\"bind\" must be");
    refused(R"({"connections": [{"uri": "ldap://127.0.0.1:1", "bind": "simple"}]})",
            "needs \"bindDn\"");
    refused(R"({"connections": [{"uri": "ldap://127.0.0.1:1", "colour": "red"}]})",
            "unknown key \"colour\"");
    // One server's tree connected twice shows once, under the name given.
    const std::string unnamed = R"({"uri": ")" + slapd.Uri() + R"(", "base": "dc=test"})";
    EXPECT_EQ(Start(dir, R"({"connections": [)" + unnamed + ", " + server + "}]}", errors),
              std::vector<std::string>{"LIVE"});
    // Two trees of one name, given or derived from the server, stop the start:
    // either could answer for a saved report meant for the other.
    const std::string other = R"({"uri": ")" + slapd.Uri() + R"(", "base": "ou=other,dc=test")";
    refused(R"({"connections": [)" + server + "}, " + other + R"(, "name": "live"}]})",
            "are both named \"live\"");
    refused(R"({"connections": [)" + unnamed + ", " + other + "}]}", "unless \"name\" names it");
    // A server that is not there: the start fails with libldap's reason.
    refused(R"({"connections": [{"uri": "ldap://127.0.0.1:1"}]})", "Can't contact LDAP server");
}

// A base the server does not hold leaves its tree empty: the start says so
// once, naming the base and the server (and the nearest entry the server
// has), and goes on; a listing of that tree says it again, and the other
// trees list as they are.
TEST(LdapConfiguration, ABaseTheServerDoesNotHoldIsNamedAtTheStartAndWhenListed) {
    const auto& slapd = testing::TestSlapd::Shared();
    const std::string uri = slapd.Uri();
    testing::TempDir dir;
    ConfiguredClient started(
        dir, R"({"connections": [{"uri": ")" + uri +
                 R"(", "name": "UP", "base": "dc=nope"}, {"uri": ")" + uri +
                 R"(", "name": "NEAR", "base": "ou=nope,dc=test"}, {"uri": ")" + uri +
                 R"(", "name": "LIVE", "base": "dc=test"}]})");
    const std::unique_ptr<DirectoryClient>& client = started.client;
    testing::ScriptedMessagePort& messages = started.messages;
    directory::DirectoryAccess& access = started.access;
    ASSERT_EQ(access.DSStartClient(), 0) << client->StartupDiagnostic();
    EXPECT_TRUE(messages.Errors().empty());
    const std::string up = "the base \"dc=nope\" does not exist on " + uri;
    const std::string near = "the base \"ou=nope,dc=test\" does not exist on " + uri +
                             " (the nearest entry there is \"dc=test\")";
    EXPECT_EQ(messages.Texts(testing::ScriptedMessagePort::Kind::Info),
              std::vector<std::string>{"The tree UP is empty: " + up +
                                       "\nThe tree NEAR is empty: " + near});

    ContextHandle context{};
    ASSERT_EQ(client->CreateContext(context), 0);
    const auto list = [&](const std::string& tree, platform::StringList& lines) {
        platform::CancelFlag cancel;
        if (Result r = client->SetContextText(context, ContextKey::TreeName, tree); r != 0)
            return r;
        return access.DSListContainer(context, "[Root]", nullptr, cancel, lines);
    };
    platform::StringList lines;
    Result result = list("UP", lines);
    EXPECT_EQ(result, Err::NoSuchEntry);
    EXPECT_EQ(access.DSErrorText(result), "0xFFFFFDA7 (No such entry: " + up + ")");
    result = list("NEAR", lines);
    EXPECT_EQ(result, Err::NoSuchEntry);
    EXPECT_EQ(access.DSErrorText(result), "0xFFFFFDA7 (No such entry: " + near + ")");
    EXPECT_EQ(list("LIVE", lines), 0);
    EXPECT_GT(lines.Count(), 0u);
    // The reason belongs to that failure alone: a missing entry of the
    // tree that is there is not put down to a base.
    std::string full;
    EntryRecord record;
    result = client->ReadObjectInfo(context, "CN=nobody", full, record);
    EXPECT_EQ(result, Err::NoSuchEntry);
    EXPECT_EQ(access.DSErrorText(result).find("base"), std::string::npos)
        << access.DSErrorText(result);
}

}  // namespace
}  // namespace vellrun::client
