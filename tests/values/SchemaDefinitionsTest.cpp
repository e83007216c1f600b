// Schema reads for the windows and reports, against an inline directory image.

#include "support/SchemaBed.h"
#include "values/SchemaDefinitions.h"
#include "values/SyntaxCatalogue.h"

#include <gtest/gtest.h>

namespace vellrun::values {
namespace {

using client::Result;

struct SchemaBed : testing::SchemaBed {
    std::vector<std::pair<std::string, int64_t>> Items(const platform::StringList& list) {
        std::vector<std::pair<std::string, int64_t>> items;
        for (const auto& item : list)
            items.emplace_back(item.text, item.number);
        return items;
    }
};

using Items = std::vector<std::pair<std::string, int64_t>>;

TEST(SchemaDefinitions, AttributeDefinitionAndItsText) {
    SchemaBed bed;
    std::string text = "stale";
    EXPECT_EQ(ReadAttrDefinitionText(bed.access, bed.context, "surname", text), 0);
    EXPECT_EQ(text, "CI_STRING [SingleVal\\Sized (1-64)]");
    EXPECT_EQ(ReadAttrDefinitionText(bed.access, bed.context, "Description", text), 0);
    EXPECT_EQ(text, "CI_STRING");

    client::AttrDefRecord record;
    EXPECT_EQ(ReadAttrDefinition(bed.access, bed.context, "Surname", record), 0);
    EXPECT_EQ(OidText(record.identifier), "2.5.4.4");

    EXPECT_EQ(ReadAttrDefinitionText(bed.access, bed.context, "Nothing", text),
              client::Err::NoSuchAttribute);
    EXPECT_EQ(text, "");
    EXPECT_EQ(ReadAttrDefinition(bed.access, bed.context, "Nothing", record),
              client::Err::NoSuchAttribute);
    EXPECT_EQ(record.flags, 0u);
    EXPECT_EQ(record.identifier.length, 0u);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(SchemaDefinitions, ClassFlagsOfOneClass) {
    SchemaBed bed;
    std::string text;
    EXPECT_EQ(ReadClassFlagsText(bed.access, bed.context, "organization", text), 0);
    EXPECT_EQ(text, "Effective\\Container");
    uint32_t flags = 0;
    EXPECT_EQ(ReadClassFlags(bed.access, bed.context, "Badge Holder", flags), 0);
    EXPECT_EQ(flags, 0x20u);

    text = "stale";
    flags = 7;
    EXPECT_EQ(ReadClassFlagsText(bed.access, bed.context, "Nothing", text),
              client::Err::NoSuchClass);
    EXPECT_EQ(text, "");
    EXPECT_EQ(ReadClassFlags(bed.access, bed.context, "Nothing", flags), client::Err::NoSuchClass);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(SchemaDefinitions, AttributeListsOfAClassNameEachAttributeOnce) {
    SchemaBed bed;
    platform::StringList list;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "person", 5, list, false), 0);
    // CN is naming and mandatory: listed once, as naming.
    EXPECT_EQ(bed.Items(list),
              (Items{{"CN", 2}, {"Surname", 3}, {"Description", 4}, {"Title", 4}}));

    platform::StringList prefixed;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "Person", 5, prefixed, true), 0);
    EXPECT_EQ(prefixed.Texts(),
              (std::vector<std::string>{"[Naming]    CN", "[Mandatory] CN", "[Mandatory] Surname",
                                        "Description", "Title"}));

    platform::StringList supers;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "Person", 0, supers, true), 0);
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "Person", 1, supers, true), 0);
    EXPECT_EQ(supers.Texts(),
              (std::vector<std::string>{"[Super Class] Top", "[Containment Class] Organization",
                                        "[Containment Class] Organizational Unit"}));

    platform::StringList optional;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "Person", 4, optional, false), 0);
    EXPECT_EQ(bed.Items(optional), (Items{{"Description", 4}, {"Title", 4}}));

    platform::StringList oid;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "Person", 6, oid, false), 0);
    EXPECT_EQ(bed.Items(oid), (Items{{"2.5.6.6", 6}}));
    // A class without an identifier adds nothing.
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "Group", 6, oid, false), 0);
    EXPECT_EQ(oid.Count(), 1u);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(SchemaDefinitions, EveryClassWithStarAndMessagesOncePerClass) {
    SchemaBed bed;
    platform::StringList list;
    list.Add("cn", 99);  // already there in another case: not added again
    const int eventsBefore = bed.feedback.events;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "*", 5, list, false), 0);
    // Eight classes: the six of the default schema and the two above.
    EXPECT_EQ(bed.feedback.events - eventsBefore, 8);
    EXPECT_EQ(bed.Items(list), (Items{{"cn", 99},
                                      {"O", 2},
                                      {"OU", 2},
                                      {"Description", 4},
                                      {"Title", 4},
                                      {"Login Disabled", 4},
                                      {"Login Script", 4},
                                      {"Member", 4},
                                      {"Surname", 3},
                                      {"Badge", 3}}));

    platform::StringList mandatory;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "", 3, mandatory, false), 0);
    EXPECT_EQ(bed.Items(mandatory), (Items{{"CN", 3}, {"Surname", 3}, {"Badge", 3}}));
}

