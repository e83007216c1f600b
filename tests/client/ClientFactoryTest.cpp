// Which trees the client connects to: the connections file, its faults, and
// the image given on the command line.

#include "client/ClientFactory.h"
#include "directory/DirectoryAccess.h"
#include "support/CountingRunFeedback.h"
#include "support/DirectoryTestBed.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellrun::client {
namespace {

namespace fs = std::filesystem;

class ClientFactoryTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"vellrun-factory"};
    void SetUp() override {
        dir_ = temp_.Path();
        fs::create_directories(dir_ / "images");
        Write("images/two.json",
              testing::TreesImage({{"CORP", testing::CorpObjects()}, {"LAB", "[]"}}));
        Write("images/other.json", testing::TreesImage({{"corp", "[]"}}));
        // Dumps named after their files: one name too long for the tree
        // list, one that it would trim to another tree's name.
        Write("images/dump.schema",
              "attributetype ( 2.5.4.10 NAME 'o' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n"
              "objectclass ( 2.5.6.4 NAME 'organization' SUP top STRUCTURAL MUST o )\n");
        const std::string dump =
            "dn: o=Dump\nobjectClass: organization\no: Dump\n\n"
            "dn: o=Other\nobjectClass: organization\no: Other\n";
        Write("images/a_very_long_file_name_for_the_corporate_dump_2024.ldif", dump);
        Write("images/corp_.ldif", dump);
    }
    void TearDown() override { unsetenv("VELLRUN_CONNECTIONS"); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    // Starts a configured client; the trees as the program shows them, or the messages.
    std::vector<std::string> Start(const std::string& config, std::vector<std::string>& errors) {
        Write("connections.json", config);
        return StartFrom(dir_ / "connections.json", errors);
    }
    std::vector<std::string> StartFrom(const fs::path& file, std::vector<std::string>& errors) {
        setenv("VELLRUN_CONNECTIONS", file.c_str(), 1);
        auto client = MakeDirectoryClient({});
        testing::ScriptedMessagePort messages;
        testing::CountingRunFeedback feedback;
        directory::DirectoryAccess access(*client, messages, feedback);
        std::vector<std::string> trees;
        unreachable_.clear();
        if (access.DSStartClient() == 0) {
            platform::StringList list;
            access.DSScanTrees(list);
            trees = list.Texts();
            // Each tree is found again by the name the list shows.
            ContextHandle context{};
            EXPECT_EQ(client->CreateContext(context), 0);
            for (const std::string& tree : trees) {
                if (access.DSSetContext(context, tree, "[Root]") != 0) unreachable_.push_back(tree);
            }
            client->FreeContext(context);
        }
        errors = messages.Errors();
        return trees;
    }
    fs::path dir_;
    std::vector<std::string> unreachable_;
};

TEST_F(ClientFactoryTest, SameTreeTwiceShowsOnceAndPathsAreRelativeToTheFile) {
    std::vector<std::string> errors;
    auto trees = Start(R"({"connections": [
        {"image": "images/two.json", "tree": "LAB"},
        {"image": "images/two.json", "tree": "corp"},
        {"image": "images/two.json"}], "primary": 2})",
                       errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(trees, (std::vector<std::string>{"LAB", "CORP"}));
}

// "primary" counts the entries as written, though the first entry here
// stands for both trees of its image.
TEST_F(ClientFactoryTest, PrimaryCountsTheEntriesAsWritten) {
    Write("connections.json", R"({"connections": [
        {"image": "images/two.json"},
        {"image": "images/two.json", "tree": "CORP"}], "primary": 2})");
    setenv("VELLRUN_CONNECTIONS", (dir_ / "connections.json").c_str(), 1);
    auto client = MakeDirectoryClient({});
    ASSERT_EQ(client->InitClient(0, 0), 0);
    client::ContextHandle context{};
    ASSERT_EQ(client->CreateContext(context), 0);
    std::string tree;
    ASSERT_EQ(client->GetContextText(context, client::ContextKey::TreeName, tree), 0);
    EXPECT_EQ(tree, "CORP");
}

TEST_F(ClientFactoryTest, ADumpNamedAfterItsFileGetsANameTheTreeListKeeps) {
    std::vector<std::string> errors;
    const auto trees = Start(R"({"connections": [
        {"image": "images/a_very_long_file_name_for_the_corporate_dump_2024.ldif",
         "schema": "images/dump.schema"},
        {"image": "images/two.json"}]})",
                             errors);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(trees, (std::vector<std::string>{"a_very_long_file_name_for_the_co", "CORP", "LAB"}));
    EXPECT_TRUE(unreachable_.empty()) << unreachable_.front();
}

