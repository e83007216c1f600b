#include "platform/AtomicFileWriter.h"

#include "platform/PendingTemporaries.h"
#include "platform/TextEncoding.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellrun::platform {

namespace {

constexpr int kMaxLinkHops = 40;

// Where a symbolic link that points at nothing yet leads: the path a new
// file would take when written through it.
std::filesystem::path FollowDanglingLinks(std::filesystem::path path, bool& loops) {
    loops = false;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat link {};
        if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
        std::error_code ec;
        const std::filesystem::path next = std::filesystem::read_symlink(path, ec);
        if (ec) return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    loops = true;
    return path;
}

// How the temporary files of file begin: ".NAME.". A name too long for its
// temporary name to stay within the file system's 255 bytes is cut, and the
// cut name told apart from others by a hash of the whole.
std::string TemporaryPrefix(const std::filesystem::path& file) {
    constexpr size_t kLongestKept = 200;
    std::string name = file.filename().string();
    if (name.size() > kLongestKept) {
        uint64_t hash = 14695981039346656037ull;  // FNV-1a
        for (const char byte : name) {
            hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
        }
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
        name.resize(Utf8CharacterBoundary(name, kLongestKept));
        name += '~';
        name += hex;
    }
    return "." + name + ".";
}

// Temporary files of this name whose process has ended (killed while it
// wrote) are removed; those of running processes are theirs.
void SweepStaleTemporaries(const std::filesystem::path& file) {
    const std::string prefix = TemporaryPrefix(file);
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix) || !name.ends_with(".tmp")) continue;
        // Exactly "<pid>.<n>": a name with more dots is the temporary file of
        // another target whose name begins like this one ("data.2024").
        const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        const size_t dot = middle.find('.');
        if (dot == 0 || dot == std::string::npos || dot + 1 == middle.size() ||
            middle.find_first_not_of("0123456789", dot + 1) != std::string::npos ||
            middle.substr(0, dot).find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const long pid = std::strtol(middle.c_str(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            ::unlink(it->path().c_str());
        }
    }
}

// Opens a new, unique temporary file beside target, readable and writable
// by its owner only: nothing of a private file shows while it is written.
int OpenTemporary(const std::filesystem::path& target, std::filesystem::path& temporary) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path folder = target.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryPrefix(target) + std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        temporary = folder.empty() ? std::filesystem::path(name) : folder / name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// A temporary file in the temporary folder, for a pipe or device target.
int OpenScratch(std::filesystem::path& temporary) {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) folder = "/tmp";
    std::string pattern = (folder / "vellrun-write-XXXXXX").string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) temporary = pattern;
    return fd;
}

int WriteAll(int fd, std::string_view bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        written += static_cast<size_t>(count);
    }
    return 0;
}

}  // namespace

unsigned AtomicFileWriter::NewFileMode() {
    // umask() itself can only be read by setting it, which would change the
    // mask for every thread of the process for a moment.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:")) {
            return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

FileStatus AtomicFileWriter::Write(const std::filesystem::path& target, std::string_view bytes) {
    AtomicFileWriter writer(target);
    if (FileStatus status = writer.Begin(); !status.ok()) return status;
    if (FileStatus status = writer.Append(bytes); !status.ok()) return status;
    return writer.Commit();
}

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target) : target_(std::move(target)) {}

AtomicFileWriter::~AtomicFileWriter() {
    if (!committed_) Discard();
}

FileStatus AtomicFileWriter::Fail(int error) {
    return Fail(std::string_view(std::strerror(error)));
}

FileStatus AtomicFileWriter::Fail(std::string_view why) {
    Discard();
    // The first failure is the one that counts; every later call repeats it.
    if (failure_.empty())
        failure_ = "Cannot write \"" + target_.string() + "\": " + std::string(why);
    return FileStatus::Failed(failure_);
}

void AtomicFileWriter::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty() && !keepTemporary_) ::unlink(temporary_.c_str());
    temporary_.clear();
    PendingTemporaries::Remove(pendingSlot_);
    pendingSlot_.reset();
}

std::filesystem::path AtomicFileWriter::Destination(const std::filesystem::path& target) {
    bool loops = false;
    std::error_code ec;
    // Links are resolved before ".." is: "link/.." is the link target's parent.
    const std::filesystem::path path =
        std::filesystem::absolute(FollowDanglingLinks(target, loops), ec);
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    return ec ? path.lexically_normal() : canonical;
}

