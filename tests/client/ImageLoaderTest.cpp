// The directory image loader: what a sound image turns into, and that every
// kind of bad image is refused whole, with a message naming the file, the
// place and the fault.

#include "client/ObjectIdentifiers.h"
#include "client/image/ImageLoader.h"
#include "platform/TextEncoding.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellrun::client::image {
namespace {

// A schema with an attribute "A<n>" of each syntax n that has a layout, and a
// small class hierarchy: User -> Organizational Person -> Person -> Top.
constexpr std::string_view kAttributes = R"(
    {"name": "CN", "syntax": "CI_STRING"},
    {"name": "OU", "syntax": 3},
    {"name": "O", "syntax": "CI_STRING"},
    {"name": "Organizational Unit Name", "syntax": "CI_STRING"},
    {"name": "Object Class", "syntax": "CLASS_NAME"},
    {"name": "Aliased Object Name", "syntax": "DIST_NAME", "flags": ["SingleVal"]},
    {"name": "Surname", "syntax": "CI_STRING", "flags": ["SingleVal", "Sized", 4096],
     "lower": 1, "upper": 64, "oid": "2.5.4.4"},
    {"name": "A0", "syntax": "UNKNOWN"}, {"name": "A1", "syntax": "DIST_NAME"},
    {"name": "A2", "syntax": "CE_STRING"}, {"name": "A5", "syntax": "NU_STRING"},
    {"name": "A6", "syntax": "CI_LIST"}, {"name": "A7", "syntax": "BOOLEAN"},
    {"name": "A8", "syntax": "INTEGER"}, {"name": "A9", "syntax": "OCTET_STRING"},
    {"name": "A10", "syntax": "TEL_NUMBER"}, {"name": "A11", "syntax": "FAX_NUMBER"},
    {"name": "A12", "syntax": "NET_ADDRESS"}, {"name": "A13", "syntax": "OCTET_LIST"},
    {"name": "A14", "syntax": "EMAIL_ADDRESS"}, {"name": "A15", "syntax": "PATH"},
    {"name": "A16", "syntax": "REPLICA_POINTER"}, {"name": "A17", "syntax": "OBJECT_ACL"},
    {"name": "A18", "syntax": "PO_ADDRESS"}, {"name": "A19", "syntax": "TIMESTAMP"},
    {"name": "A20", "syntax": "CLASS_NAME"}, {"name": "A21", "syntax": "STREAM"},
    {"name": "A22", "syntax": "COUNTER"}, {"name": "A23", "syntax": "BACK_LINK"},
    {"name": "A24", "syntax": "TIME"}, {"name": "A25", "syntax": "TYPED_NAME"},
    {"name": "A26", "syntax": "HOLD"}, {"name": "A27", "syntax": "INTERVAL"},
    {"name": "A31", "syntax": "OID"}, {"name": "Huge", "syntax": 4294967295})";

constexpr std::string_view kClasses = R"(
    {"name": "Top", "flags": ["Effective"], "oid": "2.5.6.0"},
    {"name": "Alias", "super": ["Top"]},
    {"name": "Organization", "flags": ["Container", "Effective"], "super": ["Top"], "naming": ["O"]},
    {"name": "Organizational Unit", "flags": 3, "super": ["Top"], "naming": ["OU"],
     "containment": ["Organization", "Organizational Unit"]},
    {"name": "Unit", "super": ["Top"], "naming": ["Organizational Unit Name"]},
    {"name": "Person", "super": ["Top"], "naming": ["CN"], "mandatory": ["CN", "Surname"]},
    {"name": "Organizational Person", "super": ["Person"]},
    {"name": "User", "flags": ["Effective"], "super": ["Organizational Person"],
     "optional": ["A1", "A2"]},
    {"name": "Device", "super": ["Top"]})";

// An image of one tree "CORP" with the schema above, extended by the given
// definitions; treeExtra holds further keys of the tree, each followed by a comma.
std::string Image(std::string_view objects, std::string_view extraAttributes = "",
                  std::string_view extraClasses = "", std::string_view treeExtra = "") {
    std::string json = R"({"format": "vellrun-directory-image", "version": 1, "trees": [{)";
    json += treeExtra;
    json += R"("name": "CORP", "schema": {"attributes": [)";
    json += kAttributes;
    if (!extraAttributes.empty()) json.append(",").append(extraAttributes);
    json += R"(], "classes": [)";
    json += kClasses;
    if (!extraClasses.empty()) json.append(",").append(extraClasses);
    json += R"(]}, "objects": )";
    json += objects;
    json += "}]}";
    return json;
}

std::string ImageOf(std::string_view objects) {
    return Image(objects);
}

// Corp and Sales.Corp, then the given objects.
std::string WithCorp(std::string_view more) {
    std::string objects = R"([{"name": "Corp", "class": "Organization"},
                              {"name": "Sales.Corp", "class": "Organizational Unit"})";
    if (!more.empty()) objects.append(",").append(more);
    objects += "]";
    return ImageOf(objects);
}

std::unique_ptr<DirectoryImage> Load(const std::string& json) {
    LoadResult result = LoadImageText(json, "test.json", ".");
    EXPECT_TRUE(result.image) << result.status.error;
    EXPECT_TRUE(result.status.error.empty());
    return std::move(result.image);
}

void ExpectRefused(const std::string& json, const std::vector<std::string_view>& parts) {
    LoadResult result = LoadImageText(json, "test.json", ".");
    EXPECT_EQ(result.image, nullptr);
    EXPECT_TRUE(result.status.error.starts_with("test.json: ")) << result.status.error;
    for (std::string_view part : parts) {
        EXPECT_NE(result.status.error.find(part), std::string::npos)
            << "expected \"" << part << "\" in: " << result.status.error;
    }
}

const StoredAttribute& AttributeOf(const Entry& entry, std::string_view name) {
    const StoredAttribute* attribute = entry.FindAttribute(name);
    if (attribute == nullptr) {
        ADD_FAILURE() << "no attribute " << name << " on " << entry.name;
        static const StoredAttribute kNone;
        return kNone;
    }
    return *attribute;
}

template <typename Record>
Record ValueOf(const Entry& entry, std::string_view attribute, size_t index = 0) {
    const StoredAttribute& stored = AttributeOf(entry, attribute);
    if (index >= stored.values.size()) {
        ADD_FAILURE() << attribute << " has no value " << index;
        return Record{};
    }
    const StoredValue value = stored.values[index];
    EXPECT_EQ(value.value.syntax, stored.syntax);
    const Record* record = std::get_if<Record>(&value.value.record);
    if (record == nullptr) {
        ADD_FAILURE() << attribute << " value " << index << " has another layout";
        return Record{};
    }
    return *record;
}

std::string StreamText(const StoredAttribute& stream) {
    const std::span<const uint8_t> content = stream.values.Stream();
    return {content.begin(), content.end()};
}

Bytes B(std::initializer_list<uint8_t> bytes) {
    return Bytes(bytes);
}

