// Attribute values as text, syntax by syntax, and the small texts they are
// made of. Every text here is built from fixed English literals and the
// value's own fields; nothing reads beyond a value's bytes.

#include "values/ValueFormatting.h"

#include "platform/TextEncoding.h"
#include "values/SpecialDecoders.h"
#include "values/SyntaxCatalogue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <type_traits>
#include <variant>

namespace vellrun::values {

namespace {

using client::Result;

// printf into a std::string; only ever called with the program's own formats.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    // Most texts fit the stack buffer: one formatting pass, no second one to
    // learn the length first.
    std::array<char, 128> buffer;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    std::string text;
    if (needed > 0 && static_cast<size_t>(needed) < buffer.size()) {
        text.assign(buffer.data(), static_cast<size_t>(needed));
    } else if (needed > 0) {
        text.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(needed));
    }
    va_end(again);
    return text;
}

// The directory's 32-bit words are unsigned and shown so (4294967295, not
// -1); only the numbers of syntaxes 8 and 22 are signed.
unsigned Unsigned(uint32_t word) {
    return static_cast<unsigned>(word);
}

// The bytes at fixed positions, those past the end of the value as zero: an
// address is read where its type says its parts are, whatever its length,
// and a short one must not lead the read out of the value.
std::array<uint8_t, 12> FixedAddressBytes(std::span<const uint8_t> address) {
    std::array<uint8_t, 12> bytes{};
    std::copy_n(address.begin(), std::min(address.size(), bytes.size()), bytes.begin());
    return bytes;
}

// The decimal digits of number written at out; returns where they end.
char* PutDecimal(char* out, unsigned number) {
    return std::to_chars(out, out + 10, number).ptr;
}

// "a.b.c.d:port" of four address bytes and a port number.
char* PutHostAndPort(char* out, std::span<const uint8_t, 4> host, unsigned port) {
    for (const uint8_t byte : host) {
        out = PutDecimal(out, byte);
        *out++ = '.';
    }
    out[-1] = ':';
    return PutDecimal(out, port);
}

// Value flag bits in the order in which they are listed.
struct FlagName {
    uint32_t bit;
    const char* name;
};
constexpr std::array<FlagName, 6> kValueFlags{{{0x04, "PRESENT"},
                                               {0x01, "NAMING"},
                                               {0x02, "BASECLASS"},
                                               {0x08, "VALUE_DAMAGED"},
                                               {0x10, "SUPERCLASS"},
                                               {0x20, "AUXCLASS"}}};

template <typename Record>
const Record& RecordOf(const client::AttrValue& value) {
    if (const Record* record = std::get_if<Record>(&value.record)) return *record;
    // Only a faulty client hands out such a value; DSReadValues turns this
    // message into the value's line and goes on with the next value.
    throw std::invalid_argument("Value record does not fit syntax " + std::to_string(value.syntax));
}

}  // namespace

std::string NetAddressText(uint32_t type, std::span<const uint8_t> address) {
    std::string text;
    AppendNetAddressText(text, type, address);
    return text;
}

void AppendNetAddressText(std::string& out, uint32_t type, std::span<const uint8_t> address) {
    // Written into a buffer and appended once; the longest, a type of ten
    // digits and twelve bytes in hex, takes 39 characters.
    std::array<char, 48> buffer;
    char* at = buffer.data();
    *at++ = '(';
    at = PutDecimal(at, Unsigned(type));
    *at++ = ')';
    *at++ = ' ';
    const auto append = [&] { out.append(buffer.data(), at); };
    if (address.empty()) return append();
    const std::array<uint8_t, 12> b = FixedAddressBytes(address);
    const std::span<const uint8_t, 12> all(b);
    switch (type) {
        case 0:
            at = PutHexDigits(at, all.subspan<0, 4>());
            *at++ = ':';
            at = PutHexDigits(at, all.subspan<4, 6>());
            break;
        case 1:
        case 7:
        case 10:
        case 11: at = PutHostAndPort(at, all.subspan<0, 4>(), (b[4] << 8) | b[5]); break;
        case 8:
        case 9: at = PutHostAndPort(at, all.subspan<2, 4>(), (b[0] << 8) | b[1]); break;
        case 13: {
            // A missing last byte of the last code unit reads as zero.
            std::vector<uint8_t> units(address.begin(), address.end());
            if (units.size() % 2 != 0) units.push_back(0);
            const std::string text = platform::Utf16LeToUtf8(units);
            append();
            out += text;
            return;
        }
        default:
            *at++ = '[';
            at = PutHexDigits(at, all);
            *at++ = ']';
            break;
    }
    append();
}

