#pragma once

// Bounds-safe reading of one value's bytes, and the octet-string layouts that
// need more than a line of code ("Bindery Property", "Partition Status",
// "Printer Configuration"). Every read past the end of the value gives zero,
// as a zero-filled reply buffer would, and every text stops at the value's
// end, so no layout can read beyond the bytes it was given, however short or
// malformed they are. All texts come out as valid UTF-8. Pure functions.

#include "platform/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vellrun::values::octets {

using Bytes = std::span<const uint8_t>;

// Little-endian numbers at an offset; bytes past the end count as zero.
uint8_t U8(Bytes bytes, size_t offset);
uint16_t U16(Bytes bytes, size_t offset);
uint32_t U32(Bytes bytes, size_t offset);

// The raw bytes of the zero-terminated 8-bit string at offset, without the
// zero; stops at the end of bytes. Empty when offset lies beyond the end.
Bytes Text8Bytes(Bytes bytes, size_t offset);
// That string as UTF-8 (8-bit bytes that are not UTF-8 are read as Windows-1252).
std::string Text8(Bytes bytes, size_t offset);
// The zero-terminated UTF-16LE string at offset as UTF-8; stops at the end of
// bytes (an odd last byte is the low half of a unit whose high half is zero).
std::string Text16(Bytes bytes, size_t offset);
// count bytes from offset, the part past the end filled with zeros.
std::vector<uint8_t> Padded(Bytes bytes, size_t offset, size_t count);

// Upper-case hexadecimal with at least minDigits digits ("%.4X").
std::string Hex(uint32_t value, int minDigits = 1);
// A 32-bit word printed with "%d": read as a signed number.
std::string Dec(uint32_t word);

// "%s: %s" of the property name at +5 and the value at +47 (text, or the
// trimmed hexadecimal dump when that text is empty).
std::string BinderyPropertyText(Bytes bytes);
// One value of "Partition Status"; valueNumber 1 is the attribute's first value.
std::string PartitionStatusText(Bytes bytes, uint32_t valueNumber,
                                const platform::DateTimeFormats& formats);
// A print server's printer record: type, port and line settings, form and driver.
std::string PrinterConfigurationText(Bytes bytes);

}  // namespace vellrun::values::octets