TEST(ImageLoaderTest, ValuesOfEverySyntaxBecomeTheirRecords) {
    auto image = Load(WithCorp(R"(
      {"name": "jdoe.Sales.Corp", "class": "User", "modified": 1000, "attributes": {
        "A0": {"hex": "0A 0b\t1 2ff"},
        "A1": "admin.Corp",
        "A2": "Case Exact",
        "A5": "555 12",
        "A6": [["one", "two"], []],
        "A7": [true, false],
        "A8": [-2147483648, 2147483647],
        "A9": {"text": "hi"},
        "A10": "555-0100",
        "A11": ["555-0199", {"number": "555-0198", "bits": 3, "hex": "FF01"}],
        "A12": [{"type": 1, "ip": "10.1.2.3", "port": 524},
                {"type": 9, "ip": "10.1.2.3", "port": 524},
                {"type": 0, "network": "00000001", "node": "001122334455"},
                {"type": 13, "text": "é"},
                {"type": 2, "hex": "0102"}],
        "A13": [[{"hex": "01"}, {"text": "ab"}]],
        "A14": ["a@corp.example", {"type": 2, "address": "b@corp.example"}],
        "A15": {"nameSpace": 4, "volume": "SYS.Corp", "path": "PUBLIC"},
        "A16": {"server": "FS1.Corp", "type": 1, "number": 7,
                "addresses": [{"type": 8, "ip": "1.2.3.4", "port": 1}]},
        "A17": {"attribute": "[Entry Rights]", "subject": "[Public]", "privileges": 31},
        "A18": [["Main Street 1", "Springfield"]],
        "A19": [1256904000, {"time": "2009-10-30T12:00:00Z", "replica": 2, "event": 65535}],
        "A20": "user",
        "A21": {"text": "MAP F:=SYS:"},
        "A22": 5,
        "A23": {"remoteId": 1234, "object": "FS1.Corp"},
        "A24": ["2004-05-11T08:30:00Z", 0, "2106-02-07T06:28:15Z", "2000-02-29T00:00:00Z"],
        "A25": {"object": "jdoe.Sales.Corp", "level": 1, "interval": 30},
        "A26": {"object": "jdoe.Sales.Corp", "amount": 100},
        "A27": 4294967295,
        "A31": {"hex": "2B06"},
        "Huge": {"bytes": [{"u8": 1}]}
      }})"));
    ASSERT_TRUE(image);
    const Tree& tree = *image->trees[0];
    const Entry* user = tree.Find("jdoe.Sales.Corp");
    ASSERT_NE(user, nullptr);

    const auto& unknown = ValueOf<UnknownValue>(*user, "A0");
    EXPECT_EQ(unknown.attributeName, "A0");
    EXPECT_EQ(unknown.data, B({0x0A, 0x0B, 0x12, 0xFF}));
    EXPECT_EQ(ValueOf<StringValue>(*user, "A1").text, "admin.Corp");
    EXPECT_EQ(ValueOf<StringValue>(*user, "A2").text, "Case Exact");
    EXPECT_EQ(ValueOf<StringValue>(*user, "A5").text, "555 12");
    EXPECT_EQ(ValueOf<CiListValue>(*user, "A6").strings, (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(ValueOf<CiListValue>(*user, "A6", 1).strings.empty());
    EXPECT_EQ(ValueOf<BooleanValue>(*user, "A7").value, 1);
    EXPECT_EQ(ValueOf<BooleanValue>(*user, "A7", 1).value, 0);
    EXPECT_EQ(ValueOf<IntegerValue>(*user, "A8").value, INT32_MIN);
    EXPECT_EQ(ValueOf<IntegerValue>(*user, "A8", 1).value, INT32_MAX);
    EXPECT_EQ(ValueOf<OctetStringValue>(*user, "A9").data, B({'h', 'i'}));
    EXPECT_EQ(ValueOf<StringValue>(*user, "A10").text, "555-0100");
    EXPECT_EQ(ValueOf<FaxNumberValue>(*user, "A11").number, "555-0199");
    const auto& fax = ValueOf<FaxNumberValue>(*user, "A11", 1);
    EXPECT_EQ(fax.number, "555-0198");
    EXPECT_EQ(fax.parameterBits, 3u);
    EXPECT_EQ(fax.parameters, B({0xFF, 0x01}));

    EXPECT_EQ(ValueOf<NetAddressValue>(*user, "A12", 0).address, B({10, 1, 2, 3, 0x02, 0x0C}));
    EXPECT_EQ(ValueOf<NetAddressValue>(*user, "A12", 1).address, B({0x02, 0x0C, 10, 1, 2, 3}));
    EXPECT_EQ(ValueOf<NetAddressValue>(*user, "A12", 1).type, 9u);
    EXPECT_EQ(ValueOf<NetAddressValue>(*user, "A12", 2).address,
              B({0, 0, 0, 1, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ(ValueOf<NetAddressValue>(*user, "A12", 3).address, B({0xE9, 0x00, 0, 0}));
    EXPECT_EQ(ValueOf<NetAddressValue>(*user, "A12", 4).address, B({1, 2}));

    EXPECT_EQ(ValueOf<OctetListValue>(*user, "A13").strings, (std::vector<Bytes>{{1}, {'a', 'b'}}));
    EXPECT_EQ(ValueOf<EmailAddressValue>(*user, "A14").address, "a@corp.example");
    EXPECT_EQ(ValueOf<EmailAddressValue>(*user, "A14", 1).type, 2u);
    const auto& path = ValueOf<PathValue>(*user, "A15");
    EXPECT_EQ(path.nameSpace, 4u);
    EXPECT_EQ(path.volume, "SYS.Corp");
    EXPECT_EQ(path.path, "PUBLIC");
    const auto& replica = ValueOf<ReplicaPointerValue>(*user, "A16");
    EXPECT_EQ(replica.server, "FS1.Corp");
    EXPECT_EQ(replica.type, 1u);
    EXPECT_EQ(replica.number, 7u);
    ASSERT_EQ(replica.addresses.size(), 1u);
    EXPECT_EQ(replica.addresses[0].address, B({0, 1, 1, 2, 3, 4}));
    const auto& acl = ValueOf<ObjectAclValue>(*user, "A17");
    EXPECT_EQ(acl.protectedAttribute, "[Entry Rights]");
    EXPECT_EQ(acl.subject, "[Public]");
    EXPECT_EQ(acl.privileges, 31u);
    const auto& postal = ValueOf<PostalAddressValue>(*user, "A18");
    EXPECT_EQ(postal.lines[1], "Springfield");
    EXPECT_EQ(postal.lines[5], "");
    EXPECT_EQ(ValueOf<TimeStamp>(*user, "A19").seconds, 1256904000u);
    const auto& stamp = ValueOf<TimeStamp>(*user, "A19", 1);
    EXPECT_EQ(stamp.seconds, 1256904000u);
    EXPECT_EQ(stamp.replica, 2);
    EXPECT_EQ(stamp.event, 65535);
    EXPECT_EQ(ValueOf<StringValue>(*user, "A20").text, "User");  // the schema's spelling
    const StoredAttribute& stream = AttributeOf(*user, "A21");
    ASSERT_EQ(stream.values.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<StreamValue>(stream.values[0].value.record));
    EXPECT_EQ(StreamText(stream), "MAP F:=SYS:");
    EXPECT_EQ(ValueOf<IntegerValue>(*user, "A22").value, 5);
    EXPECT_EQ(ValueOf<BackLinkValue>(*user, "A23").remoteId, 1234u);
    EXPECT_EQ(ValueOf<BackLinkValue>(*user, "A23").objectName, "FS1.Corp");
    EXPECT_EQ(ValueOf<TimeValue>(*user, "A24", 0).seconds, 1084264200u);
    EXPECT_EQ(ValueOf<TimeValue>(*user, "A24", 1).seconds, 0u);
    EXPECT_EQ(ValueOf<TimeValue>(*user, "A24", 2).seconds, 4294967295u);
    EXPECT_EQ(ValueOf<TimeValue>(*user, "A24", 3).seconds, 951782400u);
    const auto& typed = ValueOf<TypedNameValue>(*user, "A25");
    EXPECT_EQ(typed.objectName, "jdoe.Sales.Corp");
    EXPECT_EQ(typed.level, 1u);
    EXPECT_EQ(typed.interval, 30u);
    EXPECT_EQ(ValueOf<HoldValue>(*user, "A26").amount, 100u);
    EXPECT_EQ(ValueOf<IntervalValue>(*user, "A27").seconds, 4294967295u);
    EXPECT_EQ(ValueOf<RawValue>(*user, "A31").bytes, B({0x2B, 0x06}));
    EXPECT_EQ(AttributeOf(*user, "Huge").syntax, 4294967295u);
    EXPECT_EQ(ValueOf<RawValue>(*user, "Huge").bytes, B({1}));

    // Attributes keep the file's order, after the "Object Class" the loader adds.
    ASSERT_GE(user->attributes.size(), 3u);
    EXPECT_EQ(user->attributes[0].name, "Object Class");
    EXPECT_EQ(user->attributes[1].name, "A0");
    EXPECT_EQ(user->attributes[2].name, "A1");
}

TEST(ImageLoaderTest, OctetValuesAreLaidOutPieceByPiece) {
    auto image = Load(WithCorp(R"(
      {"name": "d.Corp", "class": "Device", "attributes": {"A9": [
        {"bytes": [{"u8": 255}, {"u16": 258}, {"u32": 16909060}, {"be16": 258}]},
        {"bytes": [{"text8": "ab"}, {"text16": "a"}, {"hex": "FF"}, {"zeros": 2}, {"at": 10},
                   {"at": 10}]},
        {"bytes": [{"text16": "😀"}]},
        {"hex": ""},
        {"bytes": []}
      ]}})"));
    ASSERT_TRUE(image);
    const Entry& device = *image->trees[0]->Find("d.Corp");
    EXPECT_EQ(ValueOf<OctetStringValue>(device, "A9", 0).data,
              B({0xFF, 0x02, 0x01, 0x04, 0x03, 0x02, 0x01, 0x01, 0x02}));
    EXPECT_EQ(ValueOf<OctetStringValue>(device, "A9", 1).data,
              B({'a', 'b', 0, 'a', 0, 0, 0, 0xFF, 0, 0}));
    EXPECT_EQ(ValueOf<OctetStringValue>(device, "A9", 2).data,
              B({0x3D, 0xD8, 0x00, 0xDE, 0, 0}));  // a surrogate pair and the zero word
    EXPECT_TRUE(ValueOf<OctetStringValue>(device, "A9", 3).data.empty());
    EXPECT_TRUE(ValueOf<OctetStringValue>(device, "A9", 4).data.empty());
}

TEST(ImageLoaderTest, SchemaDefinitionsKeepTheirFieldsAndOrder) {
    auto image = Load(ImageOf("[]"));
    ASSERT_TRUE(image);
    const Schema& schema = image->trees[0]->schema;
    const AttributeDefinition* surname = schema.FindAttribute("surname");
    ASSERT_NE(surname, nullptr);
    EXPECT_EQ(surname->syntax, Syntax::CiString);
    EXPECT_EQ(surname->flags, 0x1003u);
    EXPECT_EQ(surname->lowerBound, 1u);
    EXPECT_EQ(surname->upperBound, 64u);
    // 2.5.4.4: tag, length, 40 * 2 + 5, 4, 4.
    ASSERT_EQ(surname->identifier.length, 5u);
    EXPECT_EQ(std::vector<uint8_t>(surname->identifier.data.begin(),
                                   surname->identifier.data.begin() + 5),
              B({0x06, 0x03, 0x55, 0x04, 0x04}));
    EXPECT_EQ(schema.FindAttribute("OU")->syntax, 3u);
    EXPECT_EQ(schema.FindAttribute("A0")->identifier.length, 0u);
    EXPECT_EQ(schema.attributes.front().name, "CN");

    const ClassDefinition* unit = schema.FindClass("organizational unit");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->flags, 3u);
    EXPECT_EQ(unit->containment, (std::vector<std::string>{"Organization", "Organizational Unit"}));
    const ClassDefinition* person = schema.FindClass("Person");
    EXPECT_EQ(person->naming, std::vector<std::string>{"CN"});
    EXPECT_EQ(person->mandatory, (std::vector<std::string>{"CN", "Surname"}));
    EXPECT_EQ(schema.classes.front().name, "Top");
}

TEST(ImageLoaderTest, LargeIdentifierNumbersUseBase128Groups) {
    auto image = Load(Image("[]", R"({"name": "X", "syntax": 3,
                                                    "oid": "2.16.840.1.113719.4294967295"})"));
    ASSERT_TRUE(image);
    const ObjectIdentifier& oid = image->trees[0]->schema.FindAttribute("X")->identifier;
    // Content: 60 (2.16), 86 48 (840), 01 (1), 86 F8 37 (113719), 8F FF FF FF 7F (2^32 - 1).
    const Bytes expected = {0x06, 0x0C, 0x60, 0x86, 0x48, 0x01, 0x86,
                            0xF8, 0x37, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F};
    ASSERT_EQ(oid.length, expected.size());
    EXPECT_EQ(Bytes(oid.data.begin(), oid.data.begin() + oid.length), expected);
    EXPECT_EQ(oid.data[oid.length], 0);
}

TEST(ImageLoaderTest, AnIdentifierOfTwoNumbersReadsBackAsWritten) {
    // Two numbers make an identifier of one content byte; the schema views
    // and the LDIF export read it back with the same decoder.
    auto image = Load(Image("[]", R"({"name": "X", "syntax": 3, "oid": "1.3"})"));
    ASSERT_TRUE(image);
    const ObjectIdentifier& oid = image->trees[0]->schema.FindAttribute("X")->identifier;
    EXPECT_EQ(Bytes(oid.data.begin(), oid.data.begin() + oid.length), (Bytes{0x06, 0x01, 0x2B}));
    EXPECT_EQ(OidText(oid), "1.3");
}

TEST(ImageLoaderTest, NamesBuildTheTreeInFileOrder) {
    // Children come before their containers in the file, and in a chosen order.
    auto image = Load(Image(R"([
      {"name": "zed.Sales.Corp", "class": "User"},
      {"name": "CN=amy.OU=Sales.O=Corp", "class": "User"},
      {"name": "Sales.Corp", "class": "Organizational Unit", "partitionRoot": true},
      {"name": "Corp", "class": "Organization", "created": "2004-05-11T08:30:00Z",
       "modified": 7, "readOnly": true},
      {"name": "Lab", "class": "Unit"},
      {"name": "printer.Lab", "class": "Device"},
      {"name": "Ada.Lab", "class": "User"}
    ])",
                            "", "", R"("identity": "amy.sales.corp",)"));
    ASSERT_TRUE(image);
    const Tree& tree = *image->trees[0];
    EXPECT_EQ(tree.name, "CORP");
    EXPECT_EQ(tree.identity, "amy.sales.corp");

    const Entry& root = *tree.root;
    EXPECT_EQ(root.name, "[Root]");
    EXPECT_EQ(root.parent, nullptr);
    EXPECT_TRUE(root.partitionRoot);
    EXPECT_EQ(root.baseClass, "Top");
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[0]->name, "Corp");
    EXPECT_EQ(root.children[1]->name, "Lab");

    const Entry* sales = tree.Find("Sales.Corp");
    ASSERT_NE(sales, nullptr);
    EXPECT_TRUE(sales->partitionRoot);
    ASSERT_EQ(sales->children.size(), 2u);
    EXPECT_EQ(sales->children[0]->name, "zed");
    EXPECT_EQ(sales->children[1]->name, "amy");
    EXPECT_EQ(sales->children[1]->parent, sales);
    EXPECT_EQ(sales->FindChild("AMY"), sales->children[1].get());

    const Entry* corp = tree.Find("Corp");
    EXPECT_EQ(corp->created, 1084264200u);
    EXPECT_EQ(corp->modified, 7u);
    EXPECT_TRUE(corp->readOnly);
    EXPECT_FALSE(corp->partitionRoot);
    EXPECT_EQ(corp->baseClass, "Organization");

    // Naming types: written in a typed name, else from the class's first naming
    // attribute (inherited from a super class when the class names none), else CN.
    EXPECT_EQ(Tree::FullName(*tree.Find("amy.Sales.Corp"), false), "CN=amy.OU=Sales.O=Corp");
    EXPECT_EQ(Tree::FullName(*tree.Find("zed.Sales.Corp"), false), "CN=zed.OU=Sales.O=Corp");
    EXPECT_EQ(tree.Find("Lab")->namingType, "OU");  // "Organizational Unit Name"
    EXPECT_EQ(tree.Find("printer.Lab")->namingType, "CN");
    EXPECT_EQ(Tree::FullName(*tree.Find("ada.lab"), true), "Ada.Lab");
}

// A "." or "=" after a backslash belongs to the name, typed or not.
TEST(ImageLoaderTest, EscapedDotsAndEqualsSignsArePartOfTheName) {
    auto image = Load(Image(R"([
      {"name": "Corp", "class": "Organization"},
      {"name": "x\\=y.Corp", "class": "User", "attributes": {"A1": "e\\..Corp"}},
      {"name": "a\\.b.Corp", "class": "User"},
      {"name": "CN=p\\=q.O=Corp", "class": "User"},
      {"name": "e\\..Corp", "class": "User"}
    ])"));
    ASSERT_TRUE(image);
    const Tree& tree = *image->trees[0];
    const Entry* corp = tree.Find("Corp");
    ASSERT_NE(corp, nullptr);
    ASSERT_EQ(corp->children.size(), 4u);
    EXPECT_EQ(corp->children[0]->name, "x\\=y");
    EXPECT_EQ(corp->children[1]->name, "a\\.b");
    EXPECT_EQ(corp->children[2]->name, "p\\=q");
    EXPECT_EQ(tree.Find("x\\=y.Corp"), corp->children[0].get());
    EXPECT_EQ(tree.Find("CN=a\\.b.O=Corp"), corp->children[1].get());
}

TEST(ImageLoaderTest, ValueFlagsAndStampsDefaultFromTheObject) {
    auto image = Load(WithCorp(R"(
      {"name": "jdoe.Sales.Corp", "class": "User", "modified": 1000, "attributes": {
        "CN": ["jdoe", {"value": "John", "flags": 0, "modified": "2009-10-30T12:00:00Z",
                        "replica": 3, "event": 9}],
        "Surname": "Doe",
        "A6": [{"value": ["x"], "flags": 6}]
      }})"));
    ASSERT_TRUE(image);
    const Entry& user = *image->trees[0]->Find("jdoe.Sales.Corp");
    const StoredAttribute& cn = AttributeOf(user, "CN");
    ASSERT_EQ(cn.values.size(), 2u);
    EXPECT_EQ(cn.values[0].flags, 0x05u);  // present, naming (inherited from Person)
    EXPECT_EQ(cn.values[0].modified.seconds, 1000u);
    EXPECT_EQ(cn.values[0].modified.replica, 0);
    EXPECT_EQ(cn.values[1].flags, 0u);
    EXPECT_EQ(cn.values[1].modified.seconds, 1256904000u);
    EXPECT_EQ(cn.values[1].modified.replica, 3);
    EXPECT_EQ(cn.values[1].modified.event, 9);
    EXPECT_EQ(AttributeOf(user, "Surname").values[0].flags, 0x04u);
    EXPECT_EQ(AttributeOf(user, "A6").values[0].flags, 6u);
    EXPECT_EQ(ValueOf<CiListValue>(user, "A6").strings, std::vector<std::string>{"x"});
}

TEST(ImageLoaderTest, ObjectClassIsFilledWithTheSuperClassesUnlessGiven) {
    auto image = Load(Image(R"([
      {"name": "Corp", "class": "Organization"},
      {"name": "u.Corp", "class": "user", "modified": 5},
      {"name": "v.Corp", "class": "User", "attributes": {"Object Class": ["Person", "Top"]}},
      {"name": "t.Corp", "class": "Top"},
      {"name": "m.Corp", "class": "Mixed"}
    ])",
                            "", R"(
      {"name": "Left", "super": ["Top"]}, {"name": "Right", "super": ["Top", "Left"]},
      {"name": "Mixed", "super": ["Left", "Right"]})"));
    ASSERT_TRUE(image);
    const Tree& tree = *image->trees[0];
    auto classesOf = [&](std::string_view name) {
        std::vector<std::string> names;
        const Entry* entry = tree.Find(name);
        for (const StoredValue& value : AttributeOf(*entry, "Object Class").values) {
            names.push_back(std::get<StringValue>(value.value.record).text);
            EXPECT_EQ(value.flags, 0x04u);
        }
        return names;
    };
    EXPECT_EQ(classesOf("u.Corp"),
              (std::vector<std::string>{"User", "Organizational Person", "Person", "Top"}));
    EXPECT_EQ(AttributeOf(*tree.Find("u.Corp"), "Object Class").values[0].modified.seconds, 5u);
    EXPECT_EQ(tree.Find("u.Corp")->baseClass, "User");
    EXPECT_EQ(classesOf("v.Corp"), (std::vector<std::string>{"Person", "Top"}));
    EXPECT_EQ(classesOf("t.Corp"), std::vector<std::string>{"Top"});
    EXPECT_EQ(classesOf("m.Corp"), (std::vector<std::string>{"Mixed", "Left", "Right", "Top"}));
}

TEST(ImageLoaderTest, ObjectClassIsNotInventedWithoutItsDefinition) {
    const std::string json = R"({"format": "vellrun-directory-image", "version": 1, "trees": [
      {"name": "LAB", "schema": {"classes": [{"name": "Thing"}]},
       "objects": [{"name": "x", "class": "Thing"}]},
      {"name": "EMPTY", "schema": {}}]})";
    auto image = Load(json);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->trees.size(), 2u);
    const Entry* thing = image->trees[0]->Find("x");
    ASSERT_NE(thing, nullptr);
    EXPECT_TRUE(thing->attributes.empty());
    EXPECT_EQ(thing->namingType, "CN");
    EXPECT_EQ(image->trees[0]->root->baseClass, "Top");
    EXPECT_TRUE(image->trees[1]->root->children.empty());
    EXPECT_EQ(image->sourcePath, "test.json");
}