std::string RightsText(uint32_t privileges, int kind) {
    const uint32_t p = privileges & 0xFFFF;
    auto letter = [](bool set, char c) { return set ? c : ' '; };
    std::string positions;
    if (kind == 1) {
        positions += letter(p & 0x01, 'B');
        positions += letter(p & 0x02, 'C');
        positions += letter(p & 0x04, 'D');
        positions += letter(p & 0x08, 'R');
        positions += letter(p & 0x10, 'A');
        // For entry rights the bit 0x40 stands for the absence of inheritance.
        positions += letter((p & 0x40) == 0, 'I');
    } else {
        positions += letter(p & 0x01, 'C');
        positions += letter(p & 0x02, 'R');
        positions += letter(p & 0x04, 'W');
        positions += letter(p & 0x08, 'S');
        positions += letter(p & 0x20, 'A');
        positions += letter(p & 0x40, 'I');
    }
    return "[" + positions + "]";
}

std::string AclText(uint32_t privileges, std::string_view subject,
                    std::string_view protectedAttribute) {
    const bool entryRights =
        protectedAttribute.find("[Entry Rights]") != std::string_view::npos ||
        protectedAttribute.find("[Inheritance Mask]") != std::string_view::npos;
    return RightsText(privileges, entryRights ? 1 : 2) + " " + std::string(subject) + " / " +
           std::string(protectedAttribute);
}