FileStatus AtomicFileWriter::Begin(bool needsFileName) {
    if (begun_) return Fail("the write has begun already");
    begun_ = true;
    resolved_ = target_;
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        if (S_ISREG(st.st_mode)) {
            // The file a link points at is replaced, so the link stays.
            if (char* real = ::realpath(target_.c_str(), nullptr)) {
                resolved_ = real;
                std::free(real);
            }
            if ((st.st_mode & 0222) == 0) return Fail("the file is read-only");
            if (::access(resolved_.c_str(), W_OK) != 0) return Fail(errno);
            kind_ = st.st_nlink > 1 ? Kind::InPlace : Kind::Regular;
            oldMode_ = st.st_mode & 07777;
            oldOwner_ = st.st_uid;
            oldGroup_ = st.st_gid;
        } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
            kind_ = Kind::Special;
        } else if (S_ISDIR(st.st_mode)) {
            return Fail("it is a folder");
        } else {
            return Fail("it is neither a regular file nor a pipe or character device");
        }
    } else if (errno == ENOENT) {
        bool loops = false;
        resolved_ = FollowDanglingLinks(target_, loops);
        if (loops) return Fail(ELOOP);
        kind_ = Kind::New;
    } else {
        return Fail(errno);
    }

    if (kind_ == Kind::Special && !needsFileName) {
        fd_ = ::open(resolved_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        return fd_ < 0 ? Fail(errno) : FileStatus::Ok();
    }
    if (kind_ != Kind::Special) SweepStaleTemporaries(resolved_);
    fd_ = kind_ == Kind::Special ? OpenScratch(temporary_) : OpenTemporary(resolved_, temporary_);
    if (fd_ < 0 && (kind_ == Kind::Regular || kind_ == Kind::InPlace) &&
        (errno == EACCES || errno == EPERM)) {
        // A file that may be written in a folder that may not (a shared
        // report file in a locked folder): it is rewritten in place from a
        // finished copy made in the temporary folder.
        kind_ = Kind::InPlace;
        fd_ = OpenScratch(temporary_);
    }
    if (fd_ < 0) {
        const int error = errno;
        temporary_.clear();
        // The file is not expected to be there; its folder is what is missing.
        if (error == ENOENT && kind_ == Kind::New) {
            const std::filesystem::path folder = resolved_.parent_path();
            return Fail("the folder \"" + (folder.empty() ? std::string(".") : folder.string()) +
                        "\" does not exist");
        }
        return Fail(error);
    }
    pendingSlot_ = PendingTemporaries::Add(temporary_);
    return FileStatus::Ok();
}

FileStatus AtomicFileWriter::Append(std::string_view bytes) {
    if (!failure_.empty()) return FileStatus::Failed(failure_);
    if (fd_ < 0) return Fail("the file is not open");
    if (const int error = WriteAll(fd_, bytes); error != 0) return Fail(error);
    return FileStatus::Ok();
}

int AtomicFileWriter::CopyInto(const std::filesystem::path& destination, bool sync, bool& changed) {
    changed = false;
    const int in = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno;
    // Not truncated on opening: a file is cut to its new size only once the
    // new contents are in, and the room a larger file needs is reserved
    // first, so a disk too full for the growth leaves it whole. (A write
    // that fails later, on a failing disk, leaves it part new, part old; the
    // failure is reported.)
    const int out = ::open(destination.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    struct stat source {};
    struct stat target {};
    int error = 0;
    const bool regular =
        ::fstat(in, &source) == 0 && ::fstat(out, &target) == 0 && S_ISREG(target.st_mode);
    if (regular && source.st_size > target.st_size) {
        // The room is taken before any byte changes; a file system that
        // cannot reserve room is written all the same.
        do {
            error = ::posix_fallocate(out, 0, source.st_size);
        } while (error == EINTR);
        if (error == EOPNOTSUPP || error == EINVAL) error = 0;
    }
    char buffer[65536];
    while (error == 0) {
        const ssize_t count = ::read(in, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) error = errno;
        if (count <= 0) break;
        changed = true;
        error = WriteAll(out, std::string_view(buffer, static_cast<size_t>(count)));
    }
    if (error == 0 && regular && ::ftruncate(out, source.st_size) != 0) error = errno;
    if (error == 0 && sync && ::fsync(out) != 0) error = errno;
    if (::close(out) != 0 && error == 0) error = errno;
    ::close(in);
    return error;
}

FileStatus AtomicFileWriter::CopyIntoFile() {
    // A file cut off half way would be part new, part old, with neither
    // contents left anywhere: a signal that would end the program waits
    // until the copy is done and the file cut to its new length.
    const PendingTemporaries::SignalEndHold hold;
    // A signal is ending the program: the file stays as it was.
    if (!hold.Granted()) return Fail("the program is being ended by a signal");
    bool changed = false;
    const int error = CopyInto(resolved_, true, changed);
    if (error == 0) return FileStatus::Ok();
    if (!changed) return Fail(error);
    keepTemporary_ = true;
    return Fail(std::string(std::strerror(error)) +
                "; the file may now be part new, part old: its whole new contents are in \"" +
                temporary_.string() + "\"");
}

FileStatus AtomicFileWriter::CopyIntoPipe() {
    // A reader that goes away (a pipe into "head") fails the write instead
    // of ending the program at once with the copy left in the temporary
    // folder; once the copy is removed, the broken pipe's signal, held back
    // meanwhile, does what it would have done.
    sigset_t brokenPipe;
    sigset_t previous;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, &previous);
    bool changed = false;
    const int error = CopyInto(resolved_, false, changed);
    // The copy goes before the signal is let through.
    FileStatus copied = error != 0 ? Fail(error) : FileStatus::Ok();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return copied;
}

