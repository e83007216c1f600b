#pragma once

// Application object templates: streams that begin with "AOT FILE", a 24-byte
// header (three identifier words, two version words) and records whose form
// depends on the attribute that holds them. The record walks are heuristics
// over undocumented data; each one is bounded by the stream's end and always
// moves forward, so any content, however malformed, ends in a text. Pure
// functions; the text is valid UTF-8.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vellrun::values {

// Where a template's records begin.
inline constexpr size_t kTemplateHeaderSize = 24;

// True when the first 8 bytes, read as text up to a zero byte, are exactly
// "AOT FILE" and there is more than the header.
bool IsTemplate(std::span<const uint8_t> content);

// The text of a template; attributeName (compared with case) picks the
// records' form. Content of any size is accepted.
std::string TemplateText(std::span<const uint8_t> content, std::string_view attributeName);

}  // namespace vellrun::values
