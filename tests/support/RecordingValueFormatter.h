#pragma once

#include "directory/ValueFormatter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellrun::directory {
class DirectoryAccess;
}

namespace vellrun::testing {

// A ValueFormatter for tests: records every call and appends one plain line
// per value (texts as they are, numbers in decimal). A stream is read through
// DirectoryAccess::DSReadStream into a 64,512-byte buffer and appended whole,
// as the real formatter does. Can throw at a chosen position.
class RecordingValueFormatter final : public directory::ValueFormatter {
public:
    struct Call {
        std::string object;
        std::string attribute;
        client::SyntaxId syntax = 0;
        size_t size = 0;
        uint32_t position = 0;
    };

    std::vector<Call> calls;
    // Needed for streams.
    directory::DirectoryAccess* access = nullptr;
    // Throws std::runtime_error("cannot format value N") at this position (0: never).
    uint32_t throwAtPosition = 0;

    client::Result FormatValue(client::ContextHandle context, std::string_view object,
                               std::string_view attribute, directory::ValueLines& lines,
                               const client::AttrValue& value, size_t size,
                               uint32_t position) override;

    static std::string PlainText(const client::AttrValue& value);
};

}  // namespace vellrun::testing
