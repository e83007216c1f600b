#pragma once

#include "client/AttrValue.h"
#include "client/ClientTypes.h"
#include "directory/ValueLines.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vellrun::directory {

// Turns one attribute value into lines of text. DirectoryAccess::DSReadValues
// calls it once per value, in reply order; the values subsystem implements it.
// A stream attribute (syntax 21) is handed over as a StreamValue: the
// formatter reads the stream itself (DirectoryAccess::DSReadStream) and
// returns the result of that read. The formatter may throw; the read turns
// the exception's message into the value's line and goes on, so a formatter
// starts a line only once what could fail is done. It must not start another
// read of the same reply.
class ValueFormatter {
public:
    virtual ~ValueFormatter() = default;

    // Appends the lines of one value to lines. size is the size the client
    // computed for the value; position counts the attribute's values from 1.
    // Returns 0, or the client's result of a stream read.
    virtual client::Result FormatValue(client::ContextHandle context, std::string_view object,
                                       std::string_view attribute, ValueLines& lines,
                                       const client::AttrValue& value, size_t size,
                                       uint32_t position) = 0;
};

}  // namespace vellrun::directory