TEST(ImageLoaderTest, AliasesNameAnObjectOfTheTree) {
    auto image = Load(WithCorp(R"(
      {"name": "link.Corp", "class": "Alias", "attributes": {"Aliased Object Name": "JDOE.sales.corp"}},
      {"name": "jdoe.Sales.Corp", "class": "User"})"));
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->trees[0]->Find("link.Corp")->IsAlias());
}

TEST(ImageLoaderTest, InvalidJsonIsReportedWithLineAndColumn) {
    ExpectRefused("{\n  \"format\": tru\n}", {"test.json: invalid JSON at line 2, column 16:"});
    ExpectRefused("{\"format\": \"é\", x}", {"invalid JSON at line 1, column 17:"});
    ExpectRefused("", {"test.json: invalid JSON at line 1, column 1:"});
    ExpectRefused("{\"trees\": [", {"invalid JSON at line 1, column 12:", "unexpected end"});
    // A byte that is not UTF-8 is named in the message, which stays UTF-8.
    const std::string broken = "{\"format\": \"x\xCE\xFF\"}";
    ExpectRefused(broken, {"invalid JSON at line 1, column ", "ill-formed UTF-8"});
    EXPECT_TRUE(platform::IsValidUtf8(LoadImageText(broken, "test.json", ".").status.error));
    ExpectRefused("[" + std::string(100, '[') + std::string(101, ']'),
                  {"test.json: [0][0]", "nested more than"});
}

