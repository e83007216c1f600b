#include "client/ldap/LdapValues.h"

#include "platform/AsciiText.h"
#include "platform/DateTimeCalendar.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <type_traits>
#include <variant>
#include <vector>

namespace vellrun::client::ldap {

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.empty()) return false;
    if (text.front() == '+') text.remove_prefix(1);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return parts;
}

// The parameters a facsimile number may carry over LDAP ("$fineResolution"),
// by the bit of the G3 non-basic parameters each stands for. The directory
// keeps them as that bit string: bit N is the bit 0x80 >> N % 8 of byte N / 8.
struct FaxParameter {
    std::string_view name;
    uint32_t bit;
};
constexpr std::array<FaxParameter, 7> kFaxParameters{{{"twoDimensional", 8},
                                                      {"fineResolution", 9},
                                                      {"unlimitedLength", 20},
                                                      {"b4Length", 21},
                                                      {"a3Width", 22},
                                                      {"b4Width", 23},
                                                      {"uncompressed", 30}}};
constexpr uint32_t kFaxParameterBits = 32;

bool FaxBitSet(const FaxNumberValue& fax, uint32_t bit) {
    const size_t byte = bit / 8;
    return bit < fax.parameterBits && byte < fax.parameters.size() &&
           (fax.parameters[byte] & (0x80u >> (bit % 8))) != 0;
}

// "number$name$name": a name that is no parameter does not fit the syntax.
bool ParseFaxNumber(std::string_view text, FaxNumberValue& fax) {
    const std::vector<std::string_view> parts = Split(text, '$');
    fax.number = std::string(parts.front());
    if (parts.size() == 1) return true;
    fax.parameterBits = kFaxParameterBits;
    fax.parameters.assign(kFaxParameterBits / 8, 0);
    for (size_t i = 1; i < parts.size(); ++i) {
        const auto known = std::find_if(kFaxParameters.begin(), kFaxParameters.end(),
                                        [&parts, i](const FaxParameter& p) {
                                            return platform::EqualsNoCase(parts[i], p.name);
                                        });
        if (known == kFaxParameters.end()) return false;
        fax.parameters[known->bit / 8] |= static_cast<uint8_t>(0x80u >> (known->bit % 8));
    }
    return true;
}

// Items of a "$" list; "\24" and "\5C" (any case) stand for "$" and "\".
bool SplitDollarList(std::string_view text, std::vector<std::string>& items) {
    items.assign(1, std::string());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '$') {
            items.emplace_back();
        } else if (c == '\\') {
            if (i + 2 >= text.size()) return false;
            const std::string_view code = text.substr(i + 1, 2);
            if (code == "24") {
                items.back() += '$';
            } else if (code == "5C" || code == "5c") {
                items.back() += '\\';
            } else {
                return false;
            }
            i += 2;
        } else {
            items.back() += c;
        }
    }
    return true;
}

std::string JoinDollarList(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += '$';
        for (char c : items[i]) {
            if (c == '$') {
                out += "\\24";
            } else if (c == '\\') {
                out += "\\5C";
            } else {
                out += c;
            }
        }
    }
    return out;
}

Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string Hex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

bool FromHex(std::string_view text, Bytes& bytes) {
    if (text.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        uint8_t b = 0;
        auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, b, 16);
        if (ec != std::errc() || end != text.data() + i + 2) return false;
        bytes.push_back(b);
    }
    return true;
}

// A name inside a value: special names such as "[Public]" stay as they are.
std::string NameFromWire(std::string_view text, const ValueNames& names) {
    if (!text.empty() && text.front() == '[') return std::string(text);
    return names.fromDn ? names.fromDn(text) : std::string(text);
}

// A name inside a value to its DN. "[Root]" is how the tree's base entry
// shows, so it goes back as the base DN; other special names stay as they are.
std::string NameToWire(std::string_view name, const ValueNames& names) {
    if (!name.empty() && name.front() == '[' && name != "[Root]") return std::string(name);
    return names.toDn ? names.toDn(name) : std::string(name);
}

