// A plain server: slapd with only its stock schema files (core, cosine,
// inetorgperson, nis), none of the directory's own names. Its entries store
// only the classes they were given, and values may come under attribute
// options (";binary", language tags).

#include "TestSlapd.h"
#include "cli/CliApp.h"
#include "client/ClientFactory.h"
#include "client/ldap/LdapClient.h"
#include "support/TempDir.h"

#include <sstream>

#include <gtest/gtest.h>

namespace vellrun::cli {
namespace {

// A self-signed certificate, stored as userCertificate;binary as slapd requires.
constexpr const char* kCertificate =
    "MIIB/DCCAWWgAwIBAgIUQHibk1zQqzIGr/xwi1/Bbp6PuRswDQYJKoZIhvcNAQELBQAwEDEOMAwGA1UEAwwFYWxpY2Uw"
    "HhcNMjYxMjA5MDgwMzA1WhcNMzYxMjA2MDgwMzA1WjAQMQ4wDAYDVQQDDAVhbGljZTCBnzANBgkqhkiG9w0BAQEFAAOB"
    "jQAwgYkCgYEAoLFHXOAR7dpeXKrEcwbBBG1YkLVIae1qLpRJUBRvjo/eFnnj+ENBMPPYvU+Gq6B2fYSPtA1NnCHKB1YF"
    "s5wNTZ54P3nMzzq08fIxEvtEZTCLBVA8U3uuotNPKBOlMFDzGYENt0q6YFm+eKh9Yzmhdo5fp8kM7wtH16vGbXQZ7TMC"
    "AwEAAaNTMFEwHQYDVR0OBBYEFAeiodJ35HuOq+J9PsBcyWCL/bMeMB8GA1UdIwQYMBaAFAeiodJ35HuOq+J9PsBcyWCL"
    "/bMeMA8GA1UdEwEB/wQFMAMBAf8wDQYJKoZIhvcNAQELBQADgYEAIhXkvMz0Tqq31JSukPmb0+VARN5mNulzx7SK2Xrr"
    "ORSbWxnufjDjckmlZJ2CVM0lRiPkKPQp9nu17eFEjPG7fDFNvKaRFmtJ5sIH0wD/ics45/eS4Dp31CBSdzcTNhEpMYM6"
    "eOlA4p2JeBj6zkFIlnNlwrxjOzvPFESfcW+uf0E=";

class LdapPlainSchema : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testing::TempDir;
        const std::string ldif = (*dir_ / "data.ldif").string();
        testing::WriteFile(
            ldif, std::string("dn: dc=test\nobjectClass: dcObject\nobjectClass: organization\n"
                              "o: T\ndc: test\n\n"
                              "dn: ou=People,dc=test\nobjectClass: organizationalUnit\n"
                              "ou: People\ndescription: People here\n"
                              "description;lang-de: Leute hier\n\n"
                              "dn: uid=alice,ou=People,dc=test\nobjectClass: inetOrgPerson\n"
                              "objectClass: posixAccount\nuid: alice\ncn: Alice Smith\n"
                              "cn;lang-de: Alice Schmidt\nsn: Smith\ntitle: Engineer\n"
                              "title;lang-fr: Ingenieur\nuidNumber: 1001\ngidNumber: 100\n"
                              "homeDirectory: /home/alice\nuserCertificate;binary:: ") +
                      kCertificate + "\n\n");
        slapd_ = testing::TestSlapd::Start(*dir_ / "slapd", {"/etc/ldap/schema/nis.schema"}, {ldif})
                     .release();
    }
    static void TearDownTestSuite() {
        delete slapd_;
        delete dir_;
    }

    int Run(const std::vector<std::string>& command, std::string& out) {
        CliApp app([](const client::ClientOptions& options) {
            return client::MakeDirectoryClient(options);
        });
        app.SetSettingsFile(*dir_ / "no-settings.ini");
        std::vector<std::string> args = {"-H", slapd_->Uri(), "-b", "dc=test"};
        args.insert(args.end(), command.begin(), command.end());
        std::ostringstream o, e;
        const int code = app.Run(args, o, e);
        out = o.str();
        EXPECT_EQ(e.str(), "");
        return code;
    }

