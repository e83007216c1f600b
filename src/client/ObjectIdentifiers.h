#pragma once

// Object identifiers as the schema stores them (ObjectIdentifier: tag 6, the
// content length, then the content) and as dotted text ("2.5.4.3"). Every
// backend and every view of the schema encodes and reads them here, so that
// what one accepts the others show alike.

#include "client/ClientTypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace vellrun::client {

// Dotted text to the encoded identifier: two numbers at least, the first 0, 1
// or 2 and the second below 40 (they share the first content byte, 40 *
// first + second), every number up to 4294967295, and no more than the 32
// bytes an identifier holds. Nothing when the text is not such an identifier;
// fault (when given) then says why, to follow the quoted text.
std::optional<ObjectIdentifier> EncodeOid(std::string_view dotted, std::string* fault = nullptr);

// The encoded identifier as dotted text, or an empty text when it holds none.
// The content ends after the length byte's count, or earlier where the
// identifier's length (which must cover the count and one byte more) or its
// 32 bytes end; a number cut short at the end is left out.
std::string OidText(const ObjectIdentifier& identifier);

}  // namespace vellrun::client