// A DN inside a "#" form: a "#" of the DN is written as "\23" so that the
// fields split without doubt. A "#" the DN has escaped already ("\#", as a
// value that starts with one is written) becomes the same "\23", its
// backslash used once; any other escaped character is copied as it was.
std::string FieldNameToWire(std::string_view name, const ValueNames& names) {
    const std::string dn = NameToWire(name, names);
    std::string out;
    out.reserve(dn.size());
    for (size_t i = 0; i < dn.size(); ++i) {
        const char c = dn[i];
        if (c == '#') {
            out += "\\23";
        } else if (c == '\\' && i + 1 < dn.size()) {
            out += c;
            const char escaped = dn[++i];
            if (escaped == '#') {
                out += "23";
            } else {
                out += escaped;
            }
        } else {
            out += c;
        }
    }
    return out;
}

// "TYPE#HEX" of a network address.
bool ParseNetAddress(std::string_view type, std::string_view hex, NetAddressValue& address) {
    return ParseNumber(type, address.type) && FromHex(hex, address.address);
}

}  // namespace

bool ParseGeneralizedTime(std::string_view text, uint32_t& seconds) {
    // YYYYMMDDHH[MM[SS]][.fraction](Z|+hhmm|-hhmm)
    auto digits = [&](size_t at, size_t count, int& value) {
        if (at + count > text.size()) return false;
        value = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(0, 4, year) || !digits(4, 2, month) || !digits(6, 2, day) || !digits(8, 2, hour)) {
        return false;
    }
    size_t at = 10;
    if (digits(at, 2, minute)) {
        at += 2;
        if (digits(at, 2, second)) at += 2;
    }
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
    }
    int offset = 0;
    if (at < text.size() && text[at] == 'Z') {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at] == '-' ? -1 : 1;
        int oh = 0, om = 0;
        if (!digits(at + 1, 2, oh) || oh > 23) return false;
        at += 3;
        if (digits(at, 2, om)) at += 2;
        if (om > 59) return false;
        offset = sign * (oh * 3600 + om * 60);
    } else {
        return false;
    }
    if (at != text.size() || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 ||
        second > 60) {
        return false;
    }
    if (day > platform::DaysInMonth(year, month)) return false;
    const int64_t days = platform::DaysFromCivil(year, month, day);
    const int64_t total = days * 86400 + hour * 3600 + minute * 60 + second - offset;
    if (total < 0 || total > UINT32_MAX) return false;
    seconds = static_cast<uint32_t>(total);
    return true;
}

std::string GeneralizedTimeText(uint32_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &parts);
    return text;
}

