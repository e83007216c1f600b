// The schema's vocabulary as text. Every table here is fixed; the order of
// the flag tables is the order in which the texts appear, not bit order.

#include "values/SyntaxCatalogue.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace vellrun::values {
namespace {

struct FlagText {
    uint32_t bit;
    const char* text;
};

constexpr std::array<const char*, 38> kSyntaxNames = {"UNKNOWN",
                                                      "DIST_NAME",
                                                      "CE_STRING",
                                                      "CI_STRING",
                                                      "PR_STRING",
                                                      "NU_STRING",
                                                      "CI_LIST",
                                                      "BOOLEAN",
                                                      "INTEGER",
                                                      "OCTET_STRING",
                                                      "TEL_NUMBER",
                                                      "FAX_NUMBER",
                                                      "NET_ADDRESS",
                                                      "OCTET_LIST",
                                                      "EMAIL_ADDRESS",
                                                      "PATH",
                                                      "REPLICA_POINTER",
                                                      "OBJECT_ACL",
                                                      "PO_ADDRESS",
                                                      "TIMESTAMP",
                                                      "CLASS_NAME",
                                                      "STREAM",
                                                      "COUNTER",
                                                      "BACK_LINK",
                                                      "TIME",
                                                      "TYPED_NAME",
                                                      "HOLD",
                                                      "INTERVAL",
                                                      "COMPONENT",
                                                      "ENUM_COMPONENT",
                                                      "NULL",
                                                      "OID",
                                                      "ENUMERATED",
                                                      "SET",
                                                      "SEQUENCE",
                                                      "CHOICE",
                                                      "ANY",
                                                      "SYNTAX_COUNT"};

constexpr std::array<FlagText, 7> kClassFlags = {{{0x20, "Auxiliary"},
                                                  {0x02, "Effective"},
                                                  {0x40, "Operational"},
                                                  {0x04, "Non-Removable"},
                                                  {0x01, "Container"},
                                                  {0x08, "Ambiguous Naming"},
                                                  {0x10, "Ambiguous Containment"}}};

constexpr uint32_t kSizedFlag = 0x2;

// "Sized" (0x2) has a text of its own with the bounds; it keeps its place here.
constexpr std::array<FlagText, 20> kAttrFlags = {
    {{0x1, "SingleVal"},      {kSizedFlag, nullptr}, {0x4, "NonRemov"},
     {0x8, "ReadOnly"},       {0x10, "Hidden"},      {0x20, "String"},
     {0x80, "PublicRd"},      {0x100, "ServerRd"},   {0x200, "WriteManaged"},
     {0x400, "PerReplica"},   {0x40, "SyncImdt"},    {0x800, "SyncNever"},
     {0x1000, "Operational"}, {0x2000, "0x2000"},    {0x4000, "0x4000"},
     {0x8000, "BothManaged"}, {0x10000, "0x10000"},  {0x20000, "ReadFiltered"},
     {0x40000, "0x40000"},    {0x80000, "0x80000"}}};

std::string SizedText(const client::AttrDefRecord& definition) {
    // The bounds are unsigned in the record and shown as the numbers they are.
    if (definition.lowerBound == definition.upperBound) {
        return "Sized (" + std::to_string(definition.lowerBound) + ")";
    }
    return "Sized (" + std::to_string(definition.lowerBound) + "-" +
           std::to_string(definition.upperBound) + ")";
}

}  // namespace

std::string JoinNonEmpty(std::string_view a, std::string_view b, std::string_view separator) {
    std::string joined(a);
    if (!a.empty() && !b.empty()) joined += separator;
    joined += b;
    return joined;
}

char* PutHexDigits(char* out, std::span<const uint8_t> bytes) {
    // Both digits of a byte at once: a value's bytes are many.
    static constexpr auto kPairs = [] {
        constexpr char kDigits[] = "0123456789ABCDEF";
        std::array<std::array<char, 2>, 256> pairs{};
        for (size_t byte = 0; byte < pairs.size(); ++byte)
            pairs[byte] = {kDigits[byte >> 4], kDigits[byte & 0x0F]};
        return pairs;
    }();
    // Unrolled: the loop's own steps would cost as much as the digits.
#pragma GCC unroll 8
    for (const uint8_t byte : bytes) {
        std::memcpy(out, kPairs[byte].data(), 2);
        out += 2;
    }
    return out;
}

void AppendHexText(std::string& out, std::span<const uint8_t> bytes, size_t count) {
    // The count is a 16-bit quantity for the callers' layouts; a count beyond
    // the bytes at hand (a record shorter than its layout) stops at their end.
    const size_t shown = std::min(count % 65536, bytes.size());
    const size_t start = out.size();
    out.resize(start + shown * 2);
    PutHexDigits(out.data() + start, bytes.first(shown));
}

std::string HexText(std::span<const uint8_t> bytes, size_t count) {
    std::string text;
    AppendHexText(text, bytes, count);
    return text;
}

std::string HexText(std::span<const uint8_t> bytes) {
    return HexText(bytes, bytes.size());
}

std::string SyntaxName(client::SyntaxId syntax) {
    if (syntax >= kSyntaxNames.size()) return "Unknown Syntax";
    return kSyntaxNames[syntax];
}

std::string ClassFlagsText(uint32_t flags) {
    std::string text;
    for (const auto& flag : kClassFlags) {
        if (flags & flag.bit) text = JoinNonEmpty(text, flag.text, "\\");
    }
    return text;
}

std::string AttrDefinitionText(const client::AttrDefRecord& definition, int parts) {
    std::string text = (parts & 1) ? SyntaxName(definition.syntax) : std::string();
    if (parts & 2) {
        std::string flags;
        for (const auto& flag : kAttrFlags) {
            if (!(definition.flags & flag.bit)) continue;
            flags = JoinNonEmpty(flags, flag.bit == kSizedFlag ? SizedText(definition) : flag.text,
                                 "\\");
        }
        if (!flags.empty()) text = JoinNonEmpty(text, "[" + flags + "]", " ");
    }
    return text;
}

std::string ReplicaTypeText(uint32_t type) {
    const uint32_t low = type & 0xFF;
    switch (low) {
        case 0: return "Master";
        case 1: return "Secondary";
        case 2: return "Read-Only";
        case 3: return "Subordinate Reference";
        default: return "Unknown (Type: " + std::to_string(low) + ")";
    }
}

std::string SyncStateText(uint32_t state) {
    switch (state) {
        case 0: return "(local error)";
        case 1: return "(remote error)";
        case 2: return "(in sync)";
        default: return "(" + std::to_string(state) + " - unknown)";
    }
}

}  // namespace vellrun::values
