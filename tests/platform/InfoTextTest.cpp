// The info text: where it is looked for, what a missing or unreadable file
// leaves in the memo, and how the file's lines are read.

#include "platform/InfoText.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::platform {
namespace {

namespace fs = std::filesystem;

class InfoTextTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"vellrun-info"};
    void SetUp() override {
        root_ = temp_.Path();
        bin_ = root_ / "bin";
        fs::create_directories(bin_ / "data");
    }
    static void Put(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    fs::path root_;
    fs::path bin_;
};

TEST_F(InfoTextTest, MissingOrUnreadableFileLeavesTheLineThatSaysSo) {
    std::vector<std::string> memo{"old"};
    LoadInfoText(memo, bin_);
    EXPECT_EQ(memo, (std::vector<std::string>{
                        "old", "Could not find " + (bin_ / "data" / "vellrun.txt").string()}));

    fs::create_directory(bin_ / "data" / "vellrun.txt");  // exists, but is no file to read
    memo.clear();
    LoadInfoText(memo, bin_);
    ASSERT_EQ(memo.size(), 1u);
    EXPECT_EQ(memo[0].rfind("Could not find ", 0), 0u);
}

TEST_F(InfoTextTest, FileLinesReplaceTheMemo) {
    Put(bin_ / "data" / "vellrun.txt", "first\r\n\r\ncaf\xE9\nold mac\rlast");
    std::vector<std::string> memo{"old"};
    LoadInfoText(memo, bin_);
    const std::vector<std::string> lines{"first", "", "caf\xC3\xA9", "old mac", "last"};
    EXPECT_EQ(memo, lines);

    // A file right beside the executables is none of the bundled data's:
    // the data folders are where the sample image is looked for too.
    Put(bin_ / "vellrun.txt", "beside\n");
    EXPECT_EQ(InfoTextFile(bin_), bin_ / "data" / "vellrun.txt");
    LoadInfoText(memo, bin_);
    EXPECT_EQ(memo, lines);

    fs::create_directories(root_ / "share" / "vellrun");
    Put(root_ / "share" / "vellrun" / "vellrun.txt", "");
    fs::remove(bin_ / "vellrun.txt");
    fs::remove(bin_ / "data" / "vellrun.txt");
    LoadInfoText(memo, bin_);  // the installed one; being empty, it empties the memo
    EXPECT_TRUE(memo.empty());
}

TEST(BundledInfoTextTest, IsShippedWithTheData) {
    ASSERT_TRUE(fs::is_regular_file(fs::path(VELLRUN_TEST_DATA_DIR) / "vellrun.txt"));
    std::vector<std::string> memo;
    // The build copies data/ beside the executables; the lookup finds it there.
    LoadInfoText(memo, fs::path(VELLRUN_TEST_DATA_DIR).parent_path());
    ASSERT_FALSE(memo.empty());
    EXPECT_EQ(memo[0].rfind("Vellrun", 0), 0u);
}

}  // namespace
}  // namespace vellrun::platform
