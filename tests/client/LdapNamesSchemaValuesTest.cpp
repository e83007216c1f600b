// LDAP names, schema and values: awkward DNs round trip both ways through the
// dotted forms; a subschema with the directory's own terms and a plain
// OpenLDAP one become the program's definitions; every value form parses and
// writes back, and malformed forms are refused (the client then keeps bytes).

#include "client/ldap/LdapClientState.h"
#include "client/ldap/LdapNames.h"
#include "client/ldap/LdapSchema.h"
#include "client/ldap/LdapValues.h"
#include "client/ldap/LdifRecords.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vellrun::client::ldap {
namespace {

struct NameCase {
    const char* dn;
    const char* typed;
    const char* typeless;
};

TEST(LdapNames, AwkwardNamesRoundTripBothWays) {
    const NameCase cases[] = {
        {"cn=jdoe,ou=Sales,o=Corp", "CN=jdoe.OU=Sales.O=Corp", "jdoe.Sales.Corp"},
        {"cn=J. Doe,o=Corp", "CN=J\\. Doe.O=Corp", "J\\. Doe.Corp"},
        {"cn=a\\,b,o=Corp", "CN=a,b.O=Corp", "a,b.Corp"},
        {"cn=back\\\\slash,o=Corp", "CN=back\\\\slash.O=Corp", "back\\\\slash.Corp"},
        {"cn=x\\+y,o=Corp", "CN=x\\+y.O=Corp", "x\\+y.Corp"},
        {"cn=a\\=b,o=Corp", "CN=a\\=b.O=Corp", "a\\=b.Corp"},
        {"cn=Ann+uid=ann,o=Corp", "CN=Ann+UID=ann.O=Corp", "Ann+ann.Corp"},
        {"cn=\\ lead and trail\\ ,o=Corp", "CN= lead and trail .O=Corp", " lead and trail .Corp"},
        {"cn=\\#hash\\;semi\\<\\>\\\",o=Corp", "CN=#hash;semi<>\".O=Corp", "#hash;semi<>\".Corp"},
        {"cn=Jürgen Öberg,o=Corp", "CN=Jürgen Öberg.O=Corp", "Jürgen Öberg.Corp"},
        {"o=Corp", "O=Corp", "Corp"},
        {"2.5.4.3=x,o=Corp", "2\\.5\\.4\\.3=x.O=Corp", "x.Corp"},  // a type by its OID
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dn);
        Name name;
        ASSERT_TRUE(ParseDn(c.dn, name));
        EXPECT_EQ(DottedText(name, false), c.typed);
        EXPECT_EQ(DottedText(name, true), c.typeless);
        // And back: the typed dotted name gives a DN that reads as the same name.
        Name again;
        ASSERT_TRUE(ParseDotted(c.typed, again));
        const std::string dn = DnText(again);
        Name reparsed;
        ASSERT_TRUE(ParseDn(dn, reparsed)) << dn;
        EXPECT_EQ(DottedText(reparsed, false), c.typed) << dn;
        Name typeless;
        ASSERT_TRUE(ParseDotted(c.typeless, typeless));
        EXPECT_EQ(DottedText(typeless, true), c.typeless);
    }
    // Written DNs escape what RFC 4514 asks for, and nothing else.
    Name name;
    ASSERT_TRUE(ParseDotted("CN= a\\+b,c#.O=Corp", name));
    EXPECT_EQ(DnText(name), "cn=\\ a\\+b\\,c#,o=Corp");

    Name bad;
    EXPECT_FALSE(ParseDn("cn=a,,o=b", bad));
    EXPECT_FALSE(ParseDn("no equals sign", bad));
    // A raw NUL would cut the text libldap reads; an escaped one is a value's.
    EXPECT_FALSE(ParseDn(std::string_view("cn=a\r\0\0,o=b", 10), bad));
    ASSERT_TRUE(ParseDn("cn=a\\00b,o=b", bad));
    EXPECT_EQ(bad[0][0].value, std::string("a\0b", 3));
    // Control characters are written as hexadecimal pairs, so a CR at a
    // value's end comes back (libldap would drop a raw one).
    ASSERT_TRUE(ParseDn("cn=a\\0D,o=b", bad));
    EXPECT_EQ(bad[0][0].value, "a\r");
    EXPECT_EQ(DnText(bad), "cn=a\\0D,o=b");
    Name back;
    ASSERT_TRUE(ParseDn(DnText(bad), back));
    EXPECT_EQ(back[0][0].value, "a\r");
    EXPECT_FALSE(ParseDotted("a..b", bad));
    EXPECT_FALSE(ParseDotted("dangling\\", bad));
    EXPECT_FALSE(ParseDotted("", bad));
    EXPECT_FALSE(ParseDotted("CN=.O=Corp", bad));
}

