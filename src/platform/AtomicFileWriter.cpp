#include "platform/AtomicFileWriter.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellrun::platform {

namespace {

std::string ErrorText(const std::filesystem::path& path, int error) {
    return "Cannot write \"" + path.string() + "\": " + std::strerror(error);
}

// The file a write replaces: a symbolic link is followed, so that the rename
// replaces the file it points at and the link stays.
std::filesystem::path WriteTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec) return resolved;
    }
    return path;
}

// Opens a new, unique temporary file beside target. Created with mode 0666 so
// that the user's umask gives the new file the permissions any new file gets.
int OpenTemporary(const std::filesystem::path& target, std::filesystem::path& temporary) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path folder = target.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + target.filename().string() + "." +
                                 std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        temporary = folder.empty() ? std::filesystem::path(name) : folder / name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

FileStatus AtomicFileWriter::Write(const std::filesystem::path& path, std::string_view bytes) {
    AtomicFileWriter writer;
    if (FileStatus status = writer.Open(path); !status.ok()) return status;
    if (FileStatus status = writer.Append(bytes); !status.ok()) return status;
    return writer.Commit();
}

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

void AtomicFileWriter::Discard() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = -1;
}

FileStatus AtomicFileWriter::Open(const std::filesystem::path& path) {
    Discard();
    path_ = path;
    target_ = WriteTarget(path);
    error_ = 0;
    fd_ = OpenTemporary(target_, temporary_);
    if (fd_ < 0) {
        error_ = errno;
        return FileStatus::Failed(ErrorText(path_, error_));
    }
    return FileStatus::Ok();
}

FileStatus AtomicFileWriter::Append(std::string_view bytes) {
    if (fd_ < 0 && error_ == 0) error_ = EBADF;
    size_t written = 0;
    while (error_ == 0 && written < bytes.size()) {
        const ssize_t count = ::write(fd_, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno != EINTR) error_ = errno;
        } else {
            written += static_cast<size_t>(count);
        }
    }
    return error_ == 0 ? FileStatus::Ok() : FileStatus::Failed(ErrorText(path_, error_));
}

FileStatus AtomicFileWriter::Commit() {
    if (fd_ < 0 && error_ == 0) error_ = EBADF;
    struct stat old {};
    if (error_ == 0 && ::stat(target_.c_str(), &old) == 0 &&
        ::fchmod(fd_, old.st_mode & 07777) != 0) {
        error_ = errno;
    }
    // The data must be on disk before the rename makes it the file.
    if (error_ == 0 && ::fsync(fd_) != 0) error_ = errno;
    if (fd_ >= 0) {
        if (::close(fd_) != 0 && error_ == 0) error_ = errno;
        fd_ = -1;
        if (error_ == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) error_ = errno;
        if (error_ != 0) ::unlink(temporary_.c_str());
    }
    return error_ == 0 ? FileStatus::Ok() : FileStatus::Failed(ErrorText(path_, error_));
}

}  // namespace vellrun::platform
