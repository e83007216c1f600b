// Writing one attribute with the program's change types and retries, and
// removing one object.

#include "support/DirectoryTestBed.h"

#include <gtest/gtest.h>

namespace vellrun::directory {
namespace {

using client::AttrValue;
using client::StringValue;
using testing::CorpObjects;
using testing::DirectoryTestBed;
using testing::TreesImage;

std::string UpdateObjects() {
    return R"([{"name": "Corp", "class": "Organization"},
        {"name": "jdoe.Corp", "class": "User",
         "attributes": {"CN": "jdoe", "Description": ["first", "second"]}},
        {"name": "locked.Corp", "class": "User", "readOnly": true,
         "attributes": {"CN": "locked", "Description": "fixed"}}])";
}

struct UpdateBed : DirectoryTestBed {
    UpdateBed() : DirectoryTestBed(TreesImage({{"CORP", UpdateObjects()}})) {
        context = Context("Corp");
    }

    AttrChange Change(std::string_view attribute, uint32_t type, std::optional<std::string> newText,
                      std::optional<std::string> oldText = std::nullopt) {
        AttrChange change;
        change.context = context;
        change.object = ".jdoe.Corp";
        change.attribute = std::string(attribute);
        change.syntax = client::Syntax::CiString;
        change.type = type;
        if (newText) change.newValue = AttrValue{change.syntax, StringValue{*newText}};
        if (oldText) change.oldValue = AttrValue{change.syntax, StringValue{*oldText}};
        return change;
    }

    std::vector<std::string> Values(std::string_view attribute,
                                    std::string_view object = ".jdoe.Corp") {
        std::vector<std::string> lines;
        access.DSReadValues(context, object, attribute, false, lines);
        return lines;
    }

    client::ContextHandle context{};
};

// A parser for plain texts: one string value; a text with a line break
// becomes "replace all values", as lists do.
class TextParser final : public ValueParser {
public:
    std::vector<std::string> texts;
    client::Result refusal = 0;

    client::Result ParseValue(client::ContextHandle, std::string_view, std::string_view,
                              std::string_view text, client::SyntaxId syntax, uint32_t& changeType,
                              AttrValue& value) override {
        texts.emplace_back(text);
        if (refusal != 0) return refusal;
        if (text.find('\n') != std::string_view::npos) changeType = ModifyType::ReplaceAll;
        value = AttrValue{syntax, StringValue{std::string(text.substr(0, text.find('\n')))}};
        return 0;
    }
};

// --- DSModifyAttr -----------------------------------------------------------

