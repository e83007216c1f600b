// Value texts by syntax, the small texts values are made of, and report cells
// with their value information, size limit and "DSI: " pseudo-attributes.

#include "client/AttrValue.h"
#include "platform/TextEncoding.h"
#include "support/DirectoryTestBed.h"
#include "support/ImageFixture.h"
#include "support/ScopedTimeZone.h"
#include "values/CellTextReader.h"
#include "values/ValueFormatting.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::values {
namespace {

using client::AttrValue;
using client::Bytes;

// The program's fixed formats, so that no test depends on the machine's locale.
platform::DateTimeFormats FixedFormats() {
    platform::DateTimeFormats formats;
    formats.shortDate = "yyyy-MM-dd";
    formats.longTime = "hh:nn:ss";
    return formats;
}

TEST(DurationText, EveryPartOnlyWhenNotZeroAndNoTrailingComma) {
    EXPECT_EQ(DurationText(0), "0 sec");
    EXPECT_EQ(DurationText(59), "59 sec");
    EXPECT_EQ(DurationText(120), "2 min");
    EXPECT_EQ(DurationText(3600), "1 h");
    EXPECT_EQ(DurationText(86400), "1 days");
    EXPECT_EQ(DurationText(86400 + 3600), "1 days, 1 h");
    EXPECT_EQ(DurationText(86400 + 1), "1 days, 1 sec");
    EXPECT_EQ(DurationText(90061), "1 days, 1 h, 1 min, 1 sec");
    EXPECT_EQ(DurationText(4294967295u), "49710 days, 6 h, 28 min, 15 sec");
}

TEST(NetAddressText, ReadsFixedPositionsWhateverTheLength) {
    EXPECT_EQ(NetAddressText(0, Bytes{0, 0, 0, 1, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x04, 0x51}),
              "(0) 00000001:001122334455");
    EXPECT_EQ(NetAddressText(1, Bytes{10, 1, 2, 3, 0x02, 0x0C}), "(1) 10.1.2.3:524");
    EXPECT_EQ(NetAddressText(11, Bytes{192, 168, 0, 1, 0x01, 0xBB}), "(11) 192.168.0.1:443");
    // Types 8 and 9 put the port first.
    EXPECT_EQ(NetAddressText(9, Bytes{0x02, 0x0C, 10, 1, 2, 3}), "(9) 10.1.2.3:524");
    EXPECT_EQ(NetAddressText(8, Bytes{0x00, 0x50, 127, 0, 0, 1}), "(8) 127.0.0.1:80");
    EXPECT_EQ(NetAddressText(7, Bytes{255, 255, 255, 255, 0xFF, 0xFF}),
              "(7) 255.255.255.255:65535");
    EXPECT_EQ(NetAddressText(10, Bytes{0, 0, 0, 0, 0, 0}), "(10) 0.0.0.0:0");
    // Any other type: the first twelve bytes, however long the address.
    EXPECT_EQ(NetAddressText(2, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}),
              "(2) [0102030405060708090A0B0C]");
    EXPECT_EQ(NetAddressText(13, Bytes{'h', 0, 0xE9, 0, 'x', 0, 0, 0, 'y', 0}), "(13) h\xC3\xA9x");
    // Short addresses read zeros past their end; none at all gives the prefix alone.
    EXPECT_EQ(NetAddressText(9, Bytes{0x01, 0x02, 3}), "(9) 3.0.0.0:258");
    EXPECT_EQ(NetAddressText(0, Bytes{0xAB}), "(0) AB000000:000000000000");
    EXPECT_EQ(NetAddressText(2, Bytes{0xFF}), "(2) [FF0000000000000000000000]");
    // An odd last byte is the low half of a code unit whose high half is zero.
    EXPECT_EQ(NetAddressText(13, Bytes{'a'}), "(13) a");
    EXPECT_EQ(NetAddressText(13, Bytes{0x41, 0, 0x42, 0, 0x43}), "(13) ABC");
    // The type is an unsigned word.
    EXPECT_EQ(NetAddressText(0xFFFFFFFF, Bytes{}), "(4294967295) ");
    EXPECT_EQ(NetAddressText(9, Bytes{}), "(9) ");
}

