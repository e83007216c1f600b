#pragma once

// The schema's vocabulary as text: syntax names, class and attribute
// definition flags, replica types and states, object identifiers, and the two
// small text helpers every value text uses. Pure functions; fixed English texts.

#include "client/ClientTypes.h"
#include "client/ObjectIdentifiers.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vellrun::values {

// A + S + B when both A and B are non-empty, else A + B.
std::string JoinNonEmpty(std::string_view a, std::string_view b, std::string_view separator);

// Each byte as two upper-case hexadecimal digits, no separators; count is taken
// modulo 65536 and never reads beyond bytes.
std::string HexText(std::span<const uint8_t> bytes, size_t count);
std::string HexText(std::span<const uint8_t> bytes);
// The same text appended to out.
void AppendHexText(std::string& out, std::span<const uint8_t> bytes, size_t count);
// The same digits written at out, which has room for two per byte; returns
// where they end.
char* PutHexDigits(char* out, std::span<const uint8_t> bytes);

std::string SyntaxName(client::SyntaxId syntax);
std::string ClassFlagsText(uint32_t flags);
// parts: bit 1 the syntax name, bit 2 the flags in brackets.
std::string AttrDefinitionText(const client::AttrDefRecord& definition, int parts);
std::string ReplicaTypeText(uint32_t type);
std::string SyncStateText(uint32_t state);
// An encoded object identifier as dotted text (the client's, which every
// backend encodes with).
using client::OidText;

}  // namespace vellrun::values
