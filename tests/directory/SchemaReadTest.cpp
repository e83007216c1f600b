// The client requests by which the schema is read.

#include "support/DirectoryTestBed.h"
#include "support/ImageFixture.h"

#include <gtest/gtest.h>

namespace vellrun::directory {
namespace {

using testing::DirectoryTestBed;
using testing::TreesImage;

TEST(SchemaRead, AttributeNamesOverSeveralPages) {
    std::string extra;
    for (int i = 0; i < 3000; ++i) {
        if (i > 0) extra += ",";
        extra += R"({"name": "Extra Attribute Number )" + std::to_string(i) +
                 R"(", "syntax": "CI_STRING"})";
    }
    DirectoryTestBed bed(testing::TreeImage("[]", extra));
    const auto pagesBefore = bed.image->Statistics().schemaPages;
    platform::StringList names;
    EXPECT_EQ(bed.access.DSReadAttrNames(bed.Context(), names), 0);
    EXPECT_GT(bed.image->Statistics().schemaPages - pagesBefore, 1u);
    EXPECT_TRUE(names.Contains("Extra Attribute Number 0"));
    EXPECT_TRUE(names.Contains("Extra Attribute Number 2999"));
    EXPECT_GT(names.Count(), 3000u);
    // Each name once.
    platform::StringList unique(true);
    for (const auto& item : names)
        unique.Add(item.text);
    EXPECT_EQ(unique.Count(), names.Count());
}

TEST(SchemaRead, OneClassWithItsFiveLists) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}}));
    std::vector<ClassDefinitionInfo> classes;
    EXPECT_EQ(bed.access.DSReadClassDefs(
                  bed.Context(), client::ClassInfoKind::Definitions, "user", client::kReadReplySize,
                  [&](const ClassDefinitionInfo& info) { classes.push_back(info); }),
              0);
    ASSERT_EQ(classes.size(), 1u);
    const auto& user = classes[0];
    EXPECT_EQ(user.name, "User");
    EXPECT_EQ(user.record.flags, 0x02u);
    EXPECT_EQ(user.lists[ClassList::SuperClasses], std::vector<std::string>{"Top"});
    EXPECT_EQ(user.lists[ClassList::Containment],
              (std::vector<std::string>{"Organization", "Organizational Unit"}));
    EXPECT_EQ(user.lists[ClassList::Naming], std::vector<std::string>{"CN"});
    EXPECT_EQ(user.lists[ClassList::Mandatory], std::vector<std::string>{"CN"});
    EXPECT_EQ(user.lists[ClassList::Optional].size(), 6u);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(SchemaRead, AllClassesWithTheirFlagsAndAnUnknownClass) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}}));
    const auto context = bed.Context();
    std::vector<std::pair<std::string, uint32_t>> classes;
    EXPECT_EQ(bed.access.DSReadClassDefs(context, client::ClassInfoKind::NamesAndRecord,
                                         std::nullopt, client::kListReplySize,
                                         [&](const ClassDefinitionInfo& info) {
                                             EXPECT_TRUE(info.lists[0].empty());
                                             classes.emplace_back(info.name, info.record.flags);
                                         }),
              0);
    ASSERT_EQ(classes.size(), 6u);
    EXPECT_EQ(classes[0].first, "Top");
    EXPECT_EQ(classes[2], (std::pair<std::string, uint32_t>{"Organization", 0x03}));

    EXPECT_EQ(bed.access.DSReadClassDefs(context, client::ClassInfoKind::Definitions, "Nothing",
                                         client::kReadReplySize, nullptr),
              client::Err::NoSuchClass);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(SchemaRead, OneAttributeDefinition) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}}));
    const auto context = bed.Context();
    client::AttrDefRecord record;
    EXPECT_EQ(bed.access.DSReadAttrDef(context, "title", record), 0);
    EXPECT_EQ(record.syntax, client::Syntax::CiString);
    EXPECT_EQ(record.flags, 0x01u);
    EXPECT_EQ(bed.access.DSReadAttrDef(context, "Nothing", record), client::Err::NoSuchAttribute);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

}  // namespace
}  // namespace vellrun::directory