bool ParseLdapValue(SyntaxId syntax, std::string_view text, const ValueNames& names,
                    AttrValue& value) {
    value.syntax = syntax;
    switch (syntax) {
        case Syntax::DistName: value.record = StringValue{NameFromWire(text, names)}; return true;
        case Syntax::CeString:
        case Syntax::CiString:
        case Syntax::PrString:
        case Syntax::NuString:
        case Syntax::TelNumber: value.record = StringValue{std::string(text)}; return true;
        case Syntax::ClassName: {
            std::string name = names.classFromLdap ? names.classFromLdap(text) : std::string();
            value.record = StringValue{name.empty() ? std::string(text) : name};
            return true;
        }
        case Syntax::CiList: {
            CiListValue list;
            if (!SplitDollarList(text, list.strings)) return false;
            value.record = std::move(list);
            return true;
        }
        case Syntax::Boolean:
            if (text == "TRUE" || text == "true") {
                value.record = BooleanValue{1};
            } else if (text == "FALSE" || text == "false") {
                value.record = BooleanValue{0};
            } else {
                return false;
            }
            return true;
        case Syntax::Integer:
        case Syntax::Counter: {
            IntegerValue number;
            if (!ParseNumber(text, number.value)) return false;
            value.record = number;
            return true;
        }
        case Syntax::FaxNumber: {
            FaxNumberValue fax;
            if (!ParseFaxNumber(text, fax)) return false;
            value.record = std::move(fax);
            return true;
        }
        case Syntax::NetAddress: {
            auto parts = Split(text, '#');
            NetAddressValue address;
            if (parts.size() != 2 || !ParseNetAddress(parts[0], parts[1], address)) return false;
            value.record = std::move(address);
            return true;
        }
        case Syntax::OctetList: {
            OctetListValue list;
            std::vector<std::string> items;
            if (!SplitDollarList(text, items)) return false;
            for (const std::string& item : items)
                list.strings.push_back(ToBytes(item));
            value.record = std::move(list);
            return true;
        }
        case Syntax::EmailAddress: {
            const size_t hash = text.find('#');
            EmailAddressValue mail;
            if (hash == std::string_view::npos || !ParseNumber(text.substr(0, hash), mail.type)) {
                return false;
            }
            mail.address = std::string(text.substr(hash + 1));
            value.record = std::move(mail);
            return true;
        }
        case Syntax::Path: {
            // nameSpace#volume#path; the path is the rest and may hold "#".
            const size_t first = text.find('#');
            const size_t second =
                first == std::string_view::npos ? first : text.find('#', first + 1);
            PathValue path;
            if (second == std::string_view::npos ||
                !ParseNumber(text.substr(0, first), path.nameSpace)) {
                return false;
            }
            path.volume = NameFromWire(text.substr(first + 1, second - first - 1), names);
            path.path = std::string(text.substr(second + 1));
            value.record = std::move(path);
            return true;
        }
        case Syntax::ReplicaPointer: {
            // server#type#number#count then count pairs of addressType#hex.
            auto parts = Split(text, '#');
            ReplicaPointerValue replica;
            uint32_t count = 0;
            if (parts.size() < 4 || !ParseNumber(parts[1], replica.type) ||
                !ParseNumber(parts[2], replica.number) || !ParseNumber(parts[3], count) ||
                parts.size() != 4 + 2 * static_cast<size_t>(count)) {
                return false;
            }
            replica.server = NameFromWire(parts[0], names);
            for (uint32_t i = 0; i < count; ++i) {
                NetAddressValue address;
                if (!ParseNetAddress(parts[4 + 2 * i], parts[5 + 2 * i], address)) return false;
                replica.addresses.push_back(std::move(address));
            }
            value.record = std::move(replica);
            return true;
        }
        case Syntax::ObjectAcl: {
            // privileges#scope#subject#attribute; the subject is a DN and may hold "#".
            const size_t first = text.find('#');
            const size_t second =
                first == std::string_view::npos ? first : text.find('#', first + 1);
            const size_t last = text.rfind('#');
            ObjectAclValue acl;
            if (second == std::string_view::npos || last <= second ||
                !ParseNumber(text.substr(0, first), acl.privileges)) {
                return false;
            }
            acl.subject = NameFromWire(text.substr(second + 1, last - second - 1), names);
            const std::string_view attribute = text.substr(last + 1);
            std::string program;
            if (!attribute.empty() && attribute.front() != '[' && names.attributeFromLdap) {
                program = names.attributeFromLdap(attribute);
            }
            acl.protectedAttribute = program.empty() ? std::string(attribute) : program;
            value.record = std::move(acl);
            return true;
        }
        case Syntax::PoAddress: {
            std::vector<std::string> lines;
            if (!SplitDollarList(text, lines) || lines.size() > PostalAddressValue::kLines) {
                return false;
            }
            PostalAddressValue address;
            for (size_t i = 0; i < lines.size(); ++i)
                address.lines[i] = std::move(lines[i]);
            value.record = std::move(address);
            return true;
        }
        case Syntax::Timestamp: {
            auto parts = Split(text, '#');
            TimeStamp stamp;
            if (parts.size() != 3 || !ParseNumber(parts[0], stamp.seconds) ||
                !ParseNumber(parts[1], stamp.replica) || !ParseNumber(parts[2], stamp.event)) {
                return false;
            }
            value.record = stamp;
            return true;
        }
        case Syntax::Stream: value.record = StreamValue{}; return true;
        case Syntax::BackLink: {
            const size_t hash = text.find('#');
            BackLinkValue link;
            if (hash == std::string_view::npos ||
                !ParseNumber(text.substr(0, hash), link.remoteId)) {
                return false;
            }
            link.objectName = NameFromWire(text.substr(hash + 1), names);
            value.record = std::move(link);
            return true;
        }
        case Syntax::Time: {
            TimeValue time;
            if (!ParseGeneralizedTime(text, time.seconds)) return false;
            value.record = time;
            return true;
        }
        case Syntax::TypedName: {
            // object#level#interval; the object is a DN and may hold "#".
            const size_t last = text.rfind('#');
            const size_t before = last == std::string_view::npos || last == 0
                                      ? std::string_view::npos
                                      : text.rfind('#', last - 1);
            TypedNameValue typed;
            if (before == std::string_view::npos ||
                !ParseNumber(text.substr(before + 1, last - before - 1), typed.level) ||
                !ParseNumber(text.substr(last + 1), typed.interval)) {
                return false;
            }
            typed.objectName = NameFromWire(text.substr(0, before), names);
            value.record = std::move(typed);
            return true;
        }
        case Syntax::Hold: {
            const size_t last = text.rfind('#');
            HoldValue hold;
            if (last == std::string_view::npos ||
                !ParseNumber(text.substr(last + 1), hold.amount)) {
                return false;
            }
            hold.objectName = NameFromWire(text.substr(0, last), names);
            value.record = std::move(hold);
            return true;
        }
        case Syntax::Interval: {
            IntervalValue interval;
            if (!ParseNumber(text, interval.seconds)) return false;
            value.record = interval;
            return true;
        }
        case Syntax::OctetString: value.record = OctetStringValue{ToBytes(text)}; return true;
        case Syntax::Unknown: value.record = UnknownValue{{}, 0, ToBytes(text)}; return true;
        default: value.record = RawValue{ToBytes(text)}; return true;
    }
}