TEST(AclText, EntryRightsShowInheritanceWhenTheBitIsClearAttributeRightsWhenSet) {
    EXPECT_EQ(AclText(0x1F, ".admin.Corp", "[Entry Rights]"),
              "[BCDRAI] .admin.Corp / [Entry Rights]");
    EXPECT_EQ(AclText(0x5F, ".admin.Corp", "[Entry Rights]"),
              "[BCDRA ] .admin.Corp / [Entry Rights]");
    EXPECT_EQ(AclText(0x08, "[Public]", "[Inheritance Mask]"),
              "[   R I] [Public] / [Inheritance Mask]");
    EXPECT_EQ(AclText(0x6F, "[Root]", "Telephone Number"), "[CRWSAI] [Root] / Telephone Number");
    EXPECT_EQ(AclText(0x02, "[Root]", "[All Attributes Rights]"),
              "[ R    ] [Root] / [All Attributes Rights]");
    // Only the low 16 bits take part.
    EXPECT_EQ(RightsText(0x10000, 1), "[     I]");
    EXPECT_EQ(RightsText(0x10020, 2), "[    A ]");
}

TEST(LocalTimeText, EachStampUsesTheOffsetInForceAtItsOwnInstant) {
    testing::ScopedTimeZone zone("Europe/Berlin");
    const platform::DateTimeFormats formats = FixedFormats();
    // 2009-01-15 12:00 UTC is winter time (+1), 2009-07-15 12:00 UTC summer time (+2).
    EXPECT_EQ(LocalTimeText(1232020800, formats), "2009-01-15 13:00:00");
    EXPECT_EQ(LocalTimeText(1247659200, formats), "2009-07-15 14:00:00");

    platform::DateTimeFormats dateOnly = formats;
    dateOnly.longTime.clear();
    EXPECT_EQ(LocalTimeText(1232020800, dateOnly), "2009-01-15");
    platform::DateTimeFormats timeOnly = formats;
    timeOnly.shortDate.clear();
    EXPECT_EQ(LocalTimeText(1232020800, timeOnly), "13:00:00");
}

TEST(ValueInfoText, TimeStampThenFlagsInListOrder) {
    testing::ScopedTimeZone zone("UTC");
    const platform::DateTimeFormats formats = FixedFormats();
    directory::ValueInfo info;
    info.flags = 0x05;
    EXPECT_EQ(ValueInfoText(info, 2, formats), "[ PRESENT / NAMING ]");
    info.flags = 0x3F;
    EXPECT_EQ(ValueInfoText(info, 2, formats),
              "[ PRESENT / NAMING / BASECLASS / VALUE_DAMAGED / SUPERCLASS / AUXCLASS ]");
    info.flags = 0;
    EXPECT_EQ(ValueInfoText(info, 2, formats), "[ NOT_PRESENT ]");
    // A stamp of 0 is no time.
    EXPECT_EQ(ValueInfoText(info, 1, formats), "");
    info.flags = 0x04;
    info.modified.seconds = 1256904000;
    EXPECT_EQ(ValueInfoText(info, 1, formats), "[ 2009-10-30 12:00:00 ]");
    EXPECT_EQ(ValueInfoText(info, 3, formats), "[ 2009-10-30 12:00:00 / PRESENT ]");
    EXPECT_EQ(ValueInfoText(info, 0, formats), "");
}

// FormatValue on records made here. The text of every syntax is pinned on the
// bundled sample (SampleValuesTest.cpp).
class FormatValueTest : public ::testing::Test {
protected:
    FormatValueTest()
        : bed_(testing::TreeImage(R"([{"name": "Corp", "class": "Organization"}])")),
          formatter_(bed_.access, formats_) {}

    testing::ScopedTimeZone zone_{"UTC"};
    platform::DateTimeFormats formats_ = FixedFormats();
    testing::DirectoryTestBed bed_;
    ValueTextFormatter formatter_;
};

TEST_F(FormatValueTest, UnsignedWordsPrintUnsignedOnlyIntegersAndCountersAreSigned) {
    constexpr uint32_t kAll = 0xFFFFFFFF;
    const std::vector<std::pair<AttrValue, std::string>> cases = {
        {{16, client::ReplicaPointerValue{"FS1", 0, kAll, {}}}, "FS1 [Master] [Nr: 4294967295]"},
        {{15, client::PathValue{kAll, "SYS", "x"}}, "(4294967295) SYS:x"},
        {{25, client::TypedNameValue{"q", kAll, 1}}, "q#4294967295#1"},
        {{26, client::HoldValue{"h", kAll}}, "h (4294967295)"},
        {{8, client::IntegerValue{-1}}, "-1"},
        {{22, client::IntegerValue{-1}}, "-1"},
    };
    for (const auto& [value, text] : cases) {
        directory::ValueLines lines;
        formatter_.FormatValue(client::ContextHandle{}, ".Corp", "Attr", lines, value, 0, 1);
        EXPECT_EQ(lines.Count(), 1u) << value.syntax;
        EXPECT_EQ(lines.Joined(), text) << value.syntax;
    }
}

