#pragma once

#include "client/DirectoryClient.h"

#include <cstddef>

namespace vellrun::directory {

// A request or reply buffer of the client that is freed when it goes out of
// scope. Lives on the stack of one directory operation.
class ScopedBuffer {
public:
    explicit ScopedBuffer(client::DirectoryClient& client) : client_(client) {}
    ~ScopedBuffer() {
        if (handle_ != client::BufferHandle{}) client_.FreeBuffer(handle_);
    }
    ScopedBuffer(const ScopedBuffer&) = delete;
    ScopedBuffer& operator=(const ScopedBuffer&) = delete;

    client::Result Allocate(size_t size) {
        client::BufferHandle buffer{};
        const client::Result result = client_.AllocBuffer(size, buffer);
        if (result == 0) handle_ = buffer;
        return result;
    }
    client::BufferHandle Get() const { return handle_; }

private:
    client::DirectoryClient& client_;
    client::BufferHandle handle_{};
};

}  // namespace vellrun::directory