// A fast reader reads the text and, at any fault, the JSON library reads it
// again for the place: both must take the same document from the same text,
// numbers at the edges of their kinds, escapes and a byte order mark included.
TEST(ImageLoaderTest, TheTextReadsAsTheJsonLibraryReadsIt) {
    const auto created = [](std::string_view number) {
        return WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User", "created": )" +
                        std::string(number) + "}");
    };
    // Only a whole number without a sign, a fraction or an exponent is unsigned.
    for (std::string_view notUnsigned :
         {"-0", "-1", "1.0", "1e3", "18446744073709551616", "-9223372036854775809"}) {
        ExpectRefused(created(notUnsigned),
                      {"test.json: trees[0].objects[2] \"jdoe.Sales.Corp\": created: expected a "
                       "time (seconds"});
    }
    auto image = Load(created("4294967295"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->trees[0]->Find("jdoe.Sales.Corp")->created, UINT32_MAX);

    image = Load("\xEF\xBB\xBF" + WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User",
        "attributes": {"A8": [-2147483648, 2147483647], "Surname": "\u00e9\ud83d\ude00\"\\\/\t"}})"));
    ASSERT_TRUE(image);
    const Entry& user = *image->trees[0]->Find("jdoe.Sales.Corp");
    EXPECT_EQ(ValueOf<IntegerValue>(user, "A8").value, INT32_MIN);
    EXPECT_EQ(ValueOf<IntegerValue>(user, "A8", 1).value, INT32_MAX);
    EXPECT_EQ(ValueOf<StringValue>(user, "Surname").text, "\u00e9\U0001F600\"\\/\t");

    // Faults behind a long good start still get their place.
    const std::string good = created("1");
    const auto lines = std::count(good.begin(), good.end(), '\n');
    ExpectRefused(good + "\n x",
                  {"test.json: invalid JSON at line " + std::to_string(lines + 2) + ", column 2:"});
    ExpectRefused(good + "}", {"test.json: invalid JSON at line " + std::to_string(lines + 1)});
    ExpectRefused(WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User",
        "attributes": {"Surname": "\ud800"}})"),
                  {"test.json: invalid JSON at line "});
}

TEST(ImageLoaderTest, KeysGivenTwiceAreRefused) {
    ExpectRefused(R"({"format": "vellrun-directory-image", "format": "x"})",
                  {"test.json: key \"format\" is given twice"});
    ExpectRefused(WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User",
                               "attributes": {"CN": "a", "Surname": "b", "CN": "c"}})"),
                  {"test.json: trees[0].objects[2] \"jdoe.Sales.Corp\": attributes: "
                   "key \"CN\" is given twice"});
    ExpectRefused(WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User",
                               "attributes": {"CN": "a", "cn": "c"}})"),
                  {"trees[0].objects[2] \"jdoe.Sales.Corp\": attribute \"cn\": given twice"});
}

struct RefusalCase {
    std::string image;
    std::vector<std::string_view> parts;
};

// Keys in any order read alike (the format after the trees, the identity
// after the objects), and a fault that comes after a tree's objects, or deep
// inside one object, is told with its place: a reader that takes the objects
// as it meets them must keep to this.
TEST(ImageLoaderTest, KeysInAnyOrderReadAlikeAndLateFaultsKeepTheirPlace) {
    const std::string objects = R"([{"name": "Corp", "class": "Organization"},
        {"name": "Sales.Corp", "class": "Organizational Unit"},
        {"name": "jdoe.Sales.Corp", "class": "User", "attributes": {"Surname": "Doe\tJ"}}])";
    const std::string schema = std::string(R"({"attributes": [)") + std::string(kAttributes) +
                               R"(], "classes": [)" + std::string(kClasses) + "]}";
    const std::string tree = R"({"objects": )" + objects +
                             R"(, "identity": "jdoe.Sales.Corp", "schema": )" + schema +
                             R"(, "name": "CORP"})";
    const auto treesFirst = [&](std::string_view treeText, std::string_view after) {
        return R"({"trees": [)" + std::string(treeText) +
               R"(], "version": 1, "format": "vellrun-directory-image")" + std::string(after) + "}";
    };
    const std::string identityLast =
        R"({"format": "vellrun-directory-image", "version": 1, "trees": [{"name": "CORP", )"
        R"("schema": )" +
        schema + R"(, "objects": )" + objects + R"(, "identity": "jdoe.Sales.Corp"}]})";
    for (const std::string& text : {treesFirst(tree, ""), identityLast,
                                    Image(objects, "", "", R"("identity": "jdoe.Sales.Corp",)")}) {
        SCOPED_TRACE(text.substr(0, 40));
        auto image = Load(text);
        ASSERT_TRUE(image);
        const Tree& corp = *image->trees[0];
        EXPECT_EQ(corp.identity, "jdoe.Sales.Corp");
        const Entry* user = corp.Find("jdoe.Sales.Corp");
        ASSERT_NE(user, nullptr);
        EXPECT_EQ(user->parent, corp.Find("Sales.Corp"));
        EXPECT_EQ(ValueOf<StringValue>(*user, "Surname").text, "Doe\tJ");
    }

    const std::string good = Image(objects);
    const std::string withKey = Image(objects + R"(, "objects": [])");
    const std::vector<RefusalCase> cases = {
        {Image(objects + R"(, "extra": 1)"), {"test.json: trees[0]: unknown key \"extra\""}},
        {withKey, {"test.json: trees[0]: key \"objects\" is given twice"}},
        {good.substr(0, good.size() - 1) + R"(, "more": 1})", {"test.json: unknown key \"more\""}},
        {Image(objects + R"(, "identity": "nobody.Corp")"),
         {"test.json: trees[0]: identity: \"nobody.Corp\" is not an object of the tree"}},
        {good + " {}", {"test.json: invalid JSON at line "}},
        {treesFirst(tree, R"(, "version": 2)"), {"test.json: key \"version\" is given twice"}},
        {WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User", "attributes": {"A0": )" +
                  std::string(60, '[') + std::string(60, ']') + "}}"),
         {"test.json: trees[0].objects[2] \"jdoe.Sales.Corp\": attributes.A0[0]",
          "nested more than 64 levels deep"}},
        // A control character stands in a text only escaped.
        {WithCorp("{\"name\": \"jdoe.Sales.Corp\", \"class\": \"User\", \"attributes\": "
                  "{\"Surname\": \"Doe\tJ\"}}"),
         {"test.json: invalid JSON at line "}},
    };
    for (const RefusalCase& refusal : cases) {
        SCOPED_TRACE(refusal.image);
        ExpectRefused(refusal.image, refusal.parts);
    }
}

