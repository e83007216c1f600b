// The filter of a report by object type: the condition rules, how rows
// combine, the test over real cell reads, and the per-class panel storage.

#include "platform/DateTime.h"
#include "report/ResultFilter.h"
#include "settings/AppSettings.h"
#include "settings/IniKeyValueSource.h"
#include "settings/SectionCache.h"
#include "support/DirectoryTestBed.h"
#include "support/ImageFixture.h"
#include "support/TempDir.h"
#include "values/CellTextReader.h"
#include "values/ValueFormatting.h"

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::report {
namespace {

FilterRows Rows(std::vector<FilterRow> given) {
    FilterRows rows{};
    for (size_t i = 0; i < given.size() && i < rows.size(); ++i)
        rows[i] = given[i];
    return rows;
}

TEST(ResultFilter, SpecialValuesInAnyCaseAndTheirSubstringFallBack) {
    for (std::string_view anything : {"[anything]", "[ANYTHING]", "[AnyThing]"}) {
        EXPECT_TRUE(FilterConditionHolds(anything, "x")) << anything;
        EXPECT_FALSE(FilterConditionHolds(anything, "")) << anything;
    }
    for (std::string_view nothing : {"[nothing]", "[NOTHING]", "[NoThing]"}) {
        EXPECT_TRUE(FilterConditionHolds(nothing, "")) << nothing;
        EXPECT_FALSE(FilterConditionHolds(nothing, "x")) << nothing;
    }
    // A special value that does not hold by its own rule is still looked for as text.
    EXPECT_TRUE(FilterConditionHolds("[nothing]", "said [Nothing] at all"));
    // Plain values: a substring, ASCII letters without case.
    EXPECT_TRUE(FilterConditionHolds("sales", "Dept SALES East"));
    EXPECT_FALSE(FilterConditionHolds("sales", "Sale"));
    EXPECT_FALSE(FilterConditionHolds("x", ""));
    // Only ASCII letters fold; UTF-8 bytes are compared as they are.
    EXPECT_TRUE(FilterConditionHolds("caf\xc3\xa9", "CAF\xc3\xa9"));
    EXPECT_FALSE(FilterConditionHolds("\xc3\xa9", "\xc3\x89"));
}

TEST(ResultFilter, RowsCombineWithAndAndStopAtTheFirstRejection) {
    std::map<std::string, std::string> texts{{"Title", "Clerk"}, {"Description", ""}};
    std::vector<std::string> read;
    auto reader = [&](std::string_view attribute) {
        read.emplace_back(attribute);
        return texts[std::string(attribute)];
    };

    // No row in use (also an attribute without value, or a value without attribute).
    EXPECT_TRUE(PassesFilters(Rows({{"Description", "", true}, {"", "[nothing]", false}}), reader));
    EXPECT_TRUE(read.empty());

    EXPECT_TRUE(PassesFilters(Rows({{"Title", "cler", true}, {"Description", "[anything]", false}}),
                              reader));
    EXPECT_EQ(read, (std::vector<std::string>{"Title", "Description"}));

    read.clear();
    EXPECT_FALSE(PassesFilters(Rows({{"Title", "Clerk", true},
                                     {"Title", "clerk", false},
                                     {"Description", "[nothing]", true}}),
                               reader));
    EXPECT_EQ(read, (std::vector<std::string>{"Title", "Title"}));  // row 3 is not read

    // "[nothing]" with "must not contain" keeps exactly the objects with a value.
    EXPECT_TRUE(PassesFilters(Rows({{"Title", "[nothing]", false}}), reader));
    EXPECT_FALSE(PassesFilters(Rows({{"Description", "[nothing]", false}}), reader));
}

// Cells read through the embedded directory, as a report reads them.
class FilterOnCellsTest : public ::testing::Test {
protected:
    FilterOnCellsTest()
        : bed_(testing::TreeImage(R"([
  {"name": "Corp", "class": "Organization"},
  {"name": "jdoe.Corp", "class": "User",
   "attributes": {"Title": "Senior CLERK", "Description": ["north", "Room 12"]}},
  {"name": "bare.Corp", "class": "User"}
])")),
          formatter_(bed_.access, formats_),
          reader_(bed_.access, settings_, formats_) {
        bed_.access.SetValueFormatter(&formatter_);
        context_ = bed_.Context("[Root]");
    }

    bool Passes(std::string_view object, const FilterRows& rows, bool filtered = true) {
        return PassesFilters(reader_, context_, object, filtered, rows);
    }

    platform::DateTimeFormats formats_{};
    settings::AppSettings settings_ = settings::AppSettings::DialogDefaults(formats_);
    testing::DirectoryTestBed bed_;
    values::ValueTextFormatter formatter_;
    values::CellTextReader reader_;
    client::ContextHandle context_{};
};

TEST_F(FilterOnCellsTest, LowerCaseTextFindsUpperCaseInsideALongerValue) {
    const FilterRows rows = Rows({{"Title", "clerk", true}});
    EXPECT_TRUE(Passes(".jdoe.Corp", rows));
    EXPECT_FALSE(Passes(".bare.Corp", rows));  // no such attribute: empty text
}

TEST_F(FilterOnCellsTest, NothingOnAMissingAttributeAndAllValuesOfACell) {
    EXPECT_TRUE(Passes(".bare.Corp", Rows({{"Title", "[nothing]", true}})));
    EXPECT_FALSE(Passes(".bare.Corp", Rows({{"Title", "[nothing]", false}})));
    EXPECT_FALSE(Passes(".jdoe.Corp", Rows({{"Title", "[NOTHING]", true}})));
    // Every value of a multi-valued attribute takes part: the cell text.
    EXPECT_TRUE(Passes(".jdoe.Corp", Rows({{"Description", "room 1", true}})));
    EXPECT_TRUE(Passes(".jdoe.Corp", Rows({{"Description", "north\r\nroom", true}})));
    // A pseudo-attribute is read like a cell too.
    EXPECT_TRUE(Passes(".jdoe.Corp", Rows({{"DSI: DN", "jdoe.corp", true}})));
}

TEST_F(FilterOnCellsTest, FilteringOffOrNoRowInUseReadsNothing) {
    const int before = bed_.spy.Count("Read");
    EXPECT_TRUE(Passes(".bare.Corp", Rows({{"Title", "x", true}}), false));
    EXPECT_TRUE(Passes(".bare.Corp", Rows({{"Title", "", true}, {"", "x", false}})));
    EXPECT_EQ(bed_.spy.Count("Read"), before);
}

// An in-memory section store; a read of the key named in failOn throws, a
// write of it fails.
class MemorySource final : public KeyValueSource {
public:
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::vector<std::string> writes;
    std::string failOn;

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) override {
        Check(key);
        auto found = values.find({std::string(section), std::string(key)});
        return found == values.end() || found->second.empty() ? std::string(defaultValue)
                                                              : found->second;
    }
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) override {
        const std::string text = ReadString(section, key, "");
        return text.empty() ? defaultValue : text == "1";
    }
    platform::FileStatus WriteString(std::string_view section, std::string_view key,
                                     std::string_view value) override {
        if (key == failOn) return platform::FileStatus::Failed("disk gone");
        values[{std::string(section), std::string(key)}] = std::string(value);
        writes.push_back(std::string(section) + "/" + std::string(key) + "=" + std::string(value));
        return platform::FileStatus::Ok();
    }
    platform::FileStatus WriteBool(std::string_view section, std::string_view key,
                                   bool value) override {
        return WriteString(section, key, value ? "1" : "0");
    }

private:
    void Check(std::string_view key) {
        if (key == failOn) throw std::runtime_error("disk gone");
    }
};