TEST_F(FormatValueTest, ARecordThatDoesNotFitItsSyntaxIsRefusedNotMisread) {
    directory::ValueLines lines;
    const AttrValue wrong{8, client::StringValue{"12"}};
    EXPECT_THROW(
        formatter_.FormatValue(client::ContextHandle{}, ".Corp", "Attr", lines, wrong, 3, 1),
        std::invalid_argument);
}

// Report cells over a small tree, read with the real formatter.
class CellTextTest : public ::testing::Test {
protected:
    static std::string Objects() {
        std::string many;
        for (int i = 1; i <= 101; ++i)
            many += std::string(i > 1 ? ", " : "") + "\"v" + std::to_string(i) + "\"";
        const std::string accented = [] {
            std::string text;
            for (int i = 0; i < 600; ++i)
                text += "\xC3\xA9";
            return text;
        }();
        return R"([
  {"name": "Corp", "class": "Organization"},
  {"name": "Sales.Corp", "class": "Organizational Unit"},
  {"name": "jdoe.Sales.Corp", "class": "User", "created": "2009-01-15T12:00:00Z",
   "attributes": {
     "Title": {"value": "Clerk", "flags": 5, "modified": "2009-10-30T12:00:00Z"},
     "Description": [{"value": "kept", "flags": 0}, "also"],
     "Long": [")" +
               std::string(600, 'x') + R"(", ")" + std::string(512, 'y') + R"("],
     "Accented": ")" +
               accented + R"(",
     "Login Script": {"text": "MAP F:=SYS:\n"},
     "Notes": ["first\r\nsecond", "third"],
     "Languages": [{"value": ["en", "de", "fr"], "flags": 4}]}},
  {"name": "many.Sales.Corp", "class": "User", "attributes": {"Description": [)" +
               many + R"(]}}
])";
    }

    CellTextTest()
        : bed_(testing::TreeImage(Objects(),
                                  R"({"name": "Long", "syntax": "CI_STRING"},
                                     {"name": "Accented", "syntax": "CI_STRING"},
                                     {"name": "Languages", "syntax": "CI_LIST"},
                                     {"name": "Notes", "syntax": "CI_STRING"})")),
          formatter_(bed_.access, formats_),
          reader_(bed_.access, settings_, formats_) {
        bed_.access.SetValueFormatter(&formatter_);
        context_ = bed_.Context("[Root]");
    }

    std::string Cell(std::string_view object, std::string_view attribute) {
        return reader_.GetAttrValue(context_, object, attribute);
    }

    testing::ScopedTimeZone zone_{"UTC"};
    platform::DateTimeFormats formats_ = FixedFormats();
    settings::AppSettings settings_;
    testing::DirectoryTestBed bed_;
    ValueTextFormatter formatter_;
    CellTextReader reader_;
    client::ContextHandle context_{};
};

TEST(CellText, AnEmptyRawValueIsAValueAndTheValuesAfterItAreRead) {
    testing::ScopedTimeZone zone{"UTC"};
    const platform::DateTimeFormats formats = FixedFormats();
    testing::DirectoryTestBed bed(testing::TreeImage(
        R"([{"name": "Corp", "class": "Organization",
             "attributes": {"Raw28": [{"hex": ""}, {"hex": "AB"}],
                            "Raw99": [{"hex": "AB"}, {"hex": ""}, {"hex": "CD"}]}}])",
        R"({"name": "Raw28", "syntax": 28}, {"name": "Raw99", "syntax": 99})"));
    ValueTextFormatter formatter(bed.access, formats);
    bed.access.SetValueFormatter(&formatter);
    settings::AppSettings settings;
    CellTextReader reader(bed.access, settings, formats);
    const client::ContextHandle context = bed.Context("[Root]");
    EXPECT_EQ(reader.GetAttrValue(context, ".Corp", "Raw28"), "[1C] \r\n[1C] AB");
    EXPECT_EQ(reader.GetAttrValue(context, ".Corp", "Raw99"), "[63] AB\r\n[63] \r\n[63] CD");
}