// The objects are taken in as the text is read, yet a fault of the text wins
// over a fault of the content met before it, wherever it lies: in a later
// object, among the objects of a tree refused before them, in a later tree,
// after the trees, or in trees not read because the image was refused first.
TEST(ImageLoaderTest, AFaultOfTheTextWinsOverAnEarlierFaultOfTheContent) {
    const std::string unknownClass = R"({"name": "jdoe.Sales.Corp", "class": "Nothing"})";
    const std::string classFault =
        "test.json: trees[0].objects[2] \"jdoe.Sales.Corp\": class: \"Nothing\" is not a class";
    const auto withTree = [](const std::string& image, std::string_view tree) {
        return image.substr(0, image.size() - 2) + ", " + std::string(tree) + "]}";
    };
    const std::string sound =
        R"({"name": "OTHER", "schema": {}, "objects": [{"name": "a", "class": "Top"}]})";
    const std::vector<RefusalCase> cases = {
        {withTree(WithCorp(unknownClass), sound), {classFault}},
        {withTree(WithCorp(unknownClass), R"({"name": "OTHER", "schema": {}, "objects": [1 2]})"),
         {"test.json: invalid JSON at line "}},
        {withTree(WithCorp(unknownClass),
                  R"({"name": "OTHER", "objects": [{"name": "a", "name": "b"}], "schema": {}})"),
         {"test.json: trees[1].objects[0] \"a\": key \"name\" is given twice"}},
        {WithCorp(unknownClass + R"(, {"name": "x.Corp", "class": tru})"),
         {"test.json: invalid JSON at line "}},
        {WithCorp(unknownClass + R"(, {"name": "x.Corp", "created": [)" + std::string(70, '[') +
                  std::string(71, ']') + "}"),
         {"test.json: trees[0].objects[3] \"x.Corp\": created[0]", "nested more than 64"}},
        {WithCorp(unknownClass) + " x", {"test.json: invalid JSON at line "}},
        {Image(R"([{"name": "Corp", "class": "Organization", "name": "Corp"}])", "", "",
               R"("extra": 1, )"),
         {"test.json: trees[0].objects[0] \"Corp\": key \"name\" is given twice"}},
        {R"({"format": "other", "version": 1, "trees": [{"objects": [{}, {"a": nul}]}]})",
         {"test.json: invalid JSON at line 1, column 71:"}},
    };
    for (const RefusalCase& refusal : cases) {
        SCOPED_TRACE(refusal.image);
        ExpectRefused(refusal.image, refusal.parts);
    }
}

TEST(ImageLoaderTest, DocumentAndTreeFaultsAreRefused) {
    const std::string kTree = R"({"name": "CORP", "schema": {}})";
    const std::vector<RefusalCase> cases = {
        {"[]", {"test.json: expected an image"}},
        {R"({"version": 1, "trees": []})", {"test.json: missing \"format\""}},
        {R"({"format": "other", "version": 1, "trees": []})",
         {"test.json: format: expected \"vellrun-directory-image\""}},
        {R"({"format": "vellrun-directory-image", "trees": []})",
         {"test.json: missing \"version\""}},
        {R"({"format": "vellrun-directory-image", "version": 2, "trees": [], "new": 1})",
         {"test.json: version: 2 is not supported"}},
        {R"({"format": "vellrun-directory-image", "version": 1, "tree": []})",
         {"test.json: unknown key \"tree\""}},
        {R"({"format": "vellrun-directory-image", "version": 1})", {"missing \"trees\""}},
        {R"({"format": "vellrun-directory-image", "version": 1, "trees": [)" + kTree +
             R"(, {"name": "corp", "schema": {}}]})",
         {"test.json: trees[1]: name: \"corp\" is already the name of trees[0]"}},
        {R"({"format": "vellrun-directory-image", "version": 1, "trees": [{"name": "", "schema": {}}]})",
         {"test.json: trees[0]: name: \"\" is not 1 to 32 characters long"}},
        {R"({"format": "vellrun-directory-image", "version": 1, "trees": [{"name": ")" +
             std::string(33, 'T') + R"(", "schema": {}}]})",
         {"trees[0]: name:", "is not 1 to 32 characters long"}},
        {R"({"format": "vellrun-directory-image", "version": 1, "trees": [{"name": "CORP_", "schema": {}}]})",
         {"trees[0]: name: \"CORP_\" ends with \"_\""}},
        {R"({"format": "vellrun-directory-image", "version": 1, "trees": [{"name": "CORP"}]})",
         {"trees[0]: missing \"schema\""}},
        {R"({"format": "vellrun-directory-image", "version": 1, "trees": [{"name": "CORP", "schema": {}, "identiy": ""}]})",
         {"trees[0]: unknown key \"identiy\""}},
        {Image(R"([{"name": "Corp", "class": "Organization"}])", "", "",
               R"("identity": "nobody.Corp",)"),
         {"test.json: trees[0]: identity: \"nobody.Corp\" is not an object of the tree"}},
        {Image("[]", "", "", R"("identity": ".Corp",)"),
         {"trees[0]: identity: \".Corp\" has a leading dot"}},
    };
    for (const RefusalCase& refusal : cases) {
        SCOPED_TRACE(refusal.image);
        ExpectRefused(refusal.image, refusal.parts);
    }
    // A tree name of 32 characters, counted as characters rather than bytes, is fine.
    EXPECT_TRUE(Load(R"({"format": "vellrun-directory-image", "version": 1, "trees": [{"name": ")" +
                     std::string(30, 'T') + R"(éé", "schema": {}}]})"));
}

TEST(ImageLoaderTest, SchemaFaultsAreRefused) {
    const std::vector<RefusalCase> cases = {
        {Image("[]", R"({"name": "Bad", "syntax": "STRING"})"),
         {"test.json: trees[0].schema.attributes[",
          "] \"Bad\": syntax: unknown syntax \"STRING\""}},
        {Image("[]", R"({"name": "Bad", "syntax": 4294967296})"),
         {"\"Bad\": syntax: expected a whole number from 0 to 4294967295"}},
        {Image("[]", R"({"name": "Bad", "syntax": -1})"),
         {"\"Bad\": syntax: expected a whole number"}},
        {Image("[]", R"({"name": "Bad"})"), {"\"Bad\": missing \"syntax\""}},
        {Image("[]", R"({"name": "cn", "syntax": 3})"),
         {"] \"cn\": the name is already defined by attributes[0] \"CN\""}},
        {Image("[]", R"({"name": "Bad", "syntax": 3, "flags": ["Single"]})"),
         {"\"Bad\": flags: unknown flag \"Single\""}},
        {Image("[]", R"({"name": "Bad", "syntax": 3, "flag": 1})"),
         {"\"Bad\": unknown key \"flag\""}},
        {Image("[]", R"({"name": "Bad", "syntax": 3, "oid": "2.5.x"})"),
         {"\"Bad\": oid: \"2.5.x\" is not a dotted object identifier"}},
        {Image("[]", R"({"name": "Bad", "syntax": 3, "oid": "2"})"),
         {"\"Bad\": oid: \"2\" has fewer than two numbers"}},
        {Image("[]", R"({"name": "Bad", "syntax": 3, "oid": "2.45.1"})"),
         {"\"Bad\": oid:", "second number below 40"}},
        // 30 content bytes fit (32 in all); one more does not.
        {Image("[]", R"({"name": "Bad", "syntax": 3,
                         "oid": "1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.17.18.19.20.21.22.23.24.25.26.27.28.29.30.31.32"})"),
         {"\"Bad\": oid:", "encodes to 33 bytes"}},
        {Image("[]", "", R"({"name": "Bad", "super": ["Foo"]})"),
         {"test.json: trees[0].schema.classes[9] \"Bad\": super class \"Foo\": not a class of "
          "the schema"}},
        {Image("[]", "", R"({"name": "Bad", "containment": ["Nowhere"]})"),
         {"\"Bad\": containment class \"Nowhere\": not a class of the schema"}},
        {Image("[]", "", R"({"name": "Bad", "naming": ["Nope"]})"),
         {"\"Bad\": naming attribute \"Nope\": not an attribute of the schema"}},
        {Image("[]", "", R"({"name": "Bad", "optional": ["A1", "a1"]})"),
         {"\"Bad\": optional attribute \"a1\": listed twice"}},
        {Image("[]", "", R"({"name": "Bad", "mandatory": "CN"})"),
         {"\"Bad\": mandatory: expected a list of names"}},
        {Image("[]", "", R"({"name": "USER"})"),
         {"\"USER\": the name is already defined by classes[7] \"User\""}},
        {Image("[]", "", R"({"name": "Bad", "flags": ["Container", "Leaf"]})"),
         {"\"Bad\": flags: unknown flag \"Leaf\""}},
        {Image("[]", "", R"({"name": "Egg", "super": ["Hen"]}, {"name": "Hen", "super": ["Egg"]})"),
         {"super class", "go round in a circle"}},
        {Image("[]", "", R"({"name": "Self", "super": ["self"]})"),
         {"\"Self\": super class \"Self\": the super classes go round in a circle"}},
    };
    for (const RefusalCase& refusal : cases) {
        SCOPED_TRACE(refusal.image.substr(refusal.image.size() - 200));
        ExpectRefused(refusal.image, refusal.parts);
    }
}