TEST(FilterPanelStorage, MissingSectionGivesTheDefaults) {
    MemorySource source;
    FilterPanelState state;
    state.Filtered = true;
    state.Rows[1] = {"Title", "x", false};
    ReadFilterPanel(source, "User", state);
    EXPECT_EQ(state, FilterPanelState{});
    for (const FilterRow& row : state.Rows)
        EXPECT_TRUE(row.MustContain);
}

TEST(FilterPanelStorage, WritesGoToTheClassSectionAndReadBack) {
    MemorySource source;
    EXPECT_EQ(FilterSectionName("Organizational Unit"), "Filter: Organizational Unit");

    EXPECT_TRUE(WriteFilterEnabled(source, "User", true));
    EXPECT_TRUE(WriteFilterAttribute(source, "User", 0, "Title"));
    EXPECT_TRUE(WriteFilterValue(source, "User", 2, "[nothing]"));
    FilterRows modes{};
    modes[1].MustContain = false;
    EXPECT_TRUE(WriteFilterModes(source, "User", modes));
    EXPECT_FALSE(WriteFilterValue(source, "User", 3, "beyond the rows"));
    EXPECT_EQ(source.writes, (std::vector<std::string>{
                                 "Filter: User/CheckBoxFilter=1",
                                 "Filter: User/ComboBoxFilter1=Title",
                                 "Filter: User/EditFilter3=[nothing]",
                                 "Filter: User/RadioFilter1a=1",
                                 "Filter: User/RadioFilter2a=0",
                                 "Filter: User/RadioFilter3a=1",
                             }));

    FilterPanelState state;
    ReadFilterPanel(source, "User", state);
    FilterPanelState expected;
    expected.Filtered = true;
    expected.Rows[0] = {"Title", "", true};
    expected.Rows[1] = {"", "", false};
    expected.Rows[2] = {"", "[nothing]", true};
    EXPECT_EQ(state, expected);

    // Another class has its own section; a whole panel written reads back whole.
    FilterPanelState other;
    ReadFilterPanel(source, "Group", other);
    EXPECT_EQ(other, FilterPanelState{});
    EXPECT_TRUE(WriteFilterPanel(source, "Group", expected));
    ReadFilterPanel(source, "Group", other);
    EXPECT_EQ(other, expected);
}

