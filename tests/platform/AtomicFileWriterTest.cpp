// The writer that every export and settings write goes through: what kind of
// file the target is decides how it is written, a replaced file keeps what it
// was, and no temporary file outlives its write.

#include "platform/AtomicFileWriter.h"
#include "platform/PendingTemporaries.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <future>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellrun::platform {
namespace {

namespace fs = std::filesystem;
using vellrun::testing::ReadFile;
using vellrun::testing::WriteFile;

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

size_t TemporariesIn(const fs::path& folder) {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().ends_with(".tmp")) ++count;
    }
    return count;
}

// A process id that surely belongs to no running process: a child that ended.
pid_t DeadProcessId() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(AtomicFileWriterTest, PipesAndDevicesAreWrittenIntoAndOtherKindsRefused) {
    vellrun::testing::TempDir dir("vellrun-writer");

    // A FIFO gets the bytes and stays a FIFO (what "--file /dev/stdout | ..." is).
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&] { return ReadFile(fifo); });
    EXPECT_TRUE(AtomicFileWriter::Write(fifo, "through the pipe\r\n").ok());
    EXPECT_EQ(reader.get(), "through the pipe\r\n");
    EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));

    // A character device stays one, also when the process may replace it.
    EXPECT_TRUE(AtomicFileWriter::Write("/dev/null", "gone").ok());
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));

    // A link that points nowhere yet makes its file and stays a link.
    const fs::path dangling = dir / "link.csv";
    fs::create_symlink("made-through-link.csv", dangling);
    EXPECT_TRUE(AtomicFileWriter::Write(dangling, "new").ok());
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadFile(dir / "made-through-link.csv"), "new");

    // A link loop and a folder are refused, each left as it was.
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    const FileStatus loop = AtomicFileWriter::Write(dir / "loop-a", "x");
    EXPECT_FALSE(loop.ok());
    EXPECT_TRUE(fs::is_symlink(dir / "loop-a"));
    fs::create_directory(dir / "folder");
    const FileStatus folder = AtomicFileWriter::Write(dir / "folder", "x");
    EXPECT_NE(folder.error.find("folder"), std::string::npos) << folder.error;
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(TemporariesIn(dir.Path()), 0u);
}

