// Reads of attribute values, streams and object information.

#include "support/DirectoryTestBed.h"

#include <gtest/gtest.h>

namespace vellrun::directory {
namespace {

using testing::CorpObjects;
using testing::DirectoryTestBed;
using testing::TreesImage;

// Corp with one user "many.Corp" whose Description has `count` values; with
// info, value k carries flags 5 and the time 1000 + k.
std::string ManyValuesImage(int count, bool withInfo, size_t padding = 0) {
    std::string values;
    for (int k = 1; k <= count; ++k) {
        if (k > 1) values += ",";
        const std::string text = "value " + std::to_string(k) + std::string(padding, '.');
        if (withInfo) {
            values += R"({"value": ")" + text + R"(", "flags": 5, "modified": )" +
                      std::to_string(1000 + k) + R"(, "replica": 1, "event": )" +
                      std::to_string(k) + "}";
        } else {
            values += "\"" + text + "\"";
        }
    }
    return TreesImage({{"CORP", R"([{"name": "Corp", "class": "Organization"},
        {"name": "many.Corp", "class": "User", "attributes": {"CN": "many",
         "Description": [)" + values +
                                    "]}}]"}});
}

std::vector<uint32_t> Positions(const DirectoryTestBed& bed) {
    std::vector<uint32_t> positions;
    for (const auto& call : bed.formatter.calls)
        positions.push_back(call.position);
    return positions;
}

// --- Values -----------------------------------------------------------------

TEST(ReadValues, EveryValueThroughTheFormatterInOrder) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context("Sales.Corp");
    std::vector<std::string> lines{"kept"};
    EXPECT_EQ(bed.access.DSReadValues(context, "jdoe", "description", false, lines), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "first", "second"}));
    ASSERT_EQ(bed.formatter.calls.size(), 2u);
    EXPECT_EQ(bed.formatter.calls[0].attribute, "Description");
    EXPECT_EQ(bed.formatter.calls[0].object, "jdoe");
    EXPECT_GT(bed.formatter.calls[0].size, 0u);
    EXPECT_EQ(Positions(bed), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(bed.spy.Count("GetAttrValFlags"), 0);
    EXPECT_EQ(bed.access.DSReadValues(context, "jdoe", "Title", false, lines),
              client::Err::NoSuchAttribute);
    EXPECT_EQ(bed.spy.liveContexts, 1);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(ReadValues, AliasedObjectNameInAnyCaseReadsTheAliasItself) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context("Sales.Corp");
    std::vector<std::string> lines;
    EXPECT_EQ(bed.access.DSReadValues(context, "jalias", "aliased object name", false, lines), 0);
    EXPECT_EQ(lines, std::vector<std::string>{"jdoe.Sales.Corp"});
    // Other attributes are read through the alias, and the caller's context
    // still dereferences.
    lines.clear();
    EXPECT_EQ(bed.access.DSReadValues(context, "jalias", "Surname", false, lines), 0);
    EXPECT_EQ(lines, std::vector<std::string>{"Doe"});
    uint32_t flags = 0;
    ASSERT_EQ(bed.spy.GetContextNumber(context, client::ContextKey::Flags, flags), 0);
    EXPECT_NE(flags & client::ContextFlag::DereferenceAliases, 0u);
}

TEST(ReadValues, InformationForTheFirstHundredOf150Values) {
    DirectoryTestBed bed(ManyValuesImage(150, true));
    ValueInfoBlock info;
    info.valueCount = 99;  // stale: replaced
    std::vector<std::string> lines;
    EXPECT_EQ(
        bed.access.DSReadValues(bed.Context(), "many.Corp", "Description", true, lines, &info), 0);
    ASSERT_EQ(lines.size(), 150u);
    EXPECT_EQ(lines[149], "value 150");
    EXPECT_EQ(info.syntax, client::Syntax::CiString);
    EXPECT_EQ(info.valueCount, 150u);
    ASSERT_EQ(info.values.size(), 100u);
    for (uint32_t k = 1; k <= 100; ++k) {
        EXPECT_EQ(info.values[k - 1].flags, 5u) << k;
        EXPECT_EQ(info.values[k - 1].modified.seconds, 1000 + k) << k;
        EXPECT_EQ(info.values[k - 1].modified.event, k) << k;
    }
    EXPECT_EQ(bed.spy.Count("GetAttrValFlags"), 100);
    EXPECT_EQ(bed.spy.Count("GetAttrValModTime"), 100);
}

TEST(ReadValues, ValuesOverSeveralPagesKeepCountingTheirPositions) {
    // About 3,000 values of 40 bytes do not fit into one 64,512-byte reply.
    DirectoryTestBed bed(ManyValuesImage(3000, true, 30));
    const auto pagesBefore = bed.image->Statistics().readPages;
    ValueInfoBlock info;
    std::vector<std::string> lines;
    EXPECT_EQ(
        bed.access.DSReadValues(bed.Context(), "many.Corp", "Description", true, lines, &info), 0);
    EXPECT_GT(bed.image->Statistics().readPages - pagesBefore, 1u);
    ASSERT_EQ(lines.size(), 3000u);
    const auto positions = Positions(bed);
    for (uint32_t k = 1; k <= 3000; ++k)
        ASSERT_EQ(positions[k - 1], k);
    EXPECT_EQ(info.valueCount, 3000u);
    EXPECT_EQ(info.values.size(), 100u);
    EXPECT_EQ(bed.spy.Count("GetAttrValFlags"), 100);
}

TEST(ReadValues, AFailingPageIsNotAskedForAgain) {
    DirectoryTestBed bed(ManyValuesImage(3000, false, 30));
    bed.spy.onRead = [&](client::ContextHandle context, std::string_view object,
                         client::ReadKind kind, bool all, client::BufferHandle request,
                         int32_t& continuation, client::BufferHandle reply) {
        if (continuation != client::kNoContinuation) return client::Err::NoSuchEntry;
        return bed.spy.Inner().Read(context, object, kind, all, request, continuation, reply);
    };
    std::vector<std::string> lines;
    EXPECT_EQ(bed.access.DSReadValues(bed.Context(), "many.Corp", "Description", false, lines),
              client::Err::NoSuchEntry);
    EXPECT_EQ(bed.spy.Count("Read"), 2);
    EXPECT_GT(lines.size(), 0u);
    EXPECT_LT(lines.size(), 3000u);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
    EXPECT_EQ(bed.spy.liveContexts, 1);
}

TEST(ReadValues, AValueThatCannotBeFormattedBecomesItsMessage) {
    DirectoryTestBed bed(ManyValuesImage(3, false));
    bed.formatter.throwAtPosition = 2;
    std::vector<std::string> lines;
    EXPECT_EQ(bed.access.DSReadValues(bed.Context(), "many.Corp", "Description", false, lines), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"value 1", "cannot format value 2", "value 3"}));
}

