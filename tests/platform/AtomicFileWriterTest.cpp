// The atomic file writer taking its bytes in pieces: the file appears whole
// at Commit, and a writer that fails or is dropped leaves the old file and no
// temporary file behind.

#include "platform/AtomicFileWriter.h"
#include "support/TempDir.h"

#include <filesystem>
#include <iterator>

#include <gtest/gtest.h>

namespace vellrun::platform {
namespace {

namespace fs = std::filesystem;
using vellrun::testing::ReadFile;
using vellrun::testing::TempDir;
using vellrun::testing::WriteFile;

size_t FilesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(AtomicFileWriter, PiecesBecomeTheFileOnlyAtCommit) {
    TempDir temp("vellrun-atomic");
    const fs::path target = temp / "out.csv";
    WriteFile(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);

    {
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.Open(target).ok());
        ASSERT_TRUE(writer.Append("new ").ok());
        ASSERT_TRUE(writer.Append("").ok());
        ASSERT_TRUE(writer.Append("bytes").ok());
        EXPECT_EQ(ReadFile(target), "old");  // not yet
        ASSERT_TRUE(writer.Commit().ok());
    }
    EXPECT_EQ(ReadFile(target), "new bytes");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(FilesIn(temp.Path()), 1u);

    // Dropped before Commit (a cancelled or failed export): nothing changes.
    {
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.Open(target).ok());
        ASSERT_TRUE(writer.Append("half a document").ok());
    }
    EXPECT_EQ(ReadFile(target), "new bytes");
    EXPECT_EQ(FilesIn(temp.Path()), 1u);
}

TEST(AtomicFileWriter, FailuresAreReportedToTheEndAndCleanUp) {
    TempDir temp("vellrun-atomic");
    // A folder where the file should go: the rename at Commit fails.
    const fs::path busy = temp / "busy.html";
    fs::create_directories(busy / "inside");
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(busy).ok());
    ASSERT_TRUE(writer.Append("x").ok());
    const FileStatus committed = writer.Commit();
    EXPECT_FALSE(committed.ok());
    EXPECT_NE(committed.error.find("busy.html"), std::string::npos);
    EXPECT_FALSE(writer.Commit().ok());  // the failure stays
    EXPECT_TRUE(fs::is_directory(busy / "inside"));
    EXPECT_EQ(FilesIn(temp.Path()), 1u);

    // No folder to put the temporary file in: Open fails, and so does
    // everything after it.
    AtomicFileWriter missing;
    EXPECT_FALSE(missing.Open(temp / "missing" / "out.csv").ok());
    EXPECT_FALSE(missing.Append("x").ok());
    EXPECT_FALSE(missing.Commit().ok());
    EXPECT_FALSE(fs::exists(temp / "missing"));
}

}  // namespace
}  // namespace vellrun::platform