TEST(AtomicFileWriterTest, AReplacedFileKeepsItsOwnerModeAndLinks) {
    vellrun::testing::TempDir dir("vellrun-writer");

    // A private file stays private, and so is its temporary file while written.
    const fs::path secret = dir / "secret.csv";
    WriteFile(secret, "old");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    {
        AtomicFileWriter writer(secret);
        ASSERT_TRUE(writer.Begin().ok());
        ASSERT_TRUE(writer.Append("new secret").ok());
        EXPECT_EQ(ModeOf(writer.TemporaryPath()) & 0777, 0600u);
        ASSERT_TRUE(writer.Commit().ok());
    }
    EXPECT_EQ(ModeOf(secret) & 0777, 0600u);
    EXPECT_EQ(ReadFile(secret), "new secret");

    // A read-only file is not replaced.
    const fs::path locked = dir / "locked.csv";
    WriteFile(locked, "keep me");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    const FileStatus refused = AtomicFileWriter::Write(locked, "lost");
    EXPECT_NE(refused.error.find("read-only"), std::string::npos) << refused.error;
    EXPECT_EQ(ReadFile(locked), "keep me");

    // Every name of a hard-linked file sees the new contents.
    const fs::path first = dir / "first.csv";
    const fs::path second = dir / "second.csv";
    WriteFile(first, "old");
    fs::create_hard_link(first, second);
    EXPECT_TRUE(AtomicFileWriter::Write(first, "shared").ok());
    EXPECT_EQ(ReadFile(second), "shared");
    EXPECT_EQ(fs::hard_link_count(first), 2u);

    // Owner and group stay where the process may set them.
    const fs::path owned = dir / "owned.csv";
    WriteFile(owned, "old");
    if (::chown(owned.c_str(), 4321, 4322) == 0) {
        EXPECT_TRUE(AtomicFileWriter::Write(owned, "new").ok());
        struct stat st {};
        ASSERT_EQ(::stat(owned.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
    }
    EXPECT_EQ(TemporariesIn(dir.Path()), 0u);

    // A writable file in a folder where no new file may be made is still
    // written (by a process that is not root, which any folder lets in).
    const fs::path shut = dir / "shut";
    fs::create_directory(shut);
    const fs::path shared = shut / "shared.csv";
    WriteFile(shared, "old");
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(shut.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    // The same in a sticky folder, where only a file's owner may replace it.
    const fs::path drop = dir / "drop";
    fs::create_directory(drop);
    const fs::path dropped = drop / "shared.csv";
    WriteFile(dropped, "old");
    ASSERT_EQ(::chmod(dropped.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(drop.c_str(), 01777), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        const bool written = AtomicFileWriter::Write(shared, "new").ok() &&
                             AtomicFileWriter::Write(dropped, "new too").ok();
        ::_exit(written ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(shut.c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(shared), "new");
    EXPECT_EQ(ReadFile(dropped), "new too");
    EXPECT_EQ(TemporariesIn(drop), 0u);
}

TEST(AtomicFileWriterTest, NoTemporaryFileOutlivesItsWrite) {
    vellrun::testing::TempDir dir("vellrun-writer");
    const fs::path target = dir / "out.csv";

    // Left behind by a process that was killed while it wrote: swept. One of
    // a process that still runs (this one's parent) is its own and stays.
    const std::string stale = ".out.csv." + std::to_string(DeadProcessId()) + ".0.tmp";
    const std::string living = ".out.csv." + std::to_string(::getppid()) + ".0.tmp";
    WriteFile(dir / stale, "half");
    WriteFile(dir / living, "busy");
    EXPECT_TRUE(AtomicFileWriter::Write(target, "whole").ok());
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_TRUE(fs::exists(dir / living));
    fs::remove(dir / living);

    // An abandoned write removes its temporary file and leaves the target whole.
    {
        AtomicFileWriter writer(target);
        ASSERT_TRUE(writer.Begin().ok());
        ASSERT_TRUE(writer.Append("part").ok());
    }
    EXPECT_EQ(ReadFile(target), "whole");
    EXPECT_EQ(TemporariesIn(dir.Path()), 0u);

    // A name as long as a file system allows still has a temporary name
    // within its limit.
    const fs::path longest = dir / (std::string(250, 'a') + ".csv");
    EXPECT_TRUE(AtomicFileWriter::Write(longest, "long").ok());
    EXPECT_EQ(ReadFile(longest), "long");
    EXPECT_EQ(TemporariesIn(dir.Path()), 0u);

    // A signal handler removes the temporary file of a write in progress.
    AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Begin().ok());
    ASSERT_TRUE(fs::exists(writer.TemporaryPath()));
    PendingTemporaries::UnlinkAll();
    EXPECT_EQ(TemporariesIn(dir.Path()), 0u);
}

// SIGTERM while a file with two names is rewritten in place: the program
// ends, but only once the file holds the whole new contents, cut to their
// length, and no temporary file is left.
TEST(AtomicFileWriterTest, ASignalDuringAnInPlaceRewriteWaitsForTheWholeFile) {
    vellrun::testing::TempDir dir("vellrun-writer");
    const fs::path target = dir / "report.xml";
    WriteFile(target, std::string(size_t{48} << 20, 'o'));
    fs::create_hard_link(target, dir / "link.xml");
    const std::string newBytes = "NEW" + std::string((size_t{24} << 20) - 3, 'n');
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        PendingTemporaries::InstallSignalCleanup();
        AtomicFileWriter writer(target);
        if (!writer.Begin().ok() || !writer.Append(newBytes).ok()) ::_exit(2);
        // The signal comes as soon as the first new bytes show in the file.
        const int watched = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
        std::atomic<bool> done{false};
        std::atomic<bool> sent{false};
        std::thread watcher([&] {
            char head[3] = {};
            while (!done.load()) {
                if (::pread(watched, head, sizeof head, 0) == 3 && head[0] == 'N') {
                    ::kill(::getpid(), SIGTERM);
                    sent = true;
                    return;
                }
            }
        });
        const bool committed = writer.Commit().ok();
        done = true;
        watcher.join();
        if (!committed) ::_exit(3);
        if (!sent) ::_exit(4);
        sigset_t none;
        sigemptyset(&none);
        ::sigsuspend(&none);  // a signal not taken yet is taken here
        ::_exit(5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child exited with " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(fs::file_size(dir / "link.xml"), newBytes.size());
    EXPECT_TRUE(ReadFile(dir / "link.xml") == newBytes) << "the file is part new, part old";
    EXPECT_EQ(TemporariesIn(dir.Path()), 0u);
}

// A signal that is ending the program (here waiting for a hold of its own)
// may meet a rewrite in place that another thread is about to start: the
// rewrite does not start, and the file stays whole and old.
TEST(AtomicFileWriterTest, ARewriteInPlaceDoesNotStartOnceASignalIsEndingTheProgram) {
    vellrun::testing::TempDir dir("vellrun-writer");
    const fs::path target = dir / "report.xml";
    WriteFile(target, "old");
    fs::create_hard_link(target, dir / "link.xml");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::optional<PendingTemporaries::SignalEndHold> hold(std::in_place);
        PendingTemporaries::EndBySignal(SIGTERM);  // what the handler does
        AtomicFileWriter writer(target);
        if (!writer.Begin().ok() || !writer.Append("new").ok()) ::_exit(2);
        if (writer.Commit().ok()) ::_exit(3);
        hold.reset();  // the signal ends the program here
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child exited with " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(ReadFile(dir / "link.xml"), "old");
    EXPECT_EQ(TemporariesIn(dir.Path()), 0u);
}

// A workbook for a pipe is made in the temporary folder and copied into the
// pipe. A reader that goes away takes that copy with it, and the broken
// pipe still ends the program, as it ends one that writes straight into it.
// A file of two names is rewritten in place; a write that fails part way
// (here at 100 KB, as a failing disk would) leaves it part new, part old.
// The finished copy, then the only whole one, stays and is named.
TEST(AtomicFileWriterTest, AnInPlaceRewriteThatFailsPartWayKeepsTheNewContentsAndSaysWhere) {
    vellrun::testing::TempDir dir("vellrun-writer");
    const fs::path target = dir / "out.csv";
    WriteFile(target, std::string(300 * 1024, 'o'));
    fs::create_hard_link(target, dir / "link.csv");
    const std::string contents(200 * 1024, 'n');
    AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Begin().ok());
    ASSERT_TRUE(writer.Append(contents).ok());
    const fs::path copy = writer.TemporaryPath();
    FileStatus committed;
    {
        const vellrun::testing::ScopedFileSizeLimit failingDisk(100 * 1024);
        ASSERT_TRUE(failingDisk.Set());
        committed = writer.Commit();
    }
    ASSERT_FALSE(committed.ok());
    EXPECT_NE(committed.error.find("its whole new contents are in \"" + copy.string() + "\""),
              std::string::npos)
        << committed.error;
    EXPECT_EQ(ReadFile(copy), contents);
}

TEST(AtomicFileWriterTest, APipesReaderThatGoesAwayLeavesNoCopyBehind) {
    vellrun::testing::TempDir dir("vellrun-writer");
    const fs::path scratch = dir / "tmp";
    fs::create_directory(scratch);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ends[0]);
        ::setenv("TMPDIR", scratch.c_str(), 1);
        std::signal(SIGPIPE, SIG_DFL);
        AtomicFileWriter writer("/dev/fd/" + std::to_string(ends[1]));
        if (!writer.Begin(true).ok() || writer.TemporaryPath().parent_path() != scratch ||
            !writer.Append(std::string(size_t{1} << 20, 'x')).ok()) {
            ::_exit(2);
        }
        (void)writer.Commit();
        ::_exit(3);
    }
    ::close(ends[1]);
    // As "| head -c10" does: ten bytes, then the reader is gone.
    char head[10];
    size_t got = 0;
    while (got < sizeof head) {
        const ssize_t count = ::read(ends[0], head + got, sizeof head - got);
        if (count <= 0) break;
        got += static_cast<size_t>(count);
    }
    ::close(ends[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(got, sizeof head);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child exited with " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGPIPE);
    EXPECT_TRUE(fs::is_empty(scratch));
}

// Where a write lands: a link is followed before "..", as the system does.
TEST(AtomicFileWriterTest, ADestinationFollowsALinkBeforeGoingUp) {
    vellrun::testing::TempDir dir("vellrun-writer");
    fs::create_directories(dir / "real" / "sub");
    fs::create_directory_symlink(dir / "real" / "sub", dir / "link");
    const fs::path viaLink = AtomicFileWriter::Destination(dir / "link" / ".." / "x.csv");
    EXPECT_EQ(viaLink, fs::weakly_canonical(dir / "real" / "x.csv"));
    EXPECT_NE(viaLink, AtomicFileWriter::Destination(dir / "x.csv"));
}

TEST(AtomicFileWriterTest, TheSweepTakesOnlyTheWritersOwnNamesForStale) {
    vellrun::testing::TempDir dir("vellrun-writer");
    // The live temporary file of this test's parent writing "data.<pid>",
    // where <pid> belongs to no running process: it begins like a stale
    // temporary file of "data" but is not one.
    const std::string other =
        ".data." + std::to_string(DeadProcessId()) + "." + std::to_string(::getppid()) + ".0.tmp";
    WriteFile(dir / other, "busy");
    EXPECT_TRUE(AtomicFileWriter::Write(dir / "data", "whole").ok());
    EXPECT_TRUE(fs::exists(dir / other));
}

size_t FilesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(AtomicFileWriterTest, PiecesBecomeTheFileOnlyAtCommit) {
    vellrun::testing::TempDir temp("vellrun-atomic");
    const fs::path target = temp / "out.csv";
    WriteFile(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);

    {
        AtomicFileWriter writer(target);
        ASSERT_TRUE(writer.Begin().ok());
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
        AtomicFileWriter writer(target);
        ASSERT_TRUE(writer.Begin().ok());
        ASSERT_TRUE(writer.Append("half a document").ok());
    }
    EXPECT_EQ(ReadFile(target), "new bytes");
    EXPECT_EQ(FilesIn(temp.Path()), 1u);
}

TEST(AtomicFileWriterTest, FailuresAreReportedToTheEndAndCleanUp) {
    vellrun::testing::TempDir temp("vellrun-atomic");
    // A folder where the file should go is refused before anything is
    // written, and the refusal is what every later call reports.
    const fs::path busy = temp / "busy.html";
    fs::create_directories(busy / "inside");
    AtomicFileWriter folder(busy);
    const FileStatus begun = folder.Begin();
    EXPECT_FALSE(begun.ok());
    EXPECT_NE(begun.error.find("busy.html"), std::string::npos);
    EXPECT_EQ(folder.Append("x").error, begun.error);
    EXPECT_EQ(folder.Commit().error, begun.error);
    EXPECT_TRUE(fs::is_directory(busy / "inside"));
    EXPECT_EQ(FilesIn(temp.Path()), 1u);

    // A full device fails a piece of a streamed export, which does not look
    // at each piece: Commit still says why.
    AtomicFileWriter full("/dev/full");
    ASSERT_TRUE(full.Begin().ok());
    const FileStatus appended = full.Append(std::string(1 << 16, 'x'));
    EXPECT_FALSE(appended.ok());
    EXPECT_NE(appended.error.find("No space left"), std::string::npos) << appended.error;
    EXPECT_EQ(full.Append("more").error, appended.error);
    EXPECT_EQ(full.Commit().error, appended.error);

    // A file rewritten in place (it has another name) that the disk has no
    // room for (here: the file size limit, reached only at the copy) keeps
    // its old contents.
    const fs::path linked = temp / "linked.csv";
    WriteFile(linked, "the earlier file");
    fs::create_hard_link(linked, temp / "other-name.csv");
    AtomicFileWriter inPlace(linked);
    ASSERT_TRUE(inPlace.Begin().ok());
    ASSERT_TRUE(inPlace.Append(std::string(1 << 16, 'x')).ok());
    FileStatus tooBig;
    {
        const vellrun::testing::ScopedFileSizeLimit noRoom(4096);
        ASSERT_TRUE(noRoom.Set());
        tooBig = inPlace.Commit();
    }
    EXPECT_FALSE(tooBig.ok());
    EXPECT_EQ(ReadFile(temp / "other-name.csv"), "the earlier file");

    // No folder to put the temporary file in: Begin fails, and so does
    // everything after it.
    // The folder is what is missing, not the file.
    AtomicFileWriter missing(temp / "missing" / "out.csv");
    EXPECT_EQ(missing.Begin().error, "Cannot write \"" + (temp / "missing" / "out.csv").string() +
                                         "\": the folder \"" + (temp / "missing").string() +
                                         "\" does not exist");
    EXPECT_FALSE(missing.Append("x").ok());
    EXPECT_FALSE(missing.Commit().ok());
    EXPECT_FALSE(fs::exists(temp / "missing"));
}

}  // namespace
}  // namespace vellrun::platform
