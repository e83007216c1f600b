// LDIF dumps as images: awkward but valid dumps read whole into the embedded
// directory (and served by its client), faulty ones refused with the line.

#include "client/image/ImageClient.h"
#include "client/ldap/LdifExport.h"
#include "client/ldap/LdifImage.h"
#include "support/ImageFixture.h"
#include "support/SpyClient.h"
#include "support/TempDir.h"

#include <sstream>

#include <gtest/gtest.h>

namespace vellrun::client {
namespace {

using image::Entry;
using image::StoredAttribute;

constexpr const char* kSchema = R"(# a schema file as slapd reads it
objectidentifier Test 1.3.6.1.4.1.99999
objectidentifier TestAt Test:1
attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )
attributetype ( 2.5.4.41 NAME 'name'
	EQUALITY caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
attributetype ( 2.5.4.11 NAME 'ou' SUP name )
attributetype ( 2.5.4.13 NAME 'description' SUP name )
attributetype ( 2.5.4.31 NAME 'member' SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )
attributetype ( TestAt:1 NAME 'testCount' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )
attributetype ( TestAt:2 NAME 'testPhoto' SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )
objectclass ( 2.5.6.5 NAME 'organizationalUnit' SUP top STRUCTURAL MUST ou MAY description )
objectclass ( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST cn
	MAY ( description $ testCount $ testPhoto ) )
objectclass ( 2.5.6.9 NAME 'groupOfNames' SUP top STRUCTURAL MUST ( cn $ member ) )
)";

image::LoadResult Load(const std::string& ldif, const std::filesystem::path& dir = ".") {
    ldap::SchemaText schema;
    std::string error;
    EXPECT_TRUE(ldap::ReadSchemaText(kSchema, schema, error)) << error;
    return ldap::LoadLdifText(ldif, "dump.ldif", dir, schema, "DUMP");
}

// An export read back as a dump of tree T with the schema file it wrote.
image::LoadResult ReadBack(const std::string& ldif, const std::string& schema) {
    ldap::SchemaText text;
    std::string error;
    if (!ldap::ReadSchemaText(schema, text, error)) ADD_FAILURE() << error;
    return ldap::LoadLdifText(ldif, "t.ldif", ".", text, "T");
}

std::vector<std::string> Texts(const StoredAttribute* attribute) {
    std::vector<std::string> texts;
    for (const auto& value : attribute ? attribute->values : decltype(attribute->values){}) {
        if (const auto* text = std::get_if<StringValue>(&value.value.record)) {
            texts.push_back(text->text);
        } else if (const auto* bytes = std::get_if<OctetStringValue>(&value.value.record)) {
            texts.emplace_back(bytes->data.begin(), bytes->data.end());
        } else if (const auto* number = std::get_if<IntegerValue>(&value.value.record)) {
            texts.push_back(std::to_string(number->value));
        }
    }
    return texts;
}

TEST(LdifImage, AwkwardDumpReadsWhole) {
    testing::TempDir dir;
    testing::WriteFile(dir.Path() / "photo.bin", std::string("\x89PNG\0", 5));
    // "Jürgen" is folded inside its two-byte "ü"; the group comes before the
    // people it names and one person before its container; the DN of one
    // entry is base64 with a dot in its value; CR LF line ends throughout.
    const std::string u = "\xC3\xBC";
    std::string dump =
        "version: 1\n"
        "# a comment that goes on\n"
        "  over two lines\n"
        "dn: dc=example\n"
        "objectClass: top\n"
        "dc: example\n"
        "\n"
        "dn: cn=Staff,dc=example\n"
        "objectClass: groupOfNames\n"
        "cn: Staff\n"
        "member;range=0-0: cn=J" +
        u.substr(0, 1) +
        "\n"
        " " +
        u.substr(1) +
        "rgen,ou=People,dc=example\n"
        "member;range=1-*:: "
        "Y249Sm9obi5Eb2Usb3U9UGVvcGxlLGRjPWV4YW1wbGU=\n"
        "\n"
        "dn: cn=J" +
        u +
        "rgen,ou=People,dc=example\n"
        "objectClass: person\n"
        "cn: J" +
        u +
        "rgen\n"
        "description:\n"
        "description;lang-de: Hallo\n"
        "testCount: not a number\n"
        "testPhoto:< file://photo.bin\n"
        "createTimestamp: 20091030120000Z\n"
        "entryUUID: 8e2f2b5c-0000-0000-0000-000000000000\n"
        "departmentNumber: 42\n"
        "\n"
        "dn: ou=People,dc=example\n"
        "objectClass: organizationalUnit\n"
        "ou: People\n"
        "\n\n"
        // cn=John.Doe,ou=People,dc=example
        "dn:: Y249Sm9obi5Eb2Usb3U9UGVvcGxlLGRjPWV4YW1wbGU=\n"
        "objectClass: person\n"
        "cn: John.Doe\n"
        "testCount: 7\n";
    std::string crlf;
    for (char c : dump) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    auto result = Load(crlf, dir.Path());
    ASSERT_TRUE(result.image) << result.status.error;
    const image::Tree& tree = *result.image->trees.at(0);
    EXPECT_EQ(tree.name, "DUMP");
    // The common suffix is the top; its own entry's attributes are the top's.
    ASSERT_NE(tree.root->FindAttribute("dc"), nullptr);
    ASSERT_EQ(tree.root->children.size(), 2u);
    EXPECT_EQ(tree.root->children[0]->name, "Staff");  // parents first, else dump order

    const Entry* juergen = tree.Find("CN=J" + u + "rgen.OU=People");
    ASSERT_NE(juergen, nullptr);
    EXPECT_EQ(juergen->baseClass, "person");
    EXPECT_EQ(juergen->created, 1256904000u);
    EXPECT_EQ(Texts(juergen->FindAttribute("description")), std::vector<std::string>{""});
    EXPECT_EQ(Texts(juergen->FindAttribute("description;lang-de")),
              std::vector<std::string>{"Hallo"});
    // A value that does not fit its syntax keeps its bytes; the file beside the
    // dump is read; a type the schema does not know reads as text; the server's
    // bookkeeping is left out.
    EXPECT_EQ(juergen->FindAttribute("testCount")->syntax, Syntax::OctetString);
    EXPECT_EQ(Texts(juergen->FindAttribute("testCount")), std::vector<std::string>{"not a number"});
    EXPECT_EQ(Texts(juergen->FindAttribute("testPhoto")),
              std::vector<std::string>{std::string("\x89PNG\0", 5)});
    EXPECT_EQ(juergen->FindAttribute("departmentNumber")->syntax, Syntax::CiString);
    EXPECT_EQ(juergen->FindAttribute("entryUUID"), nullptr);
    EXPECT_EQ(juergen->FindAttribute("createTimestamp"), nullptr);
    // The naming value is marked as a server implies.
    EXPECT_EQ(juergen->FindAttribute("cn")->values.front().flags, 0x05u);

    // A dot in a value is escaped in the dotted name, and the name resolves.
    const Entry* john = tree.Find("John\\.Doe.People");
    ASSERT_NE(john, nullptr);
    EXPECT_EQ(image::Tree::FullName(*john, false), "CN=John\\.Doe.OU=People");
    EXPECT_EQ(Texts(john->FindAttribute("testCount")), std::vector<std::string>{"7"});
    // The ranges of one attribute are one attribute; names inside values are dotted.
    EXPECT_EQ(Texts(tree.Find("Staff")->FindAttribute("member")),
              (std::vector<std::string>{"J" + u + "rgen.People", "John\\.Doe.People"}));

    // The embedded client serves it, escaped names included.
    image::ImageClient client(std::shared_ptr<image::DirectoryImage>(std::move(result.image)));
    ASSERT_EQ(client.InitClient(0, 0), 0);
    ContextHandle context{};
    ASSERT_EQ(client.CreateContext(context), 0);
    EntryInfo info;
    client.SetContextNumber(context, ContextKey::EntryInfoItems, EntryItemBit::BaseClass);
    EXPECT_EQ(client.ReadEntryInfo(context, ".CN=John\\.Doe.OU=People", 4096, info), 0);
}

// An entry that lists several structural classes of one line of descent has
// the most derived as its base class, whichever order the dump lists them
// in (the export writes the nearest first); a structuralObjectClass the
// server wrote is taken as it is.
TEST(LdifImage, TheBaseClassIsTheMostDerivedStructuralClassListed) {
    const std::string schemaText = std::string(kSchema) +
                                   "objectclass ( Test:2.1 NAME 'device' SUP top STRUCTURAL "
                                   "MUST cn )\n"
                                   "objectclass ( Test:2.2 NAME 'printer' SUP device STRUCTURAL )\n"
                                   "objectclass ( Test:2.3 NAME 'laserPrinter' SUP printer "
                                   "STRUCTURAL )\n";
    ldap::SchemaText schema;
    std::string error;
    ASSERT_TRUE(ldap::ReadSchemaText(schemaText, schema, error)) << error;
    const std::string dump =
        "dn: dc=example\nobjectClass: top\ndc: example\n\n"
        "dn: cn=Nearest,dc=example\nobjectClass: printer\nobjectClass: device\n"
        "objectClass: top\ncn: Nearest\n\n"
        "dn: cn=Farthest,dc=example\nobjectClass: top\nobjectClass: device\n"
        "objectClass: printer\ncn: Farthest\n\n"
        "dn: cn=Deep,dc=example\nobjectClass: device\nobjectClass: laserPrinter\n"
        "objectClass: top\nobjectClass: printer\ncn: Deep\n\n"
        "dn: cn=Named,dc=example\nobjectClass: laserPrinter\nobjectClass: printer\n"
        "objectClass: device\nstructuralObjectClass: printer\ncn: Named\n";
    auto result = ldap::LoadLdifText(dump, "dump.ldif", ".", schema, "DUMP");
    ASSERT_TRUE(result.image) << result.status.error;
    const image::Tree& tree = *result.image->trees.at(0);
    for (const auto& [name, base] : {std::pair<std::string, std::string>{"Nearest", "printer"},
                                     {"Farthest", "printer"},
                                     {"Deep", "laserPrinter"},
                                     {"Named", "printer"}}) {
        const Entry* entry = tree.Find(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry->baseClass, base) << name;
    }
}

TEST(LdifImage, FaultyDumpsAreRefusedWithTheirLine) {
    testing::TempDir dir;
    testing::WriteFile(dir.Path().parent_path() / "outside.bin", "x");
    const std::string top = "dn: dc=x\nobjectClass: top\n\n";
    const struct {
        std::string dump;
        std::string error;
    } cases[] = {
        {top + "dn: cn=a,ou=gone,dc=x\ncn: a\n",
         "dump.ldif: line 4: the parent \"ou=gone,dc=x\" of \"cn=a,ou=gone,dc=x\" is not in the "
         "dump"},
        {top + "dn: cn=a,dc=x\ncn:: not*base64\n",
         "dump.ldif: line 5: the base64 value is not valid base64"},
        {top + "dn: cn=a,dc=x\ncn:: YWJj=\n",
         "dump.ldif: line 5: the base64 value is not valid base64"},
        {top + "dn: cn=a,dc=x\nchangetype: add\ncn: a\n",
         "dump.ldif: line 5: a change record; only content records (entries) are read as an "
         "image"},
        {top + "dn: cn=a,dc=x\ncn: a\n\ndn: CN=A,dc=x\ncn: a\n",
         "dump.ldif: line 7: \"CN=A,dc=x\" is already an entry of the dump (line 4)"},
        {top + "dn: cn=a,dc=x\ntestPhoto:< file://../outside.bin\n",
         "dump.ldif: line 5: the URL \"file://../outside.bin\" names a file outside the dump's "
         "folder; only files beside the dump are read"},
        {top + "dn: cn=a,dc=x\ntestPhoto:< http://example.org/x\n",
         "dump.ldif: line 5: only file:// URLs are read, not \"http://example.org/x\""},
        {"version: 2\n" + top, "dump.ldif: line 1: LDIF version 2 is not read (only 1)"},
        {top + " continued\n",
         "dump.ldif: line 4: a continued line (starting with a blank) "
         "follows no line"},
        {top + "cn: a\n", "dump.ldif: line 4: a record starts with \"dn:\", not \"cn:\""},
        {top + "dn: cn=a,dc=x\nno colon here\n",
         "dump.ldif: line 5: expected \"attribute: value\", not \"no colon here\""},
        {top + "dn: cn=a,dc=x\n\ndn: ou=a,dc=x\n",
         "dump.ldif: line 6: \"ou=a,dc=x\" has the same name as another entry under \"dc=x\" "
         "(CN=a); entries are told apart by their values without the types"},
        {top + "dn: not a dn\n", "dump.ldif: line 4: \"not a dn\" is not a distinguished name"},
        {top + "dn: cn=,dc=x\ncn: a\n",
         "dump.ldif: line 4: \"cn=,dc=x\" has an empty relative name"},
        {top + "dn: cn=a,dc=x\ncreateTimestamp: yesterday\n",
         "dump.ldif: line 5: \"yesterday\" is not a Generalized Time"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dump);
        const auto result = Load(c.dump, dir.Path());
        EXPECT_EQ(result.image, nullptr);
        EXPECT_EQ(result.status.error, c.error);
    }
    // A schema file that is not finished names its own line.
    testing::WriteFile(dir.Path() / "bad.schema", "# bad\nattributetype ( 1.2.3 NAME 'x'\n\n");
    testing::WriteFile(dir.Path() / "d.ldif", top);
    const auto result = ldap::LoadLdifImage(dir.Path() / "d.ldif", {dir.Path() / "bad.schema"}, {});
    EXPECT_EQ(result.status.error,
              (dir.Path() / "bad.schema").string() + ": line 2: the definition is not closed");
}

// Debian's stock schema files leave out what slapd defines itself (name, cn,
// description, distinguishedName, the class alias, ...) and refer to it: a dump
// read with only those files shows its attributes by their syntaxes and follows
// its aliases. An entry of a multi-valued relative name is named as the live
// client names it ("a+b") and found under each spelling that client takes.
TEST(LdifImage, StockSchemaFilesReadWithTheServersOwnDefinitions) {
    std::vector<std::filesystem::path> files;
    for (const char* name : {"core.schema", "cosine.schema", "inetorgperson.schema"}) {
        files.push_back(std::filesystem::path("/etc/ldap/schema") / name);
        if (!std::filesystem::exists(files.back())) {
            GTEST_SKIP() << files.back() << " is missing: slapd's schema files come with the "
                         << "slapd package, which scripts/setup installs";
        }
    }
    testing::TempDir dir;
    // A superior that nothing defines: text is guessed, bytes stay bytes.
    testing::WriteFile(dir.Path() / "extra.schema",
                       "attributetype ( 1.3.6.1.4.1.99999.1 NAME 'nickName' SUP nobodysName )\n"
                       "attributetype ( 1.3.6.1.4.1.99999.2 NAME 'badgeBlob' SUP nobodysName )\n");
    files.push_back(dir.Path() / "extra.schema");
    testing::WriteFile(dir.Path() / "corp.ldif",
                       "dn: o=Corp\nobjectClass: organization\no: Corp\n\n"
                       "dn: ou=Sales,o=Corp\nobjectClass: organizationalUnit\nou: Sales\n"
                       "description: The sales team\n\n"
                       "dn: uid=jdoe,ou=Sales,o=Corp\nobjectClass: inetOrgPerson\n"
                       "objectClass: extensibleObject\nuid: jdoe\ncn: John Doe\nsn: Doe\n"
                       "givenName: John\ntitle: Clerk\nl: Boston\nseeAlso: ou=Sales,o=Corp\n"
                       "userPassword: secret\nnickName: Johnny\nbadgeBlob:: //4=\n\n"
                       "dn: cn=staff,o=Corp\nobjectClass: groupOfNames\ncn: staff\n"
                       "member: uid=jdoe,ou=Sales,o=Corp\nowner: cn=a+sn=b,o=Corp\n\n"
                       "dn: cn=team,o=Corp\nobjectClass: alias\nobjectClass: extensibleObject\n"
                       "cn: team\naliasedObjectName: ou=Sales,o=Corp\n\n"
                       "dn: cn=a+sn=b,o=Corp\nobjectClass: person\ncn: a\nsn: b\n");
    auto result = ldap::LoadLdifImage(dir.Path() / "corp.ldif", files, "CORP");
    ASSERT_TRUE(result.image) << result.status.error;
    const image::Tree& tree = *result.image->trees.at(0);

    const Entry* jdoe = tree.Find("jdoe.Sales");
    ASSERT_NE(jdoe, nullptr);
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"cn", "John Doe"},
                                     {"sn", "Doe"},
                                     {"givenName", "John"},
                                     {"title", "Clerk"},
                                     {"l", "Boston"},
                                     {"uid", "jdoe"},
                                     {"nickName", "Johnny"}}) {
        const StoredAttribute* attribute = jdoe->FindAttribute(name);
        ASSERT_NE(attribute, nullptr) << name;
        EXPECT_EQ(attribute->syntax, Syntax::CiString) << name;
        EXPECT_EQ(Texts(attribute), std::vector<std::string>{text}) << name;
    }
    EXPECT_EQ(jdoe->FindAttribute("badgeBlob")->syntax, Syntax::OctetString);
    EXPECT_EQ(jdoe->FindAttribute("userPassword")->syntax, Syntax::OctetString);
    EXPECT_EQ(jdoe->FindAttribute("seeAlso")->syntax, Syntax::DistName);
    EXPECT_EQ(Texts(jdoe->FindAttribute("seeAlso")), std::vector<std::string>{"Sales"});
    EXPECT_EQ(tree.Find("Sales")->FindAttribute("description")->syntax, Syntax::CiString);
    const Entry* staff = tree.Find("staff");
    EXPECT_EQ(Texts(staff->FindAttribute("member")), std::vector<std::string>{"jdoe.Sales"});
    EXPECT_EQ(Texts(staff->FindAttribute("owner")), std::vector<std::string>{"a+b"});
    EXPECT_EQ(tree.Find("team")->baseClass, "alias");

    const Entry* multi = tree.Find("a+b");
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(tree.Find("CN=a+SN=b"), multi);
    EXPECT_EQ(tree.Find("a+SN=b"), multi);
    EXPECT_EQ(multi->FindAttribute("sn")->values.front().flags, 0x05u);

    // The client follows the alias, and reads the entry by its typed name.
    image::ImageClient client(std::shared_ptr<image::DirectoryImage>(std::move(result.image)));
    ASSERT_EQ(client.InitClient(0, 0), 0);
    ContextHandle context{};
    ASSERT_EQ(client.CreateContext(context), 0);
    client.SetContextNumber(context, ContextKey::Flags,
                            ContextFlag::DereferenceAliases | ContextFlag::Typeless);
    BufferHandle reply{};
    ASSERT_EQ(client.AllocBuffer(kListReplySize, reply), 0);
    int32_t continuation = kNoContinuation;
    ASSERT_EQ(client.ListSubordinates(context, "team", continuation, reply), 0);
    uint32_t count = 0;
    client.GetEntryCount(context, reply, count);
    ASSERT_EQ(count, 1u);
    std::string name;
    uint32_t attributes = 0;
    EntryRecord record;
    ASSERT_EQ(client.GetNextEntry(context, reply, name, attributes, record), 0);
    EXPECT_EQ(name, "jdoe");
    EntryInfo info;
    client.SetContextNumber(context, ContextKey::EntryInfoItems, EntryItemBit::BaseClass);
    EXPECT_EQ(client.ReadEntryInfo(context, "CN=a+SN=b", 4096, info), 0);
}

