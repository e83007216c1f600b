#pragma once

// Every attribute value as lines of text, by its syntax, and the small texts
// values are made of: network addresses, rights, durations, local times and
// value information.

#include "directory/DirectoryAccess.h"
#include "directory/ValueFormatter.h"
#include "directory/ValueInfo.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::values {

std::string NetAddressText(uint32_t type, std::span<const uint8_t> address);
void AppendNetAddressText(std::string& out, uint32_t type, std::span<const uint8_t> address);
// kind 1: entry rights, 2: attribute rights.
std::string RightsText(uint32_t privileges, int kind);
std::string AclText(uint32_t privileges, std::string_view subject,
                    std::string_view protectedAttribute);
std::string DurationText(uint32_t seconds);
// Local time in the short date format and the long time format.
std::string LocalTimeText(uint32_t seconds, const platform::DateTimeFormats& formats);
void AppendLocalTimeText(std::string& out, uint32_t seconds,
                         const platform::DateTimeFormats& formats);
// parts: bit 1 the time stamp, bit 2 the flags; "[ ... ]" or empty.
std::string ValueInfoText(const directory::ValueInfo& info, int parts,
                          const platform::DateTimeFormats& formats);
void AppendValueInfoText(std::string& out, const directory::ValueInfo& info, int parts,
                         const platform::DateTimeFormats& formats);

// The value formatter DirectoryAccess hands every value to. Owned by the
// front end's start-up next to the DirectoryAccess it reads streams through.
class ValueTextFormatter final : public directory::ValueFormatter {
public:
    ValueTextFormatter(directory::DirectoryAccess& access,
                       const platform::DateTimeFormats& formats);
    client::Result FormatValue(client::ContextHandle context, std::string_view object,
                               std::string_view attribute, directory::ValueLines& lines,
                               const client::AttrValue& value, size_t size,
                               uint32_t position) override;

private:
    directory::DirectoryAccess& access_;
    const platform::DateTimeFormats& formats_;
};

}  // namespace vellrun::values
