// Edited text into values of each syntax, and writes through DSWriteAttr with
// the parser installed.

#include "directory/AttrChange.h"
#include "platform/DateTime.h"
#include "platform/TextLines.h"
#include "support/DirectoryTestBed.h"
#include "support/ImageFixture.h"
#include "support/ScopedTimeZone.h"
#include "values/AttrDetail.h"
#include "values/ValueFormatting.h"
#include "values/ValueTextParser.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace vellrun::values {
namespace {

using client::AttrValue;
using client::Result;
using directory::ModifyType::ReplaceAll;
using directory::ParseResult::NoParser;
using directory::ParseResult::NotOfSyntax;

struct Parsed {
    Result result = 0;
    uint32_t changeType = 0;
    AttrValue value;
};

Parsed Parse(client::SyntaxId syntax, std::string_view text, uint32_t changeType = 5) {
    static const platform::DateTimeFormats formats;
    ValueTextParser parser(formats);
    Parsed parsed;
    parsed.changeType = changeType;
    parsed.result = parser.ParseValue(static_cast<client::ContextHandle>(1), ".x.Corp", "Attr",
                                      text, syntax, parsed.changeType, parsed.value);
    return parsed;
}

template <typename Record>
Record RecordOf(const Parsed& parsed) {
    EXPECT_EQ(parsed.result, 0);
    const Record* record = std::get_if<Record>(&parsed.value.record);
    EXPECT_NE(record, nullptr);
    return record ? *record : Record{};
}

std::optional<int32_t> IntegerOf(std::string_view text) {
    const Parsed parsed = Parse(8, text);
    if (parsed.result != 0) return std::nullopt;
    return std::get<client::IntegerValue>(parsed.value.record).value;
}

TEST(SplitHashFields, CutsAtEveryHash) {
    EXPECT_TRUE(SplitHashFields("").empty());
    EXPECT_EQ(SplitHashFields("a"), std::vector<std::string>{"a"});
    EXPECT_EQ(SplitHashFields("x#1#30"), (std::vector<std::string>{"x", "1", "30"}));
    EXPECT_EQ(SplitHashFields("#a##"), (std::vector<std::string>{"", "a", "", ""}));
}

TEST(ValueTextParser, IntegersDecimalAndHexadecimal) {
    EXPECT_EQ(IntegerOf("12"), 12);
    EXPECT_EQ(IntegerOf("-5"), -5);
    EXPECT_EQ(IntegerOf("+7"), 7);
    EXPECT_EQ(IntegerOf("  42"), 42);
    EXPECT_EQ(IntegerOf("$1F"), 31);
    EXPECT_EQ(IntegerOf("$1f"), 31);
    EXPECT_EQ(IntegerOf("-$10"), -16);
    EXPECT_EQ(IntegerOf("$FFFFFFFF"), -1);
    EXPECT_EQ(IntegerOf("$80000000"), -2147483647 - 1);
    EXPECT_EQ(IntegerOf("2147483647"), 2147483647);
    EXPECT_EQ(IntegerOf("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(IntegerOf("$FFFFFFFFFFFFFFFF"), -1);
}

TEST(ValueTextParser, NumbersOutsideTheirWordAreRefusedNotCut) {
    // Cut to 32 bits these would be stored as another number than typed.
    for (const char* text : {"4294967296", "9223372036854775807", "-2147483649", "$100000005",
                             "-9223372036854775808", "$FFFFFFFF00000005"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Parse(8, text).result, NotOfSyntax);
        EXPECT_EQ(Parse(22, text).result, NotOfSyntax);
        EXPECT_EQ(Parse(27, text).result, NotOfSyntax);
    }
    // Intervals are never negative; a counter shows signed and takes that back.
    EXPECT_EQ(RecordOf<client::IntegerValue>(Parse(22, "-125")).value, -125);
    for (const char* text : {"-1", "-$1", "$FFFFFFFFFFFFFFFF"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Parse(27, text).result, NotOfSyntax);
        EXPECT_EQ(Parse(25, std::string("x#") + text + "#1").result, NotOfSyntax);
        EXPECT_EQ(Parse(25, std::string("x#1#") + text).result, NotOfSyntax);
    }
    // Numbers shown signed take no larger decimal number than they show.
    EXPECT_EQ(Parse(8, "2147483648").result, NotOfSyntax);
    EXPECT_EQ(Parse(22, "2147483648").result, NotOfSyntax);
    EXPECT_EQ(RecordOf<client::IntervalValue>(Parse(27, "2147483648")).seconds, 2147483648u);
    EXPECT_EQ(Parse(25, "x#4294967296#1").result, NotOfSyntax);
    EXPECT_EQ(Parse(15, "(4294967296) SYS:P").result, NotOfSyntax);
    EXPECT_EQ(RecordOf<client::IntervalValue>(Parse(27, "4294967295")).seconds, 4294967295u);
    EXPECT_EQ(RecordOf<client::IntegerValue>(Parse(22, "2147483647")).value, 2147483647);
}

TEST(ValueTextParser, TextsThatAreNoNumbers) {
    for (const char* text :
         {"12a", "", " ", "-", "+", "$", "$G", "1 2", "12 ", "0x1F", "1.5", "--1",
          "9223372036854775808", "99999999999999999999", "$10000000000000000"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Parse(8, text).result, NotOfSyntax);
    }
    EXPECT_EQ(Parse(22, "12a").result, NotOfSyntax);
    EXPECT_EQ(Parse(27, "x").result, NotOfSyntax);
}

TEST(ValueTextParser, StringsNumbersOfOtherSyntaxesAndTheChangeTypeTheyLeave) {
    for (client::SyntaxId syntax : {1u, 2u, 3u, 4u, 5u, 10u}) {
        const Parsed parsed = Parse(syntax, "some text", 2);
        EXPECT_EQ(RecordOf<client::StringValue>(parsed).text, "some text");
        EXPECT_EQ(parsed.value.syntax, syntax);
        EXPECT_EQ(parsed.changeType, 2u);
    }
    EXPECT_EQ(RecordOf<client::IntegerValue>(Parse(22, "$7FFFFFFF")).value, 2147483647);
    EXPECT_EQ(RecordOf<client::IntervalValue>(Parse(27, "$FFFFFFFF")).seconds, 4294967295u);
}

TEST(ValueTextParser, ListsDropRepeatedLinesAndReplaceAllValues) {
    Parsed parsed = Parse(6, "first\r\nsecond\r\nfirst", 5);
    EXPECT_EQ(RecordOf<client::CiListValue>(parsed).strings,
              (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(parsed.changeType, ReplaceAll);

    // CR, LF and CR LF all end a line; a break at the end adds no line.
    parsed = Parse(6, "a\nb\rc\r\n");
    EXPECT_EQ(RecordOf<client::CiListValue>(parsed).strings,
              (std::vector<std::string>{"a", "b", "c"}));
    // Lines differing in case are different lines.
    parsed = Parse(6, "a\nA");
    EXPECT_EQ(RecordOf<client::CiListValue>(parsed).strings, (std::vector<std::string>{"a", "A"}));

    // A text without any line is refused, and the change type stays.
    parsed = Parse(6, "", 5);
    EXPECT_EQ(parsed.result, NotOfSyntax);
    EXPECT_EQ(parsed.changeType, 5u);
}

TEST(ValueTextParser, Paths) {
    auto path = RecordOf<client::PathValue>(Parse(15, "(0) SYS:PUBLIC"));
    EXPECT_EQ(path.nameSpace, 0u);
    EXPECT_EQ(path.volume, "SYS");
    EXPECT_EQ(path.path, "PUBLIC");

    path = RecordOf<client::PathValue>(Parse(15, "(4) VOL1.Corp:home/jdoe:x"));
    EXPECT_EQ(path.nameSpace, 4u);
    EXPECT_EQ(path.volume, "VOL1.Corp");
    EXPECT_EQ(path.path, "home/jdoe:x");

    // Without the name space, without a path.
    path = RecordOf<client::PathValue>(Parse(15, "SYS"));
    EXPECT_EQ(path.nameSpace, 0u);
    EXPECT_EQ(path.volume, "SYS");
    EXPECT_EQ(path.path, "");

    // A name space that is not a number counts as 0; "#" is the separator.
    path = RecordOf<client::PathValue>(Parse(15, "(x) SYS:P"));
    EXPECT_EQ(path.nameSpace, 0u);
    EXPECT_EQ(path.volume, "SYS");
    path = RecordOf<client::PathValue>(Parse(15, "  ((2#VOL:a"));
    EXPECT_EQ(path.nameSpace, 2u);
    EXPECT_EQ(path.volume, "VOL");
    EXPECT_EQ(path.path, "a");
}

TEST(ValueTextParser, TypedNames) {
    const auto typed = RecordOf<client::TypedNameValue>(Parse(25, "x.Corp#1#30"));
    EXPECT_EQ(typed.objectName, "x.Corp");
    EXPECT_EQ(typed.level, 1u);
    EXPECT_EQ(typed.interval, 30u);
    EXPECT_EQ(RecordOf<client::TypedNameValue>(Parse(25, "x#$10#$FFFFFFFF")).interval, 0xFFFFFFFFu);
    for (const char* text : {"x#1", "x#1#30#4", "x#a#30", "x#1#", "", "x"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Parse(25, text).result, NotOfSyntax);
    }
}

TEST(ValueTextParser, PostalAddressesTakeUpToSixLines) {
    EXPECT_EQ(RecordOf<client::PostalAddressValue>(Parse(18, "a\r\nb")).lines,
              (std::vector<std::string>{"a", "b", "", "", "", ""}));
    EXPECT_EQ(Parse(18, "1\n2\n3\n4\n5\n6\n7").result, NotOfSyntax);
    EXPECT_EQ(Parse(18, "").result, NotOfSyntax);
}

TEST(ValueTextParser, SyntaxesWithoutAParser) {
    for (client::SyntaxId syntax :
         {0u, 7u, 9u, 12u, 13u, 16u, 17u, 20u, 21u, 23u, 26u, 28u, 37u, 1000u}) {
        SCOPED_TRACE(syntax);
        const Parsed parsed = Parse(syntax, "1", 5);
        EXPECT_EQ(parsed.result, NoParser);
        EXPECT_EQ(parsed.changeType, 5u);
    }
}

TEST(ValueTextParser, ValuesThatWouldNotFitTheValueBuffer) {
    // A string takes its text and the terminating zero.
    EXPECT_EQ(Parse(3, std::string(2046, 'a')).result, 0);
    EXPECT_EQ(Parse(3, std::string(2047, 'a')).result, NotOfSyntax);
    EXPECT_EQ(Parse(14, std::string(5000, 'a')).result, NotOfSyntax);
    EXPECT_EQ(Parse(25, std::string(3000, 'a') + "#1#1").result, NotOfSyntax);
    // Many short lines add up: 4 + 200 * (8 + 11) bytes.
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += "line " + std::to_string(100000 + i) + "\n";
    EXPECT_EQ(Parse(6, lines).result, NotOfSyntax);
    // A path's record, its two texts and the extra zero byte: 12 + 1001 + 1033 + 1 = 2047.
    EXPECT_EQ(Parse(15, "(0) " + std::string(1000, 'v') + ":" + std::string(1032, 'p')).result, 0);
    EXPECT_EQ(Parse(15, "(0) " + std::string(1000, 'v') + ":" + std::string(1033, 'p')).result,
              NotOfSyntax);
}

TEST(ValueTextParser, AZeroByteInsideATextIsRefused) {
    EXPECT_EQ(Parse(3, std::string("ab\0cd", 5)).result, NotOfSyntax);
    EXPECT_EQ(Parse(6, std::string("a\n\0", 3)).result, NotOfSyntax);
}

TEST(ValueTextParser, TimesUseTheRulesInForceAtThatInstant) {
    testing::ScopedTimeZone berlin("Europe/Berlin");
    // Winter (UTC+1) and summer (UTC+2), whatever the season now.
    const auto winter = RecordOf<client::TimeValue>(Parse(24, "2009-01-15 10:30:00"));
    const auto summer = RecordOf<client::TimeStamp>(Parse(19, "2009-07-15 10:30:00"));
    EXPECT_EQ(platform::UtcTimeOf(winter.seconds).hour, 9);
    EXPECT_EQ(platform::UtcTimeOf(summer.seconds).hour, 8);
    EXPECT_EQ(summer.replica, 0u);
    EXPECT_EQ(summer.event, 0u);
    for (uint32_t seconds : {winter.seconds, summer.seconds}) {
        const auto local = platform::LocalTimeOf(seconds);
        EXPECT_EQ(local.hour, 10);
        EXPECT_EQ(local.minute, 30);
        EXPECT_EQ(local.day, 15);
    }
    EXPECT_EQ(winter.seconds, 1232011800u);  // 2009-01-15 09:30:00 UTC

    EXPECT_EQ(Parse(24, "not a date").result, NotOfSyntax);
    EXPECT_EQ(Parse(19, "").result, NotOfSyntax);
}

TEST(ValueTextParser, EveryShownValueOfAnEditableSyntaxParsesBackToItself) {
    // The edit box starts with the value as it is shown: saved unchanged, it
    // must give the same value. The parts a form does not show (an e-mail
    // address's type, fax parameters, a time stamp's replica and event) are
    // zero here.
    testing::ScopedTimeZone berlin("Europe/Berlin");
    testing::DirectoryTestBed bed(
        testing::TreeImage(R"([{"name": "Corp", "class": "Organization"}])"));
    const auto value = [](client::SyntaxId syntax, client::ValueRecord record) {
        return AttrValue{syntax, std::move(record)};
    };
    std::vector<AttrValue> values{
        value(1, client::StringValue{".jdoe.Sales.Corp"}),
        value(2, client::StringValue{"Case Exact"}),
        value(3, client::StringValue{" blanks  kept "}),
        value(4, client::StringValue{"Printable"}),
        value(5, client::StringValue{"0123 456"}),
        value(6, client::CiListValue{{"one"}}),
        value(6, client::CiListValue{{"one", "two", "three"}}),
        value(10, client::StringValue{"+1 555 0100"}),
        value(11, client::FaxNumberValue{"+1 555 0101", 0, {}}),
        value(14, client::EmailAddressValue{0, "jdoe@example.com"}),
        value(15, client::PathValue{0, "SYS", "PUBLIC"}),
        value(15, client::PathValue{4, "VOL1.Corp", "home/jdoe:x"}),
        value(25, client::TypedNameValue{".Sales.Corp", 0, 4294967295u}),
        value(18, client::PostalAddressValue{{"1 Main St", "", "", "", "", ""}}),
        value(18, client::PostalAddressValue{{"Corp", "", "1 Main St", "Springfield", "", "US"}}),
    };
    for (const int32_t number : {0, 1, -1, 2147483647, -2147483647 - 1}) {
        values.push_back(value(8, client::IntegerValue{number}));
        if (number >= 0) values.push_back(value(22, client::IntegerValue{number}));
    }
    for (const uint32_t seconds : {0u, 1u, 59u, 60u, 90u, 3600u, 86400u, 90061u, 4294967295u})
        values.push_back(value(27, client::IntervalValue{seconds}));
    // Winter and summer, before noon and after, in each date form the settings offer.
    for (const uint32_t seconds : {1232011800u, 1247679045u, 1256904000u}) {
        values.push_back(value(19, client::TimeStamp{seconds, 0, 0}));
        values.push_back(value(24, client::TimeValue{seconds}));
    }

    for (const char* date : {"yyyy-MM-dd", "mmm dd, yyyy", "dddd, mmmm dd, yyyy", "dd.MM.yy"}) {
        for (const char* time : {"hh:nn:ss", "h:nn:ss ampm"}) {
            platform::DateTimeFormats formats;
            formats.shortDate = date;
            formats.longTime = time;
            ValueTextFormatter formatter(bed.access, formats);
            ValueTextParser parser(formats);
            for (const AttrValue& shown : values) {
                directory::ValueLines lines;
                ASSERT_EQ(formatter.FormatValue({}, ".x.Corp", "Attr", lines, shown, 0, 0), 0);
                const std::string_view text = platform::WithoutTrailingLineBreaks(lines.Joined());
                SCOPED_TRACE(std::string(date) + " " + time + ": " + std::string(text));
                uint32_t changeType = ReplaceAll;
                AttrValue parsed;
                ASSERT_EQ(parser.ParseValue({}, ".x.Corp", "Attr", text, shown.syntax, changeType,
                                            parsed),
                          0);
                EXPECT_EQ(parsed.syntax, shown.syntax);
                EXPECT_TRUE(parsed.record == shown.record);
            }
        }
    }
}

// --- Writes through DirectoryAccess with the parser installed ----------------

// Keeps the records of the values read, for checks beyond their text.
class CapturingFormatter final : public directory::ValueFormatter {
public:
    std::vector<AttrValue> values;
    Result FormatValue(client::ContextHandle, std::string_view, std::string_view,
                       directory::ValueLines& lines, const AttrValue& value, size_t,
                       uint32_t) override {
        values.push_back(value);
        lines.Add(testing::RecordingValueFormatter::PlainText(value));
        return 0;
    }
};

constexpr std::string_view kWriteAttributes =
    R"({"name": "Phone List", "syntax": "CI_LIST"},
       {"name": "Badge", "syntax": "INTEGER", "flags": ["SingleVal"]},
       {"name": "Home Directory", "syntax": "PATH", "flags": ["SingleVal"]},
       {"name": "Typed Ref", "syntax": "TYPED_NAME"},
       {"name": "Address", "syntax": "NET_ADDRESS"},
       {"name": "Mail", "syntax": "EMAIL_ADDRESS", "flags": ["SingleVal"]},
       {"name": "Fax", "syntax": "FAX_NUMBER"})";

constexpr std::string_view kWriteObjects = R"([
  {"name": "Corp", "class": "Organization"},
  {"name": "jdoe.Corp", "class": "User", "attributes": {
     "CN": "jdoe", "Description": ["one", "two"], "Phone List": [["old"]], "Badge": 5,
     "Member": ["Corp"], "Mail": {"type": 3, "address": "jdoe@corp"},
     "Fax": {"number": "+1 555 0009", "bits": 32, "hex": "00C00000"},
     "Home Directory": {"volume": "VOL1", "path": "old"},
     "Typed Ref": [{"object": "jdoe.Corp", "level": 0, "interval": 0},
                   {"object": "Corp", "level": 2, "interval": 2}]}}])";

struct WriteBed : testing::DirectoryTestBed {
    WriteBed() : DirectoryTestBed(testing::TreeImage(kWriteObjects, kWriteAttributes)) {
        access.SetValueParser(&parser);
        access.SetValueFormatter(&capture);
        context = Context("Corp");
    }
    Result Write(std::string_view attribute, std::string_view text,
                 uint32_t type = directory::ModifyType::ReplaceAll) {
        return access.DSWriteAttr(context, ".jdoe.Corp", attribute, type, text);
    }
    std::vector<AttrValue> Values(std::string_view attribute) {
        capture.values.clear();
        std::vector<std::string> lines;
        EXPECT_EQ(access.DSReadValues(context, ".jdoe.Corp", attribute, false, lines), 0);
        return capture.values;
    }

    platform::DateTimeFormats formats;
    ValueTextParser parser{formats};
    CapturingFormatter capture;
    client::ContextHandle context{};
};

TEST(ValueTextParserWrites, ReplaceAllValuesOfEachSyntax) {
    WriteBed bed;
    EXPECT_EQ(bed.Write("Typed Ref", "x#1#30"), 0);
    auto values = bed.Values("Typed Ref");
    ASSERT_EQ(values.size(), 1u);
    const auto& typed = std::get<client::TypedNameValue>(values[0].record);
    EXPECT_EQ(typed.objectName, "x");
    EXPECT_EQ(typed.level, 1u);
    EXPECT_EQ(typed.interval, 30u);

    EXPECT_EQ(bed.Write("Home Directory", "(0) SYS:PUBLIC"), 0);
    values = bed.Values("Home Directory");
    ASSERT_EQ(values.size(), 1u);
    const auto& path = std::get<client::PathValue>(values[0].record);
    EXPECT_EQ(path.volume, "SYS");
    EXPECT_EQ(path.path, "PUBLIC");

    EXPECT_EQ(bed.Write("Badge", "$1F"), 0);
    values = bed.Values("Badge");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(std::get<client::IntegerValue>(values[0].record).value, 31);

    EXPECT_EQ(bed.Write("Description", "only"), 0);
    std::vector<std::string> lines;
    EXPECT_EQ(bed.access.DSReadValues(bed.context, ".jdoe.Corp", "Description", false, lines), 0);
    EXPECT_EQ(lines, std::vector<std::string>{"only"});
}

TEST(ValueTextParserWrites, AListReplacesTheValueWhateverTheChangeTypeAsked) {
    WriteBed bed;
    // Asked as "add a value"; the list turns it into "replace all values".
    EXPECT_EQ(bed.Write("Phone List", "555-0100\r\n555-0101\r\n555-0100",
                        directory::ModifyType::AddValue),
              0);
    const auto values = bed.Values("Phone List");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(std::get<client::CiListValue>(values[0].record).strings,
              (std::vector<std::string>{"555-0100", "555-0101"}));
    EXPECT_EQ(bed.spy.updates.front(), "PutChange 6 Phone List");
}

TEST(ValueTextParserWrites, RefusedTextsWriteNothing) {
    WriteBed bed;
    const auto modifies = bed.spy.Count("ModifyObject");
    EXPECT_EQ(bed.Write("Badge", "12a"), NotOfSyntax);
    EXPECT_EQ(bed.Write("Typed Ref", "x#1"), NotOfSyntax);
    EXPECT_EQ(bed.Write("Phone List", ""), NotOfSyntax);
    EXPECT_EQ(bed.Write("Address", "1"), NoParser);
    EXPECT_EQ(bed.Write("Description", std::string(3000, 'd')), NotOfSyntax);
    EXPECT_EQ(bed.spy.Count("ModifyObject"), modifies);
    EXPECT_EQ(std::get<client::IntegerValue>(bed.Values("Badge").at(0).record).value, 5);
    EXPECT_EQ(bed.Values("Typed Ref").size(), 2u);
}

TEST(ValueTextParserWrites, ValuesTheDirectoryCannotKeepAreRefused) {
    WriteBed bed;
    const auto text = [&bed](std::string_view attribute) {
        std::vector<std::string> lines;
        EXPECT_EQ(bed.access.DSReadValues(bed.context, ".jdoe.Corp", attribute, false, lines), 0);
        return lines;
    };
    // An empty text would read like no value at all.
    EXPECT_EQ(bed.Write("Description", ""), client::Err::SyntaxViolation);
    EXPECT_EQ(text("Description"), (std::vector<std::string>{"one", "two"}));
    // The value that names the object stays: changing it would not rename it.
    EXPECT_EQ(bed.Write("CN", "jdoe2"), client::Err::IllegalDsName);
    EXPECT_EQ(bed.Write("CN", ""), client::Err::SyntaxViolation);
    EXPECT_EQ(text("CN"), std::vector<std::string>{"jdoe"});
    EXPECT_EQ(bed.Write("CN", "jdoe"), 0);
    // Names inside values follow the rules of names.
    for (const char* name : {"", "Sales.Corp.", "Sales..Corp", "Corp ", " Corp", ".", ".."}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(bed.Write("Member", name), client::Err::IllegalDsName);
        EXPECT_EQ(bed.Write("Typed Ref", std::string(name) + "#1#1"), client::Err::IllegalDsName);
    }
    EXPECT_EQ(text("Member"), std::vector<std::string>{"Corp"});
    EXPECT_EQ(bed.Values("Typed Ref").size(), 2u);
    // A leading dot only says the name is full; it is not kept.
    EXPECT_EQ(bed.Write("Member", ".Gone.Corp"), 0);
    EXPECT_EQ(text("Member"), std::vector<std::string>{"Gone.Corp"});
    EXPECT_EQ(bed.Write("Member", "[Root]"), 0);
}

TEST(ValueTextParserWrites, TheDetailDialogSavesAnUnchangedTextWithoutLosingWhatItHides) {
    WriteBed bed;
    AttrDetailState state;
    state.context = bed.context;
    state.objectName = ".jdoe.Corp";
    state.attributeName = "Mail";
    state.valueText = "jdoe@corp";
    ASSERT_EQ(ReadAttrEditText(bed.access, state), 0);
    ASSERT_TRUE(state.editText);
    AttrEditedValue edited;
    edited.text = *state.editText;
    // The address's type does not show; written back from the text it would be 0.
    EXPECT_EQ(AttrControlWrite(bed.access, state, 14, edited), 0);
    EXPECT_EQ(std::get<client::EmailAddressValue>(bed.Values("Mail").at(0).record).type, 3u);
    edited.text = "john@corp";
    EXPECT_EQ(AttrControlWrite(bed.access, state, 14, edited), 0);
    EXPECT_EQ(std::get<client::EmailAddressValue>(bed.Values("Mail").at(0).record).address,
              "john@corp");
}

// A fax number's parameters do not show: a new number typed over the one
// value there keeps them.
TEST(ValueTextParserWrites, ANewFaxNumberKeepsTheParametersOfTheOneItReplaces) {
    WriteBed bed;
    EXPECT_EQ(bed.Write("Fax", "+1 555 0010"), 0);
    const auto values = bed.Values("Fax");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(std::get<client::FaxNumberValue>(values[0].record),
              (client::FaxNumberValue{"+1 555 0010", 32, {0, 0xC0, 0, 0}}));
}

TEST(ValueTextParserWrites, AnOldTextRemovesThatValue) {
    WriteBed bed;
    EXPECT_EQ(bed.access.DSWriteAttr(bed.context, ".jdoe.Corp", "Description",
                                     directory::ModifyType::AddValue, "three", "one"),
              0);
    std::vector<std::string> lines;
    EXPECT_EQ(bed.access.DSReadValues(bed.context, ".jdoe.Corp", "Description", false, lines), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"two", "three"}));
    // An old text that does not parse stops the write before anything is sent.
    EXPECT_EQ(bed.access.DSWriteAttr(bed.context, ".jdoe.Corp", "Typed Ref",
                                     directory::ModifyType::AddValue, "y#1#1", "Corp#2"),
              NotOfSyntax);
    EXPECT_EQ(bed.Values("Typed Ref").size(), 2u);
}

}  // namespace
}  // namespace vellrun::values