TEST(CellText, AStreamCarriesItsValueFlagsAndTimeStamp) {
    testing::ScopedTimeZone zone{"UTC"};
    const platform::DateTimeFormats formats = FixedFormats();
    testing::DirectoryTestBed bed(testing::TreeImage(
        R"([{"name": "Corp", "class": "Organization",
             "attributes": {"Login Script": {"value": {"text": "hi"}, "flags": 5,
                                             "modified": "2009-10-30T12:00:00Z"}}}])"));
    ValueTextFormatter formatter(bed.access, formats);
    bed.access.SetValueFormatter(&formatter);
    settings::AppSettings settings;
    settings.ShowValueFlags = true;
    settings.ShowTimeStamps = true;
    CellTextReader reader(bed.access, settings, formats);
    EXPECT_EQ(reader.GetAttrValue(bed.Context("[Root]"), ".Corp", "Login Script"),
              "[ 2009-10-30 12:00:00 / PRESENT / NAMING ] hi");
}

// A formatter that, for the values of "Title", reads another cell of the same
// object through the reader while the outer read is still taking its values.
class NestingFormatter final : public directory::ValueFormatter {
public:
    explicit NestingFormatter(ValueTextFormatter& inner) : inner_(inner) {}
    client::Result FormatValue(client::ContextHandle context, std::string_view object,
                               std::string_view attribute, directory::ValueLines& lines,
                               const client::AttrValue& value, size_t size,
                               uint32_t position) override {
        if (attribute == "Title" && reader != nullptr)
            lines.Add("[" + reader->GetAttrValue(context, object, "Description") + "]");
        return inner_.FormatValue(context, object, attribute, lines, value, size, position);
    }
    CellTextReader* reader = nullptr;

private:
    ValueTextFormatter& inner_;
};

TEST(CellText, NoCellShowsWhatTheOneBeforeItReadNorWhatAReadWithinItRead) {
    testing::ScopedTimeZone zone{"UTC"};
    const platform::DateTimeFormats formats = FixedFormats();
    testing::DirectoryTestBed bed(testing::TreeImage(
        R"([{"name": "Corp", "class": "Organization"},
            {"name": "ann.Corp", "class": "User",
             "attributes": {"Title": "Head of the long department of things",
                            "Description": [
               {"value": "the first of three rather long descriptions", "flags": 5,
                "modified": "2009-10-30T12:00:00Z"},
               {"value": "the second of three rather long descriptions", "flags": 4},
               {"value": "the third of three rather long descriptions", "flags": 4}]}},
            {"name": "bo.Corp", "class": "User",
             "attributes": {"Title": "X", "Description": [{"value": "y", "flags": 4}]}}])"));
    ValueTextFormatter plain(bed.access, formats);
    NestingFormatter nesting(plain);
    bed.access.SetValueFormatter(&nesting);
    settings::AppSettings settings;
    CellTextReader reader(bed.access, settings, formats);
    const client::ContextHandle context = bed.Context("[Root]");
    const std::string annDescription =
        "the first of three rather long descriptions\r\nthe second of three rather long "
        "descriptions\r\nthe third of three rather long descriptions";

    // Long cells, a failed read, then short cells: nothing of the earlier is left.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(reader.GetAttrValue(context, ".ann.Corp", "Description"), annDescription);
        EXPECT_EQ(reader.GetAttrValue(context, ".nobody.Corp", "Description"), "");
        EXPECT_EQ(reader.GetAttrValue(context, ".bo.Corp", "Description"), "y");
        EXPECT_EQ(reader.GetAttrValue(context, ".bo.Corp", "Surname"), "");
    }

    // A cell read while another cell's values are being taken: both are whole.
    nesting.reader = &reader;
    EXPECT_EQ(reader.GetAttrValue(context, ".ann.Corp", "Title"),
              "[" + annDescription + "]\r\nHead of the long department of things");
    EXPECT_EQ(reader.GetAttrValue(context, ".bo.Corp", "Title"), "[y]\r\nX");
    EXPECT_EQ(reader.GetAttrValue(context, ".ann.Corp", "Description"), annDescription);
    nesting.reader = nullptr;

    // Value information: each cell has its own values' records, never more.
    settings.ShowValueFlags = true;
    settings.ShowTimeStamps = true;
    EXPECT_EQ(reader.GetAttrValue(context, ".ann.Corp", "Description"),
              "[ 2009-10-30 12:00:00 / PRESENT / NAMING ] the first of three rather long "
              "descriptions\r\n[ PRESENT ] the second of three rather long descriptions\r\n"
              "[ PRESENT ] the third of three rather long descriptions");
    EXPECT_EQ(reader.GetAttrValue(context, ".bo.Corp", "Description"), "[ PRESENT ] y");
    EXPECT_EQ(reader.GetAttrValue(context, ".nobody.Corp", "Description"), "");
    EXPECT_EQ(reader.GetAttrValue(context, ".bo.Corp", "Description"), "[ PRESENT ] y");
}

