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
        if (access.DSStartClient() == 0) {
            platform::StringList list;
            access.DSScanTrees(list);
            trees = list.Texts();
        }
        errors = messages.Errors();
        return trees;
    }
    fs::path dir_;
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
