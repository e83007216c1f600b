#pragma once

// Plain types shared by the directory client interface, its backends and the
// directory access layer: handles, context keys, request kinds and the fixed
// records the client hands out. Nothing here knows how a backend works.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

namespace vellrun::client {

// Every operation returns 0 for success or one of the directory's codes
// (negative; see ResultCodes.h). Continuations are separate out-parameters.
using Result = int32_t;

using ConnRef = uint32_t;     // a connection as the scan reports it
using ConnHandle = uint32_t;  // an opened connection

// Handles are distinct types so that a context can never be passed where a
// buffer or a stream is meant; each call's arguments are checked by the
// compiler. The value-initialised handle (ContextHandle{}, 0) is never a valid
// one and stands for "none" (BufferHandle{} means "no buffer").
enum class ContextHandle : uint32_t {};  // a directory context
enum class BufferHandle : uint32_t {};   // a request or reply buffer
enum class StreamHandle : uint32_t {};   // an open stream attribute
using SyntaxId = uint32_t;

// The continuation value before the first page and once nothing is left.
inline constexpr int32_t kNoContinuation = -1;

// Buffer sizes the program works with.
inline constexpr size_t kRequestBufferSize = 4096;
inline constexpr size_t kListReplySize = 4096;
inline constexpr size_t kReadReplySize = 64512;  // 0xFC00, also the largest buffer there is

// Context values a caller can read or set.
enum class ContextKey : uint32_t {
    Flags = 1,           // number: bit set of ContextFlag
    Confidence = 2,      // number
    NameContext = 3,     // text, without a leading dot
    TreeName = 11,       // text
    EntryInfoItems = 12  // number: bit set of EntryItemBit, what entry information fetches
};

namespace ContextFlag {
inline constexpr uint32_t DereferenceAliases = 0x01;
inline constexpr uint32_t Typeless = 0x04;
inline constexpr uint32_t Canonical = 0x10;
}  // namespace ContextFlag

// Entry-information items; each is one bit of the selector word.
namespace EntryItemBit {
inline constexpr uint32_t SubordinateCount = 0x0008;  // number
inline constexpr uint32_t ModificationTime = 0x0020;  // number, seconds since 1970 UTC
inline constexpr uint32_t CreationTime = 0x0040;      // number, seconds since 1970 UTC
inline constexpr uint32_t BaseClass = 0x0800;         // text
inline constexpr uint32_t FullName = 0x2000;          // text
inline constexpr uint32_t PartitionRoot = 0x4000;     // text
inline constexpr uint32_t Parent = 0x8000;            // text
}  // namespace EntryItemBit

// What a prepared request buffer is for.
enum class Operation : uint32_t {
    Read = 3,
    Modify = 9,
    ReadAttrDefinitions = 12,
    ReadClassDefinitions = 15
};

// Information kinds of a read of attribute values.
enum class ReadKind : uint32_t {
    Names = 0,          // attribute names only
    Values = 1,         // names and values
    ValuesWithInfo = 3  // names and values, each value with its flags and time stamp
};

// Information kinds of a read of class definitions.
enum class ClassInfoKind : uint32_t {
    Names = 0,
    Definitions = 2,    // the record and the five lists of each class
    NamesAndRecord = 3  // each class's name and record only
};

// Information kinds of a read of attribute definitions.
enum class AttrInfoKind : uint32_t { Names = 0, Definitions = 1 };

// Change types of a modify request.
enum class ChangeType : uint32_t {
    AddAttribute = 0,
    RemoveAttribute = 1,
    AddValue = 2,
    RemoveValue = 3,
    AddAdditionalValue = 4,
    OverwriteValue = 5,
    ClearAttribute = 6,
    ClearValue = 7
};

// An encoded object identifier as the schema stores it: a length and up to 32 bytes.
struct ObjectIdentifier {
    uint32_t length = 0;
    std::array<uint8_t, 32> data{};
};

// A modification time stamp: seconds since 1970 UTC, the replica and the event.
struct TimeStamp {
    uint32_t seconds = 0;
    uint16_t replica = 0;
    uint16_t event = 0;

    bool operator==(const TimeStamp&) const = default;
};

namespace EntryFlag {
inline constexpr uint32_t Alias = 0x01;
inline constexpr uint32_t PartitionRoot = 0x02;
inline constexpr uint32_t Container = 0x04;
}  // namespace EntryFlag

// The record of one listed entry, and of an object's information.
struct EntryRecord {
    uint32_t flags = 0;  // EntryFlag bits
    uint32_t subordinateCount = 0;
    uint32_t modificationTime = 0;
    std::string baseClass;
};

struct AttrDefRecord {
    uint32_t flags = 0;
    SyntaxId syntax = 0;
    uint32_t lowerBound = 0;
    uint32_t upperBound = 0;
    ObjectIdentifier identifier;
};

struct ClassDefRecord {
    uint32_t flags = 0;
    ObjectIdentifier identifier;
};

// One item of an object's entry information: a number or a text.
using EntryItem = std::variant<uint32_t, std::string>;

}  // namespace vellrun::client
