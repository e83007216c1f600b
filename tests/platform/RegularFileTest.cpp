// Inputs that are not regular files are refused at once; a growing file is
// read whole; a size limit holds.

#include "platform/RegularFile.h"
#include "support/Sanitizers.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A file larger than the memory the process may have is refused with a
// reason, not ended by the allocator. Run in a child process whose address
// space is limited; a sanitizer's own reservations need more than that.
TEST(RegularFile, AFileBeyondTheMemoryAvailableIsRefused) {
    if (testing::kUnderSanitizer)
        GTEST_SKIP() << "a sanitizer needs more address space than the limit leaves";
    TempDir dir;
    const auto huge = dir / "huge";
    testing::WriteFile(huge, "");
    ASSERT_EQ(::truncate(huge.c_str(), off_t{4} << 30), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{rlim_t{1} << 30, rlim_t{1} << 30};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
        std::string bytes;
        const FileStatus status = ReadRegularFile(huge, bytes);
        ::_exit(status.ok()                                                   ? 1
                : status.error.find("not enough memory") != std::string::npos ? 0
                                                                              : 2);
    }
    int wait = 0;
    ASSERT_EQ(::waitpid(child, &wait, 0), child);
    ASSERT_TRUE(WIFEXITED(wait)) << "the child ended by signal " << WTERMSIG(wait);
    EXPECT_EQ(WEXITSTATUS(wait), 0);
}

}  // namespace
}  // namespace vellrun::platform
