// The schema's vocabulary as text: syntax names, flag texts, replica texts,
// object identifiers and the two text helpers.

#include "values/SyntaxCatalogue.h"

#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::values {
namespace {

client::AttrDefRecord Definition(uint32_t flags, client::SyntaxId syntax = 3, uint32_t lower = 0,
                                 uint32_t upper = 0) {
    client::AttrDefRecord definition;
    definition.flags = flags;
    definition.syntax = syntax;
    definition.lowerBound = lower;
    definition.upperBound = upper;
    return definition;
}

client::ObjectIdentifier Oid(std::initializer_list<uint8_t> bytes, int length = -1) {
    client::ObjectIdentifier identifier;
    size_t i = 0;
    for (uint8_t b : bytes)
        identifier.data.at(i++) = b;
    identifier.length = length < 0 ? static_cast<uint32_t>(bytes.size()) : uint32_t(length);
    return identifier;
}

TEST(SyntaxCatalogue, JoinNonEmptyAddsTheSeparatorOnlyBetweenTwoTexts) {
    EXPECT_EQ(JoinNonEmpty("a", "b", ", "), "a, b");
    EXPECT_EQ(JoinNonEmpty("", "b", ", "), "b");
    EXPECT_EQ(JoinNonEmpty("a", "", ", "), "a");
    EXPECT_EQ(JoinNonEmpty("", "", ", "), "");
}

TEST(SyntaxCatalogue, HexTextIsUpperCaseAndNeverReadsBeyondTheBytes) {
    const std::vector<uint8_t> bytes{0x00, 0xAB, 0x7f, 0x10};
    EXPECT_EQ(HexText(bytes), "00AB7F10");
    EXPECT_EQ(HexText(bytes, 2), "00AB");
    EXPECT_EQ(HexText(bytes, 0), "");
    // More than there is stops at the end.
    EXPECT_EQ(HexText(bytes, 100), "00AB7F10");
    EXPECT_EQ(HexText(std::span<const uint8_t>(bytes).subspan(4), 3), "");
    // The count is taken modulo 65536.
    EXPECT_EQ(HexText(bytes, 65536 + 3), "00AB7F");
    EXPECT_EQ(HexText(bytes, 65536), "");
    // A count that came from an underflowing subtraction stays within the bytes.
    EXPECT_EQ(HexText(bytes, static_cast<size_t>(-1)), "00AB7F10");
}

TEST(SyntaxCatalogue, SyntaxNamesAndTheUnknownOnes) {
    EXPECT_EQ(SyntaxName(0), "UNKNOWN");
    EXPECT_EQ(SyntaxName(37), "SYNTAX_COUNT");
    EXPECT_EQ(SyntaxName(38), "Unknown Syntax");
    EXPECT_EQ(SyntaxName(0xFFFFFFFF), "Unknown Syntax");
}

TEST(SyntaxCatalogue, ClassFlagsInTableOrder) {
    EXPECT_EQ(ClassFlagsText(0x21), "Auxiliary\\Container");
    EXPECT_EQ(ClassFlagsText(0x7F),
              "Auxiliary\\Effective\\Operational\\Non-Removable\\Container\\Ambiguous "
              "Naming\\Ambiguous Containment");
    EXPECT_EQ(ClassFlagsText(0x03), "Effective\\Container");
    EXPECT_EQ(ClassFlagsText(0), "");
    EXPECT_EQ(ClassFlagsText(0xFFFFFF80), "");
}

TEST(SyntaxCatalogue, AttributeDefinitionTexts) {
    // No flags: the bare syntax name, no blank, no brackets.
    EXPECT_EQ(AttrDefinitionText(Definition(0, 3), 3), "CI_STRING");
    EXPECT_EQ(AttrDefinitionText(Definition(0, 3), 2), "");
    EXPECT_EQ(AttrDefinitionText(Definition(0x3, 3, 1, 64), 3),
              "CI_STRING [SingleVal\\Sized (1-64)]");
    // Sized keeps its place in the table, second after SingleVal.
    EXPECT_EQ(AttrDefinitionText(Definition(0x22, 3, 5, 5), 2), "[Sized (5)\\String]");
    EXPECT_EQ(AttrDefinitionText(Definition(0x2, 8, 0, 0), 3), "INTEGER [Sized (0)]");
    EXPECT_EQ(AttrDefinitionText(Definition(0x2, 8, 1, 32), 2), "[Sized (1-32)]");
    EXPECT_EQ(AttrDefinitionText(Definition(0x1, 99), 1), "Unknown Syntax");
    EXPECT_EQ(AttrDefinitionText(Definition(0x1), 0), "");
    // 0x40 comes after 0x400.
    EXPECT_EQ(AttrDefinitionText(Definition(0x441), 2), "[SingleVal\\PerReplica\\SyncImdt]");
    // Bits above 0x80000 are not shown.
    EXPECT_EQ(AttrDefinitionText(Definition(0xFFF00000), 3), "CI_STRING");
    EXPECT_EQ(AttrDefinitionText(Definition(0x1FFFFD), 2),
              "[SingleVal\\NonRemov\\ReadOnly\\Hidden\\String\\PublicRd\\ServerRd\\WriteManaged"
              "\\PerReplica\\SyncImdt\\SyncNever\\Operational\\0x2000\\0x4000\\BothManaged"
              "\\0x10000\\ReadFiltered\\0x40000\\0x80000]");
    // Bounds are unsigned numbers.
    EXPECT_EQ(AttrDefinitionText(Definition(0x2, 9, 0, 0xFFFFFFFF), 2), "[Sized (0-4294967295)]");
}

TEST(SyntaxCatalogue, ReplicaTypesAndSyncStates) {
    EXPECT_EQ(ReplicaTypeText(0), "Master");
    EXPECT_EQ(ReplicaTypeText(1), "Secondary");
    EXPECT_EQ(ReplicaTypeText(2), "Read-Only");
    EXPECT_EQ(ReplicaTypeText(3), "Subordinate Reference");
    EXPECT_EQ(ReplicaTypeText(7), "Unknown (Type: 7)");
    // Only the low 8 bits are the type.
    EXPECT_EQ(ReplicaTypeText(0x10002), "Read-Only");
    EXPECT_EQ(ReplicaTypeText(0x1FF), "Unknown (Type: 255)");
    EXPECT_EQ(SyncStateText(0), "(local error)");
    EXPECT_EQ(SyncStateText(1), "(remote error)");
    EXPECT_EQ(SyncStateText(2), "(in sync)");
    EXPECT_EQ(SyncStateText(5), "(5 - unknown)");
}

TEST(SyntaxCatalogue, ObjectIdentifierTexts) {
    EXPECT_EQ(OidText(Oid({0x06, 0x03, 0x55, 0x04, 0x03})), "2.5.4.3");
    // 2.16.840.1.113719: multi-byte numbers.
    EXPECT_EQ(OidText(Oid({0x06, 0x07, 0x60, 0x86, 0x48, 0x01, 0x86, 0xF8, 0x37})),
              "2.16.840.1.113719");
    // Two numbers share the one content byte.
    EXPECT_EQ(OidText(Oid({0x06, 0x01, 0x55})), "2.5");
    // No special case for a first byte of 80 or more.
    EXPECT_EQ(OidText(Oid({0x06, 0x02, 0x78, 0x01})), "3.0.1");
}

TEST(SyntaxCatalogue, ObjectIdentifiersThatGiveNoText) {
    EXPECT_EQ(OidText(Oid({0x06, 0x03, 0x55, 0x04, 0x03}, 0)), "");
    EXPECT_EQ(OidText(Oid({0x04, 0x03, 0x55, 0x04, 0x03})), "");
    EXPECT_EQ(OidText(Oid({0x06, 0x00})), "");
    // The length must cover N + 1 bytes.
    EXPECT_EQ(OidText(Oid({0x06, 0x03, 0x55, 0x04, 0x03}, 3)), "");
    EXPECT_EQ(OidText(Oid({0x06, 0x03}, 1)), "");
}

TEST(SyntaxCatalogue, ObjectIdentifierReadsNeitherPastTheLengthNorPastTheBuffer) {
    // A length of N + 1 stops one byte short of the encoding.
    EXPECT_EQ(OidText(Oid({0x06, 0x03, 0x55, 0x04, 0x03}, 4)), "2.5.4");
    // A number cut short (continuation bit set on the last byte within the
    // length) is not shown, and the byte behind the length is not read.
    EXPECT_EQ(OidText(Oid({0x06, 0x04, 0x55, 0x04, 0x86, 0x01}, 5)), "2.5.4");
    // A length and a content length beyond the 32 bytes stop at the 32nd byte.
    client::ObjectIdentifier wide;
    wide.length = 200;
    wide.data.fill(0x05);
    wide.data[0] = 0x06;
    wide.data[1] = 120;
    wide.data[2] = 0x55;
    wide.data[31] = 0x07;
    std::string expected = "2.5";
    for (int i = 3; i < 31; ++i)
        expected += ".5";
    expected += ".7";
    EXPECT_EQ(OidText(wide), expected);
}

}  // namespace
}  // namespace vellrun::values
