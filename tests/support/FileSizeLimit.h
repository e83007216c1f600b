#pragma once

// A disk that fills up, for the tests of failed writes: while a
// ScopedFileSizeLimit lives, no file of the process may grow beyond the
// given size (a limit that binds root too), and SIGXFSZ is ignored so that
// such a write fails with EFBIG instead of ending the test.

#include <csignal>

#include <sys/resource.h>

namespace vellrun::testing {

class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        set_ = ::getrlimit(RLIMIT_FSIZE, &previous_) == 0;
        previousSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous_;
        small.rlim_cur = bytes;
        set_ = set_ && ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~ScopedFileSizeLimit() {
        if (set_) ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousSignal_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

    // Whether the limit holds; a test without it proves nothing.
    bool Set() const { return set_; }

private:
    rlimit previous_{};
    void (*previousSignal_)(int) = SIG_DFL;
    bool set_ = false;
};

}  // namespace vellrun::testing