TEST(FilterPanelStorage, AClassWithBracketsGetsItsFilterBackFromTheSettingsFile) {
    testing::TempDir dir;
    platform::IniFile file(dir.Path() / "vellrun.ini");
    settings::SectionCache cache;
    settings::IniKeyValueSource source(file, cache);
    EXPECT_TRUE(WriteFilterEnabled(source, "a[b]", true));
    EXPECT_TRUE(WriteFilterAttribute(source, "a[b]", 0, "Title"));

    settings::SectionCache fresh;
    settings::IniKeyValueSource again(file, fresh);
    FilterPanelState state;
    ReadFilterPanel(again, "a[b]", state);
    EXPECT_TRUE(state.Filtered);
    EXPECT_EQ(state.Rows[0].Attribute, "Title");
    EXPECT_TRUE(file.SectionExists("Filter: ab"));
}

TEST(FilterPanelStorage, FailuresAreIgnoredAndKeepWhatWasRead) {
    MemorySource source;
    WriteFilterEnabled(source, "User", true);
    WriteFilterAttribute(source, "User", 0, "Title");
    WriteFilterValue(source, "User", 0, "clerk");
    source.failOn = "EditFilter1";

    FilterPanelState state;
    ReadFilterPanel(source, "User", state);
    EXPECT_TRUE(state.Filtered);
    EXPECT_EQ(state.Rows[0].Attribute, "Title");
    EXPECT_EQ(state.Rows[0].Value, "");  // the failing read and everything after it

    EXPECT_FALSE(WriteFilterValue(source, "User", 0, "other"));
    EXPECT_TRUE(WriteFilterValue(source, "User", 1, "other"));
}

}  // namespace
}  // namespace vellrun::report
