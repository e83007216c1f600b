#pragma once

// Edited text back into a value of an attribute's syntax: the inverse of the
// display forms where a syntax is editable. DirectoryAccess::DSWriteAttr calls
// it for the old and the new text of a write.

#include "directory/ValueParser.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::values {

// The text cut at every "#" into parts, in order; an empty text has no parts.
std::vector<std::string> SplitHashFields(std::string_view text);

// The platform's standard integer conversion: optional leading blanks, an
// optional sign, then decimal digits or "$" and hexadecimal digits, nothing
// after. Any number that fits 64 bits is read (the parser then refuses what
// does not fit the syntax's 32-bit word); anything else, a larger number
// included, is nothing.
std::optional<int64_t> ParseWholeNumber(std::string_view text);

// The value parser the front ends install into DirectoryAccess. Owned by the
// front end's start-up next to the formatter; holds a reference to the
// program-wide date and time formats, which must outlive it. It builds values
// only and never writes anything.
class ValueTextParser final : public directory::ValueParser {
public:
    // The room a value had in the client's value buffer; a value whose record
    // and texts need more is refused.
    static constexpr size_t kValueBufferSize = 2047;

    explicit ValueTextParser(const platform::DateTimeFormats& formats) : formats_(formats) {}

    client::Result ParseValue(client::ContextHandle context, std::string_view object,
                              std::string_view attribute, std::string_view text,
                              client::SyntaxId syntax, uint32_t& changeType,
                              client::AttrValue& value) override;

private:
    const platform::DateTimeFormats& formats_;
};

}  // namespace vellrun::values
