#pragma once

// Attribute values as the directory client hands them out: one owned record
// per value, in the layout of its syntax. A record holds copies of its texts
// and bytes, so it stays valid after the reply it came from is gone, and no
// reader can walk past the end of a value.

#include "client/ClientTypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vellrun::client {

using Bytes = std::vector<uint8_t>;

// Syntax numbers with a value layout of their own.
namespace Syntax {
inline constexpr SyntaxId Unknown = 0;
inline constexpr SyntaxId DistName = 1;
inline constexpr SyntaxId CeString = 2;
inline constexpr SyntaxId CiString = 3;
inline constexpr SyntaxId PrString = 4;
inline constexpr SyntaxId NuString = 5;
inline constexpr SyntaxId CiList = 6;
inline constexpr SyntaxId Boolean = 7;
inline constexpr SyntaxId Integer = 8;
inline constexpr SyntaxId OctetString = 9;
inline constexpr SyntaxId TelNumber = 10;
inline constexpr SyntaxId FaxNumber = 11;
inline constexpr SyntaxId NetAddress = 12;
inline constexpr SyntaxId OctetList = 13;
inline constexpr SyntaxId EmailAddress = 14;
inline constexpr SyntaxId Path = 15;
inline constexpr SyntaxId ReplicaPointer = 16;
inline constexpr SyntaxId ObjectAcl = 17;
inline constexpr SyntaxId PoAddress = 18;
inline constexpr SyntaxId Timestamp = 19;
inline constexpr SyntaxId ClassName = 20;
inline constexpr SyntaxId Stream = 21;
inline constexpr SyntaxId Counter = 22;
inline constexpr SyntaxId BackLink = 23;
inline constexpr SyntaxId Time = 24;
inline constexpr SyntaxId TypedName = 25;
inline constexpr SyntaxId Hold = 26;
inline constexpr SyntaxId Interval = 27;
inline constexpr SyntaxId LastWithLayout = 27;
}  // namespace Syntax

// 0: a value of unknown syntax, with the attribute it belongs to.
struct UnknownValue {
    std::string attributeName;
    uint32_t syntax = 0;
    Bytes data;
    bool operator==(const UnknownValue&) const = default;
};
// 1 to 5, 10 and 20: the value is one text (names, strings, numbers, class names).
struct StringValue {
    std::string text;
    bool operator==(const StringValue&) const = default;
};
// 6: a list of texts, in order.
struct CiListValue {
    std::vector<std::string> strings;
    bool operator==(const CiListValue&) const = default;
};
// 7
struct BooleanValue {
    uint8_t value = 0;  // non-zero means true
    bool operator==(const BooleanValue&) const = default;
};
// 8 and 22: signed 32-bit.
struct IntegerValue {
    int32_t value = 0;
    bool operator==(const IntegerValue&) const = default;
};
// 9
struct OctetStringValue {
    Bytes data;
    bool operator==(const OctetStringValue&) const = default;
};
// 11: the number is shown; the parameters are kept but not shown.
struct FaxNumberValue {
    std::string number;
    uint32_t parameterBits = 0;
    Bytes parameters;
    bool operator==(const FaxNumberValue&) const = default;
};
// 12; also the addresses of a replica pointer.
struct NetAddressValue {
    uint32_t type = 0;
    Bytes address;
    bool operator==(const NetAddressValue&) const = default;
};
// 13: a list of octet strings.
struct OctetListValue {
    std::vector<Bytes> strings;
    bool operator==(const OctetListValue&) const = default;
};
// 14
struct EmailAddressValue {
    uint32_t type = 0;
    std::string address;
    bool operator==(const EmailAddressValue&) const = default;
};
// 15
struct PathValue {
    uint32_t nameSpace = 0;
    std::string volume;
    std::string path;
    bool operator==(const PathValue&) const = default;
};
// 16
struct ReplicaPointerValue {
    std::string server;
    uint32_t type = 0;
    uint32_t number = 0;
    std::vector<NetAddressValue> addresses;
    bool operator==(const ReplicaPointerValue&) const = default;
};
// 17
struct ObjectAclValue {
    std::string protectedAttribute;
    std::string subject;
    uint32_t privileges = 0;
    bool operator==(const ObjectAclValue&) const = default;
};
// 18: six lines, always six (kept on the heap so that every value record stays small).
struct PostalAddressValue {
    static constexpr size_t kLines = 6;
    std::vector<std::string> lines = std::vector<std::string>(kLines);
    bool operator==(const PostalAddressValue&) const = default;
};
// 19: a TimeStamp (ClientTypes.h).
// 21: a stream has no value in a reply; its content is read through a stream handle.
struct StreamValue {
    bool operator==(const StreamValue&) const = default;
};
// 23
struct BackLinkValue {
    uint32_t remoteId = 0;
    std::string objectName;
    bool operator==(const BackLinkValue&) const = default;
};
// 24
struct TimeValue {
    uint32_t seconds = 0;
    bool operator==(const TimeValue&) const = default;
};
// 25
struct TypedNameValue {
    std::string objectName;
    uint32_t level = 0;
    uint32_t interval = 0;
    bool operator==(const TypedNameValue&) const = default;
};
// 26
struct HoldValue {
    std::string objectName;
    uint32_t amount = 0;
    bool operator==(const HoldValue&) const = default;
};
// 27
struct IntervalValue {
    uint32_t seconds = 0;
    bool operator==(const IntervalValue&) const = default;
};
// 28 and above: the bytes of the value as they are.
struct RawValue {
    Bytes bytes;
    bool operator==(const RawValue&) const = default;
};

using ValueRecord = std::variant<UnknownValue, StringValue, CiListValue, BooleanValue, IntegerValue,
                                 OctetStringValue, FaxNumberValue, NetAddressValue, OctetListValue,
                                 EmailAddressValue, PathValue, ReplicaPointerValue, ObjectAclValue,
                                 PostalAddressValue, TimeStamp, StreamValue, BackLinkValue,
                                 TimeValue, TypedNameValue, HoldValue, IntervalValue, RawValue>;

// One value together with its syntax.
struct AttrValue {
    SyntaxId syntax = 0;
    ValueRecord record;
    bool operator==(const AttrValue&) const = default;
};

// The record that a value of this syntax carries when it is empty (zero numbers, no texts).
ValueRecord EmptyRecordFor(SyntaxId syntax);

// True when the record has the layout of the syntax.
bool RecordFitsSyntax(SyntaxId syntax, const ValueRecord& record);

// The size of the value's record as the client reports it before the value is
// taken: fixed fields, texts with their terminating zero, counted bytes with
// their count. For syntaxes 28 and above it is the number of raw bytes.
size_t RecordSize(const AttrValue& value);

// Whether two values of the same syntax are the same value for the directory
// (names, case-ignoring strings and class names compare without regard to case).
bool SameValue(const AttrValue& a, const AttrValue& b);

}  // namespace vellrun::client
