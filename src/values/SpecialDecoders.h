#pragma once

// Octet strings and streams made readable: the layouts known by attribute
// name, a hexadecimal dump for every other octet string, and the text of
// streams, including application object templates ("AOT FILE"). No decoder
// reads beyond its value: bytes past the end read as zero.

#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"
#include "directory/ValueLines.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vellrun::values {

// The text of one octet string (one entry, which may hold CR LF). valueNumber
// counts the attribute's values from 1. formats shows the time of "Partition Status".
std::string DecodeOctetString(std::span<const uint8_t> bytes, std::string_view attributeName,
                              uint32_t valueNumber, const platform::DateTimeFormats& formats);
// The same text added to lines as one line; a decoder that fails adds nothing.
void AddOctetString(directory::ValueLines& lines, std::span<const uint8_t> bytes,
                    std::string_view attributeName, uint32_t valueNumber,
                    const platform::DateTimeFormats& formats);

// The attribute names whose octet strings have a layout of their own, in the
// order they are looked up (every other octet string is shown in hexadecimal).
std::span<const std::string_view> OctetLayoutNames();

// The text of a stream's content as read (at most 64,512 bytes): the bytes up
// to the first zero as text, or the decoding of an application object template.
std::string StreamContentText(std::span<const uint8_t> content, std::string_view attributeName);

// Reads the stream and gives its text; on a failed read the text is
// "Cannot read Stream" and the client's result is returned.
client::Result StreamText(directory::DirectoryAccess& access, client::ContextHandle context,
                          std::string_view object, std::string_view attributeName,
                          std::string& text);

}  // namespace vellrun::values