// An image reads "+" as part of a name, LDAP as the joint of a multi-valued
// relative name: the export escapes it in every DN it writes (the entry's and
// the names inside values), and the dump reads back under the same names.
TEST(LdifImage, APlusInAnImageNameRoundTripsThroughTheExport) {
    auto client = testing::StartImageClient(testing::TreeImage(R"([
      {"name": "Corp", "class": "Organization"},
      {"name": "a+b.Corp", "class": "User", "attributes": {"Title": "Plus"}},
      {"name": "staff.Corp", "class": "Group", "attributes": {"Member": ["a+b.Corp"]}}
    ])"));
    ASSERT_NE(client, nullptr);
    std::ostringstream ldif, schema;
    const auto exported = ldap::ExportLdif(*client, {"T", "dc=t"}, ldif, schema);
    ASSERT_EQ(exported.result, 0) << exported.error;
    EXPECT_NE(ldif.str().find("dn: vrcn=a\\+b,vro=Corp,dc=t\n"), std::string::npos) << ldif.str();
    EXPECT_NE(ldif.str().find("vrMember: vrcn=a\\+b,vro=Corp,dc=t\n"), std::string::npos)
        << ldif.str();

    auto back = ReadBack(ldif.str(), schema.str());
    ASSERT_TRUE(back.image) << back.status.error;
    const image::Tree& tree = *back.image->trees.at(0);
    const Entry* user = tree.Find("a+b.Corp");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(image::Tree::FullName(*user, false), "CN=a+b.O=Corp");
    EXPECT_EQ(Texts(user->FindAttribute("Title")), std::vector<std::string>{"Plus"});
    EXPECT_EQ(Texts(tree.Find("staff.Corp")->FindAttribute("Member")),
              std::vector<std::string>{"a+b.Corp"});
}