TEST(ReadValues, AFailedFlagsRequestStillReadsTheValue) {
    DirectoryTestBed bed(ManyValuesImage(2, true));
    bed.spy.onGetAttrValFlags = [&](client::ContextHandle context, client::BufferHandle reply,
                                    uint32_t& flags) {
        if (bed.spy.Count("GetAttrValFlags") == 1) return client::Err::BufferEmpty;
        return bed.spy.Inner().GetAttrValFlags(context, reply, flags);
    };
    ValueInfoBlock info;
    std::vector<std::string> lines;
    EXPECT_EQ(
        bed.access.DSReadValues(bed.Context(), "many.Corp", "Description", true, lines, &info), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"value 1", "value 2"}));
    ASSERT_EQ(info.values.size(), 2u);
    EXPECT_EQ(info.values[0].flags, 0u);
    EXPECT_EQ(info.values[0].modified.seconds, 0u);
    EXPECT_EQ(info.values[1].flags, 5u);
    EXPECT_EQ(info.values[1].modified.seconds, 1002u);
}

// --- Streams ----------------------------------------------------------------

std::string StreamImage(size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += static_cast<char>('a' + i % 26);
    return TreesImage({{"CORP", R"([{"name": "Corp", "class": "Organization"},
        {"name": "u.Corp", "class": "User",
         "attributes": {"CN": "u", "Login Script": {"text": ")" +
                                    text + R"("}}}])"}});
}

TEST(ReadStream, ALongStreamYieldsItsFirst64512Bytes) {
    DirectoryTestBed bed(StreamImage(70000));
    std::vector<std::string> lines;
    EXPECT_EQ(bed.access.DSReadValues(bed.Context(), "u.Corp", "Login Script", false, lines), 0);
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 64512u);
    EXPECT_EQ(lines[0].substr(0, 5), "abcde");
    EXPECT_EQ(lines[0][64511], static_cast<char>('a' + 64511 % 26));
    EXPECT_EQ(bed.spy.Count("CloseStream"), 1);
}

TEST(ReadStream, ShortReadsAreReadOnUntilTheBufferIsFull) {
    DirectoryTestBed bed(StreamImage(5000));
    bed.spy.onReadStream = [&](client::StreamHandle stream, std::span<uint8_t> into, size_t& read) {
        return bed.spy.Inner().ReadStream(stream, into.first(std::min<size_t>(into.size(), 700)),
                                          read);
    };
    std::vector<uint8_t> buffer(8000);
    size_t size = 4096;
    EXPECT_EQ(bed.access.DSReadStream(bed.Context(), "u.Corp", "Login Script", buffer, size), 0);
    EXPECT_EQ(size, 4096u);
    size = buffer.size();
    EXPECT_EQ(bed.access.DSReadStream(bed.Context(), "u.Corp", "Login Script", buffer, size), 0);
    EXPECT_EQ(size, 5000u);
    EXPECT_EQ(bed.spy.Count("OpenStream"), bed.spy.Count("CloseStream"));
}

TEST(ReadStream, AFailedReadIs30AndClosesTheStream) {
    DirectoryTestBed bed(StreamImage(100));
    bed.spy.onReadStream = [](client::StreamHandle, std::span<uint8_t>, size_t&) {
        return client::Err::StreamReadFailed;
    };
    std::vector<std::string> lines;
    EXPECT_EQ(bed.access.DSReadValues(bed.Context(), "u.Corp", "Login Script", false, lines),
              DirectoryAccess::kStreamReadFailed);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(bed.spy.Count("CloseStream"), 1);

    std::vector<uint8_t> buffer(10);
    size_t size = 10;
    EXPECT_EQ(bed.access.DSReadStream(bed.Context(), "u.Corp", "Description", buffer, size),
              client::Err::NoSuchAttribute);
    EXPECT_EQ(size, 0u);
}

// --- Object information -----------------------------------------------------

}  // namespace
}  // namespace vellrun::directory
