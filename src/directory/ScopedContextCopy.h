#pragma once

#include "client/DirectoryClient.h"

namespace vellrun::directory {

// A short-lived copy of a caller's context that is freed when the copy goes
// out of scope, so flags can be changed on it without touching the shared
// context. Lives on the stack of one directory operation.
class ScopedContextCopy {
public:
    explicit ScopedContextCopy(client::DirectoryClient& client) : client_(client) {}
    ~ScopedContextCopy() {
        if (handle_ != client::ContextHandle{}) client_.FreeContext(handle_);
    }
    ScopedContextCopy(const ScopedContextCopy&) = delete;
    ScopedContextCopy& operator=(const ScopedContextCopy&) = delete;

    client::Result Duplicate(client::ContextHandle source) {
        client::ContextHandle copy{};
        const client::Result result = client_.DuplicateContext(source, copy);
        if (result == 0) handle_ = copy;
        return result;
    }
    client::ContextHandle Get() const { return handle_; }

private:
    client::DirectoryClient& client_;
    client::ContextHandle handle_{};
};

}  // namespace vellrun::directory
