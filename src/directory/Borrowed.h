#pragma once

// Storage that an object keeps between operations (a read's name, value
// records, lines) and lends to one operation at a time: taken out when the
// operation starts and put back when it ends, whichever way it ends. An
// operation started while another holds the storage finds it moved out and
// works with fresh storage of its own. Lives on the stack of one operation;
// owns the storage only while it is lent.

#include <utility>

namespace vellrun::directory {

template <typename T>
class Borrowed {
public:
    explicit Borrowed(T& home) : home_(home), value_(std::move(home)) {}
    ~Borrowed() { home_ = std::move(value_); }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;
    T& operator*() { return value_; }

private:
    T& home_;
    T value_;
};

}  // namespace vellrun::directory