TEST(ImageLoaderTest, ObjectFaultsAreRefused) {
    const std::vector<RefusalCase> cases = {
        {WithCorp(R"({"name": "x.Corp", "class": "Nope"})"),
         {"test.json: trees[0].objects[2] \"x.Corp\": class: \"Nope\" is not a class of the "
          "schema"}},
        {WithCorp(R"({"name": "x.Corp"})"), {"objects[2] \"x.Corp\": missing \"class\""}},
        {WithCorp(R"({"name": "x.Corp", "class": "User", "nmae": 1})"),
         {"objects[2] \"x.Corp\": unknown key \"nmae\""}},
        {WithCorp(R"({"class": "User"})"), {"trees[0].objects[2]: missing \"name\""}},
        {WithCorp(R"({"name": "x.Gone.Corp", "class": "User"})"),
         {"objects[2] \"x.Gone.Corp\": the container \"Gone.Corp\" is not an object of the tree"}},
        {WithCorp(R"({"name": "x\\.y.Gone.Corp", "class": "User"})"),
         {"the container \"Gone.Corp\" is not an object of the tree"}},
        {WithCorp(R"({"name": "CN=x.OU=Gone.O=Corp", "class": "User"})"),
         {"the container \"OU=Gone.O=Corp\" is not an object of the tree"}},
        {WithCorp(R"({"name": "SALES.corp", "class": "Organizational Unit"})"),
         {"trees[0].objects[2] \"SALES.corp\": the name is already used by objects[1] "
          "\"Sales.Corp\""}},
        {WithCorp(R"({"name": "OU=Sales.O=Corp", "class": "Organizational Unit"})"),
         {"objects[2] \"OU=Sales.O=Corp\": the name is already used by objects[1]"}},
        {WithCorp(R"({"name": ".x.Corp", "class": "User"})"),
         {"objects[2] \".x.Corp\": name: \".x.Corp\" has a leading dot"}},
        {WithCorp(R"({"name": "x..Corp", "class": "User"})"), {"has an empty relative name"}},
        {WithCorp(R"({"name": "x.Corp.", "class": "User"})"), {"has an empty relative name"}},
        {WithCorp(R"({"name": "CN=.Corp", "class": "User"})"),
         {"is not a relative name TYPE=NAME"}},
        {WithCorp(R"({"name": "[Root].Corp", "class": "User"})"), {"is a special name"}},
        {WithCorp(R"({"name": "CN=x.O=Sales.O=Corp", "class": "User"})"),
         {"objects[2] \"CN=x.O=Sales.O=Corp\": the name gives \"Sales\" the type O, but that "
          "object is named with the type OU"}},
        {WithCorp(R"({"name": "x.Corp", "class": "User", "attributes": {"Nope": 1}})"),
         {"objects[2] \"x.Corp\": attribute \"Nope\": not an attribute of the schema"}},
        {WithCorp(R"({"name": "x.Corp", "class": "User", "attributes": []})"),
         {"objects[2] \"x.Corp\": attributes: expected an object"}},
        {WithCorp(R"({"name": "x.Corp", "class": "User", "created": "yesterday"})"),
         {"objects[2] \"x.Corp\": created: \"yesterday\" is not a time"}},
        {WithCorp(R"({"name": "x.Corp", "class": "User", "readOnly": 1})"),
         {"\"x.Corp\": readOnly: expected true or false"}},
        {WithCorp(R"({"name": "a.Corp", "class": "Alias"})"),
         {"objects[2] \"a.Corp\": an alias needs an \"Aliased Object Name\" value"}},
        {WithCorp(R"({"name": "a.Corp", "class": "Alias",
                      "attributes": {"Aliased Object Name": "gone.Corp"}})"),
         {"objects[2] \"a.Corp\": attribute \"Aliased Object Name\": \"gone.Corp\" is not an "
          "object of the tree"}},
        {WithCorp(R"({"name": "a.Corp", "class": "Alias",
                      "attributes": {"Aliased Object Name": "a.Corp"}})"),
         {"\"a.Corp\" is the alias itself"}},
        {Image(R"([{"name": "a", "class": "Alias", "attributes": {"A2": "x"}}])"),
         {"objects[0] \"a\": an alias needs"}},
    };
    for (const RefusalCase& refusal : cases) {
        SCOPED_TRACE(refusal.image.substr(refusal.image.size() - 200));
        ExpectRefused(refusal.image, refusal.parts);
    }
}