    static testing::TempDir* dir_;
    static testing::TestSlapd* slapd_;
};

testing::TempDir* LdapPlainSchema::dir_ = nullptr;
testing::TestSlapd* LdapPlainSchema::slapd_ = nullptr;

// The value block of one attribute in the object command's output.
std::string Block(const std::string& out, const std::string& attribute) {
    const size_t at = out.find("\n" + attribute + "\n");
    if (at == std::string::npos) return "(missing)";
    const size_t begin = at + attribute.size() + 2;
    return out.substr(begin, out.find("\n\n", begin) - begin);
}

// The object's classes are its whole class chain, as the directory lists
// them: so the one-object report has the attributes of every class, those of
// the superclasses that the entry does not store and those of its auxiliary class.
TEST_F(LdapPlainSchema, TheObjectReportListsTheAttributesOfEveryClassOfTheObject) {
    std::string out;
    ASSERT_EQ(Run({"object", "alice.People"}, out), 0);
    EXPECT_EQ(Block(out, "objectClass"),
              "  inetOrgPerson\n  organizationalPerson\n  person\n  top\n  posixAccount");
    EXPECT_EQ(Block(out, "sn"), "  Smith");
    EXPECT_EQ(Block(out, "uidNumber"), "  1001");
    EXPECT_EQ(Block(out, "homeDirectory"), "  /home/alice");
}

// ";binary" is how a value travels, not another attribute: the certificate is
// userCertificate's. A language tag names values of their own, which no read
// of the attribute without it hands out.
TEST_F(LdapPlainSchema, ValuesUnderAttributeOptionsAreTheirAttributesOrLeftOut) {
    std::string out;
    ASSERT_EQ(Run({"object", "alice.People"}, out), 0);
    EXPECT_EQ(Block(out, "cn"), "  Alice Smith");
    EXPECT_EQ(Block(out, "title"), "  Engineer");
    EXPECT_EQ(Block(out, "userCertificate").rfind("  308201FC30820165", 0), 0u)
        << Block(out, "userCertificate");
    EXPECT_EQ(out.find("Schmidt"), std::string::npos) << out;
    ASSERT_EQ(Run({"object", "People"}, out), 0);
    EXPECT_EQ(Block(out, "description"), "  People here");

    ASSERT_EQ(Run({"report", "--container", "People", "--class", "inetOrgPerson", "--attr", "cn",
                   "--attr", "userCertificate"},
                  out),
              0);
    EXPECT_EQ(out.find("Schmidt"), std::string::npos) << out;
    EXPECT_NE(out.find("\"Alice Smith\";\"308201FC30820165"), std::string::npos) << out;
}

// A certificate travels under ";binary" both ways: a change of it goes out
// so, which the server asks for.
TEST_F(LdapPlainSchema, ACertificateIsChangedUnderBinary) {
    client::ldap::LdapClient client({slapd_->ManagerConnection()});
    ASSERT_EQ(client.InitClient(0, 0), 0) << client.StartupDiagnostic();
    client::ContextHandle context{};
    ASSERT_EQ(client.CreateContext(context), 0);
    ASSERT_EQ(
        client.SetContextNumber(context, client::ContextKey::Flags,
                                client::ContextFlag::Typeless | client::ContextFlag::Canonical),
        0);
    client::BufferHandle request{};
    ASSERT_EQ(client.AllocBuffer(client::kRequestBufferSize, request), 0);
    ASSERT_EQ(client.PrepareRequest(context, client::Operation::Modify, request), 0);
    ASSERT_EQ(
        client.PutChange(context, request, client::ChangeType::RemoveAttribute, "userCertificate"),
        0);
    int32_t continuation = client::kNoContinuation;
    EXPECT_EQ(client.ModifyObject(context, "alice.People", continuation, false, request), 0);
    client.FreeBuffer(request);
    std::string out;
    ASSERT_EQ(Run({"object", "alice.People"}, out), 0);
    EXPECT_EQ(Block(out, "userCertificate"), "  (no value)");
}

}  // namespace
}  // namespace vellrun::cli
