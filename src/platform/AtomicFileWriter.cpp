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
    const std::filesystem::path target = WriteTarget(path);
    std::filesystem::path temporary;
    const int fd = OpenTemporary(target, temporary);
    if (fd < 0) return FileStatus::Failed(ErrorText(path, errno));

    int error = 0;
    size_t written = 0;
    while (written < bytes.size() && error == 0) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno != EINTR) error = errno;
        } else {
            written += static_cast<size_t>(count);
        }
    }
    struct stat old {};
    if (error == 0 && ::stat(target.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0) {
        error = errno;
    }
    // The data must be on disk before the rename makes it the file.
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return FileStatus::Failed(ErrorText(path, error));
    }
    return FileStatus::Ok();
}

}  // namespace vellrun::platform
