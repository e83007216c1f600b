// The packed values of a stored attribute give back every value exactly,
// whichever record a reader's slot held before.

#include "client/image/PackedValues.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::client::image {
namespace {

std::vector<StoredValue> OneOfEachLayout() {
    const std::string longText(300, 'x');  // a length that takes two bytes
    const Bytes bytes{0x00, 0xFF, 0x80, 0x7F};
    std::vector<AttrValue> values = {
        {0, UnknownValue{"Odd", 99, bytes}},
        {Syntax::DistName, StringValue{"CN=jdoe.OU=Sales.O=Corp"}},
        {Syntax::CiString, StringValue{longText}},
        {Syntax::CiList, CiListValue{{"a", "", longText}}},
        {Syntax::Boolean, BooleanValue{1}},
        {Syntax::Integer, IntegerValue{-2147483647 - 1}},
        {Syntax::OctetString, OctetStringValue{bytes}},
        {Syntax::FaxNumber, FaxNumberValue{"+1 555", 7, bytes}},
        {Syntax::NetAddress, NetAddressValue{9, {10, 0, 0, 1, 0x1F, 0x90}}},
        {Syntax::OctetList, OctetListValue{{bytes, {}, {1}}}},
        {Syntax::EmailAddress, EmailAddressValue{2, "jdoe@corp.example"}},
        {Syntax::Path, PathValue{4, "VOL1.Corp", "/home/jdoe"}},
        {Syntax::ReplicaPointer,
         ReplicaPointerValue{"FS1.Corp", 1, 4294967295u, {{9, {1, 2}}, {0, {}}}}},
        {Syntax::ObjectAcl, ObjectAclValue{"[Entry Rights]", "[Public]", 0x1F}},
        {Syntax::PoAddress, PostalAddressValue{{"1 Main St", "", "Town", "", "", "ZIP"}}},
        {Syntax::Timestamp, TimeStamp{1256904000u, 3, 65535}},
        {Syntax::Stream, StreamValue{}},
        {Syntax::BackLink, BackLinkValue{77, "FS1.Corp"}},
        {Syntax::Time, TimeValue{4294967295u}},
        {Syntax::TypedName, TypedNameValue{"Queue.Corp", 2, 3}},
        {Syntax::Hold, HoldValue{"jdoe.Corp", 500}},
        {Syntax::Interval, IntervalValue{3600}},
        {40, RawValue{bytes}},
    };
    std::vector<StoredValue> stored;
    uint32_t flags = 0;
    for (AttrValue& value : values) {
        stored.push_back(StoredValue{std::move(value), flags, TimeStamp{flags * 1000003u, 1, 2}});
        flags = flags * 3 + 1;
    }
    return stored;
}

TEST(PackedValuesTest, GivesBackEveryLayoutExactlyThroughEveryReader) {
    const std::vector<StoredValue> values = OneOfEachLayout();
    const std::vector<uint8_t> content{'M', 'A', 'P', 0, '\n'};
    ValueArena arena;
    const PackedValues packed(values, arena, content);
    ASSERT_EQ(packed.size(), values.size());
    EXPECT_EQ(packed.Unpack(), values);
    EXPECT_EQ(std::vector<uint8_t>(packed.Stream().begin(), packed.Stream().end()), content);

    // One slot read into again and again: each record replaces another layout,
    // or the same layout with longer or shorter texts.
    StoredValue slot;
    size_t i = 0;
    for (PackedValues::Reader reader(packed); !reader.AtEnd(); ++i) {
        reader.Next(slot);
        EXPECT_EQ(slot, values[i]) << "value " << i;
    }
    EXPECT_EQ(i, values.size());
    PackedValues::Reader backwards(packed);
    for (size_t n = 0; n < 3; ++n)
        backwards.Skip();
    backwards.Next(slot);
    EXPECT_EQ(slot, values[3]);
    EXPECT_EQ(packed[values.size() - 1], values.back());

    // Blocks packed after it, small and larger than the arena's chunks,
    // leave it as it was.
    const std::vector<uint8_t> big(3 << 20, 0xAB);
    const PackedValues large(values, arena, big);
    const PackedValues small(std::vector<StoredValue>(values.begin(), values.begin() + 2), arena);
    std::vector<StoredValue> looped;
    for (const StoredValue& value : packed)
        looped.push_back(value);
    EXPECT_EQ(looped, values);
    EXPECT_EQ(large.Stream().size(), big.size());
    EXPECT_EQ(large.Unpack(), values);
    EXPECT_EQ(small.size(), 2u);
}

TEST(PackedValuesTest, EmptyHoldsNothing) {
    const PackedValues empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_TRUE(empty.Stream().empty());
    EXPECT_TRUE(empty.begin() == empty.end());
    EXPECT_TRUE(PackedValues::Reader(empty).AtEnd());
    ValueArena arena;
    EXPECT_TRUE(PackedValues(std::vector<StoredValue>{}, arena).Unpack().empty());
}

}  // namespace
}  // namespace vellrun::client::image