TEST(LdapNames, NamesAreRelativeToTheBase) {
    Name full, base, relative;
    ASSERT_TRUE(ParseDn("cn=jdoe,ou=Sales,O=CORP,dc=example", full));
    ASSERT_TRUE(ParseDn("o=Corp,DC=Example", base));
    ASSERT_TRUE(RelativeTo(full, base, relative));
    EXPECT_EQ(DottedText(relative, false), "CN=jdoe.OU=Sales");
    EXPECT_EQ(DnText(Under(relative, base)), "cn=jdoe,ou=Sales,o=Corp,dc=Example");
    Name other;
    ASSERT_TRUE(ParseDn("o=Other,dc=example", other));
    EXPECT_FALSE(RelativeTo(full, other, relative));
    EXPECT_TRUE(RelativeTo(full, Name{}, relative));
    EXPECT_EQ(relative.size(), 4u);
    EXPECT_TRUE(IsRootName("[root]"));
}

TEST(LdapSchema, DirectoryTermsAndPlainOpenLdapDefinitions) {
    SchemaText text;
    std::string error;
    ASSERT_TRUE(ReadSchemaText(R"(# a schema file as slapd reads it
objectidentifier VrAttr 2.16.840.1.113719.1.1.4.1
attributetype ( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{32768} )
attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )
attributetype ( 2.5.4.4 NAME ( 'sn' 'surname' ) SUP name SINGLE-VALUE
  X-NDS_NAME 'Surname' X-NDS_LOWER_BOUND '1' X-NDS_UPPER_BOUND '64' X-NDS_PUBLIC_READ '1' )
attributetype ( VrAttr:25 NAME 'loginGraceLimit' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27
  SINGLE-VALUE X-NDS_NAME 'Login Grace Limit' X-NDS_SYNC_IMMEDIATE '1' X-NDS_PER_REPLICA '1' )
attributetype ( 2.16.840.1.113719.1.1.4.1.1 NAME 'ACL'
  SYNTAX 2.16.840.1.113719.1.1.5.1.17 X-NDS_NAME 'ACL' X-NDS_NONREMOVABLE '1' )
attributetype ( 2.5.18.1 NAME 'createTimestamp' SYNTAX 1.3.6.1.4.1.1466.115.121.1.24
  SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )
attributetype ( 1.2.3.4 NAME 'odd' SYNTAX 1.2.3.4.5 X-NDS_SYNTAX '27' )
attributetype ( this is not a definition )
objectclass ( 2.5.6.0 NAME 'top' ABSTRACT MUST objectClass )
objectclass ( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST ( sn $ cn ) MAY ( loginGraceLimit $ ACL )
  X-NDS_NAME 'Person' X-NDS_NAMING 'cn' X-NDS_CONTAINMENT ( 'organization' 'organizationalUnit' )
  X-NDS_NOT_CONTAINER '1' )
objectclass ( 2.5.6.4 NAME 'organization' SUP top STRUCTURAL MUST o X-NDS_NAMING 'o' )
objectclass ( 1.3.6.1.1.3.1 NAME 'uidObject' SUP top AUXILIARY MUST uid )
)",
                               text, error))
        << error;
    // A macro name with nothing but blanks after it defines nothing.
    SchemaText lonely;
    EXPECT_TRUE(ReadSchemaText("objectidentifier Lonely \t\n", lonely, error));
    LdapSchema schema;
    schema.Load(text);
    EXPECT_EQ(schema.skipped, 1u);  // the broken line, and nothing else
    const image::Schema& s = schema.Definitions();

    const auto* cn = s.FindAttribute("cn");
    ASSERT_NE(cn, nullptr);
    EXPECT_EQ(cn->syntax, Syntax::CiString);  // from its superior "name"
    const auto* surname = s.FindAttribute("Surname");
    ASSERT_NE(surname, nullptr);
    EXPECT_EQ(surname->flags, 0x1u | 0x2u | 0x80u);
    EXPECT_EQ(surname->lowerBound, 1u);
    EXPECT_EQ(surname->upperBound, 64u);
    EXPECT_EQ(surname->identifier.length, 5u);  // 06 03 55 04 04
    EXPECT_EQ(schema.LdapAttribute("Surname"), "sn");
    EXPECT_EQ(schema.LdapAttribute("SURNAME"), "sn");
    EXPECT_EQ(schema.ProgramAttribute("sn"), "Surname");
    EXPECT_EQ(schema.ProgramAttribute("2.5.4.4"), "Surname");

    const auto* grace = s.FindAttribute("Login Grace Limit");
    ASSERT_NE(grace, nullptr);  // its OID came through the objectidentifier macro
    EXPECT_EQ(grace->syntax, Syntax::Integer);
    EXPECT_EQ(grace->flags, 0x1u | 0x40u | 0x400u);
    EXPECT_EQ(s.FindAttribute("ACL")->syntax, Syntax::ObjectAcl);
    EXPECT_EQ(s.FindAttribute("ACL")->flags, 0x4u);
    EXPECT_EQ(s.FindAttribute("createTimestamp")->syntax, Syntax::Time);
    EXPECT_EQ(s.FindAttribute("createTimestamp")->flags, 0x1u | 0x8u | 0x1000u);
    EXPECT_EQ(s.FindAttribute("odd")->syntax, Syntax::Interval);

    const auto* person = s.FindClass("Person");
    ASSERT_NE(person, nullptr);
    EXPECT_EQ(person->flags, 0x02u);  // structural, not a container
    EXPECT_EQ(person->superClasses, std::vector<std::string>{"top"});
    EXPECT_EQ(person->containment,
              (std::vector<std::string>{"organization", "organizationalUnit"}));
    EXPECT_EQ(person->naming, std::vector<std::string>{"cn"});
    EXPECT_EQ(person->mandatory, (std::vector<std::string>{"Surname", "cn"}));
    EXPECT_EQ(person->optional, (std::vector<std::string>{"Login Grace Limit", "ACL"}));
    EXPECT_EQ(s.FindClass("organization")->flags, 0x03u);
    EXPECT_EQ(s.FindClass("uidObject")->flags, 0x21u);
    EXPECT_EQ(s.FindClass("top")->flags, 0x01u);
    EXPECT_EQ(schema.LdapClass("Person"), "person");

    // The same definitions as an LDIF subschema entry, folded and in base64.
    SchemaText ldif;
    ASSERT_TRUE(
        ReadSchemaText("dn: cn=Subschema\nobjectClass: subschema\n"
                       "attributeTypes: ( 2.5.4.3 NAME 'cn' SYNTAX 1.3.6.1.4.1.1466.11\n"
                       " 5.121.1.15 )\n"
                       "objectClasses:: KCAyLjUuNi4wIE5BTUUgJ3RvcCcgQUJTVFJBQ1QgKQ==\n",
                       ldif, error))
        << error;
    ASSERT_EQ(ldif.attributeTypes.size(), 1u);
    EXPECT_EQ(ldif.attributeTypes[0], "( 2.5.4.3 NAME 'cn' SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )");
    ASSERT_EQ(ldif.objectClasses.size(), 1u);
    EXPECT_EQ(ldif.objectClasses[0], "( 2.5.6.0 NAME 'top' ABSTRACT )");
    SchemaText unfinished;
    EXPECT_FALSE(
        ReadSchemaText("attributetype ( 1.2.3 NAME 'x'\n\nobjectclass ( 1.2 )", unfinished, error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
}

// A server that keeps no structuralObjectClass (a database loaded without
// it) lists an entry's classes in any order: the entry is of its most
// derived structural class, as the same entry read from a dump is.
TEST(LdapSchema, AnEntryWithoutItsStructuralClassIsOfItsMostDerivedClass) {
    SchemaText text;
    std::string error;
    ASSERT_TRUE(
        ReadSchemaText("objectclass ( 2.5.6.0 NAME 'top' ABSTRACT )\n"
                       "objectclass ( 1.1 NAME 'device' SUP top STRUCTURAL )\n"
                       "objectclass ( 1.2 NAME 'printer' SUP device STRUCTURAL )\n"
                       "objectclass ( 1.3 NAME 'laserPrinter' SUP printer STRUCTURAL )\n"
                       "objectclass ( 1.4 NAME 'extra' SUP top AUXILIARY )\n",
                       text, error))
        << error;
    LdapSchema schema;
    schema.Load(text);
    LdapClient::State state;
    for (const std::vector<std::string>& classes : std::vector<std::vector<std::string>>{
             {"laserPrinter", "printer", "device", "top", "extra"},
             {"top", "device", "laserPrinter", "printer"},
             {"printer", "laserPrinter"}}) {
        const FoundEntry entry{"cn=p,o=x", {{"objectClass", classes}}};
        EXPECT_EQ(state.RecordOf(LdapContext{}, schema, entry).baseClass, "laserPrinter")
            << classes.front();
    }
}

TEST(LdapSchema, ASchemaEntryAndADumpRefuseTheSameBase64) {
    // A stray character inside the base64 is a fault in either file, not
    // something to step over (which would read a definition that was never
    // written as it stands).
    const std::string line = "objectClasses:: KCAyLjUuNi4wIE5BT!UUgJ3RvcCcgQUJTVFJBQ1QgKQ==\n";
    SchemaText schema;
    std::string error;
    EXPECT_FALSE(ReadSchemaText("dn: cn=Subschema\n" + line, schema, error));
    EXPECT_EQ(error, "line 2: the base64 value is not valid base64");
    std::vector<LdifRecord> records;
    EXPECT_FALSE(ReadLdifRecords("dn: cn=Subschema\n" + line, ".", records, error));
    EXPECT_EQ(error, "line 2: the base64 value is not valid base64");
}

TEST(LdapSchema, SyntaxNumbersFromOids) {
    const std::string x = "1.3.6.1.4.1.1466.115.121.1.";
    const std::string n = "2.16.840.1.113719.1.1.5.1.";
    EXPECT_EQ(SyntaxFromOid(x + "12"), 1u);
    EXPECT_EQ(SyntaxFromOid(x + "26"), 2u);
    EXPECT_EQ(SyntaxFromOid(x + "15{64}"), 3u);
    EXPECT_EQ(SyntaxFromOid(x + "32"), 3u);
    EXPECT_EQ(SyntaxFromOid(x + "44"), 4u);
    EXPECT_EQ(SyntaxFromOid(x + "36"), 5u);
    EXPECT_EQ(SyntaxFromOid(x + "7"), 7u);
    EXPECT_EQ(SyntaxFromOid(x + "27"), 8u);
    EXPECT_EQ(SyntaxFromOid(x + "40"), 9u);
    EXPECT_EQ(SyntaxFromOid(x + "58"), 9u);
    EXPECT_EQ(SyntaxFromOid(x + "50"), 10u);
    EXPECT_EQ(SyntaxFromOid(x + "22"), 11u);
    EXPECT_EQ(SyntaxFromOid(x + "41"), 18u);
    EXPECT_EQ(SyntaxFromOid(x + "38"), 20u);
    EXPECT_EQ(SyntaxFromOid(x + "5"), 21u);
    EXPECT_EQ(SyntaxFromOid(x + "24"), 24u);
    for (unsigned id : {6u, 12u, 13u, 14u, 15u, 16u, 17u, 19u, 22u, 23u, 25u, 26u, 27u, 0u})
        EXPECT_EQ(SyntaxFromOid(n + std::to_string(id)), id) << id;
    EXPECT_EQ(SyntaxFromOid("1.2.3"), 9u);
    // A server's entryUUID and entryCSN are text, not bytes.
    EXPECT_EQ(SyntaxFromOid("1.3.6.1.1.16.1"), 3u);
    EXPECT_EQ(SyntaxFromOid("1.3.6.1.4.1.4203.666.11.2.1{64}"), 3u);
    // What the exporter writes reads back as the same number.
    for (SyntaxId id = 0; id <= 27; ++id) {
        const SyntaxId back = SyntaxFromOid(OidForSyntax(id));
        if (id == 9) continue;
        EXPECT_EQ(back, id) << id;
    }
}

ValueNames TestNames() {
    ValueNames names;
    names.fromDn = [](std::string_view dn) {
        Name name;
        return ParseDn(dn, name) ? DottedText(name, true) : std::string("?");
    };
    names.toDn = [](std::string_view dotted) {
        Name name;
        if (!ParseDotted(dotted, name)) return std::string("?");
        for (auto& rdn : name)
            for (auto& part : rdn)
                if (part.type.empty()) part.type = "cn";
        return DnText(name);
    };
    names.attributeFromLdap = [](std::string_view n) {
        return n == "sn" ? std::string("Surname") : std::string();
    };
    names.attributeToLdap = [](std::string_view n) {
        return n == "Surname" ? std::string("sn") : std::string();
    };
    names.classFromLdap = [](std::string_view n) {
        return n == "inetOrgPerson" ? std::string("User") : std::string();
    };
    names.classToLdap = [](std::string_view n) {
        return n == "User" ? std::string("inetOrgPerson") : std::string();
    };
    return names;
}

// A name inside a value's "#" fields whose DN escapes a "#" of its own (one
// that leads a value, or follows a backslash of the name) comes back as it
// was written, the same in an LDIF export as in a live modification.
TEST(LdapValues, ANameWithHashesInsideAFieldComesBackUnchanged) {
    const ValueNames names = TestNames();
    for (const std::string name : {"#hash.Corp", "x.#hash.Corp", "a\\\\#b.Corp", "#.a#b.Corp"}) {
        SCOPED_TRACE(name);
        const AttrValue values[] = {
            {Syntax::ObjectAcl, ObjectAclValue{"[All Attributes Rights]", name, 3}},
            {Syntax::Path, PathValue{1, name, "dir#file"}},
            {Syntax::ReplicaPointer, ReplicaPointerValue{name, 0, 1, {{9, {10, 1}}}}},
            {Syntax::BackLink, BackLinkValue{1234, name}},
            {Syntax::TypedName, TypedNameValue{name, 1, 30}},
            {Syntax::Hold, HoldValue{name, 100}},
        };
        for (const AttrValue& value : values) {
            const std::string wire = LdapValueText(value, names);
            SCOPED_TRACE(wire);
            AttrValue back;
            ASSERT_TRUE(ParseLdapValue(value.syntax, wire, names, back));
            EXPECT_TRUE(back.record == value.record);
        }
    }
}

TEST(LdapValues, EveryFormParsesAndWritesBack) {
    const ValueNames names = TestNames();
    struct Case {
        SyntaxId syntax;
        const char* wire;
    };
    const Case cases[] = {
        {1, "cn=jdoe,cn=Sales,cn=Corp"},
        {3, "Any text at all"},
        {6, "one$two \\24 dollars$back\\5Cslash"},
        {7, "TRUE"},
        {7, "FALSE"},
        {8, "-2147483648"},
        {22, "42"},
        {11, "+1 555 0009"},
        {11, "+1 555 0009$twoDimensional$fineResolution"},
        {11, "+1 555 0009$unlimitedLength$b4Length$a3Width$b4Width$uncompressed"},
        {12, "9#0A010203020C"},
        {14, "0#jdoe@corp.example"},
        {15, "1#cn=SYS,cn=Corp#PUBLIC#with hash"},
        {16, "cn=FS1,cn=Corp#0#1#2#9#0A010203020C#1#7F000001"},
        {17, "31#entry#cn=admin,cn=Corp#sn"},
        {17, "3#entry#[Public]#[Entry Rights]"},
        {18, "Line 1$Line \\24 2$$$$Line 6"},
        {19, "1256904000#1#3"},
        {20, "inetOrgPerson"},
        {23, "1234#cn=FS1,cn=Corp"},
        {24, "20091030120000Z"},
        {25, "cn=a\\23b,cn=Corp#1#30"},
        {26, "cn=jdoe,cn=Corp#100"},
        {27, "86400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wire);
        AttrValue value;
        ASSERT_TRUE(ParseLdapValue(c.syntax, c.wire, names, value));
        EXPECT_TRUE(RecordFitsSyntax(c.syntax, value.record));
        EXPECT_EQ(LdapValueText(value, names), c.wire);
    }
    AttrValue value;
    ASSERT_TRUE(ParseLdapValue(1, "cn=jdoe,cn=Sales,cn=Corp", names, value));
    EXPECT_EQ(std::get<StringValue>(value.record).text, "jdoe.Sales.Corp");
    ASSERT_TRUE(ParseLdapValue(17, "31#subtree#cn=admin,cn=Corp#sn", names, value));
    EXPECT_EQ(std::get<ObjectAclValue>(value.record).protectedAttribute, "Surname");
    EXPECT_EQ(std::get<ObjectAclValue>(value.record).subject, "admin.Corp");
    ASSERT_TRUE(ParseLdapValue(20, "inetOrgPerson", names, value));
    EXPECT_EQ(std::get<StringValue>(value.record).text, "User");
    ASSERT_TRUE(
        ParseLdapValue(25, "cn=a\\#b,cn=Corp#1#30", names, value));  // unescaped, still read
    EXPECT_EQ(std::get<TypedNameValue>(value.record).objectName, "a#b.Corp");
    ASSERT_TRUE(ParseLdapValue(24, "20091030140000+0200", names, value));
    EXPECT_EQ(std::get<TimeValue>(value.record).seconds, 1256904000u);
    ASSERT_TRUE(ParseLdapValue(24, "200910301200.5Z", names, value));
    EXPECT_EQ(std::get<TimeValue>(value.record).seconds, 1256904000u);
    ASSERT_TRUE(ParseLdapValue(18, "only$two", names, value));
    EXPECT_EQ(std::get<PostalAddressValue>(value.record).lines.size(), 6u);
    // A fax number's parameters are the directory's bit string (bits 8 and 9
    // here); any spelling and order of them means the same.
    ASSERT_TRUE(ParseLdapValue(11, "+1 555 0009$FineResolution$twoDimensional", names, value));
    EXPECT_EQ(std::get<FaxNumberValue>(value.record),
              (FaxNumberValue{"+1 555 0009", 32, {0, 0xC0, 0, 0}}));
    EXPECT_EQ(LdapValueText(value, names), "+1 555 0009$twoDimensional$fineResolution");
    ASSERT_TRUE(ParseLdapValue(9, std::string_view("\0\xff", 2), names, value));
    EXPECT_EQ(std::get<OctetStringValue>(value.record).data, (Bytes{0, 0xff}));

    // Malformed forms are refused, never half-read.
    const Case bad[] = {
        {6, "bad \\escape"},
        {6, "cut \\2"},
        {7, "yes"},
        {8, "12x"},
        {8, "99999999999"},
        {8, ""},
        {11, "+1 555 0009$noSuchParameter"},
        {12, "9#0A0"},
        {12, "x#00"},
        {14, "no type"},
        {15, "1#only volume"},
        {16, "s#0#1#2#9#0A"},
        {17, "31#entry#no attribute"},
        {18, "1$2$3$4$5$6$7"},
        {19, "1#2"},
        {19, "1#2#99999"},
        {23, "x#cn=a"},
        {24, "20091330120000Z"},
        {24, "20010229120000Z"},  // no 29 February in 2001
        {24, "20091030120000+9900"},
        {24, "2009103012"},
        {24, "yesterday"},
        {25, "cn=a#1"},
        {26, "cn=a"},
        {27, "-5"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.wire);
        EXPECT_FALSE(ParseLdapValue(c.syntax, c.wire, names, value));
    }
    uint32_t seconds = 0;
    EXPECT_TRUE(ParseGeneralizedTime(GeneralizedTimeText(0), seconds));
    EXPECT_EQ(seconds, 0u);
}

}  // namespace
}  // namespace vellrun::client::ldap