TEST_F(CellTextTest, ValuesAreLinesOfOneCellWithoutTrailingBreak) {
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Description"), "kept\r\nalso");
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Languages"), "en\r\nde\r\nfr");
    EXPECT_EQ(reader_.LastResult(), 0);
    // Every cell gives the front end a chance to handle its events.
    const int before = bed_.feedback.events;
    Cell(".jdoe.Sales.Corp", "Title");
    EXPECT_EQ(bed_.feedback.events, before + 1);
}

TEST_F(CellTextTest, AFailedReadGivesAnEmptyCellAndKeepsItsResult) {
    EXPECT_EQ(Cell(".nobody.Sales.Corp", "Title"), "");
    const client::Result failed = reader_.LastResult();
    EXPECT_NE(failed, 0);
    // A later success does not hide it.
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Title"), "Clerk");
    EXPECT_EQ(reader_.LastResult(), failed);
    reader_.ResetLastResult();
    EXPECT_EQ(reader_.LastResult(), 0);
}

TEST_F(CellTextTest, AStreamThatCannotBeReadAddsNoLineAndFailsTheCell) {
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Login Script"), "MAP F:=SYS:");
    bed_.spy.onReadStream = [](auto&&...) -> client::Result { return -1; };
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Login Script"), "");
    EXPECT_EQ(reader_.LastResult(), directory::DirectoryAccess::kStreamReadFailed);
}

TEST_F(CellTextTest, AnExceptionWhileReadingBecomesTheCellText) {
    bed_.spy.onRead = [](auto&&...) -> client::Result { throw std::runtime_error("line down"); };
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Title"),
              "Exception reading Title (.jdoe.Sales.Corp): line down");
    EXPECT_EQ(bed_.spy.liveContexts, 1);  // only the test's own context
    EXPECT_EQ(bed_.spy.liveBuffers, 0);
}

TEST_F(CellTextTest, LongLinesAreCutToTheLimitCountingCharacters) {
    settings_.MaxAttrSizeIndex = 0;  // 512
    const std::string cell = Cell(".jdoe.Sales.Corp", "Long");
    EXPECT_EQ(cell, std::string(506, 'x') + "...\r\n" + std::string(512, 'y'));

    // Two bytes a character: the cut counts characters and never splits one.
    const std::string accented = Cell(".jdoe.Sales.Corp", "Accented");
    EXPECT_TRUE(platform::IsValidUtf8(accented));
    EXPECT_EQ(accented.size(), 506u * 2 + 3);
    EXPECT_TRUE(accented.ends_with("\xC3\xA9..."));

    settings_.MaxAttrSizeIndex = 1;  // 4096
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Long"),
              std::string(600, 'x') + "\r\n" + std::string(512, 'y'));
}

TEST_F(CellTextTest, ValueInformationStandsInFrontOfTheFirstHundredLines) {
    settings_.ShowValueFlags = true;
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Title"), "[ PRESENT / NAMING ] Clerk");
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Description"), "[ NOT_PRESENT ] kept\r\n[ PRESENT ] also");
    // Lines past the values of a many-line value get an empty record.
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Languages"),
              "[ PRESENT ] en\r\n[ NOT_PRESENT ] de\r\n[ NOT_PRESENT ] fr");

    settings_.ShowTimeStamps = true;
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Title"),
              "[ 2009-10-30 12:00:00 / PRESENT / NAMING ] Clerk");
    settings_.ShowValueFlags = false;
    // Stamps alone: a value without one still gets the blank.
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Description"), " kept\r\n also");

    settings_.ShowValueFlags = true;
    settings_.ShowTimeStamps = false;
    const std::string many = Cell(".many.Sales.Corp", "Description");
    EXPECT_TRUE(many.starts_with("[ PRESENT ] v1\r\n")) << many.substr(0, 40);
    EXPECT_TRUE(many.ends_with("\r\n[ PRESENT ] v100\r\nv101")) << many.substr(many.size() - 40);
}