bool HoldsEmptyName(const AttrValue& value) {
    // A lone leading dot only says that the name is full.
    const auto empty = [](std::string_view name) {
        return name.empty() || (name.size() == 1 && name.front() == '.');
    };
    return std::visit(
        [&](const auto& record) {
            using T = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<T, StringValue>) {
                return value.syntax == Syntax::DistName && empty(record.text);
            } else if constexpr (std::is_same_v<T, PathValue>) {
                return empty(record.volume);
            } else if constexpr (std::is_same_v<T, ReplicaPointerValue>) {
                return empty(record.server);
            } else if constexpr (std::is_same_v<T, ObjectAclValue>) {
                return empty(record.subject);
            } else if constexpr (std::is_same_v<T, BackLinkValue> ||
                                 std::is_same_v<T, TypedNameValue> ||
                                 std::is_same_v<T, HoldValue>) {
                return empty(record.objectName);
            } else {
                return false;
            }
        },
        value.record);
}

std::string LdapValueText(const AttrValue& value, const ValueNames& names) {
    return std::visit(
        [&](const auto& record) -> std::string {
            using T = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<T, StringValue>) {
                if (value.syntax == Syntax::DistName) return NameToWire(record.text, names);
                if (value.syntax == Syntax::ClassName && names.classToLdap) {
                    std::string ldap = names.classToLdap(record.text);
                    return ldap.empty() ? record.text : ldap;
                }
                return record.text;
            } else if constexpr (std::is_same_v<T, CiListValue>) {
                return JoinDollarList(record.strings);
            } else if constexpr (std::is_same_v<T, BooleanValue>) {
                return record.value ? "TRUE" : "FALSE";
            } else if constexpr (std::is_same_v<T, IntegerValue>) {
                return std::to_string(record.value);
            } else if constexpr (std::is_same_v<T, OctetStringValue> ||
                                 std::is_same_v<T, UnknownValue>) {
                return std::string(record.data.begin(), record.data.end());
            } else if constexpr (std::is_same_v<T, RawValue>) {
                return std::string(record.bytes.begin(), record.bytes.end());
            } else if constexpr (std::is_same_v<T, FaxNumberValue>) {
                // The parameters of no name (bits that LDAP does not carry) are left out.
                std::string out = record.number;
                for (const FaxParameter& parameter : kFaxParameters) {
                    if (FaxBitSet(record, parameter.bit)) {
                        out += '$';
                        out += parameter.name;
                    }
                }
                return out;
            } else if constexpr (std::is_same_v<T, NetAddressValue>) {
                return std::to_string(record.type) + "#" + Hex(record.address);
            } else if constexpr (std::is_same_v<T, OctetListValue>) {
                std::vector<std::string> items;
                for (const Bytes& b : record.strings)
                    items.emplace_back(b.begin(), b.end());
                return JoinDollarList(items);
            } else if constexpr (std::is_same_v<T, EmailAddressValue>) {
                return std::to_string(record.type) + "#" + record.address;
            } else if constexpr (std::is_same_v<T, PathValue>) {
                return std::to_string(record.nameSpace) + "#" +
                       FieldNameToWire(record.volume, names) + "#" + record.path;
            } else if constexpr (std::is_same_v<T, ReplicaPointerValue>) {
                std::string out = FieldNameToWire(record.server, names) + "#" +
                                  std::to_string(record.type) + "#" +
                                  std::to_string(record.number) + "#" +
                                  std::to_string(record.addresses.size());
                for (const NetAddressValue& a : record.addresses)
                    out += "#" + std::to_string(a.type) + "#" + Hex(a.address);
                return out;
            } else if constexpr (std::is_same_v<T, ObjectAclValue>) {
                std::string attribute = record.protectedAttribute;
                if (!attribute.empty() && attribute.front() != '[' && names.attributeToLdap) {
                    std::string ldap = names.attributeToLdap(attribute);
                    if (!ldap.empty()) attribute = ldap;
                }
                return std::to_string(record.privileges) + "#entry#" +
                       FieldNameToWire(record.subject, names) + "#" + attribute;
            } else if constexpr (std::is_same_v<T, PostalAddressValue>) {
                std::vector<std::string> lines = record.lines;
                while (lines.size() > 1 && lines.back().empty())
                    lines.pop_back();
                return JoinDollarList(lines);
            } else if constexpr (std::is_same_v<T, TimeStamp>) {
                return std::to_string(record.seconds) + "#" + std::to_string(record.replica) + "#" +
                       std::to_string(record.event);
            } else if constexpr (std::is_same_v<T, StreamValue>) {
                return std::string();
            } else if constexpr (std::is_same_v<T, BackLinkValue>) {
                return std::to_string(record.remoteId) + "#" +
                       FieldNameToWire(record.objectName, names);
            } else if constexpr (std::is_same_v<T, TimeValue>) {
                return GeneralizedTimeText(record.seconds);
            } else if constexpr (std::is_same_v<T, TypedNameValue>) {
                return FieldNameToWire(record.objectName, names) + "#" +
                       std::to_string(record.level) + "#" + std::to_string(record.interval);
            } else if constexpr (std::is_same_v<T, HoldValue>) {
                return FieldNameToWire(record.objectName, names) + "#" +
                       std::to_string(record.amount);
            } else if constexpr (std::is_same_v<T, IntervalValue>) {
                return std::to_string(record.seconds);
            } else {
                return std::string();
            }
        },
        value.record);
}

}  // namespace vellrun::client::ldap
