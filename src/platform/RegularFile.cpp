#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellrun::platform {

namespace {

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

FileStatus Failure(std::string_view why) {
    return FileStatus::Failed(std::string(why));
}

std::string TooLarge(size_t maxBytes) {
    return "it is larger than " + std::to_string(maxBytes) + " bytes";
}

// Reads an open file of size bytes (as it was when opened) into content.
FileStatus ReadOpenFile(int file, size_t size, std::string& content, size_t maxBytes,
                        size_t padding) {
    // The file may grow or shrink while it is read; what is read is what counts.
    content.reserve(size + padding);
    content.resize(size);
    size_t done = 0;
    while (true) {
        if (done == content.size()) {
            // Look for bytes beyond the size the file had when it was opened.
            char probe = 0;
            const ssize_t more = ::read(file, &probe, 1);
            if (more < 0 && errno == EINTR) continue;
            if (more < 0) return Failure(std::strerror(errno));
            if (more == 0) break;
            if (done >= maxBytes) return Failure(TooLarge(maxBytes));
            content.push_back(probe);
            ++done;
            content.resize(std::min(maxBytes, content.size() + content.size() / 2 + 4096));
            continue;
        }
        const ssize_t got = ::read(file, content.data() + done, content.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failure(std::strerror(errno));
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    content.resize(done);
    if (content.capacity() < done + padding) content.reserve(done + padding);
    return FileStatus::Ok();
}

}  // namespace

int OpenRegularFile(const std::filesystem::path& path, FileStatus& status, bool* missing) {
    if (missing) *missing = false;
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0) {
        const int error = errno;
        if (missing) *missing = error == ENOENT;
        status = Failure(std::strerror(error));
        return -1;
    }
    struct stat facts {};
    if (::fstat(file.get(), &facts) != 0) {
        status = Failure(std::strerror(errno));
        return -1;
    }
    if (!S_ISREG(facts.st_mode)) {
        status = Failure(S_ISDIR(facts.st_mode) ? "it is a folder" : "it is not a regular file");
        return -1;
    }
    // Reads of a regular file may block as usual.
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags >= 0) ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
    status = FileStatus::Ok();
    return file.release();
}

FileStatus ReadRegularFile(const std::filesystem::path& path, std::string& content, size_t maxBytes,
                           size_t padding, bool* missing) {
    content.clear();
    FileStatus opened;
    const Descriptor file(OpenRegularFile(path, opened, missing));
    if (file.get() < 0) return opened;
    struct stat facts {};
    if (::fstat(file.get(), &facts) != 0) return Failure(std::strerror(errno));
    const auto size = static_cast<uint64_t>(facts.st_size);
    if (size > maxBytes) return Failure(TooLarge(maxBytes));
    try {
        return ReadOpenFile(file.get(), static_cast<size_t>(size), content, maxBytes, padding);
    } catch (const std::bad_alloc&) {
        content = std::string();
        return Failure("there is not enough memory to read its " + std::to_string(size) + " bytes");
    }
}

}  // namespace vellrun::platform