TEST(ImageLoaderTest, ValuesThatDoNotFitTheirSyntaxAreRefused) {
    // Each case is the attributes of jdoe.Sales.Corp and what the message must say
    // after "trees[0].objects[2] "jdoe.Sales.Corp": ".
    const std::vector<std::pair<std::string_view, std::string_view>> cases = {
        {R"("A24": true)",
         R"(attribute "A24": value 1: expected a time (seconds or "YYYY-MM-DDTHH:MM:SSZ"))"},
        {R"("A24": [1, "2004-02-30T00:00:00Z"])", R"(attribute "A24": value 2: "2004-02-30)"},
        {R"("A24": "2004-05-11T08:30:00+02:00")",
         "value 1: \"2004-05-11T08:30:00+02:00\" is not a time"},
        {R"("A24": "2106-02-07T06:28:16Z")", "is not a time"},
        {R"("A24": "1969-12-31T23:59:59Z")", "is not a time"},
        {R"("A24": 4294967296)", "value 1: expected a time: seconds from 0 to 4294967295"},
        {R"("A24": 1.5)", "value 1: expected a time"},
        {R"("A8": 2147483648)",
         "attribute \"A8\": value 1: expected a whole number from -2147483648"},
        {R"("A22": -2147483649)", "attribute \"A22\": value 1: expected a whole number"},
        {R"("A27": -1)",
         "attribute \"A27\": value 1: expected a whole number from 0 to 4294967295"},
        {R"("A7": "yes")", "attribute \"A7\": value 1: expected true or false"},
        {R"("A2": 5)", "attribute \"A2\": value 1: expected a text"},
        {R"("A5": "12a")", "attribute \"A5\": value 1: \"12a\" is not numeric"},
        // A text ends at its first zero: one inside it is refused where it stands.
        {R"("A2": ["ok", "a\u0000b"])",
         "attribute \"A2\": value 2: the text holds a zero byte after 1 bytes"},
        {R"("A6": [["x", "\u0000"]])", "attribute \"A6\": value 1: the text holds a zero byte"},
        {R"("A18": [["1", "2\u0000"]])", "attribute \"A18\": value 1: the text holds a zero"},
        {R"("A20": "Spaceship")",
         "attribute \"A20\": value 1: \"Spaceship\" is not a class of the schema"},
        {R"("A9": {"hex": "0G"})", "attribute \"A9\": value 1: hex: \"0G\" is not hexadecimal"},
        // The bad character is named whole, so the message stays UTF-8.
        {R"("A9": {"hex": "0é"})", "is not hexadecimal (bad character \"é\")"},
        {R"("A9": {"hex": "ABC"})",
         "value 1: hex: \"ABC\" has an odd number of hexadecimal digits"},
        {R"("A9": "plain")", "value 1: expected an octet value"},
        {R"("A9": {"hex": "00", "text": "x"})", "value 1: expected an octet value"},
        {R"("A9": {"bytes": [{"u8": 1}, {"u8": 256}]})",
         "value 1: bytes[1]: u8: expected a whole number from 0 to 255"},
        {R"("A9": {"bytes": [{"u16": 1, "u8": 2}]})",
         "value 1: bytes[0]: expected a piece with one key"},
        {R"("A9": {"bytes": [{"zeros": 4}, {"at": 2}]})",
         "value 1: bytes[1]: at: offset 2 is behind the current end (4 bytes)"},
        {R"("A9": {"bytes": [{"zeros": 4294967295}]})",
         "value 1: bytes[0]: zeros: the value is longer than"},
        {R"("A9": {"bytes": [{"u64": 1}]})", "bytes[0]: u64: unknown piece"},
        {R"("A12": {"type": 1, "ip": "10.1.2", "port": 524})",
         "attribute \"A12\": value 1: ip: \"10.1.2\" is not an address"},
        {R"("A12": {"type": 1, "ip": "10.1.2.256"})", "ip: \"10.1.2.256\" is not an address"},
        {R"("A12": {"type": 1, "ip": "10.1.2.3", "port": 65536})",
         "port: expected a whole number from 0 to 65535"},
        {R"("A12": {"type": 2, "ip": "10.1.2.3"})",
         "value 1: \"ip\" is for address types 1, 7, 8, 9, 10 and 11, not 2"},
        {R"("A12": {"type": 0, "network": "0001", "node": "001122334455"})",
         "value 1: network: expected 8 hexadecimal digits"},
        {R"("A12": {"type": 0, "hex": "00", "text": "x"})", "value 1: expected exactly one of"},
        {R"("A12": {"hex": "00"})", "value 1: missing \"type\""},
        {R"("A12": {"type": 1, "hex": "00", "port": 1})", "\"port\" goes only with \"ip\""},
        {R"("A13": [{"hex": "00"}])",
         "attribute \"A13\": value 1: expected a list of octet values"},
        {R"("A13": [[{"hex": "00"}, 5]])",
         "attribute \"A13\": value 1: item 2: expected an octet value"},
        {R"("A6": "x")", "attribute \"A6\": expected a list of values"},
        {R"("A6": ["x", "y"])", "attribute \"A6\": value 1: expected a list of texts"},
        {R"("A6": [["x", 1]])", "attribute \"A6\": value 1: expected a list of texts"},
        {R"("A18": [["1", "2", "3", "4", "5", "6", "7"]])",
         "attribute \"A18\": value 1: expected a list of up to six texts"},
        {R"("A21": [{"text": "a"}, {"text": "b"}])",
         "attribute \"A21\": a stream has one value, not 2"},
        {R"("A21": "text")", "attribute \"A21\": value 1: expected a stream"},
        {R"("A21": {"file": "missing-login-script.txt"})",
         "attribute \"A21\": value 1: file: cannot read the stream file"},
        {R"("A21": {"file": "../secret.txt"})",
         "value 1: file: \"../secret.txt\" leaves the image's folder"},
        {R"("A21": {"file": "/etc/passwd"})",
         "value 1: file: \"/etc/passwd\" is not a path relative to the image's folder"},
        {R"("Surname": ["Doe", "Roe"])",
         "attribute \"Surname\": the attribute is single-valued, but 2 values are given"},
        {R"("A2": [])", "attribute \"A2\": no values"},
        {R"("A1": ".admin.Corp")", "attribute \"A1\": value 1: \".admin.Corp\" has a leading dot"},
        {R"("A1": "CN=admin.O=Corp")", "value 1: \"CN=admin.O=Corp\" has name types"},
        {R"("A1": "")", "value 1: expected a full name, not an empty text"},
        {R"("A15": {"volume": "SYS.Corp", "path": "x", "name": 1})",
         "attribute \"A15\": value 1: unknown key \"name\""},
        {R"("A15": {"path": "x"})", "attribute \"A15\": value 1: missing \"volume\""},
        {R"("A16": {"server": "FS1.Corp", "addresses": [{"type": 1, "ip": "x"}]})",
         "value 1: addresses[0]: ip: \"x\" is not an address"},
        {R"("A17": {"attribute": "", "subject": "a.Corp"})",
         "value 1: attribute: expected an attribute name"},
        {R"("A19": {"time": 1, "replica": 65536})",
         "value 1: replica: expected a whole number from 0 to 65535"},
        {R"("A23": {"remoteId": 1})", "attribute \"A23\": value 1: missing \"object\""},
        {R"("A25": {"object": "a..Corp"})",
         "value 1: object: \"a..Corp\" has an empty relative name"},
        {R"("A26": {"object": "a.Corp", "amount": -5})",
         "value 1: amount: expected a whole number"},
        {R"("A2": {"value": "x", "flags": "NAMING"})",
         "attribute \"A2\": value 1: flags: expected a whole number"},
        {R"("A2": [{"value": "x", "stamp": 1}])",
         "attribute \"A2\": value 1: unknown key \"stamp\""},
        {R"("A2": {"value": "x", "event": 70000})",
         "value 1: event: expected a whole number from 0 to 65535"},
        {R"("Huge": "raw")", "attribute \"Huge\": value 1: expected an octet value"},
    };
    for (const auto& [attributes, fault] : cases) {
        SCOPED_TRACE(attributes);
        const std::string object =
            R"({"name": "jdoe.Sales.Corp", "class": "User", "attributes": {)" +
            std::string(attributes) + "}}";
        ExpectRefused(WithCorp(object),
                      {"test.json: trees[0].objects[2] \"jdoe.Sales.Corp\": ", fault});
    }
}

// A stream file beside an image on disk, and the faults of files.
class ImageFileTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"vellrun-loader"};
    void SetUp() override {
        folder_ = temp_.Path();
        std::filesystem::create_directories(folder_ / "scripts");
    }

    void Write(const std::filesystem::path& relative, std::string_view text) {
        std::ofstream out(folder_ / relative, std::ios::binary);
        out << text;
    }

    std::filesystem::path folder_;
};

TEST_F(ImageFileTest, StreamFilesAreReadBesideTheImage) {
    Write("scripts/login.txt", std::string("MAP F:=SYS:\r\n\0end", 18));
    Write("corp.json", WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User", "attributes": {
        "A21": {"value": {"file": "scripts/login.txt"}, "flags": 4}}})"));
    LoadResult result = LoadImageFile(folder_ / "corp.json");
    ASSERT_TRUE(result.image) << result.status.error;
    EXPECT_EQ(result.image->sourcePath, (folder_ / "corp.json").string());
    const StoredAttribute& stream =
        AttributeOf(*result.image->trees[0]->Find("jdoe.Sales.Corp"), "A21");
    EXPECT_EQ(StreamText(stream), std::string("MAP F:=SYS:\r\n\0end", 18));
    ASSERT_EQ(stream.values.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<StreamValue>(stream.values[0].value.record));
}

TEST_F(ImageFileTest, FaultsNameTheFileAndThePath) {
    Write("corp.json", WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User", "attributes": {
        "A21": {"file": "scripts/none.txt"}}})"));
    const std::string file = (folder_ / "corp.json").string();
    LoadResult missing = LoadImageFile(folder_ / "corp.json");
    EXPECT_EQ(missing.image, nullptr);
    EXPECT_TRUE(missing.status.error.starts_with(file +
                                                 ": trees[0].objects[2] \"jdoe.Sales.Corp\": "
                                                 "attribute \"A21\": value 1: file: "))
        << missing.status.error;
    EXPECT_NE(missing.status.error.find((folder_ / "scripts/none.txt").string()), std::string::npos)
        << missing.status.error;

    LoadResult noFile = LoadImageFile(folder_ / "absent.json");
    EXPECT_EQ(noFile.image, nullptr);
    EXPECT_TRUE(
        noFile.status.error.starts_with((folder_ / "absent.json").string() + ": cannot read"))
        << noFile.status.error;

    LoadResult folder = LoadImageFile(folder_ / "scripts");
    EXPECT_EQ(folder.image, nullptr);
    EXPECT_NE(folder.status.error.find("cannot read the file"), std::string::npos)
        << folder.status.error;

    // A folder where a stream file should be is no stream file either.
    Write("dir.json", WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User", "attributes": {
        "A21": {"file": "scripts"}}})"));
    LoadResult notAFile = LoadImageFile(folder_ / "dir.json");
    EXPECT_EQ(notAFile.image, nullptr);
    EXPECT_NE(notAFile.status.error.find("cannot read the stream file"), std::string::npos)
        << notAFile.status.error;
}

