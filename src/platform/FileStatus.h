#pragma once

// The outcome of reading or writing a file, the one shape every file
// operation of the core reports: ok, or a message for a person that names the
// file and says what went wrong ("/home/a/x.ini: Permission denied"). A plain
// value owned by the caller; [[nodiscard]] so that no failure is dropped
// unseen. The directory's own failures are its integer result codes instead.

#include <string>
#include <utility>

namespace vellrun::platform {

struct [[nodiscard]] FileStatus {
    std::string error;  // empty when the operation succeeded

    bool ok() const { return error.empty(); }

    static FileStatus Ok() { return {}; }
    static FileStatus Failed(std::string message) { return {std::move(message)}; }
};

}  // namespace vellrun::platform
