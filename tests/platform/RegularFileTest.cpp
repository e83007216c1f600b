// Inputs that are not regular files are refused at once; a growing file is
// read whole; a size limit holds.

#include "platform/RegularFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vellrun::platform {
namespace {

using testing::TempDir;

TEST(RegularFile, RefusesFifosFoldersAndMissingFilesWithoutBlocking) {
    TempDir dir;
    const auto fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string bytes = "old";
    bool missing = true;
    // A FIFO without a writer would block a plain open for good.
    FileStatus status = ReadRegularFile(fifo, bytes, SIZE_MAX, 0, &missing);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.error, "it is not a regular file");
    EXPECT_FALSE(missing);
    EXPECT_TRUE(bytes.empty());

    status = ReadRegularFile(dir.Path(), bytes);
    EXPECT_EQ(status.error, "it is a folder");

    status = ReadRegularFile(dir / "absent", bytes, SIZE_MAX, 0, &missing);
    EXPECT_FALSE(status.ok());
    EXPECT_TRUE(missing);
}

TEST(RegularFile, ReadsTheWholeFileWithinItsLimit) {
    TempDir dir;
    const std::string text(100000, 'x');
    testing::WriteFile(dir / "a", text);
    std::string bytes;
    ASSERT_TRUE(ReadRegularFile(dir / "a", bytes, SIZE_MAX, 16).ok());
    EXPECT_EQ(bytes, text);
    EXPECT_GE(bytes.capacity(), text.size() + 16);

    const FileStatus status = ReadRegularFile(dir / "a", bytes, 99999);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.error, "it is larger than 99999 bytes");
}

}  // namespace
}  // namespace vellrun::platform