TEST(ModifyAttr, OverwriteOnAnAbsentAttributeAddsItThenTheValue) {
    UpdateBed bed;
    EXPECT_EQ(bed.access.DSModifyAttr(bed.Change("Title", ModifyType::OverwriteValue, "Boss")), 0);
    EXPECT_EQ(bed.Values("Title"), std::vector<std::string>{"Boss"});
    EXPECT_EQ(bed.spy.updates, (std::vector<std::string>{
                                   "PutChangeAndValue 5 Title", "ModifyObject .jdoe.Corp -> -603",
                                   "PutChange 0 Title", "ModifyObject .jdoe.Corp -> 0",
                                   "PutChangeAndValue 2 Title", "ModifyObject .jdoe.Corp -> 0"}));
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(ModifyAttr, RefusalsThatCountAsDone) {
    UpdateBed bed;
    // A value that is there already.
    EXPECT_EQ(bed.access.DSModifyAttr(bed.Change("Description", ModifyType::AddValue, "first")), 0);
    // Removing a value that is not there.
    EXPECT_EQ(bed.access.DSModifyAttr(
                  bed.Change("Description", ModifyType::RemoveValue, std::nullopt, "absent")),
              0);
    // Removing an attribute that is not there.
    EXPECT_EQ(bed.access.DSModifyAttr(bed.Change("Title", ModifyType::RemoveAttribute, {})), 0);
    EXPECT_EQ(bed.Values("Description"), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(bed.spy.Count("ModifyObject"), 3);  // no retries
}

TEST(ModifyAttr, ReplaceAllOnAnAbsentAttributeAddsItThenTheValue) {
    UpdateBed bed;
    EXPECT_EQ(bed.access.DSModifyAttr(bed.Change("Title", ModifyType::ReplaceAll, "Boss")), 0);
    EXPECT_EQ(bed.Values("Title"), std::vector<std::string>{"Boss"});
    EXPECT_EQ(bed.spy.updates,
              (std::vector<std::string>{"PutChange 6 Title", "PutChangeAndValue 2 Title",
                                        "ModifyObject .jdoe.Corp -> -603", "PutChange 0 Title",
                                        "ModifyObject .jdoe.Corp -> 0", "PutChangeAndValue 2 Title",
                                        "ModifyObject .jdoe.Corp -> 0"}));
    // A value the object holds is replaced in one request.
    bed.spy.updates.clear();
    EXPECT_EQ(bed.access.DSModifyAttr(bed.Change("Title", ModifyType::ReplaceAll, "Chief")), 0);
    EXPECT_EQ(bed.Values("Title"), std::vector<std::string>{"Chief"});
    EXPECT_EQ(bed.spy.updates,
              (std::vector<std::string>{"PutChange 6 Title", "PutChangeAndValue 2 Title",
                                        "ModifyObject .jdoe.Corp -> 0"}));
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(ModifyAttr, AFailedRetryGivesTheRetrysResult) {
    UpdateBed bed;
    bed.spy.onModifyObject = [&](client::ContextHandle context, std::string_view object,
                                 int32_t& continuation, bool more, client::BufferHandle request) {
        if (bed.spy.Count("ModifyObject") == 3) return client::Err::SyntaxViolation;
        return bed.spy.Inner().ModifyObject(context, object, continuation, more, request);
    };
    EXPECT_EQ(bed.access.DSModifyAttr(bed.Change("Title", ModifyType::AddValue, "Boss")),
              client::Err::SyntaxViolation);
}

TEST(ModifyAttr, EveryRequestRemovesTheOldValueFirst) {
    UpdateBed bed;
    // Every request removes the old value first, so the retry that adds the
    // absent attribute fails as well, and its result comes back.
    EXPECT_EQ(
        bed.access.DSModifyAttr(bed.Change("Surname", ModifyType::OverwriteValue, "Doe", "Smith")),
        client::Err::NoSuchAttribute);
    EXPECT_EQ(bed.spy.updates, (std::vector<std::string>{
                                   "PutChangeAndValue 3 Surname", "PutChangeAndValue 5 Surname",
                                   "ModifyObject .jdoe.Corp -> -603", "PutChangeAndValue 3 Surname",
                                   "PutChange 0 Surname", "ModifyObject .jdoe.Corp -> -603"}));
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

// --- DSWriteAttr and DSWriteAttrNumber --------------------------------------

// An alias's target is the alias's own value: it is changed on the alias,
// not on the object the alias names (which does not hold it).
TEST(ModifyAttr, AnAliasTargetIsChangedOnTheAliasItself) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const client::ContextHandle context = bed.Context("Corp");
    AttrChange change;
    change.context = context;
    change.object = ".jalias.Sales.Corp";
    change.attribute = "Aliased Object Name";
    change.syntax = client::Syntax::DistName;
    change.type = ModifyType::ReplaceAll;
    change.newValue = AttrValue{change.syntax, StringValue{".admin.IT.Corp"}};
    EXPECT_EQ(bed.access.DSModifyAttr(change), 0);
    std::vector<std::string> target;
    EXPECT_EQ(
        bed.access.DSReadValues(context, ".jalias.Sales.Corp", change.attribute, false, target), 0);
    ASSERT_EQ(target.size(), 1u);
    EXPECT_NE(target[0].find("admin"), std::string::npos) << target[0];
    // The context itself still follows aliases.
    std::vector<std::string> name;
    EXPECT_EQ(bed.access.DSReadValues(context, ".jalias.Sales.Corp", "CN", false, name), 0);
    EXPECT_EQ(name, std::vector<std::string>{"admin"});
}

TEST(WriteAttr, ParsesOldAndNewTextsAndMayChangeTheType) {
    UpdateBed bed;
    TextParser parser;
    bed.access.SetValueParser(&parser);
    EXPECT_EQ(bed.access.DSWriteAttr(bed.context, ".jdoe.Corp", "Description", ModifyType::AddValue,
                                     "third", "first"),
              0);
    EXPECT_EQ(parser.texts, (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(bed.Values("Description"), (std::vector<std::string>{"second", "third"}));

    EXPECT_EQ(bed.access.DSWriteAttr(bed.context, ".jdoe.Corp", "Description", ModifyType::AddValue,
                                     "one\ntwo"),
              0);
    EXPECT_EQ(bed.Values("Description"), std::vector<std::string>{"one"});
}

TEST(WriteAttr, NothingIsWrittenWhenTheSyntaxOrTheTextFails) {
    UpdateBed bed;
    TextParser parser;
    bed.access.SetValueParser(&parser);
    EXPECT_EQ(bed.access.DSWriteAttr(bed.context, ".jdoe.Corp", "No Such Attribute",
                                     ModifyType::ReplaceAll, "x"),
              client::Err::NoSuchAttribute);
    EXPECT_TRUE(parser.texts.empty());
    parser.refusal = ParseResult::NotOfSyntax;
    EXPECT_EQ(bed.access.DSWriteAttr(bed.context, ".jdoe.Corp", "Description",
                                     ModifyType::ReplaceAll, "x", "first"),
              ParseResult::NotOfSyntax);
    EXPECT_EQ(bed.spy.Count("ModifyObject"), 0);
}

TEST(WriteAttrNumber, WritesNumbersInTheLayoutOfTheSyntax) {
    UpdateBed bed;
    EXPECT_EQ(bed.access.DSWriteAttrNumber(bed.context, ".jdoe.Corp", "Login Disabled", 1), 0);
    EXPECT_EQ(bed.Values("Login Disabled"), std::vector<std::string>{"TRUE"});
    EXPECT_EQ(bed.access.DSWriteAttrNumber(bed.context, ".jdoe.Corp", "Login Disabled", 0), 0);
    EXPECT_EQ(bed.Values("Login Disabled"), std::vector<std::string>{"FALSE"});
    EXPECT_EQ(
        bed.access.DSWriteAttrNumber(bed.context, ".jdoe.Corp", "Login Grace Limit", 0xFFFFFFFF),
        0);
    EXPECT_EQ(bed.Values("Login Grace Limit"), std::vector<std::string>{"-1"});
    // A text attribute takes no number.
    EXPECT_EQ(bed.access.DSWriteAttrNumber(bed.context, ".jdoe.Corp", "Title", 1),
              ParseResult::NotOfSyntax);
    EXPECT_TRUE(bed.Values("Title").empty());
}

// --- DSRemoveObject ---------------------------------------------------------

TEST(RemoveObject, RootInAnyCaseIsSentComposedAndNothingGoes) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context("Sales.Corp");
    const client::Result refused = bed.access.DSRemoveObject(context, "[rOOT]");
    EXPECT_NE(refused, 0);
    ASSERT_EQ(bed.spy.updates.size(), 1u);
    EXPECT_EQ(bed.spy.updates[0], "RemoveObject .[rOOT].Sales.Corp -> " + std::to_string(refused));
    EXPECT_NE(bed.access.DSRemoveObject(bed.Context("[Root]"), "[Root]"), 0);
    EXPECT_EQ(bed.spy.updates[1].rfind("RemoveObject .[Root].[Root] -> ", 0), 0u);
    EXPECT_EQ(bed.List(context, "[Root]"), std::vector<std::string>{"Organization: Corp"});
}

TEST(RemoveObject, AReadOnlyObjectRefusesEveryChange) {
    UpdateBed bed;
    EXPECT_EQ(bed.access.DSRemoveObject(bed.context, ".locked.Corp"), client::Err::NoAccess);
    TextParser parser;
    bed.access.SetValueParser(&parser);
    EXPECT_EQ(bed.access.DSWriteAttr(bed.context, ".locked.Corp", "Description",
                                     ModifyType::ReplaceAll, "new"),
              client::Err::NoAccess);
    EXPECT_EQ(bed.access.DSWriteAttrNumber(bed.context, ".locked.Corp", "Login Disabled", 1),
              client::Err::NoAccess);
    EXPECT_EQ(bed.Values("Description", ".locked.Corp"), std::vector<std::string>{"fixed"});
    EXPECT_EQ(bed.access.DSRemoveObject(bed.context, ".jdoe.Corp"), 0);
    EXPECT_EQ(bed.List(bed.context, "Corp"), std::vector<std::string>{"User: locked"});
}

}  // namespace
}  // namespace vellrun::directory