TEST_F(CellTextTest, TheLimitCountsTheAnnotationAndAValuesOwnBreaksStayInItsLine) {
    settings_.MaxAttrSizeIndex = 0;  // 512
    settings_.ShowValueFlags = true;
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Long"), "[ PRESENT ] " + std::string(494, 'x') +
                                                    "...\r\n[ PRESENT ] " + std::string(494, 'y') +
                                                    "...");
    // The first value's line break is inside its line: the second value,
    // not the second half of the first, gets the second annotation.
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Notes"),
              "[ PRESENT ] first\r\nsecond\r\n[ PRESENT ] third");
    settings_.ShowValueFlags = false;
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Notes"), "first\r\nsecond\r\nthird");
}

TEST_F(CellTextTest, WithoutALimitNothingIsAnnotatedOrCut) {
    settings_.MaxAttrSizeIndex = 3;
    settings_.ShowValueFlags = true;
    settings_.ShowTimeStamps = true;
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Title"), "Clerk");
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "Long"),
              std::string(600, 'x') + "\r\n" + std::string(512, 'y'));
}

TEST_F(CellTextTest, DsiNamesComeFromOneReadOfTheEntryInformation) {
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: Parent"), ".Sales.Corp");
    EXPECT_EQ(bed_.spy.Count("ReadEntryInfo"), 1);
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: DN"), ".jdoe.Sales.Corp");
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: Partition Root"), "[Root]");
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: Subordinates"), "0");
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: Time Created"), "2009-01-15 12:00:00");
    // A time of 0 is no time.
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: Time Modified"), "n/a");
    EXPECT_EQ(bed_.spy.Count("ReadEntryInfo"), 1);
    EXPECT_EQ(bed_.spy.liveContexts, 1);

    // The names are compared exactly; the prefix in other case is an attribute name.
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: parent"), "unknown flag");
    EXPECT_EQ(reader_.LastResult(), 0);
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "dsi: Parent"), "");
    EXPECT_NE(reader_.LastResult(), 0);
    EXPECT_EQ(bed_.spy.Count("ReadEntryInfo"), 1);

    // Another object is read afresh; back to the first, afresh again.
    EXPECT_EQ(Cell(".Sales.Corp", "DSI: Subordinates"), "2");
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: DN"), ".jdoe.Sales.Corp");
    EXPECT_EQ(bed_.spy.Count("ReadEntryInfo"), 3);
    reader_.ForgetEntryInformation();
    EXPECT_EQ(Cell(".jdoe.Sales.Corp", "DSI: DN"), ".jdoe.Sales.Corp");
    EXPECT_EQ(bed_.spy.Count("ReadEntryInfo"), 4);
}

TEST_F(CellTextTest, AnObjectWhoseEntryCannotBeReadShowsNotAvailableAndIsNotReadAgain) {
    for (std::string_view name : CellTextReader::kDsiNames)
        EXPECT_EQ(Cell(".nobody.Sales.Corp", name), "n/a") << name;
    EXPECT_EQ(bed_.spy.Count("ReadEntryInfo"), 1);
    EXPECT_EQ(bed_.spy.liveContexts, 1);
}

TEST_F(CellTextTest, TheDsiCacheIsKeyedByTheNameContextToo) {
    // The same relative name in another container is another object.
    const client::ContextHandle sales = bed_.Context("Sales.Corp");
    EXPECT_EQ(reader_.DsiValue(sales, "jdoe", "DSI: DN"), ".jdoe.Sales.Corp");
    const client::ContextHandle corp = bed_.Context("Corp");
    EXPECT_EQ(reader_.DsiValue(corp, "jdoe", "DSI: DN"), "n/a");
    EXPECT_EQ(bed_.spy.Count("ReadEntryInfo"), 2);
}

}  // namespace
}  // namespace vellrun::values