// A long list of objects is read ahead while the tree is built from it: its
// faults still come in the order of the text, and a fault of the text still
// wins over a fault of the content met before it.
TEST(ImageLoaderTest, ALongListReadAheadKeepsTheOrderOfItsFaults) {
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += R"({"name": "u)" + std::to_string(i) + R"(.Corp", "class": "Device"}, )";
    const std::string last = R"({"name": "last.Corp", "class": "Device"})";
    const LoadResult good = LoadImageText(WithCorp(many + last), "test.json", ".");
    ASSERT_TRUE(good.image) << good.status.error;
    EXPECT_NE(good.image->trees[0]->Find("u2999.Corp"), nullptr);

    const std::string unknownClass = R"({"name": "jdoe.Sales.Corp", "class": "Nothing"}, )";
    const std::string classFault = "\"jdoe.Sales.Corp\": class: \"Nothing\" is not a class";
    ExpectRefused(WithCorp(unknownClass + many + last),
                  {"test.json: trees[0].objects[2] " + classFault});
    ExpectRefused(WithCorp(many + unknownClass + last),
                  {"test.json: trees[0].objects[3002] " + classFault});
    ExpectRefused(WithCorp(unknownClass + many + R"({"name": "last.Corp", "class": tru})"),
                  {"test.json: invalid JSON at line "});
    // The loader stops at its fault while the objects after it are being
    // read ahead: a fault of the text among those is not lost with them.
    // (A bad escape, unlike a bad word, passes the first pass over the text.)
    std::string brokenSoon;
    for (int i = 0; i < 300; ++i)
        brokenSoon += R"({"name": "v)" + std::to_string(i) + R"(.Corp", "class": "Device"}, )";
    brokenSoon += R"({"name": "x\q.Corp", "class": "Device"}, )";
    for (int round = 0; round < 5; ++round) {
        ExpectRefused(WithCorp(unknownClass + brokenSoon + many + last),
                      {"test.json: invalid JSON at line "});
    }
}

// A large image's text is given back to the system as its objects are taken
// in: a fault met after that still gets its line, from the file read again.
TEST_F(ImageFileTest, ALargeImageKeepsItsValuesAndTheLinesOfItsFaults) {
    const std::string big(1 << 20, 'x');
    std::string objects;
    for (int i = 0; i < 5; ++i) {
        objects += R"({"name": "u)" + std::to_string(i) +
                   R"(.Corp", "class": "Device", "attributes": {"A2": ")" + big + "\"}},\n";
    }
    const std::string good = WithCorp(objects + R"({"name": "last.Corp", "class": "Device"})");
    Write("good.json", good);
    LoadResult loaded = LoadImageFile(folder_ / "good.json");
    ASSERT_TRUE(loaded.image) << loaded.status.error;
    const Entry* first = loaded.image->trees[0]->Find("u0.Corp");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ValueOf<StringValue>(*first, "A2").text, big);

    const std::string broken = WithCorp(objects + R"({"name": "last.Corp", "class": tru})");
    const auto lines = std::count(broken.begin(), broken.begin() + broken.find("tru}"), '\n');
    Write("late.json", broken);
    const std::string late = (folder_ / "late.json").string();
    EXPECT_TRUE(LoadImageFile(late).status.error.starts_with(
        late + ": invalid JSON at line " + std::to_string(lines + 1) + ", column 35:"))
        << LoadImageFile(late).status.error;
    Write("class.json", WithCorp(objects + R"({"name": "last.Corp", "class": "Nothing"})"));
    const std::string wrongClass = (folder_ / "class.json").string();
    EXPECT_EQ(LoadImageFile(wrongClass).status.error,
              wrongClass +
                  ": trees[0].objects[7] \"last.Corp\": class: \"Nothing\" is not a "
                  "class of the schema");
}

// Inputs that are not plain files beside the image: a FIFO would hang a
// reader that waits for a writer, and a symbolic link could reach any file.
TEST_F(ImageFileTest, OnlyRegularFilesInsideTheImagesFolderAreRead) {
    ASSERT_EQ(::mkfifo((folder_ / "pipe.json").c_str(), 0600), 0);
    LoadResult pipe = LoadImageFile(folder_ / "pipe.json");
    EXPECT_EQ(pipe.image, nullptr);
    EXPECT_EQ(pipe.status.error, (folder_ / "pipe.json").string() +
                                     ": cannot read the file: it is not a regular file");

    const auto streamOf = [&](std::string_view file) {
        Write("corp.json", WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User",
            "attributes": {"A21": {"file": ")" +
                                    std::string(file) + R"("}}})"));
        return LoadImageFile(folder_ / "corp.json");
    };
    ASSERT_EQ(::mkfifo((folder_ / "scripts/pipe.txt").c_str(), 0600), 0);
    LoadResult fifoStream = streamOf("scripts/pipe.txt");
    EXPECT_EQ(fifoStream.image, nullptr);
    EXPECT_NE(fifoStream.status.error.find("\": it is not a regular file"), std::string::npos)
        << fifoStream.status.error;

    // Links that stay inside the folder are fine; one that leads out is refused.
    vellrun::testing::TempDir outside{"vellrun-loader-outside"};
    vellrun::testing::WriteFile(outside.Path() / "secret.txt", "secret");
    Write("scripts/login.txt", "MAP");
    std::filesystem::create_symlink(outside.Path() / "secret.txt", folder_ / "scripts/out.txt");
    std::filesystem::create_symlink(outside.Path(), folder_ / "elsewhere");
    std::filesystem::create_symlink("login.txt", folder_ / "scripts/in.txt");
    for (std::string_view escape : {"scripts/out.txt", "elsewhere/secret.txt"}) {
        LoadResult refused = streamOf(escape);
        EXPECT_EQ(refused.image, nullptr) << escape;
        EXPECT_NE(refused.status.error.find("value 1: file: \"" + std::string(escape) +
                                            "\" leads out of the image's folder"),
                  std::string::npos)
            << refused.status.error;
    }
    LoadResult inside = streamOf("scripts/in.txt");
    ASSERT_TRUE(inside.image) << inside.status.error;
    const StoredAttribute& stream =
        AttributeOf(*inside.image->trees[0]->Find("jdoe.Sales.Corp"), "A21");
    EXPECT_EQ(StreamText(stream), "MAP");
}

// Each value stays under the limit of one value, yet together they may not
// build more than the image's limit: a few kilobytes of "zeros" could
// otherwise take gigabytes.
TEST(ImageLimits, TheValuesOfAnImageBuildAtMostTheLimitTogether) {
    EXPECT_EQ(DefaultValueByteLimit(3300), 3300u * 64 + 64u * 1024 * 1024);
    std::string values;
    for (int i = 0; i < 8; ++i) {
        if (i > 0) values += ", ";
        values += R"({"bytes": [{"zeros": 1000}, {"u8": 1}]})";
    }
    const std::string json = WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User",
        "attributes": {"A9": [)" + values +
                                      R"(], "A13": [[{"bytes": [{"zeros": 1000}]}]]}})");

    LoadOptions tight;
    tight.valueByteLimit = 4000;
    LoadResult refused = LoadImageText(json, "test.json", ".", tight);
    EXPECT_EQ(refused.image, nullptr);
    EXPECT_EQ(refused.status.error,
              "test.json: trees[0].objects[2] \"jdoe.Sales.Corp\": attribute \"A9\": value 4: "
              "the values of the image build more than 4000 bytes together (the limit for "
              "this image)");

    LoadOptions raised;
    raised.valueByteLimit = 9008;
    const LoadResult atLimit = LoadImageText(json, "test.json", ".", raised);
    EXPECT_NE(atLimit.image, nullptr) << atLimit.status.error;
    raised.valueByteLimit = 9007;
    EXPECT_EQ(LoadImageText(json, "test.json", ".", raised).image, nullptr);
    // By default a small image may build up to 64 MiB.
    EXPECT_NE(LoadImageText(json, "test.json", ".").image, nullptr);
}

// Hostile input that used to cost quadratic time: many keys in one object,
// and an object that gives every attribute of a large schema. Each case here
// would take many seconds if it were quadratic.
TEST(ImageLimits, ManyKeysInOneObjectCostLinearTime) {
    constexpr int kKeys = 100000;
    std::string keys;
    keys.reserve(kKeys * 16);
    for (int i = 0; i < kKeys; ++i)
        keys += "\"k" + std::to_string(i) + "\": 1, ";
    ExpectRefused(WithCorp(R"({"name": "jdoe.Sales.Corp", "class": "User", "attributes": {)" +
                           keys + R"("k17": 2}})"),
                  {"test.json: trees[0].objects[2] \"jdoe.Sales.Corp\": attributes: key \"k17\" "
                   "is given twice"});
}

TEST(ImageLimits, AnObjectWithEveryAttributeOfALargeSchemaCostsLinearTime) {
    constexpr int kKeys = 50000;
    std::string definitions;
    std::string given;
    for (int i = 0; i < kKeys; ++i) {
        if (i > 0) definitions += ", ", given += ", ";
        definitions += R"({"name": "X)" + std::to_string(i) + R"(", "syntax": "CI_STRING"})";
        given += "\"X" + std::to_string(i) + "\": \"v\"";
    }
    const std::string objects = R"([{"name": "Corp", "class": "Organization"},
        {"name": "many.Corp", "class": "Device", "attributes": {)" +
                                given + R"(, "x5": "again"}}])";
    ExpectRefused(Image(objects, definitions),
                  {"test.json: trees[0].objects[1] \"many.Corp\": attribute \"x5\": given twice "
                   "(also as \"X5\"; names are compared without regard to case)"});
}

}  // namespace
}  // namespace vellrun::client::image