TEST(SchemaDefinitions, StarAttributesListsTheWholeSchema) {
    SchemaBed bed;
    platform::StringList names;
    EXPECT_EQ(ListClassAttributes(bed.access, bed.context, "*", 0, names), 0);
    // The ten of the default schema and the two above.
    EXPECT_EQ(names.Count(), 12u);
    EXPECT_TRUE(names.Contains("Badge"));
    EXPECT_TRUE(names.Contains("Login Script"));

    platform::StringList person;
    EXPECT_EQ(ListClassAttributes(bed.access, bed.context, "Person", 5, person), 0);
    EXPECT_EQ(person.Texts(), (std::vector<std::string>{"CN", "Surname", "Description", "Title"}));
}

TEST(SchemaDefinitions, AMissingClassGivesTheClientsCodeAndNoEntries) {
    SchemaBed bed;
    platform::StringList list;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "Nothing", 5, list, false),
              client::Err::NoSuchClass);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(ListClassAttributes(bed.access, bed.context, "Nothing", 5, list),
              client::Err::NoSuchClass);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(SchemaDefinitions, AFailureOnALaterPageLeavesTheListAsItWas) {
    SchemaBed bed;
    int calls = 0;
    bed.spy.onReadClassDefinitions = [&](client::ContextHandle context, client::ClassInfoKind kind,
                                         bool all, client::BufferHandle request,
                                         int32_t& continuation, client::BufferHandle reply) {
        if (++calls > 1) return client::Err::NoSuchClass;
        const Result result =
            bed.spy.Inner().ReadClassDefinitions(context, kind, all, request, continuation, reply);
        continuation = 5;  // pretend more is to come
        return result;
    };
    platform::StringList list;
    list.Add("kept");
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "*", 5, list, false),
              client::Err::NoSuchClass);
    EXPECT_EQ(list.Texts(), std::vector<std::string>{"kept"});
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(SchemaDefinitions, AContinuationThatComesBackUnchangedEndsTheRead) {
    SchemaBed bed;
    bed.spy.onReadClassDefinitions = [&](client::ContextHandle context, client::ClassInfoKind kind,
                                         bool all, client::BufferHandle request,
                                         int32_t& continuation, client::BufferHandle reply) {
        // The same first page again and again, always with the same continuation;
        // a read that keeps asking fails here instead of running for ever.
        if (bed.spy.Count("ReadClassDefinitions") > 10) return client::Err::NoSuchClass;
        int32_t fresh = client::kNoContinuation;
        const Result result =
            bed.spy.Inner().ReadClassDefinitions(context, kind, all, request, fresh, reply);
        continuation = 42;
        return result;
    };
    platform::StringList list;
    EXPECT_EQ(ListClassDefinition(bed.access, bed.context, "Person", 5, list, false), 0);
    EXPECT_EQ(bed.spy.Count("ReadClassDefinitions"), 2);
    EXPECT_EQ(list.Count(), 4u);

    uint32_t flags = 0;
    EXPECT_EQ(ReadClassFlags(bed.access, bed.context, "Organization", flags), 0);
    EXPECT_EQ(flags, 0x03u);
    EXPECT_EQ(bed.spy.Count("ReadClassDefinitions"), 4);
}

TEST(SchemaDefinitions, ClassNamesWithTheirFlags) {
    SchemaBed bed;
    platform::StringList classes;
    EXPECT_EQ(ListClassNamesWithFlags(bed.access, bed.context, classes), 0);
    EXPECT_EQ(bed.Items(classes), (Items{{"Top", 0x02},
                                         {"Alias", 0x02},
                                         {"Organization", 0x03},
                                         {"Organizational Unit", 0x03},
                                         {"User", 0x02},
                                         {"Group", 0x02},
                                         {"Person", 0x02},
                                         {"Badge Holder", 0x20}}));
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

}  // namespace
}  // namespace vellrun::values