TEST_F(ClientFactoryTest, BrokenConfigurationsStopStartUpAndSayWhy) {
    const std::string file = (dir_ / "connections.json").string();
    struct Case {
        std::string config;
        std::string fault;
    } cases[] = {
        {"{\"connections\": [", "invalid JSON"},
        {R"({"connections": [{"image": "images/two.json", "tree": "MISSING"}]})",
         "has no tree \"MISSING\""},
        {R"({"connections": [{"image": "nowhere.json"}]})", "nowhere.json"},
        {R"({"connections": [{"image": "images/two.json", "colour": 1}]})", "unknown key"},
        {R"({"connections": [{"image": "images/two.json"}], "primary": 3})", "primary"},
        {R"({"connections": []})", "no connections"},
        {R"({"connections": [{"image": "images/two.json"}, {"image": "images/other.json"}]})",
         "the image " + (dir_ / "images/two.json").string() + " and the image " +
             (dir_ / "images/other.json").string() + " both have a tree named \"corp\""},
        // A dump's tree named after its file may not take another tree's name.
        {R"({"connections": [{"image": "images/two.json"},
             {"image": "images/corp_.ldif", "schema": "images/dump.schema"}]})",
         "both have a tree named \"corp\" (a dump's tree is named after its file unless"},
        // Named by a later entry, a dump's tree keeps the name it is given.
        {R"({"connections": [{"image": "images/corp_.ldif", "schema": "images/dump.schema"},
             {"image": "images/corp_.ldif", "schema": "images/dump.schema", "tree": "corp"},
             {"image": "images/two.json"}]})",
         "both have a tree named \"CORP\""},
        {R"({"connections": [{"image": "images/corp_.ldif", "schema": "images/dump.schema",
             "tree": "CORP_"}]})",
         "connection 1: the tree name \"CORP_\" ends with \"_\""},
        {R"({"connections": [{"uri": "ldap://127.0.0.1:9", "name": "A_TREE_NAME_OF_33_CHARACTERS_LONG"}]})",
         "connection 1: the tree name \"A_TREE_NAME_OF_33_CHARACTERS_LONG\" is not 1 to 32 "
         "characters long"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> errors;
        auto trees = Start(c.config, errors);
        EXPECT_TRUE(trees.empty()) << c.config;
        ASSERT_EQ(errors.size(), 2u) << c.config;
        EXPECT_NE(errors[0].find("Could not initialize"), std::string::npos) << errors[0];
        EXPECT_NE(errors[1].find(c.fault), std::string::npos) << errors[1];
        if (c.fault != "nowhere.json") {
            EXPECT_NE(errors[1].find(file), std::string::npos) << errors[1];
        }
    }
}

TEST_F(ClientFactoryTest, AConnectionsFileThatIsNotAFileIsRefusedAtOnce) {
    // A FIFO without a writer would hold the start for good.
    const fs::path fifo = dir_ / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& file : {fifo, dir_ / "images"}) {
        std::vector<std::string> errors;
        EXPECT_TRUE(StartFrom(file, errors).empty());
        ASSERT_EQ(errors.size(), 2u) << file;
        EXPECT_NE(errors[1].find(file.string() + ": cannot be read: it is"), std::string::npos)
            << errors[1];
    }
}

// A configuration folder that cannot be searched (under another user's
// private folder) fails the start with the file and the reason, as any
// connections file that cannot be read does, and does not end the program.
TEST_F(ClientFactoryTest, AConfigurationFolderThatCannotBeSearchedIsNamed) {
    const fs::path shut = dir_ / "shut";
    fs::create_directories(shut / "config" / "vellrun");
    Write("shut/config/vellrun/connections.json", "not even JSON");
    // Shut to its owner too; root is let in anyway and runs the start as nobody.
    ASSERT_EQ(::chmod(shut.c_str(), 0), 0);
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        unsetenv("VELLRUN_CONNECTIONS");
        setenv("XDG_CONFIG_HOME", (shut / "config").c_str(), 1);
        std::string said;
        try {
            auto client = MakeDirectoryClient({});
            testing::ScriptedMessagePort messages;
            testing::CountingRunFeedback feedback;
            directory::DirectoryAccess access(*client, messages, feedback);
            if (access.DSStartClient() != 0 && !messages.Errors().empty())
                said = messages.Errors().back();
        } catch (const std::exception& error) {
            said = std::string("threw: ") + error.what();
        }
        const bool written =
            ::write(channel[1], said.data(), said.size()) == static_cast<ssize_t>(said.size());
        ::_exit(written ? 0 : 4);
    }
    ::close(channel[1]);
    std::string said;
    char buffer[512];
    for (ssize_t got = 0; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(shut.c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string file = (shut / "config" / "vellrun" / "connections.json").string();
    EXPECT_EQ(said, file + ": cannot be read: Permission denied");
}

TEST_F(ClientFactoryTest, AnImageGivenOnItsOwnIgnoresTheConfiguration) {
    Write("connections.json", "not even JSON");
    setenv("VELLRUN_CONNECTIONS", (dir_ / "connections.json").c_str(), 1);
    auto client = MakeDirectoryClient({.image = dir_ / "images/two.json"});
    ASSERT_EQ(client->InitClient(0, 0), 0);
    uint32_t iterator = 0;
    ConnRef ref = 0;
    int connections = 0;
    while (client->ScanConnections(iterator, ref) == 0)
        ++connections;
    EXPECT_EQ(connections, 2);
}

}  // namespace
}  // namespace vellrun::client
