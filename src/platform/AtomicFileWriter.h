#pragma once

// Writing an export or settings file so that nothing is lost and nothing is
// replaced that should not be.
//
// A regular file (or a path that does not exist yet) is replaced all at once:
// the bytes go to a new temporary file beside it (".NAME.PID.N.tmp", readable
// by its owner only while it is written), are flushed to disk, and the
// temporary file is renamed over the target. A reader sees the old file or
// the new one, never a part; a failed write leaves any previous file whole
// and removes the temporary file. The replaced file keeps its permissions,
// and its owner and group where the process may set them. A symbolic link
// stays one (the file it points at is replaced, or made when the link points
// nowhere yet). A read-only file is refused; a file with several hard links
// is rewritten in place from a finished temporary copy, so every name keeps
// seeing it, and so is a writable file in a folder where no new file may be
// made (its copy then waits in the temporary folder). Should that rewrite
// fail part way (a failing disk), the copy is kept and the failure names it.
//
// A pipe (FIFO), a character device or a terminal ("/dev/stdout",
// "/dev/null") is written straight into; a folder or any other kind of file
// is refused with a message. Stale temporary files of processes that no
// longer run are removed from beside the target before each write.
//
// A file rewritten in place is rewritten whole: SIGTERM, SIGHUP or SIGINT
// that comes during the copy ends the program once the copy is done. A
// temporary copy made for a pipe is removed when the pipe's reader goes
// away; the broken pipe then ends the program as it would have.
//
// One object is one write: Begin, Append (or write TemporaryPath() by name),
// Commit. An object that is destroyed without a successful Commit removes its
// temporary file. Owned by the caller; not shared between threads.

#include "platform/FileStatus.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vellrun::platform {

class AtomicFileWriter {
public:
    // The whole write in one call: ok, or the platform's message naming the file.
    static FileStatus Write(const std::filesystem::path& target, std::string_view bytes);

    // The permissions a new file gets: 0666 less the process's umask, read
    // without changing it (from /proc; only where that fails by setting it).
    static unsigned NewFileMode();

    // The file a write to target lands in, as an absolute path: links
    // followed, dangling ones too. Two targets with one destination are one file.
    static std::filesystem::path Destination(const std::filesystem::path& target);

    explicit AtomicFileWriter(std::filesystem::path target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Looks at the target and opens what the bytes go to. needsFileName: the
    // caller hands TemporaryPath() to a library that opens the file by name,
    // so a temporary file is made even for a pipe or device (in the
    // temporary folder) and copied into it on Commit.
    FileStatus Begin(bool needsFileName = false);
    // Writes bytes at the end of what was written so far. After the first
    // failure nothing more is written and every later call, Commit included,
    // reports that failure.
    FileStatus Append(std::string_view bytes);
    // The temporary file (empty when the bytes go straight to the target).
    const std::filesystem::path& TemporaryPath() const { return temporary_; }
    // Puts the written bytes on disk (with the file's mode and owner), so
    // that Commit only has to put them in place: several files that must be
    // replaced together fail here, before any of them is. Commit flushes
    // what has not been.
    FileStatus Flush();
    // Makes the written bytes the target's contents.
    FileStatus Commit();

private:
    enum class Kind { New, Regular, InPlace, Special };

    FileStatus Fail(int error);
    FileStatus Fail(std::string_view why);
    // Copies the temporary file into destination; the error number, 0 when
    // it is done. changed: whether any byte of the destination was written.
    int CopyInto(const std::filesystem::path& destination, bool sync, bool& changed);
    // CopyInto the file, the end a signal brings held off until it is done.
    // A copy that fails part way keeps the temporary file, which then holds
    // the only whole copy of the new contents, and names it in the failure.
    FileStatus CopyIntoFile();
    // CopyInto the pipe or device, failing on a reader that went away.
    FileStatus CopyIntoPipe();
    void Discard();

    std::filesystem::path target_;    // as the caller named it (for messages)
    std::filesystem::path resolved_;  // the file that is written
    std::filesystem::path temporary_;
    Kind kind_ = Kind::New;
    int fd_ = -1;
    bool begun_ = false;
    bool committed_ = false;
    bool flushed_ = false;
    bool keepTemporary_ = false;  // a part-rewritten file's new contents
    unsigned oldMode_ = 0;
    unsigned oldOwner_ = 0;
    unsigned oldGroup_ = 0;
    std::optional<size_t> pendingSlot_;
    std::string failure_;  // the first failure's message
};

}  // namespace vellrun::platform