FileStatus AtomicFileWriter::Flush() {
    if (!failure_.empty()) return FileStatus::Failed(failure_);
    if (!begun_ || committed_) return Fail("the write has not begun");
    if (flushed_ || temporary_.empty()) return FileStatus::Ok();
    // A library may have written the temporary file by its name; reopen it.
    if (fd_ < 0) fd_ = ::open(temporary_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) return Fail(errno);

    int error = 0;
    if (kind_ == Kind::New || kind_ == Kind::Regular) {
        if (kind_ == Kind::Regular) {
            struct stat own {};
            if (::fstat(fd_, &own) == 0 && (own.st_uid != oldOwner_ || own.st_gid != oldGroup_) &&
                ::fchown(fd_, oldOwner_, oldGroup_) != 0) {
                // Not allowed to give the file away: keep at least its group.
                [[maybe_unused]] const int ignored =
                    ::fchown(fd_, static_cast<uid_t>(-1), oldGroup_);
            }
        }
        // After the owner: changing it may clear the set-user-ID bits.
        const mode_t mode = kind_ == Kind::Regular ? oldMode_ : static_cast<mode_t>(NewFileMode());
        if (::fchmod(fd_, mode) != 0) error = errno;
    }
    // The data must be on disk before the rename makes it the file.
    if (error == 0 && ::fsync(fd_) != 0) error = errno;
    if (::close(std::exchange(fd_, -1)) != 0 && error == 0) error = errno;
    if (error != 0) return Fail(error);
    flushed_ = true;
    return FileStatus::Ok();
}

FileStatus AtomicFileWriter::Commit() {
    if (!failure_.empty()) return FileStatus::Failed(failure_);
    if (!begun_ || committed_) return Fail("the write has not begun");
    if (temporary_.empty()) {
        // Straight into a pipe or device.
        const int fd = std::exchange(fd_, -1);
        if (fd < 0) return Fail("the file is not open");
        if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
        committed_ = true;
        return FileStatus::Ok();
    }
    if (FileStatus flushed = Flush(); !flushed.ok()) return flushed;

    bool inPlace = kind_ == Kind::InPlace || kind_ == Kind::Special;
    if (!inPlace && ::rename(temporary_.c_str(), resolved_.c_str()) != 0) {
        // A sticky folder (/tmp, a shared drop folder) lets only a file's
        // owner replace it: another's writable file is rewritten in place.
        if (kind_ != Kind::Regular || (errno != EPERM && errno != EACCES)) return Fail(errno);
        inPlace = true;
    }
    if (inPlace) {
        // Every hard link, pipe or device keeps being the same file, and so
        // does a file the process may write but not replace.
        if (FileStatus copied = kind_ == Kind::Special ? CopyIntoPipe() : CopyIntoFile();
            !copied.ok()) {
            return copied;
        }
        ::unlink(temporary_.c_str());
    }
    temporary_.clear();
    PendingTemporaries::Remove(pendingSlot_);
    pendingSlot_.reset();
    committed_ = true;
    return FileStatus::Ok();
}

}  // namespace vellrun::platform