// Names keep their quotes, backslashes and line breaks through the schema
// file: the export escapes them in its quoted strings, and the reader takes
// the escapes back, so the values come back under the attributes' own names.
TEST(LdifImage, NamesWithQuotesBackslashesAndLineBreaksRoundTripThroughTheSchema) {
    auto client = testing::StartImageClient(testing::TreeImage(
        R"([{"name": "Corp", "class": "Organization"},
            {"name": "x.Corp", "class": "Odd 'Kind'",
             "attributes": {"It's a\\b": "quoted", "Two\nLines": "broken"}}])",
        R"({"name": "It's a\\b", "syntax": "CI_STRING"},
           {"name": "Two\nLines", "syntax": "CI_STRING"})",
        R"({"name": "Odd 'Kind'", "flags": ["Effective"], "super": ["Top"], "naming": ["CN"],
            "optional": ["It's a\\b", "Two\nLines"]})"));
    ASSERT_NE(client, nullptr);
    std::ostringstream ldif, schema;
    const auto exported = ldap::ExportLdif(*client, {"T", "dc=t"}, ldif, schema);
    ASSERT_EQ(exported.result, 0) << exported.error;
    EXPECT_NE(schema.str().find("X-NDS_NAME 'It\\27s a\\5Cb'"), std::string::npos) << schema.str();

    auto back = ReadBack(ldif.str(), schema.str());
    ASSERT_TRUE(back.image) << back.status.error;
    const image::Tree& tree = *back.image->trees.at(0);
    const Entry* x = tree.Find("x.Corp");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(Texts(x->FindAttribute("It's a\\b")), std::vector<std::string>{"quoted"});
    EXPECT_EQ(Texts(x->FindAttribute("Two\nLines")), std::vector<std::string>{"broken"});
    EXPECT_NE(tree.schema.FindClass("Odd 'Kind'"), nullptr);
}

// A dump is whole or it fails: a stream the server cannot hand over fails the
// export with the entry and the attribute named, instead of writing it empty.
TEST(LdifImage, AStreamThatCannotBeReadFailsTheExport) {
    auto client = testing::StartImageClient(testing::TreeImage(R"([
      {"name": "Corp", "class": "Organization"},
      {"name": "u.Corp", "class": "User", "attributes": {"Login Script": {"text": "MAP F:=SYS:"}}}
    ])"));
    ASSERT_NE(client, nullptr);
    testing::SpyClient spy(*client);
    spy.onReadStream = [](StreamHandle, std::span<uint8_t>, size_t& read) {
        read = 0;
        return Err::TransportFailure;
    };
    std::ostringstream ldif, schema;
    const auto exported = ldap::ExportLdif(spy, {"T", "dc=t"}, ldif, schema);
    EXPECT_EQ(exported.result, Err::TransportFailure);
    EXPECT_NE(exported.error.find("Login Script"), std::string::npos) << exported.error;
    EXPECT_NE(exported.error.find("CN=u.O=Corp"), std::string::npos) << exported.error;
}

}  // namespace
}  // namespace vellrun::client
