#pragma once

#include <atomic>

namespace vellrun::platform {

// A request to stop running work: a front end sets it (a Cancel button, a
// timer, Ctrl+C), the work reads it before each step. Owned by whoever starts
// the work or by the front end's RunFeedback; never copied. It only carries
// the request; it must not stop anything by itself.
class CancelFlag {
public:
    CancelFlag() = default;
    CancelFlag(const CancelFlag&) = delete;
    CancelFlag& operator=(const CancelFlag&) = delete;

    void Set() { set_.store(true); }
    void Clear() { set_.store(false); }
    bool IsSet() const { return set_.load(); }

private:
    // Atomic so that a console signal handler may set it safely.
    std::atomic<bool> set_{false};
};

}  // namespace vellrun::platform
