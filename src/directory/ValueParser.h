#pragma once

#include "client/AttrValue.h"
#include "client/ClientTypes.h"
#include "client/ResultCodes.h"

#include <cstdint>
#include <string_view>

namespace vellrun::directory {

// Results of a parse besides 0 and the client's codes.
namespace ParseResult {
inline constexpr client::Result NotOfSyntax = client::Err::TextNotOfSyntax;
inline constexpr client::Result NoParser = client::Err::NoValueParser;
}  // namespace ParseResult

// Turns edited text back into a value of an attribute's syntax.
// DirectoryAccess::DSWriteAttr calls it for the old and the new text; the
// values subsystem implements it. It may adjust the change type (a list
// becomes "replace all values"). It must not write anything itself.
class ValueParser {
public:
    virtual ~ValueParser() = default;

    // Builds value from text; returns 0, ParseResult::NotOfSyntax or
    // ParseResult::NoParser. changeType is one of ModifyType.
    virtual client::Result ParseValue(client::ContextHandle context, std::string_view object,
                                      std::string_view attribute, std::string_view text,
                                      client::SyntaxId syntax, uint32_t& changeType,
                                      client::AttrValue& value) = 0;
};

}  // namespace vellrun::directory