std::string DurationText(uint32_t seconds) {
    if (seconds == 0) return "0 sec";
    const uint32_t days = seconds / 86400;
    const uint32_t hours = (seconds / 3600) % 24;
    const uint32_t minutes = (seconds / 60) % 60;
    const uint32_t rest = seconds % 60;
    std::string text;
    if (days != 0) text += Format("%" PRIu32 " days, ", days);
    if (hours != 0) text += Format("%" PRIu32 " h, ", hours);
    if (minutes != 0) text += Format("%" PRIu32 " min, ", minutes);
    if (rest != 0) text += Format("%" PRIu32 " sec", rest);
    while (!text.empty() && (text.back() == ',' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string LocalTimeText(uint32_t seconds, const platform::DateTimeFormats& formats) {
    std::string text;
    AppendLocalTimeText(text, seconds, formats);
    return text;
}

void AppendLocalTimeText(std::string& out, uint32_t seconds,
                         const platform::DateTimeFormats& formats) {
    // The rules in force at the stamp's own instant, not the bias of today:
    // a winter stamp read in summer is not an hour off.
    const platform::DateTimeParts local = platform::LocalTimeOf(seconds);
    const size_t start = out.size();
    platform::AppendDateTime(out, formats.shortDate, local, formats);
    // Date and time with one blank between; either alone when the other is empty.
    const size_t date = out.size();
    if (date != start) out += ' ';
    platform::AppendDateTime(out, formats.longTime, local, formats);
    if (date != start && out.size() == date + 1) out.pop_back();
}

std::string ValueInfoText(const directory::ValueInfo& info, int parts,
                          const platform::DateTimeFormats& formats) {
    std::string text;
    AppendValueInfoText(text, info, parts, formats);
    return text;
}

void AppendValueInfoText(std::string& out, const directory::ValueInfo& info, int parts,
                         const platform::DateTimeFormats& formats) {
    const size_t start = out.size();
    out += "[ ";
    const size_t first = out.size();
    if ((parts & 1) != 0 && info.modified.seconds != 0) {
        AppendLocalTimeText(out, info.modified.seconds, formats);
    }
    const auto add = [&](std::string_view name) {
        if (out.size() != first) out += " / ";
        out += name;
    };
    if ((parts & 2) != 0) {
        if (info.flags == 0) {
            add("NOT_PRESENT");
        } else {
            for (const FlagName& flag : kValueFlags) {
                if ((info.flags & flag.bit) != 0) add(flag.name);
            }
        }
    }
    // Nothing to show: no brackets either.
    if (out.size() == first) {
        out.resize(start);
    } else {
        out += " ]";
    }
}

ValueTextFormatter::ValueTextFormatter(directory::DirectoryAccess& access,
                                       const platform::DateTimeFormats& formats)
    : access_(access), formats_(formats) {}

Result ValueTextFormatter::FormatValue(client::ContextHandle context, std::string_view object,
                                       std::string_view attribute, directory::ValueLines& lines,
                                       const client::AttrValue& value, size_t size,
                                       uint32_t position) {
    namespace S = client::Syntax;
    switch (value.syntax) {
        case S::Unknown: {
            const auto& record = RecordOf<client::UnknownValue>(value);
            const std::string head = Format("%.*s [%u] ", static_cast<int>(attribute.size()),
                                            attribute.data(), Unsigned(record.syntax));
            std::string& line = lines.Start();
            line += head;
            AppendHexText(line, record.data, record.data.size());
            break;
        }
        case S::DistName:
        case S::CeString:
        case S::CiString:
        case S::PrString:
        case S::NuString:
        case S::TelNumber:
        case S::ClassName: lines.Add(RecordOf<client::StringValue>(value).text); break;
        case S::CiList:
            for (const std::string& text : RecordOf<client::CiListValue>(value).strings)
                lines.Add(text);
            break;
        case S::Boolean:
            lines.Add(RecordOf<client::BooleanValue>(value).value != 0 ? "TRUE" : "FALSE");
            break;
        case S::Integer:
        case S::Counter: {
            std::array<char, 12> digits;  // a sign and ten digits
            const int32_t number = RecordOf<client::IntegerValue>(value).value;
            const char* end =
                std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
            lines.Add(std::string_view(digits.data(), end));
            break;
        }
        case S::OctetString:
            AddOctetString(lines, RecordOf<client::OctetStringValue>(value).data, attribute,
                           position, formats_);
            break;
        case S::FaxNumber: lines.Add(RecordOf<client::FaxNumberValue>(value).number); break;
        case S::NetAddress: {
            const auto& record = RecordOf<client::NetAddressValue>(value);
            AppendNetAddressText(lines.Start(), record.type, record.address);
            break;
        }
        case S::OctetList:
            for (const client::Bytes& bytes : RecordOf<client::OctetListValue>(value).strings)
                AddOctetString(lines, bytes, attribute, position, formats_);
            break;
        case S::EmailAddress: lines.Add(RecordOf<client::EmailAddressValue>(value).address); break;
        case S::Path: {
            const auto& record = RecordOf<client::PathValue>(value);
            lines.Add(Format("(%u) ", Unsigned(record.nameSpace)) + record.volume + ":" +
                      record.path);
            break;
        }
        case S::ReplicaPointer: {
            const auto& record = RecordOf<client::ReplicaPointerValue>(value);
            lines.Add(record.server + " [" + ReplicaTypeText(record.type & 0xFF) + "] " +
                      Format("[Nr: %u]", Unsigned(record.number)));
            break;
        }
        case S::ObjectAcl: {
            const auto& record = RecordOf<client::ObjectAclValue>(value);
            lines.Add(AclText(record.privileges, record.subject, record.protectedAttribute));
            break;
        }
        case S::PoAddress:
            for (const std::string& line : RecordOf<client::PostalAddressValue>(value).lines)
                lines.Add(line);
            break;
        case S::Timestamp: {
            const uint32_t seconds = RecordOf<client::TimeStamp>(value).seconds;
            AppendLocalTimeText(lines.Start(), seconds, formats_);
            break;
        }
        case S::Stream: {
            std::string text;
            const Result result = StreamText(access_, context, object, attribute, text);
            if (result != 0) return result;
            lines.Add(text);
            break;
        }
        case S::BackLink: lines.Add(RecordOf<client::BackLinkValue>(value).objectName); break;
        case S::Time: {
            const uint32_t seconds = RecordOf<client::TimeValue>(value).seconds;
            AppendLocalTimeText(lines.Start(), seconds, formats_);
            break;
        }
        case S::TypedName: {
            const auto& record = RecordOf<client::TypedNameValue>(value);
            lines.Add(record.objectName +
                      Format("#%u#%u", Unsigned(record.level), Unsigned(record.interval)));
            break;
        }
        case S::Hold: {
            const auto& record = RecordOf<client::HoldValue>(value);
            lines.Add(record.objectName + Format(" (%u)", Unsigned(record.amount)));
            break;
        }
        case S::Interval:
            lines.Add(DurationText(RecordOf<client::IntervalValue>(value).seconds));
            break;
        default: {
            const client::Bytes& bytes = RecordOf<client::RawValue>(value).bytes;
            const std::string head = Format("[%X] ", static_cast<unsigned>(value.syntax));
            std::string& line = lines.Start();
            line += head;
            AppendHexText(line, bytes, size);
            break;
        }
    }
    return 0;
}

}  // namespace vellrun::values
