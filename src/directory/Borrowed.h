#pragma once

// Storage that an object keeps between operations (a read's name, value
// records, lines) and lends to one operation at a time. The operation works
// in the kept storage itself and hands it back when it ends, whichever way it
// ends; an operation started while another holds it gets fresh storage of its
// own for its lifetime. Lending costs a flag, not a move out and back.

#include <optional>

namespace vellrun::directory {

// The kept storage and whether it is lent out. A member of the keeping object.
template <typename T>
struct Kept {
    T value{};
    bool lent = false;
};

// Lives on the stack of one operation.
template <typename T>
class Borrowed {
public:
    explicit Borrowed(Kept<T>& home) : home_(home) {
        if (home.lent) {
            own_.emplace();
            value_ = &*own_;
        } else {
            home.lent = true;
            value_ = &home.value;
        }
    }
    ~Borrowed() {
        if (value_ == &home_.value) home_.lent = false;
    }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;

    T& operator*() { return *value_; }
    T* operator->() { return value_; }

private:
    Kept<T>& home_;
    T* value_ = nullptr;
    std::optional<T> own_;
};

}  // namespace vellrun::directory
